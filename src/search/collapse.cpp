#include "search/collapse.hpp"

#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"

#include <algorithm>
#include <cstdlib>

namespace {

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
// determined (B's group takes A's values), as planes and as site lists.
void listFixedSites(SearchState& state, int a, int b)
{
    const SitePlanes& planes = state.currentPlanes;
    const std::uint64_t* zeroA = planes.zeroOf(a);
    const std::uint64_t* oneA = planes.oneOf(a);
    const std::uint64_t* openA = planes.openOf(a);
    const std::uint64_t* zeroB = planes.zeroOf(b);
    const std::uint64_t* oneB = planes.oneOf(b);
    const std::uint64_t* openB = planes.openOf(b);
    FixedSites& first = state.firstFixed;
    FixedSites& second = state.secondFixed;
    for (FixedSites* fixed : {&first, &second}) {
        for (const int w : fixed->words) fixed->sites[w] = fixed->zero[w] = fixed->one[w] = 0;
        fixed->words.clear();
    }
    for (int w = 0; w < planes.words; ++w) {
        const std::uint64_t takesB = openA[w] & ~openB[w];
        const std::uint64_t takesA = openB[w] & ~openA[w];
        if (takesB != 0) {
            first.words.push_back(w);
            first.sites[w] = takesB;
            first.zero[w] = takesB & zeroB[w];
            first.one[w] = takesB & oneB[w];
        }
        if (takesA != 0) {
            second.words.push_back(w);
            second.sites[w] = takesA;
            second.zero[w] = takesA & zeroA[w];
            second.one[w] = takesA & oneA[w];
        }
    }
    state.firstSiteCount = listSites(first, state.firstSites, state.firstValues);
    state.secondSiteCount = listSites(second, state.secondSites, state.secondValues);
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

// Slots of `group` were undetermined at the fixed sites and are now
// determined there; updates their distances to every compatible live slot.
// Incompatible pairs cannot become compatible, so only the pairs of the
// bitmap are visited; each pair changes on its own, so the order of the
// partners does not matter. At a fixed site a partner that holds the same
// value is one unit closer, one that holds '2' one unit farther, one that
// holds the other value incompatible.
VELMORA_COUNTS_BITS void updateGroupDistances(const HaplotypeList& list, const SitePlanes& planes,
                                              DistanceStructure& distances, const std::vector<int>& group,
                                              int groupCount, const FixedSites& fixed, int labelA, bool aHasTwo)
{
    for (int gi = 0; gi < groupCount; ++gi) {
        const int x = group[gi];
        const int labelX = list.label[x];
        const bool sameSide = labelX == labelA;
        const std::uint64_t* valueZero = (sameSide ? fixed.zero : fixed.one).data();
        const std::uint64_t* valueOne = (sameSide ? fixed.one : fixed.zero).data();
        std::vector<int>& partners = distances.partners;
        listCompatiblePartners(distances, x, partners);
        const std::size_t count = partners.size();
        for (std::size_t k = 0; k < count; ++k) {
            if (k + kPrefetchAhead < count) {
                const int ahead = partners[k + kPrefetchAhead];
                distances.prefetchEntry(x, ahead);
                __builtin_prefetch(planes.zeroOf(ahead));
            }
            const int y = partners[k];
            const int hi = std::max(x, y);
            const int lo = std::min(x, y);
            const int d = distances.entry(distances.working, hi, lo);
            bool conflict = aHasTwo && labelX == -list.label[y];
            int delta = 0;
            if (!conflict) {
                const std::uint64_t* zeroY = planes.zeroOf(y);
                const std::uint64_t* oneY = planes.oneOf(y);
                const std::uint64_t* openY = planes.openOf(y);
                std::uint64_t clash = 0;
                for (const int w : fixed.words) {
                    clash |= (valueZero[w] & oneY[w]) | (valueOne[w] & zeroY[w]);
                    delta += __builtin_popcountll(fixed.sites[w] & openY[w])
                             - __builtin_popcountll((valueZero[w] & zeroY[w]) | (valueOne[w] & oneY[w]));
                }
                conflict = clash != 0;
            }
            if (conflict) {
                changeWorkingDistance(distances, hi, lo, d, -1);
            } else if (delta != 0) {
                changeWorkingDistance(distances, hi, lo, d, d + delta);
            }
        }
    }
}

// When neither slot took over a site, no distance changes but those of the
// pairs of one slot of each group that became mates in a component with
// undetermined sites: they are incompatible now.
void breakNewMates(const HaplotypeList& list, DistanceStructure& distances, const SearchState& state)
{
    for (int gi = 0; gi < state.secondGroupCount; ++gi) {
        const int x = state.secondGroup[gi];
        const int mate = -list.label[x];
        if (state.firstGroupCount <= distances.wordsPerRow) {
            for (int fi = 0; fi < state.firstGroupCount; ++fi) {
                const int y = state.firstGroup[fi];
                if (list.label[y] == mate && distances.workingDistance(x, y) >= 0) {
                    setWorkingDistance(distances, x, y, -1);
                }
            }
        } else {
            // Any compatible mate of x lies in the first group: mates within
            // the second group were incompatible already.
            forEachCompatiblePartner(distances, x, [&](int y) {
                if (list.label[y] == mate) setWorkingDistance(distances, x, y, -1);
            });
        }
    }
}

enum class DistanceUpkeep {
    Full,         // every changed distance follows the collapse
    RemovedSlot,  // only the removed slot's distances leave the working set
    None,         // the caller recomputes the working set afterwards
};

void collapse(SearchState& state, int keepPosition, int removePosition, DistanceStructure* distances,
              DistanceUpkeep upkeep)
{
    HaplotypeList& list = state.current;
    const int a = list.order[keepPosition];
    const int b = list.order[removePosition];
    const int labelA = list.label[a];
    const int labelB = list.label[b];

    // 1. The sites each slot has to take over from the other, found on the
    // planes: A's open sites where B is determined, and the other way round.
    listFixedSites(state, a, b);

    // 2. The live slots of both components, B left out.
    const int magnitudeA = std::abs(labelA);
    const int magnitudeB = std::abs(labelB);
    // The order of the members matters to nobody: each member's text and
    // each pair's distance changes on its own.
    auto gather = [&](int magnitude, std::vector<int>& group) {
        int count = 0;
        for (const int x : state.componentMembers[magnitude]) {
            if (x != b) group[count++] = x;
        }
        return count;
    };
    // Without distance upkeep A's group is only needed when it has sites to
    // take over.
    const bool firstNeeded = upkeep != DistanceUpkeep::None || state.firstSiteCount > 0;
    state.firstGroupCount = firstNeeded ? gather(magnitudeA, state.firstGroup) : 0;
    state.secondGroupCount = magnitudeB == magnitudeA ? 0 : gather(magnitudeB, state.secondGroup);

    // 3. B's distances leave the working set.
    if (upkeep != DistanceUpkeep::None) removeWorkingSlot(*distances, b);

    // 4. B moves to the first position past the live part.
    --list.liveCount;
    const int last = list.order[list.liveCount];
    list.order[removePosition] = last;
    list.order[list.liveCount] = b;
    list.position[last] = removePosition;
    list.position[b] = list.liveCount;
    if (upkeep != DistanceUpkeep::None) {
        placeSlot(*distances, last, removePosition);
        placeSlot(*distances, b, list.liveCount);
    }

    // 5. A's component takes B's values (mates the complement).
    for (int gi = 0; gi < state.firstGroupCount; ++gi) {
        const int x = state.firstGroup[gi];
        char* textX = list.text[x].data();
        const bool sameSide = list.label[x] == labelA;
        for (int k = 0; k < state.firstSiteCount; ++k) {
            const char value = state.firstValues[k];
            textX[state.firstSites[k]] = sameSide ? value : complement(value);
        }
        takeOverSites(state.currentPlanes, x, sameSide, state.firstFixed);
    }

    // 6. B's component takes A's values and joins A's component.
    for (int gi = 0; gi < state.secondGroupCount; ++gi) {
        const int x = state.secondGroup[gi];
        char* textX = list.text[x].data();
        const bool sameSide = list.label[x] == labelB;
        for (int k = 0; k < state.secondSiteCount; ++k) {
            const char value = state.secondValues[k];
            textX[state.secondSites[k]] = sameSide ? value : complement(value);
        }
        takeOverSites(state.currentPlanes, x, sameSide, state.secondFixed);
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

    // 8.-10. Only pairs with a slot of either component can have changed,
    // and only at the sites that were just fixed; a group that took over no
    // site changes no distance of its own.
    const std::uint64_t* openA = state.currentPlanes.openOf(a);
    const bool aHasTwo = std::any_of(openA, openA + state.currentPlanes.words, [](std::uint64_t w) { return w != 0; });
    if (state.firstSiteCount > 0) {
        updateGroupDistances(list, state.currentPlanes, *distances, state.firstGroup, state.firstGroupCount,
                             state.firstFixed, labelA, aHasTwo);
    }
    if (state.secondSiteCount > 0) {
        updateGroupDistances(list, state.currentPlanes, *distances, state.secondGroup, state.secondGroupCount,
                             state.secondFixed, labelA, aHasTwo);
    }
    // The visits above meet every pair of one slot of each group; without
    // them, only the new mates change.
    if (state.firstSiteCount == 0 && state.secondSiteCount == 0 && aHasTwo) breakNewMates(list, *distances, state);
}

} // namespace

void collapseSlots(SearchState& state, int keepPosition, int removePosition,
                   DistanceStructure& distances, bool updateDistances)
{
    collapse(state, keepPosition, removePosition, &distances,
             updateDistances ? DistanceUpkeep::Full : DistanceUpkeep::RemovedSlot);
}

void collapseSlotsLeavingDistances(SearchState& state, int keepPosition, int removePosition)
{
    collapse(state, keepPosition, removePosition, nullptr, DistanceUpkeep::None);
}
