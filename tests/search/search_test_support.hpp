#pragma once

// Helpers for the tests of the search steps.

#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "search/random_generator.hpp"
#include "test_support.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace search_testing {

// A generator state whose next draw is `wanted`.
inline RandomGenerator generatorDrawingNext(int wanted)
{
    for (std::uint32_t state = 0;; ++state) {
        RandomGenerator probe{state};
        if (drawRandom(probe) == wanted) return RandomGenerator{state};
    }
}

// Inserts a candidate record at the front of a genotype's list, as the list
// build does.
inline PairRecord* addCandidate(SearchState& state, int genotype, int hap1, int hap2, int sd = 0, int vts = 0)
{
    PairRecord* r = state.pairPool.allocate();
    *r = PairRecord{hap1, hap2, 1.0f, vts, 0, genotype, sd, 1, state.pairLists[genotype]};
    state.pairLists[genotype] = r;
    return r;
}

// The working distance of two slots of a list, walked site by site: their
// slot distance when both are live, else -1.
inline int liveDistance(const HaplotypeList& list, int a, int b)
{
    if (list.position[a] >= list.liveCount || list.position[b] >= list.liveCount) return -1;
    return testing_support::referenceSlotDistance(list.text[a], list.text[b], list.label[a], list.label[b]);
}

// Every bin of the working sets agrees, and both follow the same order.
inline bool sameWorkingSet(const DistanceStructure& x, const DistanceStructure& y, std::string& where)
{
    for (int a = 0; a < x.slotCount; ++a) {
        for (int d = 0; d <= x.length; ++d) {
            if (x.rowHistogramOf(a)[d] != y.rowHistogramOf(a)[d]) {
                where = "row " + std::to_string(a) + " bin " + std::to_string(d) + ": "
                        + std::to_string(x.rowHistogramOf(a)[d]) + " vs " + std::to_string(y.rowHistogramOf(a)[d]);
                return false;
            }
        }
    }
    if (x.histogram() != y.histogram()) {
        where = "global histogram";
        return false;
    }
    if (x.slotPosition != y.slotPosition || x.liveCount != y.liveCount) {
        where = "order";
        return false;
    }
    if (x.working.blockHistogram != y.working.blockHistogram) {
        where = "position blocks";
        return false;
    }
    return true;
}

// True when all live slots of each component are undetermined at exactly the
// same sites.
inline bool componentsShareUndeterminedSites(const HaplotypeList& list, std::string& where)
{
    for (int p = 0; p < list.liveCount; ++p) {
        for (int q = p + 1; q < list.liveCount; ++q) {
            const int x = list.order[p];
            const int y = list.order[q];
            if (std::abs(list.label[x]) != std::abs(list.label[y])) continue;
            for (int s = 0; s < list.length; ++s) {
                if ((list.text[x][s] == '2') != (list.text[y][s] == '2')) {
                    where = "slots " + std::to_string(x) + " " + list.text[x] + " and " + std::to_string(y)
                            + " " + list.text[y];
                    return false;
                }
            }
        }
    }
    return true;
}

} // namespace search_testing
