#pragma once

#include "exact/lower_bound.hpp"
#include "exact/sat_formula.hpp"
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

// How the calls are spent.
struct ProofStrategy {
    // Also climb from the lower bound (cheap refutations first, and the time
    // left when the deciding calls run out of their share); otherwise every
    // call asks for one haplotype fewer than the best reconstruction, with
    // the whole time: a descent that looks for smaller reconstructions.
    bool raiseBound = true;
    // Solver conflicts per call, after which it answers Unknown: a deciding
    // call that runs out hands over to the climb from the bound, a climbing
    // call (or one of a descent) ends the check; 0: no bound.
    int conflictsPerCall = 0;
    // The solver first tries the start reconstruction's haplotypes, until a
    // smaller reconstruction is found.
    bool hintStart = true;
};

// Closes the gap between the lower bound and a reconstruction of K
// haplotypes with SAT calls on one incremental first-occurrence model
// (FirstOccurrenceModel). The first calls climb a few counts from the lower
// bound, where refutations are quick: an UNSAT answer for r haplotypes
// raises the bound to r+1. Then the call for K-1 decides: UNSAT proves K
// optimal; a SAT answer that explains every genotype is a reconstruction of
// c < K haplotypes, and the next call asks for c-1, until an UNSAT answer
// or the bound meets the count. Under a time limit the deciding calls get
// half of the time left, and the rest goes back to the bound, to raise it as
// far as it gets.
//
// The model starts with the clique of the bound and the genotypes of its
// outside layers, and takes the genotypes that a solution leaves
// unexplained, a few at a time, between calls on the same solver: most
// refutations need only a part of the genotypes. Stops when the deadline
// expires. `onCall` hears of every call as it ends.
OptimalityResult proveOptimality(const std::vector<std::string>& genotypes, const Reconstruction& start,
                               const LowerBound& bound, ProofDeadline& deadline,
                               const std::function<void(const SatCall&)>& onCall, const ProofStrategy& strategy = {});
