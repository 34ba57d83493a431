// SPDX-License-Identifier: BSD-3-Clause
#include "trace.h"

#include "prolvak.h"
#include "status_names.h"

#include <array>
#include <chrono>
#include <cstdarg>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace prolvak {

TraceState g_trace;
std::atomic<bool> g_traceOpen{false};

namespace {

constexpr const char* kTraceFile = "PcScLog.txt";

std::mutex g_traceMutex;
// Guards the one frequency query that Quorin_Time's callers may race for.
std::mutex g_frequencyMutex;

// The trace file opened without following a link and without waiting on a FIFO, kept only
// when it is a regular file; -1 otherwise. Nothing is emptied here.
int openRegular(int flags) {
    // Anything else of that name is not even opened; one that takes its place meanwhile is
    // refused after the open, which neither follows nor waits.
    struct stat st {};
    if (::lstat(kTraceFile, &st) == 0 && !S_ISREG(st.st_mode)) {
        return -1;
    }
    const int fd = ::open(kTraceFile, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

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

TraceLock::TraceLock() : m_lock(g_traceMutex) {}

void TraceLock::close() {
    if (g_trace.traceEnabled != 0 && g_trace.traceFile != nullptr) {
        std::fclose(g_trace.traceFile);
        g_trace.traceFile = nullptr;
    }
    g_traceOpen.store(false, std::memory_order_relaxed);
}

void startTrace() {
    TraceLock lock;
    if (const int probe = openRegular(O_RDONLY); probe >= 0) {
        g_trace.traceEnabled = 1;
        ::close(probe);
    }
    if (g_trace.traceEnabled == 0) {
        return;
    }
    // A second start without a close in between must not leak the earlier stream.
    lock.close();
    // Emptied only once it is known to be a regular file of its own name.
    const int fd = openRegular(O_RDWR | O_CREAT);
    if (fd >= 0 && ::ftruncate(fd, 0) == 0) {
        g_trace.traceFile = ::fdopen(fd, "wb+");
    }
    if (fd >= 0 && g_trace.traceFile == nullptr) {
        ::close(fd);
    }
    g_traceOpen.store(g_trace.traceFile != nullptr, std::memory_order_relaxed);
    g_trace.lastSeconds = Quorin_Time(&g_trace.clockStart, &g_trace.clockNow, 1);
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
    // Known once, then only read: callers on several threads may ask at the same time.
    std::atomic_ref<int32_t> known(trace.frequencyKnown);
    if (known.load(std::memory_order_acquire) == 0) {
        std::lock_guard lock(prolvak::g_frequencyMutex);
        if (known.load(std::memory_order_relaxed) == 0) {
            int64_t frequency = 0;
            if (g_counter.queryFrequency(&frequency) && frequency > 0) {
                trace.counterFrequency = frequency;
                known.store(1, std::memory_order_release);
            }
        }
        if (known.load(std::memory_order_relaxed) == 0) {
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
