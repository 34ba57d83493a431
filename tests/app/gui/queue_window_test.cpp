// SPDX-License-Identifier: BSD-3-Clause
// The command queue, the automatic run and the LED and buzzer panel in the real window,
// offscreen, against the private pcscd and the simulated readers.
#include "dialogs.h"
#include "gui_support.h"
#include "radio_group.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <fstream>

using namespace guitest;
using namespace simtest;

namespace {

class QueueWindow : public WindowTest {
protected:
    std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    QStringList items() {
        QStringList names;
        auto* list = get<QListWidget>("CmdListBox");
        for (int i = 0; i < list->count(); ++i) {
            names << list->item(i)->text();
        }
        return names;
    }
    void clickItem(int row) {
        auto* list = get<QListWidget>("CmdListBox");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }
    // The operator's choice in the dialog the button opens; an empty name cancels it.
    void saveAs(const std::string& file) {
        tessary::testing::setNextAnswer({.fileName = QString::fromStdString(file)});
        click("SaveCmdBitBtn");
    }
    void load(const std::string& file) {
        tessary::testing::setNextAnswer({.fileName = QString::fromStdString(file)});
        click("LoadCmdBitBtn");
    }
    // A queue from a file, loaded as the operator does.
    void loadQueue(const std::vector<std::pair<std::string, std::string>>& commands) {
        std::ofstream file(path("queue.txt"), std::ios::binary);
        for (const auto& [name, request] : commands) {
            file << name << "\r\n" << (request.size() + 1) / 3 << "\r\n" << request << "\r\n\r\n";
        }
        file.close();
        load(path("queue.txt"));
    }
    QString name() { return get<QLineEdit>("CmdNameEdit")->text(); }
    QString request() { return get<QPlainTextEdit>("RequestSmartCardRichEdit")->toPlainText(); }
    QString length() { return get<QLineEdit>("LengthSmartCardMaskEdit")->displayText(); }
    QStringList sent() { return logLines().filter(QStringLiteral("Send Data: ")); }
    void automaticAtInterval(const char* interval) {
        runMode(0);
        get<QLineEdit>("EditCmdInterval")->setText(QString::fromLatin1(interval));
        m_form->EditCmdIntervalExit();
    }
    bool runEnds() {
        return waitUntil([&] { return !m_form->run().autoRunActive(); });
    }
};

TEST_F(QueueWindow, AddSelectSaveAndLoadThroughTheDialogs) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    type("00 84 00 00 08");
    click("SendSmartCardBitBtn");
    QTest::keyClicks(get<QLineEdit>("CmdNameEdit"), "A");
    click("AddCmdBitBtn");
    EXPECT_FALSE(get<QPushButton>("AddCmdBitBtn")->isEnabled());
    click("BitBtn_CommonCmd"); // "Gen APDU" at the panel's defaults
    EXPECT_EQ(name(), "LED_BUZZER_CMD");
    EXPECT_EQ(length(), "_17");
    EXPECT_EQ(request(), "FF E1 02 01 0C A0 FC 00 A0 FD 04 A0 FE 04 A0 FF 04");
    click("AddCmdBitBtn");
    EXPECT_EQ(items(), QStringList({"A", "LED_BUZZER_CMD"}));

    saveAs(path("q.txt"));
    ASSERT_EQ(tessary::testing::shownFileDialogs().size(), 1u);
    const auto& dialog = tessary::testing::shownFileDialogs()[0];
    EXPECT_EQ(dialog.title, "Save script file");
    EXPECT_EQ(dialog.nameFilters, QStringList{"(*.txt Files) (*.txt)"});
    EXPECT_TRUE(dialog.options.testFlag(QFileDialog::DontUseNativeDialog));
    EXPECT_TRUE(dialog.options.testFlag(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(dialog.acceptMode, QFileDialog::AcceptSave);
    const std::string saved = "A\r\n  5\r\n00 84 00 00 08\r\n\r\n"
                              "LED_BUZZER_CMD\r\n 17\r\n"
                              "FF E1 02 01 0C A0 FC 00 A0 FD 04 A0 FE 04 A0 FF 04\r\n\r\n";
    EXPECT_EQ(contents(path("q.txt")), saved);

    // Cancelled dialogs change nothing.
    click("BitBtn_CommonCmd");
    click("AddCmdBitBtn");
    saveAs("");
    EXPECT_EQ(contents(path("q.txt")), saved);
    load("");
    EXPECT_EQ(items().size(), 3);

    clickItem(0);
    EXPECT_EQ(name(), "A");
    EXPECT_EQ(length(), "__5");
    EXPECT_EQ(request(), "00 84 00 00 08");

    load(path("q.txt"));
    EXPECT_EQ(tessary::testing::shownFileDialogs().back().title, "Load script file");
    EXPECT_EQ(tessary::testing::shownFileDialogs().back().acceptMode, QFileDialog::AcceptOpen);
    EXPECT_EQ(items(), QStringList({"A", "LED_BUZZER_CMD"}));
    EXPECT_EQ(get<QListWidget>("CmdListBox")->currentRow(), 0);
    clickItem(1);
    EXPECT_EQ(request(), "FF E1 02 01 0C A0 FC 00 A0 FD 04 A0 FE 04 A0 FF 04");
    EXPECT_EQ(length(), "_17");

    load(path("missing.txt"));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QString::fromStdString("Cannot open file " + path("missing.txt")));
    EXPECT_EQ(boxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(items().size(), 2);
}

TEST_F(QueueWindow, ARunSendsFromTheSelectedCommandToTheLast) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    loadQueue({{"one", "00 84 00 00 01"}, {"two", "00 84 00 00 02"}, {"three", "00 84 00 00 03"}});
    clickItem(1);
    automaticAtInterval("1");
    EXPECT_EQ(m_form->findChild<QTimer*>("AutoCmdTimer")->interval(), 10);
    EXPECT_FALSE(get<QPushButton>("BitBtn_CommonCmd")->isEnabled());
    EXPECT_TRUE(get<QLineEdit>("EditCmdInterval")->isEnabled());

    click("SendSmartCardBitBtn"); // starts the run; the press sends nothing
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_FALSE(get<QPushButton>("SaveCmdBitBtn")->isEnabled());
    EXPECT_FALSE(get<QPushButton>("LoadCmdBitBtn")->isEnabled());
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(sent(), QStringList({"Send Data: 00 84 00 00 02 ", "Send Data: 00 84 00 00 03 "}));
    EXPECT_EQ(get<QListWidget>("CmdListBox")->currentRow(), 2);
    EXPECT_TRUE(get<QPushButton>("SaveCmdBitBtn")->isEnabled());
    EXPECT_TRUE(get<QPushButton>("LoadCmdBitBtn")->isEnabled());

    runMode(1);
    EXPECT_TRUE(get<QPushButton>("BitBtn_CommonCmd")->isEnabled());
    EXPECT_FALSE(get<QLineEdit>("EditCmdInterval")->isEnabled());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(QueueWindow, NoStepRunsWhileABoxIsOpen) {
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    loadQueue({{"1", "00 84 00 00 01"},
               {"2", "00 84 00 00 02"},
               {"3", "00 84 00 00 03"},
               {"4", "00 84 00 00 04"},
               {"5", "00 84 00 00 05"},
               {"6", "00 84 00 00 06"}});
    int sentWhenShown = -1;
    int sentWhenClosed = -1;
    tessary::testing::setNextAnswer(
        {.shownFor = 200,
         .onOpen = [&] { sentWhenShown = static_cast<int>(sent().size()); },
         .onClose = [&] { sentWhenClosed = static_cast<int>(sent().size()); }});
    automaticAtInterval("2");
    click("SendSmartCardBitBtn");
    QTimer::singleShot(30, [] { tessary::showMessage(QStringLiteral("a box of the program")); });
    ASSERT_TRUE(runEnds());
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_GE(sentWhenShown, 1);
    EXPECT_LT(sentWhenShown, 6);
    EXPECT_EQ(sentWhenClosed, sentWhenShown);
    EXPECT_EQ(sent().size(), 6);
}

// What the reader makes of the command is the main window test's; here, the panel's
// controls reach the generator.
TEST_F(QueueWindow, ThePanelsControlsMakeTheLedAndBuzzerCommand) {
    get<QCheckBox>("cbLed2")->setChecked(true);
    get<QCheckBox>("cbLed3")->setChecked(true);
    get<RadioGroup>("RG_LedMode")->setItemIndex(1);
    QTest::mouseClick(get<QCheckBox>("cbBuzzer"), Qt::LeftButton, {}, QPoint(6, 8));
    auto* tone = get<QComboBox>("ComboBoxTone");
    EXPECT_TRUE(tone->isEnabled());
    tone->setCurrentIndex(3);
    get<QLineEdit>("EditOnDuty")->setText("2");
    get<QLineEdit>("EditRepetition")->setText("255");
    click("BitBtn_CommonCmd");
    EXPECT_EQ(request(), "FF E1 02 01 0C A0 FC 6F A0 FD 02 A0 FE 04 A0 FF FF");
    EXPECT_EQ(name(), "LED_BUZZER_CMD");
}

TEST_F(QueueWindow, NumberFieldsAreCheckedWhenTheFocusLeavesThem) {
    QApplication::setActiveWindow(m_form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    // Shown, the box takes the focus from the field and gives it back.
    tessary::testing::setNextAnswer({.shownFor = 0});
    tessary::testing::setNextAnswer({.shownFor = 0});
    auto* repetition = get<QLineEdit>("EditRepetition");
    repetition->setFocus(Qt::MouseFocusReason);
    repetition->selectAll();
    QTest::keyClicks(repetition, "256");
    QTest::keyClick(repetition, Qt::Key_Tab);
    ASSERT_TRUE(waitUntil([&] { return !boxes().empty(); }));
    EXPECT_FALSE(waitUntil([&] { return boxes().size() > 1; }, 100)); // no second exit
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Repetition Range (1-255)");
    EXPECT_EQ(boxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(repetition->text(), "4");

    runMode(0);
    QApplication::setActiveWindow(m_form.get()); // offscreen, nothing hands it back
    auto* interval = get<QLineEdit>("EditCmdInterval");
    interval->setFocus(Qt::MouseFocusReason);
    interval->selectAll();
    QTest::keyClicks(interval, "00000");
    EXPECT_EQ(interval->text(), "0000"); // four characters
    QTest::keyClick(interval, Qt::Key_Tab);
    ASSERT_TRUE(waitUntil([&] { return boxes().size() == 2; }));
    EXPECT_EQ(boxes()[1].text, "Cmd Interval Range (1-9999)");
    EXPECT_EQ(interval->text(), "20");
    EXPECT_EQ(m_form->findChild<QTimer*>("AutoCmdTimer")->interval(), 200);
}

} // namespace
