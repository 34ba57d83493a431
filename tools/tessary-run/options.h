// SPDX-License-Identifier: BSD-3-Clause
// tessary-run's command line, read with QCommandLineParser.
#pragma once

#include "run_file.h"
#include "script.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary::run {

struct Options {
    bool list = false;
    std::vector<std::string> files;
    FileFormat format = FileFormat::Detect;
    std::vector<std::string> readers; // -r, each a name, the beginning of one, or an index
    bool allReaders = false;          // every reader that holds a card
    uint32_t shareMode = 2;           // SCARD_SHARE_SHARED
    uint32_t intervalMs = 0;
    uint32_t repeat = 1;
    std::optional<Pattern> expect;
    bool stopOnFail = false;
    bool getResponse = false;
    bool json = false;
    bool quiet = false;

    // The files go to several readers at once, each line of the output named by its reader.
    bool severalReaders() const { return allReaders || readers.size() > 1; }
    // The one reader -r names, or nothing.
    std::optional<std::string> reader() const {
        return readers.empty() ? std::nullopt : std::optional(readers.front());
    }

    // 0 or more: leave at once with this status after printing `output` to stdout (help,
    // version) or `error` to stderr (a usage error).
    int exitStatus = -1;
    std::string output;
    std::string error;
};

inline constexpr uint32_t kMaxIntervalMs = 3600 * 1000;
inline constexpr uint32_t kMaxRepeat = 1000000;

// argv[0] is the program; the rest are its arguments.
Options readOptions(const std::vector<std::string>& arguments);

} // namespace tessary::run
