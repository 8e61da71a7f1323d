#include "search/random_generator.hpp"

#include <gtest/gtest.h>

#include <vector>

TEST(RandomGenerator, SeedingDiscardsOneDrawAndTheSequenceIsFixed)
{
    RandomGenerator random;
    seedGenerator(random, 1);
    std::vector<int> draws;
    for (int i = 0; i < 5; ++i) draws.push_back(drawRandom(random));
    EXPECT_EQ(draws, (std::vector<int>{130, 10982, 1090, 11656, 7117}));
}

TEST(RandomGenerator, ANegativeSeedIsTakenAsItsThirtyTwoBitPattern)
{
    RandomGenerator random;
    seedGenerator(random, -7);
    EXPECT_EQ(drawRandom(random), 1855);
    EXPECT_EQ(drawRandom(random), 22471);
    EXPECT_EQ(drawRandom(random), 14688);
}

TEST(RandomGenerator, DrawsStayInFifteenBits)
{
    RandomGenerator random;
    seedGenerator(random, 12345);
    for (int i = 0; i < 100000; ++i) {
        const int r = drawRandom(random);
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}
