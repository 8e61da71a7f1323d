#pragma once

#include "phasing/sample_phase.hpp"
#include "phasing/window_solution.hpp"

#include <string>
#include <vector>

// How one sample's windows joined: over the overlaps of consecutive windows,
// the heterozygous sites at which the two windows' phases, as oriented,
// agree and disagree, and the overlaps without a heterozygous site, whose
// orientation nothing decides.
struct SampleJoins {
    int agreeing = 0;
    int disagreeing = 0;
    int undecided = 0;
};

struct Ligation {
    std::vector<SamplePhase> phases;  // by sample, over every site
    std::vector<SampleJoins> joins;   // by sample
};

// Joins the windows' phases of every sample (genotypes by sample, over every
// site, '.' at a missing call; windows in order, each overlapping the one
// before). For each sample
// and window, of the pairs that explain its genotype there, the one that
// agrees best with the phase so far (on their overlap) and with the next
// window is taken, oriented by the heterozygous sites of the overlap; the
// phase switches from one window's alleles to the next's in the middle of
// their overlap.
Ligation ligateWindows(const std::vector<WindowSolution>& windows, const std::vector<std::string>& genotypes);
