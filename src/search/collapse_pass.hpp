#pragma once

struct SearchState;
struct HaplotypeList;
struct PairRecord;

// What one collapse pass made of the working list.
struct CollapsePassResult {
    int used = 0;         // haplotypes (slots marked 2) the reconstruction uses
    bool failed = false;  // some genotype was left without any candidate pair
};

// Turns the randomly collapsed working list into a complete reconstruction:
// one pair of live slots per distinct genotype, chosen greedily list by list.
// Requires empty candidate lists (as a reset leaves them).
CollapsePassResult collapsePass(SearchState& state, const HaplotypeList& initial);

// The steps below compare texts through the site planes that buildPairLists
// prepares (see preparePairPlanes); fixPairSites keeps them in step with the
// texts it writes.

// Reprices the open candidates and recomputes the slot weights. After a
// commit made by chooseNextPair only the candidates with a slot in the
// component it wrote are priced again (the others' prices cannot change);
// otherwise every one.
void rescorePairs(SearchState& state, const HaplotypeList& initial);

// The open candidate the pass takes next: most used slots (marked 2), then
// fewest conflicts (sd), then largest score from the slot weights; the first
// met wins ties. Null when no list is open.
PairRecord* selectNextPair(const SearchState& state);

// Chooses the best open candidate (most used slots, then fewest conflicts,
// then largest score), fixes its sites and commits it. False when no list is
// open.
bool chooseNextPair(SearchState& state, const HaplotypeList& initial);

// Writes into the working list the sites that the pair at positions p1, p2
// decides for the genotype, and joins the two components (p2's side opposite
// p1's).
void fixPairSites(SearchState& state, const HaplotypeList& initial, int genotype, int p1, int p2);

// Makes `record` the only candidate of its genotype, marks its slots used,
// and prunes every open list of the candidates that no longer fit (when
// called by chooseNextPair, only candidates with a slot in the component
// the commit wrote are checked: no other can have stopped fitting).
void commitPair(SearchState& state, int genotype, PairRecord* record);

// The closing sweep: clears `active` of the chosen pairs that use a slot no
// other active pair uses. Sweeps repeat until nothing changes when the
// reconstruction uses at most half the slots, else one sweep is made.
void deactivatePairs(SearchState& state, int used);
