// SPDX-License-Identifier: BSD-3-Clause
// The simulated memory cards as their datasheets describe them, frame by frame.
#include "memory_cards.h"
#include "state_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace simreader;

namespace {

Bytes frame(uint8_t command, uint8_t address, uint8_t data, uint16_t count = 0) {
    return {0x6F,
            0x03,
            0x00,
            0x00,
            0x00,
            0x00,
            0x00,
            0x00,
            static_cast<uint8_t>(count & 0xFF),
            static_cast<uint8_t>(count >> 8),
            command,
            address,
            data};
}

std::unique_ptr<Card> card(const char* type, KeyValues options = {}) {
    std::string error;
    auto made = makeCard(*parseCardType(type), options, error);
    EXPECT_TRUE(made) << error;
    return made;
}

uint8_t counterOf(Card& c) {
    return c.escape(frame(0x31, 0, 0, 1)).value().at(0);
}

void verify4442(Card& c, uint8_t newCounter, std::array<uint8_t, 3> psc) {
    c.escape(frame(0x39, 0, newCounter));
    for (uint8_t i = 0; i < 3; ++i) {
        c.escape(frame(0x33, static_cast<uint8_t>(i + 1), psc[i]));
    }
    c.escape(frame(0x39, 0, 0xFF));
}

TEST(MemoryCardFrames, ReaderRefusesMalformedFramesAndUnknownCommands) {
    auto c = card("sle4442");
    const Bytes good = frame(0x30, 0, 0, 4);
    ASSERT_TRUE(c->escape(good));
    struct Bad {
        const char* what;
        std::size_t at;
        uint8_t value;
    };
    for (const Bad& bad :
         {Bad{"message type", 0, 0x65}, Bad{"length", 1, 4}, Bad{"length high byte", 4, 1},
          Bad{"slot", 5, 1}, Bad{"unknown command", 10, 0x77}}) {
        Bytes f = good;
        f[bad.at] = bad.value;
        EXPECT_FALSE(c->escape(f)) << bad.what;
    }
    EXPECT_FALSE(c->escape(Bytes(good.begin(), good.end() - 1)));
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_FALSE(c->escape(longer));
    EXPECT_FALSE(c->escape({}));
    EXPECT_FALSE(c->escape(frame(0x30, 0, 0, 0)));               // a read of nothing
    EXPECT_FALSE(c->escape(frame(0x30, 0, 0, 257)));             // more than the card holds
    EXPECT_EQ(c->escape(frame(0x30, 250, 0, 256))->size(), 6u);  // stops at the end
    EXPECT_FALSE(c->escape(frame(0x3C, 32, 0)));                 // no protection bit there
    EXPECT_FALSE(card("sle4432")->escape(frame(0x31, 0, 0, 1))); // no security memory
    EXPECT_FALSE(card("sle4418")->escape(frame(0xF2, 0xFD, 0))); // no error counter
    EXPECT_FALSE(card("sle4428")->escape(frame(0x0C, 0, 0, 129)));
    EXPECT_EQ(card("sle4428")->transmit(Bytes{0x00, 0x84, 0x00, 0x00, 0x08}), (Bytes{0x6A, 0x81}));
}

TEST(Sle4442Card, VerificationNeedsAnAttemptSpentFirst) {
    auto c = card("sle4442", {{"psc", "010203"}});
    // Compares without a counter bit cleared first verify nothing.
    for (uint8_t i = 1; i <= 3; ++i) {
        c->escape(frame(0x33, i, i));
    }
    c->escape(frame(0x39, 0, 0xFF));
    EXPECT_EQ(counterOf(*c), 7);
    c->escape(frame(0x38, 50, 0x00));
    EXPECT_EQ(c->escape(frame(0x30, 50, 0, 1))->at(0), 0xFF);

    // A counter write before verification only clears bits.
    c->escape(frame(0x39, 0, 0xFA)); // 010 of 111: two bits at once
    EXPECT_EQ(counterOf(*c), 2);
    // A wrong byte spends the attempt; the next one needs another bit.
    c->escape(frame(0x33, 1, 1));
    c->escape(frame(0x33, 2, 9));
    c->escape(frame(0x33, 3, 3));
    c->escape(frame(0x39, 0, 0xFF));
    EXPECT_EQ(counterOf(*c), 2);
    for (uint8_t i = 1; i <= 3; ++i) {
        c->escape(frame(0x33, i, i));
    }
    c->escape(frame(0x39, 0, 0xFF));
    EXPECT_EQ(counterOf(*c), 2); // no bit cleared since the failed attempt
    KeyValues status;
    c->describe(status);
    EXPECT_EQ(status["card.verified"], "no");

    // The last attempt is spent first and still compares: the right PSC unlocks the card.
    verify4442(*c, 0x00, {1, 2, 3});
    EXPECT_EQ(counterOf(*c), 7);
    c->powerCycle();
    c->escape(frame(0x39, 0, 0x01)); // down to one attempt, unverified
    verify4442(*c, 0x00, {1, 2, 9}); // a wrong PSC on the last attempt locks it
    EXPECT_EQ(counterOf(*c), 0);
    verify4442(*c, 0x00, {1, 2, 3}); // and a locked card stays locked, right PSC or not
    EXPECT_EQ(counterOf(*c), 0);
}

TEST(Sle4442Card, VerifiedCardTakesWritesUntilItLosesPower) {
    auto c = card("sle4442", {{"psc", "AABBCC"}, {"memory", "00112233"}});
    EXPECT_EQ(*c->escape(frame(0x31, 0, 0, 4)), (Bytes{7, 0, 0, 0})); // PSC hidden
    verify4442(*c, 0x06, {0xAA, 0xBB, 0xCC});
    EXPECT_EQ(*c->escape(frame(0x31, 0, 0, 4)), (Bytes{7, 0xAA, 0xBB, 0xCC}));
    // Protection only when the data matches what is stored; never undone.
    c->escape(frame(0x3C, 1, 0x12));
    c->escape(frame(0x3C, 2, 0x22));
    EXPECT_EQ(*c->escape(frame(0x34, 0, 0, 4)), (Bytes{0xFB, 0xFF, 0xFF, 0xFF}));
    c->escape(frame(0x38, 2, 0x99));
    c->escape(frame(0x38, 3, 0x99));
    EXPECT_EQ(*c->escape(frame(0x30, 0, 0, 4)), (Bytes{0x00, 0x11, 0x22, 0x99}));
    c->escape(frame(0x39, 1, 0x01)); // a new PSC
    c->powerCycle();
    c->escape(frame(0x38, 3, 0x77));
    EXPECT_EQ(c->escape(frame(0x30, 3, 0, 1))->at(0), 0x99);
    verify4442(*c, 0x06, {0x01, 0xBB, 0xCC});
    EXPECT_EQ(counterOf(*c), 7);
    EXPECT_EQ(c->contents().at("psc"), "01BBCC");
}

TEST(Sle4428Card, TwoComparesAfterASpentAttemptVerify) {
    auto c = card("sle4428", {{"psc", "1234"}, {"counter", "0x0F"}});
    auto read = [&](uint16_t address, uint16_t n) {
        return *c->escape(frame(static_cast<uint8_t>(0x0E | (address >> 8) << 6),
                                static_cast<uint8_t>(address), 0, n));
    };
    EXPECT_EQ(read(1021, 3), (Bytes{0x0F, 0x00, 0x00})); // the PSC reads as zeros
    c->escape(frame(0x33, 0x10, 0xAB));
    EXPECT_EQ(read(0x10, 1)[0], 0xFF); // not verified: not written
    c->escape(frame(0xF2, 0xFD, 0x0E));
    c->escape(frame(0xCD, 0xFE, 0x12));
    c->escape(frame(0xCD, 0xFF, 0x34));
    c->escape(frame(0xF3, 0xFD, 0xFF));
    EXPECT_EQ(read(1021, 3), (Bytes{0xFF, 0x12, 0x34}));
    // Protect bit: only when the data matches; a protected byte never changes.
    c->escape(frame(0x70, 0x20, 0x00)); // address 0x120 holds FF
    c->escape(frame(0x71, 0x21, 0x5A)); // write and protect 0x121
    c->escape(frame(0x73, 0x21, 0x00));
    c->escape(frame(0x70, 0x22, 0xFF)); // protect 0x122 as it is
    c->escape(frame(0x73, 0x22, 0x00));
    EXPECT_EQ(*c->escape(frame(0x4C, 0x20, 0, 3)), (Bytes{0xFF, 0x01, 0x5A, 0x00, 0xFF, 0x00}));
    EXPECT_EQ(read(1022, 5).size(), 2u); // stops at the end of the memory

    // The last attempt, spent, still compares: the right PSC unlocks the card.
    c->powerCycle();
    c->escape(frame(0xF2, 0xFD, 0x01));
    c->escape(frame(0xF2, 0xFD, 0x00));
    c->escape(frame(0xCD, 0xFE, 0x12));
    c->escape(frame(0xCD, 0xFF, 0x34));
    c->escape(frame(0xF3, 0xFD, 0xFF));
    EXPECT_EQ(read(1021, 1)[0], 0xFF);
}

// A card that slips out is saved as settings and made again by reinsert: it must come back
// exactly as it left, its protection included.
TEST(MemoryCardSettings, SavedContentsMakeTheSameCardAgain) {
    struct Case {
        const char* type;
        KeyValues settings;
        std::vector<Bytes> before; // frames sent before the card slips out
        Bytes protection;          // the first probe's answer: the protection it left with
        std::vector<Bytes> probes; // frames whose answers must not change
    };
    const Case cases[] = {
        {"sle4432",
         {{"memory", "11223344"}, {"atr", "short"}},
         {frame(0x3C, 0, 0x11)},
         {0xFE, 0xFF, 0xFF, 0xFF},
         {frame(0x34, 0, 0, 4), frame(0x38, 0, 0x99), frame(0x38, 1, 0x99),
          frame(0x30, 0, 0, 256)}},
        {"sle4442",
         {{"psc", "AABBCC"}, {"memory", "00112233"}},
         // Verified: protects byte 1, changes a PSC byte, sets the counter to 6.
         {frame(0x39, 0, 0x06), frame(0x33, 1, 0xAA), frame(0x33, 2, 0xBB), frame(0x33, 3, 0xCC),
          frame(0x39, 0, 0xFF), frame(0x3C, 1, 0x11), frame(0x39, 1, 0x01), frame(0x39, 0, 0x06)},
         {0xFD, 0xFF, 0xFF, 0xFF},
         {frame(0x34, 0, 0, 4), frame(0x31, 0, 0, 4), frame(0x39, 0, 0x04), frame(0x33, 1, 0x01),
          frame(0x33, 2, 0xBB), frame(0x33, 3, 0xCC), frame(0x39, 0, 0xFF), frame(0x31, 0, 0, 4),
          frame(0x38, 1, 0x99), frame(0x38, 2, 0x99), frame(0x30, 0, 0, 256)}},
        {"sle4428",
         {{"psc", "1234"}, {"counter", "0xFE"}},
         // Verified: writes and protects 0x121, protects 5 as it is, changes a PSC byte and
         // sets the counter to FE.
         {frame(0xF2, 0xFD, 0xFC), frame(0xCD, 0xFE, 0x12), frame(0xCD, 0xFF, 0x34),
          frame(0xF3, 0xFD, 0xFF), frame(0x71, 0x21, 0x5A), frame(0x30, 0x05, 0xFF),
          frame(0xF3, 0xFE, 0x56), frame(0xF2, 0xFD, 0xFE)},
         {0xFF, 0x01, 0xFF, 0x01, 0xFF, 0x01, 0xFF, 0x01, 0xFF, 0x01, 0xFF, 0x00},
         {frame(0x0C, 0, 0, 6), frame(0x4C, 0x20, 0, 2), frame(0xCE, 0xFD, 0, 3),
          frame(0xF2, 0xFD, 0xFC), frame(0xCD, 0xFE, 0x56), frame(0xCD, 0xFF, 0x34),
          frame(0xF3, 0xFD, 0xFF), frame(0xCE, 0xFD, 0, 3), frame(0x33, 0x05, 0x00),
          frame(0x73, 0x21, 0x00), frame(0x33, 0x06, 0x00), frame(0x0E, 0, 0, 256),
          frame(0x4E, 0, 0, 256)}},
        {"sle4418",
         {{"memory", "0102"}},
         {frame(0x31, 0x10, 0x42), frame(0x30, 0x01, 0x02)},
         {0x01, 0x01, 0x02, 0x00, 0xFF, 0x01},
         {frame(0x0C, 0, 0, 3), frame(0x0C, 0x10, 0, 1), frame(0x33, 0x01, 0x00),
          frame(0x33, 0x10, 0x00), frame(0x33, 0x02, 0x00), frame(0x0E, 0, 0, 17)}},
    };
    for (const auto& c : cases) {
        auto original = card(c.type, c.settings);
        original->powerCycle();
        for (const auto& f : c.before) {
            ASSERT_TRUE(original->escape(f)) << c.type;
        }
        original->powerCycle(); // it slips out
        // Saved and read back as the reader and `simreader-ctl reinsert` do.
        std::string error;
        const CardSetting out{*parseCardType(c.type), 0, original->contents()};
        const auto values = parseKeyValues(formatKeyValues(formatCardSetting(out)), error);
        ASSERT_TRUE(values) << error;
        const auto setting = parseCardSetting(*values, error);
        ASSERT_TRUE(setting) << error;
        KeyValues options = setting->options;
        ASSERT_TRUE(takeSlotOptions(options, error));
        auto again = makeCard(setting->type, options, error);
        ASSERT_TRUE(again) << c.type << ": " << error;
        EXPECT_EQ(original->escape(c.probes[0]), c.protection) << c.type;
        EXPECT_TRUE(std::ranges::equal(again->atr(), original->atr())) << c.type;
        for (std::size_t i = 0; i < c.probes.size(); ++i) {
            EXPECT_EQ(again->escape(c.probes[i]), original->escape(c.probes[i]))
                << c.type << ", probe " << i;
        }
    }
}

TEST(MemoryCardSettings, AtrComesLongOrShort) {
    const Bytes long4442{0x3B, 0x64, 0x00, 0x00, 0xA2, 0x13, 0x10, 0x91};
    const Bytes short4442{0x3B, 0x04, 0xA2, 0x13, 0x10, 0x91};
    const Bytes long4428{0x3B, 0x64, 0x00, 0x00, 0x92, 0x23, 0x10, 0x91};
    const Bytes short4428{0x3B, 0x04, 0x92, 0x23, 0x10, 0x91};
    const std::tuple<const char*, const char*, Bytes> cases[] = {
        {"sle4442", nullptr, long4442},  {"sle4442", "long", long4442},
        {"sle4442", "short", short4442}, {"sle4432", "short", short4442},
        {"sle4428", nullptr, long4428},  {"sle4428", "short", short4428},
        {"sle4418", "short", short4428},
    };
    for (const auto& [type, style, atr] : cases) {
        const auto c = style ? card(type, {{"atr", style}}) : card(type);
        EXPECT_EQ(Bytes(c->atr().begin(), c->atr().end()), atr)
            << type << " " << (style ? style : "");
    }
}

TEST(MemoryCardSettings, AreCheckedAtInsertion) {
    std::string error;
    const std::pair<const char*, KeyValues> bad[] = {
        {"sle4442", {{"memory", "ABC"}}},  {"sle4442", {{"memory", std::string(514, 'F')}}},
        {"sle4442", {{"psc", "1234"}}},    {"sle4428", {{"psc", "123456"}}},
        {"sle4432", {{"psc", "123456"}}},  {"sle4418", {{"counter", "3"}}},
        {"sle4442", {{"counter", "256"}}}, {"sle4442", {{"colour", "red"}}},
        {"apdu", {{"memory", "00"}}},      {"sle4432", {{"protection", "FFFFFFFFFF"}}},
        {"sle4428", {{"atr", "SHORT"}}},   {"apdu-cl", {{"atr", "short"}}},
    };
    for (const auto& [type, options] : bad) {
        error.clear();
        EXPECT_FALSE(makeCard(*parseCardType(type), options, error)) << type;
        EXPECT_FALSE(error.empty()) << type;
    }
    KeyValues slot{{"pull-after", "12"}, {"memory", "00"}};
    const auto taken = takeSlotOptions(slot, error);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->pullAfter, 12u);
    EXPECT_EQ(slot, (KeyValues{{"memory", "00"}}));
    KeyValues badSlot{{"pull-after", "soon"}};
    EXPECT_FALSE(takeSlotOptions(badSlot, error));
}

TEST(SlotOptions, LatencyTakesMillisecondsUpToAMinute) {
    const std::pair<std::string, std::optional<int>> cases[] = {
        {"0", 0},
        {"20", 20},
        {"60000", 60000},
        {"60001", std::nullopt},
        {"-1", std::nullopt},
        {"+20", std::nullopt},
        {" 20", std::nullopt},
        {"20ms", std::nullopt},
        {"", std::nullopt},
        {"4294967316", std::nullopt},           // 20 once cut to 32 bits
        {"18446744073709551636", std::nullopt}, // 20 once cut to 64 bits
    };
    for (const auto& [text, ms] : cases) {
        KeyValues options{{"latency", text}, {"memory", "00"}};
        std::string error;
        const auto taken = takeSlotOptions(options, error);
        ASSERT_EQ(taken.has_value(), ms.has_value()) << "'" << text << "' " << error;
        if (ms) {
            EXPECT_EQ(taken->latency, std::chrono::milliseconds(*ms)) << text;
            EXPECT_EQ(options, (KeyValues{{"memory", "00"}})) << text;
        } else {
            EXPECT_EQ(error, "latency= takes 0 to 60000 milliseconds") << text;
        }
    }
}

} // namespace
