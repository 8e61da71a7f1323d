#pragma once

#include <functional>

struct WorkingReconstruction;

// Exchange: brings in one new haplotype that lets several genotypes drop the
// haplotypes only they use, so that two or more haplotypes give way to one;
// and, one level deeper, a new haplotype that frees only one, followed by a
// second that then frees two or more (three haplotypes for two). Kept only
// when the number of haplotypes drops. Returns the number of haplotypes
// saved. `stop` is asked between tries.
int exchangeHaplotypes(WorkingReconstruction& working, const std::function<bool()>& stop);
