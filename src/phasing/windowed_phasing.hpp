#pragma once

#include "data/memory_budget.hpp"
#include "phasing/ligation.hpp"
#include "phasing/mosaic_refinement.hpp"
#include "phasing/site_window.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct RunSettings;

// The sizes of the windows of a run, as the planning found them.
struct WindowPlan {
    std::vector<SiteWindow> windows;
    std::vector<int> distinctGenotypes;  // by window
    int largest = 0;                     // index of the window with the most distinct genotypes
};

// Plans the windows of the genotypes (by sample, over every site) and counts
// each window's distinct genotypes.
WindowPlan planPhasing(const std::vector<std::string>& genotypes, int window, int overlap);

// The memory of a windowed run with `threads` windows (and samples of the
// refinement) in flight: the input and the phases throughout; while the
// windows are solved, their solutions and a whole search for each window in
// flight, as much as the largest window needs; while the phases are refined,
// the packed haplotypes and each sample's distances, `templates` templates
// and sums.
std::uint64_t windowedRunBytes(const WindowPlan& plan, std::uint64_t samples, int sites, int threads,
                               int templates = kMosaicTemplates);

// What each window gave, for the console and the report.
struct WindowSummary {
    SiteWindow sites;
    int distinctGenotypes = 0;
    int searchHaplotypes = 0;
    int haplotypes = 0;              // after --improve and --prove
    std::optional<int> lowerBound;   // with --bound or --prove
    bool provenOptimal = false;
    bool searchFailed = false;
    double seconds = 0.0;
};

struct WindowedPhasing {
    std::vector<WindowSummary> windows;
    Ligation ligation;       // empty when interrupted
    int windowsDone = 0;
    int interruptedBy = 0;   // the signal that stopped the windows (no ligation then) or the correction
    double seconds = 0.0;    // of the windows and the ligation
    MosaicOutcome refinement;
    double refineSeconds = 0.0;
};

// Solves the windows of the plan on `threads` workers (each window on its
// own, so that the result is the same for every number of workers), then
// ligates them and corrects the phases against each other (--refine).
// `progress` is called, from one thread at a time, whenever
// another tenth of the windows is done (and with the last one), with the
// windows done and the seconds since the start. An interrupt lets the
// windows in progress finish and starts no other; the phasing then has no
// ligation. An interrupt during the correction ends it after the pass in
// progress; the phases are then those of the passes made. `missing` lists by
// sample the sites of missing calls (or is empty): with any, a quick
// phasing first imputes them for the windows' searches; each sample's pairs
// in a window are those explaining its observed calls; the correction
// imputes their alleles anew.
WindowedPhasing phaseInWindows(const std::vector<std::string>& genotypes, const std::vector<std::vector<int>>& missing,
                               const WindowPlan& plan, const RunSettings& settings, int threads,
                               const std::function<void(int done, double seconds)>& progress);
