// The real window, offscreen, against the private pcscd and the simulated readers.
#include "gui_support.h"
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

#include <filesystem>
#include <fstream>

using namespace guitest;
using namespace simtest;

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        restoreDefaultCards();
        m_previous = std::filesystem::current_path();
        m_folder =
            std::filesystem::temp_directory_path() / ("tessary-gui-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
        std::filesystem::current_path(m_folder);
        std::ofstream("PcScLog.txt");
        m_form = std::make_unique<TForm1>();
        m_form->show();
    }
    void TearDown() override {
        m_form.reset();
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_folder);
    }

    template <typename T>
    T* get(const char* name) {
        return child<T>(*m_form, name);
    }
    QString status() { return get<QLineEdit>("CurrentStateEdit")->text(); }
    QString log() { return get<QPlainTextEdit>("LogSmartCardRichEdit")->toPlainText(); }
    QStringList logLines() { return log().split(QLatin1Char('\n')); }
    void type(const QString& request) {
        auto* field = get<QPlainTextEdit>("RequestSmartCardRichEdit");
        field->clear();
        QTest::keyClicks(field, request);
    }
    void click(const char* button) { QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton); }
    void connectMode(int index) {
        QTest::mouseClick(get<QRadioButton>(("RGConnectModeItem" + std::to_string(index)).c_str()),
                          Qt::LeftButton, {}, QPoint(6, 8));
    }
    std::string trace() {
        std::ifstream in("PcScLog.txt", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    ModalCloser m_boxes;
    std::unique_ptr<TForm1> m_form;
    std::filesystem::path m_previous;
    std::filesystem::path m_folder;
};

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
    EXPECT_TRUE(m_boxes.seen().empty());
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
    EXPECT_EQ(get<QLineEdit>("LengthSmartCardMaskEdit")->displayText(), "5__");
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
    EXPECT_TRUE(m_boxes.seen().empty());
}

TEST_F(MainWindow, TextThatIsNotHexShowsTheErrorBox) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    type("0x00 0xA4");
    click("SendSmartCardBitBtn");
    ASSERT_EQ(m_boxes.seen().size(), 1u);
    EXPECT_EQ(m_boxes.seen()[0].title, "Tallix");
    EXPECT_EQ(m_boxes.seen()[0].text, "'0x0x' is not a valid integer value");
    EXPECT_EQ(m_boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(logLines().size(), 1); // the ATR line only
}

TEST_F(MainWindow, ExchangeWithAPulledCardFails) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    Context context;
    ASSERT_EQ(simCtl({"remove", kContactReader}), 0);
    ASSERT_TRUE(waitForCard(context.get(), pcscName(context.get(), kContactReader), false));
    type("00 84 00 00 08");
    click("SendSmartCardBitBtn");
    EXPECT_EQ(status(), "Send Data Failed Return 0xAA9");
    EXPECT_TRUE(log().endsWith("KTX_PCSC_SCARDTRANSMIT_ERR of Receive Data.\n"));
}

TEST_F(MainWindow, EmptyRequestAndTheClearButtons) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    click("SendSmartCardBitBtn");
    EXPECT_EQ(status(), "No Data Inputed.");
    EXPECT_EQ(logLines().size(), 1);
    type("00 84 00 00 08");
    click("CkeckLengthBitBtn");
    EXPECT_EQ(get<QLineEdit>("LengthSmartCardMaskEdit")->displayText(), "5__");
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

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
