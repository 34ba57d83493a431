#include "console.h"

#include "prolvak.h"
#include "status_code_name.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace tessary {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

int RequestByteCount(std::string_view text) {
    return static_cast<int>((text.size() + 1) / 3);
}

ParsedRequest ParseRequestBytes(std::string_view text, int count) {
    ParsedRequest parsed;
    for (int i = 0; i < count; ++i) {
        const std::size_t at = 3 * static_cast<std::size_t>(i);
        // The pair is read as an integer with a hexadecimal prefix: two digits, nothing
        // else, no sign, no prefix of its own.
        const char high = at < text.size() ? text[at] : '\0';
        const char low = at + 1 < text.size() ? text[at + 1] : '\0';
        if (hexDigit(high) < 0 || hexDigit(low) < 0) {
            parsed.badPair = "0x" + std::string(text.substr(std::min(at, text.size()), 2));
            parsed.bytes.clear();
            return parsed;
        }
        parsed.bytes.push_back(static_cast<uint8_t>(hexDigit(high) << 4 | hexDigit(low)));
    }
    return parsed;
}

std::string FormatDataLine(std::string_view prefix, const uint8_t* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::size_t shown = bytes == nullptr ? 0 : std::min<std::size_t>(count, kMaxDataLength);
    std::string line(prefix);
    line.reserve(prefix.size() + shown * 3 + shown / 16);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0 && i % 16 == 0) {
            line += '\n';
        }
        line += kDigits[bytes[i] >> 4];
        line += kDigits[bytes[i] & 0x0F];
        line += ' ';
    }
    return line;
}

Exchange TransmitWithLog(SCARDHANDLE card, uint32_t activeProtocol, uint32_t shareMode,
                         const Bytes& request) {
    Exchange exchange;
    exchange.sendLine = FormatDataLine("Send Data: ", request.data(), request.size());
    std::array<uint8_t, kMaxDataLength> response{};
    uint32_t received = kMaxDataLength;
    const auto length = static_cast<uint32_t>(request.size());
    if (shareMode == SCARD_SHARE_DIRECT) {
        DWORD returned = received;
        exchange.status =
            static_cast<int32_t>(SCardControl_WIN(card, kReaderControlCode, request.data(), length,
                                                  response.data(), kMaxDataLength, &returned));
        received = static_cast<uint32_t>(std::min<DWORD>(returned, kMaxDataLength));
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
