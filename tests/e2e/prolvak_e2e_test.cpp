// SPDX-License-Identifier: BSD-3-Clause
// The access library over the real libpcsclite, the private pcscd and the simulated
// readers: a traced library cycle, and a card pulled out while connected.
#include "prolvak.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <PCSC/reader.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

using namespace simtest;

namespace {

const uint8_t kChallenge[] = {0x00, 0x84, 0x00, 0x00, 0x08};
const uint8_t kLed[] = {0xFF, 0xE1, 0x02, 0x01, 0x0C, 0xA0, 0xFC, 0x30, 0xA0,
                        0xFD, 0x04, 0xA0, 0xFE, 0x04, 0xA0, 0xFF, 0x04};

class ProlvakOverPcscd : public ::testing::Test {
protected:
    void SetUp() override {
        restoreDefaultCards();
        m_previous = std::filesystem::current_path();
        m_folder =
            std::filesystem::temp_directory_path() / ("prolvak-e2e-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
        std::filesystem::current_path(m_folder);
        std::ofstream("PcScLog.txt") << "old\r\n";
    }
    void TearDown() override {
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_folder);
    }
    // The trace with every time stamp, and the blanks before it, replaced by "T".
    static std::string maskedTrace() {
        std::ifstream in("PcScLog.txt", std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        return std::regex_replace(text, std::regex(" *[0-9]+\\.[0-9]{10} --- "), "T --- ");
    }

    std::filesystem::path m_previous;
    std::filesystem::path m_folder;
};

TEST_F(ProlvakOverPcscd, TracedCycleThroughEveryShareMode) {
    SCARDCONTEXT context = 0;
    ASSERT_EQ(InitLibrary_WIN(&context), KTX_SUCCESS);
    SlotInfo slots[PROLVAK_MAX_READERS] = {};
    SCARD_READERSTATE states[PROLVAK_MAX_READERS] = {};
    uint32_t count = 0;
    ASSERT_EQ(ListReader_WIN(context, slots, states, &count), KTX_SUCCESS);
    ASSERT_EQ(count, 3u);
    EXPECT_STREQ(slots[0].manufacturerID, "KALDOR");
    EXPECT_STREQ(slots[0].slotDescription, "TR-100 00 ");
    EXPECT_STREQ(slots[0].szReader, "KALDOR TR-100 00 00");
    EXPECT_STREQ(slots[1].slotDescription, "RF-9000 01 ");
    EXPECT_STREQ(slots[2].manufacturerID, "Generic");
    EXPECT_EQ(slots[0].flag, 1);
    EXPECT_EQ(slots[1].flag, 1);
    EXPECT_EQ(slots[2].flag, 0);

    for (uint32_t share : {2u, 1u}) {
        SCARDHANDLE card = 0;
        uint32_t protocol = 0, state = 0, atrLength = 33;
        uint8_t atr[33];
        ASSERT_EQ(InitReader_WIN(context, slots[0].szReader, share, &card, &protocol, &state, atr,
                                 &atrLength),
                  KTX_SUCCESS);
        EXPECT_EQ(atrLength, 15u);
        EXPECT_TRUE(protocol == SCARD_PROTOCOL_T0 || protocol == SCARD_PROTOCOL_T1);
        uint8_t response[330];
        uint32_t responseLength = 330;
        ASSERT_EQ(PcSc_SR_WIN(card, protocol, 5, kChallenge, 330, &responseLength, response),
                  KTX_SUCCESS);
        ASSERT_EQ(responseLength, 10u);
        EXPECT_EQ(response[8], 0x90);
        EXPECT_EQ(response[9], 0x00);
        EXPECT_EQ(CloseReader_WIN(card), KTX_SUCCESS);
    }

    SCARDHANDLE direct = 0;
    uint32_t protocol = 0, state = 0, atrLength = 33;
    uint8_t atr[33];
    ASSERT_EQ(
        InitReader_WIN(context, slots[2].szReader, 3, &direct, &protocol, &state, atr, &atrLength),
        KTX_SUCCESS);
    uint8_t answer[16];
    DWORD returned = 0;
    EXPECT_EQ(SCardControl_WIN(direct, SCARD_CTL_CODE(3500), kLed, sizeof kLed, answer,
                               sizeof answer, &returned),
              SCARD_S_SUCCESS);
    EXPECT_EQ(returned, 2u);
    EXPECT_EQ(readerStatus(kEmptyReader)["yellow"], "on"); // control byte 30: LEDs 2 and 1
    EXPECT_EQ(readerStatus(kEmptyReader)["blue"], "on");
    char vendor[32] = {};
    DWORD vendorLength = sizeof vendor;
    EXPECT_EQ(SCardGetAttrib_WIN(direct, SCARD_ATTR_VENDOR_NAME, reinterpret_cast<LPBYTE>(vendor),
                                 &vendorLength),
              SCARD_S_SUCCESS);
    EXPECT_STREQ(vendor, "Generic");
    EXPECT_EQ(CloseReader_WIN(direct), KTX_SUCCESS);
    EXPECT_EQ(CloseLibrary_WIN(context), KTX_SUCCESS);

    const std::string trace = maskedTrace();
    const std::string exchange =
        "T --- InitReader_WIN Enter, ReaderName = KALDOR TR-100 00 00\r\n"
        "T --- Call Ktx_SCardConnect, Share or Excusive\r\n"
        "T --- Active protocol = SCARD_PROTOCOL_T(0|1)\r\n"
        "T --- Ktx_SCardStatus Return KTX_SUCCESS, SCARD_(NEGOTIABLE|SPECIFIC)\r\n"
        "T --- PcSc_SR_WIN Enter, REQReqLength = 5\r\n"
        "00 84 00 00 08 \r\n"
        "T --- \r\n"
        "T --- CardType = SCARD_PROTOCOL_T(0|1)\r\n"
        "T --- Ktx_SCardTransmit Return KTX_SUCCESS\r\n"
        // the dump's last blank and the stamp's leading ones are one run of blanks
        "([0-9A-F]{2} ){8}90 00T --- \r\n"
        "T --- CloseReader_WIN Enter\r\n"
        "T --- Ktx_SCardDisconnect Return KTX_SUCCESS\r\n";
    const std::string expected =
        "T --- LoadLibrary WINSCARD.DLL Success\r\n"
        "T --- Ktx_SCardEstablishContext Return KTX_SUCCESS\r\n"
        "T --- ListReader_WIN Enter\r\n"
        "T --- \\[0\\] manufacturerID = KALDOR\r\n"
        "T --- \\[0\\] slotDescription = TR-100 00 \r\n"
        "T --- \\[0\\] szReader = KALDOR TR-100 00 00\r\n"
        "T --- \\[1\\] manufacturerID = KALDOR\r\n"
        "T --- \\[1\\] slotDescription = RF-9000 01 \r\n"
        "T --- \\[1\\] szReader = KALDOR RF-9000 01 00\r\n"
        "T --- \\[2\\] manufacturerID = Generic\r\n"
        "T --- \\[2\\] slotDescription = Reader 02 \r\n"
        "T --- \\[2\\] szReader = Generic Reader 02 00\r\n"
        "T --- KALDOR TR-100 00 00 => dwEventState = [0-9A-F]+H, dwCurrentState = 0H, "
        "SlotInfo.flag = Card Insert\r\n"
        "T --- KALDOR RF-9000 01 00 => dwEventState = [0-9A-F]+H, dwCurrentState = 0H, "
        "SlotInfo.flag = Card Insert\r\n"
        "T --- Generic Reader 02 00 => dwEventState = [0-9A-F]+H, dwCurrentState = 0H, "
        "SlotInfo.flag = Card Removed\r\n" +
        exchange + exchange +
        "T --- InitReader_WIN Enter, ReaderName = Generic Reader 02 00\r\n"
        "T --- Call Ktx_SCardConnect, SCARD_SHARE_DIRECT\r\n"
        "T --- Active protocol = SCARD_PROTOCOL_UNDEFINED  or unknown\r\n"
        "T --- Ktx_SCardStatus Return KTX_SUCCESS, SCARD_ABSENT\r\n"
        "T --- Return Ktx_SCardControl lReturn = 0h\r\n"
        "T --- Return Ktx_SCardGetAttrib lReturn = 0h\r\n"
        "T --- CloseReader_WIN Enter\r\n"
        "T --- Ktx_SCardDisconnect Return KTX_SUCCESS\r\n"
        "T --- CloseLibrary_WIN Enter\r\n";
    EXPECT_TRUE(std::regex_match(trace, std::regex(expected))) << trace;
}

TEST_F(ProlvakOverPcscd, CardPulledOutWhileConnected) {
    SCARDCONTEXT context = 0;
    ASSERT_EQ(InitLibrary_WIN(&context), KTX_SUCCESS);
    SCARDHANDLE card = 0;
    uint32_t protocol = 0, state = 0, atrLength = 33;
    uint8_t atr[33];
    const std::string reader = pcscName(context, kContactReader);
    ASSERT_EQ(InitReader_WIN(context, reader.c_str(), 2, &card, &protocol, &state, atr, &atrLength),
              KTX_SUCCESS);
    ASSERT_EQ(simCtl({"remove", kContactReader}), 0);
    ASSERT_TRUE(waitForCard(context, reader, false));

    char names[200];
    uint32_t namesLength = sizeof names, statusProtocol = 0;
    atrLength = 33;
    EXPECT_EQ(
        GetCardStatus_WIN(card, names, &namesLength, &statusProtocol, &state, atr, &atrLength),
        KTX_SUCCESS);
    uint8_t response[330];
    uint32_t responseLength = 330;
    EXPECT_EQ(PcSc_SR_WIN(card, protocol, 5, kChallenge, 330, &responseLength, response),
              KTX_PCSC_SCARDTRANSMIT_ERR);
    CloseReader_WIN(card);
    CloseLibrary_WIN(context);
    const std::string trace = maskedTrace();
    EXPECT_NE(trace.find("T --- GetCardStatus_WIN Enter\r\n"
                         "T --- SCardStatus Return SCARD_W_REMOVED_CARD\r\n"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("T --- Return KTX_PCSC_SCARDTRANSMIT_ERR lReturn = 80100069h\r\n"),
              std::string::npos)
        << trace;
}

} // namespace
