// SPDX-License-Identifier: BSD-3-Clause
#include "interrupt.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tessary::run {
namespace {

// Lock-free, so the handler may set it; runs on several readers read it from their threads.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
// Written once by the handler and never read: it stays readable, and every wait of every
// thread ends at once, whichever thread the signal came to.
int g_wake = -1;

extern "C" void onInterrupt(int signal) {
    int none = 0;
    if (!g_signal.compare_exchange_strong(none, signal)) {
        // Asked twice: whatever is in flight is abandoned.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    const int saved = errno;
    if (g_wake >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(g_wake, &one, sizeof one);
    }
    errno = saved;
}

} // namespace

void catchInterrupts() {
    if (g_wake < 0) {
        g_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // Restarted: a write to a full pipe that failed with EINTR would lose part of a result
    // line in stdio, and pcsc-lite's socket calls need no second thought. The wait between
    // commands still ends at once: it waits for the handler's wake-up.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int interruptSignal() {
    return g_signal.load();
}

bool waitUnlessInterrupted(std::chrono::milliseconds time) {
    // The handler notes the signal before it wakes the waits: a signal that comes after the
    // flag was looked at finds the descriptor readable.
    const auto deadline = std::chrono::steady_clock::now() + time;
    while (g_signal.load() == 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds::zero()) {
            break;
        }
        pollfd wake{g_wake, POLLIN, 0};
        const int timeout = static_cast<int>(std::min<int64_t>(left.count(), 60'000));
        if (::poll(&wake, g_wake >= 0 ? 1 : 0, timeout) < 0 && errno != EINTR) {
            break;
        }
    }
    return g_signal.load() == 0;
}
} // namespace tessary::run
