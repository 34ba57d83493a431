// SPDX-License-Identifier: BSD-3-Clause
#include "write_plan.h"

#include <algorithm>

namespace tessary::memcard {

std::size_t WritePlan::byteCount() const {
    std::size_t n = 0;
    for (const auto& run : runs) {
        n += run.bytes.size();
    }
    return n;
}

std::vector<uint32_t> WritePlan::addresses() const {
    std::vector<uint32_t> all;
    for (const auto& run : runs) {
        for (uint32_t i = 0; i < run.bytes.size(); ++i) {
            all.push_back(run.address + i);
        }
    }
    return all;
}

WritePlan planWrite(const CardImage& card, const CardImage& image) {
    WritePlan plan;
    const auto size = static_cast<uint32_t>(std::min(card.data.size(), image.data.size()));
    const bool pscInMemory = card.type == CardType::Sle4428;
    for (uint32_t a = 0; a < size; ++a) {
        if (image.protect[a] && !card.protect[a]) {
            plan.protectionNotWritten.push_back(a);
        }
        if (card.data[a] == image.data[a]) {
            continue;
        }
        if (pscInMemory && a >= kSle4428CounterAddress) {
            plan.skipped.push_back(a);
        } else if (card.protect[a]) {
            plan.refused.push_back(a);
        } else if (!plan.runs.empty() &&
                   plan.runs.back().address + plan.runs.back().bytes.size() == a) {
            plan.runs.back().bytes.push_back(image.data[a]);
        } else {
            plan.runs.push_back({a, {image.data[a]}});
        }
    }
    return plan;
}

std::vector<uint32_t> bytesNotTaken(const WritePlan& plan, const CardImage& after) {
    std::vector<uint32_t> missing;
    for (const auto& run : plan.runs) {
        for (uint32_t i = 0; i < run.bytes.size(); ++i) {
            const uint32_t a = run.address + i;
            if (a >= after.data.size() || after.data[a] != run.bytes[i]) {
                missing.push_back(a);
            }
        }
    }
    return missing;
}

} // namespace tessary::memcard
