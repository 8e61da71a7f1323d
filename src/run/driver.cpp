#include "run/driver.hpp"

#include "data/genotype_table.hpp"
#include "data/haplotype_list.hpp"
#include "data/memory_budget.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "output/reconstruction.hpp"
#include "output/result_file.hpp"
#include "run/interruption.hpp"
#include "run/run_clock.hpp"
#include "run/run_settings.hpp"
#include "run/search_run.hpp"
#include "search/random_generator.hpp"
#include "vcf/genotype_input.hpp"
#include "vcf/vcf_output.hpp"

#include <cstdio>
#include <memory>
#include <new>
#include <optional>
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

// The refusal of an input whose run would need more memory than it may use.
std::string tooLargeMessage(const RunSettings& settings, const std::optional<VcfInput>& vcf,
                            const GenotypeTable& table, std::uint64_t needed, const MemoryLimit& memory)
{
    if (!vcf) {
        return "The genotype file " + settings.inputFilename + " is too large for this machine: its "
               + std::to_string(table.distinctCount) + " distinct genotypes of " + std::to_string(table.length)
               + " sites need about " + describeBytes(needed) + " of memory, more than the "
               + describeBytes(memory.bytes) + " available (" + memory.source + ")";
    }
    return "The VCF file " + settings.inputFilename + " is too large for this machine: its "
           + std::to_string(table.distinctCount) + " distinct genotypes of " + std::to_string(table.length)
           + " sites in " + describeVcfScope(*vcf) + " need about " + describeBytes(needed)
           + " of memory, more than the " + describeBytes(memory.bytes) + " available (" + memory.source
           + "); choose a smaller region with --region CHR:FROM-TO";
}

// Whether the run writes a phased VCF or BCF: its input is one and the
// output name asks for one.
VcfOutputFormat phasedOutputFormat(const RunSettings& settings, const std::optional<VcfInput>& vcf)
{
    return vcf ? vcfOutputFormat(settings.outputFileName) : VcfOutputFormat::None;
}

// Checks, before the search, that every output file of the run can be made.
bool checkOutputsWritable(const RunSettings& settings, const std::optional<VcfInput>& vcf, std::string& error)
{
    if (!checkOutputWritable(settings.outputFileName, error)) return false;
    const VcfOutputFormat format = phasedOutputFormat(settings, vcf);
    if (format != VcfOutputFormat::None && !phasedOutputFits(settings.outputFileName, format, *vcf, error)) {
        return false;
    }
    return settings.haplotypesFile.empty() || checkOutputWritable(settings.haplotypesFile, error);
}

// Writes the outputs of a run: the phased VCF or BCF, or the result file,
// under the output name; the result file under the --haplotypes name too.
bool saveOutputs(const RunSettings& settings, const std::optional<VcfInput>& vcf, const std::string& result,
                 const Reconstruction& reconstruction, const std::vector<int>& genotypeMap,
                 const std::string& commandLine, std::string& error)
{
    const VcfOutputFormat format = phasedOutputFormat(settings, vcf);
    if (format == VcfOutputFormat::None) {
        if (!saveFileAtomically(settings.outputFileName, result, error)) return false;
    } else if (!writePhasedVcf(settings.outputFileName, format, *vcf, reconstruction, genotypeMap, commandLine,
                               error)) {
        return false;
    }
    return settings.haplotypesFile.empty() || saveFileAtomically(settings.haplotypesFile, result, error);
}

int run(int argc, const char* const* argv)
{
    RunClock clock = startRunClock();
    installInterruptHandlers();

    RunSettings settings;
    std::string problem;
    switch (parseOptions(argc, argv, settings, &problem)) {
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
        std::printf("%s\n", problem.c_str());
        return kExitUsage;
    }

    RandomGenerator random;
    seedGenerator(random, settings.seed);

    const MemoryLimit memory = currentMemoryLimit();
    GenotypeTable table;
    std::optional<VcfInput> vcf;
    const GenotypeReadResult read = readGenotypeInput(settings, table, vcf, memory);
    if (!read.ok) {
        std::printf("%s\n", read.error.c_str());
        return kExitFailure;
    }
    if (vcf) std::printf("%s\n", describeVcfReading(*vcf).c_str());
    const std::uint64_t needed = estimateRunMemory(static_cast<std::uint64_t>(table.genotypeCount),
                                                   table.distinctCount, table.length);
    if (needed > memory.bytes) {
        std::printf("%s\n", tooLargeMessage(settings, vcf, table, needed, memory).c_str());
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
    if (!checkOutputsWritable(settings, vcf, error)) {
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
    const std::string content = composeResult(*state, initial, table, genotypeMap, random, &reconstruction);
    if (!saveOutputs(settings, vcf, content, reconstruction, genotypeMap, describeCommandLine(argc, argv), error)) {
        std::printf("%s\n", error.c_str());
        return kExitFailure;
    }
    noteOutputSaved();

    takeTimingReading(clock);
    std::printf("elapTime = %.3f sec.\n", clock.elapTime);
    std::printf("Output saved in the file %s \n", settings.outputFileName.c_str());
    if (!settings.haplotypesFile.empty()) {
        std::printf("Haplotypes saved in the file %s \n", settings.haplotypesFile.c_str());
    }
    std::printf("\n");
    return outcome.interruptedBy != 0 ? interruptedExit(outcome.interruptedBy) : kExitSuccess;
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
