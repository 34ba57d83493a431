// SPDX-License-Identifier: BSD-3-Clause
// The exchange, the pass-throughs and the checksum over the fake service.
#include "prolvak_fixture.h"

#include <PCSC/reader.h>

#include <dlfcn.h>

namespace {

using fakepcsc::Bytes;
using fakepcsc::callsOf;

uint64_t recordOf(const char* name) {
    return reinterpret_cast<uint64_t>(::dlsym(RTLD_DEFAULT, name));
}

TEST_F(ProlvakTest, ProtocolPicksTheSendRecord) {
    init();
    enableTrace();
    init();
    const uint8_t apdu[] = {0x00, 0x84, 0x00, 0x00, 0x08};
    const std::vector<std::pair<uint32_t, uint64_t>> cases{
        {SCARD_PROTOCOL_T0, recordOf("g_rgSCardT0Pci")},
        {SCARD_PROTOCOL_T1, recordOf("g_rgSCardT1Pci")},
        {SCARD_PROTOCOL_RAW, recordOf("g_rgSCardRawPci")},
        {0, 0},
        {3, 0},
    };
    for (const auto& [protocol, record] : cases) {
        uint8_t response[330];
        uint32_t length = 330;
        EXPECT_EQ(PcSc_SR_WIN(0xCA7D, protocol, 5, apdu, 330, &length, response), KTX_SUCCESS);
        EXPECT_EQ(length, 2u);
    }
    const auto transmits = callsOf("SCardTransmit");
    ASSERT_EQ(transmits.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (i < 3) {
            ASSERT_NE(cases[i].second, 0u) << "the fake exports every record";
        }
        EXPECT_EQ(transmits[i].args[1], cases[i].second) << i;
        EXPECT_EQ(transmits[i].args[3], 0u); // no receive record
        EXPECT_EQ(transmits[i].bytes, Bytes(apdu, apdu + 5));
    }
    CloseLibrary_WIN(1);
    const std::string trace = traceText();
    for (const char* line : {"CardType = SCARD_PROTOCOL_T0\r\n", "CardType = SCARD_PROTOCOL_T1\r\n",
                             "CardType = SCARD_PROTOCOL_RAW\r\n"}) {
        EXPECT_NE(trace.find(line), std::string::npos) << line;
    }
    std::size_t undefined = 0;
    for (auto at = trace.find("CardType = SCARD_PROTOCOL_UNDEFINED\r\n"); at != std::string::npos;
         at = trace.find("CardType = SCARD_PROTOCOL_UNDEFINED\r\n", at + 1)) {
        ++undefined;
    }
    EXPECT_EQ(undefined, 2u);
}

TEST_F(ProlvakTest, ResponseRoomIsTheLengthVariableNotTheCapacity) {
    init();
    uint8_t response[330];
    const uint8_t apdu[] = {0x00, 0xB0, 0x00, 0x00, 0x00};
    uint32_t length = 2;
    EXPECT_EQ(PcSc_SR_WIN(0xCA7D, 2, 5, apdu, 330, &length, response), KTX_SUCCESS);
    EXPECT_EQ(callsOf("SCardTransmit")[0].args[4], 2u);

    // A service that reports more than it was given room for is cut to the room.
    fakepcsc::script().reportedResponseLength = 300;
    length = 16;
    EXPECT_EQ(PcSc_SR_WIN(0xCA7D, 2, 5, apdu, 0, &length, response), KTX_SUCCESS);
    EXPECT_EQ(length, 16u);
}

TEST_F(ProlvakTest, EmptyRequestsAndResponsesAreTracedAndPassedOn) {
    init();
    enableTrace();
    init();
    fakepcsc::script().response.clear();
    uint8_t response[8];
    uint32_t length = sizeof response;
    const uint8_t none[1] = {};
    EXPECT_EQ(PcSc_SR_WIN(0xCA7D, 1, 0, none, 8, &length, response), KTX_SUCCESS);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(callsOf("SCardTransmit")[0].args[2], 0u);
    fakepcsc::script().results["SCardTransmit"] = SCARD_E_NOT_TRANSACTED;
    length = sizeof response;
    EXPECT_EQ(PcSc_SR_WIN(0xCA7D, 1, 1, none, 8, &length, response), KTX_PCSC_SCARDTRANSMIT_ERR);
    // Outputs the exchange needs are refused before the service.
    EXPECT_EQ(PcSc_SR_WIN(0xCA7D, 1, 1, none, 8, nullptr, response), KTX_PCSC_SCARDTRANSMIT_ERR);
    EXPECT_EQ(PcSc_SR_WIN(0xCA7D, 1, 1, nullptr, 8, &length, response), KTX_PCSC_SCARDTRANSMIT_ERR);
    EXPECT_EQ(callsOf("SCardTransmit").size(), 2u);
    CloseLibrary_WIN(1);
    EXPECT_EQ(traceText().substr(traceText().find("   0.3750000000")),
              "   0.3750000000 --- PcSc_SR_WIN Enter, REQReqLength = 0\r\n"
              "\r\n"
              "   0.5000000000 --- \r\n"
              "   0.6250000000 --- CardType = SCARD_PROTOCOL_T0\r\n"
              "   0.7500000000 --- Ktx_SCardTransmit Return KTX_SUCCESS\r\n"
              "   0.8750000000 --- \r\n"
              "   1.0000000000 --- PcSc_SR_WIN Enter, REQReqLength = 1\r\n"
              "00 \r\n"
              "   1.1250000000 --- \r\n"
              "   1.2500000000 --- CardType = SCARD_PROTOCOL_T0\r\n"
              "   1.3750000000 --- Return KTX_PCSC_SCARDTRANSMIT_ERR lReturn = 80100016h\r\n"
              "   1.5000000000 --- PcSc_SR_WIN Enter, REQReqLength = 1\r\n"
              "00 \r\n"
              "   1.6250000000 --- \r\n"
              "   1.7500000000 --- CardType = SCARD_PROTOCOL_T0\r\n"
              "   1.8750000000 --- Return KTX_PCSC_SCARDTRANSMIT_ERR lReturn = 80100004h\r\n"
              "   2.0000000000 --- PcSc_SR_WIN Enter, REQReqLength = 1\r\n"
              "\r\n"
              "   2.1250000000 --- \r\n"
              "   2.2500000000 --- CardType = SCARD_PROTOCOL_T0\r\n"
              "   2.3750000000 --- Return KTX_PCSC_SCARDTRANSMIT_ERR lReturn = 80100004h\r\n"
              "   2.5000000000 --- CloseLibrary_WIN Enter\r\n");
}

TEST_F(ProlvakTest, PassThroughsHandBackTheServiceResult) {
    init();
    enableTrace();
    init();
    auto& s = fakepcsc::script();
    const uint8_t led[] = {0xFF, 0xE1, 0x02, 0x01, 0x0C};
    uint8_t out[32];
    DWORD returned = 0;
    EXPECT_EQ(SCardControl_WIN(0xCA7D, 0x42000DAC, led, 5, out, 32, &returned), SCARD_S_SUCCESS);
    EXPECT_EQ(returned, 2u);
    EXPECT_EQ(callsOf("SCardControl")[0].args, (std::vector<uint64_t>{0xCA7D, 0x42000DAC, 5, 32}));
    EXPECT_EQ(callsOf("SCardControl")[0].bytes, Bytes(led, led + 5));
    s.results["SCardControl"] = SCARD_E_INVALID_PARAMETER;
    EXPECT_EQ(SCardControl_WIN(0xCA7D, 0x42000DAC, led, 5, out, 32, &returned),
              SCARD_E_INVALID_PARAMETER);

    DWORD length = sizeof out;
    EXPECT_EQ(SCardGetAttrib_WIN(0xCA7D, SCARD_ATTR_VENDOR_NAME, out, &length), SCARD_S_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "KALDOR");
    s.results["SCardSetAttrib"] = SCARD_E_NOT_TRANSACTED;
    EXPECT_EQ(SCardSetAttrib_WIN(0xCA7D, 7, led, 5), SCARD_E_NOT_TRANSACTED);
    EXPECT_EQ(callsOf("SCardSetAttrib")[0].args, (std::vector<uint64_t>{0xCA7D, 7, 5}));

    // pcsc-lite has no such function: nothing is called, the line is still written.
    char provider[16];
    length = sizeof provider;
    const auto before = fakepcsc::calls().size();
    EXPECT_EQ(SCardGetCardTypeProviderName_WIN(0x1C0, "card", 1, provider, &length),
              SCARD_E_UNSUPPORTED_FEATURE);
    EXPECT_EQ(fakepcsc::calls().size(), before);
    CloseLibrary_WIN(1);
    EXPECT_EQ(traceText().substr(traceText().find("   0.3750000000")),
              "   0.3750000000 --- Return Ktx_SCardControl lReturn = 0h\r\n"
              "   0.5000000000 --- Return Ktx_SCardControl lReturn = 80100004h\r\n"
              "   0.6250000000 --- Return Ktx_SCardGetAttrib lReturn = 0h\r\n"
              "   0.7500000000 --- Return Ktx_SCardSetAttrib lReturn = 80100016h\r\n"
              "   0.8750000000 --- Return Ktx_SCardGetCardTypeProviderName lReturn = 8010001Fh\r\n"
              "   1.0000000000 --- CloseLibrary_WIN Enter\r\n");
}

TEST_F(ProlvakTest, ServiceWithoutSomeEntryPointsIsNeverCalledThroughThem) {
    prolvak::testing::setServiceLibrary(FAKEPCSC_PARTIAL_PATH);
    enableTrace();
    const SCARDCONTEXT context = init();
    const uint8_t apdu[] = {0x00, 0x84, 0x00, 0x00, 0x08};
    uint8_t response[16];
    uint32_t length = sizeof response;
    EXPECT_EQ(PcSc_SR_WIN(0xCA7D, 2, 5, apdu, 16, &length, response), KTX_PCSC_SCARDTRANSMIT_ERR);
    DWORD returned = 0;
    EXPECT_EQ(SCardControl_WIN(0xCA7D, 1, apdu, 5, response, 16, &returned),
              SCARD_E_UNSUPPORTED_FEATURE);
    EXPECT_EQ(CloseLibrary_WIN(context), KTX_SUCCESS);
    const std::string trace = traceText();
    EXPECT_NE(trace.find("Return KTX_PCSC_SCARDTRANSMIT_ERR lReturn = 8010001Fh\r\n"),
              std::string::npos)
        << trace;
}

// SCARD_AUTOALLOCATE of the other platform, passed as a 32-bit capacity, would offer the
// service 4 GiB of room in a buffer of a few bytes.
TEST_F(ProlvakTest, CapacityOfAllOnesIsRefusedBeforeTheService) {
    init();
    const std::size_t before = fakepcsc::calls().size();
    constexpr uint32_t kAllOnes = 0xFFFFFFFF;
    uint8_t buffer[8] = {};
    char names[8] = {};
    uint32_t protocol = 0, state = 0, room = 8;
    uint32_t allOnes = kAllOnes;
    EXPECT_EQ(GetCardStatus_WIN(0xCA7D, names, &allOnes, &protocol, &state, buffer, &room),
              KTX_PCSC_SCARDSTATUS_ERR);
    allOnes = kAllOnes;
    EXPECT_EQ(GetCardStatus_WIN(0xCA7D, names, &room, &protocol, &state, buffer, &allOnes),
              KTX_PCSC_SCARDSTATUS_ERR);
    SCARDHANDLE card = 0;
    allOnes = kAllOnes;
    EXPECT_EQ(
        InitReader_WIN(0x1C0, "KALDOR TR-100 00 00", 2, &card, &protocol, &state, buffer, &allOnes),
        KTX_PCSC_SCARDCONNECT_ERR);
    allOnes = kAllOnes;
    EXPECT_EQ(PcSc_SR_WIN(0xCA7D, 2, 1, buffer, 8, &allOnes, buffer), KTX_PCSC_SCARDTRANSMIT_ERR);
    DWORD returned = 0;
    for (const DWORD capacity : {DWORD{kAllOnes}, DWORD{SCARD_AUTOALLOCATE}}) {
        EXPECT_EQ(SCardControl_WIN(0xCA7D, 1, buffer, 1, buffer, capacity, &returned),
                  SCARD_E_INVALID_PARAMETER);
        DWORD length = capacity;
        EXPECT_EQ(SCardGetAttrib_WIN(0xCA7D, SCARD_ATTR_VENDOR_NAME, buffer, &length),
                  SCARD_E_INVALID_PARAMETER);
        length = capacity;
        EXPECT_EQ(SCardGetCardTypeProviderName_WIN(0x1C0, "card", 1, names, &length),
                  SCARD_E_INVALID_PARAMETER);
    }
    EXPECT_EQ(fakepcsc::calls().size(), before);
}

TEST(CheckSum, XorOfExactlyTheCountedBytes) {
    const uint8_t abc[] = {0x61, 0x62, 0x63};
    EXPECT_EQ(CheckSum_WIN(3, abc), 0x60);
    EXPECT_EQ(CheckSum_WIN(2, abc), 0x03);
    EXPECT_EQ(CheckSum_WIN(1, abc), 0x61); // one byte is its own checksum
    EXPECT_EQ(CheckSum_WIN(0, abc), 0x00); // nothing is read
    EXPECT_EQ(CheckSum_WIN(0, nullptr), 0x00);
    EXPECT_EQ(CheckSum_WIN(5, nullptr), 0x00);
}

} // namespace
