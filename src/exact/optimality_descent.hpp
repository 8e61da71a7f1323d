#pragma once

#include "exact/lower_bound.hpp"
#include "exact/sat_formula.hpp"
#include "exact/symmetry_breaking.hpp"
#include "output/reconstruction.hpp"

#include <functional>
#include <string>
#include <vector>

class ProofDeadline;

// One call of the SAT solver in a descent.
struct SatCall {
    int haplotypes = 0;      // the number of haplotypes tried
    int modelGenotypes = 0;  // genotypes in the model at the call
    int genotypes = 0;       // genotypes to explain
    int group = 0;           // the independent group (from 1) when there are several, else 0
    SatAnswer answer = SatAnswer::Unknown;
    double seconds = 0.0;
};

struct DescentResult {
    Reconstruction best;  // normalised; the start, or a smaller one
    int lowerBound = 0;   // raised by an UNSAT answer
    bool proven = false;  // best has lowerBound haplotypes
};

// Descends from a reconstruction of K haplotypes towards the fewest: asks
// for K-1; an UNSAT answer proves K optimal, a SAT answer gives a
// reconstruction of c <= K-1 haplotypes and the next call asks for c-1. The
// clique of the bound is pinned, so its weight counts in every call. The
// model starts with the clique alone and takes the genotypes that a solution
// leaves unexplained, a few at a time, between calls on the same solver:
// most refutations need only a small part of the genotypes. Stops when the
// deadline expires. `onCall` hears of every call as it ends.
DescentResult descendToOptimum(const std::vector<std::string>& genotypes, const Reconstruction& start,
                               const LowerBound& bound, ProofDeadline& deadline,
                               const std::function<void(const SatCall&)>& onCall, SymmetryBreaking symmetry = {});
