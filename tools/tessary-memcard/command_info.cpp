// SPDX-License-Identifier: BSD-3-Clause
// info: the card's type, size, error counter and protected bytes, as text or as one JSON
// object.
#include "card_steps.h"
#include "commands.h"
#include "hex_text.h"
#include "messages.h"
#include "pcsc_result.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary::memcard {
namespace {

struct CardInfo {
    std::string reader;
    std::string atr;
    CardType type = CardType::Sle4442;
    bool assumed = false;
    std::optional<uint8_t> counter;
    std::vector<uint32_t> protectedBytes;
};

void showText(const CardInfo& info) {
    const CardTraits& card = traits(info.type);
    out("reader:    " + tessary::printable(info.reader));
    out("card:      " + std::string(card.name) + " (ATR " + info.atr + ")" +
        (info.assumed ? "; an SLE4418 answers alike: name it with --card sle4418" : ""));
    out("memory:    " + bytesWord(card.size) + ", protection bits for 0000-" +
        formatAddress(card.protectable - 1));
    if (!info.counter) {
        out("counter:   none, the card has no PSC");
    } else {
        out("counter:   " + formatByte(*info.counter) +
            (info.type == CardType::Sle4428 ? " at " + formatAddress(kSle4428CounterAddress)
                                            : std::string()) +
            ", " + attemptsWord(attemptsLeft(info.type, *info.counter)) + " left");
    }
    out("protected: " + formatRanges(info.protectedBytes));
}

// Addresses as numbers, ranges as their first and last byte, as a program takes them.
void showJson(const CardInfo& info) {
    const CardTraits& card = traits(info.type);
    QJsonArray ranges;
    const auto& bytes = info.protectedBytes;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t j = i;
        while (j + 1 < bytes.size() && bytes[j + 1] == bytes[j] + 1) {
            ++j;
        }
        ranges.append(QJsonObject{{"first", static_cast<qint64>(bytes[i])},
                                  {"last", static_cast<qint64>(bytes[j])}});
        i = j + 1;
    }
    const QJsonValue none(QJsonValue::Null);
    const QJsonObject object{
        {"reader", QString::fromStdString(info.reader)},
        {"atr", QString::fromStdString(info.atr)},
        {"card", QString::fromLatin1(card.name)},
        {"type_assumed", info.assumed},
        {"memory_bytes", static_cast<qint64>(card.size)},
        {"protectable_bytes", static_cast<qint64>(card.protectable)},
        {"counter", info.counter ? QJsonValue(*info.counter) : none},
        {"attempts_left", info.counter ? QJsonValue(attemptsLeft(info.type, *info.counter)) : none},
        {"protected", ranges},
    };
    out(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
}

} // namespace

int commandInfo(const Options& o) {
    ReaderLink link;
    int exit = kDone;
    CardInfo info;
    const auto type = openCard(link, o, std::nullopt, exit, &info.assumed);
    if (!type) {
        return exit;
    }
    CardImage image;
    const CardStatus status = readCard(link.card(), *type, image);
    if (!status.ok()) {
        return cardError(status);
    }
    info.reader = link.reader();
    info.atr = tessary::formatHex(link.atr());
    info.type = *type;
    if (*type == CardType::Sle4442) {
        info.counter = image.counter;
    } else if (*type == CardType::Sle4428) {
        info.counter = image.data[kSle4428CounterAddress];
    }
    for (uint32_t a = 0; a < image.protect.size(); ++a) {
        if (image.protect[a]) {
            info.protectedBytes.push_back(a);
        }
    }
    if (o.json) {
        showJson(info);
    } else {
        showText(info);
    }
    return kDone;
}

} // namespace tessary::memcard
