#include "exact/lower_bound.hpp"

#include "exact/genotype_masks.hpp"
#include "exact/incompatibility_clique.hpp"
#include "exact_support.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

LowerBound boundOf(const std::vector<std::string>& genotypes, const CliqueSearchLimits& limits = {})
{
    const GenotypeMasks masks = makeGenotypeMasks(genotypes);
    return computeLowerBound(genotypes, masks, makeCompatibilityRows(masks), limits);
}

} // namespace

TEST(LowerBound, CountingBoundIsTheSmallestCountWithRoomForTheGenotypes)
{
    struct Case {
        int homozygous, heterozygous, expected;
    };
    const Case cases[] = {
        {0, 0, 0}, {1, 0, 1}, {0, 1, 2}, {0, 3, 3}, {0, 4, 4}, {0, 6, 4}, {0, 7, 5}, {5, 1, 5}, {2, 10, 5}, {0, 4950, 100}, {0, 4951, 101},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(countingBound(c.homozygous, c.heterozygous), c.expected) << c.homozygous << " " << c.heterozygous;
    }
}

TEST(LowerBound, NeverExceedsTheOptimumAndItsCliqueIsPairwiseIncompatible)
{
    std::mt19937 rng(99);
    for (int instance = 0; instance < 400; ++instance) {
        const std::vector<std::string> genotypes = exact_support::tinyInstance(rng);
        const int optimum = brute_force::fewestHaplotypes(genotypes);
        const LowerBound bound = boundOf(genotypes);
        SCOPED_TRACE(exact_support::describe(genotypes));
        EXPECT_LE(bound.value(), optimum);
        const GenotypeMasks masks = makeGenotypeMasks(genotypes);
        for (const int a : bound.cliqueMembers) {
            for (const int b : bound.cliqueMembers) {
                if (a != b) {
                    EXPECT_FALSE(genotypesCompatible(masks, a, b)) << a << " " << b;
                }
            }
        }
        EXPECT_EQ(bound.clique, cliqueWeight(bound.cliqueMembers, cliqueWeights(genotypes)));
        // Each layer is pairwise incompatible, and each of its genotypes needs
        // a haplotype that the clique and the earlier layers cannot give.
        std::vector<int> members = bound.cliqueMembers;
        for (const std::vector<int>& layer : bound.outsideLayers) {
            EXPECT_FALSE(layer.empty());
            for (const int g : layer) {
                EXPECT_TRUE(needsHaplotypeOutside(masks, members, g)) << g;
                for (const int other : layer) {
                    if (other != g) {
                        EXPECT_FALSE(genotypesCompatible(masks, g, other));
                    }
                }
            }
            members.insert(members.end(), layer.begin(), layer.end());
        }
    }
}

TEST(LowerBound, TheExtraHaplotypeRuleSeesWhatTheCliqueCannotGive)
{
    struct Case {
        std::vector<std::string> genotypes;  // the clique is the first two
        bool needed;                         // the third needs a haplotype outside the clique's
    };
    const Case cases[] = {
        {{"0011", "1100", "0211"}, true},   // it fits only the first member
        {{"0022", "1122", "2222"}, false},  // 0001 from the first member, 1110 from the second
        {{"0022", "1122", "2200"}, false},  // 0000 from the first, 1100 from the second
        {{"0020", "1120", "2220"}, false},  // the members' '2' at site 2 lets the two haplotypes differ
        {{"0010", "1110", "2220"}, true},   // both members carry '1' at site 2, where it is '2'
        {{"0020", "1120", "2202"}, true},   // incompatible with both
        {{"0220", "1111", "0110"}, false},  // homozygous: one of the first member's haplotypes
        {{"0000", "1111", "0001"}, true},   // homozygous members have only their own haplotype
    };
    for (const Case& c : cases) {
        EXPECT_EQ(needsHaplotypeOutside(makeGenotypeMasks(c.genotypes), {0, 1}, 2), c.needed)
            << exact_support::describe(c.genotypes);
    }
    EXPECT_FALSE(needsHaplotypeOutside(makeGenotypeMasks({"0000", "1111"}), {0, 1}, 0)) << "a member";
}

TEST(IncompatibilityClique, LocalSearchFindsAtLeastTheGreedyWeightOnPooledGenotypes)
{
    // Genotypes of a random pool of 100-site haplotypes are incompatible
    // unless they share a haplotype, so a heavy clique is close to a matching
    // of the pool's haplotypes: about the pool's size.
    std::mt19937 rng(5);
    const std::vector<std::string> genotypes = testing_support::randomGenotypes(rng, 300, 100, 40);
    const GenotypeMasks masks = makeGenotypeMasks(genotypes);
    const CompatibilityRows rows = makeCompatibilityRows(masks);
    const std::vector<int> weights = cliqueWeights(genotypes);
    CliqueSearchLimits greedyOnly;
    greedyOnly.steps = 0;
    const int greedy = cliqueWeight(findHeavyClique(rows, weights, greedyOnly), weights);
    const std::vector<int> clique = findHeavyClique(rows, weights, {});
    EXPECT_GE(cliqueWeight(clique, weights), greedy);
    EXPECT_GE(cliqueWeight(clique, weights), 36);
    for (const int a : clique) {
        for (const int b : clique) {
            if (a != b) {
                ASSERT_FALSE(rows.compatible(a, b));
            }
        }
    }
}
