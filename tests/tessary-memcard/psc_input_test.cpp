// SPDX-License-Identifier: BSD-3-Clause
// The PSC from a file's first line: what is taken, what is refused, and that no refusal
// shows what the file holds.
#include "psc_input.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace tessary::memcard;
namespace fs = std::filesystem;

namespace {

TEST(PscFile, TakesTheFirstLineAndNeverShowsWhatItRefuses) {
    const fs::path dir = fs::temp_directory_path() / ("tessary-psc-" + std::to_string(::getpid()));
    fs::create_directories(dir / "folder");
    const std::string file = (dir / "card.psc").string();
    struct Row {
        std::string text;
        std::vector<uint8_t> psc; // or the error below
        const char* error;
    };
    const Row rows[] = {
        {"123456\n", {0x12, 0x34, 0x56}, ""},
        {"\t12 34  ab\r\nsecond line\n", {0x12, 0x34, 0xAB}, ""},
        {"ABCD", {0xAB, 0xCD}, ""}, // no line end at all
        {"", {}, "card.psc: its first line holds no PSC"},
        {" \n123456\n", {}, "card.psc: its first line holds no PSC"},
        {"12345\n", {}, "card.psc: its first line is not a PSC (hexadecimal digits"},
        {"1 23456\n", {}, "is not a PSC"},
        {"12345G\n", {}, "is not a PSC"},
        {"123456 # the card's\n", {}, "is not a PSC"},
        {"112233445566778899\n", {}, "is not a PSC"}, // 9 bytes
        {std::string(300, '1') + "\n", {}, "is not a PSC"},
        {std::string("12\0"
                     "3456\n",
                     7),
         {},
         "is not a PSC"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 40));
        std::ofstream(file, std::ios::binary) << row.text;
        const PscInput input = readPscFile(file);
        if (row.psc.empty()) {
            EXPECT_FALSE(input.psc);
            EXPECT_NE(input.error.find(row.error), std::string::npos) << input.error;
            const std::string line = row.text.substr(0, row.text.find('\n'));
            if (line.size() >= 4) {
                EXPECT_EQ(input.error.find(line.substr(0, 4)), std::string::npos) << input.error;
            }
        } else {
            ASSERT_TRUE(input.psc) << input.error;
            EXPECT_EQ(*input.psc, row.psc);
        }
    }
    EXPECT_NE(readPscFile((dir / "none").string()).error.find("cannot open the PSC file "),
              std::string::npos);
    EXPECT_NE(readPscFile((dir / "folder").string()).error.find("Is a directory"),
              std::string::npos);
    fs::remove_all(dir);
}

} // namespace
