// SPDX-License-Identifier: BSD-3-Clause
// The reader choice both command-line programs make, over lists of readers: tessary-memcard
// and tessary-run's card modes need a card in the reader, tessary-run's direct mode does not.
#include "reader_choice.h"

#include <gtest/gtest.h>

using tessary::tools::chooseReader;
using tessary::tools::chooseReaders;
using tessary::tools::ListedReader;

namespace {

using Readers = std::vector<ListedReader>;

ListedReader withCard(const char* name) {
    return {name, true, 0, {}};
}
ListedReader empty(const char* name) {
    return {name, false, 0, {}};
}

// Two readers with cards, an empty one, and an empty one named by digits alone that are
// also another reader's index.
const Readers kFour{withCard("KALDOR TR-100 00 00"), withCard("KALDOR RF-9000 01 00"),
                    empty("Generic Reader 02 00"), empty("2")};
const Readers kOneCard{empty("Generic Reader 00 00"), withCard("KALDOR TR-100 01 00")};
const Readers kNoCard{empty("Generic Reader 00 00"), empty("Generic Reader 01 00")};
const Readers kEmptyReader{empty("Generic Reader 00 00")};

constexpr const char* kFourListed = "[0] 'KALDOR TR-100 00 00', [1] 'KALDOR RF-9000 01 00', "
                                    "[2] 'Generic Reader 02 00', [3] '2'";

TEST(ReaderChoice, ByNamePrefixOrIndexAndNeverAGuess) {
    struct Row {
        const Readers* readers;
        std::optional<std::string> wanted;
        bool needsCard;
        const char* name; // empty: refused with `error`
        std::string error;
    };
    const Row rows[] = {
        {&kFour, "KALDOR TR-100 00 00", true, "KALDOR TR-100 00 00", ""},
        {&kFour, "KALDOR RF", true, "KALDOR RF-9000 01 00", ""},
        {&kFour, "1", true, "KALDOR RF-9000 01 00", ""},
        {&kFour, "2", false, "2", ""}, // the name first, then the index
        {&kFour, "3", false, "2", ""},
        {&kFour, "Generic", false, "Generic Reader 02 00", ""}, // direct mode needs no card
        {&kFour, "Generic", true, "", "no card in 'Generic Reader 02 00'"},
        {&kFour, "KALDOR", true, "",
         "'KALDOR' begins the names of several readers: [0] 'KALDOR TR-100 00 00', "
         "[1] 'KALDOR RF-9000 01 00'; give more of the name, or the index"},
        {&kFour, "Nope", true, "",
         std::string("no reader's name is or begins with 'Nope'; the readers: ") + kFourListed},
        {&kFour, "4", true, "",
         std::string("no reader [4] and none named '4'; the readers: ") + kFourListed},
        {&kFour, "18446744073709551616", true, "",
         std::string("no reader [18446744073709551616] and none named '18446744073709551616'; "
                     "the readers: ") +
             kFourListed},
        {&kFour, "", true, "", "-r needs a reader's name, the beginning of one, or its index"},
        {&kFour, std::nullopt, false, "",
         "there are cards in several readers: [0] 'KALDOR TR-100 00 00', "
         "[1] 'KALDOR RF-9000 01 00'; choose one with -r"},
        {&kOneCard, std::nullopt, true, "KALDOR TR-100 01 00", ""},
        {&kOneCard, std::nullopt, false, "KALDOR TR-100 01 00", ""},
        {&kNoCard, std::nullopt, true, "",
         "no card in any reader; the readers: [0] 'Generic Reader 00 00', "
         "[1] 'Generic Reader 01 00'"},
        {&kNoCard, std::nullopt, false, "",
         "no reader holds a card, and there are several: [0] 'Generic Reader 00 00', "
         "[1] 'Generic Reader 01 00'; choose one with -r"},
        {&kEmptyReader, std::nullopt, false, "Generic Reader 00 00", ""},
        {&kEmptyReader, std::nullopt, true, "", "no card in 'Generic Reader 00 00'"},
        {nullptr, "KALDOR", true, "", "no PC/SC reader found"},
    };
    const Readers none;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.wanted.value_or("(no -r)") + (row.needsCard ? ", card" : ", direct"));
        const Readers& readers = row.readers != nullptr ? *row.readers : none;
        const auto choice = chooseReader(readers, row.wanted, row.needsCard);
        EXPECT_EQ(choice.name, row.name);
        EXPECT_EQ(choice.error, row.error);
        if (choice.error.empty()) {
            ASSERT_LT(choice.index, readers.size());
            EXPECT_EQ(readers[choice.index].name, row.name);
        }
    }
}

// Several readers: the list's order whatever the order of -r, each reader once, and one
// -r that means no reader refuses the whole run before any card is touched.
TEST(ReaderChoice, SeveralReadersEachOnceInListOrder) {
    struct Row {
        std::vector<std::string> wanted;
        bool all;
        bool needsCard;
        std::vector<std::size_t> chosen; // empty: refused with `error`
        std::string error;
    };
    const std::vector<Row> rows{
        {{"KALDOR RF", "0"}, false, true, {0, 1}, ""},
        {{}, true, true, {0, 1}, ""},
        {{}, true, false, {0, 1, 2, 3}, ""},
        {{"2"}, true, false, {0, 1, 2, 3}, ""}, // named and also among all: once
        {{"KALDOR TR", "KALDOR TR-100 00 00"},
         false,
         true,
         {},
         "-r 'KALDOR TR-100 00 00' names [0] 'KALDOR TR-100 00 00' a second time"},
        {{"0", "Generic"}, false, true, {}, "no card in 'Generic Reader 02 00'"},
        {{"0", "KALDOR"},
         false,
         true,
         {},
         "'KALDOR' begins the names of several readers: [0] 'KALDOR TR-100 00 00', "
         "[1] 'KALDOR RF-9000 01 00'; give more of the name, or the index"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.wanted) + (row.all ? " all" : ""));
        const auto choices = chooseReaders(kFour, row.wanted, row.all, row.needsCard);
        EXPECT_EQ(choices.error, row.error);
        std::vector<std::size_t> chosen;
        for (const auto& choice : choices.readers) {
            EXPECT_EQ(choice.name, kFour[choice.index].name);
            chosen.push_back(choice.index);
        }
        EXPECT_EQ(chosen, row.chosen);
    }
    EXPECT_EQ(chooseReaders(kNoCard, {}, true, true).error,
              "no card in any reader; the readers: [0] 'Generic Reader 00 00', "
              "[1] 'Generic Reader 01 00'");
}

} // namespace
