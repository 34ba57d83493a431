// SPDX-License-Identifier: BSD-3-Clause
#include "psc_input.h"

#include "file_write.h"
#include "hex_text.h"
#include "interrupt.h"
#include "pcsc_result.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tessary::memcard {
namespace {

constexpr std::size_t kMaxPscBytes = 8;
// Room for the longest PSC with blanks between its digits and then some; a longer first
// line is no PSC.
constexpr std::size_t kLineRoom = 256;
constexpr const char* kShape = "hexadecimal digits, blanks between the bytes allowed";

using Line = std::array<char, kLineRoom>;

// The buffer held a PSC: it is cleared before its memory is given back.
class Wiped {
public:
    explicit Wiped(Line& line) : m_line(line) {}
    ~Wiped() { ::explicit_bzero(m_line.data(), m_line.size()); }
    Wiped(const Wiped&) = delete;
    Wiped& operator=(const Wiped&) = delete;

private:
    Line& m_line;
};

PscInput failure(std::string message) {
    return {std::nullopt, std::move(message), 0};
}

std::string_view firstLine(std::string_view text) {
    text = text.substr(0, text.find('\n'));
    if (text.ends_with('\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The terminal with its echo off for the scope; the newline typed still shows, so that
// what follows starts on a line of its own. Suspending is off too: a shell taking the
// terminal back would turn the echo on under the waiting prompt.
class EchoOff {
public:
    EchoOff(int terminal, const termios& saved) : m_terminal(terminal), m_saved(saved) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ICANON | ECHONL | ISIG;
        quiet.c_cc[VSUSP] = _POSIX_VDISABLE;
        m_done = ::tcsetattr(terminal, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (m_done) {
            ::tcsetattr(m_terminal, TCSANOW, &m_saved);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool done() const { return m_done; }

private:
    int m_terminal;
    termios m_saved;
    bool m_done = false;
};

void writeText(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

enum class Wait { Ready, Signal, Failed };

// Until the terminal has a line or a signal is caught, whichever thread took it.
Wait waitForLine(int terminal) {
    std::array<pollfd, 2> fds{
        {{terminal, POLLIN, 0}, {InterruptCatcher::wakeDescriptor(), POLLIN, 0}}};
    const nfds_t count = fds[1].fd >= 0 ? 2 : 1;
    for (;;) {
        if (InterruptCatcher::caught() != 0) {
            return Wait::Signal;
        }
        const int ready = ::poll(fds.data(), count, -1);
        if (ready < 0 && errno != EINTR) {
            return Wait::Failed;
        }
        if (ready > 0 && fds[0].revents != 0 && InterruptCatcher::caught() == 0) {
            return Wait::Ready;
        }
    }
}

} // namespace

std::optional<std::vector<uint8_t>> parsePsc(std::string_view text) {
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (high >= 0) {
                return std::nullopt; // a blank inside a byte
            }
            continue;
        }
        const int digit = tessary::hexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        if (high < 0) {
            high = digit;
            continue;
        }
        if (bytes.size() == kMaxPscBytes) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
        high = -1;
    }
    if (bytes.empty() || high >= 0) {
        return std::nullopt;
    }
    return bytes;
}

PscInput pscFromText(std::string_view text) {
    const std::string_view line = firstLine(text);
    if (line.find_first_not_of(" \t") == std::string_view::npos) {
        return failure("its first line holds no PSC");
    }
    auto psc = parsePsc(line);
    if (!psc) {
        return failure(std::string("its first line is not a PSC (") + kShape + ")");
    }
    return {std::move(psc), {}, 0};
}

PscInput readPscFile(const std::string& path) {
    const bool standardInput = path == "-";
    const std::string name = standardInput ? "standard input" : tessary::printable(path);
    Descriptor opened(standardInput ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    const int fd = standardInput ? STDIN_FILENO : opened.get();
    if (fd < 0) {
        return failure("cannot open the PSC file " + name + ": " + std::strerror(errno));
    }
    Line line{};
    const Wiped wiped(line);
    std::size_t size = 0;
    // Only as far as the first line's end: what follows it on standard input is not ours.
    while (size < line.size() && std::memchr(line.data(), '\n', size) == nullptr) {
        const ssize_t n = ::read(fd, line.data() + size, line.size() - size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return failure("cannot read the PSC file " + name + ": " + std::strerror(errno));
        }
        if (n == 0) {
            break;
        }
        size += static_cast<std::size_t>(n);
    }
    const std::string_view text(line.data(), size);
    if (size == line.size() && text.find('\n') == std::string_view::npos) {
        return failure(name + ": its first line is not a PSC (" + kShape + ")");
    }
    PscInput input = pscFromText(text);
    if (!input.psc) {
        input.error = name + ": " + input.error;
    }
    return input;
}

PscInput promptPsc(int terminal, int output, std::string_view prompt) {
    termios saved{};
    if (::tcgetattr(terminal, &saved) != 0) {
        return failure("no terminal to ask for the PSC on");
    }
    const InterruptCatcher catcher;
    Line line{};
    const Wiped wiped(line);
    std::size_t size = 0;
    bool whole = false;   // the line's end was read
    bool tooLong = false; // more was typed than a PSC takes: read to the end, then refused
    {
        const EchoOff quiet(terminal, saved);
        if (!quiet.done()) {
            return failure(std::string("cannot turn the terminal's echo off: ") +
                           std::strerror(errno));
        }
        writeText(output, prompt);
        while (!whole) {
            const Wait wait = waitForLine(terminal);
            if (wait == Wait::Signal) {
                writeText(output, "\n");
                return {std::nullopt, "", InterruptCatcher::caught()};
            }
            if (size == line.size()) {
                tooLong = true;
                size = 0;
            }
            const ssize_t n =
                wait == Wait::Ready ? ::read(terminal, line.data() + size, line.size() - size) : -1;
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) { // end of input (^D) or the terminal gone
                writeText(output, "\n");
                return failure("no PSC was typed");
            }
            whole = std::memchr(line.data() + size, '\n', static_cast<std::size_t>(n)) != nullptr;
            size += static_cast<std::size_t>(n);
        }
    }
    const std::string_view typed = firstLine(std::string_view(line.data(), size));
    if (!tooLong && typed.find_first_not_of(" \t") == std::string_view::npos) {
        return failure("no PSC was typed");
    }
    PscInput input = tooLong ? failure("") : pscFromText(typed);
    if (!input.psc) {
        input.error = std::string("what was typed is not a PSC (") + kShape + ")";
    }
    return input;
}

} // namespace tessary::memcard
