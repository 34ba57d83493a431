// SPDX-License-Identifier: BSD-3-Clause
// The reader connection's rules, and its steps over a recording view and the fake service.
#include "fake_pcsc.h"
#include "reader_connection.h"
#include "recording_views.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace tessary;

namespace {

TEST(SupportedReaders, BytewisePrefixesOfTheNonEmptySlots) {
    const auto table = MakeSupportedReaders("");
    EXPECT_TRUE(IsSupportedReader("KALDOR TR-100 0", table));
    EXPECT_TRUE(IsSupportedReader("KALDOR RF-9000 01 00", table));
    EXPECT_FALSE(IsSupportedReader("KALDOR TR-10", table)); // shorter than the slot
    EXPECT_FALSE(IsSupportedReader("kaldor tr-100 0", table));
    EXPECT_FALSE(IsSupportedReader("", table)); // the empty third slot matches nothing
    EXPECT_FALSE(IsSupportedReader(" KALDOR TR-100", table));
    const auto extra = MakeSupportedReaders("Generic Reader ");
    EXPECT_TRUE(IsSupportedReader("Generic Reader 02 00", extra));
    EXPECT_FALSE(IsSupportedReader("Generic Reader", extra)); // its trailing blank counts
}

TEST(ReaderNameFile, FirstLineWithoutItsEndAndAtMost126Bytes) {
    const auto file = std::filesystem::temp_directory_path() / "tessary-readername.txt";
    const std::pair<std::string, std::string> cases[] = {
        {"Generic Reader\r\nsecond line\r\n", "Generic Reader"},
        {"Generic Reader\nsecond", "Generic Reader"},
        {"Generic Reader", "Generic Reader"},
        {"Generic Reader  \r\n", "Generic Reader  "},
        {"", ""},
        {"\r\nGeneric Reader", ""},
        {"\nGeneric Reader", ""},
        {std::string(130, 'R'), std::string(126, 'R')},
        {std::string(125, 'R') + "\r\n", std::string(125, 'R')},
        {std::string(124, 'R') + "\r\n", std::string(124, 'R')},
    };
    for (const auto& [content, name] : cases) {
        std::ofstream(file, std::ios::binary) << content;
        EXPECT_EQ(LoadExtraReaderName(file.c_str()), name) << content;
    }
    std::filesystem::remove(file);
    EXPECT_EQ(LoadExtraReaderName(file.c_str()), "");

    // Only a regular file or a link to one names a reader; a FIFO is not waited on.
    const auto target = file.string() + ".target";
    std::ofstream(target, std::ios::binary) << "Generic Reader\r\n";
    std::filesystem::create_symlink(target, file);
    EXPECT_EQ(LoadExtraReaderName(file.c_str()), "Generic Reader");
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(LoadExtraReaderName(file.c_str()), "");
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    EXPECT_EQ(LoadExtraReaderName(file.c_str()), "");
    std::filesystem::remove(file);
    std::filesystem::remove(target);
}

TEST(ShareModeAndAtrLine, AsTheSelectorAndTheCardGiveThem) {
    EXPECT_EQ(GetShareMode(0), 2u);
    EXPECT_EQ(GetShareMode(1), 1u);
    EXPECT_EQ(GetShareMode(2), 3u);
    EXPECT_EQ(GetShareMode(-1), 1u);
    EXPECT_EQ(GetShareMode(3), 1u);
    const uint8_t atr[] = {0x3B, 0x02, 0x14, 0x50};
    EXPECT_EQ(FormatAtrLine(atr, 4), "ATR: 3B 02 14 50 ");
    EXPECT_EQ(FormatAtrLine(atr, 0), "ATR: ");
    const uint8_t longest[33] = {};
    EXPECT_EQ(FormatAtrLine(longest, 33).size(), 104u);
}

class ConnectionSteps : public ::testing::Test {
protected:
    void SetUp() override {
        fakepcsc::reset();
        fakepcsc::script().readers = {"KALDOR TR-100 00 00", "Generic Reader 02 00"};
        fakepcsc::script().atr = {0x3B, 0x02, 0x14, 0x50};
    }
    void TearDown() override {
        connection.FormClose();
        fakepcsc::reset();
    }
    RecordingWindow view;
    ReaderConnection connection{view};
};

TEST_F(ConnectionSteps, FromStartToConnected) {
    connection.FormCreate();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.tabsHidden);
    EXPECT_EQ(view.maxLength, "330");
    EXPECT_EQ(connection.context(), 0x1C0);

    fakepcsc::script().results["SCardListReaders"] = SCARD_E_NO_READERS_AVAILABLE;
    connection.ReaderDetectFunc();
    EXPECT_EQ(view.status, "Can not Found Smartcard Reader.");
    EXPECT_TRUE(view.readerTimer);
    fakepcsc::script().results.clear();
    connection.ReaderDetectFunc();
    EXPECT_EQ(view.status, "Select Reader To Start Please.");
    EXPECT_FALSE(view.readerTimer);
    EXPECT_EQ(view.readers,
              (std::vector<std::string>{"KALDOR TR-100 00 00", "Generic Reader 02 00"}));

    connection.ReaderComboBoxChange(); // nothing selected yet
    EXPECT_EQ(view.log.size(), 1u);
    view.pick(1);
    connection.ReaderComboBoxChange();
    EXPECT_EQ(view.status, "The Reader is not support, select another please !!!");
    EXPECT_EQ(view.log.size(), 1u);
    view.pick(0);
    view.connectMode = 2;
    connection.ReaderComboBoxChange();
    EXPECT_EQ(view.status, "Initial Reader Successed");
    EXPECT_EQ(view.log, (std::vector<std::string>{"ATR: 3B 02 14 50 "}));
    EXPECT_EQ(connection.card(), 0xCA7Du);
    const auto connects = fakepcsc::callsOf("SCardConnect");
    ASSERT_EQ(connects.size(), 1u);
    EXPECT_EQ(connects[0].args[1], 3u); // "Direct"
    EXPECT_EQ(connects[0].text, "KALDOR TR-100 00 00");

    // Choosing the same entry again disconnects and connects afresh.
    connection.ReaderComboBoxChange();
    EXPECT_EQ(fakepcsc::callsOf("SCardDisconnect").size(), 1u);
    EXPECT_EQ(fakepcsc::callsOf("SCardConnect").size(), 2u);
    EXPECT_EQ(view.log.size(), 1u);
}

TEST_F(ConnectionSteps, FailuresAreShownAndHandlesKept) {
    fakepcsc::script().results["SCardEstablishContext"] = SCARD_E_NO_SERVICE;
    connection.FormCreate();
    EXPECT_EQ(view.messages, (std::vector<std::string>{"KTX_PCSC_SCARDESTABLISHCONTEXT_ERR"}));
    fakepcsc::script().results.clear();
    connection.ReaderDetectFunc();
    view.pick(0);
    fakepcsc::script().results["SCardConnect"] = SCARD_E_NO_SMARTCARD;
    connection.ReaderComboBoxChange();
    EXPECT_EQ(view.status,
              "Initial Reader Failed. Select reader again and check the smartcard is inserted.");
    view.cardDetect = true;
    connection.LinkReader();
    EXPECT_EQ(view.status, "Card Detecting...");
    EXPECT_TRUE(view.log.empty());
    // With the distance test ticked, a supported pick hands over to its timer.
    connection.ReaderComboBoxChange();
    EXPECT_TRUE(view.cardTimer);
    // The operator's failed connect, the direct one that asks whether the service's access
    // policy refused it, and the distance test's first try.
    EXPECT_EQ(fakepcsc::callsOf("SCardConnect").size(), 3u);

    view.cardDetect = false;
    fakepcsc::script().results.clear();
    connection.LinkReader();
    fakepcsc::script().results["SCardDisconnect"] = SCARD_E_INVALID_HANDLE;
    connection.UnlinkReader();
    EXPECT_EQ(view.messages.back(), "KTX_PCSC_SCARDDISCONNECT_ERR");
    EXPECT_EQ(connection.card(), 0xCA7Du); // kept for the next try
    fakepcsc::script().results.clear();
    connection.FormClose();
    EXPECT_EQ(connection.card(), 0u);
    EXPECT_EQ(connection.context(), 0);
    const auto before = fakepcsc::calls().size();
    connection.FormClose(); // nothing left to close: no call
    EXPECT_EQ(fakepcsc::calls().size(), before);
}

} // namespace
