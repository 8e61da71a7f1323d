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
#include "phasing/missing_calls.hpp"
#include "phasing/sample_phase.hpp"
#include "phasing/windowed_phasing.hpp"
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
#include <string_view>
#include <unordered_map>
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

void printConsoleLine(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
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

// What a run works on and what it ends with, from the input read to the
// result written. The phases below fill it in order.
struct Run {
    explicit Run(RunReport& report) : report(report), clock(startRunClock()), timer(report) {}

    RunSettings settings;
    RunReport& report;
    RunClock clock;
    PhaseTimer timer;
    std::string commandLine;  // for the ##source line of a phased VCF
    MemoryLimit memory;

    GenotypeTable table;
    std::optional<VcfInput> vcf;
    std::vector<int> genotypeMap;  // input genotype -> distinct genotype
    int threads = 1;               // searches (or windows) side by side
    int interruptedBy = 0;

    // The result: the reconstruction of the distinct genotypes and the result
    // file's text, and every sample's phase.
    Reconstruction reconstruction;
    std::string resultText;
    std::vector<SamplePhase> phases;
};

// The refusal of an input whose run would need more memory than it may use.
std::string tooLargeMessage(const Run& run, std::uint64_t needed)
{
    const RunSettings& settings = run.settings;
    return (run.vcf ? "The VCF file " : "The genotype file ") + settings.inputFilename
           + " is too large for this machine: its " + std::to_string(run.table.distinctCount)
           + " distinct genotypes of " + std::to_string(run.table.length) + " sites"
           + (run.vcf ? " in " + describeVcfScope(*run.vcf) : std::string()) + " "
           + describeMemoryShortfall(needed, run.memory)
           + (run.vcf ? "; choose a smaller region with --region CHR:FROM-TO" : "");
}

// Whether the run writes a phased VCF or BCF: its input is one and the
// output name asks for one.
VcfOutputFormat phasedOutputFormat(const Run& run)
{
    return run.vcf ? vcfOutputFormat(run.settings.outputFileName) : VcfOutputFormat::None;
}

// The result file is needed under the output name, or under --haplotypes.
bool needsResultText(const Run& run)
{
    return phasedOutputFormat(run) == VcfOutputFormat::None || !run.settings.haplotypesFile.empty();
}

// Checks, before the search, that the result files of the run can be made.
bool checkOutputsWritable(const Run& run, std::string& error)
{
    const RunSettings& settings = run.settings;
    if (!checkOutputWritable(settings.outputFileName, error)) return false;
    const VcfOutputFormat format = phasedOutputFormat(run);
    if (format != VcfOutputFormat::None && !phasedOutputFits(settings.outputFileName, format, *run.vcf, error)) {
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

// The distinct genotypes in order of first occurrence, as the initial list
// of a search numbers them; genotypeMap receives each genotype's number.
std::vector<std::string> numberDistinctGenotypes(const std::vector<std::string>& genotypes,
                                                 std::vector<int>& genotypeMap)
{
    std::vector<std::string> distinct;
    std::unordered_map<std::string_view, int> number;
    genotypeMap.clear();
    for (const std::string& genotype : genotypes) {
        const auto [at, added] = number.emplace(genotype, static_cast<int>(number.size()));
        if (added) distinct.push_back(genotype);
        genotypeMap.push_back(at->second);
    }
    return distinct;
}

// The distinct genotypes, numbered as genotypeMap numbers them.
std::vector<std::string> distinctGenotypes(const GenotypeTable& table, const std::vector<int>& genotypeMap)
{
    std::vector<std::string> distinct(static_cast<std::size_t>(table.distinctCount));
    for (std::size_t j = 0; j < genotypeMap.size(); ++j) distinct[genotypeMap[j]] = table.genotypes[j];
    return distinct;
}

// Makes `smaller` the run's result once it is checked. False (with the
// line printed) when the check fails, which no phase should allow.
bool adoptSmaller(Run& run, const std::vector<std::string>& genotypes, Reconstruction smaller)
{
    const std::string fault = findReconstructionFault(genotypes, smaller);
    if (!fault.empty()) {
        fail(run.report,
             "Internal error: a smaller reconstruction is wrong (" + fault + "); no output file was written.");
        return false;
    }
    run.resultText = composeExplicitResult(smaller, genotypes, run.genotypeMap);
    run.reconstruction = std::move(smaller);
    return true;
}

// ---- The phases of a run, in order. Each returns an exit code when the run
// ---- ends there, and nothing when it goes on.
using Ending = std::optional<int>;

// The command line; the help, the version and the usage end the run here.
Ending readCommandLine(Run& run, int argc, const char* const* argv)
{
    for (int i = 0; i < argc; ++i) run.report.commandLine.emplace_back(argv[i]);
    std::string problem;
    switch (parseOptions(argc, argv, run.settings, &problem)) {
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
    run.report.settings = run.settings;
    run.commandLine = describeCommandLine(argc, argv);
    return std::nullopt;
}

// Reads the input, genotype matrix or VCF, and prints the VCF reading line.
Ending readInput(Run& run)
{
    run.memory = currentMemoryLimit();
    RunSettings reading = run.settings;
    reading.vcf.windowed = windowOf(run.settings, true) > 0;
    const GenotypeReadResult read = readGenotypeInput(reading, run.table, run.vcf, run.memory);
    run.timer.lap("read");
    if (!read.ok) return fail(run.report, read.error);
    RunReport& report = run.report;
    report.inputFormat = inputFormatName(run.vcf);
    report.genotypes = run.table.genotypeCount;
    report.distinctGenotypes = run.table.distinctCount;
    report.sites = run.table.length;
    if (run.vcf) {
        report.vcf = run.vcf->counts;
        report.sampleNames = run.vcf->samples;
        for (const std::vector<int>& sites : run.vcf->missingSites) report.imputedBySample.push_back(static_cast<int>(sites.size()));
        std::printf("%s\n", describeVcfReading(*run.vcf).c_str());
        // Until the phase gives them alleles, missing calls take the value
        // of the samples closest to theirs.
        if (!run.vcf->missingSites.empty()) fillFromClosestSamples(run.table.genotypes, run.vcf->missingSites);
    }
    return std::nullopt;
}

// The checks every run makes before it searches: an iteration to run and
// the outputs can be made.
Ending checkRunnable(Run& run)
{
    if (run.settings.maxIter <= 0) {
        return fail(run.report, "No iteration was run (maxIter=" + std::to_string(run.settings.maxIter)
                                    + "); no output file was written.");
    }
    std::string error;
    if (!checkOutputsWritable(run, error)) return fail(run.report, error);
    if (!run.settings.reportFile.empty() && !checkOutputWritable(run.settings.reportFile, error)) {
        return failReport(run.report, error);
    }
    return std::nullopt;
}

// The same, and no interrupt yet.
Ending checkBeforeSearch(Run& run)
{
    if (Ending end = checkRunnable(run)) return end;
    if (interruptSignal() != 0) return stopWithoutResult(run.report, interruptSignal());
    return std::nullopt;
}

// The memory check, the start line and the threads of a search of the whole
// input as one instance.
Ending prepareSearch(Run& run)
{
    const RunSettings& settings = run.settings;
    const RunMemory runMemory = splitRunMemory(static_cast<std::uint64_t>(run.table.genotypeCount),
                                               run.table.distinctCount, run.table.length);
    const std::uint64_t needed = searchesBytes(runMemory, 1);
    if (needed > run.memory.bytes) return fail(run.report, tooLargeMessage(run, needed));
    printStartLine(settings);
    if (settings.threads >= 0) {
        const int asked = workerCount(settings.threads);
        run.threads = searchesThatFit(runMemory, run.memory.bytes, asked);
        if (run.threads < asked) {
            std::printf("Using %d thread%s instead of %d: each needs about %s of memory, and %s is available (%s)\n",
                        run.threads, run.threads == 1 ? "" : "s", asked, describeBytes(runMemory.perSearch).c_str(),
                        describeBytes(run.memory.bytes).c_str(), run.memory.source.c_str());
        } else {
            std::printf("Using %d thread%s\n", run.threads, run.threads == 1 ? "" : "s");
        }
        run.report.threads = run.threads;
    }
    std::fflush(stdout);
    return checkBeforeSearch(run);
}

// The collapse search of the whole input, and the analysis of its best
// reconstruction into the result.
Ending search(Run& run)
{
    const RunSettings& settings = run.settings;
    RandomGenerator random;
    seedGenerator(random, settings.seed);
    const HaplotypeList initial = buildHaplotypeList(run.table.genotypeCount, run.table.length, run.table.genotypes,
                                                     run.table.distinctCount, run.genotypeMap);
    auto state = std::make_unique<SearchState>();
    createSearchState(*state, initial);
    DistanceStructure distances = createDistanceStructure(initial);
    run.timer.lap("setup");

    SearchOutcome outcome = settings.threads < 0
                                ? runSearch(settings, initial, *state, distances, random, run.clock)
                                : runParallelSearch(settings, run.threads, initial, *state, distances, run.clock);
    run.report.iterations = std::move(outcome.iterationCounts);
    run.timer.lap("search");
    if (!outcome.bestSaved) {
        if (outcome.interruptedBy != 0) return stopWithoutResult(run.report, outcome.interruptedBy);
        return fail(run.report, "No reconstruction was found: every attempt left a genotype without a "
                                "candidate pair; no output file was written.");
    }
    run.report.searchBest = state->bestCount;
    if (outcome.interruptedBy != 0) {
        std::printf("Interrupted by %s: saving the best reconstruction found so far.\n",
                    signalName(outcome.interruptedBy).c_str());
        std::fflush(stdout);
    }
    run.interruptedBy = outcome.interruptedBy;
    // With several threads the completion of open sites draws from a
    // generator of its own, so that the result does not depend on them.
    if (settings.threads >= 0) seedGenerator(random, static_cast<int>(iterationSeed(settings.seed, 0)));
    run.resultText =
        composeResult(*state, initial, run.table, run.genotypeMap, random, &run.reconstruction);
    run.timer.lap("analysis");
    return std::nullopt;
}

// The improvement phase after the search (--improve), with its console
// lines; a smaller reconstruction it reaches becomes the result.
Ending improve(Run& run, const std::vector<std::string>& genotypes)
{
    if (run.settings.improveSeconds < 0 || run.interruptedBy != 0) return std::nullopt;
    ImprovementSettings improvement;
    improvement.seconds = run.settings.improveSeconds;
    improvement.seed = static_cast<unsigned>(run.settings.seed);
    improvement.interrupted = [] { return interruptSignal() != 0; };
    improvement.exactDescent = true;
#ifndef NDEBUG
    improvement.checkEveryMove = true;
#endif
    Reconstruction improved = run.reconstruction;
    const ImprovementOutcome outcome = improveReconstruction(genotypes, improved, improvement);
    run.report.improvement = outcome;
    if (outcome.interrupted && run.interruptedBy == 0) {
        run.interruptedBy = interruptSignal();
        std::printf("Interrupted by %s: improvement cut short; saving the best reconstruction reached so far.\n",
                    signalName(run.interruptedBy).c_str());
    }
    const int fewer = outcome.startCount - outcome.finalCount;
    if (fewer > 0) {
        std::printf("Improved: %d haplotypes, %d fewer than the search found\n", outcome.finalCount, fewer);
    } else {
        std::printf("Improved: none\n");
    }
    std::fflush(stdout);
    run.timer.lap("improvement");
    if (fewer > 0 && !adoptSmaller(run, genotypes, std::move(improved))) return kExitFailure;
    return std::nullopt;
}

// The lower bounds and, with --prove, the exact check: their console lines
// and the closing verdict; a smaller reconstruction the check finds becomes
// the result.
Ending prove(Run& run, const std::vector<std::string>& genotypes)
{
    const RunSettings& settings = run.settings;
    if ((!settings.bound && !settings.prove) || run.interruptedBy != 0) return std::nullopt;
    const ProofRequest request{settings.prove, static_cast<double>(settings.proveSeconds)};
    ProofOutcome outcome = runProofPhase(genotypes, run.reconstruction, request, printConsoleLine,
                                         [] { return interruptSignal() != 0; });
    if (outcome.interrupted && run.interruptedBy == 0) {
        run.interruptedBy = interruptSignal();
        std::printf("Interrupted by %s: the exact check was cut short; saving the best reconstruction found.\n",
                    signalName(run.interruptedBy).c_str());
    }
    printConsoleLine(proofVerdictLine(outcome));
    std::optional<Reconstruction> smaller = outcome.smaller;
    run.report.proof = std::move(outcome);
    run.timer.lap(settings.prove ? "exact_check" : "bound");
    if (smaller && !adoptSmaller(run, genotypes, std::move(*smaller))) return kExitFailure;
    return std::nullopt;
}

// The whole input as one instance: search, improve, prove.
Ending solveWhole(Run& run)
{
    if (Ending end = prepareSearch(run)) return end;
    if (Ending end = search(run)) return end;
    const RunSettings& settings = run.settings;
    const bool phases = settings.improveSeconds >= 0 || settings.bound || settings.prove;
    const std::vector<std::string> genotypes =
        phases ? distinctGenotypes(run.table, run.genotypeMap) : std::vector<std::string>{};
    if (Ending end = improve(run, genotypes)) return end;
    if (Ending end = prove(run, genotypes)) return end;
    if (run.vcf) run.phases = phasesOfReconstruction(run.reconstruction, run.genotypeMap);
    return std::nullopt;
}

// The console line that closes the windows' part of a windowed run: their
// haplotype counts, and what --improve, --bound and --prove made of them.
void printWindowSummary(const WindowedPhasing& phasing, const RunSettings& settings)
{
    const std::vector<WindowSummary>& windows = phasing.windows;
    int fewest = windows.front().haplotypes;
    int most = fewest;
    long long total = 0;
    int improved = 0;
    long long saved = 0;
    int proven = 0;
    int widestGap = 0;
    int failed = 0;
    for (const WindowSummary& w : windows) {
        fewest = std::min(fewest, w.haplotypes);
        most = std::max(most, w.haplotypes);
        total += w.haplotypes;
        improved += w.haplotypes < w.searchHaplotypes;
        saved += w.searchHaplotypes - w.haplotypes;
        proven += w.provenOptimal;
        if (w.lowerBound) widestGap = std::max(widestGap, w.haplotypes - *w.lowerBound);
        failed += w.searchFailed;
    }
    std::printf("Windows: %d to %d haplotypes, %.1f on average\n", fewest, most,
                static_cast<double>(total) / static_cast<double>(windows.size()));
    if (failed > 0) {
        std::printf("Windows without a reconstruction from the search: %d (each sample phased on its own there)\n",
                    failed);
    }
    if (settings.improveSeconds >= 0) {
        std::printf("Windows improved: %d of %zu, %lld haplotypes fewer in all\n", improved, windows.size(), saved);
    }
    if (settings.bound || settings.prove) {
        std::printf("Windows proven optimal: %d of %zu", proven, windows.size());
        if (proven < static_cast<int>(windows.size())) std::printf("; the others at most %d above their bound", widestGap);
        std::printf("\n");
    }
}

void printLigationSummary(const Ligation& ligation)
{
    long long agreeing = 0;
    long long disagreeing = 0;
    long long undecided = 0;
    for (const SampleJoins& joins : ligation.joins) {
        agreeing += joins.agreeing;
        disagreeing += joins.disagreeing;
        undecided += joins.undecided;
    }
    const long long compared = agreeing + disagreeing;
    std::printf("Ligation: %.2f %% of %lld heterozygous sites in the overlaps agree; %lld joins without one\n",
                compared > 0 ? 100.0 * static_cast<double>(agreeing) / static_cast<double>(compared) : 100.0,
                compared, undecided);
}

// The checks of a windowed run before its windows start (the windows'
// sizes, the memory), the windows in flight that fit, and its start lines.
Ending prepareWindows(Run& run, const WindowPlan& plan, int window, int overlap, int iterations)
{
    const RunSettings& settings = run.settings;
    const int largest = plan.distinctGenotypes[static_cast<std::size_t>(plan.largest)];
    const std::string file = std::string(run.vcf ? "VCF file " : "genotype file ") + settings.inputFilename;
    if (largest > kMaxDistinctGenotypes) {
        const SiteWindow& w = plan.windows[static_cast<std::size_t>(plan.largest)];
        return fail(run.report, "Error in the " + file + ": " + std::to_string(largest)
                                    + " distinct genotypes in the window of sites " + std::to_string(w.first + 1)
                                    + " to " + std::to_string(w.end) + ", more than the "
                                    + std::to_string(kMaxDistinctGenotypes)
                                    + " supported; choose fewer samples with --samples or a smaller --window");
    }
    const auto samples = static_cast<std::uint64_t>(run.table.genotypeCount);
    const std::uint64_t needed = windowedRunBytes(plan, samples, run.table.length, 1, settings.refineTemplates);
    if (needed > run.memory.bytes) {
        return fail(run.report, "The " + file + " is too large for this machine: its " + std::to_string(samples)
                                    + " samples of " + std::to_string(run.table.length) + " sites"
                                    + (run.vcf ? " in " + describeVcfScope(*run.vcf) : std::string())
                                    + ", phased in windows of " + std::to_string(window) + " sites, "
                                    + describeMemoryShortfall(needed, run.memory)
                                    + (run.vcf ? "; choose a smaller region with --region CHR:FROM-TO or fewer samples "
                                                 "with --samples"
                                               : ""));
    }
    run.threads = settings.threads >= 0 ? workerCount(settings.threads) : 1;
    while (run.threads > 1 && windowedRunBytes(plan, samples, run.table.length, run.threads, settings.refineTemplates) > run.memory.bytes) {
        --run.threads;
    }
    RunSettings started = settings;
    started.maxIter = iterations;
    printStartLine(started);
    std::printf("Phasing %d sites in %zu windows of %d sites overlapping by %d, %d at a time\n", run.table.length,
                plan.windows.size(), std::min(window, run.table.length), overlap, run.threads);
    if (settings.threads >= 0) run.report.threads = run.threads;
    std::fflush(stdout);
    // An interrupt from here on is told as windows done (none yet).
    return checkRunnable(run);
}

// The lines after the windows: their haplotypes, the ligation, the
// refinement, and an interrupt that cut the refinement short.
void printPhasingSummary(const WindowedPhasing& phasing, const RunSettings& settings)
{
    printWindowSummary(phasing, settings);
    printLigationSummary(phasing.ligation);
    if (settings.refinePasses > 0) {
        const MosaicOutcome& refined = phasing.refinement;
        std::printf("Refinement: %d pass%s against the other samples' haplotypes, %lld sites flipped and %lld "
                    "continuations swapped in %.1f sec.\n",
                    refined.passes, refined.passes == 1 ? "" : "es", refined.flips, refined.swaps,
                    phasing.refineSeconds);
    }
    if (phasing.interruptedBy != 0) {
        std::printf("Interrupted by %s: the refinement was cut short; saving the phase reached so far.\n",
                    signalName(phasing.interruptedBy).c_str());
    }
    std::fflush(stdout);
}

// Makes the samples' phases the run's result: an imputed call becomes the
// genotype of its alleles, and the result file lists the phases' haplotypes
// when it is written.
void adoptPhases(Run& run, std::vector<SamplePhase> phases)
{
    run.phases = std::move(phases);
    if (run.vcf) {
        for (std::size_t i = 0; i < run.vcf->missingSites.size(); ++i) {
            for (const int s : run.vcf->missingSites[i]) {
                const auto site = static_cast<std::size_t>(s);
                const char a = run.phases[i].first[site];
                run.table.genotypes[i][site] = a == run.phases[i].second[site] ? a : '2';
            }
        }
    }
    if (!needsResultText(run)) return;
    const std::vector<std::string> distinct = numberDistinctGenotypes(run.table.genotypes, run.genotypeMap);
    run.reconstruction = reconstructionOfPhases(run.phases, run.genotypeMap, static_cast<int>(distinct.size()));
    run.resultText = composeExplicitResult(run.reconstruction, distinct, run.genotypeMap);
}

// The input in overlapping windows of sites, each solved on its own, then
// ligated into every sample's phase and refined.
Ending phaseWindows(Run& run, int window)
{
    const RunSettings& settings = run.settings;
    const int overlap = overlapOf(settings, run.vcf.has_value());
    const int iterations = windowSearchSettings(settings).maxIter;
    const WindowPlan plan = planPhasing(run.table.genotypes, window, overlap);
    if (Ending end = prepareWindows(run, plan, window, overlap, iterations)) return end;
    run.timer.lap("setup");

    const int count = static_cast<int>(plan.windows.size());
    const std::vector<std::vector<int>> none;
    WindowedPhasing phasing = phaseInWindows(run.table.genotypes, run.vcf ? run.vcf->missingSites : none, plan,
                                             settings, run.threads, [count](int done, double seconds) {
                                                 std::printf("Windows phased: %d of %d in %.1f sec.\n", done, count,
                                                             seconds);
                                                 std::fflush(stdout);
                                             });
    run.timer.lap("phasing");
    if (phasing.ligation.phases.empty()) {
        run.report.interruptedBy = phasing.interruptedBy;
        return fail(run.report,
                    "Interrupted by " + signalName(phasing.interruptedBy) + " after " + std::to_string(phasing.windowsDone)
                        + " of " + std::to_string(count) + " windows; no output file was written.",
                    interruptedExit(phasing.interruptedBy));
    }
    printPhasingSummary(phasing, settings);
    run.interruptedBy = phasing.interruptedBy;
    adoptPhases(run, std::move(phasing.ligation.phases));
    run.report.phasing =
        PhasingAccount{window,
                       overlap,
                       iterations,
                       std::move(phasing.windows),
                       std::move(phasing.ligation.joins),
                       phasing.refinement,
                       phasing.refineSeconds};
    return std::nullopt;
}

// Writes the outputs of a run: the phased VCF or BCF, or the result file,
// under the output name; the result file under the --haplotypes name too.
Ending write(Run& run)
{
    const RunSettings& settings = run.settings;
    RunReport& report = run.report;
    report.interruptedBy = run.interruptedBy;
    report.resultHaplotypes = static_cast<int>(run.reconstruction.haplotypes.size());
    std::string error;
    const VcfOutputFormat format = phasedOutputFormat(run);
    const bool written =
        format == VcfOutputFormat::None
            ? saveFileAtomically(settings.outputFileName, run.resultText, error)
            : writePhasedVcf(settings.outputFileName, format, *run.vcf, run.phases, run.commandLine, error);
    if (!written) return fail(report, error);
    report.filesWritten.push_back(settings.outputFileName);
    if (!settings.haplotypesFile.empty()) {
        if (!saveFileAtomically(settings.haplotypesFile, run.resultText, error)) return fail(report, error);
        report.filesWritten.push_back(settings.haplotypesFile);
    }
    noteOutputSaved();
    run.timer.lap("write");
    return std::nullopt;
}

// The closing lines, and the report.
int finish(Run& run)
{
    const RunSettings& settings = run.settings;
    RunReport& report = run.report;
    const int exitCode = run.interruptedBy != 0 ? interruptedExit(run.interruptedBy) : kExitSuccess;
    takeTimingReading(run.clock);
    std::printf("elapTime = %.3f sec.\n", run.clock.elapTime);
    std::printf("Output saved in the file %s \n", settings.outputFileName.c_str());
    if (!settings.haplotypesFile.empty()) {
        std::printf("Haplotypes saved in the file %s \n", settings.haplotypesFile.c_str());
    }
    if (!settings.reportFile.empty()) {
        std::string error;
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

int run(int argc, const char* const* argv, RunReport& report)
{
    Run run(report);
    installInterruptHandlers();
    if (Ending end = readCommandLine(run, argc, argv)) return *end;
    if (Ending end = readInput(run)) return *end;
    const int window = windowOf(run.settings, run.vcf.has_value());
    const bool windowed = window > 0 && window < run.table.length;
    if (Ending end = windowed ? phaseWindows(run, window) : solveWhole(run)) return *end;
    if (Ending end = write(run)) return *end;
    return finish(run);
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
