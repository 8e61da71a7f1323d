// The windows of a phasing run and their ligation, on hand-made windows.

#include "phasing/ligation.hpp"
#include "phasing/site_window.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(WindowPlan, CoversEverySiteWithOverlapsAndTheLastWindowEndingAtTheLastSite)
{
    const struct {
        int sites, window, overlap;
        std::vector<SiteWindow> expected;
    } cases[] = {
        {10, 4, 2, {{0, 4}, {2, 6}, {4, 8}, {6, 10}}},
        {11, 4, 2, {{0, 4}, {2, 6}, {4, 8}, {6, 10}, {7, 11}}},  // the last one moved back
        {5, 1, 0, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}}},   // windows of one site
        {7, 10, 5, {{0, 7}}},                                    // shorter than one window
        {7, 0, 0, {{0, 7}}},                                     // --window 0: the whole input
        {9, 3, 0, {{0, 3}, {3, 6}, {6, 9}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(testing::Message() << k.sites << " sites, window " << k.window << ", overlap " << k.overlap);
        EXPECT_EQ(planWindows(k.sites, k.window, k.overlap), k.expected);
    }
}

// A window whose samples each take one pair of the listed haplotypes.
WindowSolution window(SiteWindow sites, std::vector<std::string> haplotypes, std::vector<std::vector<HaplotypePair>> pairs)
{
    WindowSolution w;
    w.sites = sites;
    w.haplotypes = std::move(haplotypes);
    for (std::size_t i = 0; i < pairs.size(); ++i) w.genotypeOfSample.push_back(static_cast<int>(i));
    w.pairs = std::move(pairs);
    return w;
}

TEST(Ligation, OrientsEachWindowByTheOverlapsHeterozygousSitesAndSwitchesInItsMiddle)
{
    // Window B lists the sample's haplotypes the other way round: its first
    // haplotype continues the second of window A.
    const std::vector<WindowSolution> windows = {
        window({0, 4}, {"0011", "1100"}, {{{0, 1}}}),
        window({2, 6}, {"0000", "1111"}, {{{0, 1}}}),
    };
    const Ligation l = ligateWindows(windows, {"222222"});
    EXPECT_EQ(l.phases[0].first, "001111");
    EXPECT_EQ(l.phases[0].second, "110000");
    EXPECT_EQ(l.joins[0].agreeing, 2);
    EXPECT_EQ(l.joins[0].disagreeing, 0);
    EXPECT_EQ(l.joins[0].undecided, 0);
}

TEST(Ligation, TakesOfSeveralExplainingPairsTheOneThatAgreesWithTheNeighbours)
{
    // In window B the sample's genotype 2222 is explained by (0000, 1111) and
    // by (0100, 1011); only the second agrees with window A on the overlap.
    const std::vector<WindowSolution> windows = {
        window({0, 4}, {"0101", "1010"}, {{{0, 1}}}),
        window({2, 6}, {"0000", "0100", "1011", "1111"}, {{{0, 3}, {1, 2}}}),
    };
    const Ligation l = ligateWindows(windows, {"222222"});
    EXPECT_EQ(l.phases[0].first, "010100");
    EXPECT_EQ(l.phases[0].second, "101011");
    EXPECT_EQ(l.joins[0].agreeing, 2);
    EXPECT_EQ(l.joins[0].disagreeing, 0);
}

TEST(Ligation, OrientsASampleWithoutHeterozygousSiteInTheOverlapAsTheOtherSamplesContinue)
{
    // Samples 1 and 2 (heterozygous at site 2) show that haplotype 0 of
    // window A continues as haplotype 2 of window B. Sample 3 is homozygous
    // on the overlap (sites 2 and 3), so only they can tell whether its
    // first haplotype, A's 0, goes on as B's 1 or B's 2.
    const std::vector<WindowSolution> windows = {
        window({0, 4}, {"0001", "1011", "1001"}, {{{0, 1}}, {{0, 1}}, {{0, 2}}}),
        window({2, 6}, {"1100", "0110", "0101"}, {{{0, 2}}, {{0, 2}}, {{1, 2}}}),
    };
    const Ligation l = ligateWindows(windows, {"202102", "202102", "200122"});
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(l.phases[i].first, "000101");
        EXPECT_EQ(l.phases[i].second, "101100");
        EXPECT_EQ(l.joins[i].undecided, 0);
    }
    EXPECT_EQ(l.joins[2].undecided, 1);
    EXPECT_EQ(l.phases[2].first, "000101");
    EXPECT_EQ(l.phases[2].second, "100110");
}

TEST(Ligation, EveryPhaseExplainsItsGenotypeOverEverySite)
{
    // Windows of one site, no overlap: each site on its own.
    std::vector<WindowSolution> windows;
    const std::string genotype = "21202";
    for (int s = 0; s < 5; ++s) {
        const char g = genotype[static_cast<std::size_t>(s)];
        if (g == '2') windows.push_back(window({s, s + 1}, {"0", "1"}, {{{0, 1}}}));
        else windows.push_back(window({s, s + 1}, {std::string(1, g)}, {{{0, 0}}}));
    }
    const Ligation l = ligateWindows(windows, {genotype});
    for (std::size_t s = 0; s < genotype.size(); ++s) {
        const char a = l.phases[0].first[s];
        const char b = l.phases[0].second[s];
        if (genotype[s] == '2') EXPECT_NE(a, b) << s;
        else EXPECT_TRUE(a == genotype[s] && b == genotype[s]) << s;
    }
}

} // namespace
