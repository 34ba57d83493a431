#include "console.h"

#include "prolvak.h"
#include "reader_features.h"
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

bool continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The character that starts at `at`: its first byte and up to three continuation bytes.
std::string_view characterAt(std::string_view text, std::size_t at) {
    if (at >= text.size()) {
        return {};
    }
    std::size_t end = at + 1;
    while (end < text.size() && end - at < 4 && continuation(text[end])) {
        ++end;
    }
    return text.substr(at, end - at);
}

// A hexadecimal digit's value, for a character that is one.
int hexDigit(std::string_view character) {
    return character.size() == 1 ? hexDigit(character[0]) : -1;
}

} // namespace

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += characterAt(text, at).size()) {
        ++count;
    }
    return count;
}

int RequestByteCount(std::string_view text) {
    return static_cast<int>((CharacterCount(text) + 1) / 3);
}

ParsedRequest ParseRequestBytes(std::string_view text, int count) {
    ParsedRequest parsed;
    std::size_t at = 0;
    for (int i = 0; i < count; ++i) {
        // The pair is read as an integer with a hexadecimal prefix: two digits, nothing
        // else, no sign, no prefix of its own.
        const std::string_view high = characterAt(text, at);
        const std::string_view low = characterAt(text, at + high.size());
        if (hexDigit(high) < 0 || hexDigit(low) < 0) {
            parsed.badPair = "0x" + std::string(high) + std::string(low);
            parsed.bytes.clear();
            return parsed;
        }
        parsed.bytes.push_back(static_cast<uint8_t>(hexDigit(high) << 4 | hexDigit(low)));
        at += high.size() + low.size();
        at += characterAt(text, at).size(); // the separator, whatever it is
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
        // Each call goes through the access library, so its trace shows the refused code,
        // the feature request and the escape code's send one by one.
        const auto control = [card](DWORD code, const uint8_t* input, DWORD inputLength,
                                    uint8_t* output, DWORD room, DWORD* got) {
            return SCardControl_WIN(card, code, input, inputLength, output, room, got);
        };
        DWORD returned = 0;
        const auto outcome = pcscfeatures::controlWithEscapeFallback(
            control, kReaderControlCode, request, response, returned);
        exchange.status = static_cast<int32_t>(outcome.result);
        received = static_cast<uint32_t>(std::min<DWORD>(returned, kMaxDataLength));
        if (outcome.noEscape) {
            exchange.hint = pcscfeatures::noEscapeHint(kReaderControlCode);
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
