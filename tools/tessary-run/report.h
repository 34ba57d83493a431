// SPDX-License-Identifier: BSD-3-Clause
// What a run shows: a line (or a JSON object) per command sent and a summary, as text for
// people or as JSON Lines for programs.
#pragma once

#include "exchange.h"
#include "run_file.h"
#include "time_stats.h"

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

// The name of a failed exchange's status: the access library's name for its codes
// ("KTX_PCSC_SCARDTRANSMIT_ERR"), and a PC/SC result of the control path by pcsc-lite's
// name and its value ("SCARD_E_NOT_TRANSACTED 0x80100016").
std::string failureName(int32_t status);

// The reader and the card a run goes to, its first line: a log says what it ran against.
struct RunTarget {
    std::string reader;
    Bytes atr;              // none in direct mode without a card
    uint32_t shareMode = 2; // SCARD_SHARE_SHARED, _EXCLUSIVE (1) or _DIRECT (3)
};
std::string formatTargetText(const RunTarget& target);
std::string formatTargetJson(const RunTarget& target);

// A file of the run and how it was read.
struct RunFileFormat {
    std::string name;
    FileFormat format = FileFormat::Script;
};

std::string formatCommandText(const CommandReport& report);
std::string formatCommandJson(const CommandReport& report);

struct RunSummary {
    std::size_t commands = 0;
    std::size_t passed = 0;
    std::size_t failed = 0;
    std::size_t errors = 0;
    TimeStats times;                  // of every exchange
    std::vector<RunFileFormat> files; // in the order given
    int interruptedBy = 0;            // the signal that ended the run, if one did
    std::string stopped;              // why the run ended early, if it did
    int status = 0;                   // the exit status
};

std::string formatSummaryText(const RunSummary& summary);
std::string formatSummaryJson(const RunSummary& summary);

} // namespace tessary::run
