#include "exact/instance_reduction.hpp"

#include "exact_support.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

TEST(InstanceReduction, DropsConstantColumnsAndMergesEqualAndComplementaryOnes)
{
    // Sites: 0 constant '0', 1 kept, 2 equal to 1, 3 complement of 1, 4 constant '1', 5 kept.
    const std::vector<std::string> genotypes{"000111", "022212", "011011", "000111"};
    const ReducedInstance reduced = reduceInstance(genotypes);
    EXPECT_EQ(reduced.keptSites, (std::vector<int>{1, 5}));
    EXPECT_EQ(reduced.genotypes, (std::vector<std::string>{"01", "22", "11"}));
    EXPECT_EQ(reduced.genotypeOf, (std::vector<int>{0, 1, 2, 0}));
    ASSERT_EQ(reduced.sites.size(), 6u);
    EXPECT_EQ(reduced.sites[0].column, -1);
    EXPECT_EQ(reduced.sites[0].constant, '0');
    EXPECT_EQ(reduced.sites[4].constant, '1');
    EXPECT_EQ(reduced.sites[2].column, 0);
    EXPECT_FALSE(reduced.sites[2].flipped);
    EXPECT_EQ(reduced.sites[3].column, 0);
    EXPECT_TRUE(reduced.sites[3].flipped);
    EXPECT_EQ(reduced.sites[5].column, 1);
}

TEST(InstanceReduction, KeepsTheOptimumAndMapsReconstructionsBothWays)
{
    std::mt19937 rng(31);
    for (int instance = 0; instance < 300; ++instance) {
        // A tiny instance widened with constant, repeated and complemented columns.
        const std::vector<std::string> base = exact_support::tinyInstance(rng, 6, 4);
        std::vector<std::string> genotypes = base;
        const int extra = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < extra; ++e) {
            const int kind = static_cast<int>(rng() % 3);
            const std::size_t source = rng() % base[0].size();
            const char constant = rng() % 2 == 0 ? '0' : '1';
            for (std::string& g : genotypes) {
                const char c = g[source];
                g += kind == 0 ? constant : kind == 1 ? c : c == '0' ? '1' : c == '1' ? '0' : '2';
            }
        }
        SCOPED_TRACE(exact_support::describe(genotypes));
        const ReducedInstance reduced = reduceInstance(genotypes);
        EXPECT_LE(reduced.keptSites.size(), base[0].size());
        const int optimum = brute_force::fewestHaplotypes(genotypes);
        EXPECT_EQ(brute_force::fewestHaplotypes(reduced.genotypes), optimum);

        // The genotypes' own phasings, restricted and expanded back.
        const Reconstruction own = exact_support::ownHaplotypes(genotypes);
        const Reconstruction restricted = restrictReconstruction(reduced, own);
        EXPECT_EQ(findReconstructionFault(reduced.genotypes, restricted), "");
        EXPECT_LE(restricted.haplotypes.size(), own.haplotypes.size());
        Reconstruction expanded = expandReconstruction(reduced, restricted);
        EXPECT_EQ(findReconstructionFault(genotypes, expanded), "");
        normalizeReconstruction(expanded);
        EXPECT_EQ(expanded.haplotypes.size(), restricted.haplotypes.size());
    }
}
