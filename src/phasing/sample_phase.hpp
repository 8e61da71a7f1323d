#pragma once

#include "output/reconstruction.hpp"

#include <string>
#include <vector>

// The phased genotype of one sample: its two haplotypes over every site of
// the run, '0' and '1', written in this order ("first|second") to a phased
// VCF.
struct SamplePhase {
    std::string first;
    std::string second;
};

// The samples' phases of a reconstruction of the distinct genotypes: sample
// i takes the pair of distinct genotype genotypeMap[i], the lower-numbered
// haplotype first.
std::vector<SamplePhase> phasesOfReconstruction(const Reconstruction& reconstruction,
                                                const std::vector<int>& genotypeMap);

// The reconstruction of the distinct genotypes the phases make: their
// haplotypes in ascending order, each distinct genotype with the pair of its
// first sample.
Reconstruction reconstructionOfPhases(const std::vector<SamplePhase>& phases, const std::vector<int>& genotypeMap,
                                      int distinctCount);
