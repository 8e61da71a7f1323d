#include "search/collapse_pass.hpp"

#include "search/candidate_lists.hpp"
#include "search/conflict_lookahead.hpp"

#include <algorithm>
#include <cstdlib>

namespace {

const char* genotypeText(const HaplotypeList& initial, int genotype)
{
    return initial.text[2 * genotype].data();
}

} // namespace

void rescorePairs(SearchState& state, const HaplotypeList& initial)
{
    HaplotypeList& current = state.current;
    std::fill(current.weight.begin(), current.weight.end(), 0.0f);
    updateIsolated(current, state.componentSize);
    for (PairRecord* head : state.pairLists) {
        if (!isOpenList(head)) continue;
        for (PairRecord* r = head; r != nullptr; r = r->next) {
            const int s1 = current.order[r->hap1];
            const int s2 = current.order[r->hap2];
            PairEvaluation price = priceCandidate(state, r->genotype, s1, s2);
            if (!price.accepted) {
                // A rejected pair keeps the counts of the sites before the rejecting one.
                price = evaluatePair(current, genotypeText(initial, r->genotype), s1, s2);
            }
            r->w = price.accepted ? price.w : -1.0f;
            r->vts = price.vts;
            r->vnc = price.vnc;
            if (r->w < 0.0f) continue;
            current.weight[s1] += current.mark[s2] == 2 ? 2 * r->w : r->w;
            current.weight[s2] += current.mark[s1] == 2 ? 2 * r->w : r->w;
        }
    }
}

PairRecord* selectNextPair(const SearchState& state)
{
    const HaplotypeList& current = state.current;
    PairRecord* best = nullptr;
    int bestUsed = 0;
    int bestConflicts = 0;
    float bestScore = 0.0f;
    for (PairRecord* head : state.pairLists) {
        if (!isOpenList(head)) continue;
        for (PairRecord* r = head; r != nullptr; r = r->next) {
            const int s1 = current.order[r->hap1];
            const int s2 = current.order[r->hap2];
            const bool used1 = current.mark[s1] == 2;
            const bool used2 = current.mark[s2] == 2;
            const int usedSlots = (used1 ? 1 : 0) + (used2 ? 1 : 0);
            float score;
            if (usedSlots == 1) {
                score = used1 ? current.weight[s2] : current.weight[s1];
            } else {
                score = current.weight[s1] + current.weight[s2];
            }
            const bool better = best == nullptr || usedSlots > bestUsed
                                || (usedSlots == bestUsed
                                    && (r->sd < bestConflicts
                                        || (r->sd == bestConflicts && score > bestScore)));
            if (better) {
                best = r;
                bestUsed = usedSlots;
                bestConflicts = r->sd;
                bestScore = score;
            }
        }
    }
    return best;
}

bool chooseNextPair(SearchState& state, const HaplotypeList& initial)
{
    PairRecord* best = selectNextPair(state);
    if (best == nullptr) return false;
    const int genotype = best->genotype;
    fixPairSites(state, initial, genotype, best->hap1, best->hap2);
    noteComponentChange(state, state.current.order[best->hap1], true);
    commitPair(state, genotype, best);
    return true;
}

void fixPairSites(SearchState& state, const HaplotypeList& initial, int genotype, int p1, int p2)
{
    HaplotypeList& current = state.current;
    const int s1 = current.order[p1];
    const int s2 = current.order[p2];
    const int l1 = current.label[s1];
    const int l2 = current.label[s2];
    const int siteCount = listPairSites(state, genotypeText(initial, genotype), s1, s2);

    for (int p = 0; p < current.liveCount; ++p) {
        const int s = current.order[p];
        const int x = current.label[s];
        char* text = current.text[s].data();
        if (x == l1 || x == -l1) {
            const bool flipped = x == -l1;
            for (int e = 0; e < siteCount; ++e) {
                const char value = state.firstValues[e];
                if (value == '0' || value == '1') {
                    text[state.firstSites[e]] = flipped ? complement(value) : value;
                }
            }
        } else if (x == l2 || x == -l2) {
            const bool flipped = x == -l2;
            for (int e = 0; e < siteCount; ++e) {
                const char value = state.secondValues[e];
                if (value == '0' || value == '1') {
                    text[state.firstSites[e]] = flipped ? complement(value) : value;
                }
            }
            current.label[s] = x == l2 ? -l1 : l1;
        } else {
            continue;
        }
        refreshSitePlanes(state.currentPlanes, s, text, current.length);
    }
}

void commitPair(SearchState& state, int genotype, PairRecord* record)
{
    HaplotypeList& current = state.current;
    // Every candidate that leaves the open lists is noted for updateConflicts.
    const auto noteLeaving = [&](const PairRecord* r) {
        noteComponentChange(state, current.order[r->hap1], false);
        noteComponentChange(state, current.order[r->hap2], false);
    };
    for (const PairRecord* r = state.pairLists[genotype]; r != nullptr; r = r->next) noteLeaving(r);
    keepOnlyPair(state, genotype, record);
    current.mark[current.order[record->hap1]] = 2;
    current.mark[current.order[record->hap2]] = 2;

    for (std::size_t j = 0; j < state.pairLists.size(); ++j) {
        if (!isOpenList(state.pairLists[j])) continue;
        int left = 0;
        PairRecord** link = &state.pairLists[j];
        while (*link != nullptr) {
            PairRecord* r = *link;
            if (candidateFits(state, static_cast<int>(j), current.order[r->hap1], current.order[r->hap2])) {
                link = &r->next;
                ++left;
            } else {
                noteLeaving(r);
                *link = r->next;
                state.pairPool.release(r);
            }
        }
        if (left == 1) {
            const PairRecord* only = state.pairLists[j];
            noteLeaving(only);
            current.mark[current.order[only->hap1]] = 2;
            current.mark[current.order[only->hap2]] = 2;
        }
    }
}

namespace {

// One sweep over the genotypes; true when it cleared some flag.
bool sweepOnce(SearchState& state)
{
    HaplotypeList& current = state.current;
    bool cleared = false;
    for (PairRecord* r : state.pairLists) {
        if (r == nullptr || r->active == 0) continue;
        const int s1 = current.order[r->hap1];
        const int s2 = current.order[r->hap2];
        if (current.useLeft[s1] == 1 || current.useLeft[s2] == 1) {
            --current.useLeft[s1];
            --current.useLeft[s2];
            r->active = 0;
            cleared = true;
        }
    }
    return cleared;
}

} // namespace

void deactivatePairs(SearchState& state, int used)
{
    const int n = state.current.slotCount;
    if (used > 0 && n / used >= 2) {
        while (sweepOnce(state)) {
        }
    } else {
        sweepOnce(state);
    }
}

CollapsePassResult collapsePass(SearchState& state, const HaplotypeList& initial)
{
    HaplotypeList& current = state.current;
    buildPairLists(state, initial);
    resetMarks(state);
    settleUsedPairs(state);

    // The first counts are made for every open candidate; after each commit
    // only those the commit can have changed are counted again.
    countConflicts(state);
    bool committed = true;
    for (bool first = true; committed; first = false) {
        if (!first) updateConflicts(state);
        rescorePairs(state, initial);
        committed = chooseNextPair(state, initial);
    }

    CollapsePassResult result;
    for (int s = 0; s < current.slotCount; ++s) {
        if (current.mark[s] == 2) ++result.used;
    }

    std::fill(current.useCount.begin(), current.useCount.end(), 0);
    for (const PairRecord* r : state.pairLists) {
        if (r == nullptr) {
            // No pair of live slots explains this genotype: the attempt is
            // no reconstruction at all.
            result.failed = true;
            continue;
        }
        ++current.useCount[current.order[r->hap1]];
        ++current.useCount[current.order[r->hap2]];
    }
    current.useLeft = current.useCount;

    deactivatePairs(state, result.used);
    return result;
}
