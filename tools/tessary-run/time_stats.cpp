// SPDX-License-Identifier: BSD-3-Clause
#include "time_stats.h"

#include <algorithm>
#include <bit>

namespace tessary::run {
namespace {

constexpr uint64_t kSub = TimeStats::kSubBuckets;
constexpr int kSubBits = std::countr_zero(kSub);
static_assert(std::has_single_bit(kSub));
// Times below kSub have a bucket each; every power of two from kSub to 2^62 has kSub.
constexpr std::size_t kBuckets = kSub + (63 - kSubBits) * kSub;

std::size_t bucketOf(uint64_t value) {
    if (value < kSub) {
        return static_cast<std::size_t>(value);
    }
    const int shift = static_cast<int>(std::bit_width(value)) - 1 - kSubBits;
    return static_cast<std::size_t>(kSub * static_cast<uint64_t>(shift + 1) +
                                    ((value >> shift) - kSub));
}

// The middle of the bucket's times, off by at most half its width from any of them.
int64_t middleOf(std::size_t bucket) {
    if (bucket < kSub) {
        return static_cast<int64_t>(bucket);
    }
    const int shift = static_cast<int>(bucket / kSub) - 1;
    const uint64_t lowest = (kSub + bucket % kSub) << shift;
    return static_cast<int64_t>(lowest + ((uint64_t{1} << shift) >> 1));
}

} // namespace

TimeStats::TimeStats() : m_counts(kBuckets) {}

void TimeStats::add(int64_t micros) {
    const int64_t value = std::max<int64_t>(micros, 0);
    m_min = m_count == 0 ? value : std::min(m_min, value);
    m_max = m_count == 0 ? value : std::max(m_max, value);
    ++m_counts[bucketOf(static_cast<uint64_t>(value))];
    ++m_count;
}

int64_t TimeStats::percentile(unsigned percent) const {
    if (m_count == 0) {
        return 0;
    }
    // The rank ceil(count * percent / 100), by hundreds first so that no count overflows.
    const uint64_t wanted =
        std::max<uint64_t>(m_count / 100 * percent + (m_count % 100 * percent + 99) / 100, 1);
    uint64_t seen = 0;
    for (std::size_t bucket = 0; bucket < m_counts.size(); ++bucket) {
        seen += m_counts[bucket];
        if (seen >= wanted) {
            // The true time lies in this bucket and between the extremes, both known exactly.
            return std::clamp(middleOf(bucket), m_min, m_max);
        }
    }
    return m_max;
}

std::optional<TimeSummary> TimeStats::summary() const {
    if (m_count == 0) {
        return std::nullopt;
    }
    return TimeSummary{m_min, percentile(50), percentile(95), m_max};
}

} // namespace tessary::run
