// SPDX-License-Identifier: BSD-3-Clause
// The run over a reader of scripted answers: what it counts, shows and returns, when it
// ends early, and JSON Lines that a JSON parser reads.
#include "runner.h"
#include "text_lines.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <deque>

using namespace tessary::run;
using runtest::linesOf;

namespace {

constexpr int32_t kTransmitFailed = 0x0AA9;

class ScriptedLink final : public Link {
public:
    std::deque<Bytes> answers; // an empty answer fails the exchange
    Loss loss = Loss::None;
    std::size_t sent = 0;

    RawExchange transmit(const Bytes& request) override {
        ++sent;
        RawExchange exchange{request, {}, static_cast<int64_t>(sent), 0};
        exchange.response = answers.empty() ? Bytes{0x90, 0x00} : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        if (exchange.response.empty()) {
            exchange.status = kTransmitFailed;
        }
        return exchange;
    }
    Loss lossAfterFailure() override { return loss; }
};

struct RunResult {
    int status = 0;
    std::string out;
    std::string err;
};

RunResult run(const char* script, ScriptedLink& link, RunSettings settings = {},
              const RunControl& control = {}, std::size_t writable = SIZE_MAX) {
    const FileCommands file = commandsOfFile(script, "s.apdu", FileFormat::Script);
    EXPECT_EQ(file.error, "");
    settings.target.reader = "KALDOR TR-100 00 00";
    settings.target.atr = {0x3B, 0x00};
    RunResult result;
    // `writable` lines reach the output; the ones after them are lost, as on a full disk.
    const RunOutput output{[&](std::string_view text) {
                               if (writable == 0) {
                                   return false;
                               }
                               --writable;
                               result.out += text;
                               return true;
                           },
                           [&](std::string_view text) { result.err += text; },
                           [] {},
                           {}};
    result.status = runCommands(file.commands, settings, link, output, control);
    return result;
}

TEST(RunCommands, ExitStatusAndCounts) {
    const struct {
        const char* what;
        const char* script;
        std::vector<Bytes> answers;
        Loss loss;
        bool stopOnFail;
        int status;
        std::size_t sent;
        const char* summary;
        const char* err;
    } cases[] = {
        {"all held",
         "00 84 00 00 08 => .. 90 00\n00 A4 00 00",
         {},
         Loss::None,
         false,
         0,
         2,
         "2 commands: 2 passed, 0 failed, 0 errors",
         ""},
        {"an expectation that does not hold",
         "00 A4 00 00 => 90 00\n00 84 00 00 08",
         {{0x6A, 0x82}},
         Loss::None,
         false,
         1,
         2,
         "2 commands: 1 passed, 1 failed, 0 errors",
         ""},
        {"a failed exchange, the card still there",
         "00 A4 00 00\n00 84 00 00 08",
         {{}},
         Loss::None,
         false,
         1,
         2,
         "2 commands: 1 passed, 0 failed, 1 error",
         ""},
        {"stop at the first failure",
         "00 A4 00 00 => 90 00\n00 84 00 00 08",
         {{0x6A, 0x82}},
         Loss::None,
         true,
         1,
         1,
         "1 command: 0 passed, 1 failed, 0 errors",
         "tessary-run: stopped at the first command that did not pass\n"},
        {"the card taken out",
         "00 A4 00 00\n00 84 00 00 08\n00 84 00 00 08",
         {{0x90, 0x00}, {}},
         Loss::CardTakenOut,
         false,
         1,
         2,
         "2 commands: 1 passed, 0 failed, 1 error",
         "tessary-run: the card was taken out of KALDOR TR-100 00 00\n"},
        {"the reader gone",
         "00 A4 00 00\n00 84 00 00 08",
         {{}},
         Loss::ReaderGone,
         false,
         2,
         1,
         "1 command: 0 passed, 0 failed, 1 error",
         "tessary-run: the reader KALDOR TR-100 00 00 is gone\n"},
        {"the service stopped",
         "00 A4 00 00\n00 84 00 00 08",
         {{}},
         Loss::ServiceGone,
         false,
         2,
         1,
         "1 command: 0 passed, 0 failed, 1 error",
         "tessary-run: the PC/SC service stopped (is pcscd running?)\n"},
    };
    for (const auto& c : cases) {
        ScriptedLink link;
        link.answers.assign(c.answers.begin(), c.answers.end());
        link.loss = c.loss;
        RunSettings settings;
        settings.stopOnFail = c.stopOnFail;
        const RunResult result = run(c.script, link, settings);
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(link.sent, c.sent) << c.what;
        EXPECT_TRUE(linesOf(result.out).back().starts_with(c.summary)) << c.what << "\n"
                                                                       << result.out;
        EXPECT_EQ(result.err, c.err) << c.what;
    }
}

TEST(RunCommands, TextLinesShowPlaceRequestAnswerTimeAndResult) {
    ScriptedLink link;
    link.answers = {{0x90, 0x00}, {0x6A, 0x82}, {}, {0x61, 0x01}, {0xAA, 0x90, 0x00}};
    RunSettings settings;
    settings.getResponse = true;
    const RunResult result = run("00 A4 00 00 => 90 00\n"
                                 "00 B0 00 00 01 => xx 90 00\n"
                                 "00 84 00 00 08\n"
                                 "80 10 00 00\n",
                                 link, settings);
    EXPECT_EQ(result.out,
              "reader KALDOR TR-100 00 00, ATR 3B 00\n"
              "s.apdu:1  00 A4 00 00 -> 90 00  1 us  ok\n"
              "s.apdu:2  00 B0 00 00 01 -> 6A 82  2 us  FAIL (expected xx 90 00)\n"
              "s.apdu:3  00 84 00 00 08 -> no answer  3 us  KTX_PCSC_SCARDTRANSMIT_ERR\n"
              "s.apdu:4  80 10 00 00 -> 61 01  4 us\n"
              "s.apdu:4  00 C0 00 00 01 -> AA 90 00  5 us\n"
              "s.apdu:4  merged answer -> AA 90 00  9 us  ok\n"
              "4 commands: 2 passed, 1 failed, 1 error; exchange time min 1 us, "
              "median 3 us, 95th percentile 5 us, max 5 us\n");
}

TEST(RunCommands, QuietShowsWhatDidNotPassAndRoundsAndTheExpectOption) {
    ScriptedLink link;
    link.answers = {{0x90, 0x00}, {0x6A, 0x82}, {0x90, 0x00}, {0x90, 0x00}};
    const Pattern ok = parsePattern("90 00").pattern;
    RunSettings settings;
    settings.quiet = true;
    settings.repeat = 2;
    settings.expect = &ok;
    const RunResult result = run("00 A4 00 00\n00 84 00 00 08 => .. 90 00\n", link, settings);
    EXPECT_EQ(result.status, 1);
    const auto shown = linesOf(result.out);
    ASSERT_EQ(shown.size(), 3u) << result.out;
    EXPECT_EQ(shown[0], "reader KALDOR TR-100 00 00, ATR 3B 00"); // a log says where it ran
    EXPECT_EQ(shown[1],
              "s.apdu:2 (round 1)  00 84 00 00 08 -> 6A 82  2 us  FAIL (expected .. 90 00)");
    EXPECT_TRUE(shown[2].starts_with("4 commands: 3 passed, 1 failed, 0 errors"));
}

TEST(RunCommands, JsonLinesAreJson) {
    ScriptedLink link;
    link.answers = {{0x61, 0x01}, {0xAA, 0x90, 0x00}, {}};
    RunSettings settings;
    settings.json = true;
    settings.getResponse = true;
    const RunResult result = run("80 10 00 00 => .. 90 00\n00 84 00 00 08\n", link, settings);
    const auto all = linesOf(result.out);
    ASSERT_EQ(all.size(), 4u);
    std::vector<QJsonObject> objects;
    for (const std::string& line : all) {
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        ASSERT_TRUE(document.isObject()) << line;
        objects.push_back(document.object());
    }
    EXPECT_EQ(objects[0]["type"].toString(), "reader");
    EXPECT_EQ(objects[0]["name"].toString(), "KALDOR TR-100 00 00");
    EXPECT_EQ(objects[0]["atr"].toString(), "3B 00");
    EXPECT_EQ(objects[1]["type"].toString(), "command");
    EXPECT_EQ(objects[1]["line"].toInt(), 1);
    EXPECT_EQ(objects[1]["response"].toString(), "AA 90 00");
    EXPECT_EQ(objects[1]["expected"].toString(), ".. 90 00");
    EXPECT_EQ(objects[1]["result"].toString(), "ok");
    EXPECT_EQ(objects[1]["exchanges"].toArray().size(), 2);
    EXPECT_EQ(objects[1]["time_us"].toInt(), 3);
    EXPECT_EQ(objects[2]["result"].toString(), "error");
    EXPECT_EQ(objects[2]["error"].toString(), "KTX_PCSC_SCARDTRANSMIT_ERR");
    EXPECT_FALSE(objects[2].contains("response"));
    EXPECT_EQ(objects[3]["type"].toString(), "summary");
    EXPECT_EQ(objects[3]["status"].toInt(), 1);
    EXPECT_EQ(objects[3]["errors"].toInt(), 1);
    EXPECT_EQ(objects[3]["time_us"].toObject()["max"].toInt(), 3);
}

TEST(RunCommands, AnInterruptEndsTheRunWithItsSummaryAndStatus) {
    const struct {
        int signal;
        std::size_t after; // exchanges before it comes
        bool duringWait;
        int status;
    } cases[] = {
        {2, 3, false, 130}, // SIGINT during the third exchange: that one ends, no other starts
        {15, 2, true, 143}, // SIGTERM during the wait after the second
        {2, 0, false, 130}, // before the first: nothing is sent
    };
    for (const auto& c : cases) {
        ScriptedLink link;
        int signal = 0;
        RunControl control;
        control.interrupted = [&] {
            if (link.sent >= c.after && !c.duringWait) {
                signal = c.signal;
            }
            return signal;
        };
        control.wait = [&](std::chrono::milliseconds) {
            signal = c.duringWait && link.sent >= c.after ? c.signal : signal;
            return signal == 0;
        };
        RunSettings settings;
        settings.json = true;
        settings.repeat = 1000;
        settings.intervalMs = 5;
        const RunResult result = run("00 A4 00 00\n", link, settings, control);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(link.sent, c.after);
        const QJsonObject summary =
            QJsonDocument::fromJson(QByteArray::fromStdString(linesOf(result.out).back())).object();
        EXPECT_EQ(summary["commands"].toInt(), static_cast<int>(c.after));
        EXPECT_EQ(summary["status"].toInt(), c.status);
        EXPECT_EQ(summary["interrupted"].toString(), c.signal == 2 ? "SIGINT" : "SIGTERM");
        EXPECT_EQ(result.err, std::string("tessary-run: interrupted by ") +
                                  (c.signal == 2 ? "SIGINT" : "SIGTERM") + "\n");
    }
}

TEST(RunCommands, OutputThatCannotBeWrittenEndsTheRunWithStatusTwo) {
    ScriptedLink link;
    RunSettings settings;
    settings.repeat = 100;
    // The reader line and two results reach the output, the third is lost.
    const RunResult result = run("00 A4 00 00\n", link, settings, {}, 3);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(link.sent, 3u); // nothing more is sent once no one learns the results
    EXPECT_EQ(linesOf(result.out).size(), 3u);
}

TEST(RunCommands, TheSummarySaysHowEachFileWasRead) {
    ScriptedLink link;
    RunSettings settings;
    settings.files = {{"q.txt", FileFormat::Queue}, {"s\x1B.apdu", FileFormat::Script}};
    const RunResult result = run("00 A4 00 00\n", link, settings);
    EXPECT_TRUE(linesOf(result.out)
                    .back()
                    .ends_with("; q.txt read as a queue file, s\\x1B.apdu as a script"))
        << result.out;
    settings.json = true;
    const RunResult json = run("00 A4 00 00\n", link, settings);
    EXPECT_TRUE(linesOf(json.out).back().find(
                    "\"files\":[{\"format\":\"queue\",\"name\":\"q.txt\"},"
                    "{\"format\":\"script\",\"name\":\"s\\u001b.apdu\"}]") != std::string::npos)
        << json.out;
}

TEST(FailureName, TheLibrarysCodesAndPcscResultsByName) {
    const std::pair<int32_t, const char*> cases[] = {
        {0x0AA9, "KTX_PCSC_SCARDTRANSMIT_ERR"},
        {static_cast<int32_t>(0x80100016), "SCARD_E_NOT_TRANSACTED 0x80100016"},
        {0x12345, "0x00012345"},
        {0x0A7F, "ISP_UNKNOWN_ERR"}, // a code of the library's own
    };
    for (const auto& [status, name] : cases) {
        EXPECT_EQ(failureName(status), name);
    }
}

} // namespace
