#pragma once

#include "exact/genotype_masks.hpp"
#include "output/reconstruction.hpp"

#include <string>
#include <vector>

// Genotypes in different connected parts of the compatibility graph share
// no haplotype, so each part can be solved on its own and the smallest
// numbers of haplotypes of the parts add up.

// The connected parts, each a list of genotype indices in ascending order,
// the parts in the order of their first genotype.
std::vector<std::vector<int>> splitIndependentGroups(const CompatibilityRows& rows);

// The genotypes of a group, in its order.
std::vector<std::string> genotypesOfGroup(const std::vector<std::string>& genotypes, const std::vector<int>& group);

// The part of a reconstruction that explains the genotypes of a group: the
// haplotypes its pairs use, and its pairs in the group's order.
Reconstruction reconstructionOfGroup(const Reconstruction& reconstruction, const std::vector<int>& group);

// The reconstructions of the groups put together, over `genotypeCount`
// genotypes.
Reconstruction joinGroupReconstructions(const std::vector<std::vector<int>>& groups,
                                        const std::vector<Reconstruction>& parts, int genotypeCount);
