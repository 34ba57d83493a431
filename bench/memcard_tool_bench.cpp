// SPDX-License-Identifier: BSD-3-Clause
// tessary-memcard's card steps beside the memory-card library's calls alone: a whole
// SLE4428 read with its protect bits (beside BM_Sle4428ReadProtectCordrel), and a one-byte
// change to a full SLE4442 image written as the program writes it (beside the 256 frames of
// BM_Sle4442Write256Cordrel).
#include "bench_session.h"
#include "card_session.h"
#include "write_plan.h"

#include <benchmark/benchmark.h>

#include <array>

namespace {

using namespace tessary::memcard;

void BM_MemcardToolReadSle4428(benchmark::State& state) {
    const SCARDHANDLE card = bench::session().memoryCard(true);
    if (card == 0) {
        state.SkipWithError("no memory card reader; start the readers with scripts/bench");
        return;
    }
    CardImage image;
    for (auto _ : state) {
        if (!readCard(card, CardType::Sle4428, image).ok()) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(image.data.data());
    }
}
BENCHMARK(BM_MemcardToolReadSle4428)->UseRealTime();

// What `write` does with the card once connected: read it, plan, verify the PSC, write,
// read back. The card is full (no byte left FF) and one byte differs each time.
void BM_MemcardToolWriteOneByteSle4442(benchmark::State& state) {
    const SCARDHANDLE card = bench::session().memoryCard(false);
    CardImage current;
    if (card == 0 || !readCard(card, CardType::Sle4442, current).ok()) {
        state.SkipWithError("no memory card reader; start the readers with scripts/bench");
        return;
    }
    CardImage full = current;
    for (std::size_t a = 0; a < full.data.size(); ++a) {
        full.data[a] = static_cast<uint8_t>(a ^ 0x5A);
    }
    writePlan(card, CardType::Sle4442, planWrite(current, full));
    const std::array<uint8_t, 3> psc{0xFF, 0xFF, 0xFF}; // the simulated card's own
    std::size_t writeFrames = 0;
    bool flip = false;
    for (auto _ : state) {
        CardImage image = full;
        flip = !flip;
        image.data[100] = flip ? 0x11 : 0x22; // what the card holds differs in this byte
        CardImage onCard;
        if (!readCard(card, CardType::Sle4442, onCard).ok()) {
            state.SkipWithError("read failed");
            break;
        }
        const WritePlan plan = planWrite(onCard, image);
        const PscOutcome psced = PscGuard().verify(card, CardType::Sle4442, psc, false);
        const WriteReport report = writePlan(card, CardType::Sle4442, plan);
        CardImage after;
        if (psced.verdict != PscVerdict::Accepted || !report.status.ok() ||
            !readCard(card, CardType::Sle4442, after).ok() || !bytesNotTaken(plan, after).empty()) {
            state.SkipWithError("write failed");
            break;
        }
        writeFrames += report.frames;
    }
    state.counters["write_frames"] =
        benchmark::Counter(static_cast<double>(writeFrames), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MemcardToolWriteOneByteSle4442)->UseRealTime();

} // namespace
