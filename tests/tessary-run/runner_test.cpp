// The run over a reader of scripted answers: what it counts, shows and returns, when it
// ends early, and JSON Lines that a JSON parser reads.
#include "runner.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <deque>
#include <sstream>

using namespace tessary::run;

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

RunResult run(const char* script, ScriptedLink& link, RunSettings settings = {}) {
    const FileCommands file = commandsOfFile(script, "s.apdu", FileFormat::Script);
    EXPECT_EQ(file.error, "");
    settings.reader = "KALDOR TR-100 00 00";
    RunResult result;
    const RunOutput output{[&](std::string_view text) { result.out += text; },
                           [&](std::string_view text) { result.err += text; }, [] {}};
    result.status = runCommands(file.commands, settings, link, output);
    return result;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        all.push_back(line);
    }
    return all;
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
        EXPECT_TRUE(lines(result.out).back().starts_with(c.summary)) << c.what << "\n"
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
    const auto shown = lines(result.out);
    ASSERT_EQ(shown.size(), 2u) << result.out;
    EXPECT_EQ(shown[0],
              "s.apdu:2 (round 1)  00 84 00 00 08 -> 6A 82  2 us  FAIL (expected .. 90 00)");
    EXPECT_TRUE(shown[1].starts_with("4 commands: 3 passed, 1 failed, 0 errors"));
}

TEST(RunCommands, JsonLinesAreJson) {
    ScriptedLink link;
    link.answers = {{0x61, 0x01}, {0xAA, 0x90, 0x00}, {}};
    RunSettings settings;
    settings.json = true;
    settings.getResponse = true;
    const RunResult result = run("80 10 00 00 => .. 90 00\n00 84 00 00 08\n", link, settings);
    const auto all = lines(result.out);
    ASSERT_EQ(all.size(), 3u);
    std::vector<QJsonObject> objects;
    for (const std::string& line : all) {
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        ASSERT_TRUE(document.isObject()) << line;
        objects.push_back(document.object());
    }
    EXPECT_EQ(objects[0]["type"].toString(), "command");
    EXPECT_EQ(objects[0]["line"].toInt(), 1);
    EXPECT_EQ(objects[0]["response"].toString(), "AA 90 00");
    EXPECT_EQ(objects[0]["expected"].toString(), ".. 90 00");
    EXPECT_EQ(objects[0]["result"].toString(), "ok");
    EXPECT_EQ(objects[0]["exchanges"].toArray().size(), 2);
    EXPECT_EQ(objects[0]["time_us"].toInt(), 3);
    EXPECT_EQ(objects[1]["result"].toString(), "error");
    EXPECT_EQ(objects[1]["error"].toString(), "KTX_PCSC_SCARDTRANSMIT_ERR");
    EXPECT_FALSE(objects[1].contains("response"));
    EXPECT_EQ(objects[2]["type"].toString(), "summary");
    EXPECT_EQ(objects[2]["status"].toInt(), 1);
    EXPECT_EQ(objects[2]["errors"].toInt(), 1);
    EXPECT_EQ(objects[2]["time_us"].toObject()["max"].toInt(), 3);
}

TEST(FailureName, ControlPathResultsKeepTheirCode) {
    EXPECT_EQ(failureName(0x0AA9), "KTX_PCSC_SCARDTRANSMIT_ERR");
    EXPECT_EQ(failureName(static_cast<int32_t>(0x80100016)), "ISP_UNKNOWN_ERR (0x80100016)");
    EXPECT_EQ(failureName(0x0A7F), "ISP_UNKNOWN_ERR");
}

} // namespace
