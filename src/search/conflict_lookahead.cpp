#include "search/conflict_lookahead.hpp"

#include "search/candidate_lists.hpp"

#include <cstdlib>

namespace {

char flip(char x)
{
    return x == '0' ? '1' : x == '1' ? '0' : x;
}

// Which of the values of q's site list a slot of another candidate would
// take, by its label against q's labels l1 and l2.
enum class Takes : unsigned char { Nothing, First, FirstFlipped, Second, SecondFlipped };

Takes takes(int m, int l1, int l2)
{
    if (m == l1) return Takes::First;
    if (m == -l1) return Takes::FirstFlipped;
    if (m == l2) return Takes::Second;
    if (m == -l2) return Takes::SecondFlipped;
    return Takes::Nothing;
}

char valueAfterFix(char c, Takes rule, char first, char second)
{
    if (c != '2') return c;
    switch (rule) {
    case Takes::First: return first;
    case Takes::FirstFlipped: return flip(first);
    case Takes::Second: return second;
    case Takes::SecondFlipped: return flip(second);
    case Takes::Nothing: break;
    }
    return c;
}

// Label of a slot after q's two components are joined (s2's side opposite s1's).
int labelAfterJoin(int m, int l1, int l2)
{
    if (m == l2) return -l1;
    if (m == -l2) return l1;
    return m;
}

// True when candidate r would stop fitting its genotype once q's sites
// (the state's site list) are fixed.
bool wouldConflict(const SearchState& state, const HaplotypeList& initial, const PairRecord& r,
                   int l1, int l2, int siteCount)
{
    const HaplotypeList& current = state.current;
    const int t1 = current.order[r.hap1];
    const int t2 = current.order[r.hap2];
    const int m1 = current.label[t1];
    const int m2 = current.label[t2];
    const int e1 = labelAfterJoin(m1, l1, l2);
    const int e2 = labelAfterJoin(m2, l1, l2);
    const bool oppositeAfter = e1 == -e2;
    const bool equalAfter = e1 == e2;
    const Takes rule1 = takes(m1, l1, l2);
    const Takes rule2 = takes(m2, l1, l2);
    const char* text1 = current.text[t1].data();
    const char* text2 = current.text[t2].data();
    const char* genotype = initial.text[2 * r.genotype].data();

    for (int e = 0; e < siteCount; ++e) {
        const int x = state.firstSites[e];
        const char first = state.firstValues[e];
        const char second = state.secondValues[e];
        const char C = valueAfterFix(text1[x], rule1, first, second);
        const char D = valueAfterFix(text2[x], rule2, first, second);
        const char H = genotype[x];
        const bool bothOpen = C == '2' && D == '2';
        if (H == '0') {
            if (C == '1' || D == '1' || (oppositeAfter && bothOpen)) return true;
        } else if (H == '1') {
            if (C == '0' || D == '0' || (oppositeAfter && bothOpen)) return true;
        } else if (H == '2') {
            if ((C == D && (C == '0' || C == '1')) || (equalAfter && bothOpen)) return true;
        }
    }
    return false;
}

} // namespace

void countConflicts(SearchState& state, const HaplotypeList& initial)
{
    const HaplotypeList& current = state.current;
    const int count = countOpenPairs(state);
    gatherOpenPairs(state, count, state.openPairs);
    const std::vector<PairRecord*>& open = state.openPairs;

    for (PairRecord* q : open) {
        q->sd = 0;
        const int s1 = current.order[q->hap1];
        const int s2 = current.order[q->hap2];
        const int l1 = current.label[s1];
        const int l2 = current.label[s2];
        if (l2 == l1 || l2 == -l1) continue;
        const int siteCount =
            listPairSites(state, initial.text[2 * q->genotype].data(), s1, s2);
        if (siteCount == 0) continue;

        for (const PairRecord* r : open) {
            const int m1 = current.label[current.order[r->hap1]];
            const int m2 = current.label[current.order[r->hap2]];
            if (m2 == m1 || m2 == -m1) continue;
            const bool touches = m1 == l1 || m1 == -l1 || m1 == l2 || m1 == -l2 || m2 == l1
                                 || m2 == -l1 || m2 == l2 || m2 == -l2;
            if (!touches) continue;
            if (r->genotype == q->genotype) continue;
            if (wouldConflict(state, initial, *r, l1, l2, siteCount)) ++q->sd;
        }
    }
}
