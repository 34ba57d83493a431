// SPDX-License-Identifier: BSD-3-Clause
#include "apdu.h"

namespace simreader {

std::optional<Apdu> parseApdu(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4) {
        return std::nullopt;
    }
    Apdu apdu{bytes[0], bytes[1], bytes[2], bytes[3], {}, false, 0};
    const std::size_t body = bytes.size() - 4;
    if (body == 0) {
        return apdu; // case 1
    }
    const uint8_t first = bytes[4];
    if (body == 1) { // case 2: Le only
        apdu.hasLe = true;
        apdu.ne = first == 0 ? 256u : first;
        return apdu;
    }
    if (first == 0) {
        return std::nullopt; // extended length: the simulated cards take short APDUs only
    }
    const std::size_t lc = first;
    if (body == 1 + lc) { // case 3
        apdu.data = bytes.subspan(5, lc);
        return apdu;
    }
    if (body == 2 + lc) { // case 4
        apdu.data = bytes.subspan(5, lc);
        apdu.hasLe = true;
        const uint8_t le = bytes[5 + lc];
        apdu.ne = le == 0 ? 256u : le;
        return apdu;
    }
    return std::nullopt;
}

Bytes response(std::span<const uint8_t> data, uint16_t status) {
    Bytes out(data.begin(), data.end());
    out.push_back(static_cast<uint8_t>(status >> 8));
    out.push_back(static_cast<uint8_t>(status & 0xFF));
    return out;
}

Bytes response(uint16_t status) {
    return response({}, status);
}

} // namespace simreader
