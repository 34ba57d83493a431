// SPDX-License-Identifier: BSD-3-Clause
// The access library's exchange against the direct call it wraps: PcSc_SR_WIN with the
// trace off and on, and the cost of one stamped trace line.
#include "bench_session.h"
#include "prolvak.h"
#include "testing.h"
#include "trace.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

// A folder of its own for the trace file, the current directory while a benchmark runs.
class TraceFolder {
public:
    explicit TraceFolder(bool withTrace) : m_previous(std::filesystem::current_path()) {
        m_folder = std::filesystem::temp_directory_path() /
                   ("prolvak-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
        std::filesystem::current_path(m_folder);
        std::filesystem::remove("PcScLog.txt");
        if (withTrace) {
            std::ofstream("PcScLog.txt");
        }
    }
    ~TraceFolder() {
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_folder);
    }

private:
    std::filesystem::path m_previous;
    std::filesystem::path m_folder;
};

// One library cycle around a benchmark run, with the trace as asked.
class LibraryCycle {
public:
    explicit LibraryCycle(bool withTrace) : m_folder(withTrace) {
        prolvak::testing::reset(); // the trace stays on once on: start from a fresh load
        if (InitLibrary_WIN(&m_context) != KTX_SUCCESS) {
            m_context = 0;
        }
    }
    ~LibraryCycle() {
        CloseLibrary_WIN(m_context);
        prolvak::testing::reset();
    }
    bool ok() const { return m_context != 0; }

private:
    TraceFolder m_folder;
    SCARDCONTEXT m_context = 0;
};

void exchange(benchmark::State& state, bool withTrace) {
    auto& s = bench::session();
    LibraryCycle cycle(withTrace);
    if (!cycle.ok()) {
        state.SkipWithError("InitLibrary_WIN failed");
        return;
    }
    uint8_t response[330];
    for (auto _ : state) {
        uint32_t length = sizeof response;
        if (PcSc_SR_WIN(s.card(), static_cast<uint32_t>(s.protocol()), bench::kApdu.size(),
                        bench::kApdu.data(), sizeof response, &length, response) != KTX_SUCCESS ||
            length != 10) {
            state.SkipWithError("PcSc_SR_WIN failed");
            break;
        }
    }
}

void BM_PcScSRTraceOff(benchmark::State& state) {
    exchange(state, false);
}
BENCHMARK(BM_PcScSRTraceOff)->UseRealTime();

void BM_PcScSRTraceOn(benchmark::State& state) {
    exchange(state, true);
}
BENCHMARK(BM_PcScSRTraceOn)->UseRealTime();

void BM_TraceLine(benchmark::State& state) {
    LibraryCycle cycle(true);
    for (auto _ : state) {
        PROLVAK_TRACE("%15.10f --- CloseReader_WIN Enter\r\n");
    }
}
BENCHMARK(BM_TraceLine);

} // namespace
