#include "data/search_state.hpp"

#include <cstdio>

#include "distance/distance_structure.hpp"

#include <algorithm>
#include <cstdlib>

PairHeads newPairHeads(int count)
{
    return PairHeads(static_cast<std::size_t>(count), nullptr);
}

SavedPairs allocatePairRecords(int count)
{
    return SavedPairs(static_cast<std::size_t>(count));
}

void copyPairRecords(SavedPairs& destination, const PairHeads& source, int count)
{
    for (int i = 0; i < count; ++i) {
        if (source[i] == nullptr) continue;
        destination[i] = *source[i];
        destination[i].next = nullptr;
    }
}

void freePairLists(PairHeads& lists, PairRecordPool& pool)
{
    for (PairRecord*& head : lists) {
        head = nullptr;
    }
    pool.releaseAll();
}

void createSearchState(SearchState& state, const HaplotypeList& initial)
{
    const int n = initial.slotCount;
    const int length = initial.length;
    state.current = createHaplotypeList(n, length);
    state.best = createHaplotypeList(n, length);
    state.iterationBest = createHaplotypeList(n, length);
    copyHaplotypeList(state.best, initial);
    copyHaplotypeList(state.current, initial);
    state.bestCount = n;
    state.iterationBestCount = n;

    state.pairLists = newPairHeads(n / 2);
    state.pairPool.releaseAll();
    state.bestPairs = allocatePairRecords(n / 2);
    state.iterationBestPairs = allocatePairRecords(n / 2);

    const auto sites = static_cast<std::size_t>(length);
    const auto slots = static_cast<std::size_t>(n);
    state.firstSiteCount = 0;
    state.firstSites.assign(sites, 0);
    state.firstValues.assign(sites, '\0');
    state.firstGroupCount = 0;
    state.firstGroup.assign(slots, 0);
    state.secondSiteCount = 0;
    state.secondSites.assign(sites, 0);
    state.secondValues.assign(sites, '\0');
    state.secondGroupCount = 0;
    state.secondGroup.assign(slots, 0);
    state.slotChains.assign(2 * slots, SlotChain{});
    state.memberIndex.assign(slots, 0);
    state.groupMark.assign(slots, 0);
    state.textBehind.assign(slots, 0);
    state.textsBehind.clear();
    fillSitePlanes(state.initialPlanes, initial);
    state.currentPlanes = state.initialPlanes;
    const auto words = static_cast<std::size_t>(state.initialPlanes.words);
    state.unchangedWords.assign(words, ~std::uint64_t{0});
    state.noSites.assign(words, 0);
    state.changedWords.reserve(words);
    for (FixedSites* fixed : {&state.firstFixed, &state.secondFixed}) {
        fixed->sites.assign(words, 0);
        fixed->zero.assign(words, 0);
        fixed->one.assign(words, 0);
        fixed->words.clear();
        fixed->words.reserve(words);
    }
    indexComponents(state);
}

void indexComponents(SearchState& state)
{
    const HaplotypeList& current = state.current;
    // Labels of a run stay within 1..n/2; any magnitude found gets its entry.
    int largest = current.slotCount / 2;
    for (int p = 0; p < current.liveCount; ++p) largest = std::max(largest, std::abs(current.label[current.order[p]]));
    if (state.componentMembers.size() < static_cast<std::size_t>(largest) + 1) {
        state.componentMembers.resize(static_cast<std::size_t>(largest) + 1);
    }
    for (std::vector<int>& members : state.componentMembers) members.clear();
    for (int p = 0; p < current.liveCount; ++p) {
        const int s = current.order[p];
        std::vector<int>& members = state.componentMembers[std::abs(current.label[s])];
        state.memberIndex[s] = static_cast<int>(members.size());
        members.push_back(s);
    }
}

void resetSearchState(SearchState& state, const HaplotypeList& initial, DistanceStructure& distances)
{
    resetSearchState(state, initial);
    restoreDistances(distances);
}

void resetSearchState(SearchState& state, const HaplotypeList& initial)
{
    freePairLists(state.pairLists, state.pairPool);
    copyHaplotypeList(state.current, initial);
    state.currentPlanes.bits = state.initialPlanes.bits;
    for (const int s : state.textsBehind) state.textBehind[s] = 0;
    state.textsBehind.clear();
    indexComponents(state);
}

void catchUpTexts(SearchState& state)
{
    HaplotypeList& current = state.current;
    for (const int s : state.textsBehind) {
        writePlanesText(state.currentPlanes, s, current.text[s].data(), current.length);
        state.textBehind[s] = 0;
    }
    state.textsBehind.clear();
}

void printSearchWarning(const SearchState& state, const std::string& text)
{
    if (state.warningSink) {
        state.warningSink(text);
        return;
    }
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}
