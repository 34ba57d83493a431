// SPDX-License-Identifier: BSD-3-Clause
// The optional trace PcScLog.txt: one process-wide state, switched on by the file's
// presence at InitLibrary_WIN, stamped with the seconds since that call. Nothing is
// formatted and the counter is never read while the trace is off.
//
// Calls may come from several threads while another closes or restarts the library: one
// lock guards the stream and the clock, and each line (a byte dump with the stamp that
// closes it counts as one) is written whole under it. Lines of different threads may
// interleave; their characters never do.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>

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
// Whether traceFile is open: read without the lock so that an untraced call costs
// nothing; whoever then writes checks the file again under the lock.
extern std::atomic<bool> g_traceOpen;

inline bool traceOn() {
    return g_traceOpen.load(std::memory_order_relaxed);
}

// The trace held for one line. Only its holder may stamp, write or close.
class TraceLock {
public:
    TraceLock();
    bool open() const { return g_trace.traceFile != nullptr; }
    // CloseLibrary_WIN's step: the file closed; the trace stays enabled for the next cycle.
    void close();

private:
    std::lock_guard<std::mutex> m_lock;
};

// The first step of InitLibrary_WIN: switch on when PcScLog.txt is a regular file, then
// (while on) empty it or create it and restart the clock. A link, a FIFO or anything but
// a regular file is never opened for writing, emptied or waited on: the cycle then goes
// untraced.
void startTrace();

// With the lock held: the seconds for the line being written, as the clock runs now, or
// with the clock restarted (always 0).
double stampNow();
double stampRestarted();

// With the lock held: one line; its format starts with (or, after a line break, contains)
// "%15.10f", whose value is the stamp.
void traceWrite(const char* format, ...) __attribute__((format(printf, 1, 2)));
// With the lock held: "%02X " for each byte, no stamp and no line break.
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
            ::prolvak::TraceLock traceLock;                                                        \
            if (traceLock.open()) {                                                                \
                ::prolvak::traceWrite(format, ::prolvak::stampNow() __VA_OPT__(, ) __VA_ARGS__);   \
            }                                                                                      \
        }                                                                                          \
    } while (0)

// A byte dump and the stamped text that closes its line, written as one.
#define PROLVAK_DUMP_LINE(bytes, count, closing)                                                   \
    do {                                                                                           \
        if (::prolvak::traceOn()) {                                                                \
            ::prolvak::TraceLock traceLock;                                                        \
            if (traceLock.open()) {                                                                \
                ::prolvak::traceDump(bytes, count);                                                \
                ::prolvak::traceWrite(closing, ::prolvak::stampNow());                             \
            }                                                                                      \
        }                                                                                          \
    } while (0)
