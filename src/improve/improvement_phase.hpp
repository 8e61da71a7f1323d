#pragma once

#include "output/reconstruction.hpp"

#include <functional>
#include <string>
#include <vector>

// The improvement phase: starting from a reconstruction with every site
// determined, moves that lower the number of haplotypes, cheapest first, in
// rounds until a round saves nothing or the time is up. Every move keeps
// every genotype explained; the count never rises. The moves draw from a
// generator seeded with `seed`, so the same seed gives the same result when
// the phase ends before its time limit.
struct ImprovementSettings {
    double seconds = 0.0;  // wall-time limit; 0: none
    unsigned seed = 1;
    std::function<bool()> interrupted;  // asked between moves; null: never
    bool checkEveryMove = false;        // verify the whole reconstruction after each move
    // On up to kDescentGenotypes genotypes, the moves get half of the time
    // limit, and an exact descent over the whole instance the rest: the SAT
    // calls of the exact check (FirstOccurrenceModel), each asking for one
    // haplotype fewer than the best reconstruction so far, starting from it.
    // Without a time limit each call is bounded in solver conflicts.
    bool exactDescent = false;
};

// Distinct genotypes up to which ImprovementSettings::exactDescent applies.
constexpr int kDescentGenotypes = 300;

struct ImprovementOutcome {
    int startCount = 0;   // haplotypes before the phase
    int finalCount = 0;   // haplotypes after it
    int savedByElimination = 0;
    int savedByExchange = 0;
    int savedByNeighbourhoods = 0;
    int savedByDescent = 0;
    int rounds = 0;
    double seconds = 0.0;
    bool timedOut = false;
    bool interrupted = false;
};

// Improves `reconstruction` of the distinct `genotypes` in place; on return
// it is normalised (haplotypes in ascending order).
ImprovementOutcome improveReconstruction(const std::vector<std::string>& genotypes, Reconstruction& reconstruction,
                                         const ImprovementSettings& settings);
