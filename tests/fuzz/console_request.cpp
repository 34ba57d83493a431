// SPDX-License-Identifier: BSD-3-Clause
// The console's request text, its byte count and conversion, the number fields' integers
// and the data lines of the log, over any text the operator can type or paste.
#include "console.h"
#include "fuzz_input.h"
#include "integer_text.h"

#include <string>

using namespace tessary;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::Input::asText({data, size});

    FUZZ_CHECK(characterCount(text) <= text.size());
    const int count = RequestByteCount(text);
    FUZZ_CHECK(count >= 0 && static_cast<std::size_t>(count) <= (text.size() + 1) / 3);

    const ParsedRequest parsed = ParseRequestBytes(text, count);
    if (parsed.badPair) {
        FUZZ_CHECK(parsed.bytes.empty());
        FUZZ_CHECK(parsed.badPair->starts_with("0x") && parsed.badPair->size() <= 2 + 8);
    } else {
        FUZZ_CHECK(parsed.bytes.size() == static_cast<std::size_t>(count));
    }
    // The count takes every pair there is: one more never converts.
    FUZZ_CHECK(ParseRequestBytes(text, count + 1).badPair.has_value());

    // A data line shows at most 330 bytes, "%02X " each, a line feed before every 16th; its
    // pairs read back as the bytes.
    const uint8_t* raw = size > 0 ? data : nullptr;
    const std::string line = FormatDataLine("Send Data: ", raw, size);
    const std::size_t shown = std::min<std::size_t>(size, kMaxDataLength);
    FUZZ_CHECK(line.size() == 11 + 3 * shown + (shown > 0 ? (shown - 1) / 16 : 0));
    std::string pairs;
    for (const char c : std::string_view(line).substr(11)) {
        if (c != '\n') {
            pairs += c;
        }
    }
    const ParsedRequest back = ParseRequestBytes(pairs, static_cast<int>(shown));
    FUZZ_CHECK(!back.badPair && std::equal(back.bytes.begin(), back.bytes.end(), data));

    // The number fields: what converts, converts back the same.
    if (const auto value = IntegerOfText(text)) {
        FUZZ_CHECK(IntegerOfText(std::to_string(*value)) == value);
        FUZZ_CHECK(FieldInteger(text) == value);
    }
    if (const auto value = FieldInteger(text)) {
        FUZZ_CHECK(FieldInteger(std::to_string(*value)) == value);
    }
    FUZZ_CHECK(NotAnIntegerText(text).size() == text.size() + 31);
    return 0;
}
