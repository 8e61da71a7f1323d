#include "phasing/windowed_phasing.hpp"

#include "run/interruption.hpp"
#include "run/run_settings.hpp"
#include "phasing/mosaic_refinement.hpp"
#include "phasing/open_calls.hpp"
#include "phasing/window_solution.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

WindowSummary summarize(const WindowSolution& solution, double seconds)
{
    WindowSummary summary;
    summary.sites = solution.sites;
    summary.distinctGenotypes = solution.distinctGenotypes;
    summary.searchHaplotypes = solution.searchHaplotypes;
    summary.haplotypes = static_cast<int>(solution.haplotypes.size());
    summary.lowerBound = solution.lowerBound;
    summary.provenOptimal = solution.provenOptimal;
    summary.searchFailed = solution.searchFailed;
    summary.seconds = seconds;
    return summary;
}

} // namespace

WindowPlan planPhasing(const std::vector<std::string>& genotypes, int window, int overlap)
{
    WindowPlan plan;
    const int sites = genotypes.empty() ? 0 : static_cast<int>(genotypes[0].size());
    plan.windows = planWindows(sites, window, overlap);
    for (const SiteWindow& w : plan.windows) {
        std::unordered_set<std::string_view> distinct;
        for (const std::string& genotype : genotypes) {
            distinct.insert(std::string_view(genotype).substr(static_cast<std::size_t>(w.first),
                                                              static_cast<std::size_t>(w.size())));
        }
        plan.distinctGenotypes.push_back(static_cast<int>(distinct.size()));
        if (plan.distinctGenotypes.back() > plan.distinctGenotypes[static_cast<std::size_t>(plan.largest)]) {
            plan.largest = static_cast<int>(plan.distinctGenotypes.size()) - 1;
        }
    }
    return plan;
}

std::uint64_t windowedRunBytes(const WindowPlan& plan, std::uint64_t samples, int sites, int threads, int templates)
{
    const auto inFlight = static_cast<std::uint64_t>(std::max(threads, 1));
    const SiteWindow& largest = plan.windows[static_cast<std::size_t>(plan.largest)];
    const RunMemory window =
        splitRunMemory(samples, plan.distinctGenotypes[static_cast<std::size_t>(plan.largest)], largest.size());
    // Throughout: the program, the input, its observed calls, its missing
    // calls imputed and the samples' phases (when the input is read: its
    // sites as columns besides the table).
    const std::uint64_t table = genotypeTableBytes(samples, sites);
    const std::uint64_t held = programBytes() + 5 * table;
    // While the windows are solved: every window's solution (its haplotypes
    // and pairs), and a whole search for each window in flight.
    std::uint64_t windows = 0;
    for (std::size_t w = 0; w < plan.windows.size(); ++w) {
        const std::uint64_t distinct = static_cast<std::uint64_t>(plan.distinctGenotypes[w]);
        windows += 2 * distinct * (static_cast<std::uint64_t>(plan.windows[w].size()) + 48) + samples * 4;
    }
    windows += inFlight * (searchesBytes(window, 1) - programBytes());
    // While the phases are refined: the phases of the pass before, every
    // haplotype packed (twice: by haplotype and by word), and per sample in
    // flight its distances to the others, its templates and its backward
    // sums.
    const std::uint64_t haplotypes = 2 * samples;
    const std::uint64_t words = (static_cast<std::uint64_t>(sites) + 63) / 64;
    const std::uint64_t k = std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max(templates, 1)), haplotypes);
    const std::uint64_t perSample = haplotypes * 2 * words * sizeof(int) + static_cast<std::uint64_t>(sites) * k * 8
                                    + words * k * 24 + haplotypes * 8;
    const std::uint64_t refinement = 2 * table + 2 * haplotypes * words * sizeof(std::uint64_t) + inFlight * perSample;
    return held + std::max(windows, refinement) + (inFlight - 1) * (std::uint64_t{8} << 20);
}

namespace {

// The windows of the plan solved on `threads` workers, with each sample's
// pairs widened where it has missing calls; fewer than all when an
// interrupt came.
struct SolvedWindows {
    std::vector<WindowSolution> solutions;
    std::vector<WindowSummary> summaries;
    int done = 0;
};

SolvedWindows solveWindows(const std::vector<std::string>& genotypes, const std::vector<std::string>& observed,
                           const std::vector<std::vector<int>>& missing, const WindowPlan& plan,
                           const RunSettings& windowSettings, int threads,
                           const std::function<void(int done, double seconds)>& progress)
{
    const auto start = std::chrono::steady_clock::now();
    const int count = static_cast<int>(plan.windows.size());
    SolvedWindows solved;
    solved.solutions.resize(static_cast<std::size_t>(count));
    solved.summaries.resize(static_cast<std::size_t>(count));
    std::mutex mutex;  // guards the windows handed out and the progress
    int handedOut = 0;
    int reported = 0;  // tenths reported
    const auto nextWindow = [&]() -> int {
        const std::lock_guard<std::mutex> lock(mutex);
        if (handedOut >= count || interruptSignal() != 0) return -1;
        return handedOut++;
    };
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(threads));
    const auto work = [&](int worker) {
        try {
            for (int w = nextWindow(); w >= 0; w = nextWindow()) {
                const auto windowStart = std::chrono::steady_clock::now();
                WindowSolution& solution = solved.solutions[static_cast<std::size_t>(w)];
                solution = solveWindow(genotypes, plan.windows[static_cast<std::size_t>(w)], w, windowSettings);
                if (!observed.empty()) addOpenCallPairs(solution, observed, missing);
                solved.summaries[static_cast<std::size_t>(w)] = summarize(solution, secondsSince(windowStart));
                const std::lock_guard<std::mutex> lock(mutex);
                ++solved.done;
                const int tenths = solved.done * 10 / count;
                if (progress && (tenths > reported || solved.done == count)) {
                    reported = tenths;
                    progress(solved.done, secondsSince(start));
                }
            }
        } catch (...) {
            failures[static_cast<std::size_t>(worker)] = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) workers.emplace_back(work, t);
    work(0);
    for (std::thread& worker : workers) worker.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
    return solved;
}

// The genotypes with each missing call given the genotype of the phase's
// alleles there.
std::vector<std::string> filledFromPhases(std::vector<std::string> genotypes,
                                          const std::vector<std::vector<int>>& missing,
                                          const std::vector<SamplePhase>& phases)
{
    for (std::size_t i = 0; i < missing.size(); ++i) {
        for (const int s : missing[i]) {
            const char a = phases[i].first[static_cast<std::size_t>(s)];
            genotypes[i][static_cast<std::size_t>(s)] = a == phases[i].second[static_cast<std::size_t>(s)] ? a : '2';
        }
    }
    return genotypes;
}

const auto kInterrupted = [] { return interruptSignal() != 0; };

// The quick phasing's perturbation attempts per window and templates per
// block: a rough phase is enough to impute a call for the windows' searches,
// which the refinement imputes again.
constexpr int kQuickStall = 5;
constexpr int kQuickTemplates = 64;

// The genotypes with their missing calls imputed by a quick phasing: windows
// of the plan's width overlapping by an eighth, one iteration each, ligated
// and corrected by one round of flips against the other samples'
// haplotypes (no improvement phase, bound or proof in its windows). Empty
// when an interrupt cut it short.
std::vector<std::string> quickImputation(const std::vector<std::string>& genotypes,
                                         const std::vector<std::string>& observed,
                                         const std::vector<std::vector<int>>& missing, const WindowPlan& plan,
                                         const RunSettings& windowSettings, int threads)
{
    RunSettings quick = windowSettings;
    quick.maxIter = 1;
    quick.maxStall = std::min(quick.maxStall, kQuickStall);
    quick.improveSeconds = -1;
    quick.bound = false;
    quick.prove = false;
    const int width = plan.windows.front().size();
    WindowPlan quickPlan;
    quickPlan.windows = planWindows(static_cast<int>(genotypes.front().size()), width, width / 8);
    SolvedWindows solved = solveWindows(genotypes, observed, missing, quickPlan, quick, threads, nullptr);
    if (solved.done < static_cast<int>(quickPlan.windows.size())) return {};
    Ligation ligation = ligateWindows(solved.solutions, observed);
    solved.solutions.clear();
    MosaicSettings mosaic;
    mosaic.passes = 1;
    mosaic.rounds = 1;
    mosaic.templates = kQuickTemplates;
    refineByMosaics(genotypes, missing, ligation.phases, mosaic, threads, kInterrupted);
    return filledFromPhases(genotypes, missing, ligation.phases);
}

} // namespace

WindowedPhasing phaseInWindows(const std::vector<std::string>& genotypes, const std::vector<std::vector<int>>& missing,
                               const WindowPlan& plan, const RunSettings& settings, int threads,
                               const std::function<void(int done, double seconds)>& progress)
{
    const auto start = std::chrono::steady_clock::now();
    const int count = static_cast<int>(plan.windows.size());
    WindowedPhasing phasing;
    const RunSettings windowSettings = windowSearchSettings(settings);
    const bool anyMissing = std::any_of(missing.begin(), missing.end(), [](const auto& m) { return !m.empty(); });
    const std::vector<std::string> observed = anyMissing ? observedCalls(genotypes, missing) : std::vector<std::string>{};
    const std::vector<std::string> filled = anyMissing && settings.refinePasses > 0
                                                ? quickImputation(genotypes, observed, missing, plan, windowSettings, threads)
                                                : std::vector<std::string>{};
    const std::vector<std::string>& input = filled.empty() ? genotypes : filled;
    SolvedWindows solved = solveWindows(input, observed, missing, plan, windowSettings, threads,
                                        [&](int done, double) { progress(done, secondsSince(start)); });
    phasing.windows = std::move(solved.summaries);
    phasing.windowsDone = solved.done;
    if (solved.done < count) {
        phasing.interruptedBy = interruptSignal();
        phasing.seconds = secondsSince(start);
        return phasing;
    }
    phasing.ligation = ligateWindows(solved.solutions, anyMissing ? observed : input);
    solved.solutions.clear();
    phasing.seconds = secondsSince(start);
    if (settings.refinePasses > 0) {
        const auto refineStart = std::chrono::steady_clock::now();
        MosaicSettings mosaic;
        mosaic.passes = settings.refinePasses;
        mosaic.templates = settings.refineTemplates;
        phasing.refinement = refineByMosaics(input, missing, phasing.ligation.phases, mosaic, threads, kInterrupted);
        phasing.refineSeconds = secondsSince(refineStart);
        if (phasing.refinement.passes < settings.refinePasses) phasing.interruptedBy = interruptSignal();
    }
    return phasing;
}
