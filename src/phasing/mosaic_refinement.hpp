#pragma once

#include "phasing/sample_phase.hpp"

#include <functional>
#include <string>
#include <vector>

// The second stage of a windowed phasing: every sample's phase is corrected
// against the haplotypes of the other samples. Each of its two haplotypes is
// read as a mosaic of templates, the other samples' haplotypes closest to the
// sample's own around each block of 64 sites (a haploid copying model: a
// haplotype follows one template, moves to another now and then, and
// differs from the one it follows at a few sites). Where the two haplotypes
// become more likely when the alleles of one heterozygous site change sides
// (a flip), or when everything after a heterozygous site changes sides (a
// swap), that change is made. The likelihoods come from the forward and
// backward sums of the model over the sample's heterozygous sites, with the
// homozygous sites between them taken together.
constexpr int kMosaicTemplates = 256;

struct MosaicSettings {
    int passes = 5;             // each pass corrects every sample against the phases of the pass before
    int rounds = 2;             // per sample and pass: a round of flips, then a round of swaps, and so on
    int templates = kMosaicTemplates;  // per block and sample
    int reach = 4;              // blocks on each side over which templates are compared with the sample
    float switchRate = 0.015f;  // of a haplotype moving to another template, per site
    float mismatchRate = 0.01f; // of a haplotype differing from its template at a site
};

// What the correction did.
struct MosaicOutcome {
    int passes = 0;          // passes made: fewer than asked when interrupted
    long long flips = 0;     // heterozygous sites whose alleles changed sides alone
    long long swaps = 0;     // heterozygous sites after which the haplotypes' continuations were exchanged
};

// Corrects every sample's phase, `settings.passes` times. The phases keep
// explaining their genotypes: only the two alleles of heterozygous sites
// change sides. Each pass depends only on the phases of the pass before, so
// the result is the same for every number of `threads`. `interrupted` is
// asked before each pass; when it answers yes, the phases stay those of the
// passes made.
//
// `missing` lists by sample the sites whose call is missing (it may be
// empty): the sums take no weight there, and each haplotype takes there the
// allele its templates carry with the greater weight (a missing call's two
// alleles are imputed independently; the genotype holds any value there).
MosaicOutcome refineByMosaics(const std::vector<std::string>& genotypes, const std::vector<std::vector<int>>& missing,
                              std::vector<SamplePhase>& phases, const MosaicSettings& settings, int threads,
                              const std::function<bool()>& interrupted = {});
