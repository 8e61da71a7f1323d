#pragma once

#include <functional>
#include <random>

struct WorkingReconstruction;

// Large neighbourhoods: a group of genotypes that share haplotypes, grown
// from a random genotype, is reopened while every other genotype keeps its
// pair; the embedded SAT solver is asked whether the group can be explained
// by the haplotypes that stay plus fewer new ones than the group alone uses
// now. The group's size follows the effort the calls take: it grows while
// calls end well within their conflict budget and shrinks when a call runs
// out of it, so that a call stays well under a second. Effort is counted in
// solver conflicts, not seconds, so that a seed gives the same sequence of
// calls on any machine.
struct NeighbourhoodSearch {
    std::mt19937 random;
    int size = 8;                  // genotypes per neighbourhood
    int conflictBudget = 20000;    // per call
    int fruitlessCalls = 0;  // calls in a row that saved nothing
    // A call that reopened every genotype and every haplotype was refuted:
    // no reconstruction has fewer haplotypes, and further calls are futile.
    bool provenOptimal = false;
};

NeighbourhoodSearch startNeighbourhoodSearch(unsigned seed);

// Whether the search has run long enough without saving anything to stop:
// the calls in a row that saved nothing could have covered every genotype
// twice over (and at least 30 were made), or a call proved the count optimal.
bool neighbourhoodsExhausted(const NeighbourhoodSearch& search, int genotypeCount);

// Up to `calls` neighbourhood calls. `stop` is asked between calls, and
// `cutShort`, which must be cheap, while the solver runs. Returns the number
// of haplotypes saved.
int searchNeighbourhoods(WorkingReconstruction& working, NeighbourhoodSearch& search, int calls,
                         const std::function<bool()>& stop, const std::function<bool()>& cutShort);
