#include "search/conflict_lookahead.hpp"

#include "search/candidate_lists.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// Which of q's values a slot of another candidate would take, by its label
// against q's labels l1 and l2.
enum class Takes : unsigned char { Nothing, First, FirstFlipped, Second, SecondFlipped };

Takes takes(int m, int l1, int l2)
{
    if (m == l1) return Takes::First;
    if (m == -l1) return Takes::FirstFlipped;
    if (m == l2) return Takes::Second;
    if (m == -l2) return Takes::SecondFlipped;
    return Takes::Nothing;
}

// Label of a slot after q's two components are joined (s2's side opposite s1's).
int labelAfterJoin(int m, int l1, int l2)
{
    if (m == l2) return -l1;
    if (m == -l2) return l1;
    return m;
}

// The planes from which a slot of another candidate takes its characters
// once q is fixed, by the rule of its label: at its open sites it takes
// '0' where `zero`, '1' where `one` and stays '2' where `open` (q's first or
// second values, flipped for the opposite side); a slot outside q's
// components (`Nothing`) keeps its characters: no zero, no one, open all.
struct FixValues {
    const std::uint64_t* zero;
    const std::uint64_t* one;
    const std::uint64_t* open;
};

FixValues fixValues(Takes rule, const ConflictPlanes& q)
{
    switch (rule) {
    case Takes::First: return {q.first0.data(), q.first1.data(), q.first2.data()};
    case Takes::FirstFlipped: return {q.first1.data(), q.first0.data(), q.first2.data()};
    case Takes::Second: return {q.second0.data(), q.second1.data(), q.second2.data()};
    case Takes::SecondFlipped: return {q.second1.data(), q.second0.data(), q.second2.data()};
    case Takes::Nothing: break;
    }
    return {q.none.data(), q.none.data(), q.all.data()};
}

// q's site list as planes: the sites where either of its slots is open, and
// the values that fixing q would give each of them there.
bool fillConflictPlanes(ConflictPlanes& q, const SitePlanes& slots, const SitePlanes& genotypes, int s1,
                        int s2, int genotype)
{
    const int words = slots.words;
    q.sites.resize(words);
    q.first0.resize(words);
    q.first1.resize(words);
    q.first2.resize(words);
    q.second0.resize(words);
    q.second1.resize(words);
    q.second2.resize(words);
    q.none.assign(words, 0);
    q.all.assign(words, ~std::uint64_t{0});
    std::uint64_t any = 0;
    for (int w = 0; w < words; ++w) {
        const std::uint64_t zeroA = slots.zeroOf(s1)[w], oneA = slots.oneOf(s1)[w], openA = slots.openOf(s1)[w];
        const std::uint64_t zeroB = slots.zeroOf(s2)[w], oneB = slots.oneOf(s2)[w], openB = slots.openOf(s2)[w];
        const std::uint64_t gz = genotypes.zeroOf(2 * genotype)[w];
        const std::uint64_t go = genotypes.oneOf(2 * genotype)[w];
        const std::uint64_t gh = genotypes.openOf(2 * genotype)[w];
        q.sites[w] = openA | openB;
        // A homozygous site takes the genotype's allele, a heterozygous one
        // the allele opposite the partner's ('2' opposite an open partner).
        q.first0[w] = openA & (gz | (gh & oneB));
        q.first1[w] = openA & (go | (gh & zeroB));
        q.first2[w] = openA & gh & openB;
        q.second0[w] = openB & (gz | (gh & oneA));
        q.second1[w] = openB & (go | (gh & zeroA));
        q.second2[w] = openB & gh & openA;
        any |= q.sites[w];
    }
    return any != 0;
}

// wouldConflict for `Words` words a plane (0: any number).
template <int Words>
inline __attribute__((always_inline)) bool wouldConflictOf(const SearchState& state, const OpenCandidate& r, int l1,
                                                           int l2, const ConflictPlanes& q)
{
    const int e1 = labelAfterJoin(r.m1, l1, l2);
    const int e2 = labelAfterJoin(r.m2, l1, l2);
    const std::uint64_t oppositeAfter = e1 == -e2 ? ~std::uint64_t{0} : 0;
    const std::uint64_t equalAfter = e1 == e2 ? ~std::uint64_t{0} : 0;
    const FixValues v1 = fixValues(takes(r.m1, l1, l2), q);
    const FixValues v2 = fixValues(takes(r.m2, l1, l2), q);
    const SitePlanes& slots = state.currentPlanes;
    const int words = Words > 0 ? Words : slots.words;
    const SlotPlanes a = slots.slotOf(r.slot1);
    const SlotPlanes b = slots.slotOf(r.slot2);
    const SlotPlanes g = state.genotypePlanes.slotOf(2 * r.genotype);
    std::uint64_t conflict = 0;
    for (int w = 0; w < words; ++w) {
        const std::uint64_t cZero = a.zero[w] | (a.open[w] & v1.zero[w]);
        const std::uint64_t cOne = a.one[w] | (a.open[w] & v1.one[w]);
        const std::uint64_t cOpen = a.open[w] & v1.open[w];
        const std::uint64_t dZero = b.zero[w] | (b.open[w] & v2.zero[w]);
        const std::uint64_t dOne = b.one[w] | (b.open[w] & v2.one[w]);
        const std::uint64_t dOpen = b.open[w] & v2.open[w];
        const std::uint64_t bothOpen = cOpen & dOpen;
        conflict |= ((g.zero[w] & (cOne | dOne | (oppositeAfter & bothOpen)))
                     | (g.one[w] & (cZero | dZero | (oppositeAfter & bothOpen)))
                     | (g.open[w] & ((cZero & dZero) | (cOne & dOne) | (equalAfter & bothOpen))))
                    & q.sites[w];
    }
    return conflict != 0;
}

// True when candidate r would stop fitting its genotype once q's sites are
// fixed: the rejection rules of a pair evaluation, at q's sites, on the
// values and labels r's slots would have then.
inline __attribute__((always_inline)) bool wouldConflict(const SearchState& state, const OpenCandidate& r, int l1,
                                                         int l2, const ConflictPlanes& q)
{
    switch (state.currentPlanes.words) {
    case 1: return wouldConflictOf<1>(state, r, l1, l2, q);
    case 2: return wouldConflictOf<2>(state, r, l1, l2, q);
    default: return wouldConflictOf<0>(state, r, l1, l2, q);
    }
}

} // namespace

namespace {

// Bits of a component's change: stale, and written (which makes it stale too).
enum : std::uint8_t { kUnchanged = 0, kStale = 1, kWritten = 3 };

void markComponent(SearchState& state, int magnitude, std::uint8_t change)
{
    std::vector<std::uint8_t>& marks = state.componentChange;
    if (static_cast<std::size_t>(magnitude) >= marks.size()) marks.resize(static_cast<std::size_t>(magnitude) + 1, kUnchanged);
    if (marks[magnitude] == kUnchanged) state.changedComponents.push_back(magnitude);
    marks[magnitude] |= change;
}

std::uint8_t changeOf(const SearchState& state, int magnitude)
{
    const std::vector<std::uint8_t>& marks = state.componentChange;
    return static_cast<std::size_t>(magnitude) < marks.size() ? marks[magnitude] : std::uint8_t{kUnchanged};
}

void clearComponentChanges(SearchState& state)
{
    for (const int m : state.changedComponents) state.componentChange[m] = kUnchanged;
    state.changedComponents.clear();
}

void countConflictsOf(SearchState& state, bool all);

} // namespace

void noteComponentChange(SearchState& state, int slot, bool written)
{
    markComponent(state, std::abs(state.current.label[slot]), written ? kWritten : kStale);
}

void countConflicts(SearchState& state)
{
    countConflictsOf(state, true);
    clearComponentChanges(state);
}

void updateConflicts(SearchState& state)
{
    countConflictsOf(state, false);
    clearComponentChanges(state);
}

namespace {

void countConflictsOf(SearchState& state, bool all)
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
        open.push_back(OpenCandidate{r, r->genotype, t1, t2, current.label[t1], current.label[t2]});
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

    // A candidate with a slot in a written component makes both its
    // components stale: the counts of the candidates that read it change.
    if (!all) {
        for (const OpenCandidate& c : open) {
            if (((changeOf(state, std::abs(c.m1)) | changeOf(state, std::abs(c.m2))) & kWritten) == kWritten) {
                markComponent(state, std::abs(c.m1), kStale);
                markComponent(state, std::abs(c.m2), kStale);
            }
        }
    }

    ConflictPlanes& planes = state.conflictPlanes;
    for (const OpenCandidate& q : open) {
        if (!all && changeOf(state, std::abs(q.m1)) == kUnchanged && changeOf(state, std::abs(q.m2)) == kUnchanged) {
            continue;  // neither it nor any candidate it reads changed
        }
        q.record->sd = 0;
        const int l1 = q.m1;
        const int l2 = q.m2;
        if (!separate(q)) continue;
        if (!fillConflictPlanes(planes, state.currentPlanes, state.genotypePlanes, q.slot1, q.slot2, q.genotype)) {
            continue;  // q decides no site
        }
        const int magnitude1 = std::abs(l1);
        const int magnitude2 = std::abs(l2);
        int conflicts = 0;
        for (int k = start[magnitude1]; k < start[magnitude1 + 1]; ++k) {
            const OpenCandidate& r = open[file[k]];
            if (r.genotype == q.genotype) continue;
            if (wouldConflict(state, r, l1, l2, planes)) ++conflicts;
        }
        for (int k = start[magnitude2]; k < start[magnitude2 + 1]; ++k) {
            const OpenCandidate& r = open[file[k]];
            // Filed under both components: counted with the first one.
            if (std::abs(r.m1) == magnitude1 || std::abs(r.m2) == magnitude1) continue;
            if (r.genotype == q.genotype) continue;
            if (wouldConflict(state, r, l1, l2, planes)) ++conflicts;
        }
        q.record->sd = conflicts;
    }
}

} // namespace
