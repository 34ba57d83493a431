// SPDX-License-Identifier: BSD-3-Clause
// The baseline: direct libpcsclite calls through the private pcscd and the simulated
// driver, without any library of ours in between.
#include "bench_session.h"

#include <benchmark/benchmark.h>

namespace {

void BM_DirectTransmit(benchmark::State& state) {
    auto& s = bench::session();
    for (auto _ : state) {
        if (!s.transmit()) {
            state.SkipWithError("SCardTransmit failed");
            break;
        }
    }
}
BENCHMARK(BM_DirectTransmit)->UseRealTime();

void BM_DirectControlLed(benchmark::State& state) {
    auto& s = bench::session();
    for (auto _ : state) {
        if (!s.control()) {
            state.SkipWithError("SCardControl failed");
            break;
        }
    }
}
BENCHMARK(BM_DirectControlLed)->UseRealTime();

void BM_DirectConnectDisconnect(benchmark::State& state) {
    auto& s = bench::session();
    for (auto _ : state) {
        SCARDHANDLE card = 0;
        DWORD protocol = 0;
        if (SCardConnect(s.context(), s.cardReader().c_str(), SCARD_SHARE_SHARED,
                         SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card,
                         &protocol) != SCARD_S_SUCCESS ||
            SCardDisconnect(card, SCARD_LEAVE_CARD) != SCARD_S_SUCCESS) {
            state.SkipWithError("connect or disconnect failed");
            break;
        }
    }
}
BENCHMARK(BM_DirectConnectDisconnect)->UseRealTime();

} // namespace
