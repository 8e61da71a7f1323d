#include "search/collapse.hpp"

#include "search_test_support.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using search_testing::liveDistance;
using search_testing::sameWorkingSet;
using testing_support::listOf;

namespace {

// The slots of a group, in ascending order (a group's order means nothing).
std::vector<int> groupOf(const std::vector<int>& group, int count)
{
    std::vector<int> slots(group.begin(), group.begin() + count);
    std::sort(slots.begin(), slots.end());
    return slots;
}

// B (label +3, 2121) collapses into A (label +1, 1221); each has a same-side
// partner and a mate, and one slot stands outside both components. As in a
// random collapse that fixes sites, no two live slots are at distance 0.
struct CollapseExample : testing::Test {
    enum Slot { A, A2, MateA, B, B2, MateB, Outside };
    HaplotypeList list = listOf({"1221", "1220", "0220", "2121", "2120", "2020", "1021"},
                                {1, 1, -1, 3, 3, -3, 5});
    SearchState state;
    DistanceStructure distances;

    void SetUp() override
    {
        createSearchState(state, list);
        distances = createDistanceStructure(list);
        restoreDistances(distances);
    }
    void collapse(bool updateDistances)
    {
        collapseSlots(state, state.current.position[A], state.current.position[B], distances, updateDistances);
    }
};

} // namespace

TEST_F(CollapseExample, FixesSitesRelabelsAndRemovesTheSlot)
{
    collapse(true);
    const HaplotypeList& c = state.current;
    ASSERT_EQ(state.firstSiteCount, 1);
    EXPECT_EQ(state.firstSites[0], 1);
    EXPECT_EQ(state.firstValues[0], '1');
    ASSERT_EQ(state.secondSiteCount, 1);
    EXPECT_EQ(state.secondSites[0], 0);
    EXPECT_EQ(state.secondValues[0], '1');
    EXPECT_EQ(groupOf(state.firstGroup, state.firstGroupCount), (std::vector<int>{A, A2, MateA}));
    EXPECT_EQ(groupOf(state.secondGroup, state.secondGroupCount), (std::vector<int>{B2, MateB}));

    EXPECT_EQ(c.text[A], "1121");
    EXPECT_EQ(c.text[A2], "1120");
    EXPECT_EQ(c.text[MateA], "0020");
    EXPECT_EQ(c.text[B2], "1120");
    EXPECT_EQ(c.label[B2], 1);
    EXPECT_EQ(c.text[MateB], "0020");
    EXPECT_EQ(c.label[MateB], -1);
    EXPECT_EQ(c.text[Outside], "1021");
    EXPECT_EQ(c.label[Outside], 5);
    EXPECT_EQ(c.label[A], 1);
    EXPECT_EQ(c.label[MateA], -1);

    // B sits just past the live part, its text and label untouched.
    EXPECT_EQ(c.liveCount, 6);
    EXPECT_EQ(c.order[6], static_cast<int>(B));
    EXPECT_EQ(c.position[B], 6);
    EXPECT_EQ(c.order[3], static_cast<int>(Outside));
    EXPECT_EQ(c.position[Outside], 3);
    EXPECT_EQ(c.text[B], "2121");
    EXPECT_EQ(c.label[B], 3);

    // Site 2 is still open, so live mates of the merged component are incompatible.
    EXPECT_EQ(liveDistance(c, MateA, A), -1);
    EXPECT_EQ(liveDistance(c, MateB, A), -1);
    EXPECT_EQ(liveDistance(c, MateB, B2), -1);
    EXPECT_EQ(liveDistance(c, B2, A2), 0);

    DistanceStructure fromScratch = distances;
    computeDistances(fromScratch, c);
    std::string where;
    EXPECT_TRUE(sameWorkingSet(fromScratch, distances, where)) << where;
}

TEST_F(CollapseExample, WithoutTheUpdateOnlyTheRemovedSlotsDistancesChange)
{
    const DistanceStructure before = distances;
    collapse(false);
    // The histograms lost exactly B's compatible pairs, with B's text before the collapse.
    std::vector<std::int32_t> expected = before.histogram();
    for (int i = 0; i < distances.slotCount; ++i) {
        if (i == B) continue;
        const int d = liveDistance(list, B, i);
        if (d >= 0) --expected[d];
    }
    EXPECT_EQ(distances.histogram(), expected);
    for (int a = 0; a < distances.slotCount; ++a) {
        if (a == B) continue;
        int lost = 0;
        if (a > B && liveDistance(list, a, B) >= 0) lost = 1;
        int countBefore = 0, after = 0;
        for (int d = 0; d <= distances.length; ++d) {
            countBefore += before.rowHistogramOf(a)[d];
            after += distances.rowHistogramOf(a)[d];
        }
        EXPECT_EQ(after, countBefore - lost) << "row " << a;
    }
    EXPECT_EQ(distances.rowHistogramOf(B)[0] + distances.rowHistogramOf(B)[1], 0);
    EXPECT_EQ(state.current.text[A], "1121");
}

TEST(Collapse, IdenticalSlotsOnlyLoseTheRemovedOne)
{
    HaplotypeList list = listOf({"0101", "0101", "2201", "2201"}, {1, -1, 2, -2});
    SearchState state;
    createSearchState(state, list);
    DistanceStructure distances = createDistanceStructure(list);
    restoreDistances(distances);
    collapseSlots(state, 1, 0, distances, true);
    EXPECT_EQ(state.firstSiteCount, 0);
    EXPECT_EQ(state.secondSiteCount, 0);
    EXPECT_EQ(state.current.text, list.text);
    EXPECT_EQ(state.current.label, list.label);
    EXPECT_EQ(state.current.liveCount, 3);
    EXPECT_EQ(state.current.order[0], 3);
    EXPECT_EQ(state.current.order[3], 0);
    DistanceStructure fromScratch = distances;
    computeDistances(fromScratch, state.current);
    std::string where;
    EXPECT_TRUE(sameWorkingSet(fromScratch, distances, where)) << where;
}

TEST(Collapse, SlotsOfOneComponentChangeNoSiteAndNoLabel)
{
    // Slots 0 and 2 share component 1; slot 1 is their mate.
    HaplotypeList list = listOf({"0211", "1201", "0211", "0011"}, {1, -1, 1, 2});
    SearchState state;
    createSearchState(state, list);
    DistanceStructure distances = createDistanceStructure(list);
    restoreDistances(distances);
    collapseSlots(state, 2, 0, distances, true);
    EXPECT_EQ(state.secondGroupCount, 0);
    EXPECT_EQ(groupOf(state.firstGroup, state.firstGroupCount), (std::vector<int>{1, 2}));
    EXPECT_EQ(state.current.text[1], "1201");
    EXPECT_EQ(state.current.text[2], "0211");
    EXPECT_EQ(state.current.label[1], -1);
}

TEST(Collapse, AnOutsidePairGainsLosesOrBreaksByTheFixedSites)
{
    // A (+1, 222) takes B's (+2, 010) values; outside slots see A determined.
    HaplotypeList list = listOf({"222", "010", "012", "210", "110"}, {1, 2, 3, 4, 5});
    SearchState state;
    createSearchState(state, list);
    DistanceStructure distances = createDistanceStructure(list);
    restoreDistances(distances);
    EXPECT_EQ(liveDistance(state.current, 2, 0), 2);
    EXPECT_EQ(liveDistance(state.current, 3, 0), 2);
    EXPECT_EQ(liveDistance(state.current, 4, 0), 3);
    collapseSlots(state, 0, 1, distances, true);
    EXPECT_EQ(state.current.text[0], "010");
    // 012: two sites now agree (-2), one where it is '2' (+1).
    EXPECT_EQ(liveDistance(state.current, 2, 0), 1);
    // 210: the '2' site gains, the two agreeing sites lose.
    EXPECT_EQ(liveDistance(state.current, 3, 0), 1);
    // 110: '1' against the new '0' breaks the pair.
    EXPECT_EQ(liveDistance(state.current, 4, 0), -1);
    DistanceStructure fromScratch = distances;
    computeDistances(fromScratch, state.current);
    std::string where;
    EXPECT_TRUE(sameWorkingSet(fromScratch, distances, where)) << where;
}
