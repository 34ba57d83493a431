// SPDX-License-Identifier: BSD-3-Clause
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
        front(log);
        auto* edit = get<QPlainTextEdit>(log);
        edit->moveCursor(QTextCursor::End);
        QTest::keyClicks(edit, text);
    }
    QStringList lines(const char* log) {
        return get<QPlainTextEdit>(log)->toPlainText().split(QLatin1Char('\n'));
    }
    // One operation: its button, the bytes to write typed into the emptied log, the
    // fields, SEND.
    struct Page {
        const char *log, *clear, *address, *length, *send;
    };
    void operate(const Page& page, const char* button, const char* address = nullptr,
                 const char* length = nullptr, const char* bytes = nullptr) {
        click(button);
        if (bytes != nullptr) {
            click(page.clear);
            typeLog(page.log, QString::fromLatin1(bytes));
        }
        if (address != nullptr) {
            field(page.address, address);
            field(page.length, length);
        }
        click(page.send);
    }
    const Page first{"LogRichEdit", "ClearBitBtn", "StartaddrMaskEdit", "DataLenMaskEdit",
                     "SendBitBtn"};
    const Page second{"LogSle1828RichEdit", "ClearSle1828BitBtn", "StartAddrSle1828MaskEdit",
                      "DataLenSle1828MaskEdit", "SendSle2818BitBtn"};
    bool shown(const char* name) { return get<QWidget>(name)->isVisibleTo(m_form.get()); }
};

// What each operation sends and logs is the logic's; here, that every control of the
// pages reaches it and its answers reach the controls.
TEST_F(MemCardWindow, EveryControlReachesThePagesLogic) {
    // Before a card type is picked only the selector, prompt, log and Clear show.
    for (const char* name : {"BitBtn1", "BitBtn8", "SendBitBtn", "SendSle2818BitBtn",
                             "CheckWriteCheckBox", "VerificationPanel", "DataLenPanel"}) {
        EXPECT_FALSE(shown(name)) << name;
    }
    EXPECT_EQ(get<QLabel>("ShowLabel")->text(), "Response :");
    EXPECT_EQ(get<QWidget>("VerificationPanel")->toolTip(), "0,1,2,3,4,5,6,7,8,9,A,B,C,D,E,F");
    EXPECT_EQ(get<QLineEdit>("VerificationMaskEdit_1")->displayText(), "__");
    EXPECT_EQ(get<DigitMaskEdit>("StartAddrSle1828MaskEdit")->fieldText(), "    ");

    // The radio groups, and the yellow boxes with the tag value they keep.
    cardType("Check3242RadioGroup", 0); // "SLE 4432"
    EXPECT_TRUE(shown("BitBtn4"));
    EXPECT_FALSE(shown("BitBtn5"));
    cardType("Check1828RadioGroup", 0); // "SLE 4418"
    EXPECT_TRUE(shown("BitBtn12"));
    EXPECT_FALSE(shown("BitBtn13"));
    for (const auto& [box, button] :
         {std::pair{"SLE4432CheckBox", "BitBtn5"}, std::pair{"SLE4418CheckBox", "BitBtn13"}}) {
        front(box);
        get<QCheckBox>(box)->click();
        get<QCheckBox>(box)->click();
        EXPECT_TRUE(shown(button)) << box;
    }

    // Each button chooses its own operation, and it alone turns red.
    for (uint16_t tag = 0; tag < tessary::kMemCardOperationCount; ++tag) {
        click(("BitBtn" + std::to_string(tag + 1)).c_str());
        EXPECT_EQ(m_form->memoryCards().selectedTag(), tag);
        for (int i = 1; i <= tessary::kMemCardOperationCount; ++i) {
            const auto* button = get<QPushButton>(("BitBtn" + std::to_string(i)).c_str());
            EXPECT_EQ(button->palette().color(QPalette::ButtonText) == QColor(0xFF, 0, 0),
                      i == tag + 1)
                << tag << " " << i;
        }
    }

    // Each page's labels, panels, write box and log follow the choice.
    typeLog("LogRichEdit", "kept");
    click("BitBtn6"); // "Write Security"
    EXPECT_EQ(get<QPlainTextEdit>("LogRichEdit")->toPlainText(), "");
    EXPECT_EQ(get<QLabel>("ShowLabel")->text(), "Request: Ex.01 05 DE FF ...");
    EXPECT_EQ(get<QLabel>("AddrRangeL")->text(), "1");
    EXPECT_EQ(get<QLabel>("DataLengthH")->text(), "3");
    click("BitBtn7");
    EXPECT_TRUE(shown("VerificationPanel"));
    EXPECT_FALSE(shown("StartAddrPanel"));
    click("BitBtn12");
    EXPECT_TRUE(shown("CheckWriteSle1828CheckBox"));
    EXPECT_EQ(get<QCheckBox>("CheckWriteSle1828CheckBox")->text(),
              "Write Data With Protect Bit Checked");
    EXPECT_EQ(get<QLabel>("ShowSle1828Label")->text(), "Request:");
    click("BitBtn13");
    EXPECT_TRUE(shown("VerificationSle1828Panel"));
    EXPECT_FALSE(shown("StartAddrSle1828Panel"));
    click("SendBitBtn");
    EXPECT_EQ(status(), "Unknown Function Select !!!");
    for (const auto& [log, clear] : {std::pair{"LogRichEdit", "ClearBitBtn"},
                                     std::pair{"LogSle1828RichEdit", "ClearSle1828BitBtn"}}) {
        typeLog(log, "gone");
        click(clear);
        EXPECT_EQ(get<QPlainTextEdit>(log)->toPlainText(), "") << log;
    }
}

TEST_F(MemCardWindow, Sle4442PageDrivesAnSle4442) {
    insertAndConnect({"sle4442", "psc=123456", "memory=A2131091"});
    cardType("Check3242RadioGroup", 1);  // "SLE 4442"
    operate(first, "BitBtn1", "0", "4"); // "Read Main"
    EXPECT_EQ(status(), "SLE4442_Read_Main_Memory Success");
    EXPECT_EQ(lines("LogRichEdit"), QStringList({"Response Data:", "A2 13 10 91 "}));

    click("BitBtn7"); // "Verification"
    keys("VerificationMaskEdit_", {"12", "34", "56"});
    click("SendBitBtn");
    EXPECT_EQ(status(), "SLE4442_Compare_Verification_Data Success");

    operate(first, "BitBtn2", "40", "4", "01 05 DE FF"); // "Write Main", from the emptied log
    EXPECT_EQ(status(), "SLE4442_Update_Main_Memory Success");
    get<QCheckBox>("CheckWriteCheckBox")->setChecked(true);
    operate(first, "BitBtn2", "44", "1", "77");
    EXPECT_EQ(status(), "SLE4442_Update_Main_MemoryA Success");
    operate(first, "BitBtn1", "40", "5");
    EXPECT_EQ(lines("LogRichEdit").back(), "01 05 DE FF 77 ");
    EXPECT_TRUE(boxes().empty());
}

TEST_F(MemCardWindow, Sle4428PageDrivesAnSle4428) {
    insertAndConnect({"sle4428", "psc=A1B2"});
    cardType("Check1828RadioGroup", 1); // "SLE 4428"
    click("BitBtn13");                  // "PSC Verify"
    keys("VerificationSle1828MaskEdit_", {"a1", "b2"});
    click("SendSle2818BitBtn");
    EXPECT_EQ(status(), "SLE4428_PSC_Verification Success");

    operate(second, "BitBtn12", "300", "2", "0A 0B"); // "Write Mem_P"
    EXPECT_EQ(status(), "SLE4428_Write_Data_With_Protect_Bit Success");
    operate(second, "BitBtn10", "300", "3"); // "Read Mem_P"
    EXPECT_EQ(lines("LogSle1828RichEdit"),
              QStringList({"0A 0B", "Response Data:", "0A 0B FF ", "Protect Bit:", "00 00 01 "}));
    get<QCheckBox>("CheckWriteSle1828CheckBox")->setChecked(true);
    operate(second, "BitBtn9", "299", "2", "EE EE"); // over a protected byte
    EXPECT_EQ(status(), "SLE4428_Write_Data_Without_Protect_BitA Failed Return 0x80100004");

    operate(second, "BitBtn10", "0", "1024"); // the whole card with its protect bits
    const QStringList whole = lines("LogSle1828RichEdit");
    EXPECT_EQ(whole.at(whole.size() - 3).size(), 3072);
    EXPECT_EQ(whole.back().mid(900, 6), "00 00 ");
    EXPECT_TRUE(boxes().empty());
}

} // namespace
