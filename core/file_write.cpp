// SPDX-License-Identifier: BSD-3-Clause
#include "file_write.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {
namespace {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

FileWrite failed(int error) {
    return {false, std::strerror(error)};
}

// The file itself, truncated and written: only where no file can be made beside it.
FileWrite writeInPlace(const std::string& target, std::string_view content) {
    Descriptor fd(::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0) {
        return failed(errno);
    }
    if (!S_ISREG(status.st_mode)) { // replaced by something else meanwhile
        return {false, "is not a regular file"};
    }
    if (::ftruncate(fd.get(), 0) != 0 || !writeAll(fd.get(), content) || ::fsync(fd.get()) != 0 ||
        ::close(fd.release()) != 0) {
        return failed(errno);
    }
    return {true, {}};
}

} // namespace

FileWrite replaceFile(const std::string& path, std::string_view content) {
    namespace fs = std::filesystem;
    std::error_code error;
    // Through a link, the file it names is replaced, not the link.
    const fs::path target = fs::weakly_canonical(fs::path(path), error);
    if (error || target.filename().empty()) {
        return {false, error ? error.message() : "names no file"};
    }
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        return {false, S_ISDIR(old.st_mode) ? "is a folder" : "is not a regular file"};
    }
    std::string temporary =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    Descriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0) {
        const int reason = errno;
        if ((reason == EACCES || reason == EPERM || reason == EROFS) && exists &&
            ::access(target.c_str(), W_OK) == 0) {
            return writeInPlace(target.string(), content);
        }
        return failed(reason);
    }
    const mode_t mode = exists ? old.st_mode & 07777 : newFileMode();
    const bool written = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), content) &&
                         ::fsync(fd.get()) == 0 && ::close(fd.release()) == 0 &&
                         ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!written) {
        const int reason = errno;
        ::unlink(temporary.c_str());
        return failed(reason);
    }
    return {true, {}};
}

} // namespace tessary
