// SPDX-License-Identifier: BSD-3-Clause
// tessary-memcard: whole memory-card images from the command line.
#include "messages.h"
#include "options.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    // Output whose reader has gone is a write error to report, not a death between a PSC
    // and the reset that locks the card again.
    std::signal(SIGPIPE, SIG_IGN);
    // Each line as it is made: a long write's progress shows through a pipe too.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessary-memcard"));
    return tessary::memcard::finishOutput(
        tessary::memcard::runCommandLine(QCoreApplication::arguments()));
}
