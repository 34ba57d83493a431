// SPDX-License-Identifier: BSD-3-Clause
#include "cordrel_fixture.h"

#include <array>

namespace {

using Strings = std::vector<std::string>;

uint32_t addressOf(const Bytes& frame) {
    return static_cast<uint32_t>((frame[10] >> 6) << 8 | frame[11]);
}
uint32_t levelOf(const Bytes& frame) {
    return static_cast<uint32_t>(frame[8] | frame[9] << 8);
}

// A card whose byte at address a is (a & 0xFF) ^ 0x5A and whose protect bytes are given by
// `isProtected`; reads answer as the frame asks, cut to `limit` bytes when set.
void cardReplies(
    std::function<bool(uint32_t)> isProtected = [](uint32_t) { return false; },
    std::size_t limitAt = SIZE_MAX, std::size_t limit = 0) {
    CordrelTest::answer([=](const Bytes& frame, std::size_t index) {
        Bytes reply;
        const uint8_t command = frame[10] & 0x3F;
        if (command != 0x0E && command != 0x0C) {
            return reply;
        }
        for (uint32_t i = 0; i < levelOf(frame); ++i) {
            const uint32_t a = addressOf(frame) + i;
            reply.push_back(static_cast<uint8_t>((a & 0xFF) ^ 0x5A));
            if (command == 0x0C) {
                reply.push_back(isProtected && isProtected(a) ? 0x00 : 0x01);
            }
        }
        if (index == limitAt) {
            reply.resize(limit);
        }
        return reply;
    });
}

TEST_F(CordrelTest, ReadsGoInChunksCarryingThePageBits) {
    cardReplies();
    std::array<uint8_t, 1024> data{};
    uint32_t count = 1024;
    EXPECT_EQ(SLE4428_Read_Data_Without_Protect_Bit(kCard, data.data(), 0, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(count, 1024u);
    EXPECT_EQ(data[0x2FF], 0xFF ^ 0x5A);
    count = 24;
    EXPECT_EQ(SLE4418_Read_Data_Without_Protect_Bit(kCard, data.data(), 1000, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(sent(), (Strings{"00 01 0E 00 00", "00 01 4E 00 00", "00 01 8E 00 00",
                               "00 01 CE 00 00", "18 00 CE E8 00"}));

    fakepcsc::reset();
    cardReplies([](uint32_t a) { return a == 299; });
    std::array<uint8_t, 1024> protect{};
    count = 200;
    EXPECT_EQ(SLE4428_Read_Data_With_Protect_Bit(kCard, data.data(), protect.data(), 100, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(count, 200u);
    EXPECT_EQ(sent(), (Strings{"80 00 0C 64 00", "48 00 0C E4 00"}));
    EXPECT_EQ(data[199], (299 & 0xFF) ^ 0x5A);
    EXPECT_EQ(protect[199], 0x00);
    EXPECT_EQ(protect[198], 0x01);
    EXPECT_EQ(data[200], 200 ^ 0x5A); // from the whole-card read before: untouched

    fakepcsc::reset();
    for (auto [address, wanted] :
         {std::pair<uint32_t, uint32_t>{1000, 300}, {0, 0}, {1024, 1}, {1023, 2}}) {
        count = wanted;
        EXPECT_EQ(SLE4428_Read_Data_Without_Protect_Bit(kCard, data.data(), address, &count),
                  SCARD_E_INVALID_PARAMETER);
        count = wanted;
        EXPECT_EQ(
            SLE4418_Read_Data_With_Protect_Bit(kCard, data.data(), protect.data(), address, &count),
            SCARD_E_INVALID_PARAMETER);
    }
    count = 1;
    EXPECT_EQ(SLE4428_Read_Data_With_Protect_Bit(kCard, data.data(), nullptr, 0, &count),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(frameCount(), 0u);
}

TEST_F(CordrelTest, ShortChunkEndsTheReadWithWhatCameBack) {
    cardReplies({}, 1, 100); // the second chunk brings 100 of 256 bytes
    std::array<uint8_t, 1024> data{};
    data.fill(0xEE);
    uint32_t count = 600;
    EXPECT_EQ(SLE4428_Read_Data_Without_Protect_Bit(kCard, data.data(), 0, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(count, 356u);
    EXPECT_EQ(frameCount(), 2u);
    EXPECT_EQ(data[356], 0xEE);

    fakepcsc::reset();
    cardReplies({}, 0, 101); // 50 whole pairs and half of one
    std::array<uint8_t, 1024> protect{};
    protect.fill(0xEE);
    count = 200;
    EXPECT_EQ(SLE4428_Read_Data_With_Protect_Bit(kCard, data.data(), protect.data(), 0, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(count, 50u);
    EXPECT_EQ(frameCount(), 1u);
    EXPECT_EQ(protect[49], 0x01);
    EXPECT_EQ(protect[50], 0xEE);
}

TEST_F(CordrelTest, FailingChunkLeavesNothingReportedAsRead) {
    failAt(1, SCARD_E_NOT_TRANSACTED,
           [](const Bytes& frame) { return Bytes(levelOf(frame) * 2, 7); });
    std::array<uint8_t, 1024> data{}, protect{};
    uint32_t count = 300;
    EXPECT_EQ(SLE4428_Read_Data_With_Protect_Bit(kCard, data.data(), protect.data(), 0, &count),
              SCARD_E_NOT_TRANSACTED);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(data[0], 0x00); // untouched
    EXPECT_EQ(protect[0], 0x00);
    EXPECT_EQ(frameCount(), 2u);
}

TEST_F(CordrelTest, WritesCarryThePageBitsOfEachAddress) {
    const uint8_t data[] = {0xA1, 0xA2};
    EXPECT_EQ(SLE4428_Write_Data_With_Protect_Bit(kCard, data, 300, 1), SCARD_S_SUCCESS);
    EXPECT_EQ(SLE4418_Write_Data_Without_Protect_Bit(kCard, data, 0x2FF, 2), SCARD_S_SUCCESS);
    EXPECT_EQ(SLE4428_Write_Protect_Bit(kCard, data, 1023, 1), SCARD_S_SUCCESS);
    EXPECT_EQ(SLE4428_Write_Data_Without_Protect_Bit(kCard, data, 5, 0), SCARD_S_SUCCESS);
    EXPECT_EQ(sent(),
              (Strings{"00 00 71 2C A1", "00 00 B3 FF A1", "00 00 F3 00 A2", "00 00 F0 FF A1"}));
    EXPECT_EQ(SLE4428_Write_Data_With_Protect_Bit(kCard, data, 1023, 2), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(SLE4418_Write_Protect_Bit(kCard, nullptr, 0, 1), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(frameCount(), 4u);
}

TEST_F(CordrelTest, CheckedWritesReadTheRangeFirst) {
    std::array<uint8_t, 300> data{};
    // The last byte of the range is protected: refused, and no write frame goes out.
    cardReplies([](uint32_t a) { return a == 209; });
    EXPECT_EQ(SLE4428_Write_Data_With_Protect_BitA(kCard, data.data(), 10, 200),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(sent(), (Strings{"80 00 0C 0A 00", "48 00 0C 8A 00"}));

    fakepcsc::reset();
    cardReplies();
    EXPECT_EQ(SLE4418_Write_Data_Without_Protect_BitA(kCard, data.data(), 255, 2), SCARD_S_SUCCESS);
    EXPECT_EQ(sent(), (Strings{"02 00 0C FF 00", "00 00 33 FF 00", "00 00 73 00 00"}));

    fakepcsc::reset();
    EXPECT_EQ(SLE4428_Write_Data_Without_Protect_BitA(kCard, data.data(), 5, 0),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(SLE4428_Write_Data_With_Protect_BitA(kCard, data.data(), 1000, 25),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(frameCount(), 0u);

    // A range whose protect bits did not all come back is not written.
    cardReplies({}, 0, 10);
    EXPECT_EQ(SLE4428_Write_Data_With_Protect_BitA(kCard, data.data(), 0, 20), SCARD_F_COMM_ERROR);
    EXPECT_EQ(frameCount(), 1u);
}

TEST_F(CordrelTest, VerificationClearsTheLowestCounterBitFirst) {
    const std::pair<uint8_t, uint8_t> spent[] = {
        {0xFF, 0xFE}, {0xFC, 0xF8}, {0xF0, 0xE0}, {0x80, 0x00}, {0x00, 0x00}};
    for (auto [before, written] : spent) {
        for (uint8_t after : {uint8_t{0xFF}, written}) {
            fakepcsc::reset();
            answer([&](const Bytes& frame, std::size_t index) {
                return (frame[10] & 0x3F) == 0x0E ? Bytes{index == 0 ? before : after} : Bytes{};
            });
            EXPECT_EQ(SLE4428_PSC_Verification(kCard, 0x1A5, 0x5B),
                      after == 0xFF ? SCARD_S_SUCCESS : SCARD_W_WRONG_CHV);
            char update[20];
            std::snprintf(update, sizeof update, "00 00 F2 FD %02X", written);
            EXPECT_EQ(sent(), (Strings{"01 00 CE FD 00", update, "00 00 CD FE A5", "00 00 CD FF 5B",
                                       "00 00 F3 FD FF", "01 00 CE FD 00"}))
                << int(before);
        }
    }
    fakepcsc::reset();
    answer([](const Bytes&, std::size_t) { return Bytes{}; });
    EXPECT_EQ(SLE4428_PSC_Verification(kCard, 1, 2), SCARD_F_COMM_ERROR);
    EXPECT_EQ(frameCount(), 1u);
    for (std::size_t failing = 0; failing < 6; ++failing) {
        fakepcsc::reset();
        failAt(failing, SCARD_E_NOT_TRANSACTED, [](const Bytes& frame) {
            return (frame[10] & 0x3F) == 0x0E ? Bytes{0xFF} : Bytes{};
        });
        EXPECT_EQ(SLE4428_PSC_Verification(kCard, 1, 2), SCARD_E_NOT_TRANSACTED);
        EXPECT_EQ(frameCount(), failing + 1);
    }
}

} // namespace
