// SPDX-License-Identifier: BSD-3-Clause
// tessary-run through the private pcscd and the simulated readers: the reader listing, exit
// statuses, the trace, GET RESPONSE and the right Le, a card pulled out mid-run, the line
// that names reader and card, an interrupt mid-run, and output that cannot be written.
#include "sim_pcscd.h"
#include "tool_process.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

using namespace runtest;
using namespace simtest;

namespace {

class TessaryRun : public ::testing::Test {
protected:
    void SetUp() override {
        restoreDefaultCards();
        ASSERT_TRUE(m_folder.isValid());
    }
    void TearDown() override { restoreDefaultCards(); }

    std::string file(const std::string& name, const std::string& text) {
        const std::string path = m_folder.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string read(const std::string& name) {
        std::ifstream in(m_folder.filePath(QString::fromStdString(name)).toStdString(),
                         std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void insert(const std::string& reader, const std::string& card) {
        Context context;
        const std::string name = pcscName(context.get(), reader);
        ASSERT_EQ(simCtl({"remove", reader}), 0);
        ASSERT_TRUE(waitForCard(context.get(), name, false));
        ASSERT_EQ(simCtl({"insert", reader, card}), 0);
        ASSERT_TRUE(waitForCard(context.get(), name, true));
    }

    // pcscd marks the slot empty as soon as an exchange finds no card there, but its own
    // presence poll takes note only at its next round (up to 400 ms later), and a card put
    // back before that round goes unseen. That round counts an event: wait for it.
    static void awaitRemovalSeenByPcscd(const std::string& reader) {
        Context context;
        const std::string name = pcscName(context.get(), reader);
        SCARD_READERSTATE state{};
        state.szReader = name.c_str();
        state.dwCurrentState = SCARD_STATE_UNAWARE;
        ASSERT_EQ(SCardGetStatusChange(context.get(), 0, &state, 1), SCARD_S_SUCCESS);
        state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
        SCardGetStatusChange(context.get(), 1500, &state, 1); // a timeout: seen already
    }

    QTemporaryDir m_folder;
};

TEST_F(TessaryRun, ListsTheDefaultReadersAndReadsTheMemoryCardsAtrs) {
    const ToolRun list = runTool({"--list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(
        list.out,
        "[0] KALDOR TR-100 00 00: card present, ATR 3B 88 80 31 FE 45 80 31 C0 73 C8 21 10 01 78\n"
        "  direct convention, T=0 and T=1, historical bytes 80 31 C0 73 C8 21 10 01\n"
        "  driver: no escape command, no part 10 features (it answers no feature request)\n"
        "[1] KALDOR RF-9000 01 00: card present, ATR 3B 88 80 01 80 31 C0 73 C8 21 10 01 F3\n"
        "  direct convention, contactless, T=1, historical bytes 80 31 C0 73 C8 21 10 01\n"
        "  driver: no escape command, no part 10 features (it answers no feature request)\n"
        "[2] Generic Reader 02 00: no card\n"
        "  driver: no escape command, no part 10 features (it answers no feature request)\n");
    for (const auto& [card, family] :
         {std::pair{"sle4442", "SLE4442 or SLE4432"}, std::pair{"sle4418", "SLE4428 or SLE4418"}}) {
        insert(kEmptyReader, card);
        const ToolRun json = runTool({"--list", "--json"});
        EXPECT_EQ(json.status, 0);
        EXPECT_NE(json.out.find(std::string("historical bytes ") +
                                (card == std::string("sle4442") ? "A2 13 10 91" : "92 23 10 91") +
                                ": " + family +
                                " memory card\",\"driver\":{\"escape\":null,\"features\":[]},"
                                "\"index\":2,\"name\":\"Generic Reader 02 00\""),
                  std::string::npos)
            << json.out;
    }
}

TEST_F(TessaryRun, ExitStatusesAndNothingSentForABadFile) {
    const std::string good = file("good.apdu", "00 A4 00 00 02 3F 00 => 90 00\n"
                                               "00 84 00 00 08 => .. 90 00\n");
    const std::string failing = file("failing.apdu", "00 A4 00 00 02 3F 01 => 90 00\n");
    const std::string bad = file("bad.apdu", "00 84 00 00 08\n00 A4 00 00 02 3F 0\n");
    const std::string led = file("led.apdu", "FF E1 02 01 0C A0 FC 30 A0 FD 04 A0 FE 04 A0 FF 04"
                                             " => 90 00\n");
    const struct {
        std::initializer_list<std::string> arguments;
        int status;
        const char* err;
    } cases[] = {
        {{"-r", kContactReader, good}, 0, ""},
        {{"-r", "1", "-m", "exclusive", "-n", "3", good}, 0, ""},
        {{"-r", kContactReader, failing}, 1, ""},
        {{"-r", kContactReader, "--expect", "6A 82", good}, 0, ""}, // the file's own come first
        {{"--format", "queue", good}, 2, ":2: the command \"00 A4 00 00 02 3F 00 => 90 00\" ends"},
        {{good, bad}, 2, ":2: \"0\" has an odd number of digits\n"},
        {{good},
         2,
         "tessary-run: there are cards in several readers: [0] 'KALDOR TR-100 00 00', "
         "[1] 'KALDOR RF-9000 01 00'; choose one with -r\n"},
        {{"-r", "KALDOR", good}, 2, "tessary-run: 'KALDOR' begins the names of several readers"},
        {{"-r", "Generic", good}, 2, "tessary-run: no card in 'Generic Reader 02 00'\n"},
        {{"-r", "Generic", "-m", "direct", led}, 0, ""},
    };
    for (const auto& c : cases) {
        const ToolRun run = runTool(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    // The bad file stops the run before the library is even loaded: the trace stays as it was.
    file("PcScLog.txt", "old\r\n");
    EXPECT_EQ(runTool({"-r", kContactReader, good, bad}, m_folder.path()).status, 2);
    EXPECT_EQ(read("PcScLog.txt"), "old\r\n");
    EXPECT_EQ(runTool({"-r", kContactReader, good}, m_folder.path()).status, 0);
    EXPECT_NE(read("PcScLog.txt").find("PcSc_SR_WIN Enter, REQReqLength = 5\r\n00 84 00 00 08 "),
              std::string::npos);
}

TEST_F(TessaryRun, FollowsGetResponseAndTheRightLeOnlyWhenAsked) {
    const std::string script = file("identity.apdu", "80 10 00 00 => 54 45 53 53 .. 90 00\n"
                                                     "80 12 00 00 08 => .. 44 90 00\n");
    const ToolRun plain = runTool({"-r", kContactReader, script});
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.out.find("80 10 00 00 -> 61 20  "), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("80 12 00 00 08 -> 6C 20  "), std::string::npos) << plain.out;

    const ToolRun followed = runTool({"-r", kContactReader, "--get-response", "--json", script});
    EXPECT_EQ(followed.status, 0) << followed.out;
    const std::string identity = "54 45 53 53 41 52 59 20 53 49 4D 55 4C 41 54 45 44 20 50 52 4F "
                                 "43 45 53 53 4F 52 20 43 41 52 44 90 00";
    EXPECT_NE(followed.out.find("\"exchanges\":[{\"request\":\"80 10 00 00\",\"response\":\"61 "
                                "20\",\"time_us\":"),
              std::string::npos)
        << followed.out;
    EXPECT_NE(followed.out.find("{\"request\":\"00 C0 00 00 20\",\"response\":\"" + identity),
              std::string::npos);
    EXPECT_NE(followed.out.find("{\"request\":\"80 12 00 00 20\",\"response\":\"" + identity),
              std::string::npos);
}

TEST_F(TessaryRun, ACardPulledOutEndsTheRunWithStatusOne) {
    const std::string script = file("challenge.apdu", "00 84 00 00 08 => .. 90 00\n");
    QProcess process;
    startTool(process, qArguments({"-r", kContactReader, "-i", "20", "-n", "1000", script}));
    awaitFirstLine(process);
    ASSERT_EQ(simCtl({"remove", kContactReader}), 0);
    const ToolRun run = finishTool(process);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tessary-run: the card was taken out of KALDOR TR-100 00 00\n");
    EXPECT_NE(run.out.find("KTX_PCSC_SCARDTRANSMIT_ERR\n"), std::string::npos) << run.out;
    awaitRemovalSeenByPcscd(kContactReader);
}

TEST_F(TessaryRun, TheFirstLineNamesTheReaderAndTheCard) {
    const std::string script = file("select.apdu", "00 A4 00 00 02 3F 00 => 90 00\n");
    const std::string atr = "3B 88 80 31 FE 45 80 31 C0 73 C8 21 10 01 78";
    const ToolRun text = runTool({"-r", kContactReader, "-q", script});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(text.out.starts_with("reader KALDOR TR-100 00 00, ATR " + atr + "\n")) << text.out;
    const ToolRun json = runTool({"-r", kContactReader, "--json", script});
    EXPECT_TRUE(json.out.starts_with("{\"atr\":\"" + atr +
                                     "\",\"mode\":\"shared\",\"name\":\"KALDOR TR-100 00 00\","
                                     "\"type\":\"reader\"}\n"))
        << json.out;
}

TEST_F(TessaryRun, AnInterruptAtAnyPointEndsWithWholeLinesAndTheSummary) {
    const std::string script = file("challenge.apdu", "00 84 00 00 08 => .. 90 00\n");
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        const int delayMs = std::uniform_int_distribution<int>(0, 300)(random);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", signal " + std::to_string(signal) +
                     " after " + std::to_string(delayMs) + " ms");
        QProcess process;
        startTool(process, qArguments({"-r", kContactReader, "--json", "-n", "1000000", script}));
        awaitFirstLine(process); // the reader line: the run is about to send
        QThread::msleep(static_cast<unsigned long>(delayMs));
        ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), signal), 0);
        const ToolRun run = finishTool(process);
        EXPECT_EQ(run.status, status) << run.err;
        ASSERT_TRUE(run.out.ends_with("\n")) << run.out.substr(run.out.size() - 200);
        std::istringstream lines(run.out);
        QJsonObject last;
        std::size_t commands = 0;
        for (std::string line; std::getline(lines, line);) {
            QJsonParseError error{};
            last = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
            ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
            commands += last["type"].toString() == "command" ? 1 : 0;
        }
        EXPECT_EQ(last["type"].toString(), "summary");
        EXPECT_EQ(last["status"].toInt(), status);
        EXPECT_EQ(last["interrupted"].toString(), signal == SIGINT ? "SIGINT" : "SIGTERM");
        EXPECT_EQ(last["commands"].toInteger(), static_cast<qint64>(commands));
    }
}

TEST_F(TessaryRun, OutputThatCannotBeWrittenFailsWithStatusTwo) {
    const std::string script = file("select.apdu", "00 A4 00 00 02 3F 00 => 90 00\n");
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    startTool(process, qArguments({"-r", kContactReader, "--json", script}));
    const ToolRun run = finishTool(process);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "tessary-run: cannot write the standard output: No space left on device\n");
}

TEST(TessaryRunWithoutService, SaysSoInOneLineWithStatusTwo) {
    QTemporaryDir folder;
    const QString script = folder.filePath("challenge.apdu");
    std::ofstream(script.toStdString()) << "00 84 00 00 08\n";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PCSCLITE_CSOCK_NAME", folder.filePath("no-pcscd.comm"));
    for (const QStringList& arguments : {QStringList{"--list"}, QStringList{script}}) {
        QProcess process;
        process.setProcessEnvironment(environment);
        startTool(process, arguments);
        const ToolRun run = finishTool(process);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "tessary-run: cannot reach the PC/SC service (is pcscd running?)\n");
        EXPECT_EQ(run.out, "");
    }
}

} // namespace

RUNTEST_MAIN
