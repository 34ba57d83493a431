// The memory-card pages in the real window, offscreen, with their tabs shown, against
// simulated memory cards in "Generic Reader" of the private pcscd.
#include "digit_mask_edit.h"
#include "gui_support.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <fstream>
#include <functional>

using namespace guitest;
using namespace simtest;

namespace {

class MemCardWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        m_form->showMemoryCardTabs();
        std::ofstream("Readername.txt", std::ios::binary) << "Generic Reader\r\n";
    }

    // Puts the card into "Generic Reader" and connects to it as the operator does.
    void insertAndConnect(const std::vector<std::string>& card) {
        std::vector<std::string> args{"insert", kEmptyReader};
        args.insert(args.end(), card.begin(), card.end());
        ASSERT_EQ(simCtl(args), 0);
        Context context;
        ASSERT_TRUE(waitForCard(context.get(), pcscName(context.get(), kEmptyReader), true));
        ASSERT_TRUE(pickReader(*m_form, kEmptyReader));
        ASSERT_EQ(status(), "Initial Reader Successed");
    }
    // Brings the page that holds the control to the front, as the operator does first.
    void front(const char* name) {
        for (QWidget* w = get<QWidget>(name); w != nullptr; w = w->parentWidget()) {
            if (w->objectName().startsWith(QStringLiteral("TabSheet"))) {
                get<QTabWidget>("MemCardPageControl")->setCurrentWidget(w);
                return;
            }
        }
    }
    void click(const char* button) {
        front(button);
        WindowTest::click(button);
    }
    // The card type, as the operator picks it in the page's radio group.
    void cardType(const char* group, int item) {
        const std::string name = std::string(group) + "Item" + std::to_string(item);
        front(name.c_str());
        QTest::mouseClick(get<QRadioButton>(name.c_str()), Qt::LeftButton, {}, QPoint(6, 8));
    }
    void field(const char* name, const char* digits) {
        get<DigitMaskEdit>(name)->setFieldText(QString::fromLatin1(digits));
    }
    void keys(const char* prefix, const QStringList& values) {
        for (int i = 0; i < values.size(); ++i) {
            auto* key = get<QLineEdit>((prefix + std::to_string(i + 1)).c_str());
            key->clear();
            QTest::keyClicks(key, values[i]);
        }
    }
    // Types text at the end of a page's log, where the bytes to write go.
    void typeLog(const char* log, const QString& text) {
        auto* edit = get<QPlainTextEdit>(log);
        edit->moveCursor(QTextCursor::End);
        QTest::keyClicks(edit, text);
    }
    QStringList lines(const char* log) {
        return get<QPlainTextEdit>(log)->toPlainText().split(QLatin1Char('\n'));
    }
    // One operation of the SLE4442 page: its button (which empties the log for a write),
    // the bytes to write typed into the log, its fields, SEND.
    void first(const char* button, const char* address = nullptr, const char* length = nullptr,
               const char* bytes = nullptr) {
        click(button);
        if (bytes != nullptr) {
            typeLog("LogRichEdit", QString::fromLatin1(bytes));
        }
        if (address != nullptr) {
            field("StartaddrMaskEdit", address);
            field("DataLenMaskEdit", length);
        }
        click("SendBitBtn");
    }
    // The same on the SLE4428 page, whose log the operator empties before typing.
    void second(const char* button, const char* address = nullptr, const char* length = nullptr,
                const char* bytes = nullptr) {
        click(button);
        if (bytes != nullptr) {
            click("ClearSle1828BitBtn");
            typeLog("LogSle1828RichEdit", QString::fromLatin1(bytes));
        }
        if (address != nullptr) {
            field("StartAddrSle1828MaskEdit", address);
            field("DataLenSle1828MaskEdit", length);
        }
        click("SendSle2818BitBtn");
    }
    // The bytes of the data line that follows "Response Data:" in a page's log.
    Bytes responseBytes(const char* log) {
        const QStringList all = lines(log);
        const qsizetype at = all.lastIndexOf(QStringLiteral("Response Data:"));
        Bytes bytes;
        for (const QString& pair : all.value(at + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            bytes.push_back(static_cast<uint8_t>(pair.toUInt(nullptr, 16)));
        }
        return bytes;
    }
    // Pulls the card out in the middle of a write of `count` bytes 00 01 02 ... from
    // address 0, which `write` sends; puts it back once pcscd has seen it go, connects
    // again, and gives what `read` then reads of those bytes.
    Bytes pulledDuringWrite(int count, const std::function<void(const QString&)>& write,
                            const std::function<void()>& read, const char* log) {
        Context context;
        const std::string reader = pcscName(context.get(), kEmptyReader);
        const DWORD before = readerState(context.get(), reader);
        QString bytes;
        for (int i = 0; i < count; ++i) {
            bytes += QString::asprintf("%02X ", i & 0xFF);
        }
        write(bytes);
        EXPECT_TRUE(waitForCardEvent(context.get(), reader, before, false));
        EXPECT_EQ(simCtl({"reinsert", kEmptyReader}), 0);
        EXPECT_TRUE(waitForCard(context.get(), reader, true));
        EXPECT_TRUE(pickReader(*m_form, kEmptyReader));
        EXPECT_EQ(status(), "Initial Reader Successed");
        read();
        return responseBytes(log);
    }
    // The length of the written start of `back`, whose rest must be as the card had it.
    static std::size_t writtenStart(const Bytes& back) {
        std::size_t n = 0;
        while (n < back.size() && back[n] == (n & 0xFF)) {
            ++n;
        }
        for (std::size_t i = n; i < back.size(); ++i) {
            EXPECT_EQ(back[i], 0xFF) << "at " << i;
        }
        return n;
    }

    // The last data line of a page's log after a read.
    QString readBack(const char* log) { return lines(log).back(); }
    bool shown(const char* name) { return get<QWidget>(name)->isVisibleTo(m_form.get()); }
};

TEST_F(MemCardWindow, Sle4442PageDrivesAnSle4442) {
    insertAndConnect({"sle4442", "psc=123456", "memory=A2131091"});
    cardType("Check3242RadioGroup", 1); // "SLE 4442"
    EXPECT_TRUE(shown("BitBtn7"));

    first("BitBtn1", "0", "4"); // "Read Main"
    EXPECT_EQ(status(), "SLE4442_Read_Main_Memory Success");
    EXPECT_EQ(lines("LogRichEdit"), QStringList({"Response Data:", "A2 13 10 91 "}));

    // A wrong PSC spends an attempt; the right one restores the counter.
    click("BitBtn7"); // "Verification"
    keys("VerificationMaskEdit_", {"12", "34", "99"});
    click("SendBitBtn");
    EXPECT_EQ(status(), "SLE4442_Compare_Verification_Data Failed Return 0x8010006B");
    EXPECT_EQ(readerStatus(kEmptyReader)["counter"], "6");
    keys("VerificationMaskEdit_", {"12", "34", "56"});
    click("SendBitBtn");
    EXPECT_EQ(status(), "SLE4442_Compare_Verification_Data Success");
    EXPECT_EQ(readerStatus(kEmptyReader)["counter"], "7");
    EXPECT_EQ(readerStatus(kEmptyReader)["verified"], "yes");

    click("BitBtn2"); // "Write Main": the log is emptied for the bytes to write
    EXPECT_EQ(get<QPlainTextEdit>("LogRichEdit")->toPlainText(), "");
    EXPECT_EQ(get<QLabel>("ShowLabel")->text(), "Request: Ex.01 05 DE FF ...");
    first("BitBtn2", "40", "4", "01 05 DE FF");
    EXPECT_EQ(status(), "SLE4442_Update_Main_Memory Success");
    first("BitBtn1", "40", "4");
    EXPECT_EQ(readBack("LogRichEdit"), "01 05 DE FF ");

    // Protecting byte 0 takes the byte it holds; a checked write over it is then refused.
    first("BitBtn4", "0", "1", "A2"); // "Write Protect"
    EXPECT_EQ(status(), "SLE4442_Write_Protection_Memory Success");
    first("BitBtn3"); // "Read Protect"
    EXPECT_EQ(readBack("LogRichEdit"), "FE FF FF FF ");
    get<QCheckBox>("CheckWriteCheckBox")->setChecked(true);
    first("BitBtn2", "0", "2", "00 00");
    EXPECT_EQ(status(), "SLE4442_Update_Main_MemoryA Failed Return 0x80100004");
    first("BitBtn1", "0", "2");
    EXPECT_EQ(readBack("LogRichEdit"), "A2 13 ");

    first("BitBtn6", "1", "3", "AB CD EF"); // "Write Security": a new PSC
    EXPECT_EQ(status(), "SLE4442_Update_Security_Memory Success");
    first("BitBtn5"); // "Read Security": the error counter alone
    EXPECT_EQ(lines("LogRichEdit"), QStringList({"AB CD EF", "Response Data:", "07 "}));
    EXPECT_TRUE(m_boxes.seen().empty());
}

TEST_F(MemCardWindow, Sle4442PageInSle4432Mode) {
    insertAndConnect({"sle4432", "memory=11223344"});
    cardType("Check3242RadioGroup", 0); // "SLE 4432"
    EXPECT_TRUE(shown("BitBtn4"));
    EXPECT_FALSE(shown("BitBtn5"));
    EXPECT_FALSE(shown("BitBtn7"));

    first("BitBtn2", "2", "2", "55 66");
    EXPECT_EQ(status(), "SLE4432_Update_Main_Memory Success");
    first("BitBtn4", "1", "1", "22");
    EXPECT_EQ(status(), "SLE4432_Write_Protection_Memory Success");
    first("BitBtn3");
    EXPECT_EQ(readBack("LogRichEdit"), "FD FF FF FF ");
    get<QCheckBox>("CheckWriteCheckBox")->setChecked(true);
    first("BitBtn2", "1", "1", "77");
    EXPECT_EQ(status(), "SLE4432_Update_Main_MemoryA Failed Return 0x80100004");
    first("BitBtn2", "0", "1", "77"); // byte 0 is not protected
    EXPECT_EQ(status(), "SLE4432_Update_Main_MemoryA Success");
    first("BitBtn1", "0", "4");
    EXPECT_EQ(status(), "SLE4432_Read_Main_Memory Success");
    EXPECT_EQ(readBack("LogRichEdit"), "77 22 55 66 ");

    // The yellow box toggles on its tag value, not its check mark: its first click keeps
    // SLE4432 names, its second gives SLE4442 ones.
    get<QCheckBox>("SLE4432CheckBox")->click();
    EXPECT_FALSE(shown("BitBtn5"));
    first("BitBtn1", "0", "1");
    EXPECT_EQ(status(), "SLE4432_Read_Main_Memory Success");
    get<QCheckBox>("SLE4432CheckBox")->click();
    EXPECT_TRUE(shown("BitBtn5"));
    first("BitBtn1", "0", "1");
    EXPECT_EQ(status(), "SLE4442_Read_Main_Memory Success");
}

TEST_F(MemCardWindow, Sle4428PageDrivesAnSle4428) {
    insertAndConnect({"sle4428", "psc=A1B2"});
    cardType("Check1828RadioGroup", 1); // "SLE 4428"
    EXPECT_TRUE(shown("BitBtn13"));

    click("BitBtn13"); // "PSC Verify"
    keys("VerificationSle1828MaskEdit_", {"A1", "00"});
    click("SendSle2818BitBtn");
    EXPECT_EQ(status(), "SLE4428_PSC_Verification Failed Return 0x8010006B");
    EXPECT_EQ(readerStatus(kEmptyReader)["counter"], "0xFE");
    keys("VerificationSle1828MaskEdit_", {"a1", "b2"});
    click("SendSle2818BitBtn");
    EXPECT_EQ(status(), "SLE4428_PSC_Verification Success");
    EXPECT_EQ(readerStatus(kEmptyReader)["counter"], "0xFF");

    second("BitBtn9", "300", "3", "0A 0B 0C"); // "Write Memory"
    EXPECT_EQ(status(), "SLE4428_Write_Data_Without_Protect_Bit Success");
    EXPECT_EQ(get<QCheckBox>("CheckWriteSle1828CheckBox")->text(),
              "Write Data Without Protect Bit Checked");
    second("BitBtn12", "303", "1", "0D"); // "Write Mem_P"
    EXPECT_EQ(status(), "SLE4428_Write_Data_With_Protect_Bit Success");
    EXPECT_EQ(get<QCheckBox>("CheckWriteSle1828CheckBox")->text(),
              "Write Data With Protect Bit Checked");
    second("BitBtn11", "300", "1", "0A"); // "Write Protect Bit": the byte it holds
    EXPECT_EQ(status(), "SLE4428_Write_Protect_Bit Success");

    // The second page's log is not emptied by a selection.
    second("BitBtn10", "300", "4"); // "Read Mem_P"
    EXPECT_EQ(status(), "SLE4428_Read_Data_With_Protect_Bit Success");
    EXPECT_EQ(lines("LogSle1828RichEdit"), QStringList({"0A", "Response Data:", "0A 0B 0C 0D ",
                                                        "Protect Bit:", "00 01 01 00 "}));
    EXPECT_FALSE(shown("CheckWriteSle1828CheckBox"));
    EXPECT_EQ(get<QCheckBox>("CheckWriteSle1828CheckBox")->text(), "");

    // Checked writes over a protected byte write nothing.
    get<QCheckBox>("CheckWriteSle1828CheckBox")->setChecked(true);
    second("BitBtn9", "299", "2", "EE EE");
    EXPECT_EQ(status(), "SLE4428_Write_Data_Without_Protect_BitA Failed Return 0x80100004");
    second("BitBtn12", "299", "2", "EE EE");
    EXPECT_EQ(status(), "SLE4428_Write_Data_With_Protect_BitA Failed Return 0x80100004");
    second("BitBtn8", "299", "2"); // "Read Memory"
    EXPECT_EQ(readBack("LogSle1828RichEdit"), "FF 0A ");

    second("BitBtn10", "0", "1024"); // the whole card with its protect bits
    const QStringList whole = lines("LogSle1828RichEdit");
    EXPECT_EQ(whole.at(whole.size() - 3).size(), 3072);
    EXPECT_EQ(whole.back().mid(900, 12), "00 01 01 00 ");
    EXPECT_TRUE(m_boxes.seen().empty());
}

TEST_F(MemCardWindow, Sle4428PageInSle4418Mode) {
    insertAndConnect({"sle4418", "memory=0102"});
    cardType("Check1828RadioGroup", 0); // "SLE 4418"
    EXPECT_TRUE(shown("BitBtn12"));
    EXPECT_FALSE(shown("BitBtn13"));

    second("BitBtn11", "1", "1", "02");
    EXPECT_EQ(status(), "SLE4418_Write_Protect_Bit Success");
    get<QCheckBox>("CheckWriteSle1828CheckBox")->setChecked(true);
    second("BitBtn9", "0", "2", "33 44");
    EXPECT_EQ(status(), "SLE4418_Write_Data_Without_Protect_BitA Failed Return 0x80100004");
    get<QCheckBox>("CheckWriteSle1828CheckBox")->setChecked(false);
    second("BitBtn9", "0", "2", "33 44"); // the card keeps its protected byte
    EXPECT_EQ(status(), "SLE4418_Write_Data_Without_Protect_Bit Success");
    second("BitBtn8", "0", "3");
    EXPECT_EQ(status(), "SLE4418_Read_Data_Without_Protect_Bit Success");
    EXPECT_EQ(readBack("LogSle1828RichEdit"), "33 02 FF ");
    second("BitBtn12", "2", "1", "55");
    EXPECT_EQ(status(), "SLE4418_Write_Data_With_Protect_Bit Success");
    second("BitBtn10", "1", "2");
    EXPECT_EQ(readBack("LogSle1828RichEdit"), "00 00 ");

    get<QCheckBox>("SLE4418CheckBox")->click(); // its tag value 1 goes to 0: SLE4418
    EXPECT_FALSE(shown("BitBtn13"));
    get<QCheckBox>("SLE4418CheckBox")->click();
    EXPECT_TRUE(shown("BitBtn13"));
    second("BitBtn8", "0", "1");
    EXPECT_EQ(status(), "SLE4428_Read_Data_Without_Protect_Bit Success");
}

// Pulled out in the middle of a long write from the page: the status line names the
// failure, and once the card is back the bytes written before the pull are there.
TEST_F(MemCardWindow, CardPulledOutDuringAnSle4442WriteKeepsWhatWasWritten) {
    // The whole card, after the PSC.
    insertAndConnect({"sle4442", "pull-after=100"});
    cardType("Check3242RadioGroup", 1);
    click("BitBtn7"); // "Verification"
    keys("VerificationMaskEdit_", {"FF", "FF", "FF"});
    click("SendBitBtn");
    ASSERT_EQ(status(), "SLE4442_Compare_Verification_Data Success");
    const Bytes back = pulledDuringWrite(
        256,
        [&](const QString& bytes) {
            click("BitBtn2"); // "Write Main"
            get<QPlainTextEdit>("LogRichEdit")->setPlainText(bytes);
            field("StartaddrMaskEdit", "0");
            field("DataLenMaskEdit", "256");
            click("SendBitBtn");
            // An exchange with a card gone from the reader is not transacted.
            EXPECT_EQ(status().toStdString(),
                      "SLE4442_Update_Main_Memory Failed Return 0x80100016");
        },
        [&] { first("BitBtn1", "0", "256"); }, "LogRichEdit");
    ASSERT_EQ(back.size(), 256u);
    const std::size_t written = writtenStart(back);
    EXPECT_GT(written, 50u);
    EXPECT_LT(written, 256u);
    EXPECT_TRUE(m_boxes.seen().empty());
}

TEST_F(MemCardWindow, CardPulledOutDuringAnSle4428WriteKeepsWhatWasWritten) {
    // 600 bytes, after the PSC.
    insertAndConnect({"sle4428", "pull-after=300"});
    cardType("Check1828RadioGroup", 1);
    click("BitBtn13"); // "PSC Verify"
    keys("VerificationSle1828MaskEdit_", {"FF", "FF"});
    click("SendSle2818BitBtn");
    ASSERT_EQ(status().toStdString(), "SLE4428_PSC_Verification Success");
    const Bytes back = pulledDuringWrite(
        600,
        [&](const QString& bytes) {
            click("BitBtn9"); // "Write Memory"
            get<QPlainTextEdit>("LogSle1828RichEdit")->setPlainText(bytes);
            field("StartAddrSle1828MaskEdit", "0");
            field("DataLenSle1828MaskEdit", "600");
            click("SendSle2818BitBtn");
            EXPECT_EQ(status().toStdString(),
                      "SLE4428_Write_Data_Without_Protect_Bit Failed Return 0x80100016");
        },
        [&] { second("BitBtn8", "0", "600"); }, "LogSle1828RichEdit");
    ASSERT_EQ(back.size(), 600u);
    const std::size_t written = writtenStart(back);
    EXPECT_GT(written, 150u);
    EXPECT_LT(written, 600u);
    EXPECT_TRUE(m_boxes.seen().empty());
}

TEST_F(MemCardWindow, SelectionLaysOutItsPageAndHighlightsOneButton) {
    // Before a card type is picked only the selector, prompt, log and Clear show.
    for (const char* name : {"BitBtn1", "BitBtn8", "SendBitBtn", "SendSle2818BitBtn",
                             "CheckWriteCheckBox", "VerificationPanel", "DataLenPanel"}) {
        EXPECT_FALSE(shown(name)) << name;
    }
    EXPECT_EQ(get<QLabel>("ShowLabel")->text(), "Response :");
    EXPECT_EQ(get<QLabel>("AddrRangeH")->text(), "255");
    EXPECT_EQ(get<QLabel>("Sle1828DataLengthH")->text(), "1024");
    EXPECT_EQ(get<QWidget>("VerificationPanel")->toolTip(), "0,1,2,3,4,5,6,7,8,9,A,B,C,D,E,F");
    EXPECT_EQ(get<QLineEdit>("VerificationMaskEdit_1")->displayText(), "__");
    EXPECT_EQ(get<DigitMaskEdit>("StartAddrSle1828MaskEdit")->fieldText(), "    ");

    cardType("Check3242RadioGroup", 1);
    cardType("Check1828RadioGroup", 1);
    typeLog("LogRichEdit", "kept");
    click("BitBtn1");
    EXPECT_EQ(lines("LogRichEdit"), QStringList{"kept"});
    EXPECT_TRUE(shown("SendBitBtn"));
    EXPECT_TRUE(shown("StartAddrPanel"));
    click("BitBtn6"); // "Write Security": its bounds, and the log emptied
    EXPECT_EQ(get<QPlainTextEdit>("LogRichEdit")->toPlainText(), "");
    EXPECT_EQ(get<QLabel>("AddrRangeL")->text(), "1");
    EXPECT_EQ(get<QLabel>("DataLengthH")->text(), "3");
    click("BitBtn7");
    EXPECT_TRUE(shown("VerificationPanel"));
    EXPECT_FALSE(shown("StartAddrPanel"));
    EXPECT_EQ(get<QLabel>("ShowLabel")->text(), "Response:");

    // The selected tag is shared: SEND on the first page after a choice on the second.
    click("BitBtn8");
    EXPECT_FALSE(shown("CheckWriteSle1828CheckBox"));
    click("SendBitBtn");
    EXPECT_EQ(status(), "Unknown Function Select !!!");

    for (const char* button : {"BitBtn3", "BitBtn12", "BitBtn5", "BitBtn10"}) {
        click(button);
    }
    int red = 0;
    for (int i = 1; i <= 13; ++i) {
        const auto* button = get<QPushButton>(("BitBtn" + std::to_string(i)).c_str());
        if (button->palette().color(QPalette::ButtonText) == QColor(0xFF, 0, 0)) {
            ++red;
            EXPECT_EQ(button->objectName(), "BitBtn10");
        }
    }
    EXPECT_EQ(red, 1);

    // Without a card connection the library's frames fail.
    field("StartAddrSle1828MaskEdit", "0");
    field("DataLenSle1828MaskEdit", "1");
    click("SendSle2818BitBtn");
    EXPECT_TRUE(status().startsWith("SLE4428_Read_Data_With_Protect_Bit Failed Return 0x8010"));
}

} // namespace
