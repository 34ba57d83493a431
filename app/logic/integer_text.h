// SPDX-License-Identifier: BSD-3-Clause
// Integers typed into fields: the conversion that number fields go through, and its
// failure text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessary {

// A decimal integer: leading blanks, an optional sign, digits and nothing after them,
// within 32 bits. Nothing for any other text, an empty one included.
std::optional<int32_t> IntegerOfText(std::string_view text);

// The integer a fixed-width field shows, blanks around it not counting; nothing when it
// shows none.
std::optional<int32_t> FieldInteger(std::string_view text);

// "'%s' is not a valid integer value", the box for text that does not convert.
std::string NotAnIntegerText(std::string_view text);

} // namespace tessary
