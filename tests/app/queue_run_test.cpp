// SPDX-License-Identifier: BSD-3-Clause
// The queue's Add, Select, Save and Load, and the automatic run's steps, over recording
// views and the fake service.
#include "auto_run.h"
#include "fake_pcsc.h"
#include "recording_views.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

// The peak resident memory since the last reset, in KiB; the reset starts it afresh.
long peakKiB(bool reset = false) {
    if (reset) {
        std::ofstream("/proc/self/clear_refs") << "5";
    }
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

class RecordingQueue : public QueueView {
public:
    std::string commandName() const override { return name; }
    void setCommandName(const std::string& text) override { name = text; }
    void appendItem(const std::string& item) override { items.push_back(item); }
    void clearItems() override {
        items.clear();
        selected = -1;
    }
    int selectedIndex() const override { return selected; }
    void selectItem(int index) override { selected = index; }
    void disableAdd() override { addDisabled = true; }
    void setSaveImage(const std::vector<std::string>& lines) override { image = lines; }
    void showMessage(const std::string& text) override { boxes.push_back(text); }
    void showErrorBox(const std::string& text) override { boxes.push_back(text); }

    std::string name;
    std::vector<std::string> items, image, boxes;
    int selected = -1;
    bool addDisabled = false;
};

class RecordingRun : public RunView {
public:
    int runModeIndex() const override { return mode; }
    void setGenerateEnabled(bool enabled) override { generate = enabled; }
    void setIntervalEnabled(bool enabled) override { intervalEnabled = enabled; }
    std::string intervalText() const override { return interval; }
    void setIntervalText(const std::string& text) override { interval = text; }
    std::string intervalCaption() const override { return "Cmd Interval"; }
    void setTimerInterval(int milliseconds) override { timerInterval = milliseconds; }
    void setAutoCmdTimer(bool running) override { timer = running; }
    void setSaveLoadEnabled(bool enabled) override { saveLoad = enabled; }
    void showErrorBox(const std::string& text) override {
        boxes.push_back(text);
        timerUnderBox = timer;
    }

    int mode = kManualOperation, timerInterval = 200;
    std::string interval = "20";
    bool generate = true, intervalEnabled = false, timer = false, saveLoad = true;
    bool timerUnderBox = false;
    std::vector<std::string> boxes;
};

class QueueAndRun : public ::testing::Test {
protected:
    void SetUp() override {
        fakepcsc::reset();
        connection.FormCreate();
        page.setRunStarter(&run);
        m_folder = fs::temp_directory_path() / ("tessary-run-" + std::to_string(::getpid()));
        fs::create_directories(m_folder);
    }
    void TearDown() override {
        connection.FormClose();
        fakepcsc::reset();
        fs::remove_all(m_folder);
    }
    void add(const std::string& name, const std::string& request) {
        queueView.name = name;
        consoleView.request = request;
        page.CkeckLengthBitBtnClick();
        queue.AddCmdBitBtnClick();
    }
    void automatic() {
        runView.mode = kAutomatic;
        run.RGRunModeClick();
    }
    std::vector<std::string> sent() const {
        std::vector<std::string> lines;
        for (const auto& call : fakepcsc::callsOf("SCardTransmit")) {
            lines.push_back(FormatDataLine("", call.bytes.data(), call.bytes.size()));
        }
        return lines;
    }
    std::string path(const char* name) const { return (m_folder / name).string(); }

    RecordingWindow readerView;
    ReaderConnection connection{readerView};
    RecordingConsole consoleView;
    ConsolePage page{consoleView, connection};
    RecordingQueue queueView;
    CommandQueue queue{queueView, consoleView};
    RecordingRun runView;
    AutoRun run{runView, queue, page};
    fs::path m_folder;
};

TEST_F(QueueAndRun, AddRefusesWhatTheTableCannotHoldAndCutsNothing) {
    struct Case {
        std::string name, request, box;
    };
    const Case cases[] = {
        {std::string(127, 'n'), std::string(787, '0'), ""},
        {std::string(128, 'n'), "00", "A command name holds at most 127 characters."},
        {"R", std::string(788, '0'), "A queued request holds at most 787 characters."},
    };
    for (const auto& c : cases) {
        queueView.boxes.clear();
        const std::size_t before = queueView.items.size();
        add(c.name, c.request);
        EXPECT_EQ(queueView.boxes,
                  c.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box});
        EXPECT_EQ(queueView.items.size(), before + (c.box.empty() ? 1 : 0));
    }
    // The longest command that Add takes survives Save and Load whole.
    queue.Save(path("longest.txt"));
    queue.Load(path("longest.txt"));
    EXPECT_EQ(queue.commandTable()[0].name, std::string(127, 'n'));
    EXPECT_EQ(queue.commandTable()[0].request, std::string(787, '0'));
    // A line break is kept as two blanks: the file keeps four lines per command.
    add("B", "00 A4\r\n00 00");
    EXPECT_EQ(queue.commandTable()[1].request, "00 A4  00 00");
    EXPECT_EQ(queue.commandTable()[1].length, 4);
    while (queue.count() < 100) {
        add("x", "00");
    }
    queueView.boxes.clear();
    add("one too many", "00");
    EXPECT_EQ(queueView.boxes,
              std::vector<std::string>{"The queue is full: it holds at most 100 commands."});
    EXPECT_EQ(queueView.items.size(), 100u);
    EXPECT_EQ(queueView.image.size(), 400u);
}

TEST_F(QueueAndRun, LoadThatFailsLeavesTheQueueAsItWas) {
    add("kept", "00 84 00 00 08");
    std::ofstream(path("long.txt"), std::ios::binary) << "A\r\n5\r\n" << std::string(788, '0');
    const std::pair<std::string, std::string> cases[] = {
        {path("missing.txt"), "Cannot open file " + path("missing.txt")},
        {path("long.txt"), "Line 3 of " + path("long.txt") +
                               " is longer than 787 characters; the queue is left as it was."},
    };
    for (const auto& [file, box] : cases) {
        queueView.boxes.clear();
        queue.Load(file);
        EXPECT_EQ(queueView.boxes, std::vector<std::string>{box});
        EXPECT_EQ(queueView.items, std::vector<std::string>{"kept"});
        EXPECT_EQ(queueView.image.size(), 4u);
    }
    queue.Save(path("long.txt/q.txt"));
    EXPECT_EQ(queueView.boxes.back(), "Cannot create file " + path("long.txt/q.txt"));
}

TEST_F(QueueAndRun, LoadCompletesALastCommandAndStopsAtTheHundredth) {
    std::ofstream(path("short.txt"), std::ios::binary) << "A\n  5\n00 84 00 00 08";
    queue.Load(path("short.txt"));
    add("B", "00");
    EXPECT_EQ(queueView.image,
              (std::vector<std::string>{"A", "  5", "00 84 00 00 08", "", "B", "  1", "00", ""}));
    std::ofstream many(path("many.txt"), std::ios::binary);
    for (int i = 0; i < 101; ++i) {
        many << "C" << i << "\r\n  1\r\n00\r\n\r\n";
    }
    many.close();
    queue.Load(path("many.txt"));
    EXPECT_EQ(queue.count(), 100);
    EXPECT_EQ(queueView.items.back(), "C99");
    EXPECT_EQ(queueView.boxes.back(), path("many.txt") +
                                          " holds more than 100 commands; the queue holds the "
                                          "first 100, read from it.");
}

// Files that no operator means to load: each gets a clear box, the queue stays as it was,
// and reading one takes bounded memory.
TEST_F(QueueAndRun, HostileFilesLeaveTheQueueAsItWas) {
    const std::string original = "A\r\n  2\r\n00 84\r\n\r\nB\r\n  1\r\nFF\r\n\r\n";
    std::ofstream(path("good.txt"), std::ios::binary) << original;
    queue.Load(path("good.txt"));
    ASSERT_EQ(queueView.items, (std::vector<std::string>{"A", "B"}));

    std::mt19937 random(14);
    std::string garbage(65536, '\0');
    for (char& c : garbage) {
        c = static_cast<char>(random());
    }
    std::ofstream(path("garbage.txt"), std::ios::binary) << garbage;
    {
        // One command, then a line of 100 MB.
        std::ofstream big(path("big.txt"), std::ios::binary);
        big << "A\r\n  2\r\n00 84\r\n\r\n";
        const std::string chunk(1 << 20, 'A');
        for (int i = 0; i < 100; ++i) {
            big << chunk;
        }
    }
    fs::create_directory(path("folder.txt"));
    std::ofstream(path("locked.txt")) << original;
    ::chmod(path("locked.txt").c_str(), 0);

    const struct {
        std::string file;
        std::string box; // the whole text, or its start when it ends in "..."
    } cases[] = {
        {path("garbage.txt"), "Line 1 of " + path("garbage.txt") + " holds a zero byte..."},
        {path("big.txt"), "Line 5 of " + path("big.txt") +
                              " is longer than 787 characters; the queue is left as it was."},
        {path("folder.txt"), "Cannot open file " + path("folder.txt")},
        {path("locked.txt"), "Cannot open file " + path("locked.txt")},
        // Opens, but every read fails.
        {"/proc/self/mem", "Cannot open file /proc/self/mem"},
    };
    for (const auto& c : cases) {
        queueView.boxes.clear();
        const long before = peakKiB(true);
        // Root reads any file: the locked one is tried as nobody.
        const bool asNobody = c.file.ends_with("locked.txt") && ::geteuid() == 0;
        ASSERT_TRUE(!asNobody || ::seteuid(65534) == 0);
        queue.Load(c.file);
        ASSERT_TRUE(!asNobody || ::seteuid(0) == 0);
        EXPECT_LT(peakKiB() - before, 16 * 1024) << c.file;
        ASSERT_EQ(queueView.boxes.size(), 1u) << c.file;
        const std::string& box = queueView.boxes[0];
        if (c.box.ends_with("...")) {
            EXPECT_TRUE(box.starts_with(c.box.substr(0, c.box.size() - 3))) << box;
        } else {
            EXPECT_EQ(box, c.box);
        }
        EXPECT_EQ(queueView.items, (std::vector<std::string>{"A", "B"})) << c.file;
        queue.Save(path("saved.txt"));
        std::ifstream saved(path("saved.txt"), std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), original) << c.file;
    }
}

TEST_F(QueueAndRun, RunSendsFromTheSelectedCommandToTheLast) {
    add("one", "00 84 00 00 01");
    add("two", "00 84 00 00 02");
    add("three", "00 84 00 00 03");
    queueView.selected = 1;
    automatic();
    EXPECT_FALSE(runView.generate);
    EXPECT_TRUE(runView.intervalEnabled);
    page.SendSmartCardBitBtnClick(); // starts the run, sends nothing
    EXPECT_TRUE(runView.timer);
    EXPECT_FALSE(runView.saveLoad);
    EXPECT_TRUE(sent().empty());
    run.AutoCmdTimerTimer();
    run.AutoCmdTimerTimer();
    EXPECT_EQ(sent(), (std::vector<std::string>{"00 84 00 00 02 ", "00 84 00 00 03 "}));
    EXPECT_FALSE(runView.timer);
    EXPECT_TRUE(runView.saveLoad);
    EXPECT_EQ(queueView.selected, 2);
    EXPECT_FALSE(run.autoRunActive());

    // A run over one command sends it once and ends at its first tick.
    page.SendSmartCardBitBtnClick();
    run.AutoCmdTimerTimer();
    EXPECT_EQ(sent().size(), 3u);
    EXPECT_FALSE(runView.timer);
}

TEST_F(QueueAndRun, ManualOperationMidRunLetsOneMoreCommandGo) {
    for (const char* request : {"00 84 00 00 01", "00 84 00 00 02", "00 84 00 00 03"}) {
        add("c", request);
    }
    automatic();
    page.SendSmartCardBitBtnClick();
    run.AutoCmdTimerTimer();
    runView.mode = kManualOperation;
    run.RGRunModeClick();
    EXPECT_TRUE(runView.timer);
    run.AutoCmdTimerTimer();
    EXPECT_EQ(sent().size(), 2u);
    EXPECT_FALSE(runView.timer);
    EXPECT_TRUE(runView.saveLoad);
    EXPECT_TRUE(runView.generate);
    page.SendSmartCardBitBtnClick(); // manual again: sends at once
    EXPECT_EQ(sent().size(), 3u);
}

TEST_F(QueueAndRun, FailedAndEmptyCommandsDoNotStopTheRun) {
    add("fails", "00 84 00 00 01");
    add("empty", "");
    add("last", "00 84 00 00 03");
    automatic();
    page.SendSmartCardBitBtnClick();
    fakepcsc::script().results["SCardTransmit"] = SCARD_W_REMOVED_CARD;
    run.AutoCmdTimerTimer();
    EXPECT_EQ(consoleView.log.back(), "KTX_PCSC_SCARDTRANSMIT_ERR of Receive Data.\n");
    fakepcsc::script().results.clear();
    run.AutoCmdTimerTimer();
    EXPECT_EQ(consoleView.status, "No Data Inputed.");
    EXPECT_TRUE(runView.timer);
    run.AutoCmdTimerTimer();
    EXPECT_EQ(sent().size(), 2u);
    EXPECT_EQ(consoleView.log.back(), "Receive Data: 90 00 ");
    EXPECT_FALSE(runView.timer);
}

TEST_F(QueueAndRun, AConversionFailureEndsTheRunBeforeItsBoxOpens) {
    add("bad", "00 G1 00");
    add("good", "00 84 00 00 02");
    automatic();
    page.SendSmartCardBitBtnClick();
    run.AutoCmdTimerTimer();
    EXPECT_EQ(runView.boxes, std::vector<std::string>{"'0xG1' is not a valid integer value"});
    EXPECT_FALSE(runView.timerUnderBox);
    EXPECT_TRUE(runView.saveLoad);
    EXPECT_FALSE(run.autoRunActive());
    EXPECT_TRUE(consoleView.errors.empty()); // the step's box, not a second one
    EXPECT_TRUE(sent().empty());
}

TEST_F(QueueAndRun, AnEmptyQueueEndsAtTheFirstTick) {
    automatic();
    page.SendSmartCardBitBtnClick();
    EXPECT_TRUE(runView.timer);
    run.AutoCmdTimerTimer();
    EXPECT_FALSE(runView.timer);
    EXPECT_TRUE(runView.saveLoad);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(consoleView.request, "");
}

TEST_F(QueueAndRun, TheIntervalFieldSetsTheTimerInStepsOfTenMilliseconds) {
    struct Case {
        std::string text;
        int timer;
        std::string field, box;
    };
    const Case cases[] = {
        {"1", 10, "1", ""},
        {"9999", 99990, "9999", ""},
        {"0", 99990, "20", "Cmd Interval Range (1-9999)"}, // the timer keeps its interval
        {"-3", 99990, "20", "Cmd Interval Range (1-9999)"},
        {"", 99990, "", "'' is not a valid integer value"},
        {"1x", 99990, "1x", "'1x' is not a valid integer value"},
        {"50", 500, "50", ""},
    };
    for (const auto& c : cases) {
        runView.boxes.clear();
        runView.interval = c.text;
        run.EditCmdIntervalExit();
        EXPECT_EQ(runView.timerInterval, c.timer) << c.text;
        EXPECT_EQ(runView.interval, c.field) << c.text;
        EXPECT_EQ(runView.boxes,
                  c.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box})
            << c.text;
    }
}

} // namespace
