// SPDX-License-Identifier: BSD-3-Clause
#include "interrupt.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace tessary::memcard {
namespace {

constexpr std::array<int, 3> kSignals{SIGHUP, SIGINT, SIGTERM};

volatile std::sig_atomic_t g_caught = 0;
// The self-pipe: its write end is written by the handler, so it must exist before any scope
// catches anything and is never closed.
std::array<int, 2> g_wake{-1, -1};
// Scopes of several readers' threads nest inside the main thread's.
std::atomic<int> g_depth{0};
std::array<struct sigaction, kSignals.size()> g_earlier{};

extern "C" void onSignal(int signal) {
    if (g_caught == 0) {
        g_caught = signal;
    }
    const int saved = errno;
    if (g_wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(g_wake[1], &byte, 1);
    }
    errno = saved;
}

} // namespace

InterruptCatcher::InterruptCatcher() {
    if (g_depth++ > 0) {
        return;
    }
    if (g_wake[0] < 0 && ::pipe2(g_wake.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        g_wake = {-1, -1};
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    // Restarted calls keep the PC/SC exchange under way whole: the frame in flight ends
    // before the flag is looked at.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], &action, &g_earlier[i]);
    }
}

InterruptCatcher::~InterruptCatcher() {
    if (--g_depth > 0) {
        return;
    }
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], &g_earlier[i], nullptr);
    }
}

int InterruptCatcher::caught() {
    return g_caught;
}

int InterruptCatcher::wakeDescriptor() {
    return g_wake[0];
}

int exitForSignal(int signal) {
    return 128 + signal;
}
} // namespace tessary::memcard
