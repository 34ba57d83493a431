// SPDX-License-Identifier: BSD-3-Clause
#include "cordrel_fixture.h"

#include <array>

namespace {

using Strings = std::vector<std::string>;

TEST_F(CordrelTest, ReadMainMemoryIsOneFrameOfUpTo256Bytes) {
    answer([](const Bytes& frame, std::size_t) {
        const std::size_t n = frame[8] | frame[9] << 8;
        Bytes reply(n);
        for (std::size_t i = 0; i < n; ++i) {
            reply[i] = static_cast<uint8_t>(frame[11] + i);
        }
        return reply;
    });
    std::array<uint8_t, 300> data{};
    uint32_t count = 256;
    EXPECT_EQ(SLE4442_Read_Main_Memory(kCard, data.data(), 0, &count), SCARD_S_SUCCESS);
    EXPECT_EQ(count, 256u);
    EXPECT_EQ(data[255], 0xFF);
    count = 1;
    EXPECT_EQ(SLE4432_Read_Main_Memory(kCard, data.data(), 255, &count), SCARD_S_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(sent(), (Strings{"00 01 30 00 00", "01 00 30 FF 00"}));

    // Refused before any frame.
    for (auto [address, wanted] :
         {std::pair<uint32_t, uint32_t>{255, 2}, {0, 0}, {256, 1}, {0, 257}, {100, 0xFFFFFFFF}}) {
        count = wanted;
        EXPECT_EQ(SLE4442_Read_Main_Memory(kCard, data.data(), address, &count),
                  SCARD_E_INVALID_PARAMETER);
    }
    EXPECT_EQ(SLE4442_Read_Main_Memory(kCard, nullptr, 0, &count), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(SLE4442_Read_Main_Memory(kCard, data.data(), 0, nullptr), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(frameCount(), 2u);
}

TEST_F(CordrelTest, ReadReportsWhatTheReaderReturnedAndNeverMore) {
    std::size_t replySize = 3;
    answer([&](const Bytes&, std::size_t) { return Bytes(replySize, 0xAB); });
    std::array<uint8_t, 8> data{};
    uint32_t count = 4;
    EXPECT_EQ(SLE4442_Read_Main_Memory(kCard, data.data(), 0, &count), SCARD_S_SUCCESS);
    EXPECT_EQ(count, 3u);
    replySize = 200; // more than asked for: only what was asked lands
    count = 4;
    EXPECT_EQ(SLE4442_Read_Main_Memory(kCard, data.data(), 0, &count), SCARD_S_SUCCESS);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(data[4], 0x00);

    failAt(0, SCARD_E_NOT_TRANSACTED);
    count = 4;
    EXPECT_EQ(SLE4442_Read_Main_Memory(kCard, data.data(), 0, &count), SCARD_E_NOT_TRANSACTED);
    EXPECT_EQ(count, 0u);
}

TEST_F(CordrelTest, WritesSendOneFramePerByteAndStopAtTheFirstFailure) {
    const uint8_t data[] = {0xD0, 0xD1, 0xD2};
    EXPECT_EQ(SLE4442_Update_Main_Memory(kCard, data, 0x20, 3), SCARD_S_SUCCESS);
    EXPECT_EQ(SLE4432_Write_Protection_Memory(kCard, data, 29, 3), SCARD_S_SUCCESS);
    EXPECT_EQ(SLE4442_Update_Security_Memory(kCard, data, 1, 3), SCARD_S_SUCCESS);
    EXPECT_EQ(sent(), (Strings{"00 00 38 20 D0", "00 00 38 21 D1", "00 00 38 22 D2",
                               "00 00 3C 1D D0", "00 00 3C 1E D1", "00 00 3C 1F D2",
                               "00 00 39 01 D0", "00 00 39 02 D1", "00 00 39 03 D2"}));

    fakepcsc::reset();
    failAt(1, SCARD_W_REMOVED_CARD);
    EXPECT_EQ(SLE4432_Update_Main_Memory(kCard, data, 254, 2), SCARD_W_REMOVED_CARD);
    EXPECT_EQ(frameCount(), 2u);

    fakepcsc::reset();
    EXPECT_EQ(SLE4442_Update_Main_Memory(kCard, data, 10, 0), SCARD_S_SUCCESS);
    const std::pair<uint32_t, uint32_t> refusedMain[] = {{255, 2}, {256, 0}, {1, 0xFFFFFFFF}};
    for (auto [address, length] : refusedMain) {
        EXPECT_EQ(SLE4442_Update_Main_Memory(kCard, data, address, length),
                  SCARD_E_INVALID_PARAMETER);
    }
    EXPECT_EQ(SLE4442_Write_Protection_Memory(kCard, data, 31, 2), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(SLE4442_Write_Protection_Memory(kCard, data, 32, 0), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(SLE4442_Update_Security_Memory(kCard, data, 3, 2), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(SLE4442_Update_Security_Memory(kCard, nullptr, 0, 1), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(frameCount(), 0u);
}

TEST_F(CordrelTest, SmallReadsLandInTheirOwnRoomOnly) {
    answer([](const Bytes&, std::size_t) { return Bytes(288, 0x5A); });
    std::array<uint8_t, 6> area{};
    EXPECT_EQ(SLE4442_Read_Protection_Memory(kCard, area.data()), SCARD_S_SUCCESS);
    EXPECT_EQ(area[3], 0x5A);
    EXPECT_EQ(area[4], 0x00);
    area.fill(0);
    EXPECT_EQ(SLE4432_Read_Protection_Memory(kCard, area.data()), SCARD_S_SUCCESS);
    EXPECT_EQ(SLE4442_Read_Security_Memory(kCard, area.data()), SCARD_S_SUCCESS);
    EXPECT_EQ(area[0], 0x5A);
    EXPECT_EQ(area[1], 0x5A); // from the protection read before
    EXPECT_EQ(sent(), (Strings{"04 00 34 00 00", "04 00 34 00 00", "01 00 31 00 00"}));
    EXPECT_EQ(SLE4442_Read_Security_Memory(kCard, nullptr), SCARD_E_INVALID_PARAMETER);
}

// Reads that report no count fail on a short reply and leave the caller's bytes alone:
// old bytes must never pass for the card's.
TEST_F(CordrelTest, ShortRepliesToTheCountlessReadsFail) {
    const std::pair<LONG (*)(SCARDHANDLE, uint8_t*), std::size_t> reads[] = {
        {SLE4442_Read_Protection_Memory, 4},
        {SLE4432_Read_Protection_Memory, 4},
        {SLE4442_Read_Security_Memory, 1}};
    for (const auto& [read, size] : reads) {
        for (std::size_t got = 0; got <= size; ++got) {
            answer([&](const Bytes&, std::size_t) { return Bytes(got, 0x5A); });
            std::array<uint8_t, 4> area{0xEE, 0xEE, 0xEE, 0xEE};
            EXPECT_EQ(read(kCard, area.data()), got < size ? SCARD_F_COMM_ERROR : SCARD_S_SUCCESS)
                << size << " " << got;
            EXPECT_EQ(area[0], got < size ? 0xEE : 0x5A) << size << " " << got;
        }
    }
}

// A reader that reports more bytes than it wrote hands on zeros, not what an earlier
// frame left in the reply area.
TEST_F(CordrelTest, OverstatedReplyLengthHandsOnNoStaleBytes) {
    std::array<uint8_t, 8> data{};
    uint32_t count = 8;
    answer([](const Bytes&, std::size_t) { return Bytes(288, 0x5A); });
    ASSERT_EQ(SLE4442_Read_Main_Memory(kCard, data.data(), 0, &count), SCARD_S_SUCCESS);
    answer([](const Bytes&, std::size_t) { return Bytes{0x01, 0x02}; });
    fakepcsc::script().reportedControlLength = 8;
    data.fill(0xEE);
    count = 8;
    ASSERT_EQ(SLE4442_Read_Main_Memory(kCard, data.data(), 0, &count), SCARD_S_SUCCESS);
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(hex(Bytes(data.begin(), data.end())), "01 02 00 00 00 00 00 00");
}

struct Checked {
    const char* what;
    Bytes protection;
    uint32_t address;
    uint32_t length;
    LONG result;
    std::size_t frames; // the protection read included
};

TEST_F(CordrelTest, CheckedUpdateLooksAtTheProtectionOfItsRangeOnly) {
    const Checked cases[] = {
        {"0 bytes at 10", {0xFF, 0xFF, 0xFF, 0xFF}, 10, 0, SCARD_S_SUCCESS, 1},
        {"address 0 protected", {0xFE, 0xFF, 0xFF, 0xFF}, 0, 1, SCARD_E_INVALID_PARAMETER, 1},
        {"1 to 31 around it", {0xFE, 0xFF, 0xFF, 0xFF}, 1, 31, SCARD_S_SUCCESS, 32},
        {"30 to 33, 30 protected", {0xFF, 0xFF, 0xFF, 0xBF}, 30, 4, SCARD_E_INVALID_PARAMETER, 1},
        {"30 to 33, 29 protected", {0xFF, 0xFF, 0xFF, 0xDF}, 30, 4, SCARD_S_SUCCESS, 5},
        {"40 to 49 above the protected area",
         {0x00, 0x00, 0x00, 0x00},
         40,
         10,
         SCARD_S_SUCCESS,
         11},
        {"no protection bytes came back", {}, 5, 1, SCARD_F_COMM_ERROR, 1},
        {"three came back, above them", {0xFF, 0xFF, 0xFF}, 32, 1, SCARD_S_SUCCESS, 2},
    };
    const std::array<uint8_t, 256> data{};
    for (const auto& c : cases) {
        fakepcsc::reset();
        answer([&](const Bytes& frame, std::size_t) {
            return frame[10] == 0x34 ? c.protection : Bytes{};
        });
        EXPECT_EQ(SLE4442_Update_Main_MemoryA(kCard, data.data(), c.address, c.length), c.result)
            << c.what;
        EXPECT_EQ(frameCount(), c.frames) << c.what;
        fakepcsc::reset();
        answer([&](const Bytes& frame, std::size_t) {
            return frame[10] == 0x34 ? c.protection : Bytes{};
        });
        EXPECT_EQ(SLE4432_Update_Main_MemoryA(kCard, data.data(), c.address, c.length), c.result)
            << c.what;
        EXPECT_EQ(frameCount(), c.frames) << c.what;
    }
    fakepcsc::reset();
    EXPECT_EQ(SLE4442_Update_Main_MemoryA(kCard, data.data(), 250, 7), SCARD_E_INVALID_PARAMETER);
    failAt(0, SCARD_E_NOT_TRANSACTED);
    EXPECT_EQ(SLE4442_Update_Main_MemoryA(kCard, data.data(), 40, 1), SCARD_E_NOT_TRANSACTED);
    EXPECT_EQ(frameCount(), 1u);
}

TEST_F(CordrelTest, VerificationSpendsOneCounterBitThenReadsTheCounterBack) {
    const std::pair<uint8_t, uint8_t> spent[] = {{7, 6}, {6, 4}, {5, 4}, {3, 2},   {4, 0},
                                                 {2, 0}, {1, 0}, {0, 0}, {0x0F, 0}};
    for (auto [before, written] : spent) {
        for (uint8_t after : {uint8_t{7}, written}) {
            fakepcsc::reset();
            answer([&](const Bytes& frame, std::size_t index) {
                return frame[10] == 0x31 ? Bytes{index == 0 ? before : after} : Bytes{};
            });
            const LONG result = SLE4442_Compare_Verification_Data(kCard, 0x1A1, 0xB2, 0xC3);
            EXPECT_EQ(result, after == 7 ? SCARD_S_SUCCESS : SCARD_W_WRONG_CHV);
            char update[20];
            std::snprintf(update, sizeof update, "00 00 39 00 %02X", written);
            EXPECT_EQ(sent(), (Strings{"01 00 31 00 00", update, "00 00 33 01 A1", "00 00 33 02 B2",
                                       "00 00 33 03 C3", "00 00 39 00 FF", "01 00 31 00 00"}))
                << int(before);
        }
    }
}

TEST_F(CordrelTest, VerificationStopsAtAFailureOrAnUnreadCounter) {
    // No counter byte came back: nothing is written, the card keeps its attempts.
    answer([](const Bytes&, std::size_t) { return Bytes{}; });
    EXPECT_EQ(SLE4442_Compare_Verification_Data(kCard, 1, 2, 3), SCARD_F_COMM_ERROR);
    EXPECT_EQ(frameCount(), 1u);
    for (std::size_t failing = 0; failing < 7; ++failing) {
        fakepcsc::reset();
        failAt(failing, SCARD_E_NOT_TRANSACTED,
               [](const Bytes& frame) { return frame[10] == 0x31 ? Bytes{7} : Bytes{}; });
        EXPECT_EQ(SLE4442_Compare_Verification_Data(kCard, 1, 2, 3), SCARD_E_NOT_TRANSACTED);
        EXPECT_EQ(frameCount(), failing + 1);
    }
}

TEST_F(CordrelTest, DirectControlDeclares288BytesAndClearsTheCountOnFailure) {
    const uint8_t frame[13] = {0x6F, 3};
    std::array<uint8_t, 288> reply{};
    uint32_t count = 77;
    fakepcsc::script().controlResponse = {1, 2, 3};
    EXPECT_EQ(Kal_Mem_Direct_Control(kCard, reply.data(), 0x12345678, &count, frame, 13),
              SCARD_S_SUCCESS);
    EXPECT_EQ(count, 3u);
    fakepcsc::script().results["SCardControl"] = SCARD_E_INVALID_HANDLE;
    count = 77;
    EXPECT_EQ(Kal_Mem_Direct_Control(kCard, reply.data(), -1, &count, frame, 13),
              SCARD_E_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    const auto calls = fakepcsc::callsOf("SCardControl");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args, calls[1].args); // the reserved argument changes nothing
    EXPECT_EQ(calls[0].args, (std::vector<uint64_t>{kCard, 0x42000801, 13, 288}));
    EXPECT_EQ(Kal_Mem_Direct_Control(kCard, nullptr, 0, &count, frame, 13),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(Kal_Mem_Direct_Control(kCard, reply.data(), 0, nullptr, frame, 13),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(fakepcsc::callsOf("SCardControl").size(), 2u);
}

TEST_F(CordrelTest, ADriverRefusingTheFrameCodeIsReachedThroughItsAdvertisedEscape) {
    constexpr SCARDHANDLE kCcidCard = 0xCC1D;
    constexpr DWORD kEscape = SCARD_CTL_CODE(1);
    LONG escapeResult = SCARD_S_SUCCESS;
    fakepcsc::script().control = [&escapeResult](DWORD code, const Bytes& frame, Bytes& out) {
        if (code == SCARD_CTL_CODE(3400)) {
            out = {0x12, 0x04, 0x42, 0x33, 0x00, 0x12, 0x13, 0x04, 0x42, 0x00, 0x00, 0x01};
            return LONG{SCARD_S_SUCCESS};
        }
        if (code != kEscape) {
            return LONG{SCARD_E_UNSUPPORTED_FEATURE};
        }
        out = Bytes(frame[8], 0xA5); // as many bytes as the frame asks for
        return escapeResult;
    };
    std::array<uint8_t, 4> data{};
    const auto read = [&] {
        uint32_t count = 4;
        return SLE4442_Read_Main_Memory(kCcidCard, data.data(), 0, &count);
    };
    EXPECT_EQ(read(), SCARD_S_SUCCESS);
    EXPECT_EQ(data, (std::array<uint8_t, 4>{0xA5, 0xA5, 0xA5, 0xA5}));
    EXPECT_EQ(read(), SCARD_S_SUCCESS); // the found code straight away
    escapeResult = SCARD_E_NOT_TRANSACTED;
    EXPECT_EQ(read(), SCARD_E_NOT_TRANSACTED); // never sent again after such a failure
    escapeResult = SCARD_S_SUCCESS;
    EXPECT_EQ(read(), SCARD_S_SUCCESS); // forgotten: found afresh
    std::vector<uint64_t> codes;
    for (const auto& call : fakepcsc::callsOf("SCardControl")) {
        codes.push_back(call.args[1]);
    }
    const uint64_t frames = SCARD_CTL_CODE(2049);
    const uint64_t ask = SCARD_CTL_CODE(3400);
    EXPECT_EQ(codes, (std::vector<uint64_t>{frames, ask, kEscape, kEscape, kEscape, frames, ask,
                                            kEscape}));
    // Leaves no remembered code to the tests after it.
    escapeResult = SCARD_E_NOT_TRANSACTED;
    EXPECT_EQ(read(), SCARD_E_NOT_TRANSACTED);
}

// A program serving sixteen such readers at once keeps every reader's found code: no
// reader's frames go back to three round trips because of the others.
TEST_F(CordrelTest, TheFoundCodesOfSixteenReadersAreAllKept) {
    constexpr DWORD kEscape = SCARD_CTL_CODE(1);
    bool fail = false;
    fakepcsc::script().control = [&fail](DWORD code, const Bytes& frame, Bytes& out) {
        if (code == SCARD_CTL_CODE(3400)) {
            out = {0x13, 0x04, 0x42, 0x00, 0x00, 0x01};
            return LONG{SCARD_S_SUCCESS};
        }
        if (code != kEscape) {
            return LONG{SCARD_E_UNSUPPORTED_FEATURE};
        }
        out = Bytes(frame[8], 0xA5);
        return fail ? LONG{SCARD_E_NOT_TRANSACTED} : LONG{SCARD_S_SUCCESS};
    };
    std::array<uint8_t, 1> data{};
    const auto read = [&data](SCARDHANDLE card) {
        uint32_t count = 1;
        return SLE4442_Read_Main_Memory(card, data.data(), 0, &count);
    };
    for (SCARDHANDLE card = 1; card <= 16; ++card) {
        ASSERT_EQ(read(card), SCARD_S_SUCCESS);
    }
    const std::size_t found = fakepcsc::callsOf("SCardControl").size();
    for (SCARDHANDLE card = 1; card <= 16; ++card) {
        ASSERT_EQ(read(card), SCARD_S_SUCCESS);
    }
    EXPECT_EQ(fakepcsc::callsOf("SCardControl").size(), found + 16);
    fail = true; // leaves no remembered code to the tests after it
    for (SCARDHANDLE card = 1; card <= 16; ++card) {
        read(card);
    }
}

TEST_F(CordrelTest, ADriverOfferingNoEscapeFailsWithoutSendingTheFrameAgain) {
    fakepcsc::script().control = [](DWORD code, const Bytes&, Bytes& out) {
        if (code == SCARD_CTL_CODE(3400)) {
            out = {0x12, 0x04, 0x42, 0x33, 0x00, 0x12};
            return LONG{SCARD_S_SUCCESS};
        }
        return LONG{SCARD_E_UNSUPPORTED_FEATURE};
    };
    EXPECT_EQ(SLE4442_Compare_Verification_Data(kCard, 1, 2, 3), SCARD_E_UNSUPPORTED_FEATURE);
    EXPECT_EQ(fakepcsc::callsOf("SCardControl").size(), 2u); // the counter read and the ask
}

} // namespace
