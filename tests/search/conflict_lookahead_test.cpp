#include "search/conflict_lookahead.hpp"

#include "search/candidate_lists.hpp"
#include "search/collapse_pass.hpp"
#include "search/pair_choice.hpp"
#include "search/random_generator.hpp"
#include "search_test_support.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <random>

using search_testing::addCandidate;
using testing_support::listOf;
using testing_support::randomGenotypes;
using testing_support::SearchFixture;

namespace {

// Slot X holds "2" (label 1), W "0" (label 2), Y "0" (label 3), Z "1"
// (label 4). Genotype 0 is "0", genotype 1 is "2"; each list is kept open by
// a filler pair of one slot with itself.
struct ConflictExample : testing::Test {
    enum Slot { X, W, Y, Z };
    HaplotypeList genotypes = listOf({"0", "0", "2", "2"}, {1, -1, 2, -2});
    SearchState state;

    void SetUp() override
    {
        createSearchState(state, listOf({"2", "0", "0", "1"}, {1, 2, 3, 4}));
        preparePairPlanes(state, genotypes);
    }

    PairRecord* add(int genotype, int hap1, int hap2) { return addCandidate(state, genotype, hap1, hap2); }
};

} // namespace

TEST_F(ConflictExample, FixingXRulesOutTheOtherGenotypesPairWithX)
{
    PairRecord* xw = add(0, X, W);
    PairRecord* filler0 = add(0, W, W);
    PairRecord* xy = add(1, X, Y);
    add(1, Z, Z);
    countConflicts(state);
    EXPECT_EQ(xw->sd, 1);
    EXPECT_EQ(filler0->sd, 0);  // one slot twice: one component
    EXPECT_EQ(xy->sd, 1);       // fixing X opposite Y (to 1) breaks (X, W)
}

TEST_F(ConflictExample, TheSlotOfXsComponentMayBeTheOtherPairsSecondSlot)
{
    PairRecord* xw = add(0, X, W);
    add(0, W, W);
    add(1, Y, X);
    add(1, Z, Z);
    countConflicts(state);
    EXPECT_EQ(xw->sd, 1);
}

TEST_F(ConflictExample, XMayBeTheCandidatesOwnSecondSlot)
{
    PairRecord* wx = add(0, W, X);
    add(0, W, W);
    add(1, X, Y);
    add(1, Z, Z);
    countConflicts(state);
    EXPECT_EQ(wx->sd, 1);
}

TEST_F(ConflictExample, CandidatesOfTheSameGenotypeNeverCountAndEachOtherOneCountsOnce)
{
    PairRecord* xw = add(0, X, W);
    add(0, X, Z);  // same genotype as (X, W): never counts
    add(1, X, Y);
    add(1, Y, X);
    countConflicts(state);
    EXPECT_EQ(xw->sd, 2);
}

TEST(CountConflicts, CandidatesThatDecideNothingOrShareAComponentHaveNone)
{
    // Slots 0 and 1 are mates (one component), slots 2 and 3 determined.
    HaplotypeList genotypes = listOf({"2", "2", "0", "0"}, {1, -1, 2, -2});
    SearchState state;
    createSearchState(state, listOf({"2", "2", "0", "1"}, {1, -1, 2, 3}));
    preparePairPlanes(state, genotypes);
    // A stale count of 5 must be reset.
    auto add = [&](int genotype, int hap1, int hap2) { return addCandidate(state, genotype, hap1, hap2, 5); };
    PairRecord* mates = add(0, 0, 1);
    PairRecord* determined = add(0, 2, 3);
    add(1, 0, 2);
    add(1, 2, 2);
    countConflicts(state);
    EXPECT_EQ(mates->sd, 0);
    EXPECT_EQ(determined->sd, 0);
}

namespace {

// The conflict count of one candidate, site by site from the rules: for
// every open candidate r of another genotype with a slot in the component
// of one of q's slots, the values and labels r's slots would have after q is
// fixed are tested against r's genotype at q's sites.
int referenceConflicts(const SearchState& state, const HaplotypeList& initial, const PairRecord& q)
{
    const HaplotypeList& c = state.current;
    const int s1 = c.order[q.hap1];
    const int s2 = c.order[q.hap2];
    const int l1 = c.label[s1];
    const int l2 = c.label[s2];
    if (l2 == l1 || l2 == -l1) return 0;
    const std::string& g = initial.text[2 * q.genotype];
    auto other = [](char x) { return x == '0' ? '1' : x == '1' ? '0' : '2'; };
    auto flip = [](char x) { return x == '0' ? '1' : x == '1' ? '0' : x; };
    int conflicts = 0;
    for (const PairRecord* head : state.pairLists) {
        if (head == nullptr || head->next == nullptr) continue;
        for (const PairRecord* r = head; r != nullptr; r = r->next) {
            if (r->genotype == q.genotype) continue;
            const int t1 = c.order[r->hap1];
            const int t2 = c.order[r->hap2];
            const int m1 = c.label[t1];
            const int m2 = c.label[t2];
            if (m2 == m1 || m2 == -m1) continue;
            auto inQ = [&](int m) { return m == l1 || m == -l1 || m == l2 || m == -l2; };
            if (!inQ(m1) && !inQ(m2)) continue;
            auto joined = [&](int m) { return m == l2 ? -l1 : m == -l2 ? l1 : m; };
            const bool opposite = joined(m1) == -joined(m2);
            const bool equal = joined(m1) == joined(m2);
            const std::string& h = initial.text[2 * r->genotype];
            for (int x = 0; x < c.length; ++x) {
                const char a = c.text[s1][x];
                const char b = c.text[s2][x];
                if (a != '2' && b != '2') continue;
                const char first = a != '2' ? '3' : g[x] != '2' ? g[x] : other(b);
                const char second = b != '2' ? '3' : g[x] != '2' ? g[x] : other(a);
                auto after = [&](char ch, int m) {
                    if (ch != '2') return ch;
                    if (m == l1) return first;
                    if (m == -l1) return flip(first);
                    if (m == l2) return second;
                    if (m == -l2) return flip(second);
                    return ch;
                };
                const char C = after(c.text[t1][x], m1);
                const char D = after(c.text[t2][x], m2);
                const bool bothOpen = C == '2' && D == '2';
                const bool conflict = h[x] == '0'   ? C == '1' || D == '1' || (opposite && bothOpen)
                                      : h[x] == '1' ? C == '0' || D == '0' || (opposite && bothOpen)
                                                    : (C == D && (C == '0' || C == '1')) || (equal && bothOpen);
                if (conflict) {
                    ++conflicts;
                    break;
                }
            }
        }
    }
    return conflicts;
}

} // namespace

TEST(CountConflicts, AgreesWithTheSiteBySiteRulesThroughWholePasses)
{
    std::mt19937 rng(4242);
    int ruledOut = 0;
    for (int round = 0; round < 60 && !HasFailure(); ++round) {
        const int count = 3 + static_cast<int>(rng() % 14);
        const int length = 2 + static_cast<int>(rng() % 90);
        SearchFixture f(randomGenotypes(rng, count, length, 2 + static_cast<int>(rng() % 12)));
        // Every other round starts from the fresh slots, where candidates
        // rule each other out far more often than after a random collapse.
        if (round % 2 == 1) {
            RandomGenerator random;
            seedGenerator(random, static_cast<int>(rng() % 1000));
            randomCollapse(f.state, f.distances, random);
        }
        buildPairLists(f.state, f.initial);
        resetMarks(f.state);
        settleUsedPairs(f.state);
        do {
            countConflicts(f.state);
            for (const PairRecord* head : f.state.pairLists) {
                if (head == nullptr || head->next == nullptr) continue;
                for (const PairRecord* r = head; r != nullptr; r = r->next) {
                    ASSERT_EQ(r->sd, referenceConflicts(f.state, f.initial, *r)) << "round " << round;
                    ruledOut += r->sd;
                }
            }
            rescorePairs(f.state, f.initial);
        } while (chooseNextPair(f.state, f.initial));
    }
    EXPECT_GT(ruledOut, 1000) << "the passes must meet candidates that rule others out";
}

TEST(CountConflicts, FirstCycleOfGenotypes02_22_01)
{
    SearchFixture f({"02", "22", "01"});
    buildPairLists(f.state, f.initial);
    resetMarks(f.state);
    settleUsedPairs(f.state);
    countConflicts(f.state);
    auto sdOf = [&](int genotype, int hap1, int hap2) {
        for (const PairRecord* r = f.state.pairLists[genotype]; r != nullptr; r = r->next)
            if (r->hap1 == hap1 && r->hap2 == hap2) return r->sd;
        ADD_FAILURE() << "no pair (" << hap1 << "," << hap2 << ")";
        return -1;
    };
    // Fixing (1,5) sets slot 1 to "00": genotype 2 loses (1,5), (1,4), (1,3), (1,2).
    EXPECT_EQ(sdOf(0, 1, 5), 4);
    EXPECT_EQ(sdOf(0, 0, 1), 0);
}
