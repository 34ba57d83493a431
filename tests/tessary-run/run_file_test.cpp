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

TEST(QueueFileShape, RecognisedByItsFourLineGroupsOnly) {
    const std::pair<std::string, bool> cases[] = {
        {kQueue, true},
        {"A\n5\n00 A4\n\n", true},        // LF line ends, no padding
        {"\n  0\n\n\n", true},            // empty name and request
        {"A\r\n  5\r\n00 A4\r\n", false}, // three lines
        {kQueue + "A\r\n", false},
        {"A\r\n 5x\r\n00 A4\r\n\r\n", false},          // second line no number
        {"A\r\n\r\n00 A4\r\n\r\n", false},             // nor empty
        {"A\r\n5 \r\n00 A4\r\n\r\n", false},           // blanks pad in front only
        {"A\r\n5\r\n00 A4\r\nB\r\n", false},           // fourth line not empty
        {"00 A4 00 00\n90\n00 B0 00 00 04\n\n", true}, // a script of this shape needs --format
        {"00 A4 00 00 02 3F 00 => 90 00\n00 84 00 00 08\n", false},
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

TEST(RunFile, TheFormatCanBeForcedEitherWay) {
    const std::string shaped = "00 A4 00 00\n90\n00 B0 00 00 04\n\n";
    const FileCommands asQueue = commandsOfFile(shaped, "f", FileFormat::Detect);
    EXPECT_EQ(asQueue.commands.at(0).name, "00 A4 00 00");
    const FileCommands asScript = commandsOfFile(shaped, "f", FileFormat::Script);
    ASSERT_EQ(asScript.commands.size(), 3u);
    EXPECT_EQ(asScript.commands[1].line, 2u);
    EXPECT_EQ(formatHex(asScript.commands[1].apdu), "90");
    // A queue that lacks its last lines, taken as a queue all the same.
    const FileCommands partial =
        commandsOfFile("A\n5\n00 84 00 00 08\n\nB\n5\n", "q.txt", FileFormat::Queue);
    EXPECT_EQ(partial.error, "q.txt:6: the command \"B\" ends before its request");
}

TEST(RunFile, FaultsNameTheFileAndLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"A\r\n  2\r\n00 G1\r\n\r\n", "q.txt:3: \"G1\" is not a hexadecimal byte"},
        {"A\r\n  2\r\n00 A4\r\n\r\nB\r\n  0\r\n\r\n\r\n",
         "q.txt:7: the command \"B\" has no request"},
        {std::string(128, 'N') + "\r\n  2\r\n00 A4\r\n\r\n",
         "q.txt:1: a command name longer than 127 characters"},
        {"A\r\n  2\r\n00 A4\0\r\n\r\n"s, "q.txt:3: a zero byte, which no queue file holds"},
        {"", "q.txt: no command in it"},
        {"# nothing but a comment\n", "q.txt: no command in it"},
        {"00 A4\n00 A\n", "q.txt:2: \"A\" has an odd number of digits"},
    };
    for (const auto& [text, error] : cases) {
        EXPECT_EQ(commandsOfFile(text, "q.txt", FileFormat::Detect).error, error) << text;
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
