#include "search/pair_choice.hpp"

#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "search/collapse.hpp"
#include "search/random_generator.hpp"

#include <algorithm>
#include <cstdint>

bool anyCompatiblePair(const DistanceStructure& distances)
{
    for (const std::int32_t bin : distances.histogram()) {
        if (bin > 0) return true;
    }
    return false;
}

namespace {

// The choice, compiled with and without the popcount instruction (only
// functions of this file's own can be: see VELMORA_COUNTS_BITS).
template <int Words>
inline __attribute__((always_inline)) PairChoice choosePairOf(DistanceStructure& distances, const SitePlanes& planes,
                                                              const HaplotypeList& list, int windowWidth,
                                                              RandomGenerator& random)
{
    const std::vector<int>& order = list.order;
    const int liveCount = list.liveCount;
    const int length = distances.length;
    const std::vector<std::int32_t>& histogram = distances.histogram();

    int d0 = 0;
    while (histogram[d0] == 0) ++d0;
    const int width = d0 == 0 ? 1 : windowWidth;
    const int top = std::min(d0 + width - 1, length);

    // Every pair of class c weighs 2^(top - c).
    std::int64_t total = 0;
    for (int c = d0; c <= top; ++c) {
        total = 2 * total + histogram[c];
    }
    std::int64_t r = drawRandom(random) % total;

    // Walk the classes from the far end of the window; within a class every
    // pair takes `weight` units of r.
    int c = top;
    std::int64_t weight = 1;
    std::int64_t k = 0;
    for (;;) {
        const std::int64_t units = histogram[c] * weight;
        if (r < units) {
            k = r / weight;
            break;
        }
        r -= units;
        --c;
        weight *= 2;
    }

    // The k-th pair of class c: larger slot by position from the end of the
    // live part, whole blocks of 64 positions at a time (positions past the
    // live part count no pair) ...
    const std::int32_t* blocks = distances.blockHistogramOf(c);
    int block = (liveCount - 1) >> 6;
    while (k >= blocks[block]) {
        k -= blocks[block];
        --block;
    }
    int p = std::min(liveCount - 1, block * 64 + 63);
    int a = order[p];
    while (k >= distances.rowHistogramOf(a)[c]) {
        k -= distances.rowHistogramOf(a)[c];
        --p;
        a = order[p];
    }
    // ... and the partner by position from the start: the k-th smallest
    // position among the live slots b < a at distance c, found among the
    // slots that were compatible with a in the initial list.
    // The row's bin says how many there are: the search stops at the last.
    const std::size_t matches = distances.rowHistogramOf(a)[c];
    std::vector<int>& positions = distances.choicePositions;
    positions.clear();
    // The working sieve holds only compatible pairs: each at the count of
    // sites where exactly one of the two is open.
    const std::uint64_t* row = distances.partnerRow(a);
    const std::uint64_t* live = distances.liveSlots.data();
    const int ra = distances.rankOf[a];
    const int words = Words > 0 ? Words : planes.words;
    const std::uint64_t* openA = planes.openOf(a);
    for (int w = 0; w <= (ra - 1) >> 6 && positions.size() < matches; ++w) {
        std::uint64_t word = row[w] & live[w];
        if (w == ra >> 6) word &= (std::uint64_t{1} << (ra & 63)) - 1;
        for (; word != 0; word &= word - 1) {
            const int rb = w * 64 + __builtin_ctzll(word);
            const int b = distances.slotOfRank[rb];
            const int d = openSitesApart<Words>(openA, planes.openOf(b), words);
            if (d == c) positions.push_back(distances.slotPosition[b]);
        }
    }
    std::nth_element(positions.begin(), positions.begin() + k, positions.end());
    return PairChoice{p, positions[static_cast<std::size_t>(k)], c};
}

VELMORA_COUNTS_BITS PairChoice choosePairCounted(DistanceStructure& distances, const SitePlanes& planes,
                                                 const HaplotypeList& list, int windowWidth, RandomGenerator& random)
{
    switch (planes.words) {
    case 1: return choosePairOf<1>(distances, planes, list, windowWidth, random);
    case 2: return choosePairOf<2>(distances, planes, list, windowWidth, random);
    default: return choosePairOf<0>(distances, planes, list, windowWidth, random);
    }
}

} // namespace

PairChoice choosePair(DistanceStructure& distances, const SitePlanes& planes, const HaplotypeList& list,
                      int windowWidth, RandomGenerator& random)
{
    return choosePairCounted(distances, planes, list, windowWidth, random);
}

void randomCollapse(SearchState& state, DistanceStructure& distances, RandomGenerator& random)
{
    while (anyCompatiblePair(distances)) {
        const PairChoice choice = choosePair(distances, state.currentPlanes, state.current, 3, random);
        collapseSlotsLeavingTexts(state, choice.keepPosition, choice.removePosition, &distances);
    }
    catchUpTexts(state);
}
