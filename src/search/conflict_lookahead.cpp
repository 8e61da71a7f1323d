#include "search/conflict_lookahead.hpp"

#include "search/candidate_lists.hpp"

#include <algorithm>
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
bool wouldConflict(const SearchState& state, const OpenCandidate& r, int l1, int l2, int siteCount)
{
    const int e1 = labelAfterJoin(r.m1, l1, l2);
    const int e2 = labelAfterJoin(r.m2, l1, l2);
    const bool oppositeAfter = e1 == -e2;
    const bool equalAfter = e1 == e2;
    const Takes rule1 = takes(r.m1, l1, l2);
    const Takes rule2 = takes(r.m2, l1, l2);

    for (int e = 0; e < siteCount; ++e) {
        const int x = state.firstSites[e];
        const char first = state.firstValues[e];
        const char second = state.secondValues[e];
        const char C = valueAfterFix(r.text1[x], rule1, first, second);
        const char D = valueAfterFix(r.text2[x], rule2, first, second);
        const char H = r.genotypeText[x];
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

    // Only candidates with a slot in the component of one of q's slots can
    // be ruled out by q, and candidates whose slots share a component never
    // are. So the others are filed by the components of their two slots,
    // and q reads only the files of its own two components.
    std::vector<OpenCandidate>& open = state.openCandidates;
    open.clear();
    int largest = 0;
    for (PairRecord* r : state.openPairs) {
        const int t1 = current.order[r->hap1];
        const int t2 = current.order[r->hap2];
        open.push_back(OpenCandidate{r, r->genotype, current.label[t1], current.label[t2],
                                     current.text[t1].data(), current.text[t2].data(),
                                     initial.text[2 * r->genotype].data()});
        largest = std::max({largest, std::abs(current.label[t1]), std::abs(current.label[t2])});
    }
    std::vector<int>& start = state.componentFileStart;
    std::vector<int>& file = state.componentFiles;
    start.assign(static_cast<std::size_t>(largest) + 2, 0);
    auto separate = [](const OpenCandidate& c) { return c.m2 != c.m1 && c.m2 != -c.m1; };
    for (const OpenCandidate& c : open) {
        if (!separate(c)) continue;
        ++start[std::abs(c.m1) + 1];
        ++start[std::abs(c.m2) + 1];
    }
    for (std::size_t g = 1; g < start.size(); ++g) start[g] += start[g - 1];
    file.resize(static_cast<std::size_t>(start.back()));
    {
        std::vector<int>& fill = state.componentFileFill;
        fill.assign(start.begin(), start.end() - 1);
        for (int i = 0; i < static_cast<int>(open.size()); ++i) {
            if (!separate(open[i])) continue;
            file[fill[std::abs(open[i].m1)]++] = i;
            file[fill[std::abs(open[i].m2)]++] = i;
        }
    }

    for (const OpenCandidate& q : open) {
        q.record->sd = 0;
        const int l1 = q.m1;
        const int l2 = q.m2;
        if (!separate(q)) continue;
        const int s1 = current.order[q.record->hap1];
        const int s2 = current.order[q.record->hap2];
        const int siteCount = listPairSites(state, q.genotypeText, s1, s2);
        if (siteCount == 0) continue;

        const int magnitude1 = std::abs(l1);
        const int magnitude2 = std::abs(l2);
        int conflicts = 0;
        for (int k = start[magnitude1]; k < start[magnitude1 + 1]; ++k) {
            const OpenCandidate& r = open[file[k]];
            if (r.genotype == q.genotype) continue;
            if (wouldConflict(state, r, l1, l2, siteCount)) ++conflicts;
        }
        for (int k = start[magnitude2]; k < start[magnitude2 + 1]; ++k) {
            const OpenCandidate& r = open[file[k]];
            // Filed under both components: counted with the first one.
            if (std::abs(r.m1) == magnitude1 || std::abs(r.m2) == magnitude1) continue;
            if (r.genotype == q.genotype) continue;
            if (wouldConflict(state, r, l1, l2, siteCount)) ++conflicts;
        }
        q.record->sd = conflicts;
    }
}
