// SPDX-License-Identifier: BSD-3-Clause
#include "reader_choice.h"

#include <algorithm>
#include <charconv>

namespace tessary::tools {
namespace {

// A reader as the messages name it: its index, as -r takes it, and its name.
std::string named(const std::vector<ListedReader>& readers, std::size_t index) {
    return "[" + std::to_string(index) + "] '" + readers[index].name + "'";
}

std::string listed(const std::vector<ListedReader>& readers,
                   const std::vector<std::size_t>& which) {
    std::string text;
    for (const std::size_t index : which) {
        text += (text.empty() ? "" : ", ") + named(readers, index);
    }
    return text;
}

std::vector<std::size_t> every(const std::vector<ListedReader>& readers) {
    std::vector<std::size_t> all(readers.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }
    return all;
}

ReaderChoice refused(std::string error) {
    return {0, "", std::move(error)};
}

ReaderChoice taken(const std::vector<ListedReader>& readers, std::size_t index, bool needsCard) {
    if (needsCard && !readers[index].card) {
        return refused("no card in '" + readers[index].name + "'");
    }
    return {index, readers[index].name, ""};
}

bool digitsOnly(const std::string& text) {
    return std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

// The index the digits give when the list has it; a number too large for any type has not.
std::optional<std::size_t> indexIn(const std::string& digits, std::size_t count) {
    std::size_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, fault] = std::from_chars(digits.data(), end, value);
    if (fault != std::errc() || stop != end || value >= count) {
        return std::nullopt;
    }
    return value;
}

ReaderChoice byName(const std::vector<ListedReader>& readers, const std::string& wanted,
                    bool needsCard) {
    if (wanted.empty()) {
        return refused("-r needs a reader's name, the beginning of one, or its index");
    }
    const auto exact = std::ranges::find(readers, wanted, &ListedReader::name);
    if (exact != readers.end()) {
        return taken(readers, static_cast<std::size_t>(exact - readers.begin()), needsCard);
    }
    if (digitsOnly(wanted)) {
        if (const auto index = indexIn(wanted, readers.size())) {
            return taken(readers, *index, needsCard);
        }
        return refused("no reader [" + wanted + "] and none named '" + wanted +
                       "'; the readers: " + listed(readers, every(readers)));
    }
    std::vector<std::size_t> matches;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        if (readers[i].name.starts_with(wanted)) {
            matches.push_back(i);
        }
    }
    if (matches.empty()) {
        return refused("no reader's name is or begins with '" + wanted +
                       "'; the readers: " + listed(readers, every(readers)));
    }
    if (matches.size() > 1) {
        return refused("'" + wanted + "' begins the names of several readers: " +
                       listed(readers, matches) + "; give more of the name, or the index");
    }
    return taken(readers, matches.front(), needsCard);
}

} // namespace

ReaderChoice chooseReader(const std::vector<ListedReader>& readers,
                          const std::optional<std::string>& wanted, bool needsCard) {
    if (readers.empty()) {
        return refused("no PC/SC reader found");
    }
    if (wanted) {
        return byName(readers, *wanted, needsCard);
    }
    std::vector<std::size_t> withCard;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        if (readers[i].card) {
            withCard.push_back(i);
        }
    }
    if (withCard.size() > 1) {
        return refused("there are cards in several readers: " + listed(readers, withCard) +
                       "; choose one with -r");
    }
    if (withCard.size() == 1) {
        return taken(readers, withCard.front(), needsCard);
    }
    if (readers.size() == 1) {
        return taken(readers, 0, needsCard);
    }
    if (needsCard) {
        return refused("no card in any reader; the readers: " + listed(readers, every(readers)));
    }
    return refused("no reader holds a card, and there are several: " +
                   listed(readers, every(readers)) + "; choose one with -r");
}

ReaderChoices chooseReaders(const std::vector<ListedReader>& readers,
                            const std::vector<std::string>& wanted, bool allReaders,
                            bool needsCard) {
    ReaderChoices choices;
    if (readers.empty()) {
        choices.error = "no PC/SC reader found";
        return choices;
    }
    std::vector<bool> taken(readers.size(), false);
    if (allReaders) {
        for (std::size_t i = 0; i < readers.size(); ++i) {
            taken[i] = readers[i].card || !needsCard;
        }
        if (std::ranges::find(taken, true) == taken.end()) {
            choices.error =
                "no card in any reader; the readers: " + listed(readers, every(readers));
            return choices;
        }
    }
    for (const std::string& name : wanted) {
        const ReaderChoice choice = chooseReader(readers, name, needsCard);
        if (!choice.error.empty()) {
            choices.error = choice.error;
            return choices;
        }
        if (taken[choice.index] && !allReaders) {
            // Two runs on one card would send their commands between each other's.
            choices.error =
                "-r '" + name + "' names " + named(readers, choice.index) + " a second time";
            return choices;
        }
        taken[choice.index] = true;
    }
    for (std::size_t i = 0; i < readers.size(); ++i) {
        if (taken[i]) {
            choices.readers.push_back({i, readers[i].name, ""});
        }
    }
    return choices;
}

std::string readerLabel(std::size_t index, const std::string& name) {
    return "[" + std::to_string(index) + " " + name + "]";
}

} // namespace tessary::tools
