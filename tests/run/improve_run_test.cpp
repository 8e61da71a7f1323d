// Runs of the program with the improvement phase.

#include "run/run_support.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace run_support;

namespace {

// 30 genotypes of 40 sites from a coalescent simulation with recombination:
// one attempt of the search finds 33 haplotypes, the fewest are 30.
const std::string kCoalescentInput = std::string(VELMORA_TEST_DATA_DIR) + "/improve/coalescent_30x40.txt";

} // namespace

TEST_F(EndToEnd, TheImprovementPhaseWritesASmallerCheckedResult)
{
    const Completed plain = runCompleted(kCoalescentInput, {"-i", "1", "-n", "0"});
    const Completed improved = runCompleted(kCoalescentInput, {"-i", "1", "-n", "0", "--improve", "0"});
    EXPECT_EQ(improved.console.iterations, plain.console.iterations) << "the search itself is untouched";
    EXPECT_EQ(improved.console.startLine, plain.console.startLine);
    EXPECT_EQ(plain.console.phaseLines, std::vector<std::string>{});
    EXPECT_EQ(improved.console.phaseLines,
              std::vector<std::string>{"Improved: 30 haplotypes, 3 fewer than the search found"});
    EXPECT_EQ(improved.result.haplotypes.size(), 30u);
    EXPECT_FALSE(improved.result.symbolic);

    // Every pair of listed haplotypes that explains a genotype is listed.
    const std::vector<std::string> genotypes = readGenotypes(kCoalescentInput);
    for (std::size_t j = 0; j < improved.result.pairs.size(); ++j) {
        const std::string& g = genotypes[j];
        std::size_t explaining = 0;
        const auto& h = improved.result.haplotypes;
        for (std::size_t a = 0; a < h.size(); ++a)
            for (std::size_t b = a; b < h.size(); ++b) {
                bool fits = true;
                for (std::size_t s = 0; s < g.size() && fits; ++s)
                    fits = g[s] == '2' ? h[a][s] != h[b][s] : h[a][s] == g[s] && h[b][s] == g[s];
                explaining += fits ? 1 : 0;
            }
        EXPECT_EQ(improved.result.pairs[j].size(), explaining) << "genotype " << j + 1;
    }

    const Completed again = runCompleted(kCoalescentInput, {"-i", "1", "-n", "0", "--improve", "0"});
    EXPECT_EQ(again.resultText, improved.resultText) << "the same seed gives the same result";
}

TEST_F(EndToEnd, AnImprovementThatFindsNothingLeavesTheResultAsTheSearchWroteIt)
{
    const std::string input = writeInput("ex.txt", kSmallInput);
    const Completed plain = runCompleted(input, {"-i", "2"});
    const Completed improved = runCompleted(input, {"-i", "2", "--improve", "0"});
    EXPECT_EQ(improved.console.phaseLines, std::vector<std::string>{"Improved: none"});
    EXPECT_EQ(improved.resultText, plain.resultText);
}
