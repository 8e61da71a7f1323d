#include "search/conflict_lookahead.hpp"

#include "search/candidate_lists.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

using testing_support::listOf;
using testing_support::SearchFixture;

namespace {

// Slot X holds "2" (label 1), W "0" (label 2), Y "0" (label 3), Z "1"
// (label 4). Genotype 0 is "0", genotype 1 is "2"; each list is kept open by
// a filler pair of one slot with itself.
struct ConflictExample : testing::Test {
    enum Slot { X, W, Y, Z };
    HaplotypeList genotypes = listOf({"0", "0", "2", "2"}, {1, -1, 2, -2});
    SearchState state;

    void SetUp() override { createSearchState(state, listOf({"2", "0", "0", "1"}, {1, 2, 3, 4})); }

    PairRecord* add(int genotype, int hap1, int hap2)
    {
        PairRecord* r = state.pairPool.allocate();
        *r = PairRecord{hap1, hap2, 1.0f, 0, 0, genotype, 0, 1, state.pairLists[genotype]};
        state.pairLists[genotype] = r;
        return r;
    }
};

} // namespace

TEST_F(ConflictExample, FixingXRulesOutTheOtherGenotypesPairWithX)
{
    PairRecord* xw = add(0, X, W);
    PairRecord* filler0 = add(0, W, W);
    PairRecord* xy = add(1, X, Y);
    add(1, Z, Z);
    countConflicts(state, genotypes);
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
    countConflicts(state, genotypes);
    EXPECT_EQ(xw->sd, 1);
}

TEST_F(ConflictExample, XMayBeTheCandidatesOwnSecondSlot)
{
    PairRecord* wx = add(0, W, X);
    add(0, W, W);
    add(1, X, Y);
    add(1, Z, Z);
    countConflicts(state, genotypes);
    EXPECT_EQ(wx->sd, 1);
}

TEST_F(ConflictExample, CandidatesOfTheSameGenotypeNeverCountAndEachOtherOneCountsOnce)
{
    PairRecord* xw = add(0, X, W);
    add(0, X, Z);  // same genotype as (X, W): never counts
    add(1, X, Y);
    add(1, Y, X);
    countConflicts(state, genotypes);
    EXPECT_EQ(xw->sd, 2);
}

TEST(CountConflicts, CandidatesThatDecideNothingOrShareAComponentHaveNone)
{
    // Slots 0 and 1 are mates (one component), slots 2 and 3 determined.
    HaplotypeList genotypes = listOf({"2", "2", "0", "0"}, {1, -1, 2, -2});
    SearchState state;
    createSearchState(state, listOf({"2", "2", "0", "1"}, {1, -1, 2, 3}));
    auto add = [&](int genotype, int hap1, int hap2) {
        PairRecord* r = state.pairPool.allocate();
        *r = PairRecord{hap1, hap2, 1.0f, 0, 0, genotype, 5, 1, state.pairLists[genotype]};
        state.pairLists[genotype] = r;
        return r;
    };
    PairRecord* mates = add(0, 0, 1);
    PairRecord* determined = add(0, 2, 3);
    add(1, 0, 2);
    add(1, 2, 2);
    countConflicts(state, genotypes);
    EXPECT_EQ(mates->sd, 0);
    EXPECT_EQ(determined->sd, 0);
}

TEST(CountConflicts, FirstCycleOfGenotypes02_22_01)
{
    SearchFixture f({"02", "22", "01"});
    buildPairLists(f.state, f.initial);
    resetMarks(f.state);
    settleUsedPairs(f.state);
    countConflicts(f.state, f.initial);
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
