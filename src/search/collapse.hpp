#pragma once

struct SearchState;
struct DistanceStructure;

// Merges the live slot at removePosition (B) into the live slot at
// keepPosition (A) of the working list: A's component takes over B's
// determined sites, B's component takes over A's and is relabelled into A's
// (mates take the complementary allele), and B leaves the live part. B's
// distances are always removed from the working set; with updateDistances the
// distances of both components are brought up to date as well.
// Relies on the state's componentMembers index describing the live slots of
// current (as after a reset), and keeps it so.
void collapseSlots(SearchState& state, int keepPosition, int removePosition,
                   DistanceStructure& distances, bool updateDistances);

// The same collapse for callers that make many in a row: the planes of the
// working list follow, but the texts of the changed slots are left behind
// until catchUpTexts (and the state's site lists are not filled). With
// distances, every changed distance follows the collapse; without, the
// working distances are left untouched, for callers that recompute them
// from scratch afterwards.
void collapseSlotsLeavingTexts(SearchState& state, int keepPosition, int removePosition,
                               DistanceStructure* distances);

// Collapses in a row that need neither the working distances nor the
// slots' labels until the last one, as the perturbation makes them: each
// component is held as a list of members with one label for the whole
// component, each slot with its side (+1 or -1), and a component joining
// another moves the members of the smaller list, not of the one relabelled.
// The texts are left behind as with collapseSlotsLeavingTexts; the labels
// of the live slots are written, and componentMembers rebuilt, by
// endComponentCollapses. Between begin and end, each collapse changes the
// planes, order, positions and liveCount as collapseSlotsLeavingTexts
// without distances does, and the labels end up as its would.
void beginComponentCollapses(SearchState& state);
void collapseInComponents(SearchState& state, int keepPosition, int removePosition);
void endComponentCollapses(SearchState& state);
