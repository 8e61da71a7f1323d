#pragma once

#include "exact/genotype_masks.hpp"
#include "exact/incompatibility_clique.hpp"

#include <string>
#include <vector>

// Cheap lower bounds on the number of haplotypes that explain a set of
// distinct genotypes.

// The smallest k with k >= homozygous and k(k-1)/2 >= heterozygous: k
// haplotypes explain at most k homozygous genotypes (a haplotype twice) and
// k(k-1)/2 heterozygous ones (two different haplotypes).
int countingBound(int homozygous, int heterozygous);

// Weight of a genotype in the incompatibility clique: the number of
// haplotypes it needs of its own, 2 when heterozygous and 1 otherwise.
std::vector<int> cliqueWeights(const std::vector<std::string>& genotypes);

// Whether genotype g, outside the clique, cannot be explained by the
// clique's haplotypes alone, whatever they are: a homozygous genotype needs
// a compatible heterozygous member (its haplotype is one of that member's
// two), a heterozygous one two members that can give it one haplotype each.
bool needsHaplotypeOutsideClique(const GenotypeMasks& masks, const std::vector<int>& clique, int g);

struct LowerBound {
    int counting = 0;                // the counting bound
    int clique = 0;                  // the clique's weight, plus one when extraHaplotype
    bool extraHaplotype = false;     // a genotype outside the clique needs a haplotype outside it
    std::vector<int> cliqueMembers;  // ascending
    int value() const { return counting > clique ? counting : clique; }
};

LowerBound computeLowerBound(const std::vector<std::string>& genotypes, const GenotypeMasks& masks,
                             const CompatibilityRows& rows, const CliqueSearchLimits& limits);
