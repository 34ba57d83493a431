// The optional trace PcScLog.txt: one process-wide state, switched on by the file's
// presence at InitLibrary_WIN, stamped with the seconds since that call. Nothing is
// formatted and the counter is never read while the trace is off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace prolvak {

struct TraceState {
    int32_t traceEnabled = 0; // once set, stays set while the library is loaded
    std::FILE* traceFile = nullptr;
    int64_t clockStart = 0;
    int64_t clockNow = 0;
    double lastSeconds = 0.0;
    int64_t counterFrequency = 0;
    int32_t frequencyKnown = 0;
};

extern TraceState g_trace;

// The first step of InitLibrary_WIN: switch on when PcScLog.txt exists, then (while on)
// empty the file and restart the clock.
void startTrace();
// CloseLibrary_WIN's step: close the file; the trace stays enabled for the next cycle.
void closeTrace();

inline bool traceOn() {
    return g_trace.traceFile != nullptr;
}

// The seconds for the line being written, as the clock runs now.
double stampNow();
// The seconds for a line written with the clock restarted: always 0.
double stampRestarted();

// One line; its format starts with (or, after a line break, contains) "%15.10f", whose
// value is the stamp.
void traceWrite(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "%02X " for each byte, no stamp and no line break.
void traceDump(const uint8_t* bytes, std::size_t count);

// The result line of a call that fails: "Return <status name> lReturn = <result>h".
void traceFailure(int32_t code, long serviceResult);

// The counter behind Quorin_Time: its frequency query and its reading.
struct Counter {
    bool (*queryFrequency)(int64_t* frequency);
    int64_t (*read)();
};
Counter steadyCounter();
void setCounter(Counter counter);

} // namespace prolvak

// A stamped line, written only while the trace is on.
#define PROLVAK_TRACE(format, ...)                                                                 \
    do {                                                                                           \
        if (::prolvak::traceOn()) {                                                                \
            ::prolvak::traceWrite(format, ::prolvak::stampNow() __VA_OPT__(, ) __VA_ARGS__);       \
        }                                                                                          \
    } while (0)

#define PROLVAK_DUMP(bytes, count)                                                                 \
    do {                                                                                           \
        if (::prolvak::traceOn()) {                                                                \
            ::prolvak::traceDump(bytes, count);                                                    \
        }                                                                                          \
    } while (0)
