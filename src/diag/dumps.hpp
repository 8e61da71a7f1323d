#pragma once

#include <vector>

struct SearchState;
struct HaplotypeList;
struct DistanceStructure;
struct PairRecord;

// Console dumps of the working structures, for debugging. No step of a run
// calls them; they only read what they print.
void dumpCurrentList(const SearchState& state);
void dumpBestList(const SearchState& state);
// The working set of the distance structure, whose distances are those of
// the working list it follows.
void dumpDistanceStructure(const DistanceStructure& distances, const HaplotypeList& current);
void dumpPairLists(const HaplotypeList& initial, const SearchState& state);
void dumpBestPairs(const HaplotypeList& initial, const SearchState& state);
void dumpPairArray(const std::vector<PairRecord*>& pairs, int count, const SearchState& state,
                   const HaplotypeList& initial);
