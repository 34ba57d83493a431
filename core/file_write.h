// SPDX-License-Identifier: BSD-3-Clause
// Writing a whole file so that a failure never leaves half of it, and never replaces what
// is not a file: a device, a pipe or a folder named as the target is refused and left as it
// is. Shared by the window's queue Save and the tools' images and reports.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include <unistd.h>

namespace tessary {

// A file descriptor closed at the end of its scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

struct FileWrite {
    bool written = false;
    std::string error; // why not, for a message: "is not a regular file", strerror's text
};

// Writes `content` to a new file beside `path`, flushes it to disk and renames it over
// `path` (through a link, over the file the link names, keeping that file's mode). Where
// the folder takes no new file but the file itself may be written (a shared file in a
// folder of someone else's), the file is written in place instead.
FileWrite replaceFile(const std::string& path, std::string_view content);

} // namespace tessary
