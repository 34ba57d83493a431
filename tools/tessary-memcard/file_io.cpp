// SPDX-License-Identifier: BSD-3-Clause
#include "file_io.h"

#include "file_write.h"
#include "pcsc_result.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary::memcard {
namespace {

bool isStandard(const std::string& path) {
    return path == kStandardStream;
}

std::string writeStandardOutput(std::string_view text) {
    // What was printed before goes first, in its order.
    if (std::fflush(stdout) != 0) {
        return std::strerror(errno);
    }
    while (!text.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::strerror(n < 0 ? errno : EIO);
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

} // namespace

std::string inputName(const std::string& path) {
    return isStandard(path) ? "standard input" : tessary::printable(path);
}

std::string outputName(const std::string& path) {
    return isStandard(path) ? "standard output" : tessary::printable(path);
}

TextRead readText(const std::string& path, std::size_t limit) {
    const std::string name = inputName(path);
    Descriptor opened(isStandard(path) ? -1
                                       : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    const int fd = isStandard(path) ? STDIN_FILENO : opened.get();
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        return {std::nullopt, "cannot open " + name + ": " + std::strerror(errno)};
    }
    if (S_ISDIR(status.st_mode)) {
        return {std::nullopt, "cannot open " + name + ": " + std::strerror(EISDIR)};
    }
    std::string text(limit, '\0');
    std::size_t size = 0;
    while (size < limit) {
        const ssize_t n = ::read(fd, text.data() + size, limit - size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return {std::nullopt, "cannot read " + name + ": " + std::strerror(errno)};
        }
        if (n == 0) {
            break;
        }
        size += static_cast<std::size_t>(n);
    }
    text.resize(size);
    return {std::move(text), {}};
}

std::string refuseTarget(const std::string& path) {
    struct stat status {};
    if (isStandard(path) || ::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode)) {
        return {};
    }
    return "cannot write " + outputName(path) + ": " +
           (S_ISDIR(status.st_mode) ? "is a folder" : "is not a regular file") +
           "; it is left as it is";
}

std::string prepareFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) {
        return {};
    }
    const int made = errno;
    struct stat status {};
    if (made == EEXIST && ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return {};
    }
    return "cannot put the images into " + outputName(path) + ": " +
           (made == EEXIST ? std::string("it is there and is no folder") : std::strerror(made));
}

std::string imageFileName(const std::string& reader, std::size_t index, bool clashes) {
    std::string name;
    for (const char c : reader) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        name += kept ? c : '_';
    }
    if (name.empty() || name.front() == '.') {
        name.insert(0, "reader"); // never hidden, never "." or ".."
    }
    if (clashes) {
        name += "-" + std::to_string(index);
    }
    return name + ".img";
}

std::string writeText(const std::string& path, std::string_view text) {
    if (isStandard(path)) {
        const std::string error = writeStandardOutput(text);
        return error.empty() ? error : "cannot write standard output: " + error;
    }
    const FileWrite written = tessary::replaceFile(path, text);
    if (written.written) {
        return {};
    }
    return "cannot write " + outputName(path) + ": " + written.error +
           (written.error == "is not a regular file" ? "; it is left as it is" : "");
}

} // namespace tessary::memcard
