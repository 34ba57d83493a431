// What --list says of an ATR, and the command line's refusals.
#include "atr.h"
#include "options.h"

#include <gtest/gtest.h>

using namespace tessary::run;

namespace {

Bytes bytes(const char* hex) {
    return ParseScript(hex).commands.at(0).apdu;
}

TEST(DescribeAtr, ConventionProtocolsHistoricalBytesAndFamily) {
    const std::pair<const char*, const char*> cases[] = {
        {"3B 88 80 31 FE 45 80 31 C0 73 C8 21 10 01 78",
         "direct convention, T=0 and T=1, historical bytes 80 31 C0 73 C8 21 10 01"},
        {"3B 88 80 01 80 31 C0 73 C8 21 10 01 F3",
         "direct convention, contactless, T=1, historical bytes 80 31 C0 73 C8 21 10 01"},
        {"3B 64 00 00 A2 13 10 91",
         "direct convention, T=0, historical bytes A2 13 10 91: SLE4442 or SLE4432 memory card"},
        {"3B 64 00 00 92 23 10 91",
         "direct convention, T=0, historical bytes 92 23 10 91: SLE4428 or SLE4418 memory card"},
        {"A2 13 10 91", "SLE4442 or SLE4432 memory card (the chip's own ATR)"},
        {"3B 04 A2 13 10 91",
         "direct convention, T=0, historical bytes A2 13 10 91: SLE4442 or SLE4432 memory card"},
        {"3B 04 92 23 10 91",
         "direct convention, T=0, historical bytes 92 23 10 91: SLE4428 or SLE4418 memory card"},
        {"3F 00", "inverse convention, T=0, no historical bytes"},
        {"3B 02 14 50", "direct convention, T=0, historical bytes 14 50"},
        {"3B 81 81 01 01 00", "direct convention, T=1, historical bytes 01"},
        {"3B 81 81 01 01 01", "direct convention, T=1, historical bytes 01, check byte wrong"},
        {"3B 88 80 31 FE 45 80", "direct convention, T=0 and T=1, cut short after 7 bytes"},
        {"3B 80", "direct convention, cut short after 2 bytes"},
        {"3B 00 00", "direct convention, T=0, no historical bytes, 1 byte after its end"},
        {"3B", "direct convention, cut short after 1 byte"},
        {"A2 13 10 92", "no ISO ATR: it starts with A2, not 3B or 3F"},
    };
    for (const auto& [atr, says] : cases) {
        EXPECT_EQ(DescribeAtr(bytes(atr)), says) << atr;
    }
    EXPECT_EQ(DescribeAtr({}), "no ATR");
}

TEST(ReadOptions, UsageErrorsLeaveWithStatusTwo) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{}, "no file to run"},
        {{"--list", "a.apdu"}, "--list takes no files"},
        {{"-m", "direct-ish", "a"}, "--mode is shared, exclusive or direct, not 'direct-ish'"},
        {{"-n", "0", "a"}, "--repeat takes a number from 1 to 1000000, not '0'"},
        {{"-n", "-1", "a"}, "--repeat takes a number from 1 to 1000000, not '-1'"},
        {{"-i", "3600001", "a"}, "--interval takes milliseconds from 0 to 3600000"},
        {{"-i", " 5", "a"}, "--interval takes milliseconds from 0 to 3600000"},
        {{"--format", "csv", "a"}, "--format is queue or script, not 'csv'"},
        {{"--expect", "90", "a"}, "--expect: the response pattern cannot match"},
        {{"--get-response", "-m", "direct", "a"}, "--get-response is for cards"},
        {{"-r"}, "Missing value after '-r'."},
    };
    for (const auto& [arguments, error] : cases) {
        std::vector<std::string> argv{"tessary-run"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const Options options = ReadOptions(argv);
        EXPECT_EQ(options.exitStatus, 2) << error;
        EXPECT_NE(options.error.find(error), std::string::npos) << options.error;
        EXPECT_NE(options.error.find("\nUsage: tessary-run "), std::string::npos);
    }
    const Options good = ReadOptions({"tessary-run", "-r", "KALDOR", "-m", "exclusive", "-i", "10",
                                      "-n", "3", "--expect", "..9000", "a", "-"});
    EXPECT_EQ(good.exitStatus, -1) << good.error;
    EXPECT_EQ(good.files, (std::vector<std::string>{"a", "-"}));
    EXPECT_EQ(good.shareMode, 1u);
    EXPECT_EQ(good.intervalMs, 10u);
    EXPECT_EQ(good.repeat, 3u);
    EXPECT_EQ(FormatPattern(*good.expect), ".. 90 00");
}

} // namespace
