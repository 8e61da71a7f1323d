#include "phasing/closest_sums.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace {

// The closest by sorting: by sum, the lower index first, then ascending.
std::vector<int> closestBySorting(const std::vector<std::int16_t>& sums, int wanted)
{
    std::vector<int> order(sums.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return sums[a] < sums[b]; });
    order.resize(static_cast<std::size_t>(wanted));
    std::sort(order.begin(), order.end());
    return order;
}

} // namespace

// Counts of every length around the vectors' eight lanes, sums with many
// ties, some already taken, and a search that starts anywhere from the
// distance of a block before: the same choice as sorting.
TEST(ClosestSums, PicksWhatSortingPicksWhereverTheSearchStarts)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        SCOPED_TRACE(round);
        const int count = 1 + static_cast<int>(rng() % 70);
        const int largest = 1 + static_cast<int>(rng() % 40);
        std::vector<std::int16_t> sums(static_cast<std::size_t>(count));
        int open = 0;
        for (std::int16_t& s : sums) {
            s = rng() % 5 == 0 ? kTaken : static_cast<std::int16_t>(rng() % (largest + 1));
            open += s != kTaken;
        }
        if (open == 0) continue;
        const int wanted = 1 + static_cast<int>(rng() % open);
        int limit = static_cast<int>(rng() % (largest + 5));
        std::vector<int> picked{-1};  // appended to, not replaced
        pickClosest(sums.data(), count, wanted, limit, picked);
        std::vector<int> expected{-1};
        const std::vector<int> closest = closestBySorting(sums, wanted);
        expected.insert(expected.end(), closest.begin(), closest.end());
        ASSERT_EQ(picked, expected);
        EXPECT_EQ(countAtMost(sums.data(), count, limit - 1) < wanted && countAtMost(sums.data(), count, limit) >= wanted,
                  true);
    }
}
