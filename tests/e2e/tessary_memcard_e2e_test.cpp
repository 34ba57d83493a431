// tessary-memcard as its users run it, against the simulated memory cards in "Generic
// Reader" of the private pcscd.
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
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

    // Runs the program; `environment` goes before it on the shell's command line.
    Outcome run(const std::vector<std::string>& args, const std::string& environment = "") {
        const std::string out = file("stdout"), err = file("stderr");
        std::string command = environment + " '" TESSARY_MEMCARD "'";
        for (const auto& arg : args) {
            command += " '" + arg + "'"; // no test argument holds a quote
        }
        command += " >'" + out + "' 2>'" + err + "'";
        const int status = std::system(command.c_str());
        Outcome result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
        fs::remove(out);
        fs::remove(err);
        return result;
    }
    // A command on the card in "Generic Reader".
    Outcome onCard(const std::string& command, std::vector<std::string> args) {
        args.insert(args.begin(), {command, "-r", kEmptyReader});
        return run(args);
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
        write.push_back(file("b.img"));
        r = onCard("write", write);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_HAS(r.out, "wrote 2 bytes in 2 runs");
        ASSERT_EQ(onCard("read", with({file("d.img")})).status, 0);
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
    };
    const Row rows[] = {
        {{"sle4442", "psc=123456"},
         "counter=4",
         "123456",
         "123400",
         "7",
         "6",
         "2 attempts",
         "3 attempts"},
        {{"sle4428", "psc=ABCD"},
         "counter=128",
         "ABCD",
         "AB00",
         "0xFF",
         "0xFE",
         "7 attempts",
         "8 attempts"},
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

} // namespace
