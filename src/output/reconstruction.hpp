#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A reconstruction with every site determined: a list of haplotypes over '0'
// and '1', and for every distinct genotype the pair of them that explains it.
// The search's best reconstruction is brought to this form after its
// undetermined sites are settled; the improvement phase and the exact check
// work on it and may return a smaller one; the writers print it.
struct HaplotypePair {
    int first = 0;   // index into Reconstruction::haplotypes
    int second = 0;  // equal to first for a genotype without heterozygous site

    friend bool operator==(const HaplotypePair&, const HaplotypePair&) = default;
};

struct Reconstruction {
    std::vector<std::string> haplotypes;  // all of the genotypes' length
    std::vector<HaplotypePair> pairs;     // by distinct genotype
};

// Whether haplotypes a and b explain the genotype: both carry its allele at a
// homozygous site, they differ at a heterozygous one.
bool pairExplains(std::string_view genotype, std::string_view a, std::string_view b);

// The first fault of a reconstruction of `genotypes` (the distinct genotypes),
// or an empty string: a pair for every genotype, indices in range, haplotypes
// of the genotypes' length over '0' and '1', every pair explaining its
// genotype.
std::string findReconstructionFault(const std::vector<std::string>& genotypes, const Reconstruction& reconstruction);

// Puts the haplotypes in ascending order, merges equal ones, drops those no
// pair uses, and renumbers the pairs (first <= second).
void normalizeReconstruction(Reconstruction& reconstruction);

// Each genotype explained by two haplotypes of its own, '0' at the first
// one's heterozygous sites and '1' at the second's; normalized.
Reconstruction ownPairsReconstruction(const std::vector<std::string>& genotypes);

// Every pair (a, b), a <= b, of the reconstruction's haplotypes that explains
// the genotype, in ascending order.
std::vector<HaplotypePair> explainingPairs(const Reconstruction& reconstruction, std::string_view genotype);

// For each of the genotypes, every pair explainingPairs would give; the
// haplotypes are indexed once for all.
std::vector<std::vector<HaplotypePair>> everyExplainingPair(const Reconstruction& reconstruction,
                                                            const std::vector<std::string>& genotypes);

// For each of the genotypes, the first pair explainingPairs would give, or
// {-1, -1} when none explains it; the haplotypes are indexed once for all.
std::vector<HaplotypePair> firstExplainingPairs(const Reconstruction& reconstruction,
                                                const std::vector<std::string_view>& genotypes);

// The result file of a reconstruction whose haplotypes are in ascending order
// (normalizeReconstruction): the haplotype list, then every input genotype
// (genotypeMap gives its distinct genotype) with every pair of listed
// haplotypes that explains it, in the layout of the search's result file,
// without symbolic list.
std::string composeExplicitResult(const Reconstruction& reconstruction,
                                  const std::vector<std::string>& distinctGenotypes,
                                  const std::vector<int>& genotypeMap);
