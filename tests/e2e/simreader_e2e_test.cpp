// SPDX-License-Identifier: BSD-3-Clause
// The simulated readers as any PC/SC client sees them: through libpcsclite and the
// private pcscd, never by calling the driver.
#include "apdu_card.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <PCSC/reader.h>

#include <thread>

using namespace simtest;

namespace {

const Bytes kLedCommand{0xFF, 0xE1, 0x02, 0x01, 0x0C, 0xA0, 0xFC, 0x9E, 0xA0,
                        0xFD, 0x0A, 0xA0, 0xFE, 0x05, 0xA0, 0xFF, 0x03};
const Bytes kGetChallenge{0x00, 0x84, 0x00, 0x00, 0x08};

class SimReaders : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_context.result(), SCARD_S_SUCCESS);
        restoreDefaultCards();
    }

    std::string name(const std::string& configured) {
        return pcscName(m_context.get(), configured);
    }

    // Connects; fails the test when pcscd refuses.
    SCARDHANDLE connect(const std::string& configured, DWORD share, DWORD protocols,
                        DWORD* active = nullptr) {
        SCARDHANDLE card = 0;
        DWORD protocol = 0;
        const LONG rv = SCardConnect(m_context.get(), name(configured).c_str(), share, protocols,
                                     &card, &protocol);
        EXPECT_EQ(rv, SCARD_S_SUCCESS) << configured << ": " << pcsc_stringify_error(rv);
        if (active) {
            *active = protocol;
        }
        return card;
    }

    // Connects to a card that was powered down first, so that pcscd negotiates afresh: a
    // powered card keeps the protocol of its first connection.
    SCARDHANDLE connectFresh(const std::string& configured, DWORD protocols, DWORD* active) {
        SCardDisconnect(connect(configured, SCARD_SHARE_DIRECT, 0), SCARD_UNPOWER_CARD);
        return connect(configured, SCARD_SHARE_SHARED, protocols, active);
    }

    LONG transmit(SCARDHANDLE card, DWORD protocol, const Bytes& command, Bytes& answer) {
        const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
        answer.assign(300, 0);
        DWORD length = static_cast<DWORD>(answer.size());
        const LONG rv = SCardTransmit(card, pci, command.data(), static_cast<DWORD>(command.size()),
                                      nullptr, answer.data(), &length);
        answer.resize(rv == SCARD_S_SUCCESS ? length : 0);
        return rv;
    }

    Bytes atrOf(SCARDHANDLE card) {
        Bytes atr(MAX_ATR_SIZE);
        DWORD atrLength = MAX_ATR_SIZE, state = 0, protocol = 0, nameLength = 0;
        EXPECT_EQ(
            SCardStatus(card, nullptr, &nameLength, &state, &protocol, atr.data(), &atrLength),
            SCARD_S_SUCCESS);
        atr.resize(atrLength);
        return atr;
    }

    Context m_context;
};

TEST_F(SimReaders, ListsReadersUnderTheNamesPcscdForms) {
    EXPECT_EQ(listReaders(m_context.get()),
              (std::vector<std::string>{"KALDOR TR-100 00 00", "KALDOR RF-9000 01 00",
                                        "Generic Reader 02 00"}));
}

TEST_F(SimReaders, CardsAnswerWithTheirAtrsAndProtocols) {
    // The contact card runs either protocol its ATR offers; the contactless one only T=1.
    DWORD protocol = 0;
    for (DWORD wanted : {SCARD_PROTOCOL_T0, SCARD_PROTOCOL_T1}) {
        SCARDHANDLE contact = connectFresh(kContactReader, wanted, &protocol);
        EXPECT_EQ(hex(atrOf(contact)), "3B 88 80 31 FE 45 80 31 C0 73 C8 21 10 01 78");
        EXPECT_EQ(protocol, wanted);
        SCardDisconnect(contact, SCARD_LEAVE_CARD);
    }
    SCARDHANDLE contactless =
        connectFresh(kContactlessReader, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &protocol);
    EXPECT_EQ(hex(atrOf(contactless)), "3B 88 80 01 80 31 C0 73 C8 21 10 01 F3");
    EXPECT_EQ(protocol, DWORD{SCARD_PROTOCOL_T1});
    SCardDisconnect(contactless, SCARD_UNPOWER_CARD);
    SCARDHANDLE refused = 0;
    EXPECT_NE(SCardConnect(m_context.get(), name(kContactlessReader).c_str(), SCARD_SHARE_SHARED,
                           SCARD_PROTOCOL_T0, &refused, &protocol),
              SCARD_S_SUCCESS);
}

TEST_F(SimReaders, ConnectsInSharedExclusiveAndDirectMode) {
    const DWORD both = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
    SCARDHANDLE shared1 = connect(kContactReader, SCARD_SHARE_SHARED, both);
    SCARDHANDLE shared2 = connect(kContactReader, SCARD_SHARE_SHARED, both);
    SCARDHANDLE refused = 0;
    DWORD protocol = 0;
    EXPECT_EQ(SCardConnect(m_context.get(), name(kContactReader).c_str(), SCARD_SHARE_EXCLUSIVE,
                           both, &refused, &protocol),
              SCARD_E_SHARING_VIOLATION);
    SCardDisconnect(shared1, SCARD_LEAVE_CARD);
    SCardDisconnect(shared2, SCARD_LEAVE_CARD);

    DWORD exclusiveProtocol = 0;
    SCARDHANDLE exclusive =
        connect(kContactReader, SCARD_SHARE_EXCLUSIVE, both, &exclusiveProtocol);
    EXPECT_EQ(SCardConnect(m_context.get(), name(kContactReader).c_str(), SCARD_SHARE_SHARED, both,
                           &refused, &protocol),
              SCARD_E_SHARING_VIOLATION);
    Bytes answer;
    EXPECT_EQ(transmit(exclusive, exclusiveProtocol, kGetChallenge, answer), SCARD_S_SUCCESS);
    SCardDisconnect(exclusive, SCARD_LEAVE_CARD);

    // Direct mode reaches the reader itself, with or without a card.
    for (const auto& reader : {kContactReader, kEmptyReader}) {
        SCARDHANDLE direct = connect(reader, SCARD_SHARE_DIRECT, 0, &protocol);
        EXPECT_EQ(SCardDisconnect(direct, SCARD_LEAVE_CARD), SCARD_S_SUCCESS) << reader;
    }
    // Without a card there is nothing to share.
    EXPECT_EQ(SCardConnect(m_context.get(), name(kEmptyReader).c_str(), SCARD_SHARE_SHARED, both,
                           &refused, &protocol),
              SCARD_E_NO_SMARTCARD);
}

struct ApduCase {
    Bytes command;
    uint16_t status;
    std::size_t dataLength;
};

TEST_F(SimReaders, ProcessorCardsAnswerApdusWithTheirStatusWords) {
    const auto aid = simreader::apduApplicationAid();
    Bytes selectAid{0x00, 0xA4, 0x04, 0x00, static_cast<uint8_t>(aid.size())};
    selectAid.insert(selectAid.end(), aid.begin(), aid.end());
    const std::vector<ApduCase> cases{
        {selectAid, 0x9000, 0},
        {{0x00, 0xA4, 0x04, 0x00, 0x05, 0xA0, 0x00, 0x00, 0x00, 0x99}, 0x6A82, 0},
        {{0x00, 0xA4, 0x00, 0x0C, 0x02, 0x2F, 0x02}, 0x9000, 0},
        {{0x00, 0xB0, 0x00, 0x00, 0x10}, 0x9000, 16}, // the EF just selected
        {{0x00, 0xB0, 0x81, 0x04, 0x08}, 0x9000, 8},  // by short file identifier
        {{0x00, 0xA4, 0x00, 0x0C, 0x02, 0x12, 0x34}, 0x6A82, 0},
        {kGetChallenge, 0x9000, 8},
        {{0x00, 0x84, 0x00, 0x00}, 0x6700, 0},
        {{0x00, 0xA4, 0x04, 0x00, 0x08, 0xF0}, 0x6700, 0}, // Lc says more than comes
        {{0x00, 0x12, 0x00, 0x00}, 0x6D00, 0},
        {{0x90, 0x84, 0x00, 0x00, 0x08}, 0x6E00, 0},
        {{0x80, 0x84, 0x00, 0x00, 0x08}, 0x6D00, 0}, // our own class, not our command
        {{0x80, 0x10, 0x00, 0x00}, 0x6120, 0},       // the identity kept for GET RESPONSE
        {{0x00, 0xC0, 0x00, 0x00, 0x20}, 0x9000, 32},
    };
    for (const auto& [reader, protocols] :
         std::vector<std::pair<std::string, DWORD>>{{kContactReader, SCARD_PROTOCOL_T0},
                                                    {kContactReader, SCARD_PROTOCOL_T1},
                                                    {kContactlessReader, SCARD_PROTOCOL_T1}}) {
        DWORD protocol = 0;
        SCARDHANDLE card = connectFresh(reader, protocols, &protocol);
        ASSERT_EQ(protocol, protocols);
        for (const auto& c : cases) {
            Bytes answer;
            ASSERT_EQ(transmit(card, protocol, c.command, answer), SCARD_S_SUCCESS)
                << hex(c.command);
            EXPECT_EQ(statusWord(answer), c.status) << reader << " " << hex(c.command);
            EXPECT_EQ(answer.size(), c.dataLength + 2) << reader << " " << hex(c.command);
        }
        Bytes first, second;
        transmit(card, protocol, kGetChallenge, first);
        transmit(card, protocol, kGetChallenge, second);
        EXPECT_NE(first, second) << "challenges repeat";
        SCardDisconnect(card, SCARD_LEAVE_CARD);
    }
}

TEST_F(SimReaders, LedAndBuzzerCommandByControlCodeWithoutACard) {
    SCARDHANDLE direct = connect(kEmptyReader, SCARD_SHARE_DIRECT, 0);
    Bytes answer(64);
    DWORD returned = 0;
    ASSERT_EQ(SCardControl(direct, SCARD_CTL_CODE(3500), kLedCommand.data(),
                           static_cast<DWORD>(kLedCommand.size()), answer.data(),
                           static_cast<DWORD>(answer.size()), &returned),
              SCARD_S_SUCCESS);
    answer.resize(returned);
    EXPECT_EQ(hex(answer), "90 00");
    auto shown = readerStatus(kEmptyReader);
    // Control byte 9E: red and blue LEDs, blinking, buzzer on, "Tone 3".
    EXPECT_EQ(shown["blue"], "on");
    EXPECT_EQ(shown["yellow"], "off");
    EXPECT_EQ(shown["green"], "off");
    EXPECT_EQ(shown["red"], "on");
    EXPECT_EQ(shown["mode"], "blinking");
    EXPECT_EQ(shown["buzzer"], "on");
    EXPECT_EQ(shown["tone"], "3");
    EXPECT_EQ(shown["on"], "10");
    EXPECT_EQ(shown["off"], "5");
    EXPECT_EQ(shown["repetitions"], "3");

    // A malformed command gets an error status word and leaves the LEDs as they were.
    Bytes truncated(kLedCommand.begin(), kLedCommand.end() - 1);
    answer.assign(64, 0);
    ASSERT_EQ(SCardControl(direct, SCARD_CTL_CODE(3500), truncated.data(),
                           static_cast<DWORD>(truncated.size()), answer.data(),
                           static_cast<DWORD>(answer.size()), &returned),
              SCARD_S_SUCCESS);
    answer.resize(returned);
    EXPECT_EQ(hex(answer), "67 00");
    EXPECT_EQ(readerStatus(kEmptyReader)["red"], "on");

    // Control codes outside the reader's set are not supported.
    answer.assign(64, 0);
    EXPECT_EQ(SCardControl(direct, SCARD_CTL_CODE(3501), kLedCommand.data(),
                           static_cast<DWORD>(kLedCommand.size()), answer.data(),
                           static_cast<DWORD>(answer.size()), &returned),
              SCARD_E_UNSUPPORTED_FEATURE);
    SCardDisconnect(direct, SCARD_LEAVE_CARD);
}

TEST_F(SimReaders, LedAndBuzzerCommandAsApduGoesToTheReader) {
    Bytes steady = kLedCommand;
    steady[7] = 0x41; // green LED, steady, buzzer off, "Tone 2"
    DWORD protocol = 0;
    SCARDHANDLE card =
        connect(kContactlessReader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &protocol);
    Bytes answer;
    ASSERT_EQ(transmit(card, protocol, steady, answer), SCARD_S_SUCCESS);
    EXPECT_EQ(hex(answer), "90 00"); // the card would have said 6E 00 to class FF
    auto shown = readerStatus(kContactlessReader);
    EXPECT_EQ(shown["green"], "on");
    EXPECT_EQ(shown["blue"], "off");
    EXPECT_EQ(shown["mode"], "steady");
    EXPECT_EQ(shown["buzzer"], "off");
    EXPECT_EQ(shown["tone"], "2");
    SCardDisconnect(card, SCARD_LEAVE_CARD);
}

TEST_F(SimReaders, InsertAndRemoveAreSeenThroughStatusChanges) {
    const std::string reader = name(kEmptyReader);
    for (const char* type : {"apdu", "apdu-cl"}) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(simCtl({"insert", kEmptyReader, type}), 0);
        ASSERT_TRUE(waitForCard(m_context.get(), reader, true, std::chrono::seconds(1))) << type;
        ASSERT_EQ(simCtl({"remove", kEmptyReader}), 0);
        ASSERT_TRUE(waitForCard(m_context.get(), reader, false, std::chrono::seconds(1))) << type;
        std::printf("insert and remove of %s seen after %lld ms\n", type,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - start)
                                               .count()));
    }
    std::string output;
    EXPECT_NE(simCtl({"insert", "No Such Reader", "apdu"}, &output), 0);
    EXPECT_NE(output.find("KALDOR TR-100"), std::string::npos) << output;
    EXPECT_NE(simCtl({"insert", kEmptyReader, "floppy"}, &output), 0);
    EXPECT_NE(output.find("apdu-cl"), std::string::npos) << output;
}

TEST_F(SimReaders, RemovedCardEndsTheConnection) {
    DWORD protocol = 0;
    SCARDHANDLE card = connect(kContactReader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &protocol);
    ASSERT_EQ(simCtl({"remove", kContactReader}), 0);
    ASSERT_TRUE(waitForCard(m_context.get(), name(kContactReader), false));
    Bytes answer;
    EXPECT_EQ(transmit(card, protocol, kGetChallenge, answer), SCARD_W_REMOVED_CARD);
    SCardDisconnect(card, SCARD_LEAVE_CARD);
}

TEST_F(SimReaders, SwappedCardIsSeenAsRemovedAndInserted) {
    DWORD protocol = 0;
    SCARDHANDLE card = connect(kContactReader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &protocol);
    ASSERT_EQ(simCtl({"insert", kContactReader, "apdu-cl"}), 0);
    ASSERT_TRUE(waitForCard(m_context.get(), name(kContactReader), false));
    ASSERT_TRUE(waitForCard(m_context.get(), name(kContactReader), true));
    Bytes answer;
    EXPECT_EQ(transmit(card, protocol, kGetChallenge, answer), SCARD_W_REMOVED_CARD);
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    card = connect(kContactReader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &protocol);
    EXPECT_EQ(hex(atrOf(card)), "3B 88 80 01 80 31 C0 73 C8 21 10 01 F3");
    SCardDisconnect(card, SCARD_LEAVE_CARD);
}

} // namespace
