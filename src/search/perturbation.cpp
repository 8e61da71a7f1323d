#include "search/perturbation.hpp"

#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "search/collapse.hpp"

#include <algorithm>
#include <cstdio>

namespace {

// Puts `slot` at the front of the chain of haplotype position `head`.
void addToChain(std::vector<SlotChain>& chains, int head, int slot, int& nextFree)
{
    if (chains[head].first == -1) {
        chains[head].first = slot;
        return;
    }
    chains[nextFree] = chains[head];
    chains[head] = SlotChain{slot, nextFree};
    ++nextFree;
}

} // namespace

void perturb(SearchState& state, DistanceStructure& distances)
{
    HaplotypeList& current = state.current;
    const int n = current.slotCount;
    std::vector<SlotChain>& chains = state.slotChains;
    std::fill(chains.begin(), chains.end(), SlotChain{});
    int nextFree = n;

    for (int g = 0; g < n / 2; ++g) {
        const PairRecord& saved = state.iterationBestPairs[g];
        if (saved.active == 0) continue;
        addToChain(chains, saved.hap1, 2 * g, nextFree);
        addToChain(chains, saved.hap2, 2 * g + 1, nextFree);
    }

    beginComponentCollapses(state);
    for (int h = 0; h < state.iterationBest.liveCount; ++h) {
        if (chains[h].first == -1 || chains[h].next == -1) continue;  // fewer than two slots
        const int headSlot = chains[h].first;
        for (int node = chains[h].next; node != -1; node = chains[node].next) {
            const int keepPosition = current.position[headSlot];
            const int removePosition = current.position[chains[node].first];
            if (keepPosition >= current.liveCount || removePosition >= current.liveCount) {
                printSearchWarning(state, "collassamento pericoloso!!\n");
                continue;  // a slot that is not live is never collapsed
            }
            // The working distances are recomputed once all chains are
            // collapsed, and the texts and labels follow then.
            collapseInComponents(state, keepPosition, removePosition);
        }
    }

    endComponentCollapses(state);
    catchUpTexts(state);
    computeDistances(distances, current);
}
