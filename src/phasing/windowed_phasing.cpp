#include "phasing/windowed_phasing.hpp"

#include "run/interruption.hpp"
#include "run/run_settings.hpp"
#include "phasing/mosaic_refinement.hpp"
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

std::uint64_t windowedRunBytes(const WindowPlan& plan, std::uint64_t samples, int sites, int threads)
{
    const auto inFlight = static_cast<std::uint64_t>(std::max(threads, 1));
    const SiteWindow& largest = plan.windows[static_cast<std::size_t>(plan.largest)];
    const RunMemory window =
        splitRunMemory(samples, plan.distinctGenotypes[static_cast<std::size_t>(plan.largest)], largest.size());
    // Throughout: the program, the input and the samples' phases (when the
    // input is read: its sites as columns besides the table).
    const std::uint64_t table = genotypeTableBytes(samples, sites);
    const std::uint64_t held = programBytes() + 3 * table;
    // While the windows are solved: every window's solution (its haplotypes
    // and pairs), and a whole search for each window in flight.
    std::uint64_t windows = 0;
    for (std::size_t w = 0; w < plan.windows.size(); ++w) {
        const std::uint64_t distinct = static_cast<std::uint64_t>(plan.distinctGenotypes[w]);
        windows += 2 * distinct * (static_cast<std::uint64_t>(plan.windows[w].size()) + 48) + samples * 4;
    }
    windows += inFlight * (searchesBytes(window, 1) - programBytes());
    // While the phases are refined: the phases of the pass before, every
    // haplotype packed, and per sample in flight its distances to the
    // others, its templates and its backward sums.
    const std::uint64_t haplotypes = 2 * samples;
    const std::uint64_t words = (static_cast<std::uint64_t>(sites) + 63) / 64;
    const std::uint64_t templates = std::min<std::uint64_t>(kMosaicTemplates, haplotypes);
    const std::uint64_t perSample = haplotypes * 2 * words * sizeof(int) + static_cast<std::uint64_t>(sites) * templates * 8
                                    + words * templates * 24 + haplotypes * 8;
    const std::uint64_t refinement = 2 * table + haplotypes * words * sizeof(std::uint64_t) + inFlight * perSample;
    return held + std::max(windows, refinement) + (inFlight - 1) * (std::uint64_t{8} << 20);
}

WindowedPhasing phaseInWindows(const std::vector<std::string>& genotypes, const std::vector<std::vector<int>>& missing,
                               const WindowPlan& plan, const RunSettings& settings, int threads,
                               const std::function<void(int done, double seconds)>& progress)
{
    const auto start = std::chrono::steady_clock::now();
    const int count = static_cast<int>(plan.windows.size());
    std::vector<WindowSolution> solutions(static_cast<std::size_t>(count));
    WindowedPhasing phasing;
    phasing.windows.resize(static_cast<std::size_t>(count));

    std::mutex mutex;  // guards the windows handed out and the progress
    int handedOut = 0;
    int done = 0;
    int reported = 0;  // tenths reported
    const auto nextWindow = [&]() -> int {
        const std::lock_guard<std::mutex> lock(mutex);
        if (handedOut >= count || interruptSignal() != 0) return -1;
        return handedOut++;
    };
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(threads));
    const RunSettings windowSettings = windowSearchSettings(settings);
    const auto work = [&](int worker) {
        try {
            for (int w = nextWindow(); w >= 0; w = nextWindow()) {
                const auto windowStart = std::chrono::steady_clock::now();
                solutions[static_cast<std::size_t>(w)] =
                    solveWindow(genotypes, plan.windows[static_cast<std::size_t>(w)], w, windowSettings);
                phasing.windows[static_cast<std::size_t>(w)] =
                    summarize(solutions[static_cast<std::size_t>(w)], secondsSince(windowStart));
                const std::lock_guard<std::mutex> lock(mutex);
                ++done;
                const int tenths = done * 10 / count;
                if (tenths > reported || done == count) {
                    reported = tenths;
                    progress(done, secondsSince(start));
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

    phasing.windowsDone = done;
    if (done < count) {
        phasing.interruptedBy = interruptSignal();
        phasing.seconds = secondsSince(start);
        return phasing;
    }
    phasing.ligation = ligateWindows(solutions, genotypes);
    solutions.clear();
    phasing.seconds = secondsSince(start);
    if (settings.refinePasses > 0) {
        const auto refineStart = std::chrono::steady_clock::now();
        MosaicSettings mosaic;
        mosaic.passes = settings.refinePasses;
        phasing.refinement = refineByMosaics(genotypes, missing, phasing.ligation.phases, mosaic, threads,
                                             [] { return interruptSignal() != 0; });
        phasing.refineSeconds = secondsSince(refineStart);
        if (phasing.refinement.passes < settings.refinePasses) phasing.interruptedBy = interruptSignal();
    }
    return phasing;
}
