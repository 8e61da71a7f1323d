#pragma once

#include "data/haplotype_list.hpp"
#include "data/site_planes.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Pairwise slot distances of a haplotype list, kept as histograms.
//
// The slot distance of two slots is -1 (incompatible) when some site holds
// '0' in one and '1' in the other, or '2' in both while their labels are
// opposite; otherwise it is the number of sites where exactly one of the two
// is undetermined. A distance is a function of the two slots' texts and
// labels: it is computed from the site planes of the list when needed, never
// stored.
//
// The structure keeps two sets of histograms of the same shape: the initial
// set, computed once from the initial list, and the working set, which
// follows the working list of one search. For a set, bin d of row a counts
// the slots b < a (live, in the working set) whose distance to a is d, and
// the global histogram counts all such pairs; in the working set every row's
// bins are also summed per block of 64 positions of the working list's
// order, so that the pair choice finds the k-th pair of a class in position
// order without walking every position.
//
// Next to the initial histograms, a bitmap holds one bit for every pair of
// slots of the initial list that is compatible, in both rows. Collapses only
// ever make pairs incompatible, so the compatible pairs of a working list
// derived from the initial list are among these bits: the bitmap is the
// sieve through which the search visits a slot's partners. The initial set
// is shared read-only by every copy of the structure.
//
// The working sieve numbers the slots it holds by rank: after a restore
// every slot, its rank its index; after a computation only the slots live
// then, ranked in index order (so that the order of two slots is that of
// their ranks), its rows holding only the pairs compatible then. A working
// list of a few thousand live slots out of many thousands then scans short
// rows of few bits.
struct DistanceHistograms {
    std::vector<std::uint16_t> rowHistogram;   // n rows of L+1 bins
    std::vector<std::int32_t> histogram;       // L+1 bins
    std::vector<std::int32_t> blockHistogram;  // L+1 rows of one bin per block of 64 positions
};

struct InitialDistances {
    DistanceHistograms histograms;          // of the initial list, in identity order
    std::vector<std::uint64_t> compatible;  // n rows of wordsPerRow words
};

// The last computation of a working set from a list, to be taken again when
// a list with the same live part comes (a perturbation of an unchanged best
// makes the same list every time): its input, the live slots by position
// with their labels and texts, and what it gave, the live slots' rows of
// bins, the global and block bins and the working sieve.
struct ComputedDistances {
    std::vector<int> order;   // the live slots by position
    std::vector<int> label;   // their labels, by position
    std::string texts;        // their texts one after the other, by position
    std::vector<int> live;    // the live slots ascending (the sieve's ranks)
    std::vector<std::uint16_t> rows;  // their rows of bins, ascending
    std::vector<std::int32_t> histogram;
    std::vector<std::int32_t> blockHistogram;
    std::vector<std::uint64_t> sieve;  // rankCount rows of rankWords words
};

struct DistanceStructure {
    int slotCount = 0;    // n
    int length = 0;       // L; distances lie in 0..L, so every histogram has L+1 bins
    int wordsPerRow = 0;  // 64-bit words of a bitmap row
    int positionBlocks = 0;

    std::shared_ptr<const InitialDistances> initial;
    DistanceHistograms working;
    // The ranks of the working sieve: of each slot (-1 for a slot it does
    // not hold) and the slot of each rank; rankWords words a row.
    std::vector<int> rankOf;
    std::vector<int> slotOfRank;
    int rankCount = 0;
    int rankWords = 0;
    // The working sieve, rows and columns by rank: after a restore, the
    // initial bitmap less pairs found incompatible since, each row copied
    // from the initial one when first needed (rows whose `partnerEpoch` is
    // not `epoch` are still the initial ones); after a computation, the
    // pairs compatible then (every row its own), less pairs found
    // incompatible since. A pair found incompatible leaves both rows, so
    // that for the pairs of live slots the sieve holds exactly the
    // compatible ones (the recount of a collapse relies on it).
    std::vector<std::uint64_t> partnerRows;
    std::vector<std::uint32_t> partnerEpoch;
    std::uint32_t epoch = 1;
    bool everyRowOwn = false;  // after a computation: no row is still the initial one (no epoch to check)
    std::vector<int> slotPosition;  // the position of each slot in the order the working set follows
    int liveCount = 0;              // slots at positions below it are live
    std::vector<std::uint64_t> liveSlots;  // one bit per live slot, by rank
    std::vector<std::uint64_t> liveBySlot;  // scratch of computeDistances: one bit per live slot, by index
    bool diagonalRestored = false;  // the dump shows the initial diagonal (0) after a restore, -1 otherwise
    SitePlanes planes;              // scratch of computeDistances
    std::vector<int> liveInOrder;   // scratch of computeDistances
    std::vector<int> partners;      // scratch of listLivePartners
    std::vector<int> choicePositions;  // scratch of the pair choice
    ComputedDistances lastComputed;

    std::size_t binsPerRow() const { return static_cast<std::size_t>(length) + 1; }
    bool isLive(int slot) const
    {
        const int r = rankOf[slot];
        return r >= 0 && ((liveSlots[r >> 6] >> (r & 63)) & 1) != 0;
    }

    const std::uint64_t* compatibleRow(int a) const
    {
        return initial->compatible.data() + static_cast<std::size_t>(a) * wordsPerRow;
    }
    // Slot a's row of the working sieve, read only: bits by rank.
    const std::uint64_t* partnerRow(int a) const
    {
        const int r = rankOf[a];
        if (!everyRowOwn && partnerEpoch[r] != epoch) return compatibleRow(a);  // ranks are indices then
        return partnerRows.data() + static_cast<std::size_t>(r) * rankWords;
    }
    bool initiallyCompatible(int a, int b) const
    {
        return ((compatibleRow(a)[b >> 6] >> (b & 63)) & 1) != 0;
    }

    const std::uint16_t* rowHistogramOf(int a) const { return working.rowHistogram.data() + a * binsPerRow(); }
    const std::uint16_t* initialRowHistogramOf(int a) const
    {
        return initial->histograms.rowHistogram.data() + a * binsPerRow();
    }
    const std::vector<std::int32_t>& histogram() const { return working.histogram; }
    const std::vector<std::int32_t>& initialHistogram() const { return initial->histograms.histogram; }
    // Bins of class d per block of 64 positions.
    const std::int32_t* blockHistogramOf(int d) const
    {
        return working.blockHistogram.data() + static_cast<std::size_t>(d) * positionBlocks;
    }
};

// The slot distance of slots a and b from their planes; `oppositeLabels`
// when their labels are opposite.
inline int planeDistance(const SitePlanes& planes, int a, int b, bool oppositeLabels)
{
    const SlotPlanes x = planes.slotOf(a);
    const SlotPlanes y = planes.slotOf(b);
    int count = 0;
    for (int w = 0; w < planes.words; ++w) {
        if (((x.zero[w] & y.one[w]) | (x.one[w] & y.zero[w])) != 0) return -1;
        if (oppositeLabels && (x.open[w] & y.open[w]) != 0) return -1;
        count += __builtin_popcountll(x.open[w] ^ y.open[w]);
    }
    return count;
}

// The sites where exactly one of two open planes is set, for `Words` words
// a plane (0: `words` of them): the distance of a pair known compatible.
template <int Words>
inline __attribute__((always_inline)) int openSitesApart(const std::uint64_t* x, const std::uint64_t* y, int words)
{
    const int count = Words > 0 ? Words : words;
    int apart = 0;
#pragma GCC unroll 4
    for (int w = 0; w < count; ++w) apart += __builtin_popcountll(x[w] ^ y[w]);
    return apart;
}

// The slot distance of two slots whose planes (zero, one, open: `Words`
// words each, Words > 0) begin at pa and pb.
template <int Words>
inline __attribute__((always_inline)) int slotPlanesDistance(const std::uint64_t* pa, const std::uint64_t* pb,
                                                             bool opposite)
{
    // Most pairs of an input clash already in their first word.
    if (((pa[0] & pb[Words]) | (pa[Words] & pb[0])) != 0) return -1;
    std::uint64_t clash = 0;
    std::uint64_t shared = 0;
    int count = 0;
    for (int w = 0; w < Words; ++w) {
        clash |= (pa[w] & pb[Words + w]) | (pa[Words + w] & pb[w]);
        shared |= pa[2 * Words + w] & pb[2 * Words + w];
        count += __builtin_popcountll(pa[2 * Words + w] ^ pb[2 * Words + w]);
    }
    return clash != 0 || (opposite && shared != 0) ? -1 : count;
}

// The slot distance from the planes, for `Words` words a plane (0: as many
// as the planes have).
template <int Words>
inline __attribute__((always_inline)) int planeDistanceOf(const SitePlanes& planes, int a, int b, bool opposite)
{
    if constexpr (Words == 0) {
        return planeDistance(planes, a, b, opposite);
    } else {
        return slotPlanesDistance<Words>(planes.zeroOf(a), planes.zeroOf(b), opposite);
    }
}

// The slot distance of two slots of a list whose planes are given.
inline int slotDistance(const SitePlanes& planes, const std::vector<int>& label, int a, int b)
{
    return planeDistance(planes, a, b, label[a] == -label[b]);
}

// The working distance of two different slots: their slot distance when
// both are live in the order the working set follows, else -1.
int workingDistance(const DistanceStructure& distances, const SitePlanes& planes, const std::vector<int>& label,
                    int a, int b);

// Computes the initial set of the list (every slot live, identity order);
// the working set is empty until restored or computed.
DistanceStructure createDistanceStructure(const HaplotypeList& initial);
// Empties the working set: every bin is 0.
void clearDistances(DistanceStructure& distances);
// Fills the working set from the live slots of the list, and follows its
// order. The list descends from the initial list by collapses, so that its
// compatible pairs were compatible in the initial list. When the live slots
// by position, their labels and texts are those of the last computation,
// its result is copied instead of counted again.
void computeDistances(DistanceStructure& distances, const HaplotypeList& list);
// Makes the working set a copy of the initial set, every slot live in identity order.
void restoreDistances(DistanceStructure& distances);

// Counts a pair of slots at distance d in the working set, or (count -1)
// takes it out again; d < 0 counts nothing.
inline void countWorkingPair(DistanceStructure& distances, int a, int b, int d, int count)
{
    if (d < 0) return;
    const int hi = std::max(a, b);
    DistanceHistograms& working = distances.working;
    std::uint16_t& bin = working.rowHistogram[static_cast<std::size_t>(hi) * distances.binsPerRow() + d];
    bin = static_cast<std::uint16_t>(bin + count);
    working.histogram[d] += count;
    working.blockHistogram[static_cast<std::size_t>(d) * distances.positionBlocks + (distances.slotPosition[hi] >> 6)] +=
        count;
}
// Moves a pair of slots from distance `from` to distance `to` (either may
// be -1: not counted).
inline void moveWorkingPair(DistanceStructure& distances, int a, int b, int from, int to)
{
    const int hi = std::max(a, b);
    DistanceHistograms& working = distances.working;
    std::uint16_t* row = working.rowHistogram.data() + static_cast<std::size_t>(hi) * distances.binsPerRow();
    std::int32_t* blocks = working.blockHistogram.data() + (distances.slotPosition[hi] >> 6);
    if (from >= 0) {
        --row[from];
        --working.histogram[from];
        --blocks[static_cast<std::size_t>(from) * distances.positionBlocks];
    }
    if (to >= 0) {
        ++row[to];
        ++working.histogram[to];
        ++blocks[static_cast<std::size_t>(to) * distances.positionBlocks];
    }
}

// Moves of pairs between classes of the working set, each applied some
// pairs after it is noted, with the row bins it touches fetched meanwhile:
// the rows of different slots lie far apart, and the moves commute. All are
// applied by `flush` (and on destruction), before the histograms are read.
// The addresses and sizes of the histograms are taken once, when it is
// made: the structure's own fields, read through a reference, would be read
// again after every bin written (a bin might be one of them, as far as the
// compiler knows).
class DeferredMoves {
public:
    explicit DeferredMoves(DistanceStructure& distances)
        : rows_(distances.working.rowHistogram.data()),
          histogram_(distances.working.histogram.data()),
          blocks_(distances.working.blockHistogram.data()),
          slotPosition_(distances.slotPosition.data()),
          bins_(distances.binsPerRow()),
          positionBlocks_(static_cast<std::size_t>(distances.positionBlocks))
    {
        clearRing();
    }
    DeferredMoves(const DeferredMoves&) = delete;
    DeferredMoves& operator=(const DeferredMoves&) = delete;
    ~DeferredMoves() { flush(); }

    // As moveWorkingPair(distances, a, b, from, to), later.
    __attribute__((always_inline)) void move(int a, int b, int from, int to)
    {
        const int hi = std::max(a, b);
        std::uint16_t* row = rows_ + static_cast<std::size_t>(hi) * bins_;
        if (from >= 0) __builtin_prefetch(row + from, 1);
        if (to >= 0) __builtin_prefetch(row + to, 1);
        std::int32_t* blocks = blocks_ + (slotPosition_[hi] >> 6);
        Move& slot = ring_[noted_ % kDepth];
        apply(slot);
        slot = Move{row, blocks, from, to};
        ++noted_;
    }
    // As move(a, b, from, -1), later: a pair at distance `from` (not -1)
    // leaves the working set.
    __attribute__((always_inline)) void moveOut(int a, int b, int from)
    {
        const int hi = std::max(a, b);
        std::uint16_t* bin = rows_ + static_cast<std::size_t>(hi) * bins_ + from;
        __builtin_prefetch(bin, 1);
        std::int32_t* block = blocks_ + (slotPosition_[hi] >> 6) + static_cast<std::size_t>(from) * positionBlocks_;
        Out& slot = outRing_[notedOut_ % kDepth];
        applyOut(slot);
        slot = Out{bin, block, histogram_ + from};
        ++notedOut_;
    }
    // The bins of the pairs of one slot with the smaller slots: its row and
    // its block of positions.
    struct RowBins {
        std::uint16_t* row;
        std::int32_t* blocks;
    };
    RowBins rowBinsOf(int hi) const
    {
        return RowBins{rows_ + static_cast<std::size_t>(hi) * bins_, blocks_ + (slotPosition_[hi] >> 6)};
    }
    // The same at once, for a pair whose row (that of its larger slot) is at
    // hand.
    __attribute__((always_inline)) void moveNow(const RowBins& bins, int from, int to)
    {
        apply(Move{bins.row, bins.blocks, from, to});
    }
    void flush()
    {
        for (const Move& m : ring_) apply(m);
        for (const Out& o : outRing_) applyOut(o);
        clearRing();
    }

private:
    static constexpr std::size_t kDepth = 16;
    struct Move {
        std::uint16_t* row;     // the row of the pair's larger slot
        std::int32_t* blocks;   // and its block of positions, in the bins of class 0
        int from, to;
    };
    // The three bins a pair leaving the working set takes one from.
    struct Out {
        std::uint16_t* bin;
        std::int32_t* block;
        std::int32_t* total;
    };
    // Every place of the rings holds a move that moves nothing (a pair out
    // of bins of the object's own, which nobody reads), so that a move is
    // applied without a test.
    void clearRing()
    {
        for (Move& m : ring_) m = Move{rows_, blocks_, -1, -1};
        for (Out& o : outRing_) o = Out{&spareBin_, &spareBlock_, &spareTotal_};
        noted_ = 0;
        notedOut_ = 0;
    }
    __attribute__((always_inline)) static void applyOut(const Out& o)
    {
        --*o.bin;
        --*o.block;
        --*o.total;
    }
    __attribute__((always_inline)) void apply(const Move& m)
    {
        if (m.from >= 0) {
            --m.row[m.from];
            --histogram_[m.from];
            --m.blocks[static_cast<std::size_t>(m.from) * positionBlocks_];
        }
        if (m.to >= 0) {
            ++m.row[m.to];
            ++histogram_[m.to];
            ++m.blocks[static_cast<std::size_t>(m.to) * positionBlocks_];
        }
    }
    std::uint16_t* const rows_;
    std::int32_t* const histogram_;
    std::int32_t* const blocks_;
    const int* const slotPosition_;
    const std::size_t bins_;
    const std::size_t positionBlocks_;
    Move ring_[kDepth];
    std::size_t noted_ = 0;
    Out outRing_[kDepth];
    std::size_t notedOut_ = 0;
    std::uint16_t spareBin_ = 0;
    std::int32_t spareBlock_ = 0;
    std::int32_t spareTotal_ = 0;
};

// Makes `row`, slot a's row of the working sieve, a copy of its initial row.
void copyInitialRow(DistanceStructure& distances, int a, std::uint64_t* row);

// Slot a's row of the working sieve, to take pairs out of (bits by rank).
inline std::uint64_t* ownPartnerRow(DistanceStructure& distances, int a)
{
    const int r = distances.rankOf[a];
    std::uint64_t* row = distances.partnerRows.data() + static_cast<std::size_t>(r) * distances.rankWords;
    if (!distances.everyRowOwn && distances.partnerEpoch[r] != distances.epoch) copyInitialRow(distances, a, row);
    return row;
}

// Takes pairs found incompatible out of the partner's row of the working
// sieve as well, each some pairs after it is noted with the word it clears
// fetched meanwhile (the partners' rows lie far apart): the sieve holds
// only compatible pairs, which the recount of a collapse relies on. All are
// applied by `flush` (and on destruction), before the sieve is read again.
// After a computation, when every row is its own, a row is found without a
// look at its epoch.
class DeferredDrops {
public:
    explicit DeferredDrops(DistanceStructure& distances)
        : distances_(distances),
          rows_(distances.partnerRows.data()),
          rankOf_(distances.rankOf.data()),
          rankWords_(static_cast<std::size_t>(distances.rankWords)),
          everyRowOwn_(distances.everyRowOwn)
    {
        clearRing();
    }
    DeferredDrops(const DeferredDrops&) = delete;
    DeferredDrops& operator=(const DeferredDrops&) = delete;
    ~DeferredDrops() { flush(); }

    // Takes slot a out of slot b's row, later.
    __attribute__((always_inline)) void drop(int b, int a) { drop(b, rankOf_[b], rankOf_[a]); }
    // The same, the ranks of both at hand.
    __attribute__((always_inline)) void drop(int b, int rb, int ra)
    {
        std::uint64_t* row = everyRowOwn_ ? rows_ + static_cast<std::size_t>(rb) * rankWords_
                                          : ownPartnerRow(distances_, b);
        std::uint64_t* word = row + (ra >> 6);
        __builtin_prefetch(word, 1);
        Drop& slot = ring_[noted_ % kDepth];
        *slot.word &= ~slot.bit;
        slot = Drop{word, std::uint64_t{1} << (ra & 63)};
        ++noted_;
    }
    void flush()
    {
        for (const Drop& d : ring_) *d.word &= ~d.bit;
        clearRing();
    }

private:
    static constexpr std::size_t kDepth = 16;
    struct Drop {
        std::uint64_t* word;
        std::uint64_t bit;
    };
    // Every place of the ring holds a drop that clears nothing (no bit of
    // a word of its own), so that a drop is applied without a test.
    void clearRing()
    {
        for (Drop& d : ring_) d = Drop{&spare_, 0};
        noted_ = 0;
    }
    DistanceStructure& distances_;
    std::uint64_t* const rows_;
    const int* const rankOf_;
    const std::size_t rankWords_;
    const bool everyRowOwn_;
    Drop ring_[kDepth];
    std::size_t noted_ = 0;
    std::uint64_t spare_ = 0;
};

// Takes the pairs of slot a with the smaller slots (its row's bins) out of
// the working set.
void takeOutRow(DistanceStructure& distances, int a);
// Follows the removal of `slot` from the live part: the slot that sat last
// in the live part, `moved`, takes its position, and the live part shrinks
// by one. The slot's pairs must have been taken out of the histograms.
void followRemoval(DistanceStructure& distances, int slot, int moved, int position);
// Records that the slot now sits at `position` of the order.
void placeSlot(DistanceStructure& distances, int slot, int position);

// Takes slot b out of slot a's row of the working sieve: the pair is
// incompatible now (and will stay so). Only a's row: the caller takes a out
// of b's row as well.
inline void dropPartner(DistanceStructure& distances, int a, int b)
{
    const int rb = distances.rankOf[b];
    ownPartnerRow(distances, a)[rb >> 6] &= ~(std::uint64_t{1} << (rb & 63));
}

// Writes the live slots in slot a's row of the working sieve, ascending, to
// the front of `partners` (made as long as the ranks first) and returns how
// many: a superset of its compatible live partners.
int listLivePartners(const DistanceStructure& distances, int a, std::vector<int>& partners);

// Calls visit(b) for every live slot b > a in slot a's row of the working
// sieve, ascending.
template <typename Visit>
inline __attribute__((always_inline)) void forEachLiveUpperPartner(const DistanceStructure& distances, int a,
                                                                   Visit&& visit)
{
    const std::uint64_t* row = distances.partnerRow(a);
    const std::uint64_t* live = distances.liveSlots.data();
    const int* slotOfRank = distances.slotOfRank.data();
    const int ra = distances.rankOf[a];
    for (int w = (ra + 1) >> 6; w < distances.rankWords; ++w) {
        std::uint64_t word = row[w] & live[w];
        if (w == ra >> 6) word &= ~((std::uint64_t{2} << (ra & 63)) - 1);
        for (; word != 0; word &= word - 1) visit(slotOfRank[w * 64 + __builtin_ctzll(word)]);
    }
}
