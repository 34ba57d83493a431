// SPDX-License-Identifier: BSD-3-Clause
// The memory-card library against the same escape frames sent with direct SCardControl
// calls: a whole SLE4428 read with and without protect bits (also behind a driver that takes
// the frames only through its escape code), and 256 bytes written to an SLE4442.
#include "bench_session.h"
#include "cordrel.h"

#include <benchmark/benchmark.h>

#include <PCSC/reader.h>

#include <array>
#include <vector>

namespace {

using Frame = std::array<uint8_t, 13>;

Frame frame(uint8_t command, uint8_t address, uint8_t data, uint32_t count) {
    return {0x6F,
            0x03,
            0x00,
            0x00,
            0x00,
            0x00,
            0x00,
            0x00,
            static_cast<uint8_t>(count & 0xFF),
            static_cast<uint8_t>(count >> 8),
            command,
            address,
            data};
}

// The frames the library sends for a read of the whole card in chunks.
std::vector<Frame> readFrames(uint8_t command, uint32_t chunk) {
    std::vector<Frame> frames;
    for (uint32_t a = 0; a < 1024; a += chunk) {
        frames.push_back(frame(static_cast<uint8_t>(command | (a >> 8) << 6),
                               static_cast<uint8_t>(a & 0xFF), 0, chunk));
    }
    return frames;
}

std::vector<Frame> writeFrames() {
    std::vector<Frame> frames;
    for (uint32_t a = 0; a < 256; ++a) {
        frames.push_back(frame(0x38, static_cast<uint8_t>(a), static_cast<uint8_t>(a), 0));
    }
    return frames;
}

bool sendDirect(SCARDHANDLE card, const std::vector<Frame>& frames,
                DWORD code = SCARD_CTL_CODE(2049)) {
    std::array<uint8_t, 288> reply;
    for (const auto& f : frames) {
        DWORD returned = 0;
        if (SCardControl(card, code, f.data(), f.size(), reply.data(), reply.size(), &returned) !=
            SCARD_S_SUCCESS) {
            return false;
        }
    }
    return true;
}

void run(benchmark::State& state, bool (*once)(SCARDHANDLE)) {
    // 4429: the SLE4428 behind a driver that takes frames only with its escape code.
    const SCARDHANDLE card = state.range(0) == 4429
                                 ? bench::session().escapeMemoryCard()
                                 : bench::session().memoryCard(state.range(0) == 4428);
    if (card == 0) {
        state.SkipWithError("no memory card reader; start the readers with scripts/bench");
        return;
    }
    for (auto _ : state) {
        if (!once(card)) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
}

void BM_Sle4428ReadCordrel(benchmark::State& state) {
    run(state, [](SCARDHANDLE card) {
        std::array<uint8_t, 1024> data;
        uint32_t count = 1024;
        return SLE4428_Read_Data_Without_Protect_Bit(card, data.data(), 0, &count) == 0 &&
               count == 1024;
    });
}
BENCHMARK(BM_Sle4428ReadCordrel)->Arg(4428)->UseRealTime();

void BM_Sle4428ReadDirect(benchmark::State& state) {
    static const auto frames = readFrames(0x0E, 256);
    run(state, [](SCARDHANDLE card) { return sendDirect(card, frames); });
}
BENCHMARK(BM_Sle4428ReadDirect)->Arg(4428)->UseRealTime();

void BM_Sle4428ReadProtectCordrel(benchmark::State& state) {
    run(state, [](SCARDHANDLE card) {
        std::array<uint8_t, 1024> data, protect;
        uint32_t count = 1024;
        return SLE4428_Read_Data_With_Protect_Bit(card, data.data(), protect.data(), 0, &count) ==
                   0 &&
               count == 1024;
    });
}
BENCHMARK(BM_Sle4428ReadProtectCordrel)->Arg(4428)->Arg(4429)->UseRealTime();

void BM_Sle4428ReadProtectDirect(benchmark::State& state) {
    static const auto frames = readFrames(0x0C, 128);
    run(state, [](SCARDHANDLE card) { return sendDirect(card, frames); });
}
BENCHMARK(BM_Sle4428ReadProtectDirect)->Arg(4428)->UseRealTime();

// The same frames with the escape code that the driver advertises.
void BM_Sle4428ReadProtectDirectEscape(benchmark::State& state) {
    static const auto frames = readFrames(0x0C, 128);
    run(state, [](SCARDHANDLE card) { return sendDirect(card, frames, SCARD_CTL_CODE(1)); });
}
BENCHMARK(BM_Sle4428ReadProtectDirectEscape)->Arg(4429)->UseRealTime();

void BM_Sle4442Write256Cordrel(benchmark::State& state) {
    run(state, [](SCARDHANDLE card) {
        std::array<uint8_t, 256> data;
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<uint8_t>(i);
        }
        return SLE4442_Update_Main_Memory(card, data.data(), 0, 256) == 0;
    });
}
BENCHMARK(BM_Sle4442Write256Cordrel)->Arg(4442)->UseRealTime();

void BM_Sle4442Write256Direct(benchmark::State& state) {
    static const auto frames = writeFrames();
    run(state, [](SCARDHANDLE card) { return sendDirect(card, frames); });
}
BENCHMARK(BM_Sle4442Write256Direct)->Arg(4442)->UseRealTime();

} // namespace
