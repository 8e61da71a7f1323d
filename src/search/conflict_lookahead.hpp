#pragma once

struct SearchState;
struct HaplotypeList;
struct PairRecord;

// An open candidate as the look-ahead reads it: its record, genotype, the
// labels and texts of its two slots and the text of its genotype.
struct OpenCandidate {
    PairRecord* record;
    int genotype;
    int m1, m2;
    const char* text1;
    const char* text2;
    const char* genotypeText;
};

// Gives every open candidate q its sd: the number of open candidates of other
// genotypes that would no longer fit their genotype if q were fixed now.
void countConflicts(SearchState& state, const HaplotypeList& initial);
