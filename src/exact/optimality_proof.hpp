#pragma once

#include "exact/lower_bound.hpp"
#include "exact/sat_formula.hpp"
#include "exact/symmetry_breaking.hpp"
#include "output/reconstruction.hpp"

#include <functional>
#include <string>
#include <vector>

class ProofDeadline;

// One call of the SAT solver.
struct SatCall {
    int haplotypes = 0;      // the number of haplotypes tried
    int modelGenotypes = 0;  // genotypes in the model at the call
    int genotypes = 0;       // genotypes to explain
    int group = 0;           // the independent group (from 1) when there are several, else 0
    SatAnswer answer = SatAnswer::Unknown;
    double seconds = 0.0;
};

struct OptimalityResult {
    Reconstruction best;  // normalised; the start, or a smaller one
    int lowerBound = 0;   // raised by an UNSAT answer
    bool proven = false;  // best has lowerBound haplotypes
};

// Closes the gap between the lower bound and a reconstruction of K
// haplotypes with SAT calls on one incremental model. While a refutation
// would place few free haplotypes beyond the pinned ones, the calls start at
// the lower bound, where it is cheapest, and go up: an UNSAT answer for r
// haplotypes raises the bound to r+1. Then the call for K-1 decides: UNSAT
// proves K optimal; a SAT answer that explains every genotype is a
// reconstruction of c < K haplotypes, and the next call asks for c-1, until
// an UNSAT answer or the bound meets the count. Under a time limit the
// deciding calls get half of the time left, and the rest goes back to the
// bound, to raise it as far as it gets.
//
// The clique of the bound is pinned, and each genotype of its outside layers
// has one haplotype pinned, so the bound counts in every call. The model
// starts with these genotypes alone and takes the genotypes that a solution
// leaves unexplained, a few at a time, between calls on the same solver:
// most refutations need only a part of the genotypes. Stops when the
// deadline expires. `onCall` hears of every call as it ends.
OptimalityResult proveOptimality(const std::vector<std::string>& genotypes, const Reconstruction& start,
                               const LowerBound& bound, ProofDeadline& deadline,
                               const std::function<void(const SatCall&)>& onCall, SymmetryBreaking symmetry = {});
