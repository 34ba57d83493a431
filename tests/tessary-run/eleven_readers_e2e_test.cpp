// SPDX-License-Identifier: BSD-3-Clause
// Both command-line programs against eleven readers: the eleventh, past the ten that the
// access library lists, is listed, chosen by name or index, and connected to.
#include "tool_process.h"

#include <QTemporaryDir>

#include <fstream>

using namespace runtest;

namespace {

ToolRun runMemcard(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(TESSARY_MEMCARD), arguments);
    EXPECT_TRUE(process.waitForStarted(10000));
    return finishTool(process);
}

TEST(ToolsOnElevenReaders, TessaryRunListsAndRunsOnTheEleventh) {
    const ToolRun list = runTool({"--list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("\n[10] Sim Reader 11 0A 00: card present, ATR "), std::string::npos)
        << list.out;

    QTemporaryDir folder;
    const std::string script = folder.filePath("select.apdu").toStdString();
    std::ofstream(script) << "00 A4 00 00 02 3F 00 => 90 00\n";
    for (const std::string reader : {"10", "Sim Reader 11"}) {
        const ToolRun run = runTool({"-r", reader, "--json", script});
        EXPECT_EQ(run.status, 0) << reader << ": " << run.err;
        EXPECT_NE(run.out.find("\"result\":\"ok\""), std::string::npos) << run.out;
    }
}

TEST(ToolsOnElevenReaders, TessaryMemcardReachesTheEleventh) {
    // Its card is a processor card: the type check that refuses it comes after the connection.
    const ToolRun run = runMemcard({"info", "-r", "10"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("tessary-memcard: the card's ATR (3B "), std::string::npos) << run.err;
}

} // namespace

RUNTEST_MAIN
