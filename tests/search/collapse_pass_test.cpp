#include "search/collapse_pass.hpp"

#include "search/candidate_lists.hpp"
#include "search/conflict_lookahead.hpp"
#include "search/pair_choice.hpp"
#include "search/random_generator.hpp"
#include "search_test_support.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <random>

using search_testing::addCandidate;
using testing_support::randomGenotypes;
using testing_support::SearchFixture;

namespace {

std::pair<int, int> slotsOf(const SearchState& state, const PairRecord* r)
{
    return {state.current.order[r->hap1], state.current.order[r->hap2]};
}

} // namespace

TEST(CollapsePass, FirstCycleWeightsOfGenotypes02_22_01)
{
    SearchFixture f({"02", "22", "01"});
    buildPairLists(f.state, f.initial);
    resetMarks(f.state);
    settleUsedPairs(f.state);
    countConflicts(f.state);
    rescorePairs(f.state, f.initial);
    EXPECT_EQ(f.state.current.weight, (std::vector<float>{4.75f, 4.75f, 3.875f, 3.875f, 6.5f, 6.5f}));
}

TEST(CollapsePass, SettlesGenotypes02_22_01InThreeCommits)
{
    SearchFixture f({"02", "22", "01"});
    buildPairLists(f.state, f.initial);
    resetMarks(f.state);
    settleUsedPairs(f.state);
    struct Commit {
        int genotype;
        std::pair<int, int> slots;
    };
    std::vector<Commit> commits;
    for (;;) {
        countConflicts(f.state);
        rescorePairs(f.state, f.initial);
        const PairRecord* next = selectNextPair(f.state);
        if (next == nullptr) break;
        commits.push_back({next->genotype, slotsOf(f.state, next)});
        if (commits.size() == 1) {
            EXPECT_EQ(next->sd, 0);
            // The first met of three candidates with score 13.
            const HaplotypeList& c = f.state.current;
            EXPECT_EQ(c.weight[5] + c.weight[5], 13.0f);
        }
        ASSERT_TRUE(chooseNextPair(f.state, f.initial));
        ASSERT_LE(commits.size(), 3u);
    }
    EXPECT_FALSE(chooseNextPair(f.state, f.initial));
    ASSERT_EQ(commits.size(), 3u);
    EXPECT_EQ(commits[0].genotype, 2);
    EXPECT_EQ(commits[0].slots, std::make_pair(5, 5));
    EXPECT_EQ(commits[1].genotype, 0);
    EXPECT_EQ(commits[1].slots, std::make_pair(1, 5));
    EXPECT_EQ(commits[2].genotype, 1);
    EXPECT_EQ(commits[2].slots, std::make_pair(3, 5));
}

TEST(CollapsePass, ReturnsTheUsedSlotsAndKeepsOnlySharedPairsActive)
{
    SearchFixture f({"02", "22", "01"});
    const CollapsePassResult result = collapsePass(f.state, f.initial);
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(result.used, 3);
    const HaplotypeList& c = f.state.current;
    EXPECT_EQ(c.mark, (std::vector<int>{1, 2, 1, 2, 1, 2}));
    EXPECT_EQ(c.text[1], "00");
    EXPECT_EQ(c.text[3], "10");
    EXPECT_EQ(c.text[5], "01");
    EXPECT_EQ(c.useCount, (std::vector<int>{0, 1, 0, 1, 0, 4}));
    for (const PairRecord* head : f.state.pairLists) {
        ASSERT_NE(head, nullptr);
        EXPECT_EQ(head->next, nullptr);
    }
    EXPECT_EQ(f.state.pairLists[0]->active, 0);
    EXPECT_EQ(f.state.pairLists[1]->active, 0);
    EXPECT_EQ(f.state.pairLists[2]->active, 1);
}

TEST(CollapsePass, ListsSettledByTheBuildNeedNoCycle)
{
    // Two homozygous genotypes, each slot collapsed onto one per genotype.
    SearchFixture f({"00", "11"});
    HaplotypeList& c = f.state.current;
    c.order = {1, 3, 0, 2};
    c.position = {2, 0, 3, 1};
    c.liveCount = 2;
    const CollapsePassResult result = collapsePass(f.state, f.initial);
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(result.used, 2);
    EXPECT_EQ(slotsOf(f.state, f.state.pairLists[0]), std::make_pair(1, 1));
    EXPECT_EQ(slotsOf(f.state, f.state.pairLists[1]), std::make_pair(3, 3));
    // Each slot serves its genotype twice: both pairs stay active.
    EXPECT_EQ(f.state.pairLists[0]->active, 1);
    EXPECT_EQ(f.state.pairLists[1]->active, 1);
}

TEST(CollapsePass, AGenotypeWithoutAnyPairFailsTheAttemptSafely)
{
    SearchFixture f({"0", "1"});
    HaplotypeList& c = f.state.current;
    c.liveCount = 2;  // only the two slots of genotype "0" stay live
    testing::internal::CaptureStdout();
    const CollapsePassResult result = collapsePass(f.state, f.initial);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Dangerous i=1!!!!!\n");
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(f.state.pairLists[1], nullptr);
    ASSERT_NE(f.state.pairLists[0], nullptr);
    EXPECT_EQ(f.state.pairLists[0]->next, nullptr);
    EXPECT_GE(result.used, 1);
}

TEST(CollapsePass, NoUsedSlotAtAllDoesNotDivideByZero)
{
    SearchFixture f({"0", "1"});
    f.state.current.liveCount = 0;
    testing::internal::CaptureStdout();
    const CollapsePassResult result = collapsePass(f.state, f.initial);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Dangerous i=0!!!!!\nDangerous i=1!!!!!\n");
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.used, 0);
}

TEST(CommitPair, PruningMayEmptyAListWithoutTouchingIt)
{
    SearchFixture f({"0", "1"});
    PairRecord* chosen = addCandidate(f.state, 0, 0, 1);
    addCandidate(f.state, 0, 0, 0);
    addCandidate(f.state, 1, 2, 3);
    addCandidate(f.state, 1, 3, 3);
    // Genotype "1" cannot be explained by slots that now read "0".
    f.state.current.text[2] = "0";
    f.state.current.text[3] = "0";
    preparePairPlanes(f.state, f.initial);
    commitPair(f.state, 0, chosen);
    EXPECT_EQ(f.state.pairLists[0], chosen);
    EXPECT_EQ(chosen->next, nullptr);
    EXPECT_EQ(f.state.pairLists[1], nullptr);
    EXPECT_EQ(f.state.pairPool.liveRecords(), 1u);
    EXPECT_EQ(f.state.current.mark[0], 2);
    EXPECT_EQ(f.state.current.mark[1], 2);
}

TEST(CommitPair, APrunedListOfOneRecordMarksItsSlots)
{
    SearchFixture f({"0", "1"});
    PairRecord* chosen = addCandidate(f.state, 0, 0, 0);
    addCandidate(f.state, 0, 1, 1);
    addCandidate(f.state, 1, 2, 3);
    addCandidate(f.state, 1, 1, 3);  // "0" with "1" cannot give "1"
    preparePairPlanes(f.state, f.initial);
    commitPair(f.state, 0, chosen);
    ASSERT_NE(f.state.pairLists[1], nullptr);
    EXPECT_EQ(f.state.pairLists[1]->next, nullptr);
    EXPECT_EQ(slotsOf(f.state, f.state.pairLists[1]), std::make_pair(2, 3));
    EXPECT_EQ(f.state.current.mark[2], 2);
    EXPECT_EQ(f.state.current.mark[3], 2);
}

namespace {

// Three open candidates of genotype 0, met in the order given.
struct ChoiceCase : testing::Test {
    SearchFixture f{std::vector<std::string>{"00", "01", "10", "11"}};
    std::vector<PairRecord*> met;
    void candidates(const std::vector<std::tuple<int, int, int>>& pairsWithSd)
    {
        for (auto it = pairsWithSd.rbegin(); it != pairsWithSd.rend(); ++it) {
            met.insert(met.begin(), addCandidate(f.state, 0, std::get<0>(*it), std::get<1>(*it), std::get<2>(*it)));
        }
    }
};

} // namespace

TEST_F(ChoiceCase, MoreUsedSlotsWinWhateverTheConflictsAndScores)
{
    HaplotypeList& c = f.state.current;
    c.mark = {2, 2, 2, 1, 1, 1, 1, 1};
    c.weight = {0, 0, 0, 9, 9, 9, 9, 9};
    candidates({{0, 3, 0}, {1, 2, 5}});
    EXPECT_EQ(selectNextPair(f.state), met[1]);
}

TEST_F(ChoiceCase, WithOneUsedSlotTheScoreIsTheOtherSlotsWeight)
{
    HaplotypeList& c = f.state.current;
    c.mark = {2, 1, 1, 1, 1, 1, 1, 1};
    c.weight = {7, 5, 3, 4, 0, 0, 0, 0};
    candidates({{0, 1, 0}, {0, 2, 0}, {0, 3, 0}});  // scores 5, 3, 4
    EXPECT_EQ(selectNextPair(f.state), met[0]);
    c.weight[3] = 6;
    EXPECT_EQ(selectNextPair(f.state), met[2]);
}

TEST_F(ChoiceCase, OfFullyEqualCandidatesTheFirstMetStays)
{
    HaplotypeList& c = f.state.current;
    c.weight = {1, 1, 1, 1, 1, 1, 1, 1};
    candidates({{4, 5, 1}, {2, 3, 1}, {0, 1, 1}});
    EXPECT_EQ(selectNextPair(f.state), met[0]);
}

TEST_F(ChoiceCase, FewerConflictsThenTheLargerScore)
{
    HaplotypeList& c = f.state.current;
    c.mark = {1, 1, 1, 1, 1, 1, 1, 1};
    c.weight = {0, 4.5f, 1.5f, 2, 0, 0, 0, 0};
    candidates({{1, 1, 2}, {2, 2, 1}, {3, 3, 1}});
    EXPECT_EQ(selectNextPair(f.state), met[2]);
}

TEST_F(ChoiceCase, NoOpenListMeansNoChoice)
{
    addCandidate(f.state, 0, 0, 0);
    EXPECT_EQ(selectNextPair(f.state), nullptr);
    EXPECT_FALSE(chooseNextPair(f.state, f.initial));
}

namespace {

// Settled lists on the given slot pairs (positions equal slots), with the
// use counts the pass computes before its sweep.
void settleOn(SearchFixture& f, const std::vector<std::pair<int, int>>& pairs)
{
    HaplotypeList& c = f.state.current;
    c.useCount.assign(c.slotCount, 0);
    for (std::size_t g = 0; g < pairs.size(); ++g) {
        addCandidate(f.state, static_cast<int>(g), pairs[g].first, pairs[g].second);
        ++c.useCount[pairs[g].first];
        ++c.useCount[pairs[g].second];
    }
    c.useLeft = c.useCount;
}

std::vector<int> activeFlags(const SearchFixture& f)
{
    std::vector<int> flags;
    for (const PairRecord* r : f.state.pairLists) flags.push_back(r->active);
    return flags;
}

} // namespace

TEST(DeactivatePairs, TwoGenotypesSharingTwoSlotsKeepBoth)
{
    SearchFixture f({"0", "1"});
    settleOn(f, {{0, 1}, {0, 1}});
    deactivatePairs(f.state, 2);
    EXPECT_EQ(activeFlags(f), (std::vector<int>{1, 1}));
}

TEST(DeactivatePairs, OneSweepTakesEffectAtOnceAlongAChain)
{
    // (A,B), (B,C), (C,D) with n = 6: four used slots, a single sweep.
    SearchFixture f({"0", "1", "2"});
    settleOn(f, {{0, 1}, {1, 2}, {2, 3}});
    deactivatePairs(f.state, 4);
    EXPECT_EQ(activeFlags(f), (std::vector<int>{0, 0, 0}));
}

TEST(DeactivatePairs, ASingleSweepCanLeaveAPairWhoseSlotLosesItsOtherUserLater)
{
    // (B,C), (A,B), (C,D): the sweep clears the second and third only.
    SearchFixture f({"0", "1", "2"});
    settleOn(f, {{1, 2}, {0, 1}, {2, 3}});
    deactivatePairs(f.state, 4);
    EXPECT_EQ(activeFlags(f), (std::vector<int>{1, 0, 0}));
}

TEST(DeactivatePairs, SweepsRepeatWhenAtMostHalfTheSlotsAreUsed)
{
    // (B,C), (A,B), (C,C), (C,C) with n = 8 and three used slots.
    SearchFixture f({"00", "01", "10", "11"});
    settleOn(f, {{1, 2}, {0, 1}, {2, 2}, {2, 2}});
    deactivatePairs(f.state, 3);
    EXPECT_EQ(activeFlags(f), (std::vector<int>{0, 0, 1, 1}));
}

TEST(DeactivatePairs, ASlotUsedTwiceByOneGenotypeOnlyStaysActive)
{
    SearchFixture f({"0", "1"});
    settleOn(f, {{0, 0}, {1, 2}});
    deactivatePairs(f.state, 3);
    EXPECT_EQ(activeFlags(f), (std::vector<int>{1, 0}));
}

TEST(CollapsePass, EveryAttemptEndsWithOneExplainingPairPerGenotype)
{
    std::mt19937 rng(314);
    for (int round = 0; round < 120 && !HasFailure(); ++round) {
        const int count = 2 + static_cast<int>(rng() % 40);
        const int length = 1 + static_cast<int>(rng() % 20);
        const int pool = 1 + static_cast<int>(rng() % 12);
        SearchFixture f(randomGenotypes(rng, count, length, pool));
        RandomGenerator random;
        seedGenerator(random, static_cast<int>(rng() % 10000));
        randomCollapse(f.state, f.distances, random);
        const CollapsePassResult result = collapsePass(f.state, f.initial);
        ASSERT_FALSE(result.failed);
        const HaplotypeList& c = f.state.current;
        int marked = 0;
        for (int s = 0; s < c.slotCount; ++s) marked += c.mark[s] == 2 ? 1 : 0;
        EXPECT_EQ(result.used, marked);
        for (int g = 0; g < f.initial.slotCount / 2; ++g) {
            const PairRecord* r = f.state.pairLists[g];
            ASSERT_NE(r, nullptr);
            ASSERT_EQ(r->next, nullptr);
            const auto [s1, s2] = slotsOf(f.state, r);
            EXPECT_EQ(c.mark[s1], 2);
            EXPECT_EQ(c.mark[s2], 2);
            const std::string& genotype = f.initial.text[2 * g];
            for (int s = 0; s < length; ++s) {
                const char a = c.text[s1][s];
                const char b = c.text[s2][s];
                if (a != '2' && b != '2') {
                    const bool explains = genotype[s] == '2' ? a != b : a == genotype[s] && b == genotype[s];
                    EXPECT_TRUE(explains) << "genotype " << genotype << " site " << s << " by " << c.text[s1]
                                          << " and " << c.text[s2] << " (round " << round << ")";
                } else if (a == '2' && b == '2' && genotype[s] == '2') {
                    EXPECT_EQ(c.label[s1], -c.label[s2]) << "round " << round;
                }
            }
        }
    }
}
