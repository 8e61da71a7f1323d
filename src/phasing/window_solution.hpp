#pragma once

#include "output/reconstruction.hpp"
#include "phasing/site_window.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct RunSettings;

// What the search (and, where asked, the improvement phase and the exact
// check) made of one window: the haplotypes over its sites, and for each
// sample the pairs of them that explain its genotype there.
struct WindowSolution {
    SiteWindow sites;
    std::vector<std::string> haplotypes;            // over the window's sites
    std::vector<int> genotypeOfSample;              // sample -> distinct genotype of the window
    std::vector<std::vector<HaplotypePair>> pairs;  // per distinct genotype: the search's pair first, then every other
    // Samples whose missing calls let more pairs explain their observed
    // calls: those pairs, by sample in increasing order (see open_calls).
    std::vector<std::pair<int, std::vector<HaplotypePair>>> samplePairs;
    int distinctGenotypes = 0;
    int searchHaplotypes = 0;          // the search's count
    int improvedHaplotypes = 0;        // after --improve (the search's count without it)
    std::optional<int> lowerBound;     // with --bound or --prove
    bool provenOptimal = false;
    bool searchFailed = false;         // no attempt explained every genotype: each sample phased on its own
};

// The pairs that explain sample `sample`'s calls in the window.
const std::vector<HaplotypePair>& pairsOfSample(const WindowSolution& solution, std::size_t sample);

// Solves window `index` of the genotypes (one per sample, over every site)
// with the search the settings ask for: the search drawing from a generator
// seeded with iterationSeed(seed, index + 1), without console lines, then
// --improve, --bound and --prove per window, quietly. Depends on nothing
// but its arguments, so windows may be solved side by side.
WindowSolution solveWindow(const std::vector<std::string>& genotypes, SiteWindow sites, int index,
                           const RunSettings& settings);
