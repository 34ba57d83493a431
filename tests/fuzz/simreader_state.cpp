// SPDX-License-Identifier: BSD-3-Clause
// The reader's state files: key=value text, the card setting it names and the card that
// setting makes, for any file content the tool or a person might leave in the folder.
#include "cards.h"
#include "fuzz_input.h"
#include "state_files.h"

using namespace simreader;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::Input::asText({data, size});
    std::string error;
    const auto values = parseKeyValues(text, error);
    if (!values) {
        FUZZ_CHECK(error.starts_with("line "));
        return 0;
    }
    for (const auto& [key, value] : *values) {
        FUZZ_CHECK(!key.empty() && key.find('\n') == std::string::npos &&
                   value.find('\n') == std::string::npos);
    }
    // What the driver writes back reads the same.
    FUZZ_CHECK(parseKeyValues(formatKeyValues(*values), error) == values);

    const auto setting = parseCardSetting(*values, error);
    if (!setting) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    const auto again = parseCardSetting(formatCardSetting(*setting), error);
    FUZZ_CHECK(again && again->type == setting->type && again->id == setting->id &&
               again->options == setting->options);

    KeyValues options = setting->options;
    const auto slot = takeSlotOptions(options, error);
    if (slot) {
        FUZZ_CHECK(!options.contains("pull-after") && !options.contains("latency"));
        FUZZ_CHECK(!slot->latency || *slot->latency <= kMaxLatency);
        const auto card = makeCard(setting->type, options, error);
        FUZZ_CHECK(card || !error.empty());
        if (card) {
            KeyValues status;
            card->describe(status);
            const auto copy = makeCard(setting->type, card->contents(), error);
            FUZZ_CHECK(copy && copy->contents() == card->contents());
        }
    }
    return 0;
}
