// SPDX-License-Identifier: BSD-3-Clause
// One reader as `simreader-ctl setup` (and so `sim-pcscd start`) takes it:
// "NAME=[CARD-TYPE][@PERSONALITY][ SETTING=VALUE ...]". A name may hold blanks and '='
// itself, so the layout starts at the first '=' whose next word names a card type or none;
// failing that, at the first '=' followed by a word without '=', so that the message names
// the wrong card type. Without '=' the whole text is the name.
#pragma once

#include <string>
#include <vector>

namespace simreader {

struct LayoutEntry {
    std::string name;
    std::string layout; // [CARD-TYPE][@PERSONALITY]
    std::vector<std::string> settings;
};

LayoutEntry splitLayoutEntry(const std::string& entry);

} // namespace simreader
