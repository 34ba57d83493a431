// What a run shows: a line (or a JSON object) per command sent and a summary, as text for
// people or as JSON Lines for programs.
#pragma once

#include "exchange.h"
#include "run_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary::run {

enum class Result { Ok, Fail, Error };

struct CommandReport {
    const RunCommand* command = nullptr;
    std::size_t round = 0;  // from 1
    std::size_t rounds = 1; // of the run
    const CommandOutcome* outcome = nullptr;
    const Pattern* expect = nullptr; // the command's own, or --expect
    Result result = Result::Ok;
};

// The result of an outcome against its expectation.
Result judge(const CommandOutcome& outcome, const Pattern* expect);

// The name of a failed exchange's status: the access library's name for its codes, the
// service's code as well for the control path's results (shown as ISP_UNKNOWN_ERR).
std::string failureName(int32_t status);

std::string formatCommandText(const CommandReport& report);
std::string formatCommandJson(const CommandReport& report);

struct RunSummary {
    std::size_t commands = 0;
    std::size_t passed = 0;
    std::size_t failed = 0;
    std::size_t errors = 0;
    std::vector<int64_t> micros; // of every exchange
    std::string stopped;         // why the run ended early, if it did
    int status = 0;              // the exit status
};

std::string formatSummaryText(const RunSummary& summary);
std::string formatSummaryJson(const RunSummary& summary);

} // namespace tessary::run
