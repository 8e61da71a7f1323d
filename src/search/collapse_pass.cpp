#include "search/collapse_pass.hpp"

#include "search/candidate_lists.hpp"
#include "search/conflict_lookahead.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>
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
    // A price reads the candidate's slots (texts, labels, isolated flags)
    // and genotype: after a commit only the candidates with a slot in the
    // component it wrote can have another.
    const int written = state.writtenComponent;
    state.writtenComponent = -1;
    for (PairRecord* head : state.pairLists) {
        if (!isOpenList(head)) continue;
        for (PairRecord* r = head; r != nullptr; r = r->next) {
            const int s1 = current.order[r->hap1];
            const int s2 = current.order[r->hap2];
            if (written < 0 || std::abs(current.label[s1]) == written || std::abs(current.label[s2]) == written) {
                PairEvaluation price = priceCandidate(state, r->genotype, s1, s2);
                if (!price.accepted) {
                    // A rejected pair keeps the counts of the sites before the rejecting one.
                    price = evaluatePair(current, genotypeText(initial, r->genotype), s1, s2);
                }
                r->w = price.accepted ? price.w : -1.0f;
                r->vts = price.vts;
                r->vnc = price.vnc;
            }
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
    state.writtenComponent = std::abs(state.current.label[state.current.order[best->hap1]]);
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

    // The written sites and their values as planes, for each side: the
    // planes of a slot follow its text without reading it again.
    SitePlanes& planes = state.currentPlanes;
    const int words = planes.words;
    std::vector<std::uint64_t>& written = state.pairSitePlanes;
    written.assign(6 * static_cast<std::size_t>(words), 0);
    std::uint64_t* firstSites = written.data();
    std::uint64_t* firstZero = firstSites + words;
    std::uint64_t* firstOne = firstZero + words;
    std::uint64_t* secondSites = firstOne + words;
    std::uint64_t* secondZero = secondSites + words;
    std::uint64_t* secondOne = secondZero + words;
    for (int e = 0; e < siteCount; ++e) {
        const int site = state.firstSites[e];
        const std::uint64_t bit = std::uint64_t{1} << (site & 63);
        const int w = site >> 6;
        const char first = state.firstValues[e];
        const char second = state.secondValues[e];
        if (first == '0' || first == '1') {
            firstSites[w] |= bit;
            (first == '0' ? firstZero : firstOne)[w] |= bit;
        }
        if (second == '0' || second == '1') {
            secondSites[w] |= bit;
            (second == '0' ? secondZero : secondOne)[w] |= bit;
        }
    }
    auto write = [&](int s, char* text, const std::vector<char>& values, const std::uint64_t* sites,
                     const std::uint64_t* zero, const std::uint64_t* one, bool flipped) {
        for (int e = 0; e < siteCount; ++e) {
            const char value = values[e];
            if (value == '0' || value == '1') {
                text[state.firstSites[e]] = flipped ? complement(value) : value;
            }
        }
        std::uint64_t* zeroPlane = planes.zeroOf(s);
        std::uint64_t* onePlane = planes.oneOf(s);
        std::uint64_t* openPlane = planes.openOf(s);
        for (int w = 0; w < words; ++w) {
            zeroPlane[w] = (zeroPlane[w] & ~sites[w]) | (flipped ? one[w] : zero[w]);
            onePlane[w] = (onePlane[w] & ~sites[w]) | (flipped ? zero[w] : one[w]);
            openPlane[w] &= ~sites[w];
        }
    };

    for (int p = 0; p < current.liveCount; ++p) {
        const int s = current.order[p];
        const int x = current.label[s];
        char* text = current.text[s].data();
        if (x == l1 || x == -l1) {
            write(s, text, state.firstValues, firstSites, firstZero, firstOne, x == -l1);
        } else if (x == l2 || x == -l2) {
            write(s, text, state.secondValues, secondSites, secondZero, secondOne, x == -l2);
            current.label[s] = x == l2 ? -l1 : l1;
        }
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
    const int written = state.writtenComponent;
    keepOnlyPair(state, genotype, record);
    current.mark[current.order[record->hap1]] = 2;
    current.mark[current.order[record->hap2]] = 2;

    for (std::size_t j = 0; j < state.pairLists.size(); ++j) {
        if (!isOpenList(state.pairLists[j])) continue;
        int left = 0;
        PairRecord** link = &state.pairLists[j];
        while (*link != nullptr) {
            PairRecord* r = *link;
            const int s1 = current.order[r->hap1];
            const int s2 = current.order[r->hap2];
            // Only a candidate with a slot in the written component can
            // have stopped fitting.
            const bool unchanged = written >= 0 && std::abs(current.label[s1]) != written
                                   && std::abs(current.label[s2]) != written;
            if (unchanged || candidateFits(state, static_cast<int>(j), s1, s2)) {
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
