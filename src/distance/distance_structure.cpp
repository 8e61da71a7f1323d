#include "distance/distance_structure.hpp"

#include "data/site_planes.hpp"

#include <algorithm>
#include <cstring>

namespace {

void setBit(std::uint64_t* row, int b)
{
    row[b >> 6] |= std::uint64_t{1} << (b & 63);
}

// Room for histograms of the structure's shape, every bin 0.
void clearHistograms(const DistanceStructure& distances, DistanceHistograms& set)
{
    set.rowHistogram.assign(static_cast<std::size_t>(distances.slotCount) * distances.binsPerRow(), 0);
    set.histogram.assign(distances.binsPerRow(), 0);
    set.blockHistogram.assign(distances.binsPerRow() * distances.positionBlocks, 0);
}

std::uint16_t* rowBinsOf(const DistanceStructure& distances, DistanceHistograms& set, int a)
{
    return set.rowHistogram.data() + a * distances.binsPerRow();
}

// Adds the row histograms of the slots to the position blocks of the set.
void sumBlocks(const DistanceStructure& distances, DistanceHistograms& set, const std::vector<int>& slots,
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

// Counts every pair of slots of the initial list into empty histograms and
// sets both bits, (a, b) and (b, a), of the compatible pairs.
template <int Words>
inline __attribute__((always_inline)) void countAllPairsOf(const DistanceStructure& distances,
                                                           DistanceHistograms& set, const SitePlanes& planes,
                                                           const std::vector<int>& label,
                                                           std::vector<std::uint64_t>& bitmap)
{
    // Rows in tiles of 16, so that the planes of the smaller slots are read
    // once per tile rather than once per row.
    constexpr int kTile = 16;
    const int n = distances.slotCount;
    // Every array through a local pointer, so that a bin written does not
    // make the compiler read the structures' fields again.
    const int* labels = label.data();
    std::int32_t* histogram = set.histogram.data();
    std::uint64_t* bits = bitmap.data();
    const auto wordsPerRow = static_cast<std::size_t>(distances.wordsPerRow);
    const std::uint64_t* planeBits = planes.bits.data();
    constexpr std::size_t kStride = 3 * static_cast<std::size_t>(Words);
    for (int first = 0; first < n; first += kTile) {
        const int last = std::min(n, first + kTile);
        for (int b = 0; b < last - 1; ++b) {
            const int labelB = labels[b];
            const std::uint64_t* pb = planeBits + static_cast<std::size_t>(b) * kStride;
            for (int a = std::max(first, b + 1); a < last; ++a) {
                int d;
                if constexpr (Words > 0) {
                    const std::uint64_t* pa = planeBits + static_cast<std::size_t>(a) * kStride;
                    // Most pairs clash in their first word: the labels are read past it.
                    if (((pa[0] & pb[Words]) | (pa[Words] & pb[0])) != 0) continue;
                    d = slotPlanesDistance<Words>(pa, pb, labels[a] == -labelB);
                } else {
                    d = planeDistance(planes, a, b, labels[a] == -labelB);
                }
                if (d < 0) continue;
                ++histogram[d];
                ++rowBinsOf(distances, set, a)[d];
                setBit(bits + static_cast<std::size_t>(a) * wordsPerRow, b);
                setBit(bits + static_cast<std::size_t>(b) * wordsPerRow, a);
            }
        }
    }
}

VELMORA_COUNTS_BITS void countAllPairs(const DistanceStructure& distances, DistanceHistograms& set,
                                       const SitePlanes& planes, const std::vector<int>& label,
                                       std::vector<std::uint64_t>& bitmap)
{
    switch (planes.words) {
    case 1: countAllPairsOf<1>(distances, set, planes, label, bitmap); break;
    case 2: countAllPairsOf<2>(distances, set, planes, label, bitmap); break;
    default: countAllPairsOf<0>(distances, set, planes, label, bitmap); break;
    }
}

// Counts the pairs of live slots of a working list into empty histograms,
// position blocks included (by the slots' positions in the structure),
// visiting only the pairs that were compatible in the initial list, and
// sets the bits of each compatible pair in both its rows of the working
// sieve (the live slots ranked in index order, `live` ascending).
template <int Words>
inline __attribute__((always_inline)) void countLivePairsOf(DistanceStructure& distances, DistanceHistograms& set,
                                                            const SitePlanes& planes, const std::vector<int>& live,
                                                            const std::vector<int>& label)
{
    // Every array read or written through a local pointer: a store to a
    // bin or a sieve word would otherwise make the compiler read the
    // structures' fields, and slot a's planes, again.
    const std::uint64_t* liveBits = distances.liveBySlot.data();
    const int* rankOf = distances.rankOf.data();
    const int* labels = label.data();
    std::uint64_t* sieve = distances.partnerRows.data();
    const auto rankWords = static_cast<std::size_t>(distances.rankWords);
    std::int32_t* histogram = set.histogram.data();
    const auto positionBlocks = static_cast<std::size_t>(distances.positionBlocks);
    const std::uint64_t* bits = planes.bits.data();
    constexpr std::size_t kStride = 3 * static_cast<std::size_t>(Words);
    constexpr std::size_t kHeld = Words > 0 ? kStride : 1;
    for (const int a : live) {
        std::uint16_t* rowBins = rowBinsOf(distances, set, a);
        const std::uint64_t* row = distances.compatibleRow(a);
        const int ra = rankOf[a];
        std::uint64_t* sieveRow = sieve + static_cast<std::size_t>(ra) * rankWords;
        // Bit (b, a) of a pair lies in this word of b's row.
        std::uint64_t* mirrorWord = sieve + (ra >> 6);
        const std::uint64_t mirrorBit = std::uint64_t{1} << (ra & 63);
        const int labelA = labels[a];
        std::int32_t* blockBins = set.blockHistogram.data() + (distances.slotPosition[a] >> 6);
        std::uint64_t planesA[kHeld];
        if constexpr (Words > 0) std::copy_n(bits + static_cast<std::size_t>(a) * kStride, kStride, planesA);
        // The pairs with the live slots b < a of one word of a's row.
        const auto countWord = [&](int w, std::uint64_t word) __attribute__((always_inline)) {
            for (; word != 0; word &= word - 1) {
                const int b = w * 64 + __builtin_ctzll(word);
                int d;
                if constexpr (Words > 0) {
                    const std::uint64_t* pb = bits + static_cast<std::size_t>(b) * kStride;
                    // Most pairs clash in their first word: the labels are read past it.
                    if (((planesA[0] & pb[Words]) | (planesA[Words] & pb[0])) != 0) continue;
                    d = slotPlanesDistance<Words>(planesA, pb, labelA == -labels[b]);
                } else {
                    d = planeDistance(planes, a, b, labelA == -labels[b]);
                }
                if (d < 0) continue;
                ++histogram[d];
                ++rowBins[d];
                ++blockBins[static_cast<std::size_t>(d) * positionBlocks];
                const int rb = rankOf[b];
                setBit(sieveRow, rb);
                mirrorWord[static_cast<std::size_t>(rb) * rankWords] |= mirrorBit;
            }
        };
        const int lastWord = a >> 6;
        for (int w = 0; w < lastWord; ++w) countWord(w, row[w] & liveBits[w]);
        countWord(lastWord, row[lastWord] & liveBits[lastWord] & ((std::uint64_t{1} << (a & 63)) - 1));
    }
}

VELMORA_COUNTS_BITS void countLivePairs(DistanceStructure& distances, DistanceHistograms& set,
                                        const SitePlanes& planes, const std::vector<int>& live,
                                        const std::vector<int>& label)
{
    switch (planes.words) {
    case 1: countLivePairsOf<1>(distances, set, planes, live, label); break;
    case 2: countLivePairsOf<2>(distances, set, planes, live, label); break;
    default: countLivePairsOf<0>(distances, set, planes, live, label); break;
    }
}

// Every row of the working sieve becomes the initial one again.
void renewSieve(DistanceStructure& distances)
{
    distances.everyRowOwn = false;
    const std::size_t size = static_cast<std::size_t>(distances.slotCount) * distances.wordsPerRow;
    if (distances.partnerRows.size() != size) {
        distances.partnerRows.assign(size, 0);
        distances.partnerEpoch.assign(static_cast<std::size_t>(distances.slotCount), 0);
    }
    if (++distances.epoch == 0) {
        std::fill(distances.partnerEpoch.begin(), distances.partnerEpoch.end(), 0);
        distances.epoch = 1;
    }
}

// Every slot holds its index as rank, and is live.
void rankEverySlot(DistanceStructure& distances)
{
    const int n = distances.slotCount;
    distances.rankOf.resize(static_cast<std::size_t>(n));
    distances.slotOfRank.resize(static_cast<std::size_t>(n));
    for (int s = 0; s < n; ++s) distances.rankOf[s] = distances.slotOfRank[s] = s;
    distances.rankCount = n;
    distances.rankWords = distances.wordsPerRow;
    distances.liveSlots.assign(static_cast<std::size_t>(distances.wordsPerRow), 0);
    for (int s = 0; s < n; ++s) setBit(distances.liveSlots.data(), s);
}

// Only the slots of `live` (ascending) hold ranks, in their order, and all
// are live.
void rankLiveSlots(DistanceStructure& distances, const std::vector<int>& live)
{
    std::fill(distances.rankOf.begin(), distances.rankOf.end(), -1);
    distances.rankCount = static_cast<int>(live.size());
    distances.rankWords = (distances.rankCount + 63) / 64;
    for (int r = 0; r < distances.rankCount; ++r) {
        distances.rankOf[live[r]] = r;
        distances.slotOfRank[r] = live[r];
    }
    distances.liveSlots.assign(static_cast<std::size_t>(distances.rankWords), 0);
    for (int r = 0; r < distances.rankCount; ++r) setBit(distances.liveSlots.data(), r);
    distances.liveBySlot.assign(static_cast<std::size_t>(distances.wordsPerRow), 0);
    for (const int s : live) setBit(distances.liveBySlot.data(), s);
}

} // namespace

int workingDistance(const DistanceStructure& distances, const SitePlanes& planes, const std::vector<int>& label,
                    int a, int b)
{
    if (!distances.isLive(a) || !distances.isLive(b)) return -1;
    return slotDistance(planes, label, a, b);
}

DistanceStructure createDistanceStructure(const HaplotypeList& initial)
{
    DistanceStructure distances;
    const int n = initial.slotCount;
    distances.slotCount = n;
    distances.length = initial.length;
    distances.wordsPerRow = (n + 63) / 64;
    distances.positionBlocks = (n + 63) / 64;

    auto set = std::make_shared<InitialDistances>();
    clearHistograms(distances, set->histograms);
    set->compatible.assign(static_cast<std::size_t>(n) * distances.wordsPerRow, 0);
    SitePlanes planes;
    fillSitePlanes(planes, initial);
    std::vector<int> identity(static_cast<std::size_t>(n));
    for (int a = 0; a < n; ++a) identity[a] = a;
    countAllPairs(distances, set->histograms, planes, initial.label, set->compatible);
    sumBlocks(distances, set->histograms, identity, identity);
    distances.initial = std::move(set);
    distances.slotPosition = std::move(identity);
    distances.liveCount = n;
    rankEverySlot(distances);
    renewSieve(distances);
    return distances;
}

void clearDistances(DistanceStructure& distances)
{
    clearHistograms(distances, distances.working);
    distances.diagonalRestored = false;
}

namespace {

// Whether the live part of the list is the input of the last computation.
bool sameAsLastComputed(const ComputedDistances& last, const HaplotypeList& list)
{
    const auto live = static_cast<std::size_t>(list.liveCount);
    const auto length = static_cast<std::size_t>(list.length);
    if (last.order.size() != live || last.texts.size() != live * length) return false;
    for (std::size_t p = 0; p < live; ++p) {
        const int s = list.order[p];
        if (last.order[p] != s || last.label[p] != list.label[s]
            || list.text[s].compare(0, length, last.texts, p * length, length) != 0) {
            return false;
        }
    }
    return true;
}

// Keeps the input and the result of the computation just made.
void keepComputed(DistanceStructure& distances, const HaplotypeList& list)
{
    ComputedDistances& last = distances.lastComputed;
    const auto live = static_cast<std::size_t>(list.liveCount);
    const std::size_t bins = distances.binsPerRow();
    last.order.assign(list.order.begin(), list.order.begin() + list.liveCount);
    last.label.resize(live);
    last.texts.resize(live * static_cast<std::size_t>(list.length));
    for (std::size_t p = 0; p < live; ++p) {
        const int s = list.order[p];
        last.label[p] = list.label[s];
        last.texts.replace(p * list.length, list.length, list.text[s], 0, list.length);
    }
    last.live = distances.liveInOrder;
    last.rows.resize(live * bins);
    for (std::size_t r = 0; r < live; ++r) {
        std::copy_n(distances.rowHistogramOf(last.live[r]), bins, last.rows.data() + r * bins);
    }
    last.histogram = distances.working.histogram;
    last.blockHistogram = distances.working.blockHistogram;
    last.sieve.assign(distances.partnerRows.begin(),
                      distances.partnerRows.begin() + static_cast<std::size_t>(distances.rankCount) * distances.rankWords);
}

// Copies the kept result into an empty working set.
void takeComputed(DistanceStructure& distances)
{
    const ComputedDistances& last = distances.lastComputed;
    const std::size_t bins = distances.binsPerRow();
    distances.liveInOrder = last.live;
    rankLiveSlots(distances, last.live);
    renewSieve(distances);
    for (std::size_t r = 0; r < last.live.size(); ++r) {
        std::copy_n(last.rows.data() + r * bins, bins,
                    distances.working.rowHistogram.data() + static_cast<std::size_t>(last.live[r]) * bins);
    }
    distances.working.histogram = last.histogram;
    distances.working.blockHistogram = last.blockHistogram;
    std::copy(last.sieve.begin(), last.sieve.end(), distances.partnerRows.begin());
    std::fill_n(distances.partnerEpoch.begin(), distances.rankCount, distances.epoch);
    distances.everyRowOwn = true;
}

} // namespace

void computeDistances(DistanceStructure& distances, const HaplotypeList& list)
{
    // A random collapse leaves no compatible pair, so the working set is
    // usually empty already.
    DistanceHistograms& working = distances.working;
    const bool empty = !working.histogram.empty()
                       && std::all_of(working.histogram.begin(), working.histogram.end(),
                                      [](std::int32_t bin) { return bin == 0; });
    if (!empty) clearDistances(distances);
    distances.diagonalRestored = false;
    distances.slotPosition = list.position;
    distances.liveCount = list.liveCount;
    if (sameAsLastComputed(distances.lastComputed, list)) {
        takeComputed(distances);
        return;
    }

    SitePlanes& planes = distances.planes;
    resizeSitePlanes(planes, list.slotCount, list.length);
    // Each pair of live slots once, in the row of the larger slot; taken in
    // slot order so that rows and planes are read front to back.
    std::vector<int>& live = distances.liveInOrder;
    live.assign(list.order.begin(), list.order.begin() + list.liveCount);
    std::sort(live.begin(), live.end());
    // The working sieve holds the live slots only, with their compatible
    // pairs: every row is its own.
    rankLiveSlots(distances, live);
    renewSieve(distances);
    std::fill_n(distances.partnerRows.begin(), static_cast<std::size_t>(distances.rankCount) * distances.rankWords, 0);
    for (const int s : live) refreshSitePlanes(planes, s, list.text[s].data(), list.length);
    countLivePairs(distances, working, planes, live, list.label);
    std::fill_n(distances.partnerEpoch.begin(), distances.rankCount, distances.epoch);
    distances.everyRowOwn = true;
    keepComputed(distances, list);
}

void restoreDistances(DistanceStructure& distances)
{
    distances.working = distances.initial->histograms;
    for (int a = 0; a < distances.slotCount; ++a) distances.slotPosition[a] = a;
    distances.liveCount = distances.slotCount;
    rankEverySlot(distances);
    renewSieve(distances);
    distances.diagonalRestored = true;
}

namespace {

// Calls visit(d, count) for every bin d of a row that is not 0, in order;
// four bins at a time are passed over when all are 0 (a row holds few
// classes).
template <typename Visit>
inline __attribute__((always_inline)) void forEachCountedBin(const std::uint16_t* row, std::size_t bins,
                                                             Visit&& visit)
{
    std::size_t d = 0;
    for (; d + 4 <= bins; d += 4) {
        std::uint64_t four;
        std::memcpy(&four, row + d, sizeof four);
        if (four == 0) continue;
        for (std::size_t k = d; k < d + 4; ++k) {
            if (row[k] != 0) visit(k, row[k]);
        }
    }
    for (; d < bins; ++d) {
        if (row[d] != 0) visit(d, row[d]);
    }
}

} // namespace

void takeOutRow(DistanceStructure& distances, int a)
{
    DistanceHistograms& working = distances.working;
    std::uint16_t* row = rowBinsOf(distances, working, a);
    std::int32_t* histogram = working.histogram.data();
    std::int32_t* blocks = working.blockHistogram.data() + (distances.slotPosition[a] >> 6);
    const auto positionBlocks = static_cast<std::size_t>(distances.positionBlocks);
    forEachCountedBin(row, distances.binsPerRow(), [&](std::size_t d, int count) __attribute__((always_inline)) {
        histogram[d] -= count;
        blocks[d * positionBlocks] -= count;
        row[d] = 0;
    });
}

void followRemoval(DistanceStructure& distances, int slot, int moved, int position)
{
    --distances.liveCount;
    const int r = distances.rankOf[slot];
    distances.liveSlots[r >> 6] &= ~(std::uint64_t{1} << (r & 63));
    placeSlot(distances, moved, position);
    distances.slotPosition[slot] = distances.liveCount;  // its row holds no pair to move
}

void placeSlot(DistanceStructure& distances, int slot, int position)
{
    const int from = distances.slotPosition[slot] >> 6;
    const int to = position >> 6;
    if (from != to) {
        std::int32_t* blocks = distances.working.blockHistogram.data();
        const auto positionBlocks = static_cast<std::size_t>(distances.positionBlocks);
        forEachCountedBin(distances.rowHistogramOf(slot), distances.binsPerRow(),
                          [&](std::size_t d, int count) __attribute__((always_inline)) {
                              std::int32_t* bins = blocks + d * positionBlocks;
                              bins[from] -= count;
                              bins[to] += count;
                          });
    }
    distances.slotPosition[slot] = position;
}

void copyInitialRow(DistanceStructure& distances, int a, std::uint64_t* row)
{
    // Only after a restore: ranks are indices, rows as long as the initial ones.
    std::copy_n(distances.compatibleRow(a), distances.wordsPerRow, row);
    distances.partnerEpoch[distances.rankOf[a]] = distances.epoch;
}

int listLivePartners(const DistanceStructure& distances, int a, std::vector<int>& partners)
{
    if (partners.size() < static_cast<std::size_t>(distances.rankCount)) partners.resize(distances.rankCount);
    int* out = partners.data();
    int count = 0;
    const std::uint64_t* row = distances.partnerRow(a);
    const std::uint64_t* live = distances.liveSlots.data();
    const int* slotOfRank = distances.slotOfRank.data();
    for (int w = 0; w < distances.rankWords; ++w) {
        for (std::uint64_t bits = row[w] & live[w]; bits != 0; bits &= bits - 1) {
            out[count++] = slotOfRank[w * 64 + __builtin_ctzll(bits)];
        }
    }
    return count;
}
