#pragma once

#include <string>
#include <vector>

struct RunSettings;
struct HaplotypeList;
struct SearchState;
struct DistanceStructure;
struct RandomGenerator;
struct GenotypeTable;
struct RunClock;
struct Reconstruction;

// How the iterations of a search ended.
struct SearchOutcome {
    bool bestSaved = false;  // some attempt found a reconstruction, now in state.best
    int interruptedBy = 0;   // the signal that stopped the search early, or 0
    // The numbers each iteration line printed, in order; -1 for "failed.".
    std::vector<std::vector<int>> iterationCounts;
};

// The iterations of a search, with their console lines: each iteration is a
// first attempt and perturbation attempts, within the iteration, time and
// stall limits of the settings. The first iteration always runs. When an
// interrupt comes, the attempt in progress is finished and no other starts.
SearchOutcome runSearch(const RunSettings& settings, const HaplotypeList& initial, SearchState& state,
                        DistanceStructure& distances, RandomGenerator& random, RunClock& clock);

// The same iterations without console lines, the time limit counted from
// the call: for the searches of the windows of a phasing run. The caller
// silences the warnings through state.warningSink.
SearchOutcome runSilentSearch(const RunSettings& settings, const HaplotypeList& initial, SearchState& state,
                              DistanceStructure& distances, RandomGenerator& random);

// The same iterations spread over `threads` workers (1 or more): iteration i
// draws from its own generator, seeded with iterationSeed(seed, i), so its
// outcome does not depend on the worker that runs it; the lines are printed
// in iteration order; the run's best is the fewest haplotypes of any
// iteration, the earliest iteration winning ties, and ends up in state.best.
// Worker 0 works on `state` and `distances`, the others on copies of their
// own that share the initial list and distances. An interrupt lets every
// worker finish its attempt; no iteration starts after it.
SearchOutcome runParallelSearch(const RunSettings& settings, int threads, const HaplotypeList& initial,
                                SearchState& state, DistanceStructure& distances, RunClock& clock);

// Analyses the best reconstruction of the state and returns the result
// file's text: undetermined sites settled, numbered or completed, candidate
// lists rebuilt over the completed list, haplotypes in output order, and the
// symbolic list when variables were numbered. When `reconstruction` is given
// it receives the same result with every site determined: the listed
// haplotypes in their order, and for each distinct genotype the first pair
// listed for it.
std::string composeResult(SearchState& state, const HaplotypeList& initial, const GenotypeTable& table,
                          const std::vector<int>& genotypeMap, RandomGenerator& random,
                          Reconstruction* reconstruction = nullptr);
