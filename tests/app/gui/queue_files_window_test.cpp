// Queue files that no operator means to load, through the window's Load: each gets a
// clear box, the queue stays as it was, and reading one takes bounded memory.
#include "gui_support.h"

#include <gtest/gtest.h>

#include <QListWidget>

#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace guitest;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

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

class QueueFiles : public WindowTest {
protected:
    void load(const std::string& file) {
        m_form->OpenCmdDialogCanClose(QString::fromStdString(file));
        m_form->OpenCmdDialogClose(true);
    }
    QStringList names() {
        QStringList all;
        auto* list = get<QListWidget>("CmdListBox");
        for (int i = 0; i < list->count(); ++i) {
            all << list->item(i)->text();
        }
        return all;
    }
    std::string saved() {
        m_form->SaveCmdDialogCanClose(QString::fromStdString(path("saved.txt")));
        m_form->SaveCmdDialogClose(true);
        return slurp(path("saved.txt"));
    }
};

TEST_F(QueueFiles, HostileFilesLeaveTheQueueAsItWas) {
    const std::string original = "A\r\n  2\r\n00 84\r\n\r\nB\r\n  1\r\nFF\r\n\r\n";
    std::ofstream(path("good.txt"), std::ios::binary) << original;
    load(path("good.txt"));
    ASSERT_EQ(names(), QStringList({"A", "B"}));

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
    std::filesystem::create_directory(path("folder.txt"));
    std::ofstream(path("locked.txt")) << original;
    ::chmod(path("locked.txt").c_str(), 0);

    const std::string kept = "; the queue is left as it was.";
    const struct {
        std::string file;
        std::string box; // the whole text, or its start when it ends in "..."
    } cases[] = {
        {path("garbage.txt"), "Line 1 of " + path("garbage.txt") + " holds a zero byte..."},
        {path("big.txt"), "Line 5 of " + path("big.txt") + " is longer than 787 characters" + kept},
        {path("folder.txt"), "Cannot open file " + path("folder.txt")},
        {path("locked.txt"), "Cannot open file " + path("locked.txt")},
        // Opens, but every read fails.
        {"/proc/self/mem", "Cannot open file /proc/self/mem"},
    };
    for (const auto& c : cases) {
        m_boxes.clear();
        const long before = peakKiB(true);
        // Root reads any file: the locked one is tried as nobody.
        const bool asNobody = c.file.ends_with("locked.txt") && ::geteuid() == 0;
        ASSERT_TRUE(!asNobody || ::seteuid(65534) == 0);
        load(c.file);
        ASSERT_TRUE(!asNobody || ::seteuid(0) == 0);
        EXPECT_LT(peakKiB() - before, 16 * 1024) << c.file;
        ASSERT_EQ(m_boxes.seen().size(), 1u) << c.file;
        const std::string box = m_boxes.seen()[0].text.toStdString();
        if (c.box.ends_with("...")) {
            EXPECT_TRUE(box.starts_with(c.box.substr(0, c.box.size() - 3))) << box;
        } else {
            EXPECT_EQ(box, c.box);
        }
        EXPECT_EQ(m_boxes.seen()[0].icon, QMessageBox::Critical);
        EXPECT_EQ(names(), QStringList({"A", "B"})) << c.file;
        EXPECT_EQ(saved(), original) << c.file;
    }

    // 10,000 lines of commands: the queue takes the first 100, as many as it holds, and
    // says so; nothing past them is read.
    {
        std::ofstream many(path("many.txt"), std::ios::binary);
        for (int i = 0; i < 2500; ++i) {
            many << "Command " << i << "\r\n  2\r\n00 84\r\n\r\n";
        }
    }
    m_boxes.clear();
    load(path("many.txt"));
    ASSERT_EQ(m_boxes.seen().size(), 1u);
    EXPECT_EQ(m_boxes.seen()[0].text.toStdString(),
              path("many.txt") +
                  " holds more than 100 commands; the queue holds the first 100, read from it.");
    const QStringList loaded = names();
    ASSERT_EQ(loaded.size(), 100);
    EXPECT_EQ(loaded.back(), "Command 99");
}

} // namespace
