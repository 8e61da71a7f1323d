#include "exact/independent_groups.hpp"

#include "exact/genotype_masks.hpp"
#include "exact_support.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

TEST(IndependentGroups, PartsAreIncompatibleWithEachOtherAndTheirOptimaAddUp)
{
    std::mt19937 rng(8);
    int split = 0;
    for (int instance = 0; instance < 300; ++instance) {
        const std::vector<std::string> genotypes = exact_support::tinyInstance(rng);
        const GenotypeMasks masks = makeGenotypeMasks(genotypes);
        const std::vector<std::vector<int>> groups = splitIndependentGroups(makeCompatibilityRows(masks));
        SCOPED_TRACE(exact_support::describe(genotypes));
        std::vector<int> groupOf(genotypes.size(), -1);
        for (std::size_t p = 0; p < groups.size(); ++p) {
            EXPECT_TRUE(std::is_sorted(groups[p].begin(), groups[p].end()));
            for (const int g : groups[p]) {
                EXPECT_EQ(groupOf[g], -1);
                groupOf[g] = static_cast<int>(p);
            }
        }
        for (std::size_t a = 0; a < genotypes.size(); ++a) {
            ASSERT_GE(groupOf[a], 0);
            for (std::size_t b = 0; b < genotypes.size(); ++b) {
                if (groupOf[a] != groupOf[b]) {
                    EXPECT_FALSE(genotypesCompatible(masks, static_cast<int>(a), static_cast<int>(b)));
                }
            }
        }
        split += groups.size() > 1;

        int sum = 0;
        std::vector<Reconstruction> parts;
        const Reconstruction own = exact_support::ownHaplotypes(genotypes);
        for (const std::vector<int>& group : groups) {
            sum += brute_force::fewestHaplotypes(genotypesOfGroup(genotypes, group));
            parts.push_back(reconstructionOfGroup(own, group));
            EXPECT_EQ(findReconstructionFault(genotypesOfGroup(genotypes, group), parts.back()), "");
        }
        EXPECT_EQ(sum, brute_force::fewestHaplotypes(genotypes));
        const Reconstruction joined = joinGroupReconstructions(groups, parts, static_cast<int>(genotypes.size()));
        EXPECT_EQ(findReconstructionFault(genotypes, joined), "");
    }
    EXPECT_GT(split, 30) << "instances with several groups were tried";
}
