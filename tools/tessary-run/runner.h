// SPDX-License-Identifier: BSD-3-Clause
// The run itself: every command of the files, round after round, each judged against its
// pattern, shown, counted and timed, until the end or until something makes going on
// pointless (--stop-on-fail, the card, the reader or the service gone, an interrupt, an
// output that can no longer be written).
#pragma once

#include "exchange.h"
#include "report.h"
#include "run_file.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::run {

struct RunSettings {
    uint32_t repeat = 1;
    uint32_t intervalMs = 0;
    const Pattern* expect = nullptr; // for commands without their own
    bool getResponse = false;
    bool stopOnFail = false;
    bool json = false;
    bool quiet = false;
    RunTarget target;                 // the first line, and the reader's name for an early end
    std::vector<RunFileFormat> files; // for the summary
};

// Where the run writes: results (false once they can no longer be written), the line that
// ends it early, a flush before waiting, and the progress line: shown in place with its
// text, cleared with none (an empty function: no progress line).
struct RunOutput {
    std::function<bool(std::string_view)> out;
    std::function<void(std::string_view)> err;
    std::function<void()> flush;
    std::function<void(std::string_view)> progress;
};

// What may end a run from outside: the signal that asks it to (0 while none), and the wait
// between commands that such a signal cuts short (false then). Without them, nothing does.
struct RunControl {
    std::function<int()> interrupted;
    std::function<bool(std::chrono::milliseconds)> wait;
};

// The exit status of a run whose results could not be written, as of a usage error: the
// caller names the cause.
inline constexpr int kOutputFailed = 2;

// Runs the commands and writes the reader line and the summary; returns the exit status:
// 128 and the signal's number when one interrupted the run.
int runCommands(const std::vector<RunCommand>& commands, const RunSettings& settings, Link& link,
                const RunOutput& output, const RunControl& control = {});

} // namespace tessary::run
