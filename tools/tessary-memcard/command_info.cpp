// info: the card's type, size, error counter and protected bytes.
#include "card_steps.h"
#include "commands.h"
#include "hex_text.h"
#include "messages.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessary::memcard {

int commandInfo(const Options& o) {
    ReaderLink link;
    std::string failure;
    if (!connectCard(link, o, failure)) {
        return error(failure);
    }
    int exit = kDone;
    bool assumed = false;
    const auto type = cardType(link, {o.card, std::nullopt}, exit, &assumed);
    if (!type) {
        return exit;
    }
    CardImage image;
    const CardStatus status = readCard(link.card(), *type, image);
    if (!status.ok()) {
        return cardError(status);
    }
    const CardTraits& card = traits(*type);
    const std::string atr = tessary::formatHex(link.atr());
    out("reader:    " + link.reader());
    out("card:      " + std::string(card.name) + " (ATR " + atr + ")" +
        (assumed ? "; an SLE4418 answers alike: name it with --card sle4418" : ""));
    out("memory:    " + bytesWord(card.size) + ", protection bits for 0000-" +
        formatAddress(card.protectable - 1));
    if (*type == CardType::Sle4442 && image.counter) {
        out("counter:   " + formatByte(*image.counter) + ", " +
            attemptsWord(attemptsLeft(*type, *image.counter)) + " left");
    } else if (*type == CardType::Sle4428) {
        const uint8_t counter = image.data[kSle4428CounterAddress];
        out("counter:   " + formatByte(counter) + " at " + formatAddress(kSle4428CounterAddress) +
            ", " + attemptsWord(attemptsLeft(*type, counter)) + " left");
    } else {
        out("counter:   none, the card has no PSC");
    }
    std::vector<uint32_t> protectedBytes;
    for (uint32_t a = 0; a < image.protect.size(); ++a) {
        if (image.protect[a]) {
            protectedBytes.push_back(a);
        }
    }
    out("protected: " + formatRanges(protectedBytes));
    return kDone;
}

} // namespace tessary::memcard
