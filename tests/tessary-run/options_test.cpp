// SPDX-License-Identifier: BSD-3-Clause
// The command line's refusals.
#include "options.h"

#include <gtest/gtest.h>

using namespace tessary::run;

namespace {

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
        {{"--expect-sw", "90", "a"}, "--expect-sw: \"90\" is no status word"},
        {{"--expect", "90 00", "--expect-sw", "9000", "a"}, "--expect and --expect-sw both"},
        {{"-r"}, "Missing value after '-r'."},
    };
    for (const auto& [arguments, error] : cases) {
        std::vector<std::string> argv{"tessary-run"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const Options options = readOptions(argv);
        EXPECT_EQ(options.exitStatus, 2) << error;
        EXPECT_NE(options.error.find(error), std::string::npos) << options.error;
        EXPECT_NE(options.error.find("\nUsage: tessary-run "), std::string::npos);
    }
    const Options good = readOptions({"tessary-run", "-r", "KALDOR", "-m", "exclusive", "-i", "10",
                                      "-n", "3", "--expect", "..9000", "a", "-"});
    EXPECT_EQ(good.exitStatus, -1) << good.error;
    EXPECT_EQ(good.files, (std::vector<std::string>{"a", "-"}));
    EXPECT_EQ(good.shareMode, 1u);
    EXPECT_EQ(good.intervalMs, 10u);
    EXPECT_EQ(good.repeat, 3u);
    EXPECT_EQ(formatPattern(*good.expect), ".. 90 00");
}

} // namespace
