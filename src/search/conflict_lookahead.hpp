#pragma once

struct SearchState;
struct HaplotypeList;

// Gives every open candidate q its sd: the number of open candidates of other
// genotypes that would no longer fit their genotype if q were fixed now.
void countConflicts(SearchState& state, const HaplotypeList& initial);
