#include "run/driver.hpp"

#include "data/genotype_table.hpp"
#include "data/haplotype_list.hpp"
#include "data/memory_budget.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "improve/improvement_phase.hpp"
#include "output/reconstruction.hpp"
#include "output/result_file.hpp"
#include "run/interruption.hpp"
#include "run/run_clock.hpp"
#include "run/run_settings.hpp"
#include "run/search_run.hpp"
#include "search/random_generator.hpp"

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// Exit codes of the program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int interruptedExit(int signal)
{
    return 128 + signal;
}

// An interrupt that came before any reconstruction was found: nothing is
// written and an earlier result file stays as it was.
int stopWithoutResult(int signal)
{
    std::printf("Interrupted by %s before any reconstruction was found; no output file was written.\n",
                signalName(signal).c_str());
    return interruptedExit(signal);
}

// The distinct genotypes of the run, in the order of the initial list.
std::vector<std::string> distinctGenotypesOf(const HaplotypeList& initial)
{
    std::vector<std::string> genotypes;
    for (int k = 0; k < initial.slotCount / 2; ++k) genotypes.push_back(initial.text[2 * k]);
    return genotypes;
}

// The improvement phase after the search, with its console lines. Returns
// whether it made the reconstruction smaller.
bool runImprovementPhase(const RunSettings& settings, const std::vector<std::string>& genotypes,
                         Reconstruction& reconstruction)
{
    ImprovementSettings improvement;
    improvement.seconds = settings.improveSeconds;
    improvement.seed = static_cast<unsigned>(settings.seed);
    improvement.interrupted = [] { return interruptSignal() != 0; };
#ifndef NDEBUG
    improvement.checkEveryMove = true;
#endif
    const ImprovementOutcome outcome = improveReconstruction(genotypes, reconstruction, improvement);
    if (outcome.interrupted) {
        std::printf("Interrupted by %s: improvement cut short; saving the best reconstruction reached so far.\n",
                    signalName(interruptSignal()).c_str());
    }
    const int fewer = outcome.startCount - outcome.finalCount;
    if (fewer > 0) {
        std::printf("Improved: %d haplotypes, %d fewer than the search found\n", outcome.finalCount, fewer);
    } else {
        std::printf("Improved: none\n");
    }
    std::fflush(stdout);
    return fewer > 0;
}

int run(int argc, const char* const* argv)
{
    RunClock clock = startRunClock();
    installInterruptHandlers();

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

    const MemoryLimit memory = currentMemoryLimit();
    GenotypeTable table;
    const GenotypeReadResult read = readGenotypeFile(settings, table, memory);
    if (!read.ok) {
        std::printf("%s\n", read.error.c_str());
        return kExitFailure;
    }
    const std::uint64_t needed = estimateRunMemory(static_cast<std::uint64_t>(table.genotypeCount),
                                                   table.distinctCount, table.length);
    if (needed > memory.bytes) {
        std::printf("The genotype file %s is too large for this machine: its %d distinct genotypes of %d sites "
                    "need about %s of memory, more than the %s available (%s)\n",
                    settings.inputFilename.c_str(), table.distinctCount, table.length,
                    describeBytes(needed).c_str(), describeBytes(memory.bytes).c_str(), memory.source.c_str());
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
    if (interruptSignal() != 0) return stopWithoutResult(interruptSignal());

    std::vector<int> genotypeMap;
    const HaplotypeList initial = buildHaplotypeList(table.genotypeCount, table.length,
                                                     table.genotypes, table.distinctCount, genotypeMap);
    auto state = std::make_unique<SearchState>();
    createSearchState(*state, initial);
    DistanceStructure distances = createDistanceStructure(initial);

    const SearchOutcome outcome = runSearch(settings, initial, *state, distances, random, clock);
    if (!outcome.bestSaved) {
        if (outcome.interruptedBy != 0) return stopWithoutResult(outcome.interruptedBy);
        std::printf("No reconstruction was found: every attempt left a genotype without a "
                    "candidate pair; no output file was written.\n");
        return kExitFailure;
    }
    if (outcome.interruptedBy != 0) {
        std::printf("Interrupted by %s: saving the best reconstruction found so far.\n",
                    signalName(outcome.interruptedBy).c_str());
        std::fflush(stdout);
    }

    Reconstruction reconstruction;
    std::string content = composeResult(*state, initial, table, genotypeMap, random, &reconstruction);
    if (settings.improveSeconds >= 0 && interruptSignal() == 0) {
        const std::vector<std::string> genotypes = distinctGenotypesOf(initial);
        if (runImprovementPhase(settings, genotypes, reconstruction)) {
            // A smaller reconstruction is written only once it is checked.
            const std::string fault = findReconstructionFault(genotypes, reconstruction);
            if (!fault.empty()) {
                std::printf("Internal error: the improved reconstruction is wrong (%s); no output file was written.\n",
                            fault.c_str());
                return kExitFailure;
            }
            content = composeExplicitResult(reconstruction, genotypes, genotypeMap);
        }
    }
    if (!saveFileAtomically(settings.outputFileName, content, error)) {
        std::printf("%s\n", error.c_str());
        return kExitFailure;
    }
    noteOutputSaved();

    takeTimingReading(clock);
    std::printf("elapTime = %.3f sec.\n", clock.elapTime);
    std::printf("Output saved in the file %s \n", settings.outputFileName.c_str());
    std::printf("\n");
    return interruptSignal() != 0 ? interruptedExit(interruptSignal()) : kExitSuccess;
}

} // namespace

int runVelmora(int argc, const char* const* argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::printf("Not enough memory for this input; no output file was written.\n");
        return kExitFailure;
    }
}
