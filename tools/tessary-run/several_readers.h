// SPDX-License-Identifier: BSD-3-Clause
// One run on several readers at once: every reader in a thread of its own with a link of its
// own, so that a reader's failure, pulled card or slow card holds up no other. Each reader's
// lines (its first line, its commands, its summary) carry its index and name and never mix
// with another's; a summary over all readers ends the run, whose status is the worst.
#pragma once

#include "runner.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::run {

struct RunReader {
    std::size_t index = 0; // in the service's list, as -r and --list give it
    std::string name;
};

// A reader's link, connected, with the target its first line names; nothing with the
// operator's text in `error` when the reader cannot be reached.
using OpenLink = std::function<std::unique_ptr<Link>(const RunReader& reader, RunTarget& target,
                                                     std::string& error)>;

// Where the run writes: whole blocks of lines (false once they can no longer be written),
// and errors.
struct SeveralOutput {
    std::function<bool(std::string_view)> out;
    std::function<void(std::string_view)> err;
};

// Runs the commands on every reader at once, as `settings` says (its target is each
// reader's own), and gives the worst exit status.
int runOnReaders(const std::vector<RunCommand>& commands, const RunSettings& settings,
                 const std::vector<RunReader>& readers, const OpenLink& openLink,
                 const SeveralOutput& output, const RunControl& control = {});

} // namespace tessary::run
