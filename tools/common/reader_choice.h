// SPDX-License-Identifier: BSD-3-Clause
// Which reader a command line means, for both command-line programs: -r takes a reader's
// whole name, the beginning of one name only, or its index in the listing (from 0); without
// -r the one reader holding a card is taken. Never a guess between two readers: a script
// or an image must not go to the wrong card.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary::tools {

// A reader as the service lists it.
struct ListedReader {
    std::string name;
    bool card = false;        // a card is present (a mute one included)
    uint32_t state = 0;       // the service's event state, SCARD_STATE_* bits
    std::vector<uint8_t> atr; // of the card present
};

struct ReaderChoice {
    std::size_t index = 0; // in the list, when `error` is empty
    std::string name;
    std::string error; // empty when a reader was chosen
};

// `wanted` is -r's text, nothing without -r. A name of digits alone is taken whole first
// and then as an index; digits never count as the beginning of a name. `needsCard`: false
// for the reader's own command path, which a reader without a card serves as well.
ReaderChoice chooseReader(const std::vector<ListedReader>& readers,
                          const std::optional<std::string>& wanted, bool needsCard);

// Several readers at once: every -r given (each as chooseReader takes it), or with
// `allReaders` every reader that holds a card (every reader, when `needsCard` is false).
// In the list's order, each reader once; `error` names the first -r that means no reader,
// a reader named twice, or that no reader holds a card.
struct ReaderChoices {
    std::vector<ReaderChoice> readers;
    std::string error;
};
ReaderChoices chooseReaders(const std::vector<ListedReader>& readers,
                            const std::vector<std::string>& wanted, bool allReaders,
                            bool needsCard);

// How the output of a run on several readers names a reader, in front of each of its lines:
// short and stable, its index and its name ("[3 KALDOR TR-100 00 00]").
std::string readerLabel(std::size_t index, const std::string& name);

} // namespace tessary::tools
