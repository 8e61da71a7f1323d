#include "exact/proof_phase.hpp"

#include "exact_support.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct Phase {
    ProofOutcome outcome;
    std::vector<std::string> lines;
};

Phase runPhase(const std::vector<std::string>& genotypes, const Reconstruction& found, ProofRequest request,
               bool interrupted = false)
{
    Phase phase;
    phase.outcome = runProofPhase(
        genotypes, found, request, [&](const std::string& line) { phase.lines.push_back(line); },
        [interrupted] { return interrupted; });
    return phase;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The lower-bound line, one line per SAT call, the summary, and the line of
// a smaller reconstruction when there is one.
void expectPhaseLines(const Phase& phase, bool smaller)
{
    const std::size_t calls = phase.outcome.calls.size();
    ASSERT_EQ(phase.lines.size(), calls + 2 + smaller);
    EXPECT_TRUE(startsWith(phase.lines[0], "Lower bound: "));
    for (std::size_t i = 0; i < calls; ++i) {
        const SatCall& call = phase.outcome.calls[i];
        const std::string group = call.group > 0 ? " of group " + std::to_string(call.group) : "";
        EXPECT_TRUE(startsWith(phase.lines[1 + i], "SAT call: " + std::to_string(call.haplotypes) + " haplotypes, "
                                                       + std::to_string(call.modelGenotypes) + " of "
                                                       + std::to_string(call.genotypes) + " genotypes" + group + ": "
                                                       + satAnswerName(call.answer) + " in "))
            << phase.lines[1 + i];
    }
    EXPECT_TRUE(startsWith(phase.lines[calls + 1], "Exact check: " + std::to_string(calls) + " SAT calls, "));
    if (smaller) {
        EXPECT_EQ(phase.lines.back(), "The exact check found a reconstruction with "
                                          + std::to_string(phase.outcome.found) + " haplotypes, fewer than the search's "
                                          + std::to_string(phase.outcome.searchFound) + ".\n");
    }
}

} // namespace

TEST(ProofPhase, FindsAndProvesTheBruteForceOptimumFromTheGenotypesOwnHaplotypes)
{
    // The exact check as --prove runs it, the descent of --improve (no
    // climbing from the bound), and without the start's hints.
    struct Strategy {
        const char* name;
        ProofStrategy strategy;
    };
    const Strategy strategies[] = {
        {"default", {}},
        {"descent", {false, 0, true}},
        {"no hints", {true, 0, false}},
    };
    std::mt19937 rng(4242);
    for (int instance = 0; instance < 400; ++instance) {
        const std::vector<std::string> genotypes = exact_support::tinyInstance(rng);
        const int optimum = brute_force::fewestHaplotypes(genotypes);
        const Reconstruction start = exact_support::ownHaplotypes(genotypes);
        for (const Strategy& strategy : strategies) {
            SCOPED_TRACE(exact_support::describe(genotypes) + "optimum " + std::to_string(optimum) + ", "
                         + strategy.name);
            const Phase phase = runPhase(genotypes, start, {true, 0, strategy.strategy});
            const ProofOutcome& o = phase.outcome;
            EXPECT_TRUE(o.proven);
            EXPECT_EQ(o.found, optimum);
            EXPECT_EQ(o.lowerBound, optimum);
            EXPECT_FALSE(o.interrupted || o.timeUp);
            if (optimum < static_cast<int>(start.haplotypes.size())) {
                ASSERT_TRUE(o.smaller.has_value());
                EXPECT_EQ(findReconstructionFault(genotypes, *o.smaller), "");
                EXPECT_EQ(static_cast<int>(o.smaller->haplotypes.size()), optimum);
                EXPECT_TRUE(std::is_sorted(o.smaller->haplotypes.begin(), o.smaller->haplotypes.end()));
            } else {
                EXPECT_FALSE(o.smaller.has_value());
            }
            expectPhaseLines(phase, o.smaller.has_value());
            EXPECT_EQ(proofVerdictLine(o), "Proven optimal: " + std::to_string(optimum) + " haplotypes\n");
        }
    }
}

TEST(ProofPhase, TheBoundsAloneClaimOnlyWhatTheyProve)
{
    std::mt19937 rng(17);
    for (int instance = 0; instance < 200; ++instance) {
        const std::vector<std::string> genotypes = exact_support::tinyInstance(rng);
        const int optimum = brute_force::fewestHaplotypes(genotypes);
        const Reconstruction start = exact_support::ownHaplotypes(genotypes);
        const Phase phase = runPhase(genotypes, start, {false, 0});
        const ProofOutcome& o = phase.outcome;
        SCOPED_TRACE(exact_support::describe(genotypes));
        EXPECT_LE(o.lowerBound, optimum);
        EXPECT_TRUE(o.calls.empty());
        ASSERT_EQ(phase.lines.size(), 1u) << "the lower-bound line only";
        EXPECT_EQ(phase.lines[0].rfind("Lower bound: " + std::to_string(o.lowerBound) + " haplotypes (counting: ", 0), 0u);
        EXPECT_EQ(o.proven, o.lowerBound == static_cast<int>(start.haplotypes.size()));
        EXPECT_EQ(proofVerdictLine(o), o.proven ? "Proven optimal: " + std::to_string(o.found) + " haplotypes\n"
                                                : "Not proven optimal: between " + std::to_string(o.lowerBound)
                                                      + " and " + std::to_string(o.found) + " haplotypes\n");
    }
}

TEST(ProofPhase, AnInterruptStopsTheCheckBeforeAnySatCall)
{
    std::mt19937 rng(3);
    const std::vector<std::string> genotypes = testing_support::randomGenotypes(rng, 60, 12, 30);
    const Reconstruction start = exact_support::ownHaplotypes(genotypes);
    const Phase phase = runPhase(genotypes, start, {true, 0}, true);
    EXPECT_TRUE(phase.outcome.interrupted);
    EXPECT_TRUE(phase.outcome.calls.empty());
    EXPECT_FALSE(phase.outcome.proven);
    EXPECT_FALSE(phase.outcome.smaller.has_value());
}

TEST(ProofPhase, ATimeLimitStopsTheCheckInTimeWithABoundNoWorseThanTheCheapOne)
{
    // Four hundred genotypes of ten sites from a pool of a hundred: the
    // proof takes far longer than the second it is given.
    std::mt19937 rng(3);
    const std::vector<std::string> genotypes = testing_support::randomGenotypes(rng, 400, 10, 100);
    const Reconstruction start = exact_support::ownHaplotypes(genotypes);
    const Phase bounds = runPhase(genotypes, start, {false, 0});
    const Phase phase = runPhase(genotypes, start, {true, 1});
    const ProofOutcome& o = phase.outcome;
    EXPECT_TRUE(o.timeUp);
    EXPECT_FALSE(o.interrupted);
    EXPECT_LT(o.seconds, 3.0);
    EXPECT_GE(o.lowerBound, bounds.outcome.lowerBound);
    EXPECT_LT(o.lowerBound, o.found);
    EXPECT_FALSE(o.proven);
    ASSERT_FALSE(o.calls.empty());
    EXPECT_EQ(o.calls.back().answer, SatAnswer::Unknown);
    if (o.smaller) {
        EXPECT_EQ(findReconstructionFault(genotypes, *o.smaller), "");
    }
}
