// SPDX-License-Identifier: BSD-3-Clause
// Runs on several readers at once over scripted readers: lines of different readers never
// mix, every JSON object names its reader, a reader that fails or cannot be reached leaves
// the others' results whole, and the exit status is the worst.
#include "reader_lines.h"
#include "several_readers.h"
#include "text_lines.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <mutex>
#include <thread>

using namespace tessary::run;
using runtest::linesOf;
using tessary::tools::ReaderLines;
using tessary::tools::SharedOutput;

namespace {

// Eight writers, each line handed over in pieces cut at different places and several lines
// to a call: every line comes out whole, after its own label, in its writer's order.
TEST(SeveralReaders, LinesOfDifferentReadersNeverMix) {
    constexpr int kWriters = 8;
    constexpr int kLines = 300;
    std::string written;
    SharedOutput output([&written](std::string_view text) {
        for (const char c : text) { // a character at a time: a writer not locked out shows
            written += c;
            std::this_thread::yield();
        }
        return true;
    });
    {
        std::vector<std::jthread> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back([&output, w] {
                ReaderLines lines(output,
                                  tessary::tools::labelLines("[" + std::to_string(w) + "]"));
                for (int i = 0; i < kLines; i += 2) {
                    const std::string two = "line " + std::to_string(i) + " of " +
                                            std::to_string(w) + "\nline " + std::to_string(i + 1) +
                                            " of " + std::to_string(w) + "\n";
                    const std::size_t cut = static_cast<std::size_t>(i + w) % two.size();
                    lines.write(std::string_view(two).substr(0, cut));
                    lines.write(std::string_view(two).substr(cut));
                }
            });
        }
    }
    std::map<int, int> next;
    for (const std::string& line : linesOf(written)) {
        const int w = line[1] - '0';
        ASSERT_EQ(line, "[" + std::to_string(w) + "] line " + std::to_string(next[w]) + " of " +
                            std::to_string(w));
        ++next[w];
    }
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(next[w], kLines) << w;
    }
}

// A reader whose answers are given, and which fails from a given command on.
class ScriptedLink final : public Link {
public:
    explicit ScriptedLink(std::size_t failFrom, Loss loss) : m_failFrom(failFrom), m_loss(loss) {}
    RawExchange transmit(const Bytes& request) override {
        RawExchange exchange{request, {0x90, 0x00}, 100, 0};
        if (++m_sent >= m_failFrom) {
            exchange.response.clear();
            exchange.status = 0x0AA9;
        }
        return exchange;
    }
    Loss lossAfterFailure() override { return m_loss; }

private:
    std::size_t m_failFrom;
    Loss m_loss;
    std::size_t m_sent = 0;
};

struct SeveralRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Reader 0 passes, reader 3's card is taken out at its second command, reader 5 cannot be
// reached.
SeveralRun runThree(bool json) {
    const FileCommands file = commandsOfFile("00 A4 00 00 => 90 00\n00 B0 00 00 02 => 90 00\n"
                                             "00 B0 00 02 02 => 90 00\n",
                                             "s.apdu", FileFormat::Script);
    EXPECT_EQ(file.error, "");
    RunSettings settings;
    settings.json = json;
    const std::vector<RunReader> readers{
        {0, "KALDOR TR-100 00 00"}, {3, "KALDOR TR-100 03 00"}, {5, "Generic Reader 05 00"}};
    const OpenLink open = [](const RunReader& reader, RunTarget& target,
                             std::string& error) -> std::unique_ptr<Link> {
        target.reader = reader.name;
        if (reader.index == 5) {
            error = "cannot connect to 'Generic Reader 05 00' in shared mode";
            return nullptr;
        }
        return std::make_unique<ScriptedLink>(reader.index == 3 ? 2 : SIZE_MAX, Loss::CardTakenOut);
    };
    SeveralRun run;
    std::mutex guard; // the runner locks each stream itself; this keeps the test honest
    const SeveralOutput output{[&](std::string_view text) {
                                   std::lock_guard lock(guard);
                                   run.out += text;
                                   return true;
                               },
                               [&](std::string_view text) {
                                   std::lock_guard lock(guard);
                                   run.err += text;
                               }};
    run.status = runOnReaders(file.commands, settings, readers, open, output);
    return run;
}

TEST(SeveralReaders, EachReaderJudgedApartAndTheWorstStatusWins) {
    const SeveralRun run = runThree(false);
    EXPECT_EQ(run.status, 2);
    std::map<std::string, std::vector<std::string>> byReader;
    for (const std::string& line : linesOf(run.out)) {
        const std::size_t end = line.find("] ");
        if (line.starts_with("[") && end != std::string::npos) {
            byReader[line.substr(0, end + 1)].push_back(line.substr(end + 2));
        }
    }
    ASSERT_EQ(byReader["[0 KALDOR TR-100 00 00]"].size(), 5u) << run.out;
    EXPECT_TRUE(byReader["[0 KALDOR TR-100 00 00]"].back().starts_with(
        "3 commands: 3 passed, 0 failed, 0 errors"));
    EXPECT_NE(run.out.find("[3 KALDOR TR-100 03 00] s.apdu:2"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("[3 KALDOR TR-100 03 00] s.apdu:3"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("[3 KALDOR TR-100 03 00] tessary-run: the card was taken out of "
                           "KALDOR TR-100 03 00"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("[5 Generic Reader 05 00] tessary-run: cannot connect to"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("3 readers: 1 passed, 1 failed, 1 errors; exit status 2\n"
                           "  [3 KALDOR TR-100 03 00] failed (exit status 1)\n"
                           "  [5 Generic Reader 05 00] errors (exit status 2)\n"),
              std::string::npos)
        << run.out;
}

TEST(SeveralReaders, EveryJsonObjectNamesItsReader) {
    const SeveralRun run = runThree(true);
    EXPECT_EQ(run.status, 2);
    std::map<qint64, int> objects;
    QJsonObject last;
    for (const std::string& line : linesOf(run.out)) {
        QJsonParseError fault{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(line), &fault);
        ASSERT_EQ(fault.error, QJsonParseError::NoError) << line;
        last = document.object();
        if (last["type"] == "readers") {
            break;
        }
        ASSERT_TRUE(last["reader"].isString()) << line;
        ++objects[last["reader_index"].toInteger(-1)];
    }
    EXPECT_EQ(objects, (std::map<qint64, int>{{0, 5}, {3, 4}, {5, 1}}));
    EXPECT_EQ(last["type"], "readers");
    EXPECT_EQ(last["status"], 2);
    const QJsonArray results = last["results"].toArray();
    ASSERT_EQ(results.size(), 3);
    EXPECT_EQ(results[1].toObject()["reader"], "KALDOR TR-100 03 00");
    EXPECT_EQ(results[1].toObject()["status"], 1);
}

} // namespace
