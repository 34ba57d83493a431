#include "run_file.h"

#include "queue_file.h"
#include "request_text.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace tessary::run {
namespace {

std::string at(const std::string& fileName, std::size_t line) {
    return fileName + ":" + std::to_string(line) + ": ";
}

// A line of digits, blanks before them allowed: the length field's text.
bool paddedNumber(std::string_view line) {
    const std::size_t digits = line.find_first_not_of(' ');
    return digits != std::string_view::npos &&
           line.find_first_not_of("0123456789", digits) == std::string_view::npos;
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
        result.error = fileName + ": more than the " + std::to_string(kQueueCapacity) +
                       " commands a queue holds";
        return result;
    }
    const std::vector<CommandEntry> entries = CommandsOfLines(file.lines);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const CommandEntry& entry = entries[k];
        const std::size_t requestLine = k * kLinesPerCommand + 3;
        const std::string what = "the command \"" + entry.name + "\"";
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
            result.error = at(fileName, requestLine) + "\"" + request.badPair->substr(2) +
                           "\" is not a hexadecimal byte";
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

bool looksLikeQueueFile(std::string_view bytes) {
    std::size_t index = 0;
    while (!bytes.empty()) {
        const std::size_t feed = bytes.find('\n');
        std::string_view line = bytes.substr(0, feed);
        bytes.remove_prefix(feed == std::string_view::npos ? bytes.size() : feed + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        const std::size_t role = index++ % kLinesPerCommand;
        if ((role == 1 && !paddedNumber(line)) || (role == 3 && !line.empty())) {
            return false;
        }
    }
    return index > 0 && index % kLinesPerCommand == 0;
}

FileCommands commandsOfFile(std::string_view bytes, const std::string& fileName,
                            FileFormat format) {
    if (format == FileFormat::Detect) {
        format = looksLikeQueueFile(bytes) ? FileFormat::Queue : FileFormat::Script;
    }
    FileCommands result = format == FileFormat::Queue ? queueCommands(bytes, fileName)
                                                      : scriptCommands(bytes, fileName);
    if (result.error.empty() && result.commands.empty()) {
        result.error = fileName + ": no command in it";
    }
    return result;
}

FileCommands loadRunFile(const std::string& path, FileFormat format) {
    const bool standardInput = path == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string fileName = standardInput ? "(standard input)" : path;
    FileCommands failed;
    if (fd < 0) {
        failed.error = fileName + ": " + std::strerror(errno);
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
        failed.error = fileName + ": " + std::strerror(readError);
    } else if (have > kMaxFileSize) {
        failed.error = fileName + ": larger than " + std::to_string(kMaxFileSize >> 20) +
                       " MiB, more than any command file";
    } else {
        return commandsOfFile(bytes, fileName, format);
    }
    return failed;
}

} // namespace tessary::run
