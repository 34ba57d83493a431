// SPDX-License-Identifier: BSD-3-Clause
#include "apdu_card.h"

#include <gtest/gtest.h>

#include <string>

using namespace simreader;

namespace {

uint16_t statusOf(const Bytes& answer) {
    return answer.size() < 2
               ? 0
               : static_cast<uint16_t>(answer[answer.size() - 2] << 8 | answer.back());
}

struct Exchange {
    const char* what;
    Bytes command;
    uint16_t status;
    std::size_t dataLength;
};

// Runs the exchanges in order on one card, so that selections carry over.
void run(ApduCard& card, const std::vector<Exchange>& exchanges) {
    for (const auto& e : exchanges) {
        const Bytes answer = card.transmit(e.command);
        EXPECT_EQ(statusOf(answer), e.status) << e.what;
        EXPECT_EQ(answer.size(), e.dataLength + 2) << e.what;
    }
}

TEST(ParseApdu, AllFourCasesAndMismatchedLengths) {
    const Bytes case4{0x00, 0xA4, 0x04, 0x00, 0x02, 0xAA, 0xBB, 0x00};
    const auto apdu = parseApdu(case4);
    ASSERT_TRUE(apdu);
    EXPECT_EQ(apdu->data.size(), 2u);
    EXPECT_TRUE(apdu->hasLe);
    EXPECT_EQ(apdu->ne, 256u);

    EXPECT_TRUE(parseApdu(Bytes{0x00, 0x84, 0x00, 0x00}));
    EXPECT_EQ(parseApdu(Bytes{0x00, 0x84, 0x00, 0x00, 0x08})->ne, 8u);
    EXPECT_FALSE(parseApdu(Bytes{0x00, 0x84, 0x00}));
    EXPECT_FALSE(parseApdu(Bytes{0x00, 0xA4, 0x04, 0x00, 0x03, 0xAA})); // Lc past the end
    EXPECT_FALSE(parseApdu(Bytes{0x00, 0xA4, 0x04, 0x00, 0x01, 0xAA, 0x00, 0x00}));
    EXPECT_FALSE(parseApdu(Bytes{0x00, 0xB0, 0x00, 0x00, 0x00, 0x01, 0x00})); // extended
}

TEST(ApduCard, FileSelectionAndReading) {
    ApduCard card(false);
    run(card,
        {
            {"read before any selection", {0x00, 0xB0, 0x00, 0x00, 0x04}, 0x6986, 0},
            {"select the identity EF", {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x2F, 0x02}, 0x9000, 0},
            {"read all of it with Le 00", {0x00, 0xB0, 0x00, 0x00, 0x00}, 0x9000, 32},
            {"read the last byte", {0x00, 0xB0, 0x00, 0x1F, 0x01}, 0x9000, 1},
            {"offset at the end", {0x00, 0xB0, 0x00, 0x20, 0x01}, 0x6B00, 0},
            {"Le past the end", {0x00, 0xB0, 0x00, 0x1E, 0x05}, 0x6C02, 0},
            {"read without Le", {0x00, 0xB0, 0x00, 0x00}, 0x6700, 0},
            {"select the application DF", {0x00, 0xA4, 0x00, 0x00, 0x02, 0x50, 0x00}, 0x9000, 0},
            {"a DF leaves no current EF", {0x00, 0xB0, 0x00, 0x00, 0x01}, 0x6986, 0},
            {"read by SFI 1", {0x00, 0xB0, 0x81, 0x3E, 0x02}, 0x9000, 2},
            {"then by offset in it", {0x00, 0xB0, 0x00, 0x3F, 0x01}, 0x9000, 1},
            {"unknown SFI", {0x00, 0xB0, 0x85, 0x00, 0x01}, 0x6A82, 0},
            {"SFI with bits 7-6 set", {0x00, 0xB0, 0xE1, 0x00, 0x01}, 0x6A86, 0},
            {"EF-only selection of a DF", {0x00, 0xA4, 0x02, 0x0C, 0x02, 0x50, 0x00}, 0x6A82, 0},
            {"FID of one byte", {0x00, 0xA4, 0x00, 0x0C, 0x01, 0x2F}, 0x6700, 0},
            {"no data selects the MF", {0x00, 0xA4, 0x00, 0x0C}, 0x9000, 0},
            {"select by path", {0x00, 0xA4, 0x08, 0x0C, 0x02, 0x2F, 0x02}, 0x6A86, 0},
            {"next occurrence", {0x00, 0xA4, 0x00, 0x02, 0x02, 0x2F, 0x02}, 0x6A86, 0},
        });
    const Bytes identity = card.transmit(Bytes{0x00, 0xB0, 0x82, 0x00, 0x07});
    EXPECT_EQ(std::string(identity.begin(), identity.end() - 2), "TESSARY");
}

TEST(ApduCard, SelectsTheApplicationByFullOrTruncatedName) {
    ApduCard card(true);
    const auto aid = apduApplicationAid();
    for (std::size_t length : {aid.size(), std::size_t{5}}) {
        Bytes select{0x00, 0xA4, 0x04, 0x00, static_cast<uint8_t>(length)};
        select.insert(select.end(), aid.begin(), aid.begin() + static_cast<long>(length));
        EXPECT_EQ(statusOf(card.transmit(select)), 0x9000) << length;
    }
    Bytes tooShort{0x00, 0xA4, 0x04, 0x00, 0x04};
    tooShort.insert(tooShort.end(), aid.begin(), aid.begin() + 4);
    EXPECT_EQ(statusOf(card.transmit(tooShort)), 0x6A82);
    Bytes longer{0x00, 0xA4, 0x04, 0x00, static_cast<uint8_t>(aid.size() + 1)};
    longer.insert(longer.end(), aid.begin(), aid.end());
    longer.push_back(0x00);
    EXPECT_EQ(statusOf(card.transmit(longer)), 0x6A82);
}

TEST(ApduCard, ChallengeClassAndInstruction) {
    ApduCard card(false);
    run(card, {
                  {"challenge of 8", {0x00, 0x84, 0x00, 0x00, 0x08}, 0x9000, 8},
                  {"challenge of 256", {0x00, 0x84, 0x00, 0x00, 0x00}, 0x9000, 256},
                  {"challenge without Le", {0x00, 0x84, 0x00, 0x00}, 0x6700, 0},
                  {"challenge with data", {0x00, 0x84, 0x00, 0x00, 0x01, 0x00, 0x08}, 0x6700, 0},
                  {"challenge with P1", {0x00, 0x84, 0x01, 0x00, 0x08}, 0x6A86, 0},
                  {"unknown instruction", {0x00, 0xCA, 0x00, 0x00, 0x00}, 0x6D00, 0},
                  {"unknown class first", {0x90, 0xCA, 0x00, 0x00, 0x00}, 0x6E00, 0},
                  {"too short to be an APDU", {0x00, 0x84, 0x00}, 0x6700, 0},
                  {"empty", {}, 0x6700, 0},
              });
}

TEST(ApduCard, IdentityThroughGetResponseAndTheRightLe) {
    ApduCard card(false);
    run(card, {
                  {"nothing kept yet", {0x00, 0xC0, 0x00, 0x00, 0x20}, 0x6985, 0},
                  {"GET IDENTITY", {0x80, 0x10, 0x00, 0x00}, 0x6120, 0},
                  {"more than is kept", {0x00, 0xC0, 0x00, 0x00, 0x30}, 0x6C20, 0},
                  {"part of it", {0x00, 0xC0, 0x00, 0x00, 0x08}, 0x6118, 8},
                  {"the rest with Le 00", {0x00, 0xC0, 0x00, 0x00, 0x00}, 0x9000, 24},
                  {"all handed out", {0x00, 0xC0, 0x00, 0x00, 0x20}, 0x6985, 0},
                  {"GET IDENTITY again", {0x80, 0x10, 0x00, 0x00}, 0x6120, 0},
                  {"another command between", {0x00, 0x84, 0x00, 0x00, 0x08}, 0x9000, 8},
                  {"drops what was kept", {0x00, 0xC0, 0x00, 0x00, 0x20}, 0x6985, 0},
                  {"GET IDENTITY with Le", {0x80, 0x10, 0x00, 0x00, 0x20}, 0x6700, 0},
                  {"READ IDENTITY, wrong Le", {0x80, 0x12, 0x00, 0x00, 0x08}, 0x6C20, 0},
                  {"READ IDENTITY, no Le", {0x80, 0x12, 0x00, 0x00}, 0x6C20, 0},
                  {"READ IDENTITY, Le 20", {0x80, 0x12, 0x00, 0x00, 0x20}, 0x9000, 32},
                  {"our class, not our command", {0x80, 0x84, 0x00, 0x00, 0x08}, 0x6D00, 0},
                  {"our command, ISO class", {0x00, 0x10, 0x00, 0x00}, 0x6D00, 0},
              });
    card.transmit(Bytes{0x80, 0x10, 0x00, 0x00});
    const Bytes identity = card.transmit(Bytes{0x00, 0xC0, 0x00, 0x00, 0x20});
    EXPECT_EQ(std::string(identity.begin(), identity.end() - 2),
              "TESSARY SIMULATED PROCESSOR CARD");
    card.transmit(Bytes{0x80, 0x10, 0x00, 0x00});
    card.powerCycle();
    EXPECT_EQ(statusOf(card.transmit(Bytes{0x00, 0xC0, 0x00, 0x00, 0x20})), 0x6985);
}

TEST(ApduCard, PowerCycleForgetsTheSelection) {
    ApduCard card(false);
    card.transmit(Bytes{0x00, 0xA4, 0x00, 0x0C, 0x02, 0x2F, 0x02});
    card.powerCycle();
    EXPECT_EQ(statusOf(card.transmit(Bytes{0x00, 0xB0, 0x00, 0x00, 0x01})), 0x6986);
}

TEST(ApduCard, AtrsCloseWithAValidCheckByte) {
    for (bool contactless : {false, true}) {
        ApduCard card(contactless);
        const auto atr = card.atr();
        uint8_t check = 0;
        for (std::size_t i = 1; i < atr.size(); ++i) {
            check = static_cast<uint8_t>(check ^ atr[i]);
        }
        EXPECT_EQ(check, 0) << contactless;
    }
}

} // namespace
