// SPDX-License-Identifier: BSD-3-Clause
// The queue file both ways: lines and their ends, the limits, hostile input, and a save
// that replaces a file whole or not at all.
#include "file_write.h"
#include "queue_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessary;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
using Fault = QueueFileLines::Fault;

std::string repeat(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

std::string commands(std::size_t count) {
    return repeat("A\r\n  5\r\n00 84 00 00 08\r\n\r\n", count);
}

TEST(QueueFile, EachLineLosesExactlyItsLineEnd) {
    const std::pair<std::string, Lines> cases[] = {
        {"A\r\n  5\r\n00 A4\r\n\r\n", {"A", "  5", "00 A4", ""}},
        {"A\n  5\n00 A4\n\n", {"A", "  5", "00 A4", ""}}, // written on Linux
        {"A\r\n  5\r\n00 A4", {"A", "  5", "00 A4"}},     // last line without its end
        {"\r\n", {""}},
        {"", {}},
        {"x\ry\r\n\r", {"x\ry", "\r"}}, // a CR alone ends nothing
        {"N\xC3\xA4me\n", {"N\xC3\xA4me"}},
    };
    for (const auto& [bytes, lines] : cases) {
        const QueueFileLines file = ParseQueueFile(bytes);
        EXPECT_EQ(file.fault, Fault::None) << bytes;
        EXPECT_EQ(file.lines, lines) << bytes;
        EXPECT_FALSE(file.moreCommands);
    }
    // A single empty line is one command with an empty name.
    const auto single = CommandsOfLines({""});
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].name, "");
    EXPECT_EQ(single[0].length, 0);
    const auto partial = CommandsOfLines({"A", "  5", "00 A4", "", "B", "17"});
    ASSERT_EQ(partial.size(), 2u);
    EXPECT_EQ(partial[0].length, 5);
    EXPECT_EQ(partial[0].request, "00 A4");
    EXPECT_EQ(partial[1].length, 17);
    EXPECT_EQ(partial[1].request, "");
}

TEST(QueueFile, LengthIsTheLeadingNumber) {
    const std::pair<std::string, int32_t> cases[] = {
        {"  5", 5},   {"17", 17},  {"", 0},   {"abc", 0},
        {"12ab", 12}, {"\t 9", 9}, {"-5", 0}, {"99999999999", INT32_MAX},
    };
    for (const auto& [line, value] : cases) {
        EXPECT_EQ(LeadingNumber(line), value) << line;
    }
}

TEST(QueueFile, ReadingStopsAtTheFirstLineNoQueueFileHolds) {
    struct Case {
        std::string bytes;
        Fault fault;
        std::size_t line;
    };
    const std::string dash = "\xE2\x80\x93"; // one character of three bytes
    const Case cases[] = {
        {std::string(127, 'n') + "\r\n5\r\n" + std::string(787, '0') + "\r\n\r\n", Fault::None, 0},
        {repeat(dash, 127) + "\n5\n" + repeat(dash, 787) + "\n", Fault::None, 0},
        {std::string(128, 'n') + "\r\n", Fault::NameTooLong, 1},
        {"A\r\n5\r\n" + std::string(788, '0') + "\r\n", Fault::LineTooLong, 3},
        {"A\r\n5\r\n" + repeat(dash, 788), Fault::LineTooLong, 3},
        {"A\r\n5\0\r\n"s, Fault::ZeroByte, 2},
        {std::string(50'000'000, 'x'), Fault::LineTooLong, 1}, // no line end at all
        {commands(99) + std::string(900, 'x') + "\n", Fault::LineTooLong, 397},
    };
    for (const auto& c : cases) {
        const QueueFileLines file = ParseQueueFile(c.bytes);
        EXPECT_EQ(file.fault, c.fault) << c.bytes.substr(0, 40);
        EXPECT_EQ(file.faultLine, c.line) << c.bytes.substr(0, 40);
    }
    const QueueFileLines name = ParseQueueFile(std::string(128, 'n'));
    EXPECT_EQ(QueueFileFaultText(name, "q.txt"),
              "Line 1 of q.txt names a command in more than 127 characters; the queue is left "
              "as it was.");
}

TEST(QueueFile, AtMostOneHundredCommandsAreRead) {
    EXPECT_FALSE(ParseQueueFile(commands(100)).moreCommands);
    const QueueFileLines more = ParseQueueFile(commands(100) + "B");
    EXPECT_TRUE(more.moreCommands);
    EXPECT_EQ(more.lines.size(), 400u);
    EXPECT_EQ(more.fault, Fault::None);
    // Whatever follows the 100th command is not looked at.
    const QueueFileLines garbage = ParseQueueFile(commands(100) + std::string(5000, '\0'));
    EXPECT_TRUE(garbage.moreCommands);
    EXPECT_EQ(garbage.fault, Fault::None);
}

class QueueFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() / ("tessary-queue-" + std::to_string(::getpid()));
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }
    std::string path(const char* name) const { return (m_folder / name).string(); }
    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path m_folder;
};

TEST_F(QueueFileOnDisk, OnlyRegularFilesAreRead) {
    EXPECT_FALSE(ReadQueueFile(path("missing.txt")).opened);
    EXPECT_FALSE(ReadQueueFile(m_folder.string()).opened);
    ASSERT_EQ(::mkfifo(path("pipe.txt").c_str(), 0600), 0);
    EXPECT_FALSE(ReadQueueFile(path("pipe.txt")).opened); // refused, not waited on

    // A huge file is read only as far as it matters.
    std::ofstream(path("huge.txt"), std::ios::binary) << commands(100) << std::string(1 << 20, 'x');
    fs::resize_file(path("huge.txt"), 1ull << 32);
    const QueueFileRead huge = ReadQueueFile(path("huge.txt"));
    EXPECT_TRUE(huge.opened);
    EXPECT_TRUE(huge.content.moreCommands);
}

TEST_F(QueueFileOnDisk, SavingReplacesTheFileWholeOrNotAtAll) {
    const std::string file = path("queue.txt");
    ASSERT_TRUE(WriteQueueFile(file, {"A", "  5", "00 84 00 00 08", ""}));
    EXPECT_EQ(contents(file), "A\r\n  5\r\n00 84 00 00 08\r\n\r\n");
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(WriteQueueFile(file, {"B"}));
    EXPECT_EQ(contents(file), "B\r\n");
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);

    // Through a link the file is replaced and the link stays.
    fs::create_symlink(file, path("link.txt"));
    ASSERT_TRUE(WriteQueueFile(path("link.txt"), {"C"}));
    EXPECT_TRUE(fs::is_symlink(path("link.txt")));
    EXPECT_EQ(contents(file), "C\r\n");

    // A failure leaves what was there, and no temporary file.
    fs::create_directory(path("folder.txt"));
    EXPECT_FALSE(WriteQueueFile(path("folder.txt"), {"D"}));
    EXPECT_FALSE(WriteQueueFile(path("queue.txt/inside.txt"), {"D"}));
    EXPECT_FALSE(WriteQueueFile(path("nowhere/queue.txt"), {"D"}));
    EXPECT_EQ(contents(file), "C\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 3);
}

TEST_F(QueueFileOnDisk, WhatIsNoRegularFileIsNeverReplaced) {
    // A pipe, and a link to one, are refused and stay what they were.
    ASSERT_EQ(::mkfifo(path("pipe.txt").c_str(), 0600), 0);
    fs::create_symlink(path("pipe.txt"), path("to-pipe.txt"));
    for (const char* name : {"pipe.txt", "to-pipe.txt"}) {
        const FileWrite result = replaceFile(path(name), "A\r\n");
        EXPECT_FALSE(result.written) << name;
        EXPECT_EQ(result.error, "is not a regular file") << name;
    }
    EXPECT_TRUE(fs::is_fifo(path("pipe.txt")));
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 2);
}

TEST_F(QueueFileOnDisk, AWritableFileInAFolderTakingNoNewFileIsWrittenInPlace) {
    const std::string file = path("shared.txt");
    ASSERT_TRUE(WriteQueueFile(file, {"A"}));
    ::chmod(file.c_str(), 0666);
    ::chmod(m_folder.c_str(), 0755);
    // Someone else's folder: as root, permissions would not stop us, so the write runs
    // as nobody.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        if (::geteuid() != 0) {
            ::chmod(m_folder.c_str(), 0555); // not root: make the folder ours to refuse
        }
        ::_exit(WriteQueueFile(file, {"B"}) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(m_folder.c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(contents(file), "B\r\n");
}

TEST_F(QueueFileOnDisk, ASaveKilledAtAnyMomentLeavesTheOldFileOrTheNewOneWhole) {
    // Full queues of the longest requests, about 80 KB each.
    const auto queue = [](char fill) {
        Lines lines;
        for (int i = 0; i < 100; ++i) {
            lines.insert(lines.end(), {"Command " + std::to_string(i), "262",
                                       std::string(kMaxRequestLength, fill), ""});
        }
        return lines;
    };
    const Lines a = queue('A');
    const Lines b = queue('B');
    const std::string file = path("queue.txt");
    ASSERT_TRUE(WriteQueueFile(file, a));
    for (int round = 0; round < 20; ++round) {
        // A process saving one queue after the other until it is killed, each time at
        // another point of a save.
        const pid_t saver = ::fork();
        if (saver == 0) {
            for (;;) {
                WriteQueueFile(file, b);
                WriteQueueFile(file, a);
            }
        }
        ASSERT_GT(saver, 0);
        ::usleep(static_cast<useconds_t>(2000 + round * 577));
        ::kill(saver, SIGKILL);
        ::waitpid(saver, nullptr, 0);
        const std::string text = contents(file);
        EXPECT_TRUE(text == FormatQueueFile(a) || text == FormatQueueFile(b))
            << "round " << round << ": " << text.size() << " bytes";
    }
}

} // namespace
