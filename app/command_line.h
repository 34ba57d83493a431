// SPDX-License-Identifier: BSD-3-Clause
// The program's options, read before any window exists.
#pragma once

namespace tessary {

struct CommandLine {
    // Leave as soon as the window has first been shown (smoke tests, measurements).
    bool exitWhenShown = false;
    // Show the tabs of the two memory-card pages, which the window hides as designed.
    bool memoryCardPages = false;
    // 0 or more: leave at once with this status; help, version or a usage error was printed.
    int exitStatus = -1;
};

// Reads the options of argv. --help and --version print to stdout (status 0); an unknown
// option or an argument prints a usage line to stderr (status 2). Needs no display and no
// application object; Qt's own options (-platform, -style, ...) pass untouched, for
// QApplication to take.
CommandLine readCommandLine(int argc, char** argv);

} // namespace tessary
