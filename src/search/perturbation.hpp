#pragma once

struct SearchState;
struct DistanceStructure;

// Right after a reset, rebuilds in the working list the part of the
// iteration's best reconstruction that its closing sweep kept: the slots of
// the genotypes whose saved pair is still active are collapsed together when
// they map to the same haplotype of iterationBest. The working distances are
// then recomputed from the live slots. Draws no random number.
void perturb(SearchState& state, DistanceStructure& distances);
