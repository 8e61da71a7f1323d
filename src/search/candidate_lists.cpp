#include "search/candidate_lists.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

PairEvaluation evaluatePair(const HaplotypeList& list, const char* genotype, int s1, int s2)
{
    const char* a = list.text[s1].data();
    const char* b = list.text[s2].data();
    const int la = list.label[s1];
    const int lb = list.label[s2];
    const int isolated1 = list.isolated[s1] != 0 ? 1 : 0;
    const int isolated2 = list.isolated[s2] != 0 ? 1 : 0;

    PairEvaluation result;
    for (int l = 0; l < list.length; ++l) {
        const char A = a[l];
        const char B = b[l];
        const char G = genotype[l];
        if (G == '2') {
            if (A == B) {
                // Equal determined values, or equal labels, cannot give the two alleles.
                if (A != '2' || la == lb) return result;
                if (lb != -la) {
                    ++result.vts;
                    result.w *= 0.5f;
                    result.vnc += isolated1 + isolated2;
                }
            } else if (A == '2' || B == '2') {
                ++result.vts;
                result.w *= 0.5f;
                result.vnc += A == '2' ? isolated1 : isolated2;
            }
        } else {
            if ((A != '2' && A != G) || (B != '2' && B != G)) return result;
            if (A == '2' && B == '2' && lb == -la) return result;
            if (A == '2') {
                ++result.vts;
                result.w /= 2;
                result.vnc += isolated1;
            }
            if (B == '2') {
                ++result.vts;
                result.w /= 2;
                result.vnc += isolated2;
            }
        }
    }
    result.accepted = true;
    return result;
}

void updateIsolated(HaplotypeList& list, std::vector<int>& componentSize)
{
    componentSize.assign(static_cast<std::size_t>(list.slotCount / 2 + 1), 0);
    for (int p = 0; p < list.liveCount; ++p) {
        ++componentSize[std::abs(list.label[list.order[p]])];
    }
    for (int p = 0; p < list.liveCount; ++p) {
        const int s = list.order[p];
        const int others = componentSize[std::abs(list.label[s])] - 1;
        list.isolated[s] = others < 2 ? 1 : 0;
    }
}

namespace {

// True when the slot holds '0' or '1' against the other allele at a
// homozygous site of the genotype.
bool contradictsGenotype(const char* text, const char* genotype, int length)
{
    for (int l = 0; l < length; ++l) {
        const char g = genotype[l];
        const char t = text[l];
        if ((g == '0' && t == '1') || (g == '1' && t == '0')) return true;
    }
    return false;
}

} // namespace

void buildPairLists(SearchState& state, const HaplotypeList& initial)
{
    HaplotypeList& current = state.current;
    updateIsolated(current, state.componentSize);
    const int genotypes = initial.slotCount / 2;
    std::vector<int>& fitting = state.fittingPositions;
    for (int i = 0; i < genotypes; ++i) {
        const char* genotype = initial.text[2 * i].data();
        fitting.clear();
        for (int p = 0; p < current.liveCount; ++p) {
            const int s = current.order[p];
            const bool contradicts = contradictsGenotype(current.text[s].data(), genotype, current.length);
            current.mark[s] = contradicts ? 1 : 0;
            if (!contradicts) fitting.push_back(p);
        }
        PairRecord*& head = state.pairLists[i];
        for (const int p : fitting) {
            const int s1 = current.order[p];
            for (const int q : fitting) {
                const int s2 = current.order[q];
                if (s2 < s1) continue;
                const PairEvaluation price = evaluatePair(current, genotype, s1, s2);
                if (!price.accepted) continue;
                PairRecord* record = state.pairPool.allocate();
                *record = PairRecord{p, q, price.w, price.vts, price.vnc, i, 0, 1, head};
                head = record;
            }
        }
    }
}

int resetMarks(SearchState& state)
{
    HaplotypeList& current = state.current;
    std::fill(current.mark.begin(), current.mark.end(), 0);
    for (int p = 0; p < current.liveCount; ++p) {
        current.mark[current.order[p]] = 1;
    }
    int empty = 0;
    for (std::size_t i = 0; i < state.pairLists.size(); ++i) {
        const PairRecord* head = state.pairLists[i];
        if (head == nullptr) {
            std::printf("Dangerous i=%d!!!!!\n", static_cast<int>(i));
            ++empty;
        } else if (head->next == nullptr) {
            current.mark[current.order[head->hap1]] = 2;
            current.mark[current.order[head->hap2]] = 2;
        }
    }
    return empty;
}

void settleUsedPairs(SearchState& state)
{
    const HaplotypeList& current = state.current;
    for (std::size_t i = 0; i < state.pairLists.size(); ++i) {
        if (!isOpenList(state.pairLists[i])) continue;
        for (PairRecord* record = state.pairLists[i]; record != nullptr; record = record->next) {
            if (current.mark[current.order[record->hap1]] == 2
                && current.mark[current.order[record->hap2]] == 2 && record->vts == 0) {
                keepOnlyPair(state, static_cast<int>(i), record);
                break;
            }
        }
    }
}

void keepOnlyPair(SearchState& state, int genotype, PairRecord* record)
{
    PairRecord* r = state.pairLists[genotype];
    while (r != nullptr) {
        PairRecord* next = r->next;
        if (r != record) state.pairPool.release(r);
        r = next;
    }
    record->next = nullptr;
    state.pairLists[genotype] = record;
}

int countOpenPairs(const SearchState& state)
{
    int count = 0;
    for (const PairRecord* head : state.pairLists) {
        if (!isOpenList(head)) continue;
        for (const PairRecord* r = head; r != nullptr; r = r->next) ++count;
    }
    return count;
}

void gatherOpenPairs(const SearchState& state, int count, std::vector<PairRecord*>& pairs)
{
    pairs.clear();
    pairs.reserve(static_cast<std::size_t>(count));
    for (PairRecord* head : state.pairLists) {
        if (!isOpenList(head)) continue;
        for (PairRecord* r = head; r != nullptr; r = r->next) pairs.push_back(r);
    }
}

bool pairFits(const HaplotypeList& list, const char* genotype, int s1, int s2)
{
    const char* a = list.text[s1].data();
    const char* b = list.text[s2].data();
    const int la = list.label[s1];
    const int lb = list.label[s2];
    for (int l = 0; l < list.length; ++l) {
        const char A = a[l];
        const char B = b[l];
        const char G = genotype[l];
        if (G == '2') {
            if (A == B && (A != '2' || la == lb)) return false;
        } else {
            if ((A != '2' && A != G) || (B != '2' && B != G)) return false;
            if (A == '2' && B == '2' && lb == -la) return false;
        }
    }
    return true;
}

namespace {

// The allele a slot would take opposite a partner holding `partner`.
char otherAllele(char partner)
{
    return partner == '0' ? '1' : partner == '1' ? '0' : '2';
}

} // namespace

int listPairSites(SearchState& state, const char* genotype, int s1, int s2)
{
    const HaplotypeList& current = state.current;
    const char* a = current.text[s1].data();
    const char* b = current.text[s2].data();
    int count = 0;
    for (int l = 0; l < current.length; ++l) {
        const char A = a[l];
        const char B = b[l];
        if (A != '2' && B != '2') continue;
        const char G = genotype[l];
        state.firstSites[count] = l;
        state.firstValues[count] = A != '2' ? '3' : G != '2' ? G : otherAllele(B);
        state.secondValues[count] = B != '2' ? '3' : G != '2' ? G : otherAllele(A);
        ++count;
    }
    state.firstSiteCount = count;
    return count;
}
