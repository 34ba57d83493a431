// The distance test in the real window, offscreen, with simreader-ctl taking the card
// away and putting it back.
#include "dialogs.h"
#include "gui_support.h"
#include "limited_text_edit.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

using namespace guitest;
using namespace simtest;

namespace {

class DistanceTest : public WindowTest {
protected:
    void tick(bool on) { get<QCheckBox>("CB_CardDetect")->setChecked(on); }
    bool running() { return m_form->findChild<QTimer*>("Timer_CardDetect")->isActive(); }
    bool inputEnabled() {
        return get<QWidget>("Panel4")->isEnabled() &&
               get<QWidget>("MemCardPageControl")->isEnabled();
    }
    int atrLines() {
        const QString text = log();
        return text.isEmpty() ? 0 : static_cast<int>(logLines().size());
    }
    int atrLinesAmongOthers() {
        return static_cast<int>(logLines().filter(QStringLiteral("ATR: ")).size());
    }
    // Waits until the log holds at least `n` ATR lines, all of them ATR lines.
    bool stacked(int n) {
        return waitUntil([&] {
            const QStringList lines = logLines();
            return atrLines() >= n && lines.filter(QStringLiteral("ATR: ")).size() == lines.size();
        });
    }
    void removeCard(const std::string& reader) {
        Context context;
        ASSERT_EQ(simCtl({"remove", reader}), 0);
        ASSERT_TRUE(waitForCard(context.get(), pcscName(context.get(), reader), false));
    }
};

TEST_F(DistanceTest, TickingArmsItAndOnlyASelectionStartsIt) {
    tick(true);
    EXPECT_FALSE(get<QWidget>("Panel4")->isEnabled());
    EXPECT_FALSE(get<QWidget>("MemCardPageControl")->isEnabled());
    EXPECT_TRUE(get<QWidget>("ReaderComboBox")->isEnabled());
    settle(300);
    EXPECT_FALSE(running());
    EXPECT_EQ(m_form->connection().card(), 0u);

    tick(false);
    EXPECT_EQ(status(), "Select Reader To Start Please.");
    EXPECT_TRUE(inputEnabled());

    // Ticked while connected: the connection stays until a supported reader is chosen.
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    const SCARDHANDLE card = m_form->connection().card();
    tick(true);
    settle(300);
    EXPECT_EQ(m_form->connection().card(), card);
    EXPECT_EQ(atrLines(), 1);
}

TEST_F(DistanceTest, AtrLinesStackWhileTheCardIsInRangeAndGoWhenItIsNot) {
    tick(true);
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    EXPECT_EQ(log(), ""); // cleared at once; the first attempt comes with the first tick
    EXPECT_TRUE(running());
    ASSERT_TRUE(stacked(3));
    EXPECT_EQ(status(), "Initial Reader Successed");
    EXPECT_EQ(logLines().front(), "ATR: 3B 88 80 31 FE 45 80 31 C0 73 C8 21 10 01 78 ");

    removeCard(kContactReader);
    ASSERT_TRUE(waitUntil([&] { return status() == "Card Detecting..."; }));
    EXPECT_EQ(log(), "");
    ASSERT_EQ(simCtl({"insert", kContactReader, "apdu"}), 0);
    ASSERT_TRUE(stacked(2));

    // Steady detection keeps the log within its limit, the oldest rows giving way.
    auto* logField = get<LimitedTextEdit>("LogSmartCardRichEdit");
    while (logField->length() < 65536 - 40) {
        logField->appendLine(QString(59, QLatin1Char('F')));
    }
    const int before = atrLines();
    ASSERT_TRUE(waitUntil([&] { return atrLinesAmongOthers() >= 4; }));
    EXPECT_LE(logField->length(), 65536);
    EXPECT_LT(atrLines(), before + 4);
    EXPECT_TRUE(logLines().front().startsWith("ATR: "));

    // No attempt runs while a box of ours is open.
    int whenOpened = -1;
    int whenClosed = -1;
    m_boxes.holdFor(400);
    m_boxes.onOpen = [&] { whenOpened = atrLinesAmongOthers(); };
    m_boxes.onClose = [&] { whenClosed = atrLinesAmongOthers(); };
    QTimer::singleShot(0, [] { tessary::showMessage(QStringLiteral("box")); });
    ASSERT_TRUE(waitUntil([&] { return whenClosed >= 0; }));
    EXPECT_EQ(whenOpened, whenClosed);

    // Unticked: the next tick stops the timer, and the connection stays for the console.
    tick(false);
    EXPECT_EQ(status(), "Select Reader To Start Please.");
    EXPECT_TRUE(inputEnabled());
    ASSERT_TRUE(waitUntil([&] { return !running(); }));
    const QString last = log();
    settle(300);
    EXPECT_EQ(log(), last);
    EXPECT_NE(m_form->connection().card(), 0u);
}

TEST_F(DistanceTest, AttemptsFollowTheSelectionAndTheConnectMode) {
    tick(true);
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    ASSERT_TRUE(stacked(2));

    // Another supported reader: the log is cleared and the attempts go on with it.
    ASSERT_TRUE(pickReader(*m_form, kContactlessReader));
    ASSERT_TRUE(stacked(2));
    EXPECT_NE(logLines().front(), "ATR: 3B 88 80 31 FE 45 80 31 C0 73 C8 21 10 01 78 ");

    // An unsupported entry is not connected by the selection, but by the ticks after it.
    ASSERT_TRUE(pickReader(*m_form, kEmptyReader));
    EXPECT_EQ(status(), "The Reader is not support, select another please !!!");
    ASSERT_TRUE(waitUntil([&] { return status() == "Card Detecting..."; }));
    EXPECT_EQ(log(), "");
    // Direct mode reaches the empty reader itself: an empty ATR.
    connectMode(2);
    ASSERT_TRUE(waitUntil([&] { return logLines().front() == "ATR: " && atrLines() >= 2; }));

    // Text typed over the selector names no reader: no attempt until an entry is chosen.
    auto* readers = get<QComboBox>("ReaderComboBox");
    QTest::keyClicks(readers->lineEdit(), "x");
    const QString before = log();
    settle(400);
    EXPECT_EQ(log(), before);
    EXPECT_TRUE(running());
    m_form->close();
    EXPECT_NE(trace().find("Call Ktx_SCardConnect, SCARD_SHARE_DIRECT"), std::string::npos);
    EXPECT_TRUE(m_boxes.seen().empty());
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
