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
    std::string error;
};

// The shape of a queue file: a whole number of four-line groups, each with a blank-padded
// number on its second line and an empty fourth line.
bool looksLikeQueueFile(std::string_view bytes);

FileCommands commandsOfFile(std::string_view bytes, const std::string& fileName, FileFormat format);

// The largest file taken: far more than any script a person writes or a queue holds.
inline constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

// Reads the file ("-" is the standard input) and gives its commands.
FileCommands loadRunFile(const std::string& path, FileFormat format);

} // namespace tessary::run
