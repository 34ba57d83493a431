// SPDX-License-Identifier: BSD-3-Clause
// Binding, listing, connecting and disconnecting over the fake service: what reaches the
// service, what comes back, and every failure path.
#include "prolvak_fixture.h"

#include <cstring>

namespace {

using fakepcsc::callsOf;

struct Listing {
    SlotInfo slots[PROLVAK_MAX_READERS] = {};
    SCARD_READERSTATE states[PROLVAK_MAX_READERS] = {};
    uint32_t count = 99;
    int32_t list(SCARDCONTEXT context = 0x1C0) {
        return ListReader_WIN(context, slots, states, &count);
    }
};

struct Connection {
    SCARDHANDLE card = 0;
    uint32_t protocol = 0, state = 0;
    uint8_t atr[33] = {};
    uint32_t atrLength = sizeof atr;
    int32_t connect(uint32_t share, const char* reader = "KALDOR TR-100 00 00") {
        return InitReader_WIN(0x1C0, reader, share, &card, &protocol, &state, atr, &atrLength);
    }
};

TEST_F(ProlvakTest, UnboundCallsFailWithoutReachingAService) {
    Listing listing;
    Connection connection;
    uint8_t bytes[8] = {};
    uint32_t length = 8, protocol = 0, state = 0;
    char names[8];
    DWORD returned = 0;
    EXPECT_EQ(listing.list(), KTX_PCSC_SCARDLISTREADERS_ERR);
    EXPECT_EQ(connection.connect(2), KTX_PCSC_SCARDCONNECT_ERR);
    EXPECT_EQ(GetCardStatus_WIN(1, names, &length, &protocol, &state, bytes, &length),
              KTX_PCSC_SCARDSTATUS_ERR);
    EXPECT_EQ(PcSc_SR_WIN(1, 2, 1, bytes, 8, &length, bytes), KTX_PCSC_SCARDTRANSMIT_ERR);
    EXPECT_EQ(CloseReader_WIN(1), KTX_PCSC_SCARDDISCONNECT_ERR);
    EXPECT_EQ(CloseLibrary_WIN(1), KTX_PCSC_SCARDRELEASECONTEXT_ERR);
    EXPECT_EQ(SCardControl_WIN(1, 1, bytes, 1, bytes, 8, &returned), SCARD_E_NO_SERVICE);
    EXPECT_EQ(SCardGetAttrib_WIN(1, 1, bytes, &returned), SCARD_E_NO_SERVICE);
    EXPECT_EQ(SCardSetAttrib_WIN(1, 1, bytes, 1), SCARD_E_NO_SERVICE);
    EXPECT_EQ(SCardGetCardTypeProviderName_WIN(1, "x", 1, names, &returned), SCARD_E_NO_SERVICE);
    EXPECT_TRUE(fakepcsc::calls().empty());
}

TEST_F(ProlvakTest, InitLibraryEstablishesAUserScopeContext) {
    SCARDCONTEXT context = 0;
    EXPECT_EQ(InitLibrary_WIN(&context), KTX_SUCCESS);
    EXPECT_EQ(context, 0x1C0);
    const auto establish = callsOf("SCardEstablishContext");
    ASSERT_EQ(establish.size(), 1u);
    EXPECT_EQ(establish[0].args, (std::vector<uint64_t>{SCARD_SCOPE_USER, 0, 0}));

    enableTrace();
    fakepcsc::script().results["SCardEstablishContext"] = SCARD_E_NO_SERVICE;
    EXPECT_EQ(InitLibrary_WIN(&context), KTX_PCSC_SCARDESTABLISHCONTEXT_ERR);
    EXPECT_EQ(InitLibrary_WIN(nullptr), KTX_PCSC_SCARDESTABLISHCONTEXT_ERR);
    EXPECT_EQ(callsOf("SCardEstablishContext").size(), 2u); // the null pointer never got there
    CloseLibrary_WIN(context);
    EXPECT_EQ(traceText(),
              "   0.1250000000 --- LoadLibrary WINSCARD.DLL Success\r\n"
              "   0.2500000000 --- Return KTX_PCSC_SCARDESTABLISHCONTEXT_ERR lReturn = "
              "80100004h\r\n"
              "   0.3750000000 --- CloseLibrary_WIN Enter\r\n");
}

TEST_F(ProlvakTest, ReaderNamesAreSplitAndCut) {
    struct Case {
        std::string name;
        const char* manufacturer;
        const char* description;
    };
    const std::string longName(300, 'N');
    const std::vector<Case> cases{
        {"KALDOR TR-100 0", "KALDOR", "TR-100 0"},
        {"KALDOR TR-100 00 00", "KALDOR", "TR-100 00 "},
        {"Generic Reader", "Generic", "Reader"},
        {"Solo", "Solo", ""},
        {"Trailing ", "Trailing", ""},
        {"A  B C", "A", " B "}, // two blanks in a row: the first counts as a separator
        {longName, "", ""},
    };
    fakepcsc::script().readers.clear();
    for (const auto& c : cases) {
        fakepcsc::script().readers.push_back(c.name);
    }
    init();
    Listing listing;
    ASSERT_EQ(listing.list(), KTX_SUCCESS);
    ASSERT_EQ(listing.count, cases.size());
    for (std::size_t i = 0; i + 1 < cases.size(); ++i) {
        EXPECT_STREQ(listing.slots[i].manufacturerID, cases[i].manufacturer) << cases[i].name;
        EXPECT_STREQ(listing.slots[i].slotDescription, cases[i].description) << cases[i].name;
        EXPECT_STREQ(listing.slots[i].szReader, cases[i].name.c_str());
    }
    const SlotInfo& last = listing.slots[cases.size() - 1];
    EXPECT_EQ(std::string(last.szReader), longName.substr(0, 255));
    EXPECT_EQ(std::string(last.manufacturerID), longName.substr(0, 127));
    EXPECT_EQ(fakepcsc::outstandingLists(), 0);
}

TEST_F(ProlvakTest, ListingTwiceLeavesNothingOfALongerName) {
    init();
    fakepcsc::script().readers = {"KALDOR TR-100 00 00 and a long tail"};
    Listing listing;
    ASSERT_EQ(listing.list(), KTX_SUCCESS);
    fakepcsc::script().readers = {"KALDOR R"};
    ASSERT_EQ(listing.list(), KTX_SUCCESS);
    const SlotInfo& slot = listing.slots[0];
    EXPECT_STREQ(slot.szReader, "KALDOR R");
    EXPECT_STREQ(slot.slotDescription, "R");
    for (std::size_t i = std::strlen(slot.szReader); i < sizeof slot.szReader; ++i) {
        ASSERT_EQ(slot.szReader[i], '\0') << i;
    }
    for (std::size_t i = 1; i < sizeof slot.slotDescription; ++i) {
        ASSERT_EQ(slot.slotDescription[i], '\0') << i;
    }
}

TEST_F(ProlvakTest, TenReadersAtMostWithTheirCardPresence) {
    auto& s = fakepcsc::script();
    for (int i = 0; i < 11; ++i) {
        s.readers.push_back("Reader " + std::to_string(i));
    }
    s.eventStates["Reader 3"] = SCARD_STATE_PRESENT | SCARD_STATE_CHANGED;
    s.eventStates["Reader 10"] = SCARD_STATE_PRESENT;
    init();
    enableTrace();
    init();
    Listing listing;
    for (auto& slot : listing.slots) {
        slot.flag = 7;
    }
    listing.states[0].dwEventState = 0xEEEE; // overwritten by the service
    listing.states[0].cbAtr = 5;             // a field the listing does not touch
    ASSERT_EQ(listing.list(), KTX_SUCCESS);
    EXPECT_EQ(listing.count, 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(listing.slots[i].flag, i == 3 ? 1 : 0) << i;
    }
    EXPECT_EQ(listing.states[0].cbAtr, 5u);
    const auto change = callsOf("SCardGetStatusChange");
    ASSERT_EQ(change.size(), 1u);
    EXPECT_EQ(change[0].args[1], INFINITE);
    EXPECT_EQ(change[0].args[2], 10u);
    EXPECT_EQ(change[0].args[3], SCARD_STATE_UNAWARE);
    EXPECT_EQ(change[0].text.find("Reader 10"), std::string::npos);
    const auto list = callsOf("SCardListReaders");
    EXPECT_EQ(list[0].args[1], 0u); // no group filter
    EXPECT_EQ(list[0].args[2], SCARD_AUTOALLOCATE);
    EXPECT_EQ(fakepcsc::outstandingLists(), 0);
    CloseLibrary_WIN(1);
    const std::string trace = traceText();
    EXPECT_EQ(trace.find("Reader 10"), std::string::npos);
    EXPECT_NE(trace.find("[9] szReader = Reader 9\r\n"), std::string::npos);
    EXPECT_NE(trace.find("Reader 3 => dwEventState = 22H, dwCurrentState = 0H, SlotInfo.flag = "
                         "Card Insert\r\n"),
              std::string::npos);
}

TEST_F(ProlvakTest, ListWithANameCutShortIsRefused) {
    auto& s = fakepcsc::script();
    s.readers = {"KALDOR TR-100 00 00", "Generic Reader 02 00"};
    s.reportedListLength = 10; // shorter than the list handed out: ends inside a name
    init();
    Listing listing;
    EXPECT_EQ(listing.list(), KTX_PCSC_SCARDLISTREADERS_ERR);
    EXPECT_EQ(listing.count, 0u);
    EXPECT_STREQ(listing.slots[0].szReader, "");

    // A list without its final terminators: the service would read past its own list
    // when the last name came back to it.
    s.reportedListLength.reset();
    s.unterminatedList = true;
    EXPECT_EQ(listing.list(), KTX_PCSC_SCARDLISTREADERS_ERR);
    EXPECT_TRUE(callsOf("SCardGetStatusChange").empty());
    EXPECT_EQ(fakepcsc::outstandingLists(), 0);

    // Cut right after a terminator: the names before it stand.
    s.unterminatedList = false;
    s.reportedListLength = 20;
    EXPECT_EQ(listing.list(), KTX_SUCCESS);
    EXPECT_EQ(listing.count, 1u);
}

TEST_F(ProlvakTest, ListingFailures) {
    auto& s = fakepcsc::script();
    s.readers = {"KALDOR TR-100 00 00"};
    s.eventStates["KALDOR TR-100 00 00"] = SCARD_STATE_PRESENT;
    init();
    enableTrace();
    init();
    Listing listing;
    s.results["SCardListReaders"] = SCARD_E_NO_READERS_AVAILABLE;
    EXPECT_EQ(listing.list(), KTX_PCSC_NO_READER_FOUND_ERR);
    EXPECT_EQ(listing.count, 0u);
    s.results["SCardListReaders"] = SCARD_E_NO_SERVICE;
    EXPECT_EQ(listing.list(), KTX_PCSC_SCARDLISTREADERS_ERR);
    s.results.erase("SCardListReaders");

    // The names are filled and the flags keep their former values.
    listing.slots[0].flag = 5;
    s.results["SCardGetStatusChange"] = SCARD_E_TIMEOUT;
    EXPECT_EQ(listing.list(), KTX_PCSC_SCARDGETSTATUSCHANGE_ERR);
    EXPECT_EQ(listing.count, 1u);
    EXPECT_STREQ(listing.slots[0].szReader, "KALDOR TR-100 00 00");
    EXPECT_EQ(listing.slots[0].flag, 5);
    EXPECT_EQ(fakepcsc::outstandingLists(), 0);
    s.results.erase("SCardGetStatusChange");

    s.results["SCardFreeMemory"] = SCARD_E_INVALID_HANDLE;
    EXPECT_EQ(listing.list(), SCARD_FREE_MEMORY_ERR);
    EXPECT_EQ(listing.slots[0].flag, 1);
    s.results.erase("SCardFreeMemory");

    const auto callsBefore = fakepcsc::calls().size();
    EXPECT_EQ(ListReader_WIN(1, nullptr, listing.states, &listing.count),
              KTX_PCSC_SCARDLISTREADERS_ERR);
    EXPECT_EQ(ListReader_WIN(1, listing.slots, nullptr, &listing.count),
              KTX_PCSC_SCARDLISTREADERS_ERR);
    EXPECT_EQ(ListReader_WIN(1, listing.slots, listing.states, nullptr),
              KTX_PCSC_SCARDLISTREADERS_ERR);
    EXPECT_EQ(fakepcsc::calls().size(), callsBefore);

    CloseLibrary_WIN(1);
    const std::string trace = traceText();
    // Listing failures write nothing after their "Enter" line.
    EXPECT_EQ(trace.find("lReturn"), std::string::npos);
    EXPECT_TRUE(
        trace.starts_with("   0.1250000000 --- LoadLibrary WINSCARD.DLL Success\r\n"
                          "   0.2500000000 --- Ktx_SCardEstablishContext Return KTX_SUCCESS\r\n"
                          "   0.3750000000 --- ListReader_WIN Enter\r\n"
                          "   0.5000000000 --- ListReader_WIN Enter\r\n"
                          "   0.6250000000 --- ListReader_WIN Enter\r\n"
                          "   0.7500000000 --- [0] manufacturerID = KALDOR\r\n"))
        << trace;
}

TEST_F(ProlvakTest, ShareModesAndTheirPreferredProtocols) {
    init();
    enableTrace();
    init();
    for (uint32_t share : {1u, 2u, 3u, 7u}) {
        Connection connection;
        EXPECT_EQ(connection.connect(share), KTX_SUCCESS) << share;
        EXPECT_EQ(connection.card, 0xCA7Du);
    }
    const auto connects = callsOf("SCardConnect");
    ASSERT_EQ(connects.size(), 4u);
    const std::vector<std::pair<uint64_t, uint64_t>> expected{{1, 3}, {2, 3}, {3, 0}, {7, 3}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(connects[i].args[1], expected[i].first);
        EXPECT_EQ(connects[i].args[2], expected[i].second);
        EXPECT_EQ(connects[i].text, "KALDOR TR-100 00 00");
    }
    // The status query gets the library's own 200-character names buffer and the room for
    // the caller's ATR.
    const auto status = callsOf("SCardStatus");
    EXPECT_EQ(status[0].args[1], 200u);
    EXPECT_EQ(status[0].args[2], 33u);
    EXPECT_EQ(status[0].args[4], 0u);
    CloseLibrary_WIN(1);
    const std::string trace = traceText();
    EXPECT_NE(trace.find("--- Call Ktx_SCardConnect, SCARD_SHARE_DIRECT\r\n"), std::string::npos)
        << trace;
    EXPECT_NE(trace.find("--- Active protocol = SCARD_PROTOCOL_UNDEFINED  or unknown\r\n"),
              std::string::npos);
    EXPECT_NE(trace.find("--- Call Ktx_SCardConnect, Share or Excusive\r\n"), std::string::npos);
}

TEST_F(ProlvakTest, ActiveProtocolAndCardStateAreTracedByName) {
    struct Case {
        DWORD protocol;
        DWORD state;
        const char* protocolLine;
        const char* stateName;
    };
    const Case cases[] = {
        {SCARD_PROTOCOL_T0, SCARD_PRESENT, "SCARD_PROTOCOL_T0\r\n", "SCARD_PRESENT"},
        {SCARD_PROTOCOL_T1, 0x20034, "SCARD_PROTOCOL_T1\r\n", "SCARD_NEGOTIABLE"},
        {SCARD_PROTOCOL_RAW, SCARD_ABSENT, "SCARD_PROTOCOL_UNDEFINED  or unknown\r\n",
         "SCARD_ABSENT"},
        {SCARD_PROTOCOL_T1, SCARD_SPECIFIC | SCARD_POWERED, "SCARD_PROTOCOL_T1\r\n",
         "SCARD_SPECIFIC"},
        {SCARD_PROTOCOL_T1, SCARD_SWALLOWED, "SCARD_PROTOCOL_T1\r\n", "SCARD_SWALLOWED"},
        {SCARD_PROTOCOL_T1, SCARD_UNKNOWN | 0x30000, "SCARD_PROTOCOL_T1\r\n", "unknown Card State"},
    };
    for (const auto& c : cases) {
        fakepcsc::script().activeProtocol = c.protocol;
        fakepcsc::script().cardState = c.state;
        enableTrace();
        init();
        Connection connection;
        ASSERT_EQ(connection.connect(2), KTX_SUCCESS);
        EXPECT_EQ(connection.protocol, c.protocol);
        EXPECT_EQ(connection.state, c.state); // the platform's value, unchanged
        CloseLibrary_WIN(1);
        const std::string trace = traceText();
        EXPECT_NE(trace.find(std::string("Active protocol = ") + c.protocolLine), std::string::npos)
            << trace;
        EXPECT_NE(
            trace.find(std::string("Ktx_SCardStatus Return KTX_SUCCESS, ") + c.stateName + "\r\n"),
            std::string::npos)
            << trace;
    }
}

TEST_F(ProlvakTest, ShortWrappedAtrIsUnwrapped) {
    struct Case {
        fakepcsc::Bytes atr;
        fakepcsc::Bytes expected;
    };
    const Case cases[] = {
        {{0x3B, 0x64, 0x00, 0x00, 0xA2, 0x13, 0x10, 0x91}, {0xA2, 0x13, 0x10, 0x91}},
        {{0x3B, 0x64, 0x00, 0x01, 0xA2, 0x13, 0x10, 0x91},
         {0x3B, 0x64, 0x00, 0x01, 0xA2, 0x13, 0x10, 0x91}},
        {{0x3B, 0x64, 0x00, 0x00, 0xA2, 0x13, 0x10, 0x91, 0x00},
         {0x3B, 0x64, 0x00, 0x00, 0xA2, 0x13, 0x10, 0x91, 0x00}},
    };
    init();
    for (const auto& c : cases) {
        fakepcsc::script().atr = c.atr;
        Connection connection;
        ASSERT_EQ(connection.connect(2), KTX_SUCCESS);
        EXPECT_EQ(fakepcsc::Bytes(connection.atr, connection.atr + connection.atrLength),
                  c.expected);
        if (c.expected.size() == 4) {
            // Bytes 4 to 7 keep their values.
            EXPECT_EQ(fakepcsc::Bytes(connection.atr + 4, connection.atr + 8),
                      (fakepcsc::Bytes{0xA2, 0x13, 0x10, 0x91}));
        }
    }
    // An ATR that does not fit the caller's room fails the status query; one that the
    // service claims is longer than the room is cut to it.
    fakepcsc::script().atr = fakepcsc::Bytes(20, 0x3B);
    Connection small;
    small.atrLength = 8;
    EXPECT_EQ(small.connect(2), KTX_PCSC_SCARDSTATUS_ERR);
    fakepcsc::script().atr = {0x3B, 0x64, 0x00, 0x00, 0xA2, 0x13, 0x10, 0x91};
    fakepcsc::script().reportedAtrLength = 40;
    Connection liar;
    EXPECT_EQ(liar.connect(2), KTX_SUCCESS);
    EXPECT_EQ(liar.atrLength, 33u);
}

TEST_F(ProlvakTest, ConnectionFailures) {
    init();
    enableTrace();
    init();
    auto& s = fakepcsc::script();
    s.results["SCardConnect"] = SCARD_E_SHARING_VIOLATION;
    s.writeOnFailure = true;
    Connection refused;
    EXPECT_EQ(refused.connect(1), KTX_PCSC_SCARDCONNECT_ERR);
    EXPECT_EQ(refused.card, 0xCA7Du); // what the service wrote stays in the caller's variable
    s.results.erase("SCardConnect");

    s.results["SCardStatus"] = SCARD_E_NOT_TRANSACTED;
    Connection unsure;
    EXPECT_EQ(unsure.connect(2), KTX_PCSC_SCARDSTATUS_ERR);
    EXPECT_EQ(unsure.card, 0xCA7Du); // still connected; the caller closes it
    EXPECT_TRUE(callsOf("SCardDisconnect").empty());

    Connection nulls;
    const auto before = fakepcsc::calls().size();
    EXPECT_EQ(InitReader_WIN(1, nullptr, 2, &nulls.card, &nulls.protocol, &nulls.state, nulls.atr,
                             &nulls.atrLength),
              KTX_PCSC_SCARDCONNECT_ERR);
    EXPECT_EQ(InitReader_WIN(1, "r", 2, &nulls.card, &nulls.protocol, &nulls.state, nullptr,
                             &nulls.atrLength),
              KTX_PCSC_SCARDCONNECT_ERR);
    EXPECT_EQ(InitReader_WIN(1, "r", 2, nullptr, &nulls.protocol, &nulls.state, nulls.atr,
                             &nulls.atrLength),
              KTX_PCSC_SCARDCONNECT_ERR);
    EXPECT_EQ(fakepcsc::calls().size(), before);

    s.results["SCardDisconnect"] = SCARD_E_INVALID_HANDLE;
    EXPECT_EQ(CloseReader_WIN(0xCA7D), KTX_PCSC_SCARDDISCONNECT_ERR);
    s.results["SCardReleaseContext"] = SCARD_E_INVALID_HANDLE;
    EXPECT_EQ(CloseLibrary_WIN(0x1C0), KTX_PCSC_SCARDRELEASECONTEXT_ERR);
    EXPECT_EQ(callsOf("SCardDisconnect")[0].args,
              (std::vector<uint64_t>{0xCA7D, SCARD_LEAVE_CARD}));

    const std::string trace = traceText();
    EXPECT_NE(trace.find("--- Return KTX_PCSC_SCARDCONNECT_ERR lReturn = 8010000Bh\r\n"),
              std::string::npos);
    EXPECT_NE(trace.find("--- Return KTX_PCSC_SCARDSTATUS_ERR lReturn = 80100016h\r\n"),
              std::string::npos);
    EXPECT_NE(trace.find("--- Return KTX_PCSC_SCARDDISCONNECT_ERR lReturn = 80100003h\r\n"),
              std::string::npos);
    // The release's result is not traced: the close line is the last.
    EXPECT_TRUE(trace.ends_with("--- CloseLibrary_WIN Enter\r\n"));
}

TEST_F(ProlvakTest, CardStatusOfAPulledOutCardSucceeds) {
    init();
    enableTrace();
    init();
    char names[64];
    uint32_t namesLength = sizeof names, protocol = 9, state = 9, atrLength = 33;
    uint8_t atr[33];
    fakepcsc::script().cardState = SCARD_POWERED;
    fakepcsc::script().activeProtocol = SCARD_PROTOCOL_T0;
    EXPECT_EQ(GetCardStatus_WIN(0xCA7D, names, &namesLength, &protocol, &state, atr, &atrLength),
              KTX_SUCCESS);
    EXPECT_EQ(protocol, SCARD_PROTOCOL_T0); // fourth argument: protocol, fifth: state
    EXPECT_EQ(state, SCARD_POWERED);
    EXPECT_EQ(atrLength, 15u);
    EXPECT_EQ(callsOf("SCardStatus")[0].args[1], 64u);

    fakepcsc::script().results["SCardStatus"] = SCARD_W_REMOVED_CARD;
    EXPECT_EQ(GetCardStatus_WIN(0xCA7D, names, &namesLength, &protocol, &state, atr, &atrLength),
              KTX_SUCCESS);
    fakepcsc::script().results["SCardStatus"] = SCARD_E_INVALID_HANDLE;
    EXPECT_EQ(GetCardStatus_WIN(0xCA7D, names, &namesLength, &protocol, &state, atr, &atrLength),
              KTX_PCSC_SCARDSTATUS_ERR);
    EXPECT_EQ(GetCardStatus_WIN(0xCA7D, names, &namesLength, nullptr, &state, atr, &atrLength),
              KTX_PCSC_SCARDSTATUS_ERR);
    EXPECT_EQ(callsOf("SCardStatus").size(), 3u);
    CloseLibrary_WIN(1);
    EXPECT_EQ(traceText().substr(traceText().find("   0.5000000000")),
              "   0.5000000000 --- GetCardStatus_WIN Return KTX_SUCCESS, SCARD_POWERED\r\n"
              "   0.6250000000 --- GetCardStatus_WIN Enter\r\n"
              "   0.7500000000 --- SCardStatus Return SCARD_W_REMOVED_CARD\r\n"
              "   0.8750000000 --- GetCardStatus_WIN Enter\r\n"
              "   1.0000000000 --- Return KTX_PCSC_SCARDSTATUS_ERR lReturn = 80100003h\r\n"
              "   1.1250000000 --- GetCardStatus_WIN Enter\r\n"
              "   1.2500000000 --- Return KTX_PCSC_SCARDSTATUS_ERR lReturn = 80100004h\r\n"
              "   1.3750000000 --- CloseLibrary_WIN Enter\r\n");
}

} // namespace
