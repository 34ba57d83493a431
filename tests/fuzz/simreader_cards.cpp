// SPDX-License-Identifier: BSD-3-Clause
// The simulated cards and the reader's own commands: any card settings, then any series of
// APDUs, escape frames, power changes and reader commands. Answers stay within what a
// reader passes on, and a card's saved contents make the same card again.
#include "apdu.h"
#include "cards.h"
#include "fuzz_input.h"
#include "memory_cards.h"
#include "reader_commands.h"

using namespace simreader;

namespace {

constexpr const char* kSettings[] = {"memory", "protection", "psc", "counter", "pull-after"};

std::string settingName(fuzz::Input& input) {
    const uint8_t b = input.byte();
    return b < 240 ? kSettings[b % std::size(kSettings)] : std::string(input.piece());
}

// A frame with the escape header mostly right, so that the card's commands are reached.
Bytes escapeFrame(fuzz::Input& input) {
    if (input.byte() < 16) {
        const auto raw = input.bytes(input.byte() % 20);
        return {raw.begin(), raw.end()};
    }
    Bytes frame{0x6F, 0x03, 0x00, 0x00, 0x00, 0x00, input.byte(), input.byte()};
    frame.push_back(input.byte()); // wLevelParameter: the bytes to return
    frame.push_back(input.byte());
    frame.push_back(input.byte()); // command, address, data
    frame.push_back(input.byte());
    frame.push_back(input.byte());
    return frame;
}

void checkApdu(std::span<const uint8_t> bytes) {
    const auto apdu = parseApdu(bytes);
    if (apdu) {
        FUZZ_CHECK(4 + apdu->data.size() + (apdu->hasLe ? 1 : 0) + (apdu->data.empty() ? 0 : 1) ==
                   bytes.size());
        FUZZ_CHECK(apdu->ne <= 256 && apdu->hasLe == (apdu->ne > 0));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const auto type = static_cast<CardType>(input.byte() % 6);
    KeyValues options;
    for (int n = input.byte() % 5; n > 0; --n) {
        std::string name = settingName(input);
        options.insert_or_assign(std::move(name), std::string(input.longPiece()));
    }
    std::string error;
    KeyValues cardOptions = options;
    const auto slot = takeSlotOptions(cardOptions, error);
    std::unique_ptr<Card> card = slot ? makeCard(type, cardOptions, error) : nullptr;
    if (!card) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    const bool memory = type != CardType::Apdu && type != CardType::ApduContactless;
    FUZZ_CHECK(!card->atr().empty() && card->atr().size() <= 33);
    LedBuzzerState led;

    for (int steps = 0; steps < 32 && !input.empty(); ++steps) {
        switch (input.byte() % 4) {
        case 0: {
            const auto apdu = input.bytes(input.u16() % 300);
            checkApdu(apdu);
            const Bytes answer = card->transmit(apdu);
            FUZZ_CHECK(answer.size() >= 2 && answer.size() <= 256 + 2);
            break;
        }
        case 1: {
            const auto reply = card->escape(escapeFrame(input));
            FUZZ_CHECK(!reply || (memory && reply->size() <= 256));
            break;
        }
        case 2:
            card->powerCycle();
            break;
        default: {
            const LedBuzzerState before = led;
            const Bytes answer = runReaderCommand(input.bytes(input.byte() % 24), led);
            FUZZ_CHECK(answer.size() == 2);
            FUZZ_CHECK(led == before || (answer[0] == 0x90 && answer[1] == 0x00));
            break;
        }
        }
    }
    // What a card that slipped out keeps makes the same card when it goes back in.
    const KeyValues contents = card->contents();
    const auto again = makeCard(type, contents, error);
    FUZZ_CHECK(again && again->contents() == contents);
    KeyValues status;
    card->describe(status);
    return 0;
}
