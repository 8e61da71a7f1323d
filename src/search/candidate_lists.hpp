#pragma once

#include "data/search_state.hpp"

#include <vector>

// The price of explaining a genotype with a pair of slots, or its rejection.
struct PairEvaluation {
    bool accepted = false;
    float w = 1.0f;  // 0.5 to the power vts
    int vts = 0;     // site decisions the pair implies
    int vnc = 0;     // '2's of isolated slots at those decisions
};

// Tests the slots s1 and s2 of `list` against `genotype` site by site and
// prices the pair. On a rejection vts and vnc hold the counts of the sites
// before the rejecting one.
PairEvaluation evaluatePair(const HaplotypeList& list, const char* genotype, int s1, int s2);

// isolated[s] = 1 for every live slot s whose component holds at most one
// other live slot. `componentSize` is scratch, indexed by label magnitude.
void updateIsolated(HaplotypeList& list, std::vector<int>& componentSize);

// Site planes of the live slots of current and of the genotypes, for the
// comparisons of a collapse pass (buildPairLists prepares them). Whoever
// changes a text during the pass refreshes its slot.
void preparePairPlanes(SearchState& state, const HaplotypeList& initial);

// evaluatePair of slots s1, s2 for distinct genotype `genotype` on the
// prepared planes, and whether it accepts the pair. When the pair is rejected
// the counts are not set.
PairEvaluation priceCandidate(const SearchState& state, int genotype, int s1, int s2);
bool candidateFits(const SearchState& state, int genotype, int s1, int s2);

// For every distinct genotype, the list of the pairs of live slots of the
// working list that can explain it, inserted at the front in enumeration
// order (first slot by position, second slot by position with a slot index
// not below the first one's).
void buildPairLists(SearchState& state, const HaplotypeList& initial);

// Marks: 0 for slots that are not live, 1 for live slots, 2 for both slots of
// every settled list. Reports every empty list. Returns the number of empty
// lists.
int resetMarks(SearchState& state);

// Settles each open list that holds a pair of two used slots needing no
// decision on that pair.
void settleUsedPairs(SearchState& state);

// Makes `record` the only record of list `genotype`.
void keepOnlyPair(SearchState& state, int genotype, PairRecord* record);

// Records in open lists (two or more records), and the records themselves in
// genotype order, each list from the front.
int countOpenPairs(const SearchState& state);
void gatherOpenPairs(const SearchState& state, int count, std::vector<PairRecord*>& pairs);

inline bool isOpenList(const PairRecord* head)
{
    return head != nullptr && head->next != nullptr;
}

// The sites a pair of slots would decide for a genotype, into the state's
// firstSites / firstValues / secondValues: one entry for every site where
// either slot holds '2', with the value each slot would take there ('0' or
// '1'; '2' when both stay undetermined at a heterozygous site; '3' where the
// slot is already determined). Returns the number of entries.
int listPairSites(SearchState& state, const char* genotype, int s1, int s2);
