#include "search/collapse.hpp"

#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Slots of `group` were undetermined at `sites` and are now determined there;
// updates their distances to every compatible live slot. Incompatible pairs
// cannot become compatible, so only the pairs of the bitmap are visited;
// each pair changes on its own, so the order of the partners does not matter.
void updateGroupDistances(const HaplotypeList& list, DistanceStructure& distances,
                          const std::vector<int>& group, int groupCount,
                          const std::vector<int>& sites, int siteCount, bool aHasTwo)
{
    for (int gi = 0; gi < groupCount; ++gi) {
        const int x = group[gi];
        const char* textX = list.text[x].data();
        const int labelX = list.label[x];
        forEachCompatiblePartner(distances, x, [&](int y) {
            const int d = x > y ? distances.entry(distances.working, x, y) : distances.entry(distances.working, y, x);
            bool conflict = aHasTwo && labelX == -list.label[y];
            int delta = 0;
            const char* textY = list.text[y].data();
            for (int k = 0; k < siteCount && !conflict; ++k) {
                const char u = textX[sites[k]];
                const char v = textY[sites[k]];
                if ((u == '0' && v == '1') || (u == '1' && v == '0')) {
                    conflict = true;
                } else if (u == v && u != '2') {
                    --delta;  // counted before, while x was still undetermined here
                } else if (v == '2') {
                    ++delta;  // both were undetermined here before
                }
            }
            if (conflict) {
                setWorkingDistance(distances, x, y, -1);
            } else if (delta != 0) {
                setWorkingDistance(distances, x, y, d + delta);
            }
        });
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
    const int length = list.length;

    // 1. The sites each slot has to take over from the other.
    state.firstSiteCount = 0;
    state.secondSiteCount = 0;
    {
        const char* textA = list.text[a].data();
        const char* textB = list.text[b].data();
        for (int s = 0; s < length; ++s) {
            const char ca = textA[s];
            const char cb = textB[s];
            if (ca == '2' && cb < '2') {
                state.firstSites[state.firstSiteCount] = s;
                state.firstValues[state.firstSiteCount] = cb;
                ++state.firstSiteCount;
            } else if (cb == '2' && ca < '2') {
                state.secondSites[state.secondSiteCount] = s;
                state.secondValues[state.secondSiteCount] = ca;
                ++state.secondSiteCount;
            }
        }
    }

    // 2. The live slots of both components, B left out, in position order.
    // Without distance upkeep the order matters to nobody, and A's group is
    // only needed when it has sites to take over.
    const int magnitudeA = std::abs(labelA);
    const int magnitudeB = std::abs(labelB);
    const bool positionOrder = upkeep != DistanceUpkeep::None;
    auto gather = [&](int magnitude, std::vector<int>& group) {
        int count = 0;
        for (const int x : state.componentMembers[magnitude]) {
            if (x != b) group[count++] = x;
        }
        if (!positionOrder || count < 2) return count;
        const int words = (list.liveCount + 63) / 64;
        if (count * 8 < words) {
            std::sort(group.begin(), group.begin() + count,
                      [&](int x, int y) { return list.position[x] < list.position[y]; });
            return count;
        }
        // Position order without sorting: mark the members' positions in a
        // bitmap, then read the marks back in ascending order.
        std::uint64_t* marks = state.positionMarks.data();
        for (int i = 0; i < count; ++i) {
            const int p = list.position[group[i]];
            marks[p / 64] |= std::uint64_t{1} << (p % 64);
        }
        count = 0;
        for (int w = 0; w < words; ++w) {
            std::uint64_t bits = marks[w];
            marks[w] = 0;
            while (bits != 0) {
                group[count++] = list.order[w * 64 + __builtin_ctzll(bits)];
                bits &= bits - 1;
            }
        }
        return count;
    };
    state.firstGroupCount = positionOrder || state.firstSiteCount > 0 ? gather(magnitudeA, state.firstGroup) : 0;
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
    const bool aHasTwo = std::memchr(list.text[a].data(), '2', static_cast<std::size_t>(length)) != nullptr;
    if (state.firstSiteCount > 0) {
        updateGroupDistances(list, *distances, state.firstGroup, state.firstGroupCount, state.firstSites,
                             state.firstSiteCount, aHasTwo);
    }
    if (state.secondSiteCount > 0) {
        updateGroupDistances(list, *distances, state.secondGroup, state.secondGroupCount, state.secondSites,
                             state.secondSiteCount, aHasTwo);
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
