#pragma once

#include <vector>

struct DistanceStructure;
struct HaplotypeList;
struct SearchState;
struct SitePlanes;
struct RandomGenerator;

// A pair of live slots drawn for collapse.
struct PairChoice {
    int keepPosition = 0;    // position of the slot that stays (the larger slot index)
    int removePosition = 0;  // position of the slot collapsed into it
    int distanceClass = 0;   // distance of the pair
};

// True when some pair of live slots is compatible.
bool anyCompatiblePair(const DistanceStructure& distances);

// Draws one pair of live slots of the list among the closest pairs: the
// window of at most `windowWidth` distance classes from the smallest one
// present (only class 0 when it is present), each pair weighing twice as
// much as a pair one unit farther. The working set of `distances` follows
// the list, whose planes are given; the choice only takes pairs that it
// finds incompatible out of the working sieve. Makes exactly one draw.
// Requires anyCompatiblePair.
PairChoice choosePair(DistanceStructure& distances, const SitePlanes& planes, const HaplotypeList& list,
                      int windowWidth, RandomGenerator& random);

// Collapses random pairs of the working list until no two live slots are
// compatible.
void randomCollapse(SearchState& state, DistanceStructure& distances, RandomGenerator& random);
