// SPDX-License-Identifier: BSD-3-Clause
// The signals that end a run early (SIGHUP, SIGINT, SIGTERM), caught while a card may be
// unlocked or the terminal's echo is off, so that the run stops where it is safe to: between
// two write frames, after the card's reset, with the terminal as it was.
#pragma once

#include "pcsc_result.h" // signalName

#include <string>

namespace tessary::memcard {

// Catches the signals for its lifetime and gives the earlier actions back at its end. Scopes
// may nest; a signal caught in any of them stays caught for the rest of the run.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    // The first signal caught in the run, 0 for none.
    static int caught();
    // A descriptor that turns readable once a signal is caught, for a wait on the terminal
    // that the signal must end whichever thread takes it; -1 when none could be made.
    static int wakeDescriptor();
};

// 128 and the signal's number, as a shell reports a program the signal ended.
int exitForSignal(int signal);

} // namespace tessary::memcard
