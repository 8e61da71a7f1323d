#pragma once

#include "exact/optimality_proof.hpp"
#include "output/reconstruction.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the user asked of the phase after the search.
struct ProofRequest {
    bool prove = false;  // run the exact check; otherwise the lower bounds only
    double seconds = 0;  // wall-clock limit of the exact check; 0: none
    ProofStrategy strategy = {};  // how the exact check spends its calls
};

// What the phase found, for the console and for a run report.
struct ProofOutcome {
    int searchFound = 0;     // haplotypes of the search's reconstruction
    int found = 0;           // haplotypes of the best reconstruction: the search's, or `smaller`'s
    int lowerBound = 0;      // the best lower bound: the cheap bounds, raised by UNSAT answers
    int countingBound = 0;   // sum over the groups of the counting bounds
    int cliqueBound = 0;     // sum over the groups of the cliques' weights
    int outsideBound = 0;    // sum over the groups of the haplotypes beyond their cliques' (LowerBound::outside)
    bool proven = false;     // found == lowerBound
    bool interrupted = false;  // an interrupt cut the phase short
    bool timeUp = false;       // the time limit cut the exact check short
    std::optional<Reconstruction> smaller;  // of the distinct genotypes: normalised, checked, fewer haplotypes
    std::vector<SatCall> calls;
    int reducedGenotypes = 0;  // distinct genotypes after the reductions
    int reducedSites = 0;      // sites after the reductions
    int groups = 0;            // independent groups
    double seconds = 0.0;      // wall-clock time of the phase
};

// Computes the lower bounds of the distinct genotypes and, when asked, runs
// the exact check from the search's reconstruction `found` (of the same
// genotypes). Prints the lower-bound line, one line per SAT call and, when
// it finds fewer haplotypes, a line that says so, through `printLine` (each
// text ends with a line break). `interrupted` reports an interrupt; the phase
// then stops at once and returns what it has.
ProofOutcome runProofPhase(const std::vector<std::string>& genotypes, const Reconstruction& found,
                           const ProofRequest& request, const std::function<void(const std::string&)>& printLine,
                           const std::function<bool()>& interrupted);

// The console line of a SAT call: "SAT call: 19 haplotypes, 30 of 78
// genotypes: UNSAT in 0.012 sec.", with " of group 2" after "genotypes" when
// the genotypes split into independent groups.
std::string satCallLine(const SatCall& call);

// The closing line: "Proven optimal: N haplotypes" or "Not proven optimal:
// between LB and N haplotypes", with its line break.
std::string proofVerdictLine(const ProofOutcome& outcome);
