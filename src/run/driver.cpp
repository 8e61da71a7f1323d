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
#include "run/available_cores.hpp"
#include "run/interruption.hpp"
#include "run/iteration_seed.hpp"
#include "run/run_clock.hpp"
#include "run/run_report.hpp"
#include "run/run_settings.hpp"
#include "run/search_run.hpp"
#include "search/random_generator.hpp"
#include "vcf/genotype_input.hpp"
#include "vcf/vcf_output.hpp"

#include <algorithm>
#include <chrono>
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

// Wall seconds of the phases of a run, for its report.
class PhaseTimer {
public:
    explicit PhaseTimer(RunReport& report) : report_(report), start_(std::chrono::steady_clock::now()) {}

    // Ends the phase that ran since the last call (or the start) as `name`.
    void lap(const char* name)
    {
        const auto now = std::chrono::steady_clock::now();
        report_.phaseSeconds.emplace_back(name, std::chrono::duration<double>(now - start_).count());
        start_ = now;
    }

private:
    RunReport& report_;
    std::chrono::steady_clock::time_point start_;
};

// Prints a line that ends the run without a result and notes it for the
// report; returns `code`.
int fail(RunReport& report, const std::string& line, int code = kExitFailure)
{
    std::printf("%s\n", line.c_str());
    report.error = line;
    return code;
}

// An interrupt that came before any reconstruction was found: nothing is
// written and an earlier result file stays as it was.
int stopWithoutResult(RunReport& report, int signal)
{
    report.interruptedBy = signal;
    return fail(report,
                "Interrupted by " + signalName(signal) + " before any reconstruction was found; no output file was written.",
                interruptedExit(signal));
}

// The refusal of an input whose run would need more memory than it may use.
std::string tooLargeMessage(const RunSettings& settings, const std::optional<VcfInput>& vcf,
                            const GenotypeTable& table, std::uint64_t needed, const MemoryLimit& memory)
{
    return (vcf ? "The VCF file " : "The genotype file ") + settings.inputFilename
           + " is too large for this machine: its " + std::to_string(table.distinctCount) + " distinct genotypes of "
           + std::to_string(table.length) + " sites" + (vcf ? " in " + describeVcfScope(*vcf) : std::string()) + " "
           + describeMemoryShortfall(needed, memory) + (vcf ? "; choose a smaller region with --region CHR:FROM-TO" : "");
}

// Whether the run writes a phased VCF or BCF: its input is one and the
// output name asks for one.
VcfOutputFormat phasedOutputFormat(const RunSettings& settings, const std::optional<VcfInput>& vcf)
{
    return vcf ? vcfOutputFormat(settings.outputFileName) : VcfOutputFormat::None;
}

// Checks, before the search, that the result files of the run can be made.
bool checkOutputsWritable(const RunSettings& settings, const std::optional<VcfInput>& vcf, std::string& error)
{
    if (!checkOutputWritable(settings.outputFileName, error)) return false;
    const VcfOutputFormat format = phasedOutputFormat(settings, vcf);
    if (format != VcfOutputFormat::None && !phasedOutputFits(settings.outputFileName, format, *vcf, error)) {
        return false;
    }
    return settings.haplotypesFile.empty() || checkOutputWritable(settings.haplotypesFile, error);
}

// The report cannot be made where it is asked for: said once, and not tried
// again at the end of the run.
int failReport(RunReport& report, const std::string& error)
{
    report.reportFailed = true;
    return fail(report, error);
}

// Writes the outputs of a run: the phased VCF or BCF, or the result file,
// under the output name; the result file under the --haplotypes name too.
bool saveOutputs(const RunSettings& settings, const std::optional<VcfInput>& vcf, const std::string& result,
                 const Reconstruction& reconstruction, const std::vector<int>& genotypeMap,
                 const std::string& commandLine, RunReport& report, std::string& error)
{
    const VcfOutputFormat format = phasedOutputFormat(settings, vcf);
    if (format == VcfOutputFormat::None) {
        if (!saveFileAtomically(settings.outputFileName, result, error)) return false;
    } else if (!writePhasedVcf(settings.outputFileName, format, *vcf, reconstruction, genotypeMap, commandLine,
                               error)) {
        return false;
    }
    report.filesWritten.push_back(settings.outputFileName);
    if (settings.haplotypesFile.empty()) return true;
    if (!saveFileAtomically(settings.haplotypesFile, result, error)) return false;
    report.filesWritten.push_back(settings.haplotypesFile);
    return true;
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

// The reconstruction a run ends with, and the result file's text for it.
struct RunResult {
    Reconstruction reconstruction;
    std::string text;
};

// Makes `smaller` the run's result once it is checked. False (with the
// line printed) when the check fails, which no phase should allow.
bool adoptSmaller(const std::vector<std::string>& genotypes, const std::vector<int>& genotypeMap,
                  Reconstruction smaller, RunResult& result, RunReport& report)
{
    const std::string fault = findReconstructionFault(genotypes, smaller);
    if (!fault.empty()) {
        fail(report, "Internal error: a smaller reconstruction is wrong (" + fault + "); no output file was written.");
        return false;
    }
    result.text = composeExplicitResult(smaller, genotypes, genotypeMap);
    result.reconstruction = std::move(smaller);
    return true;
}

// The improvement phase after the search, with its console lines. Returns
// the smaller reconstruction it reached, if any. `interruptedBy` is set when
// an interrupt cut the phase short.
std::optional<Reconstruction> runImprovementPhase(const RunSettings& settings,
                                                  const std::vector<std::string>& genotypes,
                                                  const Reconstruction& start, int& interruptedBy,
                                                  RunReport& report)
{
    ImprovementSettings improvement;
    improvement.seconds = settings.improveSeconds;
    improvement.seed = static_cast<unsigned>(settings.seed);
    improvement.interrupted = [] { return interruptSignal() != 0; };
#ifndef NDEBUG
    improvement.checkEveryMove = true;
#endif
    Reconstruction improved = start;
    const ImprovementOutcome outcome = improveReconstruction(genotypes, improved, improvement);
    report.improvement = outcome;
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
    if (fewer <= 0) return std::nullopt;
    return improved;
}

// The lower bounds and, with --prove, the exact check: their console lines
// and the closing verdict. Returns the smaller reconstruction the check
// found, if any. `interruptedBy` is set when an interrupt cut it short.
std::optional<Reconstruction> runProofAfterSearch(const RunSettings& settings,
                                                  const std::vector<std::string>& genotypes,
                                                  const Reconstruction& found, int& interruptedBy,
                                                  RunReport& report)
{
    const ProofRequest request{settings.prove, settings.proveSeconds};
    const ProofOutcome outcome = runProofPhase(genotypes, found, request, printConsoleLine,
                                               [] { return interruptSignal() != 0; });
    report.proof = outcome;
    if (outcome.interrupted && interruptedBy == 0) {
        interruptedBy = interruptSignal();
        std::printf("Interrupted by %s: the exact check was cut short; saving the best reconstruction found.\n",
                    signalName(interruptedBy).c_str());
    }
    printConsoleLine(proofVerdictLine(outcome));
    return outcome.smaller;
}

// The workers a run asks for: N, or one per available core for 0.
int workerCount(int asked)
{
    return asked > 0 ? asked : availableCores().count;
}

std::string inputFormatName(const std::optional<VcfInput>& vcf)
{
    if (!vcf) return "matrix";
    return vcf->binary ? "BCF" : "VCF";
}

int run(int argc, const char* const* argv, RunReport& report)
{
    RunClock clock = startRunClock();
    PhaseTimer timer(report);
    installInterruptHandlers();
    for (int i = 0; i < argc; ++i) report.commandLine.emplace_back(argv[i]);

    RunSettings settings;
    std::string problem;
    switch (parseOptions(argc, argv, settings, &problem)) {
    case ParseStatus::Filled:
        break;
    case ParseStatus::TooFewArguments:
        printUsage();
        return kExitSuccess;
    case ParseStatus::HelpRequested:
        std::fputs(helpText().c_str(), stdout);
        return kExitSuccess;
    case ParseStatus::VersionRequested:
        std::printf("%s\n", versionLine().c_str());
        return kExitSuccess;
    case ParseStatus::BadOption:
        printUsage();
        return kExitUsage;
    case ParseStatus::BadValue:
        std::printf("%s\n", problem.c_str());
        return kExitUsage;
    }
    report.settings = settings;

    RandomGenerator random;
    seedGenerator(random, settings.seed);

    const MemoryLimit memory = currentMemoryLimit();
    GenotypeTable table;
    std::optional<VcfInput> vcf;
    const GenotypeReadResult read = readGenotypeInput(settings, table, vcf, memory);
    timer.lap("read");
    if (!read.ok) return fail(report, read.error);
    report.inputFormat = inputFormatName(vcf);
    report.genotypes = table.genotypeCount;
    report.distinctGenotypes = table.distinctCount;
    report.sites = table.length;
    if (vcf) {
        report.vcf = vcf->counts;
        std::printf("%s\n", describeVcfReading(*vcf).c_str());
    }
    const RunMemory runMemory = splitRunMemory(static_cast<std::uint64_t>(table.genotypeCount),
                                               table.distinctCount, table.length);
    const std::uint64_t needed = searchesBytes(runMemory, 1);
    if (needed > memory.bytes) return fail(report, tooLargeMessage(settings, vcf, table, needed, memory));
    printStartLine(settings);
    int threads = 1;
    if (settings.threads >= 0) {
        const int asked = workerCount(settings.threads);
        threads = searchesThatFit(runMemory, memory.bytes, asked);
        if (threads < asked) {
            std::printf("Using %d thread%s instead of %d: each needs about %s of memory, and %s is available (%s)\n",
                        threads, threads == 1 ? "" : "s", asked, describeBytes(runMemory.perSearch).c_str(),
                        describeBytes(memory.bytes).c_str(), memory.source.c_str());
        } else {
            std::printf("Using %d thread%s\n", threads, threads == 1 ? "" : "s");
        }
        report.threads = threads;
    }
    std::fflush(stdout);

    if (settings.maxIter <= 0) {
        return fail(report, "No iteration was run (maxIter=" + std::to_string(settings.maxIter)
                                + "); no output file was written.");
    }
    std::string error;
    if (!checkOutputsWritable(settings, vcf, error)) return fail(report, error);
    if (!settings.reportFile.empty() && !checkOutputWritable(settings.reportFile, error)) {
        return failReport(report, error);
    }
    if (interruptSignal() != 0) return stopWithoutResult(report, interruptSignal());

    std::vector<int> genotypeMap;
    const HaplotypeList initial = buildHaplotypeList(table.genotypeCount, table.length,
                                                     table.genotypes, table.distinctCount, genotypeMap);
    auto state = std::make_unique<SearchState>();
    createSearchState(*state, initial);
    DistanceStructure distances = createDistanceStructure(initial);
    timer.lap("setup");

    SearchOutcome outcome = settings.threads < 0
                                ? runSearch(settings, initial, *state, distances, random, clock)
                                : runParallelSearch(settings, threads, initial, *state, distances, clock);
    report.iterations = std::move(outcome.iterationCounts);
    timer.lap("search");
    if (!outcome.bestSaved) {
        if (outcome.interruptedBy != 0) return stopWithoutResult(report, outcome.interruptedBy);
        return fail(report, "No reconstruction was found: every attempt left a genotype without a "
                            "candidate pair; no output file was written.");
    }
    report.searchBest = state->bestCount;
    if (outcome.interruptedBy != 0) {
        std::printf("Interrupted by %s: saving the best reconstruction found so far.\n",
                    signalName(outcome.interruptedBy).c_str());
        std::fflush(stdout);
    }

    int interruptedBy = outcome.interruptedBy;
    // With several threads the completion of open sites draws from a
    // generator of its own, so that the result does not depend on them.
    if (settings.threads >= 0) seedGenerator(random, static_cast<int>(iterationSeed(settings.seed, 0)));
    RunResult result;
    result.text = composeResult(*state, initial, table, genotypeMap, random, &result.reconstruction);
    timer.lap("analysis");
    const bool phases = settings.improveSeconds >= 0 || settings.bound || settings.prove;
    const std::vector<std::string> genotypes = phases ? distinctGenotypes(table, genotypeMap) : std::vector<std::string>{};
    if (settings.improveSeconds >= 0 && interruptedBy == 0) {
        std::optional<Reconstruction> smaller =
            runImprovementPhase(settings, genotypes, result.reconstruction, interruptedBy, report);
        timer.lap("improvement");
        if (smaller && !adoptSmaller(genotypes, genotypeMap, std::move(*smaller), result, report)) return kExitFailure;
    }
    if ((settings.bound || settings.prove) && interruptedBy == 0) {
        std::optional<Reconstruction> smaller =
            runProofAfterSearch(settings, genotypes, result.reconstruction, interruptedBy, report);
        timer.lap(settings.prove ? "exact_check" : "bound");
        if (smaller && !adoptSmaller(genotypes, genotypeMap, std::move(*smaller), result, report)) return kExitFailure;
    }
    report.interruptedBy = interruptedBy;
    report.resultHaplotypes = static_cast<int>(result.reconstruction.haplotypes.size());

    if (!saveOutputs(settings, vcf, result.text, result.reconstruction, genotypeMap, describeCommandLine(argc, argv),
                     report, error)) {
        return fail(report, error);
    }
    noteOutputSaved();
    timer.lap("write");

    const int exitCode = interruptedBy != 0 ? interruptedExit(interruptedBy) : kExitSuccess;
    takeTimingReading(clock);
    std::printf("elapTime = %.3f sec.\n", clock.elapTime);
    std::printf("Output saved in the file %s \n", settings.outputFileName.c_str());
    if (!settings.haplotypesFile.empty()) {
        std::printf("Haplotypes saved in the file %s \n", settings.haplotypesFile.c_str());
    }
    if (!settings.reportFile.empty()) {
        report.exitStatus = exitCode;
        report.filesWritten.push_back(settings.reportFile);
        if (!saveFileAtomically(settings.reportFile, composeRunReport(report), error)) {
            report.filesWritten.pop_back();
            return failReport(report, error);
        }
        std::printf("Report saved in the file %s \n", settings.reportFile.c_str());
    }
    std::printf("\n");
    return exitCode;
}

} // namespace

int runVelmora(int argc, const char* const* argv)
{
    RunReport report;
    int exitCode = kExitFailure;
    try {
        exitCode = run(argc, argv, report);
    } catch (const std::bad_alloc&) {
        report.error = "Not enough memory for this input; no output file was written.";
        std::printf("%s\n", report.error.c_str());
        exitCode = kExitFailure;
    }
    // A run that ends early still leaves its report, saying why; a command
    // line that was not understood names no report to write.
    const std::string& path = report.settings.reportFile;
    const bool written = std::find(report.filesWritten.begin(), report.filesWritten.end(), path)
                         != report.filesWritten.end();
    if (!path.empty() && !written && !report.reportFailed && !report.error.empty()) {
        report.exitStatus = exitCode;
        std::string error;
        if (!saveFileAtomically(path, composeRunReport(report), error)) std::printf("%s\n", error.c_str());
    }
    return exitCode;
}
