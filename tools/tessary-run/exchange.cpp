// SPDX-License-Identifier: BSD-3-Clause
#include "exchange.h"

namespace tessary::run {
namespace {

constexpr uint8_t kBytesRemaining = 0x61;
constexpr uint8_t kWrongLe = 0x6C;

} // namespace

std::optional<Bytes> withLe(std::span<const uint8_t> apdu, uint8_t le) {
    if (apdu.size() < 4) {
        return std::nullopt;
    }
    Bytes command(apdu.begin(), apdu.end());
    const std::size_t body = apdu.size() - 4;
    const std::size_t lc = body > 1 ? apdu[4] : 0;
    if (body == 0 || (lc != 0 && body == 1 + lc)) { // no Le: cases 1 and 3
        command.push_back(le);
    } else if (body == 1 || (lc != 0 && body == 2 + lc)) { // Le last: cases 2 and 4
        command.back() = le;
    } else {
        return std::nullopt; // extended lengths, or lengths that do not add up
    }
    return command;
}

CommandOutcome sendCommand(const Bytes& apdu, bool getResponse, const Transmit& transmit) {
    CommandOutcome outcome;
    Bytes request = apdu;
    bool leCorrected = false;
    Bytes data; // of the answers before the last
    while (outcome.exchanges.size() < kMaxExchangesPerCommand) {
        outcome.exchanges.push_back(transmit(request));
        const RawExchange& exchange = outcome.exchanges.back();
        outcome.micros += exchange.micros;
        if (exchange.status != 0) {
            outcome.status = exchange.status;
            outcome.response.clear();
            return outcome;
        }
        const Bytes& answer = exchange.response;
        outcome.response = data;
        outcome.response.insert(outcome.response.end(), answer.begin(), answer.end());
        if (!getResponse || answer.size() < 2) {
            break;
        }
        const uint8_t sw1 = answer[answer.size() - 2];
        const uint8_t sw2 = answer.back();
        if (sw1 == kWrongLe && answer.size() == 2 && !leCorrected) {
            // Once only: a card that asks again for another Le is answered as it stands.
            auto again = withLe(request, sw2);
            if (!again) {
                break;
            }
            request = std::move(*again);
            leCorrected = true;
        } else if (sw1 == kBytesRemaining) {
            data.insert(data.end(), answer.begin(), answer.end() - 2);
            request = {0x00, 0xC0, 0x00, 0x00, sw2};
            leCorrected = false;
        } else {
            break;
        }
    }
    return outcome;
}

} // namespace tessary::run
