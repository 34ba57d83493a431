// SPDX-License-Identifier: BSD-3-Clause
// Ctrl-C and a service manager's stop in the middle of a run: the first SIGINT or SIGTERM
// lets the exchange in flight end (pcscd and the card's waiting time bound it), ends any
// wait between commands at once and ends the run with its summary; a second one ends the
// program at once, as the signal does by default.
#pragma once

#include "pcsc_result.h" // signalName

#include <chrono>
#include <string>

namespace tessary::run {

// Catches SIGINT and SIGTERM from here on: the handler only notes the signal.
void catchInterrupts();

// The signal that asks the run to end, 0 while none has come.
int interruptSignal();

// Waits `time`, or less when an interrupt comes first (one that came before as well); false
// when one did.
bool waitUnlessInterrupted(std::chrono::milliseconds time);

} // namespace tessary::run
