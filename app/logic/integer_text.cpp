// SPDX-License-Identifier: BSD-3-Clause
#include "integer_text.h"

#include <charconv>

namespace tessary {

std::optional<int32_t> IntegerOfText(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(first);
    // from_chars takes a minus sign but no plus sign.
    if (text.starts_with('+') && !text.starts_with("+-")) {
        text.remove_prefix(1);
    }
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<int32_t> FieldInteger(std::string_view text) {
    const auto last = text.find_last_not_of(' ');
    if (last == std::string_view::npos) {
        return std::nullopt;
    }
    return IntegerOfText(text.substr(0, last + 1));
}

std::string NotAnIntegerText(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid integer value";
}

} // namespace tessary
