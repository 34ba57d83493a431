// SPDX-License-Identifier: BSD-3-Clause
// The distance test over a recording window and the fake service.
#include "fake_pcsc.h"
#include "recording_views.h"

#include <gtest/gtest.h>

using namespace tessary;

namespace {

const std::string kAtr = "ATR: 3B 02 14 50 ";

class Distance : public ::testing::Test {
protected:
    void SetUp() override {
        fakepcsc::reset();
        fakepcsc::script().readers = {"KALDOR TR-100 00 00", "Generic Reader 02 00"};
        fakepcsc::script().atr = {0x3B, 0x02, 0x14, 0x50};
        connection.FormCreate();
        connection.ReaderDetectFunc();
        connect();
    }
    void TearDown() override {
        connection.FormClose();
        fakepcsc::reset();
    }
    // Connected to the first reader, its ATR line alone in the log, as before a tick.
    void connect() {
        fakepcsc::script().results.clear();
        window.index = 0;
        connection.LinkReader();
        ASSERT_NE(connection.card(), 0u);
        fakepcsc::calls().clear();
        window.log = {kAtr};
        window.status.clear();
        window.cardTimer = true;
    }

    RecordingWindow window;
    ReaderConnection connection{window};
    CardDetect detect{window, connection};
};

TEST_F(Distance, EachTickReconnectsWhileTickedAndSaysWhetherTheCardIsInRange) {
    struct Case {
        const char* what;
        bool ticked, open;
        int reader, connectMode;
        LONG connect;
        const char* connected; // the reader connected to; nullptr when no attempt
        DWORD shareMode;
        bool timer;
        const char* status;
        std::size_t atrLines;
    };
    const char* first = "KALDOR TR-100 00 00";
    const Case cases[] = {
        {"in range: the ATR lines stack", true, true, 0, 1, SCARD_S_SUCCESS, first,
         SCARD_SHARE_EXCLUSIVE, true, "Initial Reader Successed", 2},
        {"in range, direct", true, true, 0, 2, SCARD_S_SUCCESS, first, SCARD_SHARE_DIRECT, true,
         "Initial Reader Successed", 2},
        {"out of range: the log is emptied", true, true, 0, 1, SCARD_E_NO_SMARTCARD, first,
         SCARD_SHARE_EXCLUSIVE, true, "Card Detecting...", 0},
        // Only a selection checks the reader's name.
        {"an unsupported reader", true, true, 1, 1, SCARD_S_SUCCESS, "Generic Reader 02 00",
         SCARD_SHARE_EXCLUSIVE, true, "Initial Reader Successed", 2},
        {"unticked: the test ends, the connection stays", false, true, 0, 1, SCARD_S_SUCCESS,
         nullptr, 0, false, "", 1},
        {"the window closed", true, false, 0, 1, SCARD_S_SUCCESS, nullptr, 0, false, "", 1},
        {"text typed over the selector", true, true, -1, 1, SCARD_S_SUCCESS, nullptr, 0, true, "",
         1},
    };
    for (const auto& c : cases) {
        connect();
        window.cardDetect = c.ticked;
        window.open = c.open;
        window.index = c.reader;
        window.connectMode = c.connectMode;
        fakepcsc::script().results["SCardConnect"] = c.connect;
        detect.Timer_CardDetectTimer();
        const auto connects = fakepcsc::callsOf("SCardConnect");
        ASSERT_EQ(connects.size(), c.connected ? 1u : 0u) << c.what;
        if (c.connected != nullptr) {
            EXPECT_EQ(connects[0].text, c.connected) << c.what;
            EXPECT_EQ(connects[0].args[1], c.shareMode) << c.what;
        }
        // The old connection is closed first; a failure asks nothing more of the service,
        // so that the attempts keep their pace.
        EXPECT_EQ(fakepcsc::callsOf("SCardDisconnect").size(), c.connected ? 1u : 0u) << c.what;
        EXPECT_EQ(fakepcsc::callsOf("SCardListReaders").size(), 0u) << c.what;
        EXPECT_EQ(window.cardTimer, c.timer) << c.what;
        EXPECT_EQ(window.status, c.status) << c.what;
        EXPECT_EQ(window.log, std::vector<std::string>(c.atrLines, kAtr)) << c.what;
        EXPECT_TRUE(window.messages.empty()) << c.what;
    }
}

TEST_F(Distance, TheBoxOnlyLocksTheInputAndUntickingSaysHowToStart) {
    for (const bool ticked : {true, false}) {
        window.cardTimer = false;
        window.cardDetect = ticked;
        detect.CB_CardDetectClick();
        EXPECT_EQ(window.inputEnabled, !ticked);
        EXPECT_EQ(window.status, ticked ? "" : "Select Reader To Start Please.");
        // Neither the timer nor the connection: a selection starts the test.
        EXPECT_FALSE(window.cardTimer);
        EXPECT_TRUE(fakepcsc::calls().empty());
    }
}

TEST_F(Distance, AttemptsNeverNest) {
    window.cardDetect = true;
    int nested = 0;
    window.pending = [&] {
        if (nested++ == 0) {
            detect.Timer_CardDetectTimer();
        }
    };
    detect.Timer_CardDetectTimer();
    EXPECT_EQ(fakepcsc::callsOf("SCardConnect").size(), 1u);
    EXPECT_FALSE(detect.attempting());
    EXPECT_EQ(window.log, (std::vector<std::string>{kAtr, kAtr}));
}

} // namespace
