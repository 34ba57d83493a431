// SPDX-License-Identifier: BSD-3-Clause
#include "state_files.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace simreader {

std::optional<KeyValues> parseKeyValues(std::string_view text, std::string& error) {
    KeyValues values;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        // Every CR before the line feed belongs to the line end: a value that kept one would
        // not read back the same once written again.
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == 0 || eq == std::string_view::npos) {
            error = "line " + std::to_string(lineNumber) + " is not key=value";
            return std::nullopt;
        }
        values.insert_or_assign(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }
    return values;
}

std::string formatKeyValues(const KeyValues& values) {
    std::string text;
    for (const auto& [key, value] : values) {
        text += key;
        text += '=';
        text += value;
        text += '\n';
    }
    return text;
}

std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 || content.size() + static_cast<std::size_t>(got) > kMaxStateFileSize) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        content.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!ok) {
        return std::nullopt;
    }
    return content;
}

bool writeFileAtomically(const std::filesystem::path& path, std::string_view content) {
    std::filesystem::path temp = path;
    temp += ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    const bool complete = written == content.size();
    if (::close(fd) != 0 || !complete || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

FileStamp stampOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return {true, st.st_dev, st.st_ino,
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
            st.st_size};
}

std::string formatStamp(const FileStamp& stamp) {
    if (!stamp.exists) {
        return "none";
    }
    return std::to_string(stamp.device) + ":" + std::to_string(stamp.inode) + ":" +
           std::to_string(stamp.modifiedNs) + ":" + std::to_string(stamp.size);
}

ProcessIdentity thisProcess() {
    return runningProcess(static_cast<long>(::getpid())).value_or(ProcessIdentity{});
}

std::optional<ProcessIdentity> runningProcess(long pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const auto stat = readSmallFile("/proc/" + std::to_string(pid) + "/stat");
    // "pid (comm) state ppid ...": the name may hold blanks and parentheses, so the fields
    // are counted from the last ')'. State is field 3, the start time field 22.
    const std::size_t close = stat ? stat->rfind(')') : std::string::npos;
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::string_view rest = std::string_view(*stat).substr(close + 1);
    std::vector<std::string_view> fields;
    while (!rest.empty()) {
        const std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(start);
        const std::size_t end = rest.find(' ');
        fields.push_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
    }
    constexpr std::size_t kState = 0, kStarted = 19; // fields 3 and 22
    if (fields.size() <= kStarted || fields[kState] == "Z" || fields[kState] == "X") {
        return std::nullopt;
    }
    ProcessIdentity identity{pid, 0};
    const auto text = fields[kStarted];
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), identity.started);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return identity;
}

std::optional<CardSetting> parseCardSetting(const KeyValues& values, std::string& error) {
    CardSetting card;
    const auto type = values.find("type");
    if (type == values.end()) {
        error = "no card type";
        return std::nullopt;
    }
    const auto parsed = parseCardType(type->second);
    if (!parsed) {
        error = "unknown card type '" + type->second + "'";
        return std::nullopt;
    }
    card.type = *parsed;
    const auto id = values.find("id");
    if (id != values.end()) {
        const auto& text = id->second;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), card.id);
        if (ec != std::errc{} || end != text.data() + text.size()) {
            error = "card id '" + text + "' is not a number";
            return std::nullopt;
        }
    }
    for (const auto& [key, value] : values) {
        if (key != "type" && key != "id") {
            card.options.emplace(key, value);
        }
    }
    return card;
}

KeyValues formatCardSetting(const CardSetting& card) {
    KeyValues values = card.options;
    values["type"] = std::string(cardTypeName(card.type));
    values["id"] = std::to_string(card.id);
    return values;
}

} // namespace simreader
