// What an ATR says, in one line for the reader listing: its convention, the protocols it
// offers, its historical bytes, and the card family when it is a memory card we know.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tessary::run {

std::string DescribeAtr(std::span<const uint8_t> atr);

} // namespace tessary::run
