// SPDX-License-Identifier: BSD-3-Clause
// tessary-run as its users start it: a process with arguments, its output and exit status.
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace runtest {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline QStringList qArguments(std::initializer_list<std::string> arguments) {
    QStringList list;
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    return list;
}

inline void startTool(QProcess& process, const QStringList& arguments, const QString& folder = {}) {
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(TESSARY_RUN), arguments);
    ASSERT_TRUE(process.waitForStarted(10000));
}

// Waits for the process to end; a run that hangs fails the test instead of the suite.
inline ToolRun finishTool(QProcess& process) {
    ToolRun run;
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "tessary-run did not end";
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

inline ToolRun runTool(std::initializer_list<std::string> arguments, const QString& folder = {}) {
    QProcess process;
    startTool(process, qArguments(arguments), folder);
    return finishTool(process);
}

// Waits until the process has shown its first line: the run is under way.
inline void awaitFirstLine(QProcess& process) {
    while (!process.canReadLine()) {
        ASSERT_TRUE(process.waitForReadyRead(10000))
            << "no line from tessary-run: " << process.readAllStandardError().toStdString();
    }
}

} // namespace runtest

// Tests that start processes run under a Qt application object; the program reaches the
// private daemon of the folder that CTest names.
#define RUNTEST_MAIN                                                                               \
    int main(int argc, char** argv) {                                                              \
        if (const char* folder = std::getenv("SIM_PCSCD_DIR")) {                                   \
            const std::string socket = std::string(folder) + "/run/pcscd/pcscd.comm";              \
            ::setenv("PCSCLITE_CSOCK_NAME", socket.c_str(), 0);                                    \
        }                                                                                          \
        QCoreApplication app(argc, argv);                                                          \
        ::testing::InitGoogleTest(&argc, argv);                                                    \
        return RUN_ALL_TESTS();                                                                    \
    }
