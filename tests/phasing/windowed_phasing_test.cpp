// Windowed phasing as a whole: windows solved by the search, ligated and
// corrected, on simulated populations whose true phase is known.

#include "phasing/mosaic_refinement.hpp"
#include "phasing/windowed_phasing.hpp"
#include "run/run_settings.hpp"

#include "phasing/phasing_support.hpp"

#include <gtest/gtest.h>

using namespace phasing_testing;

namespace {

WindowedPhasing phase(const std::vector<std::string>& genotypes, int window, int overlap, int refine, int threads)
{
    RunSettings settings;
    settings.refinePasses = refine;
    return phaseInWindows(genotypes, {}, planPhasing(genotypes, window, overlap), settings, threads, [](int, double) {});
}

TEST(WindowedPhasing, EveryPhaseExplainsItsGenotypeAndTheResultIsTheSameOnAnyNumberOfThreads)
{
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        const Population p = mosaicPopulation(seed, 30, 57, 6, 25);
        const WindowedPhasing one = phase(p.genotypes, 12, 5, 2, 1);
        expectExplained(p.genotypes, one.ligation.phases);
        EXPECT_EQ(one.windows.size(), planWindows(57, 12, 5).size());
        for (const int threads : {2, 3}) {
            const WindowedPhasing more = phase(p.genotypes, 12, 5, 2, threads);
            for (std::size_t i = 0; i < p.genotypes.size(); ++i) {
                EXPECT_EQ(more.ligation.phases[i].first, one.ligation.phases[i].first) << threads << " threads";
                EXPECT_EQ(more.ligation.phases[i].second, one.ligation.phases[i].second) << threads << " threads";
            }
            EXPECT_EQ(more.refinement.flips, one.refinement.flips);
            EXPECT_EQ(more.refinement.swaps, one.refinement.swaps);
        }
    }
}

TEST(WindowedPhasing, FindsMostOfTheTruePhaseOfAMosaicPopulationAndTheRefinementOnlyHelps)
{
    const Population p = mosaicPopulation(7, 120, 400, 8, 120);
    const WindowedPhasing ligated = phase(p.genotypes, 40, 20, 0, 2);
    const WindowedPhasing refined = phase(p.genotypes, 40, 20, 3, 2);
    expectExplained(p.genotypes, refined.ligation.phases);
    const WindowedPhasing whole = phase(p.genotypes, 0, 0, 0, 1);
    int heterozygousPairs = 0;
    for (const std::string& g : p.genotypes) heterozygousPairs += static_cast<int>(std::count(g.begin(), g.end(), '2')) - 1;
    const int wholeErrors = switchErrors(p.truth, whole.ligation.phases);
    const int ligatedErrors = switchErrors(p.truth, ligated.ligation.phases);
    const int refinedErrors = switchErrors(p.truth, refined.ligation.phases);
    // Windows beat one instance over sites where recombination makes most
    // haplotypes distinct; the correction keeps the gain and adds to it.
    EXPECT_LT(ligatedErrors, wholeErrors);
    EXPECT_LE(refinedErrors, ligatedErrors);
    EXPECT_LT(refinedErrors, heterozygousPairs / 20) << "switch error below 5 %";
}

TEST(MosaicRefinement, PutsBackSwitchesMadeInTheTruePhaseAndChangesOnlyHeterozygousSites)
{
    const Population p = mosaicPopulation(11, 60, 300, 6, 600);
    std::vector<SamplePhase> phases = p.truth;
    // Every fifth sample gets its haplotypes exchanged after site 150.
    for (std::size_t i = 0; i < phases.size(); i += 5) {
        for (std::size_t s = 150; s < phases[i].first.size(); ++s) std::swap(phases[i].first[s], phases[i].second[s]);
    }
    const int before = switchErrors(p.truth, phases);
    ASSERT_GT(before, 0);
    MosaicSettings settings;
    settings.passes = 2;
    std::vector<SamplePhase> twoThreads = phases;
    const MosaicOutcome outcome = refineByMosaics(p.genotypes, {}, phases, settings, 1);
    refineByMosaics(p.genotypes, {}, twoThreads, settings, 2);
    expectExplained(p.genotypes, phases);
    EXPECT_EQ(outcome.passes, 2);
    EXPECT_GT(outcome.swaps, 0);
    EXPECT_LT(switchErrors(p.truth, phases), before / 4);
    for (std::size_t i = 0; i < phases.size(); ++i) EXPECT_EQ(twoThreads[i].first, phases[i].first);

    // An interrupt before the first pass leaves the phases as they were.
    std::vector<SamplePhase> untouched = p.truth;
    EXPECT_EQ(refineByMosaics(p.genotypes, {}, untouched, settings, 1, [] { return true; }).passes, 0);
    EXPECT_EQ(untouched[0].first, p.truth[0].first);
}

TEST(MosaicRefinement, ImputesMissingCallsFromTheTemplatesAndCarriesThemThroughSwaps)
{
    const Population p = mosaicPopulation(11, 60, 300, 6, 600);
    // One call in 17 missing (given as '0'); every fifth sample's haplotypes
    // exchanged after site 150, which a round of swaps puts back.
    std::vector<std::string> genotypes = p.genotypes;
    std::vector<std::vector<int>> missing(genotypes.size());
    std::vector<SamplePhase> phases = p.truth;
    for (std::size_t i = 0; i < phases.size(); ++i) {
        for (std::size_t s = 0; s < genotypes[i].size(); ++s) {
            if (i % 5 == 0 && s >= 150) std::swap(phases[i].first[s], phases[i].second[s]);
            if ((s * 7 + i * 3) % 17 == 0) missing[i].push_back(static_cast<int>(s)), genotypes[i][s] = '0';
        }
    }
    MosaicSettings settings;
    settings.passes = 1;
    refineByMosaics(genotypes, missing, phases, settings, 1);
    // Imputed right, of all missing calls and of those that are heterozygous
    // in the exchanged parts: each haplotype's allele on the side the truth
    // has it, so the round of swaps exchanged the imputed alleles too.
    int calls[2] = {}, imputed[2] = {};
    for (std::size_t i = 0; i < phases.size(); ++i) {
        for (const int s : missing[i]) {
            const auto at = static_cast<std::size_t>(s);
            const bool right = phases[i].first[at] == p.truth[i].first[at] && phases[i].second[at] == p.truth[i].second[at];
            const bool exchanged = i % 5 == 0 && s >= 150 && p.truth[i].first[at] != p.truth[i].second[at];
            ++calls[0], imputed[0] += right;
            if (exchanged) ++calls[1], imputed[1] += right;
            genotypes[i][at] = phases[i].first[at] == phases[i].second[at] ? phases[i].first[at] : '2';
        }
    }
    expectExplained(genotypes, phases);
    EXPECT_GT(imputed[0], calls[0] * 95 / 100) << imputed[0] << " of " << calls[0];
    EXPECT_GT(imputed[1], calls[1] * 9 / 10) << imputed[1] << " of " << calls[1];
}

TEST(MosaicRefinement, WorksWithFewerHaplotypesThanTemplates)
{
    const Population p = mosaicPopulation(5, 3, 70, 2, 30);
    std::vector<SamplePhase> phases = p.truth;
    std::swap(phases[1].first, phases[1].second);
    refineByMosaics(p.genotypes, {}, phases, MosaicSettings{}, 1);
    expectExplained(p.genotypes, phases);
}

} // namespace
