// SPDX-License-Identifier: BSD-3-Clause
#include "console.h"

#include "prolvak.h"
#include "reader_features.h"
#include "status_code_name.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace tessary {

Exchange TransmitWithLog(SCARDHANDLE card, uint32_t activeProtocol, uint32_t shareMode,
                         const Bytes& request) {
    Exchange exchange;
    exchange.sendLine = FormatDataLine("Send Data: ", request.data(), request.size());
    std::array<uint8_t, kMaxDataLength> response{};
    uint32_t received = kMaxDataLength;
    const auto length = static_cast<uint32_t>(request.size());
    if (shareMode == SCARD_SHARE_DIRECT) {
        // Each call goes through the access library, so its trace shows the refused code,
        // the feature request and the escape code's send one by one.
        const auto control = [card](DWORD code, const uint8_t* input, DWORD inputLength,
                                    uint8_t* output, DWORD room, DWORD* got) {
            return SCardControl_WIN(card, code, input, inputLength, output, room, got);
        };
        DWORD returned = 0;
        const auto outcome = pcscfeatures::controlWithEscapeFallback(control, kReaderControlCode,
                                                                     request, response, returned);
        exchange.status = static_cast<int32_t>(outcome.result);
        received = static_cast<uint32_t>(std::min<DWORD>(returned, kMaxDataLength));
        if (outcome.noEscape) {
            exchange.hint = pcscfeatures::noEscapeHintLines(kReaderControlCode);
        }
    } else {
        exchange.status = PcSc_SR_WIN(card, activeProtocol, length, request.data(), kMaxDataLength,
                                      &received, response.data());
    }
    if (exchange.status == KTX_SUCCESS) {
        exchange.receiveLine = FormatDataLine("Receive Data: ", response.data(), received);
    } else {
        char name[35];
        exchange.receiveLine =
            std::string(StatusCodeName(exchange.status, name)) + " of Receive Data.\n";
    }
    return exchange;
}

std::string ExchangeOutcome(int32_t status) {
    if (status == KTX_SUCCESS) {
        return "Send Data Success";
    }
    char text[48];
    std::snprintf(text, sizeof text, "Send Data Failed Return 0x%X", static_cast<uint32_t>(status));
    return text;
}

} // namespace tessary
