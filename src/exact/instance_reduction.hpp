#pragma once

#include "output/reconstruction.hpp"

#include <string>
#include <vector>

// Reductions that keep the smallest number of haplotypes: columns that are
// all '0' or all '1' are dropped (every haplotype carries that value there);
// a column equal to an earlier one, or to its complement ('0' and '1'
// swapped, '2' kept), is merged into it (a haplotype copies, or
// complements, that column); equal genotypes are kept once. A
// reconstruction of the reduced genotypes expands to one of the original
// genotypes with as many haplotypes, and one of the original genotypes
// restricts to one of the reduced genotypes with at most as many.

// Where a site of the original genotypes comes from.
struct SiteOrigin {
    int column = -1;       // the reduced column it follows, or -1: a constant site
    bool flipped = false;  // it is the complement of that column
    char constant = '0';   // the value of a constant site
};

struct ReducedInstance {
    std::vector<std::string> genotypes;  // distinct, over the kept columns
    std::vector<int> genotypeOf;         // for each original genotype, its reduced genotype
    std::vector<SiteOrigin> sites;       // for each original site
    std::vector<int> keptSites;          // for each reduced column, the original site it was
};

ReducedInstance reduceInstance(const std::vector<std::string>& genotypes);

// A reconstruction of the reduced genotypes as one of the original genotypes:
// the same haplotypes with the dropped and merged sites filled in, and for
// every original genotype the pair of its reduced genotype.
Reconstruction expandReconstruction(const ReducedInstance& reduced, const Reconstruction& reconstruction);

// A reconstruction of the original genotypes as one of the reduced genotypes:
// the haplotypes restricted to the kept columns, equal ones merged.
Reconstruction restrictReconstruction(const ReducedInstance& reduced, const Reconstruction& reconstruction);
