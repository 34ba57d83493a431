// SPDX-License-Identifier: BSD-3-Clause
// The files a run takes: a queue file known by its shape (and only then), read as the
// workbench reads it, a script otherwise, and every fault before anything is sent.
#include "hex_text.h"
#include "run_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace tessary::run;
using tessary::formatHex;
using namespace std::string_literals;

namespace {

const std::string kQueue = "Select MF\r\n  7\r\n00 A4 00 00 02 3F 00\r\n\r\n"
                           "Challenge\r\n  5\r\n00-84-00-00-08\r\n\r\n";

TEST(QueueFileShape, TheFieldsAsTheWorkbenchSavesThem) {
    const std::pair<std::string, bool> cases[] = {
        {kQueue, true},
        {"A\n  5\n00 A4\n\n", true},            // LF line ends
        {"A\r\n330\r\n00 A4 \r\n\r\n", true},   // a length the operator typed, a last separator
        {"A\r\n  4\r\n00A40400\r\n\r\n", true}, // separators of any kind
        {"A\r\n  5\r\n00 A4\r\n", false},       // three lines
        {kQueue + "A\r\n", false},
        {"A\n5\n00 A4\n\n", false},   // the field has three places
        {"A\n 5 \n00 A4\n\n", false}, // its digits at the right
        {"A\n 5x\n00 A4\n\n", false},
        {"A\n   \n00 A4\n\n", false}, // a number in them
        {"A\n1234\n00 A4\n\n", false},
        {"A\n  2\n\n\n", false},        // no request
        {"A\n  2\n00 A\n\n", false},    // a pair cut short
        {"A\n  2\n00 A4 0\n\n", false}, // a character the console would drop
        {"A\n  2\n00 G4\n\n", false},   // no hexadecimal pair
        {"A\n  2\n00 A4\nB\n", false},  // fourth line not empty
        // Six script lines in two groups of four: the second line is no length field.
        {"00A40000023F00\n0084000008\n00B0000007\n\n00A40000023F00\n0084000008\n00B0000007\n\n",
         false},
        {"", false},
    };
    for (const auto& [text, queue] : cases) {
        EXPECT_EQ(looksLikeQueueFile(text), queue) << text;
    }
}

TEST(RunFile, QueueCommandsAreTheBytesTheWorkbenchSends) {
    const FileCommands file = commandsOfFile(kQueue, "q.txt", FileFormat::Detect);
    ASSERT_EQ(file.error, "");
    ASSERT_EQ(file.commands.size(), 2u);
    EXPECT_EQ(file.commands[0].name, "Select MF");
    EXPECT_EQ(file.commands[0].line, 3u);
    EXPECT_EQ(formatHex(file.commands[0].apdu), "00 A4 00 00 02 3F 00");
    EXPECT_EQ(file.commands[1].line, 7u);
    EXPECT_EQ(formatHex(file.commands[1].apdu), "00 84 00 00 08"); // any separator
    EXPECT_FALSE(file.commands[1].expect);
    // The console's positional rule: pairs at every third character, 00A40400 is 00 40 00.
    const FileCommands compact =
        commandsOfFile("A\r\n  4\r\n00A40400\r\n\r\n", "q.txt", FileFormat::Detect);
    EXPECT_EQ(formatHex(compact.commands.at(0).apdu), "00 40 00");
    // The same text as a script is read as a script.
    const FileCommands script = commandsOfFile("00A40400\n", "s.apdu", FileFormat::Detect);
    EXPECT_EQ(formatHex(script.commands.at(0).apdu), "00 A4 04 00");
}

TEST(RunFile, AFileThatReadsEitherWayNeedsItsFormatNamed) {
    // A queue whose names and length fields are hexadecimal pairs reads as a script too.
    const std::string either = "3F00\n 12\n00 A4 00 00 02 3F 00\n\n";
    const struct {
        std::string text;
        FileFormat format;
        FileFormat read; // Detect: refused
        std::size_t commands;
    } cases[] = {
        {either, FileFormat::Detect, FileFormat::Detect, 0},
        {either, FileFormat::Queue, FileFormat::Queue, 1},
        {either, FileFormat::Script, FileFormat::Script, 3},
        {kQueue, FileFormat::Detect, FileFormat::Queue, 2},
        {"00A40000023F00\n0084000008\n00B0000007\n\n", FileFormat::Detect, FileFormat::Script, 3},
    };
    for (const auto& c : cases) {
        const FileCommands file = commandsOfFile(c.text, "f", c.format);
        EXPECT_EQ(file.commands.size(), c.commands) << c.text;
        if (c.read == FileFormat::Detect) {
            EXPECT_EQ(file.error, "f: reads as a queue file and as a script alike; name its "
                                  "format with --format queue or --format script");
        } else {
            EXPECT_EQ(file.error, "") << c.text;
            EXPECT_EQ(file.format, c.read) << c.text;
        }
    }
    // A queue that lacks its last lines, taken as a queue all the same.
    const FileCommands partial =
        commandsOfFile("A\n5\n00 84 00 00 08\n\nB\n5\n", "q.txt", FileFormat::Queue);
    EXPECT_EQ(partial.error, "q.txt:6: the command \"B\" ends before its request");
}

TEST(RunFile, FaultsNameTheFileAndLine) {
    const auto queue = FileFormat::Queue;
    const auto detect = FileFormat::Detect;
    const struct {
        std::string text;
        FileFormat format;
        std::string error;
    } cases[] = {
        {"A\r\n  2\r\n00 G1\r\n\r\n", queue, "q.txt:3: \"G1\" is not a hexadecimal byte"},
        {"A\r\n  2\r\n00 A4\r\n\r\nB\x1B[2J\r\n  0\r\n\r\n\r\n", queue,
         "q.txt:7: the command \"B\\x1B[2J\" has no request"}, // a name's control characters
        {std::string(128, 'N') + "\r\n  2\r\n00 A4\r\n\r\n", detect,
         "q.txt:1: a command name longer than 127 characters"},
        {"A\r\n  2\r\n00 A4\0\r\n\r\n"s, detect, "q.txt:3: a zero byte, which no queue file holds"},
        {"", detect, "q.txt: no command in it"},
        {"# nothing but a comment\n", detect, "q.txt: no command in it"},
        {"00 A4\n00 A\n", detect, "q.txt:2: \"A\" has an odd number of digits"},
        // Four-line groups with a field the workbench does not write: most likely a queue.
        {"Select\n5\n00 A4\n\n", detect,
         "q.txt:1: \"Se\" is not a hexadecimal byte (read as a script; --format queue reads it "
         "as a queue file)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(commandsOfFile(c.text, "q.txt", c.format).error, c.error) << c.text;
    }
    std::string many;
    for (int i = 0; i < 101; ++i) {
        many += "A\r\n  2\r\n00 A4\r\n\r\n";
    }
    EXPECT_EQ(commandsOfFile(many, "q.txt", FileFormat::Detect).error,
              "q.txt: more than the 100 commands a queue holds");
}

TEST(RunFile, ReadsFilesAndRefusesWhatItCannotRead) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("tessary-run-file-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string script = (folder / "s.apdu").string();
    std::ofstream(script) << "00 84 00 00 08 => .. 90 00\n";
    EXPECT_EQ(loadRunFile(script, FileFormat::Detect).commands.size(), 1u);
    EXPECT_EQ(loadRunFile((folder / "none").string(), FileFormat::Detect).error,
              (folder / "none").string() + ": No such file or directory");
    EXPECT_EQ(loadRunFile(folder.string(), FileFormat::Detect).error,
              folder.string() + ": Is a directory");
    const std::string big = (folder / "big").string();
    std::ofstream{big}.close();
    std::filesystem::resize_file(big, kMaxFileSize + 1);
    EXPECT_EQ(loadRunFile(big, FileFormat::Detect).error,
              big + ": larger than 16 MiB, more than any command file");
    std::filesystem::remove_all(folder);
}

} // namespace
