#pragma once

#include "data/haplotype_list.hpp"
#include "data/site_planes.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

// Pairwise slot distances with their histograms, in two sets of the same
// shape: the initial set, computed once from the initial list, and the
// working set, which follows the working list of the search.
//
// The slot distance of two slots is -1 (incompatible) when some site holds
// '0' in one and '1' in the other, or '2' in both while their labels are
// opposite; otherwise it is the number of sites where exactly one of the two
// is undetermined.
//
// A pair is stored in the row of its larger slot index a and the column of
// its smaller one b: entry [a][b] of a lower triangle (row a has a+1 entries,
// the diagonal included). -1 marks an incompatible pair, and in the working
// set also every pair with a slot that is no longer live. The histograms
// count the non-negative entries below the diagonal: bin d of row a counts
// the columns b < a at distance d, and the global histogram counts them all.
//
// Next to each matrix a compatibility bitmap holds, in both rows a and b, one
// bit per pair with a non-negative entry, so that the collapse visits a
// slot's compatible partners without reading the many incompatible entries.
struct DistanceStructure {
    int slotCount = 0;  // n
    int length = 0;     // L; distances lie in 0..L, so every histogram has L+1 bins
    int wordsPerRow = 0;  // 64-bit words of a bitmap row

    std::vector<std::int16_t> initialDistance;
    std::vector<std::int16_t> distance;
    std::vector<std::int32_t> initialRowHistogram;  // n rows of L+1 bins
    std::vector<std::int32_t> initialHistogram;     // L+1 bins
    std::vector<std::int32_t> rowHistogram;
    std::vector<std::int32_t> histogram;
    std::vector<std::uint64_t> initialCompatible;   // n rows of wordsPerRow words
    std::vector<std::uint64_t> compatible;
    SitePlanes planes;          // scratch of computeDistances
    std::vector<int> liveSlots;  // scratch of computeDistances

    static std::size_t rowStart(int a) { return static_cast<std::size_t>(a) * (a + 1) / 2; }
    std::size_t binsPerRow() const { return static_cast<std::size_t>(length) + 1; }

    std::int16_t* distanceRow(int a) { return distance.data() + rowStart(a); }
    const std::int16_t* distanceRow(int a) const { return distance.data() + rowStart(a); }
    std::int16_t* initialDistanceRow(int a) { return initialDistance.data() + rowStart(a); }
    const std::int16_t* initialDistanceRow(int a) const { return initialDistance.data() + rowStart(a); }
    std::int32_t* rowHistogramOf(int a) { return rowHistogram.data() + a * binsPerRow(); }
    const std::int32_t* rowHistogramOf(int a) const { return rowHistogram.data() + a * binsPerRow(); }
    std::int32_t* initialRowHistogramOf(int a) { return initialRowHistogram.data() + a * binsPerRow(); }
    const std::int32_t* initialRowHistogramOf(int a) const
    {
        return initialRowHistogram.data() + a * binsPerRow();
    }
    std::uint64_t* compatibleRow(int a) { return compatible.data() + static_cast<std::size_t>(a) * wordsPerRow; }
    const std::uint64_t* compatibleRow(int a) const
    {
        return compatible.data() + static_cast<std::size_t>(a) * wordsPerRow;
    }

    // The working distance of two different slots, in either order.
    int workingDistance(int a, int b) const { return a > b ? distanceRow(a)[b] : distanceRow(b)[a]; }
};

DistanceStructure createDistanceStructure(const HaplotypeList& initial);
void clearInitialDistances(DistanceStructure& distances);
void clearDistances(DistanceStructure& distances);
// Fills the initial set from every slot of the list (all live, identity order).
void computeInitialDistances(DistanceStructure& distances, const HaplotypeList& list);
// Clears the working set and fills it from the live slots of the list.
void computeDistances(DistanceStructure& distances, const HaplotypeList& list);
// Copies the initial set into the working set.
void restoreDistances(DistanceStructure& distances);

// Sets the working distance of two different slots, keeping the histograms
// and the compatibility bitmap in step with it.
void setWorkingDistance(DistanceStructure& distances, int a, int b, int d);

// Calls visit(b) for every slot b whose working distance to slot a is not
// negative, in ascending slot order. The visit may change the distances of a.
template <typename Visit>
void forEachCompatiblePartner(const DistanceStructure& distances, int a, Visit&& visit)
{
    const std::uint64_t* row = distances.compatibleRow(a);
    for (int w = 0; w < distances.wordsPerRow; ++w) {
        std::uint64_t bits = row[w];
        while (bits != 0) {
            const int b = w * 64 + __builtin_ctzll(bits);
            bits &= bits - 1;
            visit(b);
        }
    }
}
