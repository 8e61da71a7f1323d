#include "search/collapse.hpp"

#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"

#include <algorithm>
#include <iterator>
#include <cstdlib>

namespace {

// Moves slot `b`, at `removePosition`, to the first position past the live
// part, and the last live slot into its place; returns that slot.
int retireSlot(HaplotypeList& list, int b, int removePosition)
{
    --list.liveCount;
    const int last = list.order[list.liveCount];
    list.order[removePosition] = last;
    list.order[list.liveCount] = b;
    list.position[last] = removePosition;
    list.position[b] = list.liveCount;
    return last;
}

// How many partners ahead the partner loop fetches their data.
constexpr std::size_t kPrefetchAhead = 8;

// The sites of `fixed`, ascending, with the value on the kept side at each.
int listSites(const FixedSites& fixed, std::vector<int>& sites, std::vector<char>& values)
{
    int count = 0;
    for (const int w : fixed.words) {
        for (std::uint64_t bits = fixed.sites[w]; bits != 0; bits &= bits - 1) {
            const int bit = __builtin_ctzll(bits);
            sites[count] = w * 64 + bit;
            values[count] = ((fixed.one[w] >> bit) & 1) != 0 ? '1' : '0';
            ++count;
        }
    }
    return count;
}

// Step 1 of a collapse of B into A: the sites where A is open and B
// determined (A's group takes B's values there), and where B is open and A
// determined (B's group takes A's values), as planes, and with `lists` as
// the state's site lists as well.
void listFixedSites(SearchState& state, int a, int b, bool lists)
{
    const SitePlanes& planes = state.currentPlanes;
    const SlotPlanes slotA = planes.slotOf(a);
    const SlotPlanes slotB = planes.slotOf(b);
    FixedSites& first = state.firstFixed;
    FixedSites& second = state.secondFixed;
    first.words.clear();
    second.words.clear();
    // Every word written, those without a site as 0.
    for (int w = 0; w < planes.words; ++w) {
        const std::uint64_t takesB = slotA.open[w] & ~slotB.open[w];
        const std::uint64_t takesA = slotB.open[w] & ~slotA.open[w];
        first.sites[w] = takesB;
        first.zero[w] = takesB & slotB.zero[w];
        first.one[w] = takesB & slotB.one[w];
        second.sites[w] = takesA;
        second.zero[w] = takesA & slotA.zero[w];
        second.one[w] = takesA & slotA.one[w];
        if (takesB != 0) first.words.push_back(w);
        if (takesA != 0) second.words.push_back(w);
    }
    if (lists) {
        state.firstSiteCount = listSites(first, state.firstSites, state.firstValues);
        state.secondSiteCount = listSites(second, state.secondSites, state.secondValues);
    } else {
        // Only whether there are any.
        state.firstSiteCount = first.words.empty() ? 0 : 1;
        state.secondSiteCount = second.words.empty() ? 0 : 1;
    }
}

// The planes of a slot of the group take over the group's sites.
void takeOverSites(SitePlanes& planes, int x, bool sameSide, const FixedSites& fixed)
{
    std::uint64_t* zero = planes.zeroOf(x);
    std::uint64_t* one = planes.oneOf(x);
    std::uint64_t* open = planes.openOf(x);
    const std::vector<std::uint64_t>& valueZero = sameSide ? fixed.zero : fixed.one;
    const std::vector<std::uint64_t>& valueOne = sameSide ? fixed.one : fixed.zero;
    for (const int w : fixed.words) {
        zero[w] |= valueZero[w];
        one[w] |= valueOne[w];
        open[w] &= ~fixed.sites[w];
    }
}

// Both distances of a pair of live slots: before the collapse (returned in
// `before`) and now. A slot of a group that took over sites had them open
// before (`reopenX`, `reopenY`: those sites, or null), and a slot of B's
// group had B's label; the caller says whether the labels were and are
// opposite. The two differ only in the words of the sites taken over
// (`changedWords`, with `unchanged` all ones in the other words and zero in
// those), which are compared twice.
inline __attribute__((always_inline)) int distanceBeforeAndNow(const SitePlanes& planes, int x,
                                                               const std::uint64_t* reopenX, int y,
                                                               const std::uint64_t* reopenY, bool oppositeBefore,
                                                               bool oppositeNow, const std::vector<int>& changedWords,
                                                               const std::uint64_t* unchanged, int& before)
{
    const auto [zeroX, oneX, openX] = planes.slotOf(x);
    const auto [zeroY, oneY, openY] = planes.slotOf(y);
    std::uint64_t clashNow = 0, sharedNow = 0, clashKept = 0, sharedKept = 0;
    int countNow = 0;
    for (int w = 0; w < planes.words; ++w) {
        const std::uint64_t clash = (zeroX[w] & oneY[w]) | (oneX[w] & zeroY[w]);
        const std::uint64_t shared = openX[w] & openY[w];
        clashNow |= clash;
        sharedNow |= shared;
        clashKept |= clash & unchanged[w];
        sharedKept |= shared & unchanged[w];
        countNow += __builtin_popcountll(openX[w] ^ openY[w]);
    }
    std::uint64_t clashBefore = clashKept, sharedBefore = sharedKept;
    int countBefore = countNow;
    for (const int w : changedWords) {
        const std::uint64_t maskX = reopenX == nullptr ? 0 : reopenX[w];
        const std::uint64_t maskY = reopenY == nullptr ? 0 : reopenY[w];
        const std::uint64_t oldZeroX = zeroX[w] & ~maskX, oldOneX = oneX[w] & ~maskX, oldOpenX = openX[w] | maskX;
        const std::uint64_t oldZeroY = zeroY[w] & ~maskY, oldOneY = oneY[w] & ~maskY, oldOpenY = openY[w] | maskY;
        clashBefore |= (oldZeroX & oldOneY) | (oldOneX & oldZeroY);
        sharedBefore |= oldOpenX & oldOpenY;
        countBefore += __builtin_popcountll(oldOpenX ^ oldOpenY) - __builtin_popcountll(openX[w] ^ openY[w]);
    }
    before = clashBefore != 0 || (oppositeBefore && sharedBefore != 0) ? -1 : countBefore;
    return clashNow != 0 || (oppositeNow && sharedNow != 0) ? -1 : countNow;
}

// What a collapse of B into A changed, for recounting the distances: the
// groups' marks in state.groupMark (1 for A's group, 2 for B's), the sites
// each group took over, and the labels.
struct CollapseChange {
    const SearchState& state;
    int labelA, labelB;

    const std::uint64_t* reopened(int slot) const
    {
        const int mark = state.groupMark[slot];
        if (mark == 1 && state.firstSiteCount > 0) return state.firstFixed.sites.data();
        if (mark == 2 && state.secondSiteCount > 0) return state.secondFixed.sites.data();
        return nullptr;
    }
    int labelBefore(int slot) const
    {
        const int label = state.current.label[slot];
        if (state.groupMark[slot] != 2) return label;
        return label == labelA ? labelB : -labelB;
    }
};

// Recounts one pair whose distance may have changed.
inline __attribute__((always_inline)) void recountPair(DistanceStructure& distances, const CollapseChange& change,
                                                       int x, int y)
{
    const std::vector<int>& label = change.state.current.label;
    int before = 0;
    const int now = distanceBeforeAndNow(change.state.currentPlanes, x, change.reopened(x), y, change.reopened(y),
                                         change.labelBefore(x) == -change.labelBefore(y), label[x] == -label[y],
                                         change.state.changedWords, change.state.unchangedWords.data(), before);
    if (before != now) moveWorkingPair(distances, x, y, before, now);
    if (now < 0) {
        // Out of both rows: the sieve holds only compatible pairs.
        dropPartner(distances, x, y);
        dropPartner(distances, y, x);
    }
}

// Recounts the pairs of the members of a group that took over sites with
// their live partners; a pair of two such members is recounted once, from
// the larger slot. `Words` is the number of words per plane (0: any): the
// distances before and now are counted over every word, the sites taken
// over put back as open for "before" (they lie only in the changed words).
// The working sieve holds exactly the compatible pairs of live slots (a pair
// found incompatible leaves both rows), so every partner listed was
// compatible with the member before the collapse, and:
// - a partner of the member's own group (`ownMark`) is unchanged: both were
//   undetermined at the sites taken over and took the same values there;
// - a partner outside both groups and outside A's component (all of A's
//   component is marked when A's group was gathered, and so when it is this
//   group) keeps its planes and stays in another component: the pair clashes
//   now or not, and its distance before is that of the member's open sites
//   with the sites taken over put back.
template <int Words>
inline __attribute__((always_inline)) void recountGroupPairsOf(SearchState& state, DistanceStructure& distances,
                                                               const CollapseChange& change,
                                                               const std::vector<int>& group, int count,
                                                               std::uint8_t ownMark)
{
    const SitePlanes& planes = state.currentPlanes;
    const int words = Words > 0 ? Words : planes.words;
    // A slot's planes found with the number of words known when it is: read
    // from the planes, it would be read again after every bin written.
    const std::uint64_t* bits = planes.bits.data();
    const auto slotAt = [&](int slot) __attribute__((always_inline)) {
        if constexpr (Words > 0) {
            const std::uint64_t* p = bits + static_cast<std::size_t>(slot) * (3 * Words);
            return SlotPlanes{p, p + Words, p + 2 * Words};
        } else {
            return planes.slotOf(slot);
        }
    };
    const bool firstChanged = state.firstSiteCount > 0;
    const bool secondChanged = state.secondSiteCount > 0;
    const std::uint64_t* none = state.noSites.data();
    const std::uint64_t* reopenOf[3] = {none, firstChanged ? state.firstFixed.sites.data() : none,
                                        secondChanged ? state.secondFixed.sites.data() : none};
    const std::vector<int>& label = state.current.label;
    const std::uint8_t* groupMark = state.groupMark.data();
    std::vector<int>& partners = distances.partners;
    const bool outsideIsOtherComponent = ownMark == 1 || state.firstGroupCount > 0;
    DeferredMoves moves(distances);
    DeferredDrops drops(distances);
    const int* rankOf = distances.rankOf.data();
    for (int gi = 0; gi < count; ++gi) {
        const int x = group[gi];
        const SlotPlanes px = slotAt(x);
        const std::uint64_t* reopenX = reopenOf[groupMark[x]];
        const int labelX = label[x];
        const int labelBeforeX = change.labelBefore(x);
        // The member's planes, and its open sites before the collapse, held
        // for the loop over its partners (read through the pointers, they
        // would be read again after every bit the loop clears).
        constexpr int kHeld = Words > 0 ? Words : 1;
        std::uint64_t zeroX[kHeld], oneX[kHeld], openX[kHeld], openBeforeX[kHeld];
        if constexpr (Words > 0) {
            for (int w = 0; w < Words; ++w) {
                zeroX[w] = px.zero[w];
                oneX[w] = px.one[w];
                openX[w] = px.open[w];
                openBeforeX[w] = px.open[w] | reopenX[w];
            }
        }
        const auto size = static_cast<std::size_t>(listLivePartners(distances, x, partners));
        // The member itself stands for the partners past the last, so that
        // the data of the partner some places ahead is fetched without a test.
        if (partners.size() < size + kPrefetchAhead) partners.resize(size + kPrefetchAhead);
        std::fill_n(partners.begin() + static_cast<std::ptrdiff_t>(size), kPrefetchAhead, x);
        std::uint64_t* ownRow = nullptr;
        const int rankX = rankOf[x];
        const DeferredMoves::RowBins binsX = moves.rowBinsOf(x);
        // A pair found incompatible leaves both rows of the sieve.
        const auto dropPair = [&](int y) __attribute__((always_inline)) {
            if (ownRow == nullptr) ownRow = ownPartnerRow(distances, x);
            const int rank = rankOf[y];
            ownRow[rank >> 6] &= ~(std::uint64_t{1} << (rank & 63));
            drops.drop(y, rank, rankX);
        };
        for (std::size_t k = 0; k < size; ++k) {
            // A slot's three planes may straddle two lines.
            const std::uint64_t* ahead = slotAt(partners[k + kPrefetchAhead]).zero;
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + 3 * words - 1);
            const int y = partners[k];
            const int mark = groupMark[y];
            if (mark == ownMark) continue;
            if (mark == 0 && outsideIsOtherComponent) {
                const SlotPlanes py = slotAt(y);
                std::uint64_t clash = 0;
                int countNow = 0, countBefore = 0;
                if constexpr (Words > 0) {
#pragma GCC unroll 4
                    for (int w = 0; w < Words; ++w) {
                        clash |= (zeroX[w] & py.one[w]) | (oneX[w] & py.zero[w]);
                        countNow += __builtin_popcountll(openX[w] ^ py.open[w]);
                        countBefore += __builtin_popcountll(openBeforeX[w] ^ py.open[w]);
                    }
                } else {
                    for (int w = 0; w < words; ++w) {
                        clash |= (px.zero[w] & py.one[w]) | (px.one[w] & py.zero[w]);
                        countNow += __builtin_popcountll(px.open[w] ^ py.open[w]);
                        countBefore += __builtin_popcountll((px.open[w] | reopenX[w]) ^ py.open[w]);
                    }
                }
                // The pair's bin lies in x's row, at hand, when y is the smaller slot.
                if (clash == 0) {
                    if (countBefore != countNow) {
                        if (y < x) {
                            moves.moveNow(binsX, countBefore, countNow);
                        } else {
                            moves.move(x, y, countBefore, countNow);
                        }
                    }
                } else {
                    if (y < x) {
                        moves.moveNow(binsX, countBefore, -1);
                    } else {
                        moves.moveOut(x, y, countBefore);
                    }
                    dropPair(y);
                }
                continue;
            }
            if (y < x && ((mark == 1 && firstChanged) || (mark == 2 && secondChanged))) continue;
            const SlotPlanes py = slotAt(y);
            const std::uint64_t* reopenY = reopenOf[mark];
            std::uint64_t clashNow = 0, sharedNow = 0, clashBefore = 0, sharedBefore = 0;
            int countNow = 0, countBefore = 0;
            for (int w = 0; w < words; ++w) {
                clashNow |= (px.zero[w] & py.one[w]) | (px.one[w] & py.zero[w]);
                sharedNow |= px.open[w] & py.open[w];
                countNow += __builtin_popcountll(px.open[w] ^ py.open[w]);
                const std::uint64_t mx = reopenX[w], my = reopenY[w];
                const std::uint64_t zeroX = px.zero[w] & ~mx, oneX = px.one[w] & ~mx, openX = px.open[w] | mx;
                const std::uint64_t zeroY = py.zero[w] & ~my, oneY = py.one[w] & ~my, openY = py.open[w] | my;
                clashBefore |= (zeroX & oneY) | (oneX & zeroY);
                sharedBefore |= openX & openY;
                countBefore += __builtin_popcountll(openX ^ openY);
            }
            const int labelY = label[y];
            const int labelBeforeY = mark != 2 ? labelY : labelY == change.labelA ? change.labelB : -change.labelB;
            const int before =
                clashBefore != 0 || (labelBeforeX == -labelBeforeY && sharedBefore != 0) ? -1 : countBefore;
            const int now = clashNow != 0 || (labelX == -labelY && sharedNow != 0) ? -1 : countNow;
            if (before != now) moves.move(x, y, before, now);
            if (now < 0) dropPair(y);
        }
    }
}

VELMORA_COUNTS_BITS void recountGroupPairs(SearchState& state, DistanceStructure& distances,
                                           const CollapseChange& change, const std::vector<int>& group, int count,
                                           std::uint8_t ownMark)
{
    switch (state.currentPlanes.words) {
    case 1: recountGroupPairsOf<1>(state, distances, change, group, count, ownMark); break;
    case 2: recountGroupPairsOf<2>(state, distances, change, group, count, ownMark); break;
    default: recountGroupPairsOf<0>(state, distances, change, group, count, ownMark); break;
    }
}

// Brings the working histograms up to date after steps 5 and 6. Only pairs
// with a slot in a group that took over sites can have changed, and, when
// neither took over any, pairs of one slot of each group (which may have
// become mates in a component with undetermined sites).
VELMORA_COUNTS_BITS void recountChangedPairs(SearchState& state, DistanceStructure& distances, int labelA,
                                             int labelB, bool aHasTwo)
{
    const CollapseChange change{state, labelA, labelB};
    const bool firstChanged = state.firstSiteCount > 0;
    const bool secondChanged = state.secondSiteCount > 0;
    // The words that hold a site taken over by either group.
    std::vector<int>& changed = state.changedWords;
    changed.clear();
    std::merge(state.firstFixed.words.begin(), state.firstFixed.words.end(), state.secondFixed.words.begin(),
               state.secondFixed.words.end(), std::back_inserter(changed));
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    for (const int w : changed) state.unchangedWords[w] = 0;
    if (firstChanged) recountGroupPairs(state, distances, change, state.firstGroup, state.firstGroupCount, 1);
    if (secondChanged) recountGroupPairs(state, distances, change, state.secondGroup, state.secondGroupCount, 2);
    if (!firstChanged && !secondChanged && aHasTwo) {
        for (int gi = 0; gi < state.secondGroupCount; ++gi) {
            const int x = state.secondGroup[gi];
            for (int fi = 0; fi < state.firstGroupCount; ++fi) {
                const int y = state.firstGroup[fi];
                if (distances.initiallyCompatible(x, y)) recountPair(distances, change, x, y);
            }
        }
    }
    for (const int w : changed) state.unchangedWords[w] = ~std::uint64_t{0};
}

// Step 3: B's pairs leave the working histograms.
template <int Words>
inline __attribute__((always_inline)) void removeSlotPairsOf(SearchState& state, DistanceStructure& distances, int b)
{
    // The pairs with the smaller slots are the bins of B's own row.
    takeOutRow(distances, b);
    // The pairs with larger slots lie in their rows, one by one. The working
    // sieve holds only compatible pairs: each at the count of sites where
    // exactly one of the two is open.
    const SitePlanes& planes = state.currentPlanes;
    const std::uint64_t* openB = planes.openOf(b);
    constexpr int kHeld = Words > 0 ? Words : 1;
    std::uint64_t heldOpenB[kHeld];
    if constexpr (Words > 0) {
        for (int w = 0; w < Words; ++w) heldOpenB[w] = openB[w];
    }
    DeferredMoves moves(distances);
    // The visit is inlined by force: a lambda is compiled for the default
    // processor only, and would count bits by a library call.
    forEachLiveUpperPartner(distances, b, [&](int y) __attribute__((always_inline)) {
        moves.moveOut(b, y, openSitesApart<Words>(Words > 0 ? heldOpenB : openB, planes.openOf(y), planes.words));
    });
}

VELMORA_COUNTS_BITS void removeSlotPairs(SearchState& state, DistanceStructure& distances, int b)
{
    switch (state.currentPlanes.words) {
    case 1: removeSlotPairsOf<1>(state, distances, b); break;
    case 2: removeSlotPairsOf<2>(state, distances, b); break;
    default: removeSlotPairsOf<0>(state, distances, b); break;
    }
}

enum class DistanceUpkeep {
    Full,         // every changed distance follows the collapse
    RemovedSlot,  // only the removed slot's distances leave the working set
    None,         // the caller recomputes the working set afterwards
};

void collapse(SearchState& state, int keepPosition, int removePosition, DistanceStructure* distances,
              DistanceUpkeep upkeep, bool textsInStep)
{
    HaplotypeList& list = state.current;
    const int a = list.order[keepPosition];
    const int b = list.order[removePosition];
    const int labelA = list.label[a];
    const int labelB = list.label[b];

    // 1. The sites each slot has to take over from the other, found on the
    // planes: A's open sites where B is determined, and the other way round.
    listFixedSites(state, a, b, textsInStep);

    // 2. The live slots of both components, B left out. The order of the
    // members matters to nobody: each member's text and each pair's distance
    // changes on its own.
    const int magnitudeA = std::abs(labelA);
    const int magnitudeB = std::abs(labelB);
    auto gather = [&](int magnitude, std::vector<int>& group) {
        int count = 0;
        for (const int x : state.componentMembers[magnitude]) {
            if (x != b) group[count++] = x;
        }
        return count;
    };
    state.secondGroupCount = magnitudeB == magnitudeA ? 0 : gather(magnitudeB, state.secondGroup);
    // A's group changes when it takes over sites; its distances also change
    // when no group takes over any and B's group becomes its mates in a
    // component with undetermined sites (A's undetermined sites are the same
    // before and after then).
    const std::uint64_t* openA = state.currentPlanes.openOf(a);
    const bool aHasTwo = std::any_of(openA, openA + state.currentPlanes.words, [](std::uint64_t w) { return w != 0; });
    const bool firstNeeded = state.firstSiteCount > 0 || (textsInStep && upkeep != DistanceUpkeep::None)
                             || (upkeep == DistanceUpkeep::Full && state.secondSiteCount == 0 && aHasTwo
                                 && state.secondGroupCount > 0);
    state.firstGroupCount = firstNeeded ? gather(magnitudeA, state.firstGroup) : 0;

    // 3. B's distances leave the working set.
    if (upkeep != DistanceUpkeep::None) removeSlotPairs(state, *distances, b);

    // 4. B moves to the first position past the live part.
    const int last = retireSlot(list, b, removePosition);
    if (upkeep != DistanceUpkeep::None) followRemoval(*distances, b, last, removePosition);

    // 5. A's component takes B's values (mates the complement).
    auto fix = [&](int x, bool sameSide, const FixedSites& fixed, const std::vector<int>& sites,
                   const std::vector<char>& values, int siteCount) {
        takeOverSites(state.currentPlanes, x, sameSide, fixed);
        if (!textsInStep) {
            if (state.textBehind[x] == 0) {
                state.textBehind[x] = 1;
                state.textsBehind.push_back(x);
            }
            return;
        }
        char* textX = list.text[x].data();
        for (int k = 0; k < siteCount; ++k) textX[sites[k]] = sameSide ? values[k] : complement(values[k]);
    };
    if (state.firstSiteCount > 0) {
        for (int gi = 0; gi < state.firstGroupCount; ++gi) {
            const int x = state.firstGroup[gi];
            fix(x, list.label[x] == labelA, state.firstFixed, state.firstSites, state.firstValues,
                state.firstSiteCount);
        }
    }

    // 6. B's component takes A's values and joins A's component.
    for (int gi = 0; gi < state.secondGroupCount; ++gi) {
        const int x = state.secondGroup[gi];
        const bool sameSide = list.label[x] == labelB;
        if (state.secondSiteCount > 0) {
            fix(x, sameSide, state.secondFixed, state.secondSites, state.secondValues, state.secondSiteCount);
        }
        list.label[x] = sameSide ? labelA : -labelA;
    }

    // The index of live components follows: B leaves, B's component joins A's.
    {
        std::vector<int>& membersB = state.componentMembers[magnitudeB];
        const int index = state.memberIndex[b];
        membersB[index] = membersB.back();
        state.memberIndex[membersB[index]] = index;
        membersB.pop_back();
        if (magnitudeB != magnitudeA) {
            std::vector<int>& membersA = state.componentMembers[magnitudeA];
            for (const int x : membersB) {
                state.memberIndex[x] = static_cast<int>(membersA.size());
                membersA.push_back(x);
            }
            membersB.clear();
        }
    }

    if (upkeep != DistanceUpkeep::Full) return;

    // 8.-10. The distances of the pairs the collapse may have changed.
    for (int gi = 0; gi < state.firstGroupCount; ++gi) state.groupMark[state.firstGroup[gi]] = 1;
    for (int gi = 0; gi < state.secondGroupCount; ++gi) state.groupMark[state.secondGroup[gi]] = 2;
    recountChangedPairs(state, *distances, labelA, labelB, aHasTwo);
    for (int gi = 0; gi < state.firstGroupCount; ++gi) state.groupMark[state.firstGroup[gi]] = 0;
    for (int gi = 0; gi < state.secondGroupCount; ++gi) state.groupMark[state.secondGroup[gi]] = 0;
}

} // namespace

void collapseSlots(SearchState& state, int keepPosition, int removePosition,
                   DistanceStructure& distances, bool updateDistances)
{
    collapse(state, keepPosition, removePosition, &distances,
             updateDistances ? DistanceUpkeep::Full : DistanceUpkeep::RemovedSlot, true);
}

void collapseSlotsLeavingTexts(SearchState& state, int keepPosition, int removePosition,
                               DistanceStructure* distances)
{
    collapse(state, keepPosition, removePosition, distances,
             distances != nullptr ? DistanceUpkeep::Full : DistanceUpkeep::None, false);
}

void beginComponentCollapses(SearchState& state)
{
    const HaplotypeList& list = state.current;
    const auto slots = static_cast<std::size_t>(list.slotCount);
    state.slotComponent.resize(slots);
    state.slotSide.resize(slots);
    state.componentLabel.resize(state.componentMembers.size());
    for (std::size_t c = 0; c < state.componentLabel.size(); ++c) state.componentLabel[c] = static_cast<int>(c);
    for (int s = 0; s < list.slotCount; ++s) {
        state.slotComponent[s] = std::abs(list.label[s]);
        state.slotSide[s] = list.label[s] < 0 ? -1 : 1;
    }
}

void collapseInComponents(SearchState& state, int keepPosition, int removePosition)
{
    HaplotypeList& list = state.current;
    const int a = list.order[keepPosition];
    const int b = list.order[removePosition];
    const int componentA = state.slotComponent[a];
    const int componentB = state.slotComponent[b];
    const int sideA = state.slotSide[a];
    const int sideB = state.slotSide[b];

    // 1. The sites each slot takes over from the other.
    listFixedSites(state, a, b, false);

    // B leaves its component's list, keeping the label it has now, and the
    // live part.
    {
        std::vector<int>& membersB = state.componentMembers[componentB];
        const int index = state.memberIndex[b];
        membersB[index] = membersB.back();
        state.memberIndex[membersB[index]] = index;
        membersB.pop_back();
    }
    list.label[b] = sideB * state.componentLabel[componentB];
    retireSlot(list, b, removePosition);

    auto fix = [&](int x, bool sameSide, const FixedSites& fixed) {
        takeOverSites(state.currentPlanes, x, sameSide, fixed);
        if (state.textBehind[x] == 0) {
            state.textBehind[x] = 1;
            state.textsBehind.push_back(x);
        }
    };
    // 5. A's component takes B's values (mates the complement).
    if (state.firstSiteCount > 0) {
        for (const int x : state.componentMembers[componentA]) fix(x, state.slotSide[x] == sideA, state.firstFixed);
    }
    if (componentA == componentB) return;

    // 6. B's component takes A's values and joins A's component: a member
    // on B's side takes A's label, its mates the opposite one.
    std::vector<int>& membersB = state.componentMembers[componentB];
    if (state.secondSiteCount > 0) {
        for (const int x : membersB) fix(x, state.slotSide[x] == sideB, state.secondFixed);
    }
    const int flip = sideA * sideB;
    int into = componentA;
    int from = componentB;
    if (membersB.size() > state.componentMembers[componentA].size()) {
        // The larger list stays: B's, with A's label seen from B's sides.
        state.componentLabel[componentB] = flip * state.componentLabel[componentA];
        std::swap(into, from);
    }
    std::vector<int>& intoMembers = state.componentMembers[into];
    std::vector<int>& fromMembers = state.componentMembers[from];
    for (const int x : fromMembers) {
        state.slotSide[x] *= flip;
        state.slotComponent[x] = into;
        state.memberIndex[x] = static_cast<int>(intoMembers.size());
        intoMembers.push_back(x);
    }
    fromMembers.clear();
}

void endComponentCollapses(SearchState& state)
{
    HaplotypeList& list = state.current;
    for (int p = 0; p < list.liveCount; ++p) {
        const int s = list.order[p];
        list.label[s] = state.slotSide[s] * state.componentLabel[state.slotComponent[s]];
    }
    indexComponents(state);
}
