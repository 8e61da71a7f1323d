#pragma once

#include <functional>

struct WorkingReconstruction;

// Elimination: takes the haplotypes one at a time, the least used first, and
// tries to explain every genotype that uses one with the other haplotypes,
// allowing one new haplotype per such genotype where several of them share
// it. A try is kept when the number of haplotypes drops. Returns the number
// of haplotypes saved. `stop` is asked between tries.
int eliminateHaplotypes(WorkingReconstruction& working, const std::function<bool()>& stop);

// One try on haplotype `id`; true when it was kept.
bool tryElimination(WorkingReconstruction& working, int id);
