// SPDX-License-Identifier: BSD-3-Clause
// The run's time summary in constant memory: the percentiles within the stated bound of the
// exact nearest ranks, the extremes exact, whatever the times' spread.
#include "time_stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

using namespace tessary::run;

namespace {

int64_t nearestRank(std::vector<int64_t> values, unsigned percent) {
    std::ranges::sort(values);
    const std::size_t rank = std::max<std::size_t>((values.size() * percent + 99) / 100, 1);
    return values[rank - 1];
}

TEST(TimeStats, PercentilesWithinTheBoundAndExtremesExact) {
    std::mt19937_64 random(20240611);
    const auto logUniform = [&random](double low, double high) {
        return std::uniform_real_distribution<double>(std::log(low), std::log(high));
    };
    const struct {
        const char* what;
        std::size_t count;
        std::function<int64_t()> draw;
    } cases[] = {
        {"small times, exact", 1000,
         [&] { return std::uniform_int_distribution<int64_t>(0, 255)(random); }},
        {"six decades", 20000,
         [&, d = logUniform(1, 1e6)]() mutable { return std::llround(std::exp(d(random))); }},
        {"a narrow band just past exact", 5000,
         [&] { return std::uniform_int_distribution<int64_t>(250, 270)(random); }},
        {"two modes and a tail", 10000,
         [&] {
             const double u = std::uniform_real_distribution<double>(0, 1)(random);
             return u < 0.6 ? int64_t{80} : u < 0.97 ? int64_t{12345} : int64_t{987654321};
         }},
        {"hours", 3000,
         [&, d = logUniform(1e9, 1e13)]() mutable { return std::llround(std::exp(d(random))); }},
        {"one time", 1, [] { return int64_t{4711}; }},
    };
    for (const auto& c : cases) {
        TimeStats stats;
        std::vector<int64_t> values;
        for (std::size_t i = 0; i < c.count; ++i) {
            values.push_back(c.draw());
            stats.add(values.back());
        }
        const auto summary = stats.summary();
        ASSERT_TRUE(summary) << c.what;
        EXPECT_EQ(summary->min, std::ranges::min(values)) << c.what;
        EXPECT_EQ(summary->max, std::ranges::max(values)) << c.what;
        for (const unsigned percent : {1u, 50u, 95u, 99u, 100u}) {
            const int64_t exact = nearestRank(values, percent);
            const int64_t shown = stats.percentile(percent);
            EXPECT_LE(std::abs(static_cast<double>(shown - exact)),
                      static_cast<double>(exact) * TimeStats::kRelativeError)
                << c.what << ", " << percent << " %: " << shown << " for " << exact;
        }
        EXPECT_EQ(summary->median, stats.percentile(50));
        EXPECT_EQ(summary->p95, stats.percentile(95));
    }
    EXPECT_LE(TimeStats::kRelativeError, 0.01); // what the summary promises
    EXPECT_FALSE(TimeStats().summary());
}

} // namespace
