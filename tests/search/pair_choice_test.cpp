#include "search/pair_choice.hpp"

#include "search/collapse.hpp"
#include "search_test_support.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <random>

using search_testing::componentsShareUndeterminedSites;
using search_testing::generatorDrawingNext;
using search_testing::sameWorkingSet;
using search_testing::setWorkingSet;
using testing_support::listOf;
using testing_support::randomGenotypes;
using testing_support::SearchFixture;

namespace {

struct Drawn {
    int keep;    // slot kept
    int remove;  // slot removed
    int distanceClass;
};

Drawn drawWith(const DistanceStructure& distances, const HaplotypeList& list, int draw)
{
    RandomGenerator random = generatorDrawingNext(draw);
    RandomGenerator oneStepLater = random;
    drawRandom(oneStepLater);
    const PairChoice choice = choosePair(distances, 3, list.order, list.liveCount, random);
    EXPECT_EQ(random.state, oneStepLater.state) << "one draw per choice";
    return {list.order[choice.keepPosition], list.order[choice.removePosition], choice.distanceClass};
}

// Three pairs at distance 2 and five at distance 4, on five live slots.
struct SeventeenUnits : testing::Test {
    HaplotypeList list = listOf({"0000", "0000", "0000", "0000", "0000"}, {1, 2, 3, 4, 5});
    DistanceStructure distances = createDistanceStructure(list);
    void SetUp() override
    {
        setWorkingSet(distances, {{{1, 0}, 2}, {{2, 0}, 2}, {{4, 3}, 2}, {{2, 1}, 4}, {{3, 0}, 4},
                                  {{3, 1}, 4}, {{3, 2}, 4}, {{4, 0}, 4}, {{4, 1}, -1}, {{4, 2}, -1}});
    }
};

} // namespace

TEST_F(SeventeenUnits, DrawTenPicksPairOneOfTheClosestClass)
{
    // Class 2 in choice order: (4,3), (2,0), (1,0).
    const Drawn drawn = drawWith(distances, list, 10);
    EXPECT_EQ(drawn.distanceClass, 2);
    EXPECT_EQ(drawn.keep, 2);
    EXPECT_EQ(drawn.remove, 0);
}

TEST_F(SeventeenUnits, EveryUnitOfTheWalkMapsToItsPair)
{
    // Units 0..4: the five pairs of class 4 one unit each; 5..16: the three
    // pairs of class 2 four units each.
    const std::vector<std::pair<int, int>> classFour = {{4, 0}, {3, 0}, {3, 1}, {3, 2}, {2, 1}};
    const std::vector<std::pair<int, int>> classTwo = {{4, 3}, {2, 0}, {1, 0}};
    for (int r = 0; r < 17; ++r) {
        const Drawn drawn = drawWith(distances, list, r);
        const std::pair<int, int> expected = r < 5 ? classFour[r] : classTwo[(r - 5) / 4];
        EXPECT_EQ(drawn.distanceClass, r < 5 ? 4 : 2) << "r=" << r;
        EXPECT_EQ(std::make_pair(drawn.keep, drawn.remove), expected) << "r=" << r;
        // A draw is taken modulo the total weight.
        const Drawn wrapped = drawWith(distances, list, r + 17);
        EXPECT_EQ(std::make_pair(wrapped.keep, wrapped.remove), expected) << "r=" << r + 17;
    }
}

TEST(ChoosePair, LocatesThePairThroughTheRowHistogramsInPositionOrder)
{
    // Live positions 0..3 hold slots 3, 0, 5, 2; slots 1 and 4 are collapsed.
    HaplotypeList list = listOf({"0000", "0000", "0000", "0000", "0000", "0000"}, {1, 2, 3, 4, 5, 6});
    list.order = {3, 0, 5, 2, 1, 4};
    list.position = {1, 4, 3, 0, 5, 2};
    list.liveCount = 4;
    DistanceStructure distances = createDistanceStructure(list);
    setWorkingSet(distances, {{{2, 0}, 2}, {{3, 0}, 2}, {{5, 0}, 2}, {{5, 2}, 2}, {{5, 3}, 1}}, list.order);
    // Window 1..3, total 12: class 2 pairs weigh two units, so draws 2 and 3
    // give its pair 1, which is (5, 0): keep position 2, remove position 1.
    for (const int r : {2, 3}) {
        RandomGenerator random = generatorDrawingNext(r);
        const PairChoice choice = choosePair(distances, 3, list.order, list.liveCount, random);
        EXPECT_EQ(choice.keepPosition, 2);
        EXPECT_EQ(choice.removePosition, 1);
        EXPECT_EQ(choice.distanceClass, 2);
    }
    // The pair at distance 1 takes the last four units.
    for (int r = 8; r < 12; ++r) {
        const Drawn drawn = drawWith(distances, list, r);
        EXPECT_EQ(drawn.distanceClass, 1);
        EXPECT_EQ(drawn.keep, 5);
        EXPECT_EQ(drawn.remove, 3);
    }
}

TEST(ChoosePair, APairAtDistanceZeroExcludesEveryOtherClass)
{
    HaplotypeList list = listOf({"000", "000", "000", "000"}, {1, 2, 3, 4});
    DistanceStructure distances = createDistanceStructure(list);
    setWorkingSet(distances, {{{1, 0}, 1}, {{2, 0}, 1}, {{2, 1}, 2}, {{3, 0}, 0}, {{3, 1}, 1}, {{3, 2}, 3}});
    for (int r = 0; r < 200; ++r) {
        const Drawn drawn = drawWith(distances, list, r);
        ASSERT_EQ(drawn.distanceClass, 0);
        ASSERT_EQ(drawn.keep, 3);
        ASSERT_EQ(drawn.remove, 0);
    }
}

TEST(ChoosePair, TheWindowIsCutAtTheSiteCount)
{
    HaplotypeList list = listOf({"00", "00", "00"}, {1, 2, 3});
    DistanceStructure distances = createDistanceStructure(list);
    // d0 = L - 1: class 1 weighs 2, class 2 (the top) weighs 1.
    setWorkingSet(distances, {{{1, 0}, 1}, {{2, 0}, 2}, {{2, 1}, -1}});
    EXPECT_EQ(drawWith(distances, list, 0).distanceClass, 2);
    EXPECT_EQ(drawWith(distances, list, 1).distanceClass, 1);
    EXPECT_EQ(drawWith(distances, list, 2).distanceClass, 1);
    EXPECT_EQ(drawWith(distances, list, 3).distanceClass, 2);
    // d0 = L: a window of one class.
    setWorkingSet(distances, {{{1, 0}, 2}, {{2, 0}, 2}, {{2, 1}, -1}});
    EXPECT_EQ(drawWith(distances, list, 0).keep, 2);
    EXPECT_EQ(drawWith(distances, list, 1).keep, 1);
}

TEST(ChoosePair, ASingleCompatiblePairIsChosenWhateverTheDraw)
{
    HaplotypeList list = listOf({"000", "000", "000"}, {1, 2, 3});
    DistanceStructure distances = createDistanceStructure(list);
    setWorkingSet(distances, {{{1, 0}, -1}, {{2, 0}, 2}, {{2, 1}, -1}});
    for (const int r : {0, 1, 77, 32767}) {
        const Drawn drawn = drawWith(distances, list, r);
        EXPECT_EQ(drawn.keep, 2);
        EXPECT_EQ(drawn.remove, 0);
    }
}

TEST(ChoosePair, BeyondFifteenBitsOfWeightTheLastPairsCannotBeDrawn)
{
    // 200 slots, every pair at distance 1: 19900 pairs of four units each.
    const int n = 200;
    HaplotypeList list = createHaplotypeList(n, 3);
    DistanceStructure distances = createDistanceStructure(list);
    std::vector<std::pair<std::pair<int, int>, int>> entries;
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < a; ++b) entries.push_back({{a, b}, 1});
    setWorkingSet(distances, entries);
    // The largest draw reaches pair 32767 / 4 = 8191 of the walk: larger slot
    // from the last position down (row a holds a pairs), partner from 0 up.
    int k = 8191;
    int a = n - 1;
    while (k >= a) {
        k -= a;
        --a;
    }
    const Drawn drawn = drawWith(distances, list, 32767);
    EXPECT_EQ(drawn.keep, a);
    EXPECT_EQ(drawn.remove, k);
}

TEST(AnyCompatiblePair, LooksAtEveryBin)
{
    HaplotypeList list = listOf({"00", "00"}, {1, 2});
    DistanceStructure distances = createDistanceStructure(list);
    setWorkingSet(distances, {{{1, 0}, -1}});
    EXPECT_FALSE(anyCompatiblePair(distances));
    setWorkingSet(distances, {{{1, 0}, 2}});
    EXPECT_TRUE(anyCompatiblePair(distances));
}

namespace {

// Runs the random collapse one choice at a time, checking after every
// collapse that the incremental distances equal a computation from scratch.
std::vector<std::pair<int, int>> collapseCheckingEveryStep(SearchFixture& f, RandomGenerator& random)
{
    std::vector<std::pair<int, int>> collapses;
    DistanceStructure fromScratch = f.distances;
    while (anyCompatiblePair(f.distances)) {
        const HaplotypeList& list = f.state.current;
        const PairChoice choice = choosePair(f.distances, 3, list.order, list.liveCount, random);
        const int keep = list.order[choice.keepPosition];
        const int remove = list.order[choice.removePosition];
        EXPECT_GT(keep, remove) << "the larger slot index stays";
        collapses.emplace_back(keep, remove);
        collapseSlots(f.state, choice.keepPosition, choice.removePosition, f.distances, true);

        computeDistances(fromScratch, f.state.current);
        std::string where;
        EXPECT_TRUE(sameWorkingSet(fromScratch, f.distances, where))
            << "after collapse " << collapses.size() << ": " << where;
        EXPECT_TRUE(componentsShareUndeterminedSites(f.state.current, where)) << where;
        if (::testing::Test::HasFailure()) break;
    }
    return collapses;
}

} // namespace

TEST(RandomCollapse, IncrementalDistancesMatchAComputationFromScratchAfterEveryCollapse)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 60 && !HasFailure(); ++round) {
        const int count = 4 + static_cast<int>(rng() % 50);
        const int length = 2 + static_cast<int>(rng() % 25);
        const int pool = 2 + static_cast<int>(rng() % 12);
        SearchFixture f(randomGenotypes(rng, count, length, pool));
        RandomGenerator random;
        seedGenerator(random, static_cast<int>(rng() % 1000));
        collapseCheckingEveryStep(f, random);
    }
}

TEST(RandomCollapse, IsReproducibleAndLeavesNoCompatiblePair)
{
    std::mt19937 rng(5);
    const std::vector<std::string> genotypes = randomGenotypes(rng, 60, 20, 10);
    std::vector<std::vector<std::pair<int, int>>> runs;
    for (int run = 0; run < 2; ++run) {
        SearchFixture f(genotypes);
        RandomGenerator random;
        seedGenerator(random, 42);
        runs.push_back(collapseCheckingEveryStep(f, random));
        // No two live slots are compatible any more.
        const HaplotypeList& list = f.state.current;
        for (int p = 0; p < list.liveCount; ++p)
            for (int q = 0; q < p; ++q)
                EXPECT_EQ(testing_support::referenceSlotDistance(list.text[list.order[p]], list.text[list.order[q]],
                                                                 list.label[list.order[p]],
                                                                 list.label[list.order[q]]),
                          -1);
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_FALSE(runs[0].empty());

    // randomCollapse makes the same collapses.
    SearchFixture f(genotypes);
    RandomGenerator random;
    seedGenerator(random, 42);
    randomCollapse(f.state, f.distances, random);
    EXPECT_EQ(f.state.current.liveCount, f.initial.slotCount - static_cast<int>(runs[0].size()));
    EXPECT_FALSE(anyCompatiblePair(f.distances));
}
