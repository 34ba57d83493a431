// SPDX-License-Identifier: BSD-3-Clause
#include "run_file.h"

#include "pcsc_result.h"
#include "queue_file.h"
#include "request_text.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace tessary::run {
namespace {

// Names from the command line and from files reach a terminal: no control character of
// theirs goes out as it is.
std::string at(const std::string& fileName, std::size_t line) {
    return printable(fileName) + ":" + std::to_string(line) + ": ";
}

// The length field as the workbench saves it: three positions, its digits at the right.
bool lengthField(std::string_view line) {
    const std::size_t digits = line.find_first_not_of(' ');
    return line.size() == 3 && digits != std::string_view::npos &&
           line.find_first_not_of("0123456789", digits) == std::string_view::npos;
}

// A request text the console sends whole: hexadecimal pairs, each followed by one separator
// (the last one's may be missing), and nothing after them that the console would drop.
bool sentWhole(std::string_view line) {
    const int count = RequestByteCount(line);
    return count > 0 && characterCount(line) <= 3 * static_cast<std::size_t>(count) &&
           !ParseRequestBytes(line, count).badPair;
}

struct QueueShape {
    bool frame = false;  // whole four-line groups, each ending in an empty line
    bool fields = false; // and each with a length field and a request text in their places
};

QueueShape queueShape(std::string_view bytes) {
    QueueShape shape{true, true};
    std::size_t index = 0;
    while (!bytes.empty() && shape.frame) {
        const std::size_t feed = bytes.find('\n');
        std::string_view line = bytes.substr(0, feed);
        bytes.remove_prefix(feed == std::string_view::npos ? bytes.size() : feed + 1);
        if (feed != std::string_view::npos && line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        switch (index++ % kLinesPerCommand) {
        case 1:
            shape.fields = shape.fields && lengthField(line);
            break;
        case 2:
            shape.fields = shape.fields && sentWhole(line);
            break;
        case 3:
            shape.frame = line.empty();
            break;
        default: // a name may be anything
            break;
        }
    }
    shape.frame = shape.frame && index > 0 && index % kLinesPerCommand == 0;
    shape.fields = shape.fields && shape.frame;
    return shape;
}

std::string queueFault(const QueueFileLines& file, const std::string& fileName) {
    const std::string where = at(fileName, file.faultLine);
    switch (file.fault) {
    case QueueFileLines::Fault::LineTooLong:
        return where + "longer than the " + std::to_string(kMaxLineLength) +
               " characters a queue file's line holds";
    case QueueFileLines::Fault::NameTooLong:
        return where + "a command name longer than " + std::to_string(kMaxNameLength) +
               " characters";
    case QueueFileLines::Fault::ZeroByte:
        return where + "a zero byte, which no queue file holds";
    case QueueFileLines::Fault::None:
        break;
    }
    return {};
}

FileCommands queueCommands(std::string_view bytes, const std::string& fileName) {
    FileCommands result;
    const QueueFileLines file = ParseQueueFile(bytes);
    if (file.fault != QueueFileLines::Fault::None) {
        result.error = queueFault(file, fileName);
        return result;
    }
    if (file.moreCommands) {
        result.error = printable(fileName) + ": more than the " + std::to_string(kQueueCapacity) +
                       " commands a queue holds";
        return result;
    }
    const std::vector<CommandEntry> entries = CommandsOfLines(file.lines);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const CommandEntry& entry = entries[k];
        const std::size_t requestLine = k * kLinesPerCommand + 3;
        const std::string what = "the command \"" + printable(entry.name) + "\"";
        if (file.lines.size() < requestLine) {
            result.error = at(fileName, file.lines.size()) + what + " ends before its request";
            return result;
        }
        // The request text is read as the console reads it: pairs at every third character.
        const int count = RequestByteCount(entry.request);
        if (count == 0) {
            result.error = at(fileName, requestLine) + what + " has no request";
            return result;
        }
        ParsedRequest request = ParseRequestBytes(entry.request, count);
        if (request.badPair) {
            result.error = at(fileName, requestLine) + "\"" +
                           printable(request.badPair->substr(2)) + "\" is not a hexadecimal byte";
            return result;
        }
        result.commands.push_back(
            {fileName, requestLine, entry.name, std::move(request.bytes), std::nullopt});
    }
    return result;
}

FileCommands scriptCommands(std::string_view bytes, const std::string& fileName) {
    FileCommands result;
    ScriptParse script = parseScript(bytes);
    if (!script.error.empty()) {
        result.error = at(fileName, script.errorLine) + script.error;
        return result;
    }
    for (ScriptCommand& command : script.commands) {
        result.commands.push_back({fileName, command.line, std::nullopt, std::move(command.apdu),
                                   std::move(command.expect)});
    }
    return result;
}

} // namespace

const char* formatName(FileFormat format) {
    return format == FileFormat::Queue ? "queue" : "script";
}

bool looksLikeQueueFile(std::string_view bytes) {
    return queueShape(bytes).fields;
}

FileCommands commandsOfFile(std::string_view bytes, const std::string& fileName,
                            FileFormat format) {
    const std::string shownName = printable(fileName);
    std::string hint;
    if (format == FileFormat::Detect) {
        const QueueShape shape = queueShape(bytes);
        if (shape.fields) {
            if (const FileCommands asScript = scriptCommands(bytes, fileName);
                asScript.error.empty() && !asScript.commands.empty()) {
                FileCommands ambiguous;
                ambiguous.error = shownName +
                                  ": reads as a queue file and as a script alike; name its "
                                  "format with --format queue or --format script";
                return ambiguous;
            }
            format = FileFormat::Queue;
        } else {
            format = FileFormat::Script;
            if (shape.frame) {
                // Four-line groups whose fields the workbench would not have written: most
                // likely a queue file edited by hand.
                hint = " (read as a script; --format queue reads it as a queue file)";
            }
        }
    }
    FileCommands result = format == FileFormat::Queue ? queueCommands(bytes, fileName)
                                                      : scriptCommands(bytes, fileName);
    result.format = format;
    if (!result.error.empty()) {
        result.error += hint;
    } else if (result.commands.empty()) {
        result.error = shownName + ": no command in it";
    }
    return result;
}

FileCommands loadRunFile(const std::string& path, FileFormat format) {
    const bool standardInput = path == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string fileName = standardInput ? "(standard input)" : path;
    const std::string shownName = printable(fileName);
    FileCommands failed;
    if (fd < 0) {
        failed.error = shownName + ": " + std::strerror(errno);
        return failed;
    }
    std::string bytes;
    std::size_t have = 0;
    int readError = 0;
    while (have <= kMaxFileSize) {
        bytes.resize(have + 65536);
        const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            readError = got < 0 ? errno : 0;
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    if (!standardInput) {
        ::close(fd);
    }
    bytes.resize(have);
    if (readError != 0) {
        failed.error = shownName + ": " + std::strerror(readError);
    } else if (have > kMaxFileSize) {
        failed.error = shownName + ": larger than " + std::to_string(kMaxFileSize >> 20) +
                       " MiB, more than any command file";
    } else {
        return commandsOfFile(bytes, fileName, format);
    }
    return failed;
}

} // namespace tessary::run
