#include "trace.h"

#include "prolvak.h"
#include "status_names.h"

#include <array>
#include <chrono>
#include <cstdarg>

namespace prolvak {

TraceState g_trace;

namespace {

constexpr const char* kTraceFile = "PcScLog.txt";

bool steadyFrequency(int64_t* frequency) {
    using Period = std::chrono::steady_clock::period;
    *frequency = Period::den / Period::num;
    return true;
}

int64_t steadyRead() {
    return static_cast<int64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

Counter g_counter = steadyCounter();

} // namespace

Counter steadyCounter() {
    return {steadyFrequency, steadyRead};
}
void setCounter(Counter counter) {
    g_counter = counter;
}

void startTrace() {
    if (std::FILE* probe = std::fopen(kTraceFile, "rb")) {
        g_trace.traceEnabled = 1;
        std::fclose(probe);
    }
    if (g_trace.traceEnabled == 0) {
        return;
    }
    // A second start without a close in between must not leak the earlier stream.
    if (g_trace.traceFile != nullptr) {
        std::fclose(g_trace.traceFile);
    }
    g_trace.traceFile = std::fopen(kTraceFile, "wb+");
    g_trace.lastSeconds = Quorin_Time(&g_trace.clockStart, &g_trace.clockNow, 1);
}

void closeTrace() {
    if (g_trace.traceEnabled != 0 && g_trace.traceFile != nullptr) {
        std::fclose(g_trace.traceFile);
        g_trace.traceFile = nullptr;
    }
}

double stampNow() {
    g_trace.lastSeconds = Quorin_Time(&g_trace.clockStart, &g_trace.clockNow, 0);
    return g_trace.lastSeconds;
}

double stampRestarted() {
    g_trace.lastSeconds = Quorin_Time(&g_trace.clockStart, &g_trace.clockNow, 1);
    return g_trace.lastSeconds;
}

void traceWrite(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vfprintf(g_trace.traceFile, format, args); // write errors are ignored
    va_end(args);
}

void traceFailure(int32_t code, long serviceResult) {
    PROLVAK_TRACE("%15.10f --- Return %s lReturn = %Xh\r\n", statusName(code),
                  static_cast<uint32_t>(serviceResult));
}

void traceDump(const uint8_t* bytes, std::size_t count) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::array<char, 3 * 128> text{};
    std::size_t used = 0;
    for (std::size_t i = 0; i < count; ++i) {
        text[used++] = kHex[bytes[i] >> 4];
        text[used++] = kHex[bytes[i] & 0x0F];
        text[used++] = ' ';
        if (used == text.size()) {
            std::fwrite(text.data(), 1, used, g_trace.traceFile);
            used = 0;
        }
    }
    std::fwrite(text.data(), 1, used, g_trace.traceFile);
}

} // namespace prolvak

using prolvak::g_counter;

extern "C" PROLVAK_API double Quorin_Time(int64_t* start, int64_t* now, int32_t flag) {
    auto& trace = prolvak::g_trace;
    if (trace.frequencyKnown == 0) {
        trace.frequencyKnown =
            g_counter.queryFrequency(&trace.counterFrequency) && trace.counterFrequency > 0 ? 1 : 0;
        if (trace.frequencyKnown == 0) {
            return 0.0; // tried again next time
        }
    }
    if (flag == 1) {
        if (start != nullptr) {
            *start = g_counter.read();
        }
        return 0.0;
    }
    if (start == nullptr || now == nullptr) {
        return 0.0;
    }
    *now = g_counter.read();
    // The difference wraps rather than overflows, as the counter's own arithmetic would.
    const auto elapsed =
        static_cast<int64_t>(static_cast<uint64_t>(*now) - static_cast<uint64_t>(*start));
    return static_cast<double>(elapsed) / static_cast<double>(trace.counterFrequency);
}
