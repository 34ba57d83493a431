// SPDX-License-Identifier: BSD-3-Clause
// Scripts and patterns as text: what each line gives, every fault with its line number, and
// what a pattern matches.
#include "hex_text.h"
#include "script.h"

#include <gtest/gtest.h>

using namespace tessary::run;
using tessary::formatHex;

namespace {

std::string hexOf(const ScriptCommand& command) {
    std::string text = formatHex(command.apdu);
    if (command.expect) {
        text += " => " + formatPattern(*command.expect);
    }
    return text;
}

TEST(ParseScript, LinesGiveCommandsWithTheirLineNumbers) {
    const ScriptParse script = parseScript("\xEF\xBB\xBF# a comment first\r\n"
                                           "00 A4 00 00 02 3F 00 => 90 00\r\n"
                                           "\n"
                                           "  00a4000c022f02=>9000   # compact\n"
                                           "\t00 84 00 00 08 => ..9000\n"
                                           "00 B0 00 00 04 => 01 XX xx xx 90 00\n"
                                           "80 10 00 00"); // no line end
    ASSERT_EQ(script.error, "");
    const std::vector<std::pair<std::size_t, std::string>> expected = {
        {2, "00 A4 00 00 02 3F 00 => 90 00"},
        {4, "00 A4 00 0C 02 2F 02 => 90 00"},
        {5, "00 84 00 00 08 => .. 90 00"},
        {6, "00 B0 00 00 04 => 01 xx xx xx 90 00"},
        {7, "80 10 00 00"},
    };
    ASSERT_EQ(script.commands.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(script.commands[i].line, expected[i].first);
        EXPECT_EQ(hexOf(script.commands[i]), expected[i].second);
    }
    EXPECT_TRUE(parseScript("").commands.empty());
    EXPECT_TRUE(parseScript("# only\n\n   \n").commands.empty());
}

TEST(ParseScript, EveryFaultNamesItsLineAndNothingIsKept) {
    const struct {
        const char* text;
        std::size_t line;
        const char* error;
    } cases[] = {
        {"00 84\n0 A4 00 00", 2, "\"0\" has an odd number of digits"},
        {"00A40", 1, "\"00A40\" has an odd number of digits"},
        {"00 84\n\n00 G4", 3, "\"G4\" is not a hexadecimal byte"},
        {"0x00 0xA4", 1, "\"0x\" is not a hexadecimal byte"},
        {"00 xx 00 00", 1, "\"xx\" is not a hexadecimal byte"},
        {"00 84 00 00 08 =>", 1, "the response pattern is empty"},
        {"00 84 00 00 08 => # none", 1, "the response pattern is empty"},
        {"=> 90 00", 1, "a response pattern without an APDU before it"},
        {"00 84 => 9G 00", 1, "\"9G\" is neither a hexadecimal byte nor xx nor .."},
        {"00 84 => 90 00 => 90 00", 1, "\"=>\" is neither a hexadecimal byte nor xx nor .."},
        {"00 84 => 90", 1, "cannot match: it must end in the two bytes of the status word"},
        {"00 84 => 90 00 ..", 1, "cannot match: it must end in the two bytes of the status word"},
        {"00 84 => ..", 1, "cannot match: it must end in the two bytes of the status word"},
        {"00 84 => 90 .. 00", 1, "cannot match: it must end in the two bytes of the status word"},
        {"00 84 => 9 000", 1, "\"9\" has an odd number of digits"},
        {"00\xC3\xA4", 1, "\"\\xC3\\xA4\" is not a hexadecimal byte"},
        {"00 \x01\x02", 1, "\"\\x01\\x02\" is not a hexadecimal byte"},
        {"00\r840", 1, "\"\\x0D8\" is not a hexadecimal byte"}, // a CR alone ends no line
    };
    for (const auto& c : cases) {
        const ScriptParse script = parseScript(c.text);
        EXPECT_EQ(script.errorLine, c.line) << c.text;
        EXPECT_NE(script.error.find(c.error), std::string::npos) << c.text << ": " << script.error;
        EXPECT_TRUE(script.commands.empty()) << c.text;
    }
}

TEST(ParseScript, LimitsAndHostileInputStayBounded) {
    const std::string longest(kMaxApduLength * 2, 'A');
    EXPECT_EQ(parseScript(longest).commands.at(0).apdu.size(), kMaxApduLength);
    const ScriptParse tooLong = parseScript("00\n" + longest + "AA");
    EXPECT_EQ(tooLong.errorLine, 2u);
    EXPECT_NE(tooLong.error.find("longer than 65548 bytes"), std::string::npos);
    const std::string pattern = "00 => " + std::string(kMaxApduLength * 2 + 2, '0');
    EXPECT_NE(parseScript(pattern).error.find("longer than any response"), std::string::npos);
    // A zero byte, and a quote of a long run cut short.
    EXPECT_EQ(parseScript(std::string("00\0A", 4)).error, "\"\\x00A\" is not a hexadecimal byte");
    EXPECT_EQ(parseScript(std::string(41, 'A')).error,
              "\"AAAAAAAAAAAAAAAAAAAAAAAA...\" has an odd number of digits");
}

TEST(Pattern, MatchesWildcardsAndAnyRun) {
    const struct {
        const char* pattern;
        const char* response;
        bool matches;
    } cases[] = {
        {"90 00", "90 00", true},
        {"90 00", "6A 82", false},
        {"90 00", "01 90 00", false},
        {".. 90 00", "90 00", true}, // .. takes no bytes as well
        {".. 90 00", "01 02 03 90 00", true},
        {".. 90 00", "01 02 03 6A 82", false},
        {"01 xx xx xx 90 00", "01 AA BB CC 90 00", true},
        {"01 xx xx xx 90 00", "01 AA BB 90 00", false},
        {"01 xx xx xx 90 00", "02 AA BB CC 90 00", false},
        {"61 xx", "61 20", true},
        {"61 xX", "61 20", true}, // any case: xX and Xx are xx
        {"Xx 90 00", "6A 90 00", true},
        {".. 90 .. 90 00", "01 90 02 90 00", true}, // the first 90 00 is not the end
        {".. 90 00", "90 00 90 00", true},
        {"xx .. 90 00", "90 00", false},
        {"01 .. 02 .. 90 00", "01 03 03 02 04 90 00", true},
        {"01 .. 02 .. 90 00", "01 03 03 04 90 00", false},
    };
    for (const auto& c : cases) {
        const PatternParse pattern = parsePattern(c.pattern);
        ASSERT_EQ(pattern.error, "") << c.pattern;
        const ScriptParse response = parseScript(c.response);
        EXPECT_EQ(matchPattern(pattern.pattern, response.commands.at(0).apdu), c.matches)
            << c.pattern << " against " << c.response;
    }
    EXPECT_EQ(formatPattern(parsePattern("....xX9000").pattern), ".. xx 90 00");
}

TEST(StatusWordPattern, AnyAnswerThatEndsInTheWord) {
    const struct {
        const char* word;
        const char* pattern; // or the error's beginning
        const char* matched;
        const char* unmatched;
    } cases[] = {
        {"9000", ".. 90 00", "01 02 90 00", "90 00 6A 82"},
        {"90 00", ".. 90 00", "90 00", "6A 82"},
        {"61Xx", ".. 61 xx", "AA 61 20", "AA 6C 20"},
        {"90", "\"90\" is no status word", nullptr, nullptr},
        {"9000 00", "\"9000 00\" is no status word", nullptr, nullptr},
        {"..9000", "\"..9000\" is no status word", nullptr, nullptr},
        {"90 0G", "\"90 0G\" is no status word", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        const PatternParse parsed = statusWordPattern(c.word);
        if (c.matched == nullptr) {
            EXPECT_TRUE(parsed.error.starts_with(c.pattern)) << c.word << ": " << parsed.error;
            continue;
        }
        ASSERT_EQ(parsed.error, "") << c.word;
        EXPECT_EQ(formatPattern(parsed.pattern), c.pattern);
        EXPECT_TRUE(matchPattern(parsed.pattern, parseScript(c.matched).commands.at(0).apdu));
        EXPECT_FALSE(matchPattern(parsed.pattern, parseScript(c.unmatched).commands.at(0).apdu));
    }
}

} // namespace
