#include "cards.h"

#include "apdu_card.h"

#include <array>

namespace simreader {
namespace {

struct TypeName {
    CardType type;
    std::string_view name;
};

constexpr std::array<TypeName, 2> kTypeNames{{
    {CardType::Apdu, "apdu"},
    {CardType::ApduContactless, "apdu-cl"},
}};

} // namespace

std::optional<CardType> parseCardType(std::string_view name) {
    for (auto& entry : kTypeNames) {
        if (entry.name == name) {
            return entry.type;
        }
    }
    return std::nullopt;
}

std::string_view cardTypeName(CardType type) {
    for (auto& entry : kTypeNames) {
        if (entry.type == type) {
            return entry.name;
        }
    }
    return "unknown";
}

std::string cardTypeNames() {
    std::string names;
    for (auto& entry : kTypeNames) {
        names += names.empty() ? "" : ", ";
        names += entry.name;
    }
    return names;
}

std::unique_ptr<Card> makeCard(CardType type, const KeyValues& options, std::string& error) {
    if (!options.empty()) {
        error = "card type " + std::string(cardTypeName(type)) + " takes no settings";
        return nullptr;
    }
    switch (type) {
    case CardType::Apdu:
        return std::make_unique<ApduCard>(false);
    case CardType::ApduContactless:
        return std::make_unique<ApduCard>(true);
    }
    error = "unknown card type";
    return nullptr;
}

} // namespace simreader
