// SPDX-License-Identifier: BSD-3-Clause
// Eleven simulated readers served by one loaded driver, each with a state of its own.
#include "prolvak.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <PCSC/reader.h>

using namespace simtest;

TEST(ElevenReaders, AllAreListedWithTheirOwnCards) {
    Context context;
    ASSERT_EQ(context.result(), SCARD_S_SUCCESS);
    const auto names = listReaders(context.get());
    ASSERT_EQ(names.size(), 11u);
    std::vector<SCARD_READERSTATE> states(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "Sim Reader %zu %02zX 00", i + 1, i);
        EXPECT_EQ(names[i], expected);
        states[i].szReader = names[i].c_str();
        states[i].dwCurrentState = SCARD_STATE_UNAWARE;
    }
    ASSERT_EQ(
        SCardGetStatusChange(context.get(), 0, states.data(), static_cast<DWORD>(states.size())),
        SCARD_S_SUCCESS);
    for (std::size_t i = 0; i < states.size(); ++i) {
        const bool withCard = i == 0 || i == 1 || i == 10;
        EXPECT_EQ((states[i].dwEventState & SCARD_STATE_PRESENT) != 0, withCard) << names[i];
    }
    EXPECT_EQ(states[10].cbAtr, states[0].cbAtr);

    // The last reader's LEDs are its own.
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    ASSERT_EQ(
        SCardConnect(context.get(), names[10].c_str(), SCARD_SHARE_DIRECT, 0, &card, &protocol),
        SCARD_S_SUCCESS);
    const std::vector<uint8_t> led{0xFF, 0xE1, 0x02, 0x01, 0x0C, 0xA0, 0xFC, 0x80, 0xA0,
                                   0xFD, 0x01, 0xA0, 0xFE, 0x01, 0xA0, 0xFF, 0x01};
    uint8_t answer[8];
    DWORD returned = 0;
    ASSERT_EQ(SCardControl(card, SCARD_CTL_CODE(3500), led.data(), static_cast<DWORD>(led.size()),
                           answer, sizeof answer, &returned),
              SCARD_S_SUCCESS);
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    EXPECT_EQ(readerStatus("Sim Reader 11")["red"], "on");
    EXPECT_EQ(readerStatus("Sim Reader 1")["red"], "off");
}

TEST(ElevenReaders, TheAccessLibraryListsTheFirstTen) {
    SCARDCONTEXT context = 0;
    ASSERT_EQ(InitLibrary_WIN(&context), KTX_SUCCESS);
    SlotInfo slots[PROLVAK_MAX_READERS] = {};
    SCARD_READERSTATE states[PROLVAK_MAX_READERS] = {};
    uint32_t count = 0;
    EXPECT_EQ(ListReader_WIN(context, slots, states, &count), KTX_SUCCESS);
    EXPECT_EQ(count, 10u);
    EXPECT_STREQ(slots[9].szReader, "Sim Reader 10 09 00");
    EXPECT_EQ(slots[0].flag, 1);
    EXPECT_EQ(slots[2].flag, 0);
    EXPECT_EQ(CloseLibrary_WIN(context), KTX_SUCCESS);
}
