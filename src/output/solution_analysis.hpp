#pragma once

#include <vector>

struct SearchState;
struct HaplotypeList;
struct RandomGenerator;

// Settles, in best, every component of a used slot that has exactly one
// undetermined site ('1' on the side of the used slot met first, '0' on its
// mates). Returns the number of undetermined sites left in used slots with
// two or more of them; 0 when none is left.
int resolveSingleSites(SearchState& state);

// Numbers the symbolic variables of best component by component (ascending
// label magnitude) into variableBase, and returns how many there are.
int numberVariables(SearchState& state);

// The number of sites where slot d is determined and slot e holds anything
// else; 2L when the two share an undetermined site.
int mismatchCount(const HaplotypeList& list, int d, int e);

// Gives every undetermined site of the used slots of current a value: that of
// the closest used slot outside the component, or a random bit (one draw per
// site) when there is none. Returns the number of sites completed.
int completeUndetermined(SearchState& state, RandomGenerator& random);

// The used slots of best in output order (ascending text in current, by an
// exchange sort) and the 0-based rank of each. Returns how many there are.
int sortUsedSlots(const SearchState& state, std::vector<int>& sortedSlots, std::vector<int>& rankOfSlot);
