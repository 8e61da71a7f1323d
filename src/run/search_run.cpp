#include "run/search_run.hpp"

#include "data/genotype_table.hpp"
#include "data/haplotype_list.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "output/reconstruction.hpp"
#include "output/result_file.hpp"
#include "output/solution_analysis.hpp"
#include "run/interruption.hpp"
#include "run/run_clock.hpp"
#include "run/run_settings.hpp"
#include "search/candidate_lists.hpp"
#include "search/collapse_pass.hpp"
#include "search/pair_choice.hpp"
#include "search/perturbation.hpp"
#include "search/random_generator.hpp"

#include <algorithm>
#include <cstdio>

namespace {

void printAndFlush(const char* format, int value)
{
    std::printf(format, value);
    std::fflush(stdout);
}

void saveAsBest(SearchState& state, int used)
{
    copyHaplotypeList(state.best, state.current);
    copyPairRecords(state.bestPairs, state.pairLists, state.current.slotCount / 2);
    state.bestCount = used;
}

void saveAsIterationBest(SearchState& state, int used)
{
    copyHaplotypeList(state.iterationBest, state.current);
    copyPairRecords(state.iterationBestPairs, state.pairLists, state.current.slotCount / 2);
    state.iterationBestCount = used;
}

// After a failed first attempt the iteration has no best yet: perturbation
// attempts keep nothing, and the first one that succeeds becomes the best.
void clearIterationBest(SearchState& state)
{
    for (PairRecord& saved : state.iterationBestPairs) saved.active = 0;
    state.iterationBestCount = state.current.slotCount + 1;
}

struct Search {
    const RunSettings& settings;
    const HaplotypeList& initial;
    SearchState& state;
    DistanceStructure& distances;
    RandomGenerator& random;
    bool bestSaved = false;

    CollapsePassResult attempt(bool perturbation)
    {
        if (perturbation) {
            // The perturbation computes the working distances afresh.
            resetSearchState(state, initial);
            perturb(state, distances);
        } else {
            resetSearchState(state, initial, distances);
        }
        randomCollapse(state, distances, random);
        return collapsePass(state, initial);
    }

    // One iteration and its console line. An interrupt ends it after the
    // attempt in progress.
    void runIteration(int number)
    {
        printAndFlush("Iter # %d ... ", number);
        const CollapsePassResult first = attempt(false);
        if (first.failed) {
            std::fputs("failed. ", stdout);
            std::fflush(stdout);
            clearIterationBest(state);
        } else {
            printAndFlush("%d. ", first.used);
            if (first.used < state.bestCount || state.bestCount == state.current.slotCount) {
                saveAsBest(state, first.used);
                bestSaved = true;
            }
            saveAsIterationBest(state, first.used);
        }

        for (int stall = 0; stall < settings.maxStall && interruptSignal() == 0; ++stall) {
            const CollapsePassResult result = attempt(true);
            if (result.failed) continue;
            if (result.used < state.bestCount || !bestSaved) {
                saveAsBest(state, result.used);
                bestSaved = true;
            }
            if (result.used < state.iterationBestCount) {
                printAndFlush("%d. ", result.used);
                saveAsIterationBest(state, result.used);
                stall = -1;
            }
        }
        std::fputs("\n", stdout);
        std::fflush(stdout);
    }
};

} // namespace

SearchOutcome runSearch(const RunSettings& settings, const HaplotypeList& initial, SearchState& state,
                        DistanceStructure& distances, RandomGenerator& random, RunClock& clock)
{
    Search search{settings, initial, state, distances, random};
    for (int iteration = 0;; ++iteration) {
        takeTimingReading(clock);
        if (iteration >= settings.maxIter || interruptSignal() != 0) break;
        // The first iteration always runs, so every run ends with a result.
        if (iteration > 0 && settings.maxCompTime != 0
            && !(static_cast<double>(settings.maxCompTime) > clock.elapTime)) {
            break;
        }
        search.runIteration(iteration + 1);
    }
    return {search.bestSaved, interruptSignal()};
}

namespace {

Reconstruction reconstructionOfResult(const SearchState& state, const std::vector<int>& sortedSlots,
                                      const std::vector<int>& rankOfSlot)
{
    Reconstruction reconstruction;
    for (int i = 0; i < state.bestCount; ++i) reconstruction.haplotypes.push_back(state.current.text[sortedSlots[i]]);
    const int genotypes = state.current.slotCount / 2;
    reconstruction.pairs.assign(static_cast<std::size_t>(genotypes), {-1, -1});
    for (int k = 0; k < genotypes; ++k) {
        for (const PairRecord* r = state.pairLists[k]; r != nullptr; r = r->next) {
            const int s1 = state.current.order[r->hap1];
            const int s2 = state.current.order[r->hap2];
            if (state.best.mark[s1] == 2 && state.best.mark[s2] == 2) {
                const int a = rankOfSlot[s1];
                const int b = rankOfSlot[s2];
                reconstruction.pairs[k] = {std::min(a, b), std::max(a, b)};
                break;
            }
        }
    }
    return reconstruction;
}

} // namespace

std::string composeResult(SearchState& state, const HaplotypeList& initial, const GenotypeTable& table,
                          const std::vector<int>& genotypeMap, RandomGenerator& random,
                          Reconstruction* reconstruction)
{
    int variables = 0;
    if (resolveSingleSites(state) != 0) {
        variables = numberVariables(state);
        copyHaplotypeList(state.current, state.best);
        completeUndetermined(state, random);
    } else {
        copyHaplotypeList(state.current, state.best);
    }
    // The writer lists every pair of used haplotypes that explains a genotype.
    freePairLists(state.pairLists, state.pairPool);
    buildPairLists(state, initial);

    std::vector<int> sortedSlots;
    std::vector<int> rankOfSlot;
    sortUsedSlots(state, sortedSlots, rankOfSlot);

    std::string content;
    writeResultFile(content, state, genotypeMap, sortedSlots, rankOfSlot, table.genotypeCount);
    if (variables > 0) writeSymbolicList(content, state, sortedSlots, variables);
    if (reconstruction != nullptr) *reconstruction = reconstructionOfResult(state, sortedSlots, rankOfSlot);
    return content;
}
