#pragma once

#include <cstdint>
#include <vector>

struct SearchState;
struct HaplotypeList;
struct PairRecord;

// An open candidate as the look-ahead reads it: its record, its genotype,
// its two slots and their labels.
struct OpenCandidate {
    PairRecord* record;
    int genotype;
    int slot1, slot2;
    int m1, m2;
};

// The sites a candidate q would decide, as bit planes of its words: the
// sites where either of its slots is open, and for each slot the sites where
// it would take '0', '1', or stay '2'.
struct ConflictPlanes {
    std::vector<std::uint64_t> sites;
    std::vector<std::uint64_t> first0, first1, first2;
    std::vector<std::uint64_t> second0, second1, second2;
    std::vector<std::uint64_t> none, all;  // no site, every site: what a slot outside q's components takes
};

// Gives every open candidate q its sd: the number of open candidates of other
// genotypes that would no longer fit their genotype if q were fixed now.
// Reads the site planes that buildPairLists prepared.
void countConflicts(SearchState& state);

// Notes, for updateConflicts, that the slots of the component of `slot`
// were written (`written`), or that a candidate with `slot` left the open
// lists.
void noteComponentChange(SearchState& state, int slot, bool written);

// The same counts after one commit of the collapse pass, recounted only for
// the candidates that the commit's noted changes can have touched: a
// candidate's count depends only on the candidates with a slot in one of
// its two components, and on its own and their slots. The others keep
// theirs. Clears the notes.
void updateConflicts(SearchState& state);
