#pragma once

#include "data/haplotype_list.hpp"
#include "data/site_planes.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Pairwise slot distances with their histograms, in two sets of the same
// shape: the initial set, computed once from the initial list and shared
// read-only by every copy of the structure, and the working set, which
// follows the working list of one search.
//
// The slot distance of two slots is -1 (incompatible) when some site holds
// '0' in one and '1' in the other, or '2' in both while their labels are
// opposite; otherwise it is the number of sites where exactly one of the two
// is undetermined.
//
// A set holds, for every pair of different slots, one compatibility bit
// (in both rows of a square bitmap) that is set exactly when the pair is
// compatible and, in the working set, both slots are live; a lower triangle
// of entries, row a for the pairs (a, b) with b < a, whose entry is the
// distance of a pair with its bit set and means nothing otherwise; and
// histograms of the distances of the pairs with their bit set: bin d of row
// a counts the columns b < a at distance d, the global histogram counts them
// all. Entries take one byte when the distances fit, two otherwise.
//
// The working set also follows the order of the live slots: its histograms
// are summed per block of 64 positions, so that the pair choice finds the
// k-th pair of a class in position order without walking every position.
struct DistanceSet {
    std::vector<std::uint8_t> narrowEntries;   // the triangle when length <= kNarrowLimit
    std::vector<std::uint16_t> wideEntries;    // the triangle otherwise
    std::vector<std::uint16_t> rowHistogram;   // n rows of L+1 bins
    std::vector<std::int32_t> histogram;       // L+1 bins
    std::vector<std::uint64_t> compatible;     // n rows of wordsPerRow words
    std::vector<std::int32_t> blockHistogram;  // L+1 rows of one bin per block of 64 positions
};

struct DistanceStructure {
    static constexpr int kNarrowLimit = 255;  // the largest length whose distances take one byte

    int slotCount = 0;    // n
    int length = 0;       // L; distances lie in 0..L, so every histogram has L+1 bins
    int wordsPerRow = 0;  // 64-bit words of a bitmap row
    int positionBlocks = 0;
    bool narrow = true;   // one byte per entry

    std::shared_ptr<const DistanceSet> initial;  // identity order
    DistanceSet working;
    std::vector<int> slotPosition;  // the position of each slot in the order the working set follows
    bool diagonalRestored = false;  // the dump shows the initial diagonal (0) after a restore, -1 otherwise
    SitePlanes planes;              // scratch of computeDistances
    std::vector<int> liveSlots;     // scratch of computeDistances
    std::vector<int> partners;      // scratch of listCompatiblePartners

    static std::size_t rowStart(int a) { return static_cast<std::size_t>(a) * (a + 1) / 2; }
    std::size_t binsPerRow() const { return static_cast<std::size_t>(length) + 1; }

    // The entry of the pair (a, b), b < a, of a set; meaningful only when the
    // pair's bit is set.
    int entry(const DistanceSet& set, int a, int b) const
    {
        const std::size_t i = rowStart(a) + static_cast<std::size_t>(b);
        return narrow ? set.narrowEntries[i] : set.wideEntries[i];
    }
    void setEntry(DistanceSet& set, int a, int b, int d) const
    {
        const std::size_t i = rowStart(a) + static_cast<std::size_t>(b);
        if (narrow) set.narrowEntries[i] = static_cast<std::uint8_t>(d);
        else set.wideEntries[i] = static_cast<std::uint16_t>(d);
    }

    const std::uint64_t* compatibleRow(const DistanceSet& set, int a) const
    {
        return set.compatible.data() + static_cast<std::size_t>(a) * wordsPerRow;
    }
    std::uint64_t* compatibleRow(DistanceSet& set, int a) const
    {
        return set.compatible.data() + static_cast<std::size_t>(a) * wordsPerRow;
    }
    static bool bitOf(const std::uint64_t* row, int b) { return ((row[b >> 6] >> (b & 63)) & 1) != 0; }

    // The distance of two different slots, in either order: -1 when they are
    // incompatible (in the working set also when either is not live).
    int distanceIn(const DistanceSet& set, int a, int b) const
    {
        if (!bitOf(compatibleRow(set, a), b)) return -1;
        return a > b ? entry(set, a, b) : entry(set, b, a);
    }
    int initialDistance(int a, int b) const { return distanceIn(*initial, a, b); }
    int workingDistance(int a, int b) const { return distanceIn(working, a, b); }

    const std::uint16_t* rowHistogramOf(int a) const { return working.rowHistogram.data() + a * binsPerRow(); }
    const std::uint16_t* initialRowHistogramOf(int a) const
    {
        return initial->rowHistogram.data() + a * binsPerRow();
    }
    const std::vector<std::int32_t>& histogram() const { return working.histogram; }
    const std::vector<std::int32_t>& initialHistogram() const { return initial->histogram; }
    // Asks the processor to fetch the working entry of the pair (a, b) ahead
    // of its use: partners of one slot lie far apart in the triangle.
    void prefetchEntry(int a, int b) const
    {
        const int hi = a > b ? a : b;
        const std::size_t i = rowStart(hi) + static_cast<std::size_t>(a + b - hi);
        if (narrow) __builtin_prefetch(working.narrowEntries.data() + i);
        else __builtin_prefetch(working.wideEntries.data() + i);
    }

    // Bins of class d per block of 64 positions.
    const std::int32_t* blockHistogramOf(int d) const
    {
        return working.blockHistogram.data() + static_cast<std::size_t>(d) * positionBlocks;
    }
};

// Computes the initial set of the list (every slot live, identity order);
// the working set is left empty until restored or computed.
DistanceStructure createDistanceStructure(const HaplotypeList& initial);
// Empties the working set: no pair is compatible, every bin is 0.
void clearDistances(DistanceStructure& distances);
// Fills the working set from the live slots of the list, and follows its order.
void computeDistances(DistanceStructure& distances, const HaplotypeList& list);
// Makes the working set a copy of the initial set, in identity order.
void restoreDistances(DistanceStructure& distances);

// Sets the working distance of two different slots (-1: incompatible),
// keeping the bitmap and the histograms in step with it.
void setWorkingDistance(DistanceStructure& distances, int a, int b, int d);
// The same for a compatible pair (hi > lo) known to be at distance `old`.
void changeWorkingDistance(DistanceStructure& distances, int hi, int lo, int old, int d);
// Removes every working pair of the slot, which leaves the live part.
void removeWorkingSlot(DistanceStructure& distances, int slot);
// Records that the slot now sits at `position` of the order.
void placeSlot(DistanceStructure& distances, int slot, int position);
// Makes the working set follow the order (position p holds order[p]).
void followOrder(DistanceStructure& distances, const std::vector<int>& order);

// The slots whose working distance to slot a is not negative, ascending.
void listCompatiblePartners(const DistanceStructure& distances, int a, std::vector<int>& partners);

// Calls visit(b) for every slot b whose working distance to slot a is not
// negative, in ascending slot order. The visit may change the distances of a.
template <typename Visit>
void forEachCompatiblePartner(const DistanceStructure& distances, int a, Visit&& visit)
{
    const std::uint64_t* row = distances.compatibleRow(distances.working, a);
    for (int w = 0; w < distances.wordsPerRow; ++w) {
        std::uint64_t bits = row[w];
        while (bits != 0) {
            const int b = w * 64 + __builtin_ctzll(bits);
            bits &= bits - 1;
            visit(b);
        }
    }
}
