// SPDX-License-Identifier: BSD-3-Clause
// tessary-memcard as its users run it, against the simulated memory cards in "Generic
// Reader" of the private pcscd.
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <random>
#include <sstream>
#include <thread>
#include <tuple>
#include <utmp.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace simtest;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void spit(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The image text with the bytes from `address` on replaced (hexadecimal pairs, no blanks).
std::string withBytes(std::string text, uint32_t address, const std::string& hex) {
    for (std::size_t i = 0; i < hex.size() / 2; ++i) {
        const uint32_t a = address + static_cast<uint32_t>(i);
        char row[16];
        std::snprintf(row, sizeof row, "\n%04X ", a & ~0xFu);
        const std::size_t at = text.find(row);
        EXPECT_NE(at, std::string::npos) << row;
        text.replace(at + 7 + 3 * (a & 0xF), 2, hex.substr(2 * i, 2));
    }
    return text;
}

std::vector<char*> argv(std::vector<std::string>& args) {
    std::vector<char*> pointers;
    for (std::string& arg : args) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Reads what `fd` gives into `text` until `done` says so (asked once more after that) or
// ten seconds pass.
template <typename Done>
bool readUntil(int fd, std::string& text, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool finished = false;
    while (!(finished = done()) && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        char chunk[512];
        if (::poll(&p, 1, 20) > 0) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0) {
                break;
            }
            text.append(chunk, static_cast<std::size_t>(n));
        }
    }
    return finished;
}

// The private pcscd held stopped for the scope: a frame the program sends meanwhile stays
// in flight.
class PcscdStopped {
public:
    PcscdStopped() {
        std::ifstream(fs::path(std::getenv("SIM_PCSCD_DIR")) / "pcscd.pid") >> m_pid;
        EXPECT_EQ(m_pid > 0 ? ::kill(m_pid, SIGSTOP) : -1, 0);
    }
    ~PcscdStopped() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGCONT);
        }
    }
    PcscdStopped(const PcscdStopped&) = delete;
    PcscdStopped& operator=(const PcscdStopped&) = delete;

private:
    pid_t m_pid = 0;
};

// "0229-03FC (468 bytes)", as the program counts addresses that follow one another.
std::string counted(uint32_t first, std::size_t n) {
    char text[48];
    if (n == 0) {
        return "none (0 bytes)";
    }
    if (n == 1) {
        std::snprintf(text, sizeof text, "%04X (1 byte)", first);
    } else {
        std::snprintf(text, sizeof text, "%04X-%04X (%zu bytes)", first,
                      first + static_cast<uint32_t>(n) - 1, n);
    }
    return text;
}

class MemcardTool : public ::testing::Test {
protected:
    void SetUp() override {
        restoreDefaultCards();
        ASSERT_EQ(m_context.result(), SCARD_S_SUCCESS);
        m_reader = pcscName(m_context.get(), kEmptyReader);
        // Of this process alone: other build trees may run the same test at the same time.
        m_dir = fs::path(::testing::TempDir()) /
                ("tessary-memcard-" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                 "-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void insert(const std::vector<std::string>& card) {
        restoreDefaultCards();
        std::vector<std::string> args{"insert", kEmptyReader};
        args.insert(args.end(), card.begin(), card.end());
        ASSERT_EQ(simCtl(args), 0);
        ASSERT_TRUE(waitForCard(m_context.get(), m_reader, true));
    }
    std::string file(const std::string& name) const { return (m_dir / name).string(); }
    // The text without the test folder's path, whose number may hold any digits.
    std::string withoutFolder(std::string text) const {
        const std::string folder = m_dir.string();
        for (std::size_t at; (at = text.find(folder)) != std::string::npos;) {
            text.erase(at, folder.size());
        }
        return text;
    }

    // Runs the program; `environment` goes before it on the shell's command line. Standard
    // input comes from `in`, standard output goes to `to` when one is named.
    Outcome run(const std::vector<std::string>& args, const std::string& environment = "",
                const std::string& in = "/dev/null", const std::string& to = "") {
        const std::string out = file("stdout"), err = file("stderr");
        std::string command = environment + " '" TESSARY_MEMCARD "'";
        for (const auto& arg : args) {
            command += " '" + arg + "'"; // no test argument holds a quote
        }
        command += " <'" + in + "' >'" + (to.empty() ? out : to) + "' 2>'" + err + "'";
        const int status = std::system(command.c_str());
        Outcome result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
        fs::remove(out);
        fs::remove(err);
        return result;
    }
    // A command on the card in "Generic Reader".
    Outcome onCard(const std::string& command, std::vector<std::string> args,
                   const std::string& in = "/dev/null", const std::string& to = "") {
        args.insert(args.begin(), {command, "-r", kEmptyReader});
        return run(args, "", in, to);
    }

    // The program started with its standard output on a pipe and standard error in a file.
    pid_t start(std::vector<std::string> args, int& out) {
        args.insert(args.begin(), TESSARY_MEMCARD);
        auto pointers = argv(args);
        int pipe[2];
        EXPECT_EQ(::pipe(pipe), 0);
        const std::string err = file("stderr");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(pipe[0]);
            ::dup2(pipe[1], STDOUT_FILENO);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
            ::execv(pointers[0], pointers.data());
            ::_exit(127);
        }
        ::close(pipe[1]);
        out = pipe[0];
        return pid;
    }

    struct Typed {
        int status = -1;
        std::string transcript; // all the terminal showed
        bool echoAfter = false;
    };
    // The program on a terminal of its own, the keys typed once it asks.
    Typed onTerminal(std::vector<std::string> args, const std::string& keys) {
        args.insert(args.begin(), TESSARY_MEMCARD);
        auto pointers = argv(args);
        int master = -1, slave = -1;
        Typed typed;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return typed;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(master);
            ::login_tty(slave);
            ::execv(pointers[0], pointers.data());
            ::_exit(127);
        }
        const auto asked = [&] { return typed.transcript.find("digits): ") != std::string::npos; };
        EXPECT_TRUE(readUntil(master, typed.transcript, asked)) << typed.transcript;
        EXPECT_EQ(::write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
        int status = 0;
        const auto exited = [&] { return ::waitpid(pid, &status, WNOHANG) == pid; };
        EXPECT_TRUE(readUntil(master, typed.transcript, exited)) << typed.transcript;
        readUntil(master, typed.transcript, [&] { // what came just before the end
            pollfd p{master, POLLIN, 0};
            return ::poll(&p, 1, 0) <= 0;
        });
        typed.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        termios after{};
        typed.echoAfter = ::tcgetattr(slave, &after) == 0 && (after.c_lflag & ECHO) != 0;
        ::close(master);
        ::close(slave);
        return typed;
    }

    Context m_context;
    std::string m_reader;
    fs::path m_dir;
};

#define EXPECT_HAS(text, part) EXPECT_NE((text).find(part), std::string::npos) << (text)

TEST_F(MemcardTool, EveryCardIsReadEditedAndWrittenBack) {
    struct Row {
        std::vector<std::string> card;
        std::vector<std::string> type; // what the card needs said of its type
        std::vector<std::string> psc;
        const char* counter;
    };
    const Row rows[] = {
        {{"sle4442", "psc=123456", "memory=A2131091"},
         {},
         {"--psc", "123456"},
         "counter:   07, 3 attempts left"},
        {{"sle4432", "memory=0102"}, {}, {}, "counter:   none"},
        {{"sle4428", "psc=ABCD"}, {}, {"--psc", "AB CD"}, "counter:   FF at 03FD, 8 attempts"},
        {{"sle4418"}, {"--card", "sle4418"}, {}, "counter:   none"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.card[0]);
        insert(row.card);
        const auto with = [&](std::vector<std::string> args) {
            args.insert(args.begin(), row.type.begin(), row.type.end());
            return args;
        };
        Outcome r = onCard("info", with({}));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_HAS(r.out, row.counter);
        ASSERT_EQ(onCard("read", with({file("a.img")})).status, 0);
        spit(file("b.img"), withBytes(slurp(file("a.img")), 0x40, "C0FFEE"));

        r = onCard("write", with({"--dry-run", file("b.img")}));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_HAS(r.out, "0040: FF -> C0\n0042: FF -> EE\n");
        ASSERT_EQ(onCard("read", with({file("c.img")})).status, 0);
        EXPECT_EQ(run({"diff", file("a.img"), file("c.img")}).status, 0); // nothing written

        std::vector<std::string> write = with(row.psc);
        write.push_back("-");
        r = onCard("write", write, file("b.img"));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_HAS(r.out, "wrote 2 bytes in 2 runs");
        r = onCard("read", with({"-"}));
        ASSERT_EQ(r.status, 0) << r.err;
        spit(file("d.img"), r.out);
        r = run({"diff", file("b.img"), file("d.img")});
        EXPECT_EQ(r.status, 0) << r.out;
    }
}

TEST_F(MemcardTool, AnImageThatChangesAProtectedByteWritesNothing) {
    // 0123 protected: bit 3 of the card's protection byte 24 (hexadecimal) cleared.
    insert({"sle4418", "memory=00112233", "protection=" + std::string(2 * 0x24, 'F') + "F7"});
    ASSERT_EQ(onCard("read", {"--card", "sle4418", file("a.img")}).status, 0);
    EXPECT_HAS(slurp(file("a.img")),
               "\n0120  FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF  ---P");
    spit(file("b.img"), withBytes(slurp(file("a.img")), 0x122, "000000"));
    const Outcome r = onCard("write", {file("b.img")});
    EXPECT_EQ(r.status, 1);
    EXPECT_HAS(r.err, "refused: the image changes protected bytes: 0123\n");
    EXPECT_HAS(r.err, "nothing was written");
    ASSERT_EQ(onCard("read", {"--card", "sle4418", file("c.img")}).status, 0);
    EXPECT_EQ(run({"diff", file("a.img"), file("c.img")}).status, 0);
}

TEST_F(MemcardTool, PscGuardKeepsTheLastAttemptAndCountsDownOnce) {
    struct Row {
        std::vector<std::string> card;
        const char* oneAttemptLeft;
        const char* right;
        const char* wrong;
        const char* full; // the counter as the reader shows it
        const char* afterWrong;
        const char* attemptsLeft; // after the wrong PSC
        const char* attemptsFull;
        const char* locked;
    };
    const Row rows[] = {
        {{"sle4442", "psc=123456"},
         "counter=4",
         "123456",
         "123400",
         "7",
         "6",
         "2 attempts",
         "3 attempts",
         "0"},
        {{"sle4428", "psc=ABCD"},
         "counter=128",
         "ABCD",
         "AB00",
         "0xFF",
         "0xFE",
         "7 attempts",
         "8 attempts",
         "0x00"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.card[0]);
        std::vector<std::string> lastOne = row.card;
        lastOne.push_back(row.oneAttemptLeft);
        insert(lastOne);
        const std::string kept = readerStatus(kEmptyReader)["counter"];
        Outcome r = onCard("verify", {"--psc", row.right});
        EXPECT_EQ(r.status, 1);
        EXPECT_HAS(r.err, "one PSC attempt left");
        EXPECT_EQ(readerStatus(kEmptyReader)["counter"], kept);
        // Given up, the last attempt is spent before the compare: the right PSC still unlocks
        // the card and brings every attempt back; a wrong one locks it.
        r = onCard("verify", {"--psc", row.right, "--last-attempt"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_HAS(r.out, std::string("PSC accepted; ") + row.attemptsFull + " left");
        EXPECT_EQ(readerStatus(kEmptyReader)["counter"], row.full);
        EXPECT_EQ(readerStatus(kEmptyReader)["verified"], "no");
        insert(lastOne);
        r = onCard("verify", {"--psc", row.wrong, "--last-attempt"});
        EXPECT_EQ(r.status, 1);
        EXPECT_HAS(r.err, "wrong PSC on the last attempt: the card is locked for good");
        EXPECT_EQ(readerStatus(kEmptyReader)["counter"], row.locked);

        insert(row.card);
        r = onCard("verify", {"--psc", row.wrong});
        EXPECT_EQ(r.status, 1);
        EXPECT_HAS(r.err, std::string("wrong PSC; ") + row.attemptsLeft + " left");
        EXPECT_EQ(readerStatus(kEmptyReader)["counter"], row.afterWrong);
        r = onCard("verify", {"--psc", row.right});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_HAS(r.out, std::string("PSC accepted; ") + row.attemptsFull + " left");
        EXPECT_EQ(readerStatus(kEmptyReader)["counter"], row.full);
        // The run locks the card again: a wrong PSC after it is wrong all the same.
        EXPECT_EQ(readerStatus(kEmptyReader)["verified"], "no");
        r = onCard("verify", {"--psc", row.wrong});
        EXPECT_EQ(r.status, 1);
        EXPECT_HAS(r.err, std::string("wrong PSC; ") + row.attemptsLeft + " left");
    }
}

TEST_F(MemcardTool, APulledCardIsReportedAndNoFileIsLeftHalfWritten) {
    // Pulled during a read: the image already there stays as it was.
    insert({"sle4432", "pull-after=2"}); // the type probe and the main memory
    spit(file("kept.img"), "an older image\n");
    Outcome r = onCard("read", {file("kept.img")});
    EXPECT_EQ(r.status, 2);
    EXPECT_HAS(r.err, "reading the protection memory failed");
    EXPECT_EQ(slurp(file("kept.img")), "an older image\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);

    // Pulled during a write: 3 frames read the card, 3 more the write's own read, then 5
    // bytes go in before it slips out.
    insert({"sle4432", "pull-after=11"});
    ASSERT_EQ(onCard("read", {file("a.img")}).status, 0);
    const std::string edited = withBytes(slurp(file("a.img")), 0x40, "40414243444546474849");
    spit(file("b.img"), edited);
    r = onCard("write", {file("b.img")});
    EXPECT_EQ(r.status, 2);
    EXPECT_HAS(r.err, "writing the byte at 0045 failed");
    EXPECT_HAS(r.err, "written: 0040-0044 (5 bytes)\n");
    EXPECT_HAS(r.err, "not written or not confirmed: 0045-0049 (5 bytes)\n");
    EXPECT_EQ(slurp(file("b.img")), edited);

    ASSERT_TRUE(waitForCard(m_context.get(), m_reader, false));
    ASSERT_EQ(simCtl({"reinsert", kEmptyReader}), 0);
    ASSERT_TRUE(waitForCard(m_context.get(), m_reader, true));
    ASSERT_EQ(onCard("read", {file("c.img")}).status, 0);
    r = run({"diff", file("b.img"), file("c.img")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "0045: 45 -> FF\n0046: 46 -> FF\n0047: 47 -> FF\n0048: 48 -> FF\n"
                     "0049: 49 -> FF\n");
}

TEST_F(MemcardTool, TellsWhatIsWrongAndHowToUseIt) {
    // --version and an unknown option alone: the packaging tests hold every program to them.
    Outcome r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_HAS(r.out, "  or:  tessary-memcard diff IMAGE IMAGE\n");
    EXPECT_HAS(r.out, "Examples:\n  tessary-memcard read");

    struct Case {
        std::vector<std::string> args;
        std::string environment;
        std::string error;
    };
    spit(file("bad.img"), std::string("\x7F"
                                      "ELF\x02\x01\x01\x00",
                                      8));
    spit(file("big.img"), std::string(1 << 20, 'A'));
    const Case cases[] = {
        {{"--frobnicate", "info"}, "", "Unknown option 'frobnicate'"},
        {{"read"}, "", "read takes one image file"},
        {{"diff", "a.img", "b.img", "--psc", "12"}, "", "diff takes no --psc"},
        {{"verify", "--psc", "12G456"}, "", "--psc takes the PSC as hexadecimal digits"},
        {{"info"}, "PCSCLITE_CSOCK_NAME=/nonexistent/pcscd.comm", "is pcscd running?"},
        {{"info", "-r", kEmptyReader}, "", "no card in '" + m_reader + "'"},
        {{"write", "-r", kEmptyReader, file("bad.img")}, "", file("bad.img") + ":1: "},
        {{"diff", file("big.img"), file("bad.img")},
         "",
         file("big.img") + ":1: longer than 200 characters"},
        {{"diff", file("none.img"), file("bad.img")}, "", "cannot open " + file("none.img")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        r = run(c.args, c.environment);
        EXPECT_EQ(r.status, 2);
        EXPECT_HAS(r.err, c.error);
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_HAS(run({"--frobnicate"}).err, "Usage: tessary-memcard ");

    insert({"sle4432"});
    r = onCard("info", {"--card", "sle4442"});
    EXPECT_EQ(r.status, 2);
    EXPECT_HAS(r.err, "wrong card type: the card has no security memory, so it is an SLE4432");
}

TEST_F(MemcardTool, ASignalStopsAWriteBetweenTwoFramesAndTheCardIsLockedAgain) {
    std::random_device seed;
    const unsigned draw = seed();
    std::mt19937 random(draw);
    // Starts a write of 1021 bytes and gives its pid once the PSC is accepted.
    int out = -1; // kept open: the program goes on writing its report
    const auto startWrite = [&] {
        insert({"sle4428", "psc=ABCD"});
        EXPECT_EQ(onCard("read", {file("a.img")}).status, 0);
        std::string image = slurp(file("a.img"));
        for (std::size_t at = 0; (at = image.find(" FF", at)) != std::string::npos;) {
            image.replace(at + 1, 2, "5A"); // 0000-03FC to write, 03FD (the counter) kept
        }
        spit(file("b.img"), image);
        const pid_t pid = start({"write", "-r", kEmptyReader, "--psc", "ABCD", file("b.img")}, out);
        std::string said;
        EXPECT_TRUE(
            readUntil(out, said, [&] { return said.find("PSC accepted") != std::string::npos; }));
        return pid;
    };
    // How long the writing takes here, so that the signal falls inside it.
    pid_t pid = startWrite();
    const auto accepted = std::chrono::steady_clock::now();
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(out);
    ASSERT_EQ(WEXITSTATUS(status), 0) << slurp(file("stderr"));
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - accepted);

    const std::tuple<int, int, std::string> rows[] = {{SIGINT, 130, "SIGINT"},
                                                      {SIGTERM, 143, "SIGTERM"}};
    for (const auto& [signal, exit, name] : rows) {
        pid = startWrite();
        const auto delay = std::chrono::microseconds(std::uniform_int_distribution<long>(
            0, std::max<long>(whole.count(), 3000) / 3)(random));
        SCOPED_TRACE(name + " " + std::to_string(delay.count()) + " us into the write (seed " +
                     std::to_string(draw) + ")");
        std::this_thread::sleep_for(delay);
        {
            const PcscdStopped stopped; // the signal comes while a frame is in flight
            ::kill(pid, signal);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ::close(out);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), exit);
        const std::string err = slurp(file("stderr"));
        EXPECT_HAS(err, "stopped by " + name + " between two write frames");
        EXPECT_HAS(err, "the card was reset: it is not left unlocked");
        EXPECT_EQ(readerStatus(kEmptyReader)["verified"], "no");
        EXPECT_EQ(readerStatus(kEmptyReader)["counter"], "0xFF");

        // The card holds exactly the bytes reported written: the first ones, whole.
        ASSERT_EQ(onCard("read", {file("c.img")}).status, 0);
        std::istringstream diff(run({"diff", file("b.img"), file("c.img")}).out);
        std::vector<uint32_t> missing;
        for (std::string line; std::getline(diff, line);) {
            const auto a = static_cast<uint32_t>(std::stoul(line.substr(0, 4), nullptr, 16));
            if (a != 0x3FD) {
                EXPECT_EQ(line.substr(4), ": 5A -> FF");
                missing.push_back(a);
            }
        }
        const uint32_t first = missing.empty() ? 0x3FD : missing.front();
        EXPECT_EQ(first + missing.size(), 0x3FDu); // none written after one that was not
        EXPECT_HAS(err, "\ntessary-memcard: written: " + counted(0, first) + "\n");
        EXPECT_HAS(err, "\ntessary-memcard: not written: " + counted(first, missing.size()) + "\n");
    }
}

TEST_F(MemcardTool, ThePscComesFromAFileStandardInputOrTheTerminalAndIsNeverShown) {
    insert({"sle4442", "psc=123456"});
    spit(file("right.psc"), "12 34 56\n");
    spit(file("bad.psc"), "12 34 5G\n");
    struct Case {
        std::vector<std::string> args;
        std::string in;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {{"--psc-file", file("right.psc")}, "/dev/null", 0, "PSC accepted; 3 attempts left\n"},
        {{"--psc-file", "-"}, file("right.psc"), 0, "PSC accepted; 3 attempts left\n"},
        {{"--psc-file", file("bad.psc")},
         "/dev/null",
         2,
         file("bad.psc") + ": its first line is not a PSC (hexadecimal digits"},
        {{}, "/dev/null", 2, "verify needs the PSC: --psc HEX, --psc-file FILE, or a terminal"},
        {{"--psc", "123456", "--psc-file", "-"}, "/dev/null", 2, "give the PSC once"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const Outcome r = onCard("verify", c.args, c.in);
        EXPECT_EQ(r.status, c.status);
        EXPECT_HAS(r.out + r.err, c.says);
        EXPECT_EQ(withoutFolder(r.err).find("34"), std::string::npos) << r.err;
    }

    // On a terminal it is asked for with the echo off, and the terminal is as it was after,
    // on a signal's way out too.
    const std::string prompt = "PSC of the SLE4442 in '" + m_reader + "' (6 hexadecimal digits): ";
    const std::tuple<std::string, int, std::string> typed[] = {
        {"12 34 56\n", 0, prompt + "\r\nPSC accepted; 3 attempts left\r\n"},
        {"\x03", 130, prompt + "\r\ntessary-memcard: stopped by SIGINT at the PSC prompt"},
        {"12 34\n", 2, "an SLE4442's PSC is 3 bytes (6 hexadecimal digits)"},
    };
    for (const auto& [keys, status, says] : typed) {
        SCOPED_TRACE(says);
        const Typed t = onTerminal({"verify", "-r", kEmptyReader}, keys);
        EXPECT_EQ(t.status, status);
        EXPECT_HAS(t.transcript, says);
        EXPECT_EQ(t.transcript.find("34"), std::string::npos) << t.transcript;
        EXPECT_TRUE(t.echoAfter);
    }
    EXPECT_EQ(readerStatus(kEmptyReader)["counter"], "7");
    EXPECT_EQ(readerStatus(kEmptyReader)["verified"], "no");
}

TEST_F(MemcardTool, WhatCannotReachStandardOutputFailsTheRun) {
    insert({"sle4442", "psc=123456", "protection=F0", "memory=A2131091"});
    Outcome r = onCard("info", {"--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"atr\":\"A2 13 10 91\",\"attempts_left\":3,\"card\":\"SLE4442\","
                     "\"counter\":7,\"memory_bytes\":256,\"protectable_bytes\":32,\"protected\":"
                     "[{\"first\":0,\"last\":3}],\"reader\":\"" +
                         m_reader + "\",\"type_assumed\":false}\n");
    ASSERT_EQ(onCard("read", {file("a.img")}).status, 0);
    spit(file("b.img"), withBytes(slurp(file("a.img")), 0x40, "00"));
    const std::vector<std::string> runs[] = {
        {"info", "-r", kEmptyReader},
        {"info", "-r", kEmptyReader, "--json"},
        {"read", "-r", kEmptyReader, "-"},
        {"diff", file("a.img"), file("b.img")},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args[0] + " " + args.back());
        r = run(args, "", "/dev/null", "/dev/full");
        EXPECT_EQ(r.status, 2);
        EXPECT_HAS(r.err, "cannot write standard output: No space left on device");
    }
}

} // namespace
