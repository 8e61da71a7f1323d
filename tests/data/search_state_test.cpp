#include "data/search_state.hpp"

#include "search/collapse_pass.hpp"
#include "search/pair_choice.hpp"
#include "search/random_generator.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

using testing_support::initialListOf;
using testing_support::SearchFixture;

TEST(SearchState, CreationFillsTheWorkingAndBestListsFromTheInitialOne)
{
    const HaplotypeList initial = initialListOf({"0121", "0121", "2200"});
    SearchState state;
    createSearchState(state, initial);
    EXPECT_EQ(state.current.text, initial.text);
    EXPECT_EQ(state.best.text, initial.text);
    EXPECT_EQ(state.current.label, initial.label);
    EXPECT_EQ(state.bestCount, 4);
    EXPECT_EQ(state.iterationBestCount, 4);
    ASSERT_EQ(state.pairLists.size(), 2u);
    for (const PairRecord* head : state.pairLists) EXPECT_EQ(head, nullptr);
    EXPECT_EQ(state.bestPairs.size(), 2u);
    EXPECT_EQ(state.iterationBestPairs.size(), 2u);
    EXPECT_EQ(state.slotChains.size(), 8u);
}

TEST(SearchState, ResetFreesTheListsAndKeepsWhatWasSaved)
{
    SearchFixture f({"0121", "2200", "2222", "0101"});
    RandomGenerator random;
    seedGenerator(random, 3);
    randomCollapse(f.state, f.distances, random);
    const CollapsePassResult result = collapsePass(f.state, f.initial);
    ASSERT_FALSE(result.failed);
    copyHaplotypeList(f.state.best, f.state.current);
    copyPairRecords(f.state.bestPairs, f.state.pairLists, 4);
    f.state.bestCount = result.used;
    const HaplotypeList savedBest = f.state.best;
    const PairRecord savedPair = f.state.bestPairs[1];
    ASSERT_GT(f.state.pairPool.liveRecords(), 0u);

    resetSearchState(f.state, f.initial, f.distances);

    for (const PairRecord* head : f.state.pairLists) EXPECT_EQ(head, nullptr);
    EXPECT_EQ(f.state.pairPool.liveRecords(), 0u);
    EXPECT_EQ(f.state.current.liveCount, f.initial.slotCount);
    EXPECT_EQ(f.state.current.text, f.initial.text);
    EXPECT_EQ(f.state.current.label, f.initial.label);
    EXPECT_EQ(f.state.current.mark, f.initial.mark);
    EXPECT_EQ(f.distances.working.rowHistogram, f.distances.initial->histograms.rowHistogram);
    EXPECT_EQ(f.distances.histogram(), f.distances.initialHistogram());
    EXPECT_EQ(f.distances.liveCount, f.initial.slotCount);
    EXPECT_EQ(f.state.best.text, savedBest.text);
    EXPECT_EQ(f.state.best.mark, savedBest.mark);
    EXPECT_EQ(f.state.bestPairs[1].hap1, savedPair.hap1);
    EXPECT_EQ(f.state.bestPairs[1].hap2, savedPair.hap2);
    EXPECT_EQ(f.state.bestCount, result.used);
}

TEST(PairRecords, CopyTakesOnlyTheHeadAndCutsItsLink)
{
    PairRecordPool pool;
    PairHeads lists = newPairHeads(2);
    PairRecord* tail = pool.allocate();
    *tail = PairRecord{4, 5, 0.25f, 2, 1, 0, 0, 1, nullptr};
    PairRecord* head = pool.allocate();
    *head = PairRecord{1, 3, 0.5f, 1, 0, 0, 7, 0, tail};
    lists[0] = head;
    PairRecord* other = pool.allocate();
    *other = PairRecord{2, 2, 1.0f, 0, 0, 1, 0, 1, nullptr};
    lists[1] = other;

    SavedPairs saved = allocatePairRecords(2);
    copyPairRecords(saved, lists, 2);
    EXPECT_EQ(saved[0].hap1, 1);
    EXPECT_EQ(saved[0].hap2, 3);
    EXPECT_EQ(saved[0].w, 0.5f);
    EXPECT_EQ(saved[0].vts, 1);
    EXPECT_EQ(saved[0].sd, 7);
    EXPECT_EQ(saved[0].active, 0);
    EXPECT_EQ(saved[0].next, nullptr);
    EXPECT_EQ(saved[1].genotype, 1);

    // The copy is a copy: later changes of the source do not reach it.
    head->hap1 = 9;
    head->active = 1;
    EXPECT_EQ(saved[0].hap1, 1);
    EXPECT_EQ(saved[0].active, 0);
}

TEST(PairRecords, CopyLeavesTheSavedRecordOfAnEmptyListUnchanged)
{
    PairHeads lists = newPairHeads(1);
    SavedPairs saved = allocatePairRecords(1);
    saved[0].hap1 = 6;
    copyPairRecords(saved, lists, 1);
    EXPECT_EQ(saved[0].hap1, 6);
}

TEST(PairRecords, FreeingEmptiesEveryListAndReusesTheRecords)
{
    PairRecordPool pool;
    PairHeads lists = newPairHeads(3);
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 5; ++k) {
            PairRecord* r = pool.allocate();
            *r = PairRecord{};
            r->next = lists[i];
            lists[i] = r;
        }
    }
    EXPECT_EQ(pool.liveRecords(), 15u);
    freePairLists(lists, pool);
    for (const PairRecord* head : lists) EXPECT_EQ(head, nullptr);
    EXPECT_EQ(pool.liveRecords(), 0u);
    freePairLists(lists, pool);  // already empty: nothing but null heads
    for (const PairRecord* head : lists) EXPECT_EQ(head, nullptr);
}

TEST(PairRecords, AReleasedRecordIsHandedOutAgain)
{
    PairRecordPool pool;
    PairRecord* first = pool.allocate();
    pool.allocate();
    pool.release(first);
    EXPECT_EQ(pool.liveRecords(), 1u);
    EXPECT_EQ(pool.allocate(), first);
}
