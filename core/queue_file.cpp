// SPDX-License-Identifier: BSD-3-Clause
#include "queue_file.h"

#include "file_write.h"
#include "request_text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {
namespace {

constexpr std::size_t kMaxLines = kQueueCapacity * kLinesPerCommand;
// Bytes that hold any line that is not too long, with its CR LF.
constexpr std::size_t kLineWindow = kMaxLineLength * 4 + 2;

} // namespace

QueueFileLines ParseQueueFile(std::string_view bytes) {
    QueueFileLines file;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (file.lines.size() == kMaxLines) {
            file.moreCommands = true;
            break;
        }
        const std::string_view window = bytes.substr(at, kLineWindow);
        const std::size_t feed = window.find('\n');
        std::string_view line = window.substr(0, feed);
        const auto fault = [&] {
            if (line.find('\0') != std::string_view::npos) {
                return QueueFileLines::Fault::ZeroByte;
            }
            // A window without a line end that is not the file's end holds more than 787
            // characters of at most four bytes each.
            if (feed == std::string_view::npos && at + window.size() < bytes.size()) {
                return QueueFileLines::Fault::LineTooLong;
            }
            if (feed != std::string_view::npos && line.ends_with('\r')) {
                line.remove_suffix(1);
            }
            const std::size_t characters = characterCount(line);
            if (characters > kMaxLineLength) {
                return QueueFileLines::Fault::LineTooLong;
            }
            if (file.lines.size() % kLinesPerCommand == 0 && characters > kMaxNameLength) {
                return QueueFileLines::Fault::NameTooLong;
            }
            return QueueFileLines::Fault::None;
        }();
        if (fault != QueueFileLines::Fault::None) {
            file.fault = fault;
            file.faultLine = file.lines.size() + 1;
            return file;
        }
        file.lines.emplace_back(line);
        at += feed == std::string_view::npos ? window.size() : feed + 1;
    }
    return file;
}

int32_t LeadingNumber(std::string_view line) {
    std::size_t at = line.find_first_not_of(" \t");
    int64_t value = 0;
    for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
        value = std::min<int64_t>(value * 10 + (line[at] - '0'), INT32_MAX);
    }
    return static_cast<int32_t>(value);
}

std::vector<CommandEntry> CommandsOfLines(const std::vector<std::string>& lines) {
    std::vector<CommandEntry> commands((lines.size() + kLinesPerCommand - 1) / kLinesPerCommand);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        CommandEntry& entry = commands[i / kLinesPerCommand];
        switch (i % kLinesPerCommand) {
        case 0:
            entry.name = lines[i];
            break;
        case 1:
            entry.length = LeadingNumber(lines[i]);
            break;
        case 2:
            entry.request = lines[i];
            break;
        default: // the empty line that ends a command is not looked at
            break;
        }
    }
    return commands;
}

std::string QueueFileFaultText(const QueueFileLines& file, const std::string& fileName) {
    const std::string where = "Line " + std::to_string(file.faultLine) + " of " + fileName;
    const std::string kept = "; the queue is left as it was.";
    switch (file.fault) {
    case QueueFileLines::Fault::LineTooLong:
        return where + " is longer than " + std::to_string(kMaxLineLength) + " characters" + kept;
    case QueueFileLines::Fault::NameTooLong:
        return where + " names a command in more than " + std::to_string(kMaxNameLength) +
               " characters" + kept;
    case QueueFileLines::Fault::ZeroByte:
        return where + " holds a zero byte, so it is no command queue file" + kept;
    case QueueFileLines::Fault::None:
        break;
    }
    return {};
}

std::string MoreCommandsText(const std::string& fileName) {
    return fileName + " holds more than " + std::to_string(kQueueCapacity) +
           " commands; the queue holds the first " + std::to_string(kQueueCapacity) +
           ", read from it.";
}

QueueFileRead ReadQueueFile(const std::string& path) {
    QueueFileRead read;
    // Not blocking: a pipe or a device is refused below instead of waited on.
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return read;
    }
    std::string bytes;
    bytes.reserve(std::min<std::size_t>(
        kQueueFileReadLimit, static_cast<std::size_t>(std::max<off_t>(status.st_size, 0))));
    std::size_t have = 0;
    while (have < kQueueFileReadLimit) {
        bytes.resize(std::min(have + 65536, kQueueFileReadLimit));
        const ssize_t got = ::read(fd.get(), bytes.data() + have, bytes.size() - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return read;
        }
        if (got == 0) {
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    bytes.resize(have);
    read.opened = true;
    read.content = ParseQueueFile(bytes);
    return read;
}

std::string FormatQueueFile(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

bool WriteQueueFile(const std::string& path, const std::vector<std::string>& lines) {
    return replaceFile(path, FormatQueueFile(lines)).written;
}

} // namespace tessary
