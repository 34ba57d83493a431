// SPDX-License-Identifier: BSD-3-Clause
// The command-queue file: four lines per command (its name, its data length as the length
// field showed it, its request text, an empty line), one command after another, written
// with CR LF line ends. The reader is a plain function of the file's bytes, so that
// anything that reads queue files reads them alike; it takes any input, however long or
// odd, with a clear fault and bounded work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

inline constexpr std::size_t kQueueCapacity = 100;
inline constexpr std::size_t kLinesPerCommand = 4;
// Characters, a character outside ASCII counting one.
inline constexpr std::size_t kMaxNameLength = 127;
inline constexpr std::size_t kMaxRequestLength = 787;
// The longest line a queue file holds, without its line end: a request as long as the
// table keeps, so that every queue that Add accepts and Save writes loads back whole.
inline constexpr std::size_t kMaxLineLength = kMaxRequestLength;

// One queued command.
struct CommandEntry {
    std::string name;
    std::string request; // hexadecimal text, on one line
    int32_t length = 0;  // data length in bytes as it stood in the length field
};

// The lines of a queue file, each without its line end (CR LF, LF, or none for a last
// line without one); at most the lines of 100 commands.
struct QueueFileLines {
    enum class Fault { None, LineTooLong, NameTooLong, ZeroByte };
    std::vector<std::string> lines;
    bool moreCommands = false; // lines followed those of the 100th command
    Fault fault = Fault::None; // reading stopped at a line that no queue file holds
    std::size_t faultLine = 0; // that line's number, from 1
};
QueueFileLines ParseQueueFile(std::string_view bytes);

// The commands of the lines: entry k from lines 4k to 4k + 3; a last command may lack
// lines. The length is the line's leading decimal number (blanks before it skipped, 0
// when it has none).
std::vector<CommandEntry> CommandsOfLines(const std::vector<std::string>& lines);
int32_t LeadingNumber(std::string_view line);

// The operator's text for a fault, or for more commands than the queue holds.
std::string QueueFileFaultText(const QueueFileLines& file, const std::string& fileName);
std::string MoreCommandsText(const std::string& fileName);

// The start of a file that decides everything ParseQueueFile gives: 400 lines of 787
// characters of up to four bytes, their line ends, and one byte more.
inline constexpr std::size_t kQueueFileReadLimit =
    kQueueCapacity * kLinesPerCommand * (kMaxLineLength * 4 + 2) + 1;

// Reads a regular file (never waiting on a pipe or a device) as far as ParseQueueFile
// needs. `opened` is false when it cannot be opened or read.
struct QueueFileRead {
    bool opened = false;
    QueueFileLines content;
};
QueueFileRead ReadQueueFile(const std::string& path);

// The lines, each followed by CR LF.
std::string FormatQueueFile(const std::vector<std::string>& lines);
// Writes the lines as replaceFile does (file_write.h): a failure leaves any old file whole,
// and a target that is no regular file is refused and left alone. False on failure.
bool WriteQueueFile(const std::string& path, const std::vector<std::string>& lines);

} // namespace tessary
