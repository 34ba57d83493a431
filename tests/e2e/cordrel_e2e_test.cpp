// SPDX-License-Identifier: BSD-3-Clause
// The memory-card library against each simulated memory card, through libpcsclite and
// the private pcscd: the connection the access library opened carries the escape frames.
#include "cordrel.h"
#include "prolvak.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>

using namespace simtest;

namespace {

class MemoryCards : public ::testing::Test {
protected:
    void SetUp() override {
        restoreDefaultCards();
        ASSERT_EQ(InitLibrary_WIN(&m_context), KTX_SUCCESS);
        m_reader = pcscName(m_context, kEmptyReader);
    }
    void TearDown() override {
        if (m_card != 0) {
            CloseReader_WIN(m_card);
        }
        CloseLibrary_WIN(m_context);
    }

    // Puts the card into "Generic Reader" and connects to it as the workbench does.
    void insertAndConnect(const std::vector<std::string>& insert) {
        std::vector<std::string> args{"insert", kEmptyReader};
        args.insert(args.end(), insert.begin(), insert.end());
        ASSERT_EQ(simCtl(args), 0);
        ASSERT_TRUE(waitForCard(m_context, m_reader, true));
        connect();
    }
    void connect() {
        uint32_t protocol = 0, state = 0;
        m_atrLength = sizeof m_atr;
        ASSERT_EQ(InitReader_WIN(m_context, m_reader.c_str(), 1, &m_card, &protocol, &state, m_atr,
                                 &m_atrLength),
                  KTX_SUCCESS);
    }
    std::string atr() const { return hex(Bytes(m_atr, m_atr + m_atrLength)); }
    std::map<std::string, std::string> shown() { return readerStatus(kEmptyReader); }

    SCARDCONTEXT m_context = 0;
    SCARDHANDLE m_card = 0;
    std::string m_reader;
    uint8_t m_atr[33] = {};
    uint32_t m_atrLength = 0;
};

Bytes counting(std::size_t n, uint8_t first) {
    Bytes bytes(n);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

Bytes readMain(SCARDHANDLE card, uint32_t address, uint32_t count) {
    Bytes data(count);
    EXPECT_EQ(SLE4442_Read_Main_Memory(card, data.data(), address, &count), SCARD_S_SUCCESS);
    data.resize(count);
    return data;
}

TEST_F(MemoryCards, Sle4442WritesOnlyAfterItsPscIsVerified) {
    insertAndConnect({"sle4442", "psc=123456", "memory=A2131091"});
    EXPECT_EQ(atr(), "A2 13 10 91"); // unwrapped from 3B 64 00 00 A2 13 10 91
    EXPECT_EQ(hex(readMain(m_card, 0, 6)), "A2 13 10 91 FF FF");

    const Bytes data = counting(8, 0x40);
    EXPECT_EQ(SLE4442_Update_Main_Memory(m_card, data.data(), 40, 8), SCARD_S_SUCCESS);
    EXPECT_EQ(hex(readMain(m_card, 40, 2)), "FF FF"); // not verified: nothing changes

    EXPECT_EQ(SLE4442_Compare_Verification_Data(m_card, 0x12, 0x34, 0x99), SCARD_W_WRONG_CHV);
    uint8_t counter = 0;
    EXPECT_EQ(SLE4442_Read_Security_Memory(m_card, &counter), SCARD_S_SUCCESS);
    EXPECT_EQ(counter, 6);
    EXPECT_EQ(shown()["counter"], "6");
    EXPECT_EQ(shown()["verified"], "no");

    EXPECT_EQ(SLE4442_Compare_Verification_Data(m_card, 0x12, 0x34, 0x56), SCARD_S_SUCCESS);
    EXPECT_EQ(SLE4442_Read_Security_Memory(m_card, &counter), SCARD_S_SUCCESS);
    EXPECT_EQ(counter, 7);
    EXPECT_EQ(shown()["verified"], "yes");
    EXPECT_EQ(SLE4442_Update_Main_Memory(m_card, data.data(), 40, 8), SCARD_S_SUCCESS);
    EXPECT_EQ(readMain(m_card, 40, 8), data);

    // Protect address 5 (its data must match), then the checked update refuses the range.
    const uint8_t stored = 0xFF;
    EXPECT_EQ(SLE4442_Write_Protection_Memory(m_card, &stored, 5, 1), SCARD_S_SUCCESS);
    uint8_t protection[4] = {};
    EXPECT_EQ(SLE4442_Read_Protection_Memory(m_card, protection), SCARD_S_SUCCESS);
    EXPECT_EQ(hex(Bytes(protection, protection + 4)), "DF FF FF FF");
    EXPECT_EQ(SLE4442_Update_Main_MemoryA(m_card, data.data(), 0, 8), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(SLE4442_Update_Main_Memory(m_card, data.data(), 0, 8), SCARD_S_SUCCESS);
    EXPECT_EQ(hex(readMain(m_card, 4, 3)), "44 FF 46"); // the protected byte kept its value

    // Losing power loses the verification.
    CloseReader_WIN(m_card);
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    ASSERT_EQ(SCardConnect(m_context, m_reader.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0,
                           &card, &protocol),
              SCARD_S_SUCCESS);
    SCardDisconnect(card, SCARD_UNPOWER_CARD);
    connect();
    EXPECT_EQ(shown()["verified"], "no");
    EXPECT_EQ(SLE4442_Update_Main_Memory(m_card, data.data(), 100, 1), SCARD_S_SUCCESS);
    EXPECT_EQ(hex(readMain(m_card, 100, 1)), "FF");
}

TEST_F(MemoryCards, TheRightPscOnTheLastAttemptUnlocksTheCard) {
    // One attempt left on each card: the attempt is spent, the PSC compared, the counter
    // written back full.
    insertAndConnect({"sle4442", "psc=123456", "counter=4"});
    EXPECT_EQ(SLE4442_Compare_Verification_Data(m_card, 0x12, 0x34, 0x56), SCARD_S_SUCCESS);
    EXPECT_EQ(shown()["counter"], "7");
    EXPECT_EQ(shown()["verified"], "yes");
    CloseReader_WIN(m_card);
    m_card = 0;
    ASSERT_EQ(simCtl({"remove", kEmptyReader}), 0);
    ASSERT_TRUE(waitForCard(m_context, m_reader, false));
    insertAndConnect({"sle4428", "psc=ABCD", "counter=0x80"});
    EXPECT_EQ(SLE4428_PSC_Verification(m_card, 0xAB, 0xCD), SCARD_S_SUCCESS);
    EXPECT_EQ(shown()["counter"], "0xFF");
    EXPECT_EQ(shown()["verified"], "yes");
}

TEST_F(MemoryCards, Sle4432WritesWithoutVerification) {
    insertAndConnect({"sle4432"});
    EXPECT_EQ(atr(), "A2 13 10 91");
    const Bytes data = counting(200, 0);
    EXPECT_EQ(SLE4432_Update_Main_Memory(m_card, data.data(), 56, 200), SCARD_S_SUCCESS);
    Bytes back(256);
    uint32_t count = 256;
    EXPECT_EQ(SLE4432_Read_Main_Memory(m_card, back.data(), 0, &count), SCARD_S_SUCCESS);
    EXPECT_EQ(count, 256u);
    EXPECT_EQ(Bytes(back.begin() + 56, back.end()), data);
    EXPECT_EQ(SLE4442_Read_Security_Memory(m_card, back.data()), SCARD_E_NOT_TRANSACTED);
}

TEST_F(MemoryCards, Sle4428ProtectsWhatItWritesWithTheProtectBit) {
    insertAndConnect({"sle4428", "psc=ABCD"});
    EXPECT_EQ(atr(), "92 23 10 91");
    EXPECT_EQ(SLE4428_PSC_Verification(m_card, 0xAB, 0x00), SCARD_W_WRONG_CHV);
    uint8_t counter = 0;
    uint32_t count = 1;
    EXPECT_EQ(SLE4428_Read_Data_Without_Protect_Bit(m_card, &counter, 1021, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(counter, 0xFE);
    EXPECT_EQ(shown()["counter"], "0xFE");
    EXPECT_EQ(SLE4428_PSC_Verification(m_card, 0xAB, 0xCD), SCARD_S_SUCCESS);
    EXPECT_EQ(shown()["counter"], "0xFF");

    const Bytes data = counting(300, 7); // across the pages at 256 and 512
    EXPECT_EQ(SLE4428_Write_Data_Without_Protect_Bit(m_card, data.data(), 200, 300),
              SCARD_S_SUCCESS);
    const uint8_t locked = 0x5C;
    EXPECT_EQ(SLE4428_Write_Data_With_Protect_Bit(m_card, &locked, 600, 1), SCARD_S_SUCCESS);

    Bytes all(1024), protect(1024);
    count = 1024;
    EXPECT_EQ(SLE4428_Read_Data_Without_Protect_Bit(m_card, all.data(), 0, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(count, 1024u);
    EXPECT_EQ(Bytes(all.begin() + 200, all.begin() + 500), data);
    count = 1024;
    EXPECT_EQ(SLE4418_Read_Data_With_Protect_Bit(m_card, all.data(), protect.data(), 0, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(count, 1024u);
    EXPECT_EQ(Bytes(all.begin() + 200, all.begin() + 500), data);
    EXPECT_EQ(all[600], locked);
    EXPECT_EQ(protect[600], 0);
    EXPECT_NE(protect[599], 0);

    const Bytes over(5, 0x11);
    EXPECT_EQ(SLE4428_Write_Data_Without_Protect_BitA(m_card, over.data(), 598, 5),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(SLE4428_Write_Data_Without_Protect_Bit(m_card, over.data(), 598, 5), SCARD_S_SUCCESS);
    count = 5;
    EXPECT_EQ(SLE4428_Read_Data_Without_Protect_Bit(m_card, all.data(), 598, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(hex(Bytes(all.begin(), all.begin() + 5)), "11 11 5C 11 11");
}

TEST_F(MemoryCards, Sle4418WritesWithoutVerification) {
    insertAndConnect({"sle4418", "memory=0102"});
    const Bytes data = counting(10, 0xA0);
    EXPECT_EQ(SLE4418_Write_Data_With_Protect_BitA(m_card, data.data(), 1014, 10), SCARD_S_SUCCESS);
    Bytes back(12);
    uint32_t count = 12;
    EXPECT_EQ(SLE4418_Read_Data_Without_Protect_Bit(m_card, back.data(), 1012, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(hex(back), "FF FF A0 A1 A2 A3 A4 A5 A6 A7 A8 A9");
    EXPECT_EQ(SLE4418_Write_Data_With_Protect_BitA(m_card, data.data(), 1014, 1),
              SCARD_E_INVALID_PARAMETER); // protected by the write before
    count = 2;
    EXPECT_EQ(SLE4418_Read_Data_Without_Protect_Bit(m_card, back.data(), 0, &count),
              SCARD_S_SUCCESS);
    EXPECT_EQ(hex(Bytes(back.begin(), back.begin() + 2)), "01 02");
}

TEST_F(MemoryCards, CardPulledOutInTheMiddleOfAWrite) {
    insertAndConnect({"sle4432", "pull-after=10"});
    const Bytes data = counting(20, 0x30);
    const LONG result = SLE4432_Update_Main_Memory(m_card, data.data(), 0, 20);
    EXPECT_NE(result, SCARD_S_SUCCESS);
    std::printf("pulled out after 10 frames: %s\n", pcsc_stringify_error(result));
    ASSERT_TRUE(waitForCard(m_context, m_reader, false));
    CloseReader_WIN(m_card);
    m_card = 0;

    // The same card goes back in: what was written before it slipped out is there.
    ASSERT_EQ(simCtl({"reinsert", kEmptyReader}), 0);
    ASSERT_TRUE(waitForCard(m_context, m_reader, true));
    connect();
    const Bytes back = readMain(m_card, 0, 20);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 10), Bytes(data.begin(), data.begin() + 10));
    EXPECT_EQ(Bytes(back.begin() + 10, back.end()), Bytes(10, 0xFF));
}

} // namespace
