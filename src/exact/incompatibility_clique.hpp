#pragma once

#include "exact/genotype_masks.hpp"

#include <vector>

class ProofDeadline;

// Genotypes that are pairwise incompatible share no haplotype, so a set of
// them needs two haplotypes per heterozygous member and one per homozygous
// member, all different: a clique of the incompatibility graph (the
// complement of the compatibility graph) weighted 2 and 1 gives a lower
// bound. Finding the heaviest clique is hard; a greedy construction refined
// by a tabu local search (add, swap and drop moves) finds a heavy one.

struct CliqueSearchLimits {
    long long steps = 20000;               // local search moves, at most 100 per genotype
    double seconds = 0.0;                  // wall-clock cap of the local search; 0: none
    ProofDeadline* deadline = nullptr;     // stops the local search early, when given
    unsigned seed = 12345;                 // of the local search's random choices
};

// The members of a heavy clique, in ascending order. Deterministic for a
// given input when neither cap of time cuts the search short.
std::vector<int> findHeavyClique(const CompatibilityRows& rows, const std::vector<int>& weights,
                                 const CliqueSearchLimits& limits);

int cliqueWeight(const std::vector<int>& clique, const std::vector<int>& weights);
