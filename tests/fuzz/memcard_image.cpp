// SPDX-License-Identifier: BSD-3-Clause
// tessary-memcard's image reader over any text: an image or the first fault with its line,
// and every image it reads written back as the same image. The same text as a PSC file: a
// PSC of one to eight bytes, or a reason without it.
#include "card_image.h"
#include "fuzz_input.h"
#include "psc_input.h"

#include <algorithm>

using namespace tessary::memcard;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::Input::asText({data, size});
    const PscInput psc = pscFromText(text);
    FUZZ_CHECK(psc.psc ? psc.error.empty() && !psc.psc->empty() && psc.psc->size() <= 8
                       : !psc.error.empty());
    const ParsedImage parsed = parseImage(text);
    if (!parsed.image) {
        FUZZ_CHECK(parsed.error.line >= 1 && !parsed.error.message.empty());
        FUZZ_CHECK(parsed.error.line <=
                   static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
        return 0;
    }
    const CardImage& image = *parsed.image;
    const CardTraits& card = traits(image.type);
    FUZZ_CHECK(image.data.size() == card.size && image.protect.size() == card.size);
    for (std::size_t a = card.protectable; a < card.size; ++a) {
        FUZZ_CHECK(!image.protect[a]);
    }
    FUZZ_CHECK(!image.counter || image.type == CardType::Sle4442);

    const ParsedImage again = parseImage(formatImage(image));
    FUZZ_CHECK(again.image && again.image->type == image.type && again.image->date == image.date);
    FUZZ_CHECK(diffImages(image, *again.image).empty());
    FUZZ_CHECK(diffImages(image, blankImage(image.type)).size() <= card.size + 1);
    return 0;
}
