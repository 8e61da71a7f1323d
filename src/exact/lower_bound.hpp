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

// Whether genotype g, not among `members`, cannot be explained by the
// members' haplotypes alone, whatever they are: a homozygous genotype needs
// a compatible heterozygous member (its haplotype is one of that member's
// two), a heterozygous one two members that can give it one haplotype each.
bool needsHaplotypeOutside(const GenotypeMasks& masks, const std::vector<int>& members, int g);

// The clique bound and what lies beyond it. A genotype that needs a
// haplotype outside the clique's adds one (the +1 rule); so does each of a
// set of such genotypes that are pairwise incompatible, since they share no
// haplotype: the first layer. Genotypes that need a haplotype outside those
// of the clique and of the first layer's genotypes make up the second layer
// the same way, and so on.
struct LowerBound {
    int counting = 0;                            // the counting bound
    int clique = 0;                              // the clique's weight
    std::vector<int> cliqueMembers;              // ascending
    std::vector<std::vector<int>> outsideLayers;  // each pairwise incompatible, ascending
    int outside() const
    {
        int count = 0;
        for (const std::vector<int>& layer : outsideLayers) count += static_cast<int>(layer.size());
        return count;
    }
    int value() const { return counting > clique + outside() ? counting : clique + outside(); }
};

// The counting bound alone, without clique.
LowerBound countingBoundOnly(const std::vector<std::string>& genotypes);

LowerBound computeLowerBound(const std::vector<std::string>& genotypes, const GenotypeMasks& masks,
                             const CompatibilityRows& rows, const CliqueSearchLimits& limits);
