#pragma once

#include "phasing/window_solution.hpp"

#include <string>
#include <vector>

// The samples' calls with each missing call open: '.' in place of the value
// the call was filled with before the windows were solved.
std::vector<std::string> observedCalls(std::vector<std::string> genotypes, const std::vector<std::vector<int>>& missing);

// The most pairs a sample with missing calls keeps in a window.
inline constexpr int kOpenCallPairs = 32;

// For every sample with a missing call in the window, but no more than half
// of its calls there missing (`observed` as above, `missing` its sites in
// increasing order), the pairs of the window's
// haplotypes that explain the sample's observed calls there, whatever they
// give the missing ones: the pairs of the genotype the search explained
// first (the search's own pair leading), then the others, those that agree
// with the search's pair at more missing calls first, at most
// kOpenCallPairs in all. Noted in `solution.samplePairs` where they add a
// pair.
void addOpenCallPairs(WindowSolution& solution, const std::vector<std::string>& observed,
                      const std::vector<std::vector<int>>& missing);
