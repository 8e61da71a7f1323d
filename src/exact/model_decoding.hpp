#pragma once

#include "output/reconstruction.hpp"

class ExplanationModel;

// The reconstruction that a satisfied model holds: the haplotypes of the
// slots its genotypes take, each slot once, and for every genotype of the
// model, in the order pinned and added, the pair that explains it. Equal
// haplotypes in different slots appear twice (normalizeReconstruction
// merges them).
Reconstruction decodeReconstruction(const ExplanationModel& model);
