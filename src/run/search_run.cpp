#include "run/search_run.hpp"

#include "data/genotype_table.hpp"
#include "data/haplotype_list.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "output/formatted_text.hpp"
#include "output/reconstruction.hpp"
#include "output/result_file.hpp"
#include "output/solution_analysis.hpp"
#include "run/interruption.hpp"
#include "run/iteration_seed.hpp"
#include "run/ordered_console.hpp"
#include "run/run_clock.hpp"
#include "run/run_settings.hpp"
#include "search/candidate_lists.hpp"
#include "search/collapse_pass.hpp"
#include "search/pair_choice.hpp"
#include "search/perturbation.hpp"
#include "search/random_generator.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

// Where the console line of an iteration goes: straight to standard output,
// flushed after every piece, or, when iterations run side by side, to the
// console that keeps their lines in order.
struct IterationLine {
    OrderedConsole* ordered = nullptr;  // null: standard output
    int iteration = 0;
    bool silent = false;  // nothing printed: a search inside a larger phase

    void print(const std::string& text) const
    {
        if (silent) return;
        if (ordered != nullptr) {
            ordered->append(iteration, text);
            return;
        }
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }
    void end() const
    {
        if (silent) return;
        if (ordered != nullptr) ordered->endLine(iteration);
        else print("\n");
    }
};

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
    bool keepRunBest = true;  // save every attempt that improves the run's best (one search for the whole run)
    bool bestSaved = false;
    std::vector<std::vector<int>> iterationCounts;

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
    // attempt in progress. Returns the numbers the line printed.
    std::vector<int> runIteration(int number, const IterationLine& line)
    {
        line.print(formatted("Iter # %d ... ", number));
        std::vector<int> counts;
        const CollapsePassResult first = attempt(false);
        counts.push_back(first.failed ? -1 : first.used);
        if (first.failed) {
            line.print("failed. ");
            clearIterationBest(state);
        } else {
            line.print(formatted("%d. ", first.used));
            if (keepRunBest && (first.used < state.bestCount || state.bestCount == state.current.slotCount)) {
                saveAsBest(state, first.used);
                bestSaved = true;
            }
            saveAsIterationBest(state, first.used);
        }

        for (int stall = 0; stall < settings.maxStall && interruptSignal() == 0; ++stall) {
            const CollapsePassResult result = attempt(true);
            if (result.failed) continue;
            if (keepRunBest && (result.used < state.bestCount || !bestSaved)) {
                saveAsBest(state, result.used);
                bestSaved = true;
            }
            if (result.used < state.iterationBestCount) {
                line.print(formatted("%d. ", result.used));
                counts.push_back(result.used);
                saveAsIterationBest(state, result.used);
                stall = -1;
            }
        }
        line.end();
        return counts;
    }
};

// Whether iteration number `started` + 1 may start: not past the iteration
// limit, no interrupt, and within the time limit unless it is the first,
// which always runs, so every run ends with a result. Takes a timing reading.
bool iterationMayStart(const RunSettings& settings, RunClock& clock, int started)
{
    takeTimingReading(clock);
    if (started >= settings.maxIter || interruptSignal() != 0) return false;
    return started == 0 || settings.maxCompTime == 0 || static_cast<double>(settings.maxCompTime) > clock.elapTime;
}

} // namespace

SearchOutcome runSearch(const RunSettings& settings, const HaplotypeList& initial, SearchState& state,
                        DistanceStructure& distances, RandomGenerator& random, RunClock& clock)
{
    Search search{settings, initial, state, distances, random, true, false, {}};
    for (int iteration = 0; iterationMayStart(settings, clock, iteration); ++iteration) {
        search.iterationCounts.push_back(search.runIteration(iteration + 1, IterationLine{}));
    }
    return {search.bestSaved, interruptSignal(), std::move(search.iterationCounts)};
}

SearchOutcome runSilentSearch(const RunSettings& settings, const HaplotypeList& initial, SearchState& state,
                              DistanceStructure& distances, RandomGenerator& random)
{
    Search search{settings, initial, state, distances, random, true, false, {}};
    IterationLine line;
    line.silent = true;
    RunClock clock = startRunClock();
    for (int iteration = 0; iterationMayStart(settings, clock, iteration); ++iteration) {
        search.iterationCounts.push_back(search.runIteration(iteration + 1, line));
    }
    return {search.bestSaved, interruptSignal(), std::move(search.iterationCounts)};
}

namespace {

// The best reconstruction one worker of a parallel search has kept: the
// smallest count, from the earliest iteration among those it ran.
struct KeptBest {
    int count = INT_MAX;
    int iteration = 0;
};

void keepIterationBest(SearchState& state, int iteration, KeptBest& kept)
{
    const int count = state.iterationBestCount;
    if (count > state.current.slotCount || count >= kept.count) return;
    copyHaplotypeList(state.best, state.iterationBest);
    state.bestPairs = state.iterationBestPairs;
    state.bestCount = count;
    kept = {count, iteration};
}

} // namespace

SearchOutcome runParallelSearch(const RunSettings& settings, int threads, const HaplotypeList& initial,
                                SearchState& state, DistanceStructure& distances, RunClock& clock)
{
    std::mutex mutex;  // guards the iterations handed out, the clock and the counts
    int handedOut = 0;
    std::map<int, std::vector<int>> counts;
    OrderedConsole console(stdout);

    // The time limit and an interrupt are tested before each iteration is
    // handed out, as in a search on one thread; the first always runs.
    const auto nextIteration = [&]() -> int {
        const std::lock_guard<std::mutex> lock(mutex);
        return iterationMayStart(settings, clock, handedOut) ? ++handedOut : 0;
    };

    std::vector<std::unique_ptr<SearchState>> ownStates(static_cast<std::size_t>(threads));
    std::vector<DistanceStructure> ownDistances(static_cast<std::size_t>(threads));
    for (int w = 1; w < threads; ++w) {
        ownStates[w] = std::make_unique<SearchState>();
        createSearchState(*ownStates[w], initial);
        ownDistances[w] = distances;
    }
    std::vector<KeptBest> kept(static_cast<std::size_t>(threads));
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(threads));

    const auto work = [&](int w) {
        try {
            SearchState& own = w == 0 ? state : *ownStates[w];
            DistanceStructure& ownDistance = w == 0 ? distances : ownDistances[w];
            for (int iteration = nextIteration(); iteration != 0; iteration = nextIteration()) {
                const IterationLine printed{&console, iteration};
                own.warningSink = [printed](const std::string& text) { printed.print(text); };  // joins the line
                RandomGenerator random;
                seedGenerator(random, static_cast<int>(iterationSeed(settings.seed, iteration)));
                Search search{settings, initial, own, ownDistance, random, false, false, {}};
                std::vector<int> line = search.runIteration(iteration, printed);
                keepIterationBest(own, iteration, kept[w]);
                const std::lock_guard<std::mutex> lock(mutex);
                counts[iteration] = std::move(line);
            }
        } catch (...) {
            failures[w] = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    for (int w = 1; w < threads; ++w) workers.emplace_back(work, w);
    work(0);
    for (std::thread& worker : workers) worker.join();
    state.warningSink = nullptr;
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);

    // The best over all iterations: fewest haplotypes, then earliest iteration.
    int winner = -1;
    for (int w = 0; w < threads; ++w) {
        if (kept[w].iteration == 0) continue;
        if (winner < 0 || kept[w].count < kept[winner].count
            || (kept[w].count == kept[winner].count && kept[w].iteration < kept[winner].iteration)) {
            winner = w;
        }
    }
    if (winner > 0) {
        const SearchState& from = *ownStates[winner];
        copyHaplotypeList(state.best, from.best);
        state.bestPairs = from.bestPairs;
        state.bestCount = from.bestCount;
    }
    SearchOutcome outcome{winner >= 0, interruptSignal(), {}};
    for (auto& [iteration, numbers] : counts) outcome.iterationCounts.push_back(std::move(numbers));
    return outcome;
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
