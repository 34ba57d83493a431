// SPDX-License-Identifier: BSD-3-Clause
#include "interrupt.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include <poll.h>

namespace tessary::run {
namespace {

volatile std::sig_atomic_t g_signal = 0;

extern "C" void onInterrupt(int signal) {
    if (g_signal != 0) {
        // Asked twice: whatever is in flight is abandoned.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_signal = signal;
}

sigset_t interruptSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // Restarted: a write to a full pipe that failed with EINTR would lose part of a result
    // line in stdio, and pcsc-lite's socket calls need no second thought. The wait between
    // commands still ends at once: the kernel never restarts ppoll.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int interruptSignal() {
    return g_signal;
}

bool waitUnlessInterrupted(std::chrono::milliseconds time) {
    // The signals are held back while the flag is looked at, and ppoll lets them through
    // only as it starts to wait: one that comes between the two cannot be missed for the
    // whole wait.
    const sigset_t held = interruptSet();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &held, &before);
    sigset_t open = before;
    sigdelset(&open, SIGINT);
    sigdelset(&open, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + time;
    while (g_signal == 0) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            break;
        }
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec wait{
            static_cast<std::time_t>(seconds.count()),
            static_cast<long>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
        if (ppoll(nullptr, 0, &wait, &open) < 0 && errno != EINTR) {
            break;
        }
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return g_signal == 0;
}
} // namespace tessary::run
