#include "run/driver.hpp"

#include "data/genotype_table.hpp"
#include "data/haplotype_list.hpp"
#include "data/memory_budget.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "exact/proof_phase.hpp"
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

// The distinct genotypes, numbered as genotypeMap numbers them.
std::vector<std::string> distinctGenotypes(const GenotypeTable& table, const std::vector<int>& genotypeMap)
{
    std::vector<std::string> distinct(static_cast<std::size_t>(table.distinctCount));
    for (std::size_t j = 0; j < genotypeMap.size(); ++j) distinct[genotypeMap[j]] = table.genotypes[j];
    return distinct;
}

void printConsoleLine(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

// The improvement phase after the search, with its console lines. Returns
// whether it made the reconstruction smaller. `interruptedBy` is set when an
// interrupt cut the phase short.
bool runImprovementPhase(const RunSettings& settings, const std::vector<std::string>& genotypes,
                         Reconstruction& reconstruction, int& interruptedBy)
{
    ImprovementSettings improvement;
    improvement.seconds = settings.improveSeconds;
    improvement.seed = static_cast<unsigned>(settings.seed);
    improvement.interrupted = [] { return interruptSignal() != 0; };
#ifndef NDEBUG
    improvement.checkEveryMove = true;
#endif
    const ImprovementOutcome outcome = improveReconstruction(genotypes, reconstruction, improvement);
    if (outcome.interrupted && interruptedBy == 0) {
        interruptedBy = interruptSignal();
        std::printf("Interrupted by %s: improvement cut short; saving the best reconstruction reached so far.\n",
                    signalName(interruptedBy).c_str());
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

// The lower bounds and, with --prove, the exact check, after the search:
// their console lines, the closing verdict, and the result file's text,
// which becomes that of a smaller reconstruction when the check finds one.
// `interruptedBy` is set when an interrupt cut the check short.
std::string proveAfterSearch(const RunSettings& settings, const std::vector<std::string>& genotypes,
                             const std::vector<int>& genotypeMap, const Reconstruction& found,
                             std::string content, int& interruptedBy)
{
    const ProofRequest request{settings.prove, settings.proveSeconds};
    const ProofOutcome outcome = runProofPhase(genotypes, found, request, printConsoleLine,
                                               [] { return interruptSignal() != 0; });
    if (outcome.smaller) content = composeExplicitResult(*outcome.smaller, genotypes, genotypeMap);
    if (outcome.interrupted && interruptedBy == 0) {
        interruptedBy = interruptSignal();
        std::printf("Interrupted by %s: the exact check was cut short; saving the best reconstruction found.\n",
                    signalName(interruptedBy).c_str());
    }
    printConsoleLine(proofVerdictLine(outcome));
    return content;
}

int run(int argc, const char* const* argv)
{
    RunClock clock = startRunClock();
    installInterruptHandlers();

    RunSettings settings;
    std::string error;
    switch (parseOptions(argc, argv, settings, &error)) {
    case ParseStatus::Filled:
        break;
    case ParseStatus::TooFewArguments:
    case ParseStatus::HelpRequested:
        printUsage();
        return kExitSuccess;
    case ParseStatus::BadOption:
        printUsage();
        return kExitUsage;
    case ParseStatus::BadValue:
        std::printf("%s\n", error.c_str());
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

    int interruptedBy = outcome.interruptedBy;
    Reconstruction reconstruction;
    std::string content = composeResult(*state, initial, table, genotypeMap, random, &reconstruction);
    const bool phases = settings.improveSeconds >= 0 || settings.bound || settings.prove;
    const std::vector<std::string> genotypes = phases ? distinctGenotypes(table, genotypeMap) : std::vector<std::string>{};
    if (settings.improveSeconds >= 0 && interruptedBy == 0) {
        if (runImprovementPhase(settings, genotypes, reconstruction, interruptedBy)) {
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
    if ((settings.bound || settings.prove) && interruptedBy == 0) {
        content = proveAfterSearch(settings, genotypes, genotypeMap, reconstruction, std::move(content), interruptedBy);
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
    return interruptedBy != 0 ? interruptedExit(interruptedBy) : kExitSuccess;
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
