// The run itself: every command of the files, round after round, each judged against its
// pattern, shown, counted and timed, until the end or until something makes going on
// pointless (--stop-on-fail, the card, the reader or the service gone).
#pragma once

#include "exchange.h"
#include "report.h"
#include "run_file.h"

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
    std::string reader; // its name, for the line that ends a run early
};

// Where the run writes: results, the line that ends it early, and a flush before waiting.
struct RunOutput {
    std::function<void(std::string_view)> out;
    std::function<void(std::string_view)> err;
    std::function<void()> flush;
};

// Runs the commands and writes the summary; returns the exit status.
int runCommands(const std::vector<RunCommand>& commands, const RunSettings& settings, Link& link,
                const RunOutput& output);

} // namespace tessary::run
