#include "output/reconstruction.hpp"

#include "test_support.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Every pair (a <= b) of the haplotypes that explains the genotype, site by site.
std::vector<HaplotypePair> referencePairs(const std::vector<std::string>& haplotypes, const std::string& genotype)
{
    std::vector<HaplotypePair> pairs;
    for (int a = 0; a < static_cast<int>(haplotypes.size()); ++a)
        for (int b = a; b < static_cast<int>(haplotypes.size()); ++b)
            if (pairExplains(genotype, haplotypes[a], haplotypes[b])) pairs.push_back({a, b});
    return pairs;
}

} // namespace

TEST(Reconstruction, PairExplainsFollowsTheSiteRules)
{
    EXPECT_TRUE(pairExplains("0212", "0010", "0111"));
    EXPECT_TRUE(pairExplains("0212", "0111", "0010"));
    EXPECT_FALSE(pairExplains("0212", "0010", "0011"));  // equal values at heterozygous site 1
    EXPECT_FALSE(pairExplains("0212", "1010", "0111"));  // homozygous site 0 is '0'
    EXPECT_TRUE(pairExplains("010", "010", "010"));
    EXPECT_FALSE(pairExplains("010", "01", "010"));
}

TEST(Reconstruction, FaultsAreFoundAndNormalizingKeepsTheMeaning)
{
    const std::vector<std::string> genotypes{"0212", "2010", "0111"};
    Reconstruction r{{"1010", "0111", "0000", "0010", "0111"}, {{3, 1}, {3, 0}, {4, 4}}};
    EXPECT_EQ(findReconstructionFault(genotypes, r), "");
    normalizeReconstruction(r);
    EXPECT_EQ(r.haplotypes, (std::vector<std::string>{"0010", "0111", "1010"}));
    EXPECT_EQ(r.pairs, (std::vector<HaplotypePair>{{0, 1}, {0, 2}, {1, 1}}));
    EXPECT_EQ(findReconstructionFault(genotypes, r), "");

    Reconstruction wrong = r;
    wrong.pairs[1] = {0, 1};
    EXPECT_EQ(findReconstructionFault(genotypes, wrong), "the pair of genotype 2 does not explain it");
    wrong = r;
    wrong.pairs[2] = {1, 3};
    EXPECT_EQ(findReconstructionFault(genotypes, wrong), "the pair of genotype 3 names a haplotype it does not have");
    wrong = r;
    wrong.haplotypes[0] = "0210";
    EXPECT_EQ(findReconstructionFault(genotypes, wrong), "haplotype 1 is not 4 sites of 0 and 1");
    wrong = r;
    wrong.pairs.pop_back();
    EXPECT_EQ(findReconstructionFault(genotypes, wrong), "it has 2 pairs for 3 genotypes");
}

TEST(Reconstruction, TheSearchResultAndItsExplicitFileAgree)
{
    // Searches on random inputs: the reconstruction taken from the result
    // explains every genotype with the listed haplotypes, and the explicit
    // file lists exactly the pairs that a site-by-site test finds.
    std::mt19937 rng(7);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        const int count = 4 + round * 3;
        const int length = 3 + round % 9;
        const std::vector<std::string> input = testing_support::randomGenotypes(rng, count, length, 3 + round % 6);
        testing_support::SearchResult result = testing_support::searchResult(input, round + 1, 2, 3);
        Reconstruction& r = result.reconstruction;
        const std::vector<std::string>& distinct = result.distinct;
        const std::vector<int>& map = result.genotypeMap;
        EXPECT_EQ(findReconstructionFault(distinct, r), "");
        const Reconstruction before = r;
        normalizeReconstruction(r);
        EXPECT_EQ(r.haplotypes, before.haplotypes) << "the result lists its haplotypes in ascending order";

        const std::string file = composeExplicitResult(r, distinct, map);
        std::string expected;
        for (std::size_t j = 0; j < map.size(); ++j) {
            char head[16];
            std::snprintf(head, sizeof head, "%6d:", static_cast<int>(j) + 1);
            expected += head;
            for (const HaplotypePair& p : referencePairs(r.haplotypes, distinct[map[j]]))
                expected += " (" + std::to_string(p.first + 1) + "," + std::to_string(p.second + 1) + ")";
            expected += "\n";
        }
        const std::size_t start = file.find("BEGIN BEST_RECONSTRUCTION_FOUND\n");
        ASSERT_NE(start, std::string::npos);
        EXPECT_EQ(file.substr(start), "BEGIN BEST_RECONSTRUCTION_FOUND\n" + expected + "END BEST_RECONSTRUCTION_FOUND\n");
        EXPECT_EQ(explainingPairs(r, distinct[0]), referencePairs(r.haplotypes, distinct[0]));
    }
}
