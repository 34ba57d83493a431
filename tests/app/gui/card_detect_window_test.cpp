// SPDX-License-Identifier: BSD-3-Clause
// The distance test in the real window, offscreen, against the private pcscd, and the
// log that keeps within its limit.
#include "dialogs.h"
#include "gui_support.h"
#include "limited_text_edit.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

using namespace guitest;
using namespace simtest;

namespace {

class DistanceTest : public WindowTest {
protected:
    void tick(bool on) { get<QCheckBox>("CB_CardDetect")->setChecked(on); }
    bool running() { return m_form->findChild<QTimer*>("Timer_CardDetect")->isActive(); }
    int atrLines() { return static_cast<int>(logLines().filter(QStringLiteral("ATR: ")).size()); }
};

// What an attempt does is the logic's; here, that the window's controls, its timer and
// its boxes reach it.
TEST_F(DistanceTest, TheBoxTheTimerAndTheSelectorReachTheTest) {
    tick(true);
    EXPECT_FALSE(get<QWidget>("Panel4")->isEnabled());
    EXPECT_FALSE(get<QWidget>("MemCardPageControl")->isEnabled());
    EXPECT_TRUE(get<QWidget>("ReaderComboBox")->isEnabled());
    EXPECT_FALSE(running());
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    EXPECT_EQ(log(), ""); // cleared at once; the first attempt comes with the first tick
    EXPECT_TRUE(running());
    ASSERT_TRUE(waitUntil([&] { return atrLines() >= 3; }));
    EXPECT_EQ(status(), "Initial Reader Successed");
    EXPECT_EQ(logLines().front(), "ATR: 3B 88 80 31 FE 45 80 31 C0 73 C8 21 10 01 78 ");

    // No attempt runs while a box of ours is open.
    int whenOpened = -1;
    int whenClosed = -1;
    tessary::testing::setNextAnswer({.shownFor = 400,
                                     .onOpen = [&] { whenOpened = atrLines(); },
                                     .onClose = [&] { whenClosed = atrLines(); }});
    QTimer::singleShot(0, [] { tessary::showMessage(QStringLiteral("box")); });
    ASSERT_TRUE(waitUntil([&] { return whenClosed >= 0; }));
    EXPECT_EQ(whenOpened, whenClosed);

    // Text typed over the selector names no reader: a tick tries none.
    QTest::keyClicks(get<QComboBox>("ReaderComboBox")->lineEdit(), "x");
    const QString before = log();
    m_form->Timer_CardDetectTimer();
    EXPECT_EQ(log(), before);

    tick(false);
    EXPECT_EQ(status(), "Select Reader To Start Please.");
    EXPECT_TRUE(get<QWidget>("Panel4")->isEnabled());
    EXPECT_TRUE(get<QWidget>("MemCardPageControl")->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !running(); }));
    EXPECT_NE(m_form->connection().card(), 0u);
    EXPECT_EQ(boxes().size(), 1u); // the test's own
}

// The log keeps within its limit by giving up whole rows at the end far from the new one.
TEST(LimitedLog, WholeRowsGiveWayAtTheFarEnd) {
    LimitedTextEdit log;
    log.setMaxLength(20);
    for (const char* row : {"aaaa", "bbbb", "cccc", "dddd"}) {
        log.appendLine(QString::fromLatin1(row)); // 19 characters with the breaks
    }
    log.appendLine(QStringLiteral("ee"));
    EXPECT_EQ(log.toPlainText(), "bbbb\ncccc\ndddd\nee");
    log.appendLine(QStringLiteral("ff\ngggg"));               // two rows in one append
    EXPECT_EQ(log.toPlainText(), "cccc\ndddd\nee\nff\ngggg"); // 20: full, not over
    log.insertLineAtTop(QStringLiteral("hhhhhhhhhh"));
    EXPECT_EQ(log.toPlainText(), "hhhhhhhhhh\ncccc\ndddd");
    log.insertLineAtTop(QStringLiteral("iiiiiiiiiiiiiiiiii"));
    EXPECT_EQ(log.toPlainText(), "iiiiiiiiiiiiiiiiii");
    log.appendLine(QString(30, QLatin1Char('j'))); // longer than the log: its start stays
    EXPECT_EQ(log.toPlainText(), QString(20, QLatin1Char('j')));
    EXPECT_EQ(log.length(), 20);
}

} // namespace
