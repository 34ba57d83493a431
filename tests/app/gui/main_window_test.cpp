// SPDX-License-Identifier: BSD-3-Clause
// The real window, offscreen, against the private pcscd and the simulated readers.
#include "gui_support.h"
#include "limited_text_edit.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <QClipboard>

#include <fstream>

using namespace guitest;
using namespace simtest;

namespace {

using MainWindow = WindowTest;

TEST_F(MainWindow, ListsTheReadersAtTheFirstTick) {
    EXPECT_EQ(m_form->windowTitle(), "Tallix Ver. 2.2 -- KALDOR Technology  Co.");
    EXPECT_EQ(m_form->size(), QSize(740, 720));
    EXPECT_FALSE(m_form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(status(), "");
    auto* readers = get<QComboBox>("ReaderComboBox");
    EXPECT_EQ(readers->currentText(), "Reader Select");
    EXPECT_EQ(readers->count(), 0);
    EXPECT_FALSE(get<QPushButton>("AddCmdBitBtn")->isEnabled());
    EXPECT_EQ(get<QLabel>("Label_Max_Length")->text(), "330");
    auto* pages = get<QTabWidget>("MemCardPageControl");
    EXPECT_TRUE(pages->isVisible());
    EXPECT_FALSE(pages->isTabVisible(1));
    EXPECT_FALSE(pages->isTabVisible(2));
    EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheetSmartcard");

    ASSERT_TRUE(waitUntil([&] { return readers->count() == 3; }));
    EXPECT_EQ(status(), "Select Reader To Start Please.");
    EXPECT_EQ(readers->itemText(0), "KALDOR TR-100 00 00");
    EXPECT_EQ(readers->itemText(2), "Generic Reader 02 00");
    EXPECT_EQ(readers->currentText(), "Reader Select"); // nothing picked
    EXPECT_EQ(m_form->connection().card(), 0u);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(MainWindow, OnlySupportedReadersAreConnected) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    EXPECT_EQ(status(), "Initial Reader Successed");
    EXPECT_EQ(logLines().front(), "ATR: 3B 88 80 31 FE 45 80 31 C0 73 C8 21 10 01 78 ");
    const SCARDHANDLE card = m_form->connection().card();
    EXPECT_NE(card, 0u);

    // An unsupported pick changes the status line and nothing else.
    ASSERT_TRUE(pickReader(*m_form, kEmptyReader));
    EXPECT_EQ(status(), "The Reader is not support, select another please !!!");
    EXPECT_EQ(logLines().size(), 1);
    EXPECT_EQ(m_form->connection().card(), card);

    // Named in Readername.txt it is supported; empty, it connects only in direct mode.
    std::ofstream("Readername.txt", std::ios::binary) << "Generic Reader\r\n";
    ASSERT_TRUE(pickReader(*m_form, kEmptyReader));
    EXPECT_EQ(status(),
              "Initial Reader Failed. Select reader again and check the smartcard is inserted.");
    EXPECT_EQ(log(), "");
    connectMode(2);
    ASSERT_TRUE(pickReader(*m_form, kEmptyReader));
    EXPECT_EQ(status(), "Initial Reader Successed");
    EXPECT_EQ(log(), "ATR: ");
}

TEST_F(MainWindow, ConnectsInTheShareModeChosen) {
    struct Mode {
        int index;
        const char* traced;
        LONG otherClient;
    };
    const Mode modes[] = {
        {0, "Call Ktx_SCardConnect, Share or Excusive", SCARD_S_SUCCESS},
        {1, "Call Ktx_SCardConnect, Share or Excusive", SCARD_E_SHARING_VIOLATION},
        {2, "Call Ktx_SCardConnect, SCARD_SHARE_DIRECT", SCARD_S_SUCCESS}};
    Context other;
    for (const auto& mode : modes) {
        connectMode(mode.index);
        ASSERT_TRUE(pickReader(*m_form, kContactReader));
        EXPECT_EQ(status(), "Initial Reader Successed") << mode.index;
        SCARDHANDLE card = 0;
        DWORD protocol = 0;
        const LONG rv = SCardConnect(other.get(), pcscName(other.get(), kContactReader).c_str(),
                                     SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                                     &card, &protocol);
        EXPECT_EQ(rv, mode.otherClient) << mode.index;
        if (rv == SCARD_S_SUCCESS) {
            SCardDisconnect(card, SCARD_LEAVE_CARD);
        }
    }
    m_form->close();
    const std::string t = trace();
    EXPECT_NE(t.find("Call Ktx_SCardConnect, SCARD_SHARE_DIRECT"), std::string::npos);
    EXPECT_NE(t.find("Call Ktx_SCardConnect, Share or Excusive"), std::string::npos);
}

TEST_F(MainWindow, SendsToTheCardOrToTheReaderByTheModeAtSending) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    type("00 84 00 00 08");
    click("SendSmartCardBitBtn");
    EXPECT_EQ(status(), "Send Data Success");
    EXPECT_EQ(get<QLineEdit>("LengthSmartCardMaskEdit")->displayText(), "__5");
    QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[1], "Send Data: 00 84 00 00 08 ");
    EXPECT_TRUE(
        QRegularExpression("^Receive Data: ([0-9A-F]{2} ){8}90 00 $").match(lines[2]).hasMatch())
        << lines[2].toStdString();
    EXPECT_TRUE(get<QPushButton>("AddCmdBitBtn")->isEnabled());

    // "Direct" chosen after connecting: the same console now talks to the reader itself.
    connectMode(2);
    type("FF E1 02 01 0C A0 FC 84 A0 FD 02 A0 FE 03 A0 FF 05");
    click("SendSmartCardBitBtn");
    EXPECT_EQ(logLines().back(), "Receive Data: 90 00 ");
    auto shown = readerStatus(kContactReader);
    EXPECT_EQ(shown["red"], "on");
    EXPECT_EQ(shown["blue"], "off");
    EXPECT_EQ(shown["buzzer"], "on");
    EXPECT_EQ(shown["repetitions"], "5");
    EXPECT_TRUE(boxes().empty());
}

TEST_F(MainWindow, TextThatIsNotHexShowsTheErrorBox) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    type("0x00 0xA4");
    click("SendSmartCardBitBtn");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, "Tallix");
    EXPECT_EQ(boxes()[0].text, "'0x0x' is not a valid integer value");
    EXPECT_EQ(boxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes()[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(logLines().size(), 1); // the ATR line only
}

TEST_F(MainWindow, EmptyRequestAndTheClearButtons) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    click("SendSmartCardBitBtn");
    EXPECT_EQ(status(), "No Data Inputed.");
    EXPECT_EQ(logLines().size(), 1);
    type("00 84 00 00 08");
    click("CkeckLengthBitBtn");
    EXPECT_EQ(get<QLineEdit>("LengthSmartCardMaskEdit")->displayText(), "__5");
    click("ClearSmartCardRequestBitBtn");
    EXPECT_EQ(get<QPlainTextEdit>("RequestSmartCardRichEdit")->toPlainText(), "");
    EXPECT_EQ(status(), "No Data Inputed.");
    EXPECT_EQ(get<QLineEdit>("LengthSmartCardMaskEdit")->displayText(), "___");
    click("ClearSmartCardResponseBitBtn");
    EXPECT_EQ(log(), "");
    EXPECT_EQ(status(), "No Data Inputed.");
}

TEST_F(MainWindow, ClosingDisconnectsAndClosesTheLibrary) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    m_form->close();
    EXPECT_EQ(m_form->connection().card(), 0u);
    EXPECT_EQ(m_form->connection().context(), 0);
    const std::string t = trace();
    EXPECT_TRUE(t.find("--- CloseReader_WIN Enter\r\n") < t.find("--- CloseLibrary_WIN Enter\r\n"));
    EXPECT_NE(t.find("--- Ktx_SCardDisconnect Return KTX_SUCCESS\r\n"), std::string::npos);
    EXPECT_TRUE(t.ends_with("--- CloseLibrary_WIN Enter\r\n"));
}

TEST_F(MainWindow, TheRequestFieldCountsCharactersAndKeepsItsCap) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    auto* request = get<QPlainTextEdit>("RequestSmartCardRichEdit");
    QApplication::clipboard()->setText(QStringLiteral("00\u2013A4")); // from a document
    request->paste();
    click("SendSmartCardBitBtn");
    EXPECT_EQ(logLines().at(1), "Send Data: 00 A4 ");
    request->setPlainText(QStringLiteral("00 0\u2013 A4"));
    click("SendSmartCardBitBtn");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("'0x0\u2013' is not a valid integer value"));

    // Tab moves on; it inserts nothing.
    QApplication::setActiveWindow(m_form.get());
    request->setFocus(Qt::OtherFocusReason);
    type(QStringLiteral("00 84"));
    QTest::keyClick(request, Qt::Key_Tab);
    EXPECT_EQ(request->toPlainText(), "00 84");
    EXPECT_FALSE(request->hasFocus());

    // At 65,536 characters neither typing nor pasting adds any.
    request->setPlainText(QString(65535, QLatin1Char('0')));
    request->moveCursor(QTextCursor::End);
    QTest::keyClicks(request, QStringLiteral("123"));
    EXPECT_EQ(request->toPlainText().size(), 65536);
    EXPECT_TRUE(request->toPlainText().endsWith(QStringLiteral("01")));
    QApplication::clipboard()->setText(QStringLiteral("AB CD"));
    request->paste();
    EXPECT_EQ(request->toPlainText().size(), 65536);
    request->selectAll();
    request->paste();
    EXPECT_EQ(request->toPlainText(), "AB CD");
}

TEST_F(MainWindow, ASendOntoAFullLogGivesWayAtTheTop) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    auto* logField = get<LimitedTextEdit>("LogSmartCardRichEdit");
    while (logField->length() < 65536 - 30) {
        logField->appendLine(QString(59, QLatin1Char('F')));
    }
    type("00 84 00 00 08");
    click("SendSmartCardBitBtn");
    EXPECT_LE(logField->length(), 65536);
    EXPECT_GT(logField->length(), 65536 - 200);
    const QStringList lines = logLines();
    EXPECT_FALSE(lines.front().startsWith("ATR: ")); // the oldest row went first
    EXPECT_EQ(lines.at(lines.size() - 2), "Send Data: 00 84 00 00 08 ");
    EXPECT_TRUE(lines.back().startsWith("Receive Data: "));
    EXPECT_EQ(status(), "Send Data Success");
}

TEST_F(MainWindow, DestroyingTheWindowClosesWhatClosingDoes) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    m_form.reset(); // no close event
    const std::string t = trace();
    EXPECT_NE(t.find("--- Ktx_SCardDisconnect Return KTX_SUCCESS\r\n"), std::string::npos);
    EXPECT_TRUE(t.ends_with("--- CloseLibrary_WIN Enter\r\n"));
}

} // namespace
