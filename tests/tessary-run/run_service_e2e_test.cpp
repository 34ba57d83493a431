// SPDX-License-Identifier: BSD-3-Clause
// tessary-run when the PC/SC service stops in the middle of a run: one clear line and
// status 2, never a hang. The daemon is a private one of this test's own.
#include "sim_pcscd.h"
#include "tool_process.h"

#include <QTemporaryDir>

#include <fstream>

using namespace runtest;

namespace {

TEST(TessaryRunServiceStopped, EndsTheRunWithStatusTwo) {
    QTemporaryDir folder;
    const QString script = folder.filePath("challenge.apdu");
    std::ofstream(script.toStdString()) << "00 84 00 00 08 => .. 90 00\n";
    QProcess run;
    startTool(run, {"-i", "20", "-n", "1000", script});
    awaitFirstLine(run);

    QProcess stop;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TESSARY_BUILD_DIR", QStringLiteral(BUILD_DIR));
    stop.setProcessEnvironment(environment);
    stop.start(QStringLiteral(SIM_PCSCD), {"stop"});
    ASSERT_TRUE(stop.waitForFinished(20000));
    ASSERT_EQ(stop.exitCode(), 0) << stop.readAllStandardError().toStdString();

    const ToolRun result = finishTool(run);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "tessary-run: the PC/SC service stopped (is pcscd running?)\n");
    EXPECT_NE(result.out.find("KTX_PCSC_SCARDTRANSMIT_ERR\n"), std::string::npos) << result.out;
}

} // namespace

RUNTEST_MAIN
