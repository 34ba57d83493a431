// SPDX-License-Identifier: BSD-3-Clause
// Both command-line programs on several of sixteen readers at once, through the private
// pcscd: every reader's results apart and whole, a card pulled from one reader failing that
// reader alone, and one image written to memory cards among which one is nearly and one is
// wholly locked.
#include "sim_pcscd.h"
#include "text_lines.h"
#include "tool_process.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fstream>
#include <set>

using namespace runtest;
using namespace simtest;

namespace {

constexpr int kReaders = 16;

std::string line(int reader) {
    char name[16];
    std::snprintf(name, sizeof name, "Line %02d", reader);
    return name;
}

ToolRun runMemcard(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(TESSARY_MEMCARD), arguments);
    EXPECT_TRUE(process.waitForStarted(10000));
    return finishTool(process);
}

class ToolsOnSixteenReaders : public ::testing::Test {
protected:
    std::string file(const std::string& name, const std::string& text) {
        const std::string path = m_folder.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string path(const std::string& name) {
        return m_folder.filePath(QString::fromStdString(name)).toStdString();
    }
    // The card goes in, and pcscd has seen it by the time this returns.
    static void insert(int reader, const std::vector<std::string>& card) {
        Context context;
        const std::string name = pcscName(context.get(), line(reader));
        std::vector<std::string> arguments{"insert", line(reader)};
        arguments.insert(arguments.end(), card.begin(), card.end());
        const DWORD before = readerState(context.get(), name);
        ASSERT_EQ(simCtl(arguments), 0);
        ASSERT_TRUE(waitForCardEvent(context.get(), name, before, true));
    }

    QTemporaryDir m_folder;
};

TEST_F(ToolsOnSixteenReaders, SixteenReadersEachReportedWholeAndApart) {
    const std::string script = file("check.apdu", "00 A4 00 00 02 3F 00 => 90 00\n"
                                                  "00 84 00 00 08 => .. 90 00\n");
    const ToolRun json = runTool({"--all-readers", "--json", "-n", "5", script});
    ASSERT_EQ(json.status, 0) << json.err;
    std::map<qint64, int> commands;
    std::set<std::string> names;
    QJsonObject last;
    for (const std::string& each : linesOf(json.out)) {
        QJsonParseError fault{};
        last = QJsonDocument::fromJson(QByteArray::fromStdString(each), &fault).object();
        ASSERT_EQ(fault.error, QJsonParseError::NoError) << each;
        if (last["type"] == "readers") {
            break;
        }
        ASSERT_TRUE(last["reader"].isString()) << each;
        names.insert(last["reader"].toString().toStdString());
        commands[last["reader_index"].toInteger(-1)] += last["type"] == "command" ? 1 : 0;
    }
    EXPECT_EQ(names.size(), std::size_t{kReaders});
    ASSERT_EQ(commands.size(), std::size_t{kReaders});
    for (const auto& [index, count] : commands) {
        EXPECT_EQ(count, 10) << "reader " << index;
    }
    EXPECT_EQ(last["type"], "readers");
    EXPECT_EQ(last["passed"], kReaders);

    const ToolRun text = runTool({"-r", "Line 03", "-r", "Line 12", script});
    ASSERT_EQ(text.status, 0) << text.err;
    for (const std::string& each : linesOf(text.out)) {
        const bool named = each.starts_with("[3 Line 03 03 00] ") ||
                           each.starts_with("[12 Line 12 0C 00] ") ||
                           each.starts_with("2 readers: 2 passed");
        EXPECT_TRUE(named) << each;
    }
}

TEST_F(ToolsOnSixteenReaders, ACardPulledFromOneReaderFailsThatReaderAlone) {
    const std::string script = file("challenge.apdu", "00 84 00 00 08 => .. 90 00\n");
    QProcess process;
    startTool(process, qArguments({"-r", line(0), "-r", line(1), "-r", line(2), "-i", "20", "-n",
                                   "60", "--json", script}));
    awaitFirstLine(process);
    ASSERT_EQ(simCtl({"remove", line(1)}), 0);
    const ToolRun run = finishTool(process);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("[1 Line 01 01 00] tessary-run: the card was taken out of "
                           "Line 01 01 00\n"),
              std::string::npos)
        << run.err;
    const QJsonObject summary =
        QJsonDocument::fromJson(QByteArray::fromStdString(linesOf(run.out).back())).object();
    EXPECT_EQ(summary["passed"], 2) << run.out;
    EXPECT_EQ(summary["failed"], 1) << run.out;
    insert(1, {"apdu"});
}

TEST_F(ToolsOnSixteenReaders, OneImageOnEveryCardBehindEachCardsOwnPscCheck) {
    // Line 04 takes the image; Line 05 has one PSC attempt left and Line 06 none.
    insert(4, {"sle4442"});
    insert(5, {"sle4442", "counter=1"});
    insert(6, {"sle4442", "counter=0"});
    const std::string cards = path("cards");
    const std::vector<std::string> readers{"-r", line(4), "-r", line(5), "-r", line(6)};
    QStringList read = qArguments({"read"});
    for (const std::string& each : readers) {
        read << QString::fromStdString(each);
    }
    read << QString::fromStdString(cards);
    const ToolRun before = runMemcard(read);
    ASSERT_EQ(before.status, 0) << before.err;
    const std::string image = cards + "/Line_04_04_00.img";
    std::ifstream in(image);
    std::string text{std::istreambuf_iterator<char>(in), {}};
    const std::size_t row = text.find("\n0040  FF FF");
    ASSERT_NE(row, std::string::npos) << text;
    text.replace(row, 12, "\n0040  C0 FF");
    std::ofstream(image) << text;
    const std::string psc = file("card.psc", "FF FF FF\n");

    QStringList write = qArguments({"write", "--psc-file", psc});
    for (const std::string& each : readers) {
        write << QString::fromStdString(each);
    }
    const ToolRun written = runMemcard(write << QString::fromStdString(image));
    EXPECT_EQ(written.status, 1) << written.err;
    EXPECT_NE(written.out.find("[4 Line 04 04 00] wrote 1 byte"), std::string::npos) << written.out;
    EXPECT_NE(written.err.find("[5 Line 05 05 00] tessary-memcard: the card has one PSC "
                               "attempt left"),
              std::string::npos)
        << written.err;
    EXPECT_NE(written.err.find("[6 Line 06 06 00] tessary-memcard: the card is locked"),
              std::string::npos)
        << written.err;
    EXPECT_NE(written.out.find("3 readers: 1 done, 2 refused, 0 errors; exit status 1\n"),
              std::string::npos)
        << written.out;

    const ToolRun after = runMemcard(read);
    ASSERT_EQ(after.status, 0) << after.err;
    std::ifstream back(cards + "/Line_05_05_00.img");
    const std::string untouched{std::istreambuf_iterator<char>(back), {}};
    EXPECT_NE(untouched.find("\n0040  FF FF"), std::string::npos);
    for (const int reader : {4, 5, 6}) {
        insert(reader, {"apdu"});
    }
}

} // namespace

RUNTEST_MAIN
