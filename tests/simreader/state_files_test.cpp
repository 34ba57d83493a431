// SPDX-License-Identifier: BSD-3-Clause
#include "state_files.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace simreader;

namespace {

TEST(KeyValues, ParsesLinesAndRefusesOthers) {
    std::string error;
    const auto values =
        parseKeyValues("# comment\r\ntype=apdu\r\n\nid=12\nempty=\npsc=FF\r\r\n", error);
    ASSERT_TRUE(values) << error;
    EXPECT_EQ(values->at("type"), "apdu");
    EXPECT_EQ(values->at("psc"), "FF"); // so that it reads back the same once written
    EXPECT_EQ(values->at("id"), "12");
    EXPECT_EQ(values->at("empty"), "");
    EXPECT_EQ(parseKeyValues(formatKeyValues(*values), error), values);

    EXPECT_FALSE(parseKeyValues("type=apdu\nno equals sign\n", error));
    EXPECT_EQ(error, "line 2 is not key=value");
    EXPECT_FALSE(parseKeyValues("=value\n", error));
}

TEST(CardSetting, NeedsAKnownTypeAndANumericId) {
    std::string error;
    const auto card = parseCardSetting({{"type", "apdu-cl"}, {"id", "77"}, {"psc", "FF"}}, error);
    ASSERT_TRUE(card) << error;
    EXPECT_EQ(card->type, CardType::ApduContactless);
    EXPECT_EQ(card->id, 77u);
    EXPECT_EQ(card->options, (KeyValues{{"psc", "FF"}}));

    EXPECT_FALSE(parseCardSetting({{"id", "1"}}, error));
    EXPECT_FALSE(parseCardSetting({{"type", "floppy"}}, error));
    EXPECT_EQ(error, "unknown card type 'floppy'");
    EXPECT_FALSE(parseCardSetting({{"type", "apdu"}, {"id", "12x"}}, error));
    EXPECT_FALSE(parseCardSetting({{"type", "apdu"}, {"id", "99999999999999999999999"}}, error));
}

TEST(SmallFiles, WritesAtomicallyAndRefusesOversizedFiles) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("simreader-files-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto path = folder / "status";
    ASSERT_TRUE(writeFileAtomically(path, "a=1\n"));
    const FileStamp first = stampOf(path);
    ASSERT_TRUE(writeFileAtomically(path, "a=2\n"));
    EXPECT_NE(stampOf(path), first); // a replacement is a new file
    EXPECT_EQ(readSmallFile(path), "a=2\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1); // no temp left

    std::ofstream(path, std::ios::binary) << std::string(kMaxStateFileSize + 1, 'x');
    EXPECT_FALSE(readSmallFile(path));
    EXPECT_FALSE(stampOf(folder / "missing").exists);
    EXPECT_FALSE(writeFileAtomically(folder / "no" / "such" / "dir", "x"));
    std::filesystem::remove_all(folder);
}

} // namespace
