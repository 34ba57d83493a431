// SPDX-License-Identifier: BSD-3-Clause
// Exchange times of a run of any length in the same memory: the exact minimum and maximum,
// and the median and 95th percentile from a histogram whose buckets are 1/128 of a power
// of two wide. The value shown for a bucket is its middle, so a percentile is off by at
// most 1/256 (0.4 %) of the exchange time it stands for; below 256 us it is exact.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tessary::run {

// Minimum, median, 95th percentile and maximum, of at least one time.
struct TimeSummary {
    int64_t min = 0;
    int64_t median = 0;
    int64_t p95 = 0;
    int64_t max = 0;
};

class TimeStats {
public:
    // Buckets per power of two; their width is what bounds the error.
    static constexpr int kSubBuckets = 128;
    // The error bound of the median and the 95th percentile, as a share of the true value.
    static constexpr double kRelativeError = 1.0 / (2 * kSubBuckets);

    TimeStats();

    // A time in microseconds; one below zero counts as zero.
    void add(int64_t micros);
    uint64_t count() const { return m_count; }
    // Nothing before the first time.
    std::optional<TimeSummary> summary() const;
    // The nearest rank's time (the smallest with at least `percent` of all at or below it)
    // within kRelativeError, for percent from 1 to 100.
    int64_t percentile(unsigned percent) const;

private:
    std::vector<uint64_t> m_counts; // a fixed number, allocated once
    uint64_t m_count = 0;
    int64_t m_min = 0;
    int64_t m_max = 0;
};

} // namespace tessary::run
