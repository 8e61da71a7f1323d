#include "improve/elimination.hpp"
#include "improve/exchange.hpp"
#include "improve/improvement_phase.hpp"
#include "improve/working_reconstruction.hpp"

#include "exact/exact_support.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// Distinct genotypes made from pairs of a random pool of haplotypes.
std::vector<std::string> distinctGenotypes(std::mt19937& rng, int count, int length, int pool)
{
    const std::vector<std::string> all = testing_support::randomGenotypes(rng, count, length, pool);
    std::vector<std::string> distinct;
    std::set<std::string> seen;
    for (const std::string& g : all)
        if (seen.insert(g).second) distinct.push_back(g);
    return distinct;
}

// A wasteful reconstruction: every genotype phased on its own, its first
// heterozygous site '0' on the first haplotype and the others drawn at random.
Reconstruction naiveReconstruction(const std::vector<std::string>& genotypes, std::mt19937& rng)
{
    Reconstruction r;
    for (const std::string& g : genotypes) {
        std::string a = g;
        std::string b = g;
        bool first = true;
        for (std::size_t s = 0; s < g.size(); ++s) {
            if (g[s] != '2') continue;
            const bool one = !first && rng() % 2 == 1;
            first = false;
            a[s] = one ? '1' : '0';
            b[s] = one ? '0' : '1';
        }
        r.haplotypes.push_back(a);
        r.haplotypes.push_back(b);
        const int n = static_cast<int>(r.haplotypes.size());
        r.pairs.push_back({n - 2, n - 1});
    }
    normalizeReconstruction(r);
    return r;
}

// The result of one attempt of the search, without perturbations.
Reconstruction searchOnce(const std::vector<std::string>& genotypes, int seed)
{
    return testing_support::searchResult(genotypes, seed, 1, 0).reconstruction;
}

ImprovementSettings checkedSettings(unsigned seed)
{
    ImprovementSettings settings;
    settings.seed = seed;
    settings.checkEveryMove = true;  // throws on the first move that breaks the reconstruction
    return settings;
}

} // namespace

TEST(Improvement, MovesKeepEveryGenotypeExplainedAndNeverAddHaplotypes)
{
    std::mt19937 rng(2026);
    int improvedSomewhere = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const std::vector<std::string> genotypes =
            distinctGenotypes(rng, 5 + round % 30, 4 + round % 23, 3 + round % 9);
        Reconstruction r = naiveReconstruction(genotypes, rng);
        const int start = static_cast<int>(r.haplotypes.size());
        const Reconstruction input = r;
        ImprovementOutcome outcome;
        ASSERT_NO_THROW(outcome = improveReconstruction(genotypes, r, checkedSettings(1)));
        EXPECT_EQ(findReconstructionFault(genotypes, r), "");
        EXPECT_EQ(outcome.startCount, start);
        EXPECT_EQ(outcome.finalCount, static_cast<int>(r.haplotypes.size()));
        EXPECT_LE(outcome.finalCount, outcome.startCount);
        EXPECT_EQ(outcome.startCount - outcome.finalCount,
                  outcome.savedByElimination + outcome.savedByExchange + outcome.savedByNeighbourhoods);
        if (outcome.finalCount < start) ++improvedSomewhere;

        // The same input and seed give the same result.
        Reconstruction again = input;
        improveReconstruction(genotypes, again, checkedSettings(1));
        EXPECT_EQ(again.haplotypes, r.haplotypes);
        EXPECT_EQ(again.pairs, r.pairs);
    }
    EXPECT_GE(improvedSomewhere, 30) << "naive phasings leave much to improve";
}

TEST(Improvement, ATrialRollsBackToTheSameState)
{
    std::mt19937 rng(5);
    const std::vector<std::string> genotypes = distinctGenotypes(rng, 30, 12, 6);
    const Reconstruction r = naiveReconstruction(genotypes, rng);
    WorkingReconstruction w = makeWorkingReconstruction(genotypes, r);
    const Reconstruction before = extractReconstruction(w);
    const int aliveBefore = w.aliveCount();
    // Rephase every genotype with a new first haplotype, and retire what
    // that leaves unused, all under one trial.
    beginTrial(w);
    std::vector<std::uint64_t> first(static_cast<std::size_t>(w.words));
    std::vector<std::uint64_t> second(static_cast<std::size_t>(w.words));
    for (int g = 0; g < w.genotypeCount; ++g) {
        const HaplotypePair old = w.pairs[g];
        mateBits(w, g, haplotypeBits(w, old.first), second.data());
        std::copy_n(haplotypeBits(w, old.first), w.words, first.begin());
        first[0] ^= w.genotypePlanes.openOf(g)[0] & (std::uint64_t{0x5} << (g % 7));
        mateBits(w, g, first.data(), second.data());
        const int a = addHaplotype(w, first.data());
        const int b = addHaplotype(w, second.data());
        setPair(w, g, a, b);
        retireUnused(w, old.first);
        retireUnused(w, old.second);
    }
    ASSERT_EQ(findWorkingFault(w), "");
    ASSERT_NE(extractReconstruction(w).haplotypes, before.haplotypes);
    // And back to the first phasing, whose haplotypes come back under new ids.
    std::vector<std::uint64_t> packed;
    for (int g = 0; g < w.genotypeCount; ++g) {
        const HaplotypePair old = w.pairs[g];
        packSites(before.haplotypes[before.pairs[g].first], packed);
        const int a = addHaplotype(w, packed.data());
        packSites(before.haplotypes[before.pairs[g].second], packed);
        const int b = addHaplotype(w, packed.data());
        setPair(w, g, a, b);
        retireUnused(w, old.first);
        retireUnused(w, old.second);
    }
    ASSERT_EQ(findWorkingFault(w), "");
    rollbackTrial(w);
    EXPECT_EQ(findWorkingFault(w), "");
    EXPECT_EQ(w.aliveCount(), aliveBefore);
    const Reconstruction after = extractReconstruction(w);
    EXPECT_EQ(after.haplotypes, before.haplotypes);
    EXPECT_EQ(after.pairs, before.pairs);
}

TEST(Improvement, EachMoveAloneReplacesHaplotypesThatOneNewcomerStandsFor)
{
    // 2200 and 0022 are phased with four haplotypes of their own; with 0000
    // beside the 1100 and 0011 that are there anyway, three suffice.
    const std::vector<std::string> genotypes{"2200", "0022", "1100", "0011"};
    const Reconstruction start{{"1000", "0100", "0010", "0001", "1100", "0011"}, {{0, 1}, {2, 3}, {4, 4}, {5, 5}}};
    ASSERT_EQ(findReconstructionFault(genotypes, start), "");
    const struct {
        const char* move;
        int (*run)(WorkingReconstruction&, const std::function<bool()>&);
    } moves[] = {{"elimination", eliminateHaplotypes}, {"exchange", exchangeHaplotypes}};
    for (const auto& move : moves) {
        SCOPED_TRACE(move.move);
        WorkingReconstruction w = makeWorkingReconstruction(genotypes, start);
        EXPECT_EQ(move.run(w, [] { return false; }), 3);
        EXPECT_EQ(findWorkingFault(w), "");
        const Reconstruction r = extractReconstruction(w);
        EXPECT_EQ(r.haplotypes, (std::vector<std::string>{"0000", "0011", "1100"}));
        EXPECT_EQ(findReconstructionFault(genotypes, r), "");
    }
}

TEST(Improvement, AnInterruptOrATimeLimitStopsThePhaseWithAValidResult)
{
    std::mt19937 rng(11);
    const std::vector<std::string> genotypes = distinctGenotypes(rng, 60, 20, 10);
    Reconstruction r = naiveReconstruction(genotypes, rng);
    ImprovementSettings settings = checkedSettings(1);
    int asked = 0;
    settings.interrupted = [&asked] { return ++asked > 3; };
    const ImprovementOutcome outcome = improveReconstruction(genotypes, r, settings);
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_EQ(findReconstructionFault(genotypes, r), "");
    EXPECT_EQ(outcome.finalCount, static_cast<int>(r.haplotypes.size()));
}

TEST(Improvement, ReachesTheOptimumOnTinyInputsWhereOneAttemptOfTheSearchFallsShort)
{
    // One attempt of the search, then the phase with no time limit, with and
    // without the exact descent, against the fewest haplotypes found by
    // brute force.
    std::mt19937 rng(31);
    int searchShort = 0;
    for (int round = 0; round < 300; ++round) {
        const std::vector<std::string> genotypes = exact_support::tinyInstance(rng);
        SCOPED_TRACE(testing::PrintToString(genotypes));
        const Reconstruction searched = searchOnce(genotypes, static_cast<int>(rng() % 1000));
        const int optimum = brute_force::fewestHaplotypes(genotypes);
        if (static_cast<int>(searched.haplotypes.size()) > optimum) ++searchShort;
        for (const bool descent : {false, true}) {
            Reconstruction r = searched;
            ImprovementSettings settings = checkedSettings(round);
            settings.exactDescent = descent;
            ImprovementOutcome outcome;
            ASSERT_NO_THROW(outcome = improveReconstruction(genotypes, r, settings));
            EXPECT_EQ(findReconstructionFault(genotypes, r), "");
            EXPECT_EQ(static_cast<int>(r.haplotypes.size()), optimum);
            EXPECT_EQ(outcome.finalCount, optimum);
            EXPECT_EQ(outcome.startCount - outcome.finalCount,
                      outcome.savedByElimination + outcome.savedByExchange + outcome.savedByNeighbourhoods
                          + outcome.savedByDescent);
            if (!descent) {
                EXPECT_EQ(outcome.savedByDescent, 0);
            }
        }
    }
    EXPECT_GT(searchShort, 0);
}
