#include "distance/distance_structure.hpp"

#include "data/site_planes.hpp"

#include <algorithm>

namespace {

// How many partners ahead a loop over a slot's partners fetches their data.
constexpr std::size_t kPrefetchAhead = 8;

// The slot distance of slots a and b from their site planes: -1 when some
// site holds '0' against '1', or '2' in both while their labels are opposite;
// otherwise the number of sites where exactly one of the two is undetermined.
inline int planeDistance(const SitePlanes& planes, int a, int b, bool oppositeLabels)
{
    const std::uint64_t* zeroA = planes.zeroOf(a);
    const std::uint64_t* oneA = planes.oneOf(a);
    const std::uint64_t* openA = planes.openOf(a);
    const std::uint64_t* zeroB = planes.zeroOf(b);
    const std::uint64_t* oneB = planes.oneOf(b);
    const std::uint64_t* openB = planes.openOf(b);
    int count = 0;
    for (int w = 0; w < planes.words; ++w) {
        if (((zeroA[w] & oneB[w]) | (oneA[w] & zeroB[w])) != 0) return -1;
        if (oppositeLabels && (openA[w] & openB[w]) != 0) return -1;
        count += __builtin_popcountll(openA[w] ^ openB[w]);
    }
    return count;
}

void setBit(std::uint64_t* row, int b)
{
    row[b >> 6] |= std::uint64_t{1} << (b & 63);
}

void clearBit(std::uint64_t* row, int b)
{
    row[b >> 6] &= ~(std::uint64_t{1} << (b & 63));
}

// Transposes a 64 x 64 bit matrix, bit c of word r being element (r, c).
void transpose64(std::uint64_t m[64])
{
    std::uint64_t mask = 0x00000000FFFFFFFFull;
    for (int j = 32; j != 0; j >>= 1, mask ^= mask << j) {
        for (int k = 0; k < 64; k = ((k | j) + 1) & ~j) {
            const std::uint64_t t = ((m[k] >> j) ^ m[k | j]) & mask;
            m[k] ^= t << j;
            m[k | j] ^= t;
        }
    }
}

// Completes a bitmap of which only the bits (a, b) with b < a are set: bit
// (b, a) becomes bit (a, b), 64 x 64 bits at a time.
void mirrorLowerBits(std::vector<std::uint64_t>& bits, int n, int words)
{
    std::uint64_t block[64];
    for (int r = 0; r < words; ++r) {
        for (int c = 0; c <= r; ++c) {
            for (int i = 0; i < 64; ++i) {
                const int a = 64 * r + i;
                block[i] = a < n ? bits[static_cast<std::size_t>(a) * words + c] : 0;
            }
            transpose64(block);
            for (int j = 0; j < 64; ++j) {
                const int b = 64 * c + j;
                if (b < n) bits[static_cast<std::size_t>(b) * words + r] |= block[j];
            }
        }
    }
}

// Room for every part of a set of the structure's shape.
void sizeSet(const DistanceStructure& distances, DistanceSet& set)
{
    const int n = distances.slotCount;
    const std::size_t cells = DistanceStructure::rowStart(n);
    if (distances.narrow) set.narrowEntries.resize(cells);
    else set.wideEntries.resize(cells);
    set.rowHistogram.resize(static_cast<std::size_t>(n) * distances.binsPerRow());
    set.histogram.resize(distances.binsPerRow());
    set.compatible.resize(static_cast<std::size_t>(n) * distances.wordsPerRow);
    set.blockHistogram.resize(distances.binsPerRow() * distances.positionBlocks);
}

std::uint16_t* rowBinsOf(const DistanceStructure& distances, DistanceSet& set, int a)
{
    return set.rowHistogram.data() + a * distances.binsPerRow();
}

// Adds the row histograms of the slots to the position blocks of the set.
void sumBlocks(const DistanceStructure& distances, DistanceSet& set, const std::vector<int>& slots,
               const std::vector<int>& slotPosition)
{
    const std::size_t bins = distances.binsPerRow();
    for (const int a : slots) {
        const std::uint16_t* row = rowBinsOf(distances, set, a);
        const int block = slotPosition[a] >> 6;
        for (std::size_t d = 0; d < bins; ++d) {
            if (row[d] != 0) set.blockHistogram[d * distances.positionBlocks + block] += row[d];
        }
    }
}

// Computes the pairs of the slots (ascending) into an empty set: entries,
// histograms and the bits (a, b) with b < a; the caller completes the bitmap.
template <typename Entry>
VELMORA_COUNTS_BITS void computePairs(const DistanceStructure& distances, DistanceSet& set, Entry* entries,
                                      const SitePlanes& planes, const std::vector<int>& slots,
                                      const std::vector<int>& label)
{
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const int a = slots[i];
        Entry* row = entries + DistanceStructure::rowStart(a);
        std::uint16_t* rowBins = rowBinsOf(distances, set, a);
        std::uint64_t* bitsA = distances.compatibleRow(set, a);
        const int labelA = label[a];
        for (std::size_t j = 0; j < i; ++j) {
            const int b = slots[j];
            const int d = planeDistance(planes, a, b, labelA == -label[b]);
            if (d < 0) continue;
            row[b] = static_cast<Entry>(d);
            ++set.histogram[d];
            ++rowBins[d];
            setBit(bitsA, b);
        }
    }
}

void computeSetPairs(const DistanceStructure& distances, DistanceSet& set, const SitePlanes& planes,
                     const std::vector<int>& slots, const std::vector<int>& label)
{
    if (distances.narrow) computePairs(distances, set, set.narrowEntries.data(), planes, slots, label);
    else computePairs(distances, set, set.wideEntries.data(), planes, slots, label);
}

bool anyWorkingPair(const DistanceStructure& distances)
{
    for (const std::int32_t bin : distances.working.histogram) {
        if (bin != 0) return true;
    }
    return false;
}

// Moves `count` pairs of class d of slot a's row between position blocks.
void addToBlock(DistanceStructure& distances, int a, int d, int count)
{
    const int block = distances.slotPosition[a] >> 6;
    distances.working.blockHistogram[static_cast<std::size_t>(d) * distances.positionBlocks + block] += count;
}

} // namespace

DistanceStructure createDistanceStructure(const HaplotypeList& initial)
{
    DistanceStructure distances;
    const int n = initial.slotCount;
    distances.slotCount = n;
    distances.length = initial.length;
    distances.wordsPerRow = (n + 63) / 64;
    distances.positionBlocks = (n + 63) / 64;
    distances.narrow = initial.length <= DistanceStructure::kNarrowLimit;

    auto set = std::make_shared<DistanceSet>();
    sizeSet(distances, *set);
    SitePlanes planes;
    fillSitePlanes(planes, initial);
    std::vector<int> slots(static_cast<std::size_t>(n));
    std::vector<int> identity(static_cast<std::size_t>(n));
    for (int a = 0; a < n; ++a) slots[a] = identity[a] = a;
    computeSetPairs(distances, *set, planes, slots, initial.label);
    mirrorLowerBits(set->compatible, n, distances.wordsPerRow);
    sumBlocks(distances, *set, slots, identity);
    distances.initial = std::move(set);
    distances.slotPosition = std::move(identity);
    return distances;
}

void clearDistances(DistanceStructure& distances)
{
    DistanceSet& working = distances.working;
    sizeSet(distances, working);
    std::fill(working.rowHistogram.begin(), working.rowHistogram.end(), 0);
    std::fill(working.histogram.begin(), working.histogram.end(), 0);
    std::fill(working.compatible.begin(), working.compatible.end(), 0);
    std::fill(working.blockHistogram.begin(), working.blockHistogram.end(), 0);
    distances.diagonalRestored = false;
}

void computeDistances(DistanceStructure& distances, const HaplotypeList& list)
{
    // A random collapse leaves no compatible pair, so the working set is
    // usually empty already.
    if (anyWorkingPair(distances) || distances.working.compatible.empty()) {
        clearDistances(distances);
    }
    distances.diagonalRestored = false;
    DistanceSet& working = distances.working;
    distances.slotPosition = list.position;

    SitePlanes& planes = distances.planes;
    resizeSitePlanes(planes, list.slotCount, list.length);
    // Each pair of live slots once, in the row of the larger slot; taken in
    // slot order so that rows and planes are read front to back.
    std::vector<int>& live = distances.liveSlots;
    live.assign(list.order.begin(), list.order.begin() + list.liveCount);
    std::sort(live.begin(), live.end());
    for (const int s : live) refreshSitePlanes(planes, s, list.text[s].data(), list.length);
    computeSetPairs(distances, working, planes, live, list.label);

    // The other half of the bitmap: bit by bit for a few live slots, by
    // transposing blocks of the lower half for many.
    if (static_cast<std::size_t>(list.liveCount) * 4 >= static_cast<std::size_t>(distances.slotCount)) {
        mirrorLowerBits(working.compatible, distances.slotCount, distances.wordsPerRow);
    } else {
        for (const int a : live) {
            forEachCompatiblePartner(distances, a, [&](int b) {
                if (b < a) setBit(distances.compatibleRow(working, b), a);
            });
        }
    }
    sumBlocks(distances, working, live, distances.slotPosition);
}

void restoreDistances(DistanceStructure& distances)
{
    distances.working = *distances.initial;
    for (int a = 0; a < distances.slotCount; ++a) distances.slotPosition[a] = a;
    distances.diagonalRestored = true;
}

void setWorkingDistance(DistanceStructure& distances, int a, int b, int d)
{
    const int hi = std::max(a, b);
    const int lo = std::min(a, b);
    DistanceSet& working = distances.working;
    std::uint16_t* rowBins = rowBinsOf(distances, working, hi);
    std::uint64_t* bitsHi = distances.compatibleRow(working, hi);
    if (DistanceStructure::bitOf(bitsHi, lo)) {
        const int old = distances.entry(working, hi, lo);
        --rowBins[old];
        --working.histogram[old];
        addToBlock(distances, hi, old, -1);
    }
    if (d >= 0) {
        distances.setEntry(working, hi, lo, d);
        ++rowBins[d];
        ++working.histogram[d];
        addToBlock(distances, hi, d, 1);
        setBit(bitsHi, lo);
        setBit(distances.compatibleRow(working, lo), hi);
    } else {
        clearBit(bitsHi, lo);
        clearBit(distances.compatibleRow(working, lo), hi);
    }
}

void changeWorkingDistance(DistanceStructure& distances, int hi, int lo, int old, int d)
{
    DistanceSet& working = distances.working;
    std::uint16_t* rowBins = rowBinsOf(distances, working, hi);
    --rowBins[old];
    --working.histogram[old];
    addToBlock(distances, hi, old, -1);
    if (d >= 0) {
        distances.setEntry(working, hi, lo, d);
        ++rowBins[d];
        ++working.histogram[d];
        addToBlock(distances, hi, d, 1);
    } else {
        clearBit(distances.compatibleRow(working, hi), lo);
        clearBit(distances.compatibleRow(working, lo), hi);
    }
}

void listCompatiblePartners(const DistanceStructure& distances, int a, std::vector<int>& partners)
{
    partners.clear();
    forEachCompatiblePartner(distances, a, [&](int b) { partners.push_back(b); });
}

void removeWorkingSlot(DistanceStructure& distances, int slot)
{
    DistanceSet& working = distances.working;
    std::vector<int>& partners = distances.partners;
    listCompatiblePartners(distances, slot, partners);
    const std::size_t count = partners.size();
    for (std::size_t k = 0; k < count; ++k) {
        if (k + kPrefetchAhead < count) {
            const int ahead = partners[k + kPrefetchAhead];
            distances.prefetchEntry(slot, ahead);
            __builtin_prefetch(distances.compatibleRow(working, ahead) + (slot >> 6));
        }
        const int i = partners[k];
        const int hi = std::max(slot, i);
        const int lo = std::min(slot, i);
        const int d = distances.entry(working, hi, lo);
        --rowBinsOf(distances, working, hi)[d];
        --working.histogram[d];
        addToBlock(distances, hi, d, -1);
        clearBit(distances.compatibleRow(working, i), slot);
    }
    std::uint64_t* row = distances.compatibleRow(working, slot);
    std::fill(row, row + distances.wordsPerRow, 0);
}

void placeSlot(DistanceStructure& distances, int slot, int position)
{
    const int from = distances.slotPosition[slot] >> 6;
    const int to = position >> 6;
    if (from != to) {
        const std::uint16_t* row = distances.rowHistogramOf(slot);
        for (std::size_t d = 0; d < distances.binsPerRow(); ++d) {
            if (row[d] == 0) continue;
            std::int32_t* bins = distances.working.blockHistogram.data() + d * distances.positionBlocks;
            bins[from] -= row[d];
            bins[to] += row[d];
        }
    }
    distances.slotPosition[slot] = position;
}

void followOrder(DistanceStructure& distances, const std::vector<int>& order)
{
    for (int p = 0; p < distances.slotCount; ++p) distances.slotPosition[order[p]] = p;
    DistanceSet& working = distances.working;
    std::fill(working.blockHistogram.begin(), working.blockHistogram.end(), 0);
    sumBlocks(distances, working, order, distances.slotPosition);
}
