// SPDX-License-Identifier: BSD-3-Clause
#include "layout_entry.h"

#include "cards.h"

#include <sstream>

namespace simreader {

LayoutEntry splitLayoutEntry(const std::string& entry) {
    constexpr auto npos = std::string::npos;
    const auto wordAfter = [&](std::size_t eq) {
        return entry.substr(eq + 1, entry.find(' ', eq + 1) - (eq + 1));
    };
    std::size_t split = npos;
    std::size_t fallback = npos;
    for (std::size_t eq = entry.find('='); eq != npos && split == npos;
         eq = entry.find('=', eq + 1)) {
        const std::string word = wordAfter(eq);
        const std::string card = word.substr(0, word.find('@'));
        if (card.empty() || parseCardType(card)) {
            split = eq;
        } else if (fallback == npos && word.find('=') == npos) {
            fallback = eq;
        }
    }
    split = split == npos ? fallback : split;
    LayoutEntry result{entry.substr(0, split), {}, {}};
    if (split != npos) {
        std::istringstream words(entry.substr(split + 1));
        if (entry.size() > split + 1 && entry[split + 1] != ' ') {
            words >> result.layout;
        }
        for (std::string word; words >> word;) {
            result.settings.push_back(word);
        }
    }
    return result;
}

} // namespace simreader
