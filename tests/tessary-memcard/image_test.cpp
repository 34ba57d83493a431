// SPDX-License-Identifier: BSD-3-Clause
// The image format both ways, its errors with their lines, the comparison of images, the
// plan of a write, and the names of several readers' images.
#include "card_image.h"
#include "file_io.h"
#include "write_plan.h"

#include <gtest/gtest.h>

using namespace tessary::memcard;

namespace {

CardImage sample(CardType type) {
    CardImage image = blankImage(type);
    image.date = "2026-12-08T10:15:00Z";
    for (std::size_t a = 0; a < image.data.size(); ++a) {
        image.data[a] = static_cast<uint8_t>(a * 7 + 3);
        image.protect[a] = a < traits(type).protectable && a % 5 == 1;
    }
    if (type == CardType::Sle4442) {
        image.counter = 0x03;
    }
    return image;
}

void expectSame(const CardImage& a, const CardImage& b) {
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.date, b.date);
    EXPECT_EQ(a.counter, b.counter);
    EXPECT_EQ(a.data, b.data);
    EXPECT_EQ(a.protect, b.protect);
}

TEST(ImageFormat, EveryCardTypeComesBackAsItWasWritten) {
    for (CardType type :
         {CardType::Sle4442, CardType::Sle4432, CardType::Sle4428, CardType::Sle4418}) {
        SCOPED_TRACE(traits(type).name);
        const CardImage image = sample(type);
        const ParsedImage parsed = parseImage(formatImage(image));
        ASSERT_TRUE(parsed.image) << parsed.error.line << ": " << parsed.error.message;
        expectSame(*parsed.image, image);
    }
}

TEST(ImageFormat, TakesWhatAPersonEditsIn) {
    // Lower case, tabs, CR LF line ends, comments, blank lines; the rows after the first
    // two are generated.
    std::string text =
        "# our badge, before the update\r\n"
        "tessary-memcard sle4432 2026-12-08T10:15:00Z   # type in lower case\r\n"
        "\r\n"
        "0000\ta2 13 10 91 ff ff ff ff ff ff ff ff ff ff ff ff  pppp------------\r\n"
        "0010  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  ----------------\r\n";
    const CardImage blank = blankImage(CardType::Sle4432);
    const std::string rows = formatImage(blank);
    text += rows.substr(rows.find("0020"));
    const ParsedImage parsed = parseImage(text);
    ASSERT_TRUE(parsed.image) << parsed.error.line << ": " << parsed.error.message;
    EXPECT_EQ(parsed.image->type, CardType::Sle4432);
    EXPECT_EQ(parsed.image->data[0], 0xA2);
    EXPECT_EQ(parsed.image->data[0x1F], 0x0F);
    EXPECT_TRUE(parsed.image->protect[3]);
    EXPECT_FALSE(parsed.image->protect[4]);
}

TEST(ImageFormat, RefusesBadFilesWithTheLineAtFault) {
    // Line 1 the header, 2 the counter, 3 a comment, 4 to 19 the rows 0000 to 00F0.
    std::vector<std::string> lines;
    const std::string good = formatImage(sample(CardType::Sle4442));
    for (std::size_t at = 0; at < good.size(); at = good.find('\n', at) + 1) {
        lines.push_back(good.substr(at, good.find('\n', at) - at));
    }
    ASSERT_EQ(lines.size(), 19u);
    const auto with = [&](std::size_t n, const std::string& content) {
        std::string text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            text += (i + 1 == n ? content : lines[i]) + "\n";
        }
        return text;
    };
    const std::string row1 = lines[4]; // 0010  ...  P----P----P----P
    const std::string row2 = lines[5]; // 0020  ...  ----------------
    struct Case {
        const char* what;
        std::string text;
        std::size_t line;
        const char* message;
    };
    const Case cases[] = {
        {"empty", "", 1, "holds no header"},
        {"binary",
         std::string("\x7F"
                     "ELF\x02\x01\x01",
                     7) +
             std::string(100, '\0'),
         1, "not text (0x7F)"},
        {"a zero byte", with(5, row1.substr(0, 4) + std::string(1, '\0') + row1.substr(5)), 5,
         "not text (0x00)"},
        {"non-ASCII outside a comment", with(6, "0020\xC3\xA9" + row2.substr(4)), 6,
         "not plain text"},
        {"a very long line", with(2, std::string(5000, 'x')), 2, "longer than 200"},
        {"too many lines", good + std::string(3000, '\n'), 2001, "too many lines"},
        {"another format", "P1\n4 4\n", 1, "not a tessary-memcard image"},
        {"unknown type", with(1, "tessary-memcard SLE5528 2026-12-08T10:15:00Z"), 1,
         "unknown card type 'SLE5528'"},
        {"a bad date", with(1, "tessary-memcard SLE4442 yesterday"), 1, "does not read like"},
        {"counter on an SLE4428", with(1, "tessary-memcard SLE4428 2026-12-08T10:15:00Z"), 2,
         "only an SLE4442"},
        {"a bad counter", with(2, "counter 3"), 2, "counter line"},
        {"a row left out", with(7, "# 0030 left out"), 8, "expected the row at 0030, found 0040"},
        {"a short row", with(5, "0010  00 11"), 5, "a row is an address, 16 bytes"},
        {"a bad byte", with(5, row1.substr(0, 6) + "1G" + row1.substr(8)), 5, "'1G' is not a byte"},
        {"a bad mark", with(5, row1.substr(0, row1.size() - 16) + "P----X----P----P"), 5,
         "protection is 16 marks"},
        {"protection beyond the bits", with(6, row2.substr(0, row2.size() - 1) + "P"), 6,
         "002F cannot be protected"},
        {"cut short", good.substr(0, good.find(lines[9])), 9, "ends before the row at 0060"},
        {"text after the last row", good + "0100  00\n", 20, "text after the last row"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ParsedImage parsed = parseImage(c.text);
        ASSERT_FALSE(parsed.image);
        EXPECT_EQ(parsed.error.line, c.line);
        EXPECT_NE(parsed.error.message.find(c.message), std::string::npos) << parsed.error.message;
    }
}

TEST(ImageDiff, ListsEveryAddressThatDiffersWithItsProtection) {
    const CardImage a = sample(CardType::Sle4442);
    CardImage b = a;
    b.date = "2027-01-01T00:00:00Z"; // when it was read is no difference
    EXPECT_TRUE(diffImages(a, b).empty());

    b.data[0x41] = 0x00;
    b.protect[0x02] = true;
    b.counter = 0x07;
    EXPECT_EQ(diffImages(a, b), (std::vector<std::string>{
                                    "counter: 03 -> 07",
                                    "0002: 11 -> 11 (protected)",
                                    "0041: CA -> 00",
                                }));
    EXPECT_EQ(diffImages(a, sample(CardType::Sle4428)).front(), "type: SLE4442 -> SLE4428");
}

TEST(WritePlanning, GroupsNeighboursAndKeepsOutWhatMayNotBeWritten) {
    CardImage card = blankImage(CardType::Sle4428);
    card.protect[0x200] = true;
    CardImage image = card;
    for (uint32_t a : {0x10u, 0x11u, 0x12u, 0x20u, 0xFFu, 0x100u}) {
        image.data[a] = 0x5A;
    }
    image.data[kSle4428CounterAddress] = 0xFE; // the counter and the PSC stay as they are
    image.data[kSle4428CounterAddress + 1] = 0x00;
    image.protect[0x30] = true;

    WritePlan plan = planWrite(card, image);
    ASSERT_EQ(plan.runs.size(), 3u);
    EXPECT_EQ(plan.runs[0].address, 0x10u);
    EXPECT_EQ(plan.runs[0].bytes.size(), 3u);
    EXPECT_EQ(plan.runs[2].address, 0xFFu); // across a page: the card does not mind
    EXPECT_EQ(plan.runs[2].bytes.size(), 2u);
    EXPECT_EQ(plan.byteCount(), 6u);
    EXPECT_EQ(plan.skipped, (std::vector<uint32_t>{0x3FD, 0x3FE}));
    EXPECT_EQ(plan.protectionNotWritten, (std::vector<uint32_t>{0x30}));
    EXPECT_TRUE(plan.refused.empty());

    image.data[0x200] = 0x00;
    plan = planWrite(card, image);
    EXPECT_EQ(plan.refused, (std::vector<uint32_t>{0x200}));

    // On an SLE4418 the last three bytes are memory like any other.
    card.type = image.type = CardType::Sle4418;
    image.data[0x200] = 0xFF;
    EXPECT_EQ(planWrite(card, image).byteCount(), 8u);
    EXPECT_EQ(formatRanges({0x10, 0x11, 0x12, 0x20, 0x3FD, 0x3FE}), "0010-0012, 0020, 03FD-03FE");
}

// A reader's name as a file name in the folder: never a path out of it, never hidden, and
// two readers whose names come out alike kept apart by their index.
TEST(ImageFiles, ReaderNamesMakeSafeFileNames) {
    struct Row {
        const char* reader;
        bool clashes;
        const char* file;
    };
    const Row rows[] = {
        {"KALDOR TR-100 00 00", false, "KALDOR_TR-100_00_00.img"},
        {"../../etc/passwd", false, "reader.._.._etc_passwd.img"},
        {"..", false, "reader...img"},
        {"", false, "reader.img"},
        {"Lecteur \xc3\xa9 1/2", false, "Lecteur____1_2.img"},
        {"A B", true, "A_B-7.img"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(imageFileName(row.reader, 7, row.clashes), row.file) << row.reader;
    }
}

} // namespace
