#include "run/driver.hpp"

#include "data/genotype_table.hpp"
#include "data/haplotype_list.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "output/result_file.hpp"
#include "output/solution_analysis.hpp"
#include "run/run_settings.hpp"
#include "search/candidate_lists.hpp"
#include "search/collapse_pass.hpp"
#include "search/pair_choice.hpp"
#include "search/perturbation.hpp"
#include "search/random_generator.hpp"

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

std::int64_t clockMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Exit codes of the program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

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
        resetSearchState(state, initial, distances);
        if (perturbation) perturb(state, distances);
        randomCollapse(state, distances, random);
        return collapsePass(state, initial);
    }

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

        for (int stall = 0; stall < settings.maxStall; ++stall) {
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

// Analyses the best reconstruction and turns it into the result file's text.
std::string composeResult(SearchState& state, const HaplotypeList& initial,
                          const GenotypeTable& table, const std::vector<int>& genotypeMap,
                          RandomGenerator& random)
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
    return content;
}

int run(int argc, const char* const* argv)
{
    RunClock clock = startRunClock();

    RunSettings settings;
    switch (parseOptions(argc, argv, settings)) {
    case ParseStatus::Filled:
        break;
    case ParseStatus::TooFewArguments:
    case ParseStatus::HelpRequested:
        printUsage();
        return kExitSuccess;
    case ParseStatus::BadOption:
        printUsage();
        return kExitUsage;
    }

    RandomGenerator random;
    seedGenerator(random, settings.seed);

    GenotypeTable table;
    const GenotypeReadResult read = readGenotypeFile(settings, table);
    if (!read.ok) {
        std::printf("%s\n", read.error.c_str());
        return kExitFailure;
    }
    printStartLine(settings);
    std::fflush(stdout);

    if (settings.maxIter <= 0) {
        std::printf("No iteration was run (maxIter=%d); no output file was written.\n",
                    settings.maxIter);
        return kExitFailure;
    }
    std::string error;
    if (!checkOutputWritable(settings.outputFileName, error)) {
        std::printf("%s\n", error.c_str());
        return kExitFailure;
    }

    std::vector<int> genotypeMap;
    const HaplotypeList initial = buildHaplotypeList(table.genotypeCount, table.length,
                                                     table.genotypes, table.distinctCount, genotypeMap);
    auto state = std::make_unique<SearchState>();
    createSearchState(*state, initial);
    DistanceStructure distances = createDistanceStructure(initial);

    Search search{settings, initial, *state, distances, random};
    for (int iteration = 0;; ++iteration) {
        takeTimingReading(clock);
        if (iteration >= settings.maxIter) break;
        // The first iteration always runs, so every run ends with a result.
        if (iteration > 0 && settings.maxCompTime != 0
            && !(static_cast<double>(settings.maxCompTime) > clock.elapTime)) {
            break;
        }
        search.runIteration(iteration + 1);
    }

    if (!search.bestSaved) {
        std::printf("No reconstruction was found: every attempt left a genotype without a "
                    "candidate pair; no output file was written.\n");
        return kExitFailure;
    }

    const std::string content = composeResult(*state, initial, table, genotypeMap, random);
    if (!saveFileAtomically(settings.outputFileName, content, error)) {
        std::printf("%s\n", error.c_str());
        return kExitFailure;
    }

    takeTimingReading(clock);
    std::printf("elapTime = %.3f sec.\n", clock.elapTime);
    std::printf("Output saved in the file %s \n", settings.outputFileName.c_str());
    std::printf("\n");
    return kExitSuccess;
}

} // namespace

RunClock startRunClock()
{
    RunClock clock;
    clock.startTime = clockMilliseconds();
    clock.currentTime = clock.startTime;
    return clock;
}

void takeTimingReading(RunClock& clock)
{
    clock.currentTime = clockMilliseconds();
    clock.elapTime = static_cast<double>(clock.currentTime - clock.startTime) * 0.001;
}

void timeCheckpoint(RunClock& clock, const char* label)
{
    takeTimingReading(clock);
    std::printf("%s... ", label);
    std::printf("elapTime = %.3f sec.\n", clock.elapTime);
}

int runVelmora(int argc, const char* const* argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::printf("Not enough memory for this input; no output file was written.\n");
        return kExitFailure;
    }
}
