// SPDX-License-Identifier: BSD-3-Clause
// One command and what follows its answer with --get-response, against a card of scripted
// answers; the Le rule.
#include "exchange.h"
#include "hex_text.h"

#include <gtest/gtest.h>

#include <deque>

using namespace tessary::run;
using tessary::formatHex;

namespace {

Bytes bytes(const char* hex) {
    return parseScript(hex).commands.at(0).apdu;
}

// Answers in order, and the requests it was sent.
struct ScriptedCard {
    std::deque<Bytes> answers;
    std::vector<std::string> sent;
    int32_t failWith = 0; // once the answers are used up

    RawExchange operator()(const Bytes& request) {
        sent.push_back(formatHex(request));
        RawExchange exchange{request, {}, 10, 0};
        if (answers.empty()) {
            exchange.status = failWith;
        } else {
            exchange.response = answers.front();
            answers.pop_front();
        }
        return exchange;
    }
};

TEST(SendCommand, FetchesWhat61AndAsksAgainWhat6CSay) {
    const struct {
        const char* what;
        const char* command;
        std::vector<const char*> answers;
        std::vector<std::string> sent;
        const char* merged;
    } cases[] = {
        {"61 xx, then all of it",
         "80 10 00 00",
         {"61 03", "01 02 03 90 00"},
         {"80 10 00 00", "00 C0 00 00 03"},
         "01 02 03 90 00"},
        {"61 xx twice",
         "80 10 00 00",
         {"61 02", "01 02 61 01", "03 90 00"},
         {"80 10 00 00", "00 C0 00 00 02", "00 C0 00 00 01"},
         "01 02 03 90 00"},
        {"data with 61 xx",
         "00 B0 00 00 00",
         {"01 61 01", "02 90 00"},
         {"00 B0 00 00 00", "00 C0 00 00 01"},
         "01 02 90 00"},
        {"6C xx on a command with Le",
         "80 12 00 00 08",
         {"6C 20", "AA 90 00"},
         {"80 12 00 00 08", "80 12 00 00 20"},
         "AA 90 00"},
        {"6C xx on a command without Le",
         "80 12 00 00",
         {"6C 01", "AA 90 00"},
         {"80 12 00 00", "80 12 00 00 01"},
         "AA 90 00"},
        {"6C xx, then 61 xx",
         "80 12 00 00",
         {"6C 01", "61 01", "AA 90 00"},
         {"80 12 00 00", "80 12 00 00 01", "00 C0 00 00 01"},
         "AA 90 00"},
        {"6C xx asked twice is answered once",
         "80 12 00 00",
         {"6C 01", "6C 02"},
         {"80 12 00 00", "80 12 00 00 01"},
         "6C 02"},
        {"6C with data is no request for Le",
         "80 12 00 00",
         {"AA 6C 01"},
         {"80 12 00 00"},
         "AA 6C 01"},
        {"an answer without a status word", "FF 00", {"01"}, {"FF 00"}, "01"},
        {"6C xx on bytes that are no APDU", "00 A4 00", {"6C 01"}, {"00 A4 00"}, "6C 01"},
    };
    for (const auto& c : cases) {
        ScriptedCard card;
        for (const char* answer : c.answers) {
            card.answers.push_back(bytes(answer));
        }
        const CommandOutcome outcome = sendCommand(bytes(c.command), true, std::ref(card));
        EXPECT_EQ(card.sent, c.sent) << c.what;
        EXPECT_EQ(formatHex(outcome.response), c.merged) << c.what;
        EXPECT_EQ(outcome.exchanges.size(), c.sent.size()) << c.what;
        EXPECT_EQ(outcome.micros, static_cast<int64_t>(10 * c.sent.size())) << c.what;
    }
}

TEST(SendCommand, SendsOnlyWhatTheFileHoldsUnlessAsked) {
    ScriptedCard card{{bytes("61 20")}, {}, 0};
    const CommandOutcome outcome = sendCommand(bytes("80 10 00 00"), false, std::ref(card));
    EXPECT_EQ(card.sent, std::vector<std::string>{"80 10 00 00"});
    EXPECT_EQ(formatHex(outcome.response), "61 20");
}

TEST(SendCommand, AFailedExchangeEndsTheCommandWithoutAnAnswer) {
    ScriptedCard card{{bytes("61 20")}, {}, 0x0AA9};
    const CommandOutcome outcome = sendCommand(bytes("80 10 00 00"), true, std::ref(card));
    EXPECT_EQ(outcome.status, 0x0AA9);
    EXPECT_TRUE(outcome.response.empty());
    EXPECT_EQ(outcome.exchanges.size(), 2u);
    // A card that never stops answering 61 xx is left after a bounded number of exchanges.
    ScriptedCard endless;
    endless.answers.assign(kMaxExchangesPerCommand + 10, bytes("00 61 01"));
    const CommandOutcome bounded = sendCommand(bytes("80 10 00 00"), true, std::ref(endless));
    EXPECT_EQ(bounded.exchanges.size(), kMaxExchangesPerCommand);
    EXPECT_EQ(bounded.response.size(), kMaxExchangesPerCommand + 2);
}

TEST(WithLe, AddsOrReplacesLeInShortApdusOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"00 84 00 00", "00 84 00 00 20"},                      // case 1
        {"00 84 00 00 08", "00 84 00 00 20"},                   // case 2
        {"00 A4 04 00 02 3F 00", "00 A4 04 00 02 3F 00 20"},    // case 3
        {"00 A4 04 00 02 3F 00 00", "00 A4 04 00 02 3F 00 20"}, // case 4
        {"00 B0 00 00 00 01 00", ""},                           // extended
        {"00 A4 04 00 03 3F 00", ""},                           // Lc past the end
        {"00 A4 04", ""},
    };
    for (const auto& [command, expected] : cases) {
        const auto result = withLe(bytes(command), 0x20);
        EXPECT_EQ(result ? formatHex(*result) : "", expected) << command;
    }
}

} // namespace
