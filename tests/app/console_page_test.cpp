// SPDX-License-Identifier: BSD-3-Clause
// The console's handlers over a recording view and the fake service.
#include "console_page.h"
#include "cordrel_binding.h"
#include "fake_pcsc.h"
#include "recording_views.h"

#include <gtest/gtest.h>

using namespace tessary;

namespace {

class ConsoleSteps : public ::testing::Test {
protected:
    void SetUp() override {
        fakepcsc::reset();
        fakepcsc::script().response = {0x01, 0x02, 0x90, 0x00};
        connection.FormCreate();
    }
    void TearDown() override {
        connection.FormClose();
        fakepcsc::reset();
    }
    RecordingWindow readerView;
    ReaderConnection connection{readerView};
    RecordingConsole view;
    ConsolePage page{view, connection};
};

TEST_F(ConsoleSteps, SendOnTheCardPathOrTheControlPathByTheModeAtSending) {
    view.request = "00 84 00 00 02";
    page.SendSmartCardBitBtnClick();
    EXPECT_EQ(view.log, (std::vector<std::string>{"Send Data: 00 84 00 00 02 ",
                                                  "Receive Data: 01 02 90 00 "}));
    EXPECT_EQ(view.status, "Send Data Success");
    EXPECT_EQ(view.length, "  5");
    EXPECT_EQ(view.check, "5");
    EXPECT_TRUE(view.addEnabled);
    ASSERT_EQ(fakepcsc::callsOf("SCardTransmit").size(), 1u);
    EXPECT_EQ(fakepcsc::callsOf("SCardTransmit")[0].args[4], 330u);

    view.connectMode = 2; // "Direct", whatever mode the connection was opened in
    page.SendSmartCardBitBtnClick();
    const auto control = fakepcsc::callsOf("SCardControl");
    ASSERT_EQ(control.size(), 1u);
    EXPECT_EQ(control[0].args[1], 0x42000DACu);
    EXPECT_EQ(control[0].args[3], 330u);
    EXPECT_EQ(view.log.back(), "Receive Data: 90 00 ");
}

TEST_F(ConsoleSteps, FailedExchangeIsLoggedAndReportedAsFailed) {
    view.request = "00 84 00 00 08";
    fakepcsc::script().results["SCardTransmit"] = SCARD_W_REMOVED_CARD;
    page.SendSmartCardBitBtnClick();
    EXPECT_EQ(view.log.back(), "KTX_PCSC_SCARDTRANSMIT_ERR of Receive Data.\n");
    EXPECT_EQ(view.status, "Send Data Failed Return 0xAA9");
    EXPECT_TRUE(view.addEnabled);

    view.connectMode = 2;
    fakepcsc::script().results["SCardControl"] = SCARD_E_NOT_TRANSACTED;
    page.SendSmartCardBitBtnClick();
    EXPECT_EQ(view.log.back(), "ISP_UNKNOWN_ERR of Receive Data.\n");
    EXPECT_EQ(view.status, "Send Data Failed Return 0x80100016");
    EXPECT_EQ(fakepcsc::callsOf("SCardControl").size(), 1u); // never sent twice
}

TEST_F(ConsoleSteps, AReaderTakingNoReaderCommandsGetsTheHintInTheLog) {
    view.request = "FF E1 02 01 0C";
    view.connectMode = 2;
    fakepcsc::script().results["SCardControl"] = SCARD_E_UNSUPPORTED_FEATURE;
    page.SendSmartCardBitBtnClick();
    EXPECT_EQ(view.status, "Send Data Failed Return 0x8010001F");
    ASSERT_EQ(view.log.size(), 3u);
    EXPECT_EQ(view.log[1], "ISP_UNKNOWN_ERR of Receive Data.\n");
    EXPECT_EQ(view.log[2].rfind("This reader's driver does not take reader commands", 0), 0u);
    const auto calls = fakepcsc::callsOf("SCardControl");
    ASSERT_EQ(calls.size(), 2u); // the refused code, then the feature request
    EXPECT_EQ(calls[1].args[1], DWORD{SCARD_CTL_CODE(3400)});
}

TEST_F(ConsoleSteps, NothingIsSentWithoutAGoodRequest) {
    page.SendSmartCardBitBtnClick();
    EXPECT_EQ(view.status, "No Data Inputed.");
    EXPECT_EQ(view.length, "   ");

    view.request = "00 G1 02";
    page.SendSmartCardBitBtnClick();
    EXPECT_EQ(view.errors, (std::vector<std::string>{"'0xG1' is not a valid integer value"}));
    EXPECT_EQ(view.length, "  3");

    // 1000 bytes do not fit the three-position length field: refused by the comparison.
    view.request.clear();
    for (int i = 0; i < 1000; ++i) {
        view.request += "00 ";
    }
    page.SendSmartCardBitBtnClick();
    EXPECT_EQ(view.status, "Check Length Failed. Data Length Not Equal Send Length.");
    EXPECT_EQ(view.check, "1000");
    EXPECT_TRUE(view.log.empty());
    EXPECT_TRUE(fakepcsc::callsOf("SCardTransmit").empty());
    EXPECT_FALSE(view.addEnabled);

    // 999 bytes still fit, and are sent although the line shows 330 of them.
    view.request.resize(999 * 3);
    page.SendSmartCardBitBtnClick();
    ASSERT_EQ(fakepcsc::callsOf("SCardTransmit").size(), 1u);
    EXPECT_EQ(fakepcsc::callsOf("SCardTransmit")[0].args[2], 999u);
    EXPECT_EQ(view.log.front().size(), 11u + 330 * 3 + 20);

    page.ClearSmartCardRequestBitBtnClick();
    EXPECT_EQ(view.request, "");
    EXPECT_EQ(view.status, "No Data Inputed.");
    page.ClearSmartCardResponseBitBtnClick();
    EXPECT_TRUE(view.log.empty());
}

TEST_F(ConsoleSteps, OneCharacterSendsAnEmptyCommand) {
    view.request = "0";
    page.SendSmartCardBitBtnClick();
    EXPECT_EQ(view.length, "  0");
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[0], "Send Data: ");
    EXPECT_EQ(fakepcsc::callsOf("SCardTransmit")[0].args[2], 0u);
}

TEST(CordrelBinding, EveryOrdinalTheProgramUsesOrNone) {
    CordrelBindings bindings;
    std::string error;
    ASSERT_TRUE(BindCordrel(Cordrel_Ordinals, bindings, error)) << error;
    EXPECT_EQ(bindings.readMain4442, &SLE4442_Read_Main_Memory);
    EXPECT_EQ(bindings.readMain4432, &SLE4442_Read_Main_Memory); // one body, two names
    EXPECT_EQ(bindings.writeProtection4442, &SLE4442_Write_Protection_Memory);
    EXPECT_EQ(bindings.readWithProtect4418, &SLE4428_Read_Data_With_Protect_Bit);

    std::vector<CordrelOrdinal> partial;
    for (const CordrelOrdinal* entry = Cordrel_Ordinals; entry->ordinal != 0; ++entry) {
        if (entry->ordinal != 37 && entry->ordinal != 55) {
            partial.push_back(*entry);
        }
    }
    partial.push_back({0, nullptr, nullptr});
    CordrelBindings missing;
    error.clear();
    EXPECT_FALSE(BindCordrel(partial.data(), missing, error));
    EXPECT_EQ(error, "the memory-card library lacks ordinal 37, 55");
}

TEST(ExchangeOutcome, FailuresAreNotReportedAsSuccess) {
    EXPECT_EQ(ExchangeOutcome(KTX_SUCCESS), "Send Data Success");
    EXPECT_EQ(ExchangeOutcome(KTX_PCSC_SCARDTRANSMIT_ERR), "Send Data Failed Return 0xAA9");
    EXPECT_EQ(ExchangeOutcome(static_cast<int32_t>(0x80100069)),
              "Send Data Failed Return 0x80100069");
}

} // namespace
