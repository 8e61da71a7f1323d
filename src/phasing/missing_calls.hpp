#pragma once

#include <string>
#include <vector>

// Missing calls before the windows are solved: each takes the value of the
// samples whose genotypes are closest to its sample's around it, so that a
// window's search sees the genotype the sample most likely has there. (The
// correction after the ligation then imputes the alleles themselves from the
// other samples' haplotypes.)

// Sets each missing call of `genotypes` (by sample; `missing` lists by sample
// the sites of its missing calls, ascending) to the value most common among
// the samples with a call there whose genotypes differ least from the
// sample's over the 64-site block of the call and the blocks on each side
// (counting only sites both have a call at); a tie keeps the value the call
// has. Returns the calls changed.
long long fillFromClosestSamples(std::vector<std::string>& genotypes, const std::vector<std::vector<int>>& missing);
