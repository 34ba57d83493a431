// SPDX-License-Identifier: BSD-3-Clause
// The files tessary-run takes: the command-queue files that the workbench saves (read by
// its own reader, so that both send the same bytes) and APDU scripts. A file is taken as a
// queue when its shape says so, unless the operator names the format.
#pragma once

#include "script.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::run {

enum class FileFormat { Detect, Queue, Script };

// "queue" or "script", as --format names them.
const char* formatName(FileFormat format);

// One command to send, wherever it came from.
struct RunCommand {
    std::string file;
    std::size_t line = 0;            // of the APDU (a queue's request line), from 1
    std::optional<std::string> name; // a queue command's name
    Bytes apdu;
    std::optional<Pattern> expect;
};

// The commands of a file, or the fault that stops the run before anything is sent: the
// file's name, the line's number when there is one, and what is wrong.
struct FileCommands {
    std::vector<RunCommand> commands;
    FileFormat format = FileFormat::Detect; // Queue or Script: how the file was read
    std::string error;
};

// The shape of a queue file, line by line as the workbench saves one: a whole number of
// four-line groups, each a name, the length field's three positions (a number at the
// right), a request text as the console takes it (hexadecimal pairs, each followed by one
// separator of any kind), and an empty line.
bool looksLikeQueueFile(std::string_view bytes);

// A file of a queue's shape that reads as a script as well is refused unless the format is
// named: sending the wrong bytes to a card is worse than asking.
FileCommands commandsOfFile(std::string_view bytes, const std::string& fileName, FileFormat format);

// The largest file taken: far more than any script a person writes or a queue holds.
inline constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

// Reads the file ("-" is the standard input) and gives its commands.
FileCommands loadRunFile(const std::string& path, FileFormat format);

} // namespace tessary::run
