#include "search/pair_choice.hpp"

#include "search/collapse.hpp"
#include "search_test_support.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <random>

using search_testing::componentsShareUndeterminedSites;
using search_testing::generatorDrawingNext;
using search_testing::liveDistance;
using search_testing::sameWorkingSet;
using testing_support::listOf;
using testing_support::randomGenotypes;
using testing_support::SearchFixture;

namespace {

struct Drawn {
    int keep;    // slot kept
    int remove;  // slot removed
    int distanceClass;
};

// A list, its planes and a distance structure whose working set follows it.
struct Choosing {
    HaplotypeList list;
    SitePlanes planes;
    DistanceStructure distances;

    Choosing(const std::vector<std::string>& texts, const std::vector<int>& labels)
        : list(listOf(texts, labels)), distances(createDistanceStructure(list))
    {
        follow();
    }
    // After a change of the list's order.
    void follow()
    {
        fillSitePlanes(planes, list);
        computeDistances(distances, list);
    }
    PairChoice choose(RandomGenerator& random) { return choosePair(distances, planes, list, 3, random); }
    Drawn drawWith(int draw)
    {
        RandomGenerator random = generatorDrawingNext(draw);
        RandomGenerator oneStepLater = random;
        drawRandom(oneStepLater);
        const PairChoice choice = choose(random);
        EXPECT_EQ(random.state, oneStepLater.state) << "one draw per choice";
        return {list.order[choice.keepPosition], list.order[choice.removePosition], choice.distanceClass};
    }
};

// Three pairs at distance 2 and five at distance 4 on five live slots, as
// (larger, smaller) slot: (1,0), (3,2), (4,3) at 2; (2,0), (2,1), (3,0),
// (3,1), (4,2) at 4; (4,0) and (4,1) incompatible.
struct SeventeenUnits : testing::Test {
    Choosing c{{"12212", "10112", "20220", "22120", "02110"}, {1, 2, 3, 4, 5}};
};

} // namespace

TEST_F(SeventeenUnits, DrawTenPicksPairOneOfTheClosestClass)
{
    // Class 2 in choice order (larger slot from the last position down,
    // partner from the first up): (4,3), (3,2), (1,0).
    const Drawn drawn = c.drawWith(10);
    EXPECT_EQ(drawn.distanceClass, 2);
    EXPECT_EQ(drawn.keep, 3);
    EXPECT_EQ(drawn.remove, 2);
}

TEST_F(SeventeenUnits, EveryUnitOfTheWalkMapsToItsPair)
{
    // Units 0..4: the five pairs of class 4 one unit each; 5..16: the three
    // pairs of class 2 four units each.
    const std::vector<std::pair<int, int>> classFour = {{4, 2}, {3, 0}, {3, 1}, {2, 0}, {2, 1}};
    const std::vector<std::pair<int, int>> classTwo = {{4, 3}, {3, 2}, {1, 0}};
    for (int r = 0; r < 17; ++r) {
        const Drawn drawn = c.drawWith(r);
        const std::pair<int, int> expected = r < 5 ? classFour[r] : classTwo[(r - 5) / 4];
        EXPECT_EQ(drawn.distanceClass, r < 5 ? 4 : 2) << "r=" << r;
        EXPECT_EQ(std::make_pair(drawn.keep, drawn.remove), expected) << "r=" << r;
        // A draw is taken modulo the total weight.
        const Drawn wrapped = c.drawWith(r + 17);
        EXPECT_EQ(std::make_pair(wrapped.keep, wrapped.remove), expected) << "r=" << r + 17;
    }
}

TEST(ChoosePair, LocatesThePairThroughTheRowHistogramsInPositionOrder)
{
    // Live positions 0..3 hold slots 3, 0, 5, 2; slots 1 and 4 are collapsed.
    // Pairs at distance 2: (2,0), (5,0), (5,2); at distance 1: (5,3).
    Choosing c({"1110", "2222", "2210", "2100", "2220", "2120"}, {1, 2, 3, 4, 5, 6});
    c.list.order = {3, 0, 5, 2, 1, 4};
    c.list.position = {1, 4, 3, 0, 5, 2};
    c.list.liveCount = 4;
    c.follow();
    // Window 1..3, total 10: class 2 pairs weigh two units, in the order
    // (2,0) (slot 2 is last), then (5,0), (5,2) (slot 0 sits before slot 2),
    // so draws 2 and 3 give (5, 0): keep position 2, remove position 1.
    for (const int r : {2, 3}) {
        RandomGenerator random = generatorDrawingNext(r);
        const PairChoice choice = c.choose(random);
        EXPECT_EQ(choice.keepPosition, 2);
        EXPECT_EQ(choice.removePosition, 1);
        EXPECT_EQ(choice.distanceClass, 2);
    }
    EXPECT_EQ(c.drawWith(4).remove, 2);
    // The pair at distance 1 takes the last four units.
    for (int r = 6; r < 10; ++r) {
        const Drawn drawn = c.drawWith(r);
        EXPECT_EQ(drawn.distanceClass, 1);
        EXPECT_EQ(drawn.keep, 5);
        EXPECT_EQ(drawn.remove, 3);
    }
}

TEST(ChoosePair, APairAtDistanceZeroExcludesEveryOtherClass)
{
    // (3,0) at 0; (1,0), (2,1), (3,1) at 1; (2,0), (3,2) at 2.
    Choosing c({"00", "02", "22", "00"}, {1, 2, 3, 4});
    for (int r = 0; r < 200; ++r) {
        const Drawn drawn = c.drawWith(r);
        ASSERT_EQ(drawn.distanceClass, 0);
        ASSERT_EQ(drawn.keep, 3);
        ASSERT_EQ(drawn.remove, 0);
    }
}

TEST(ChoosePair, TheWindowIsCutAtTheSiteCount)
{
    // d0 = L - 1: class 1 weighs 2, class 2 (the top) weighs 1.
    Choosing cut({"22", "21", "00"}, {1, 2, 3});  // (1,0) at 1, (2,0) at 2
    EXPECT_EQ(cut.drawWith(0).distanceClass, 2);
    EXPECT_EQ(cut.drawWith(1).distanceClass, 1);
    EXPECT_EQ(cut.drawWith(2).distanceClass, 1);
    EXPECT_EQ(cut.drawWith(3).distanceClass, 2);
    // d0 = L: a window of one class.
    Choosing top({"22", "11", "00"}, {1, 2, 3});  // (1,0) and (2,0) at 2
    EXPECT_EQ(top.drawWith(0).keep, 2);
    EXPECT_EQ(top.drawWith(1).keep, 1);
}

TEST(ChoosePair, ASingleCompatiblePairIsChosenWhateverTheDraw)
{
    Choosing c({"220", "111", "000"}, {1, 2, 3});
    for (const int r : {0, 1, 77, 32767}) {
        const Drawn drawn = c.drawWith(r);
        EXPECT_EQ(drawn.keep, 2);
        EXPECT_EQ(drawn.remove, 0);
    }
}

TEST(ChoosePair, BeyondFifteenBitsOfWeightTheLastPairsCannotBeDrawn)
{
    // 200 slots, each open at its own site: every pair at distance 2, 19900
    // pairs of four units each.
    const int n = 200;
    std::vector<std::string> texts(n, std::string(n, '0'));
    std::vector<int> labels(n);
    for (int i = 0; i < n; ++i) {
        texts[i][i] = '2';
        labels[i] = i + 1;
    }
    Choosing c(texts, labels);
    // The largest draw reaches pair 32767 / 4 = 8191 of the walk: larger slot
    // from the last position down (row a holds a pairs), partner from 0 up.
    int k = 8191;
    int a = n - 1;
    while (k >= a) {
        k -= a;
        --a;
    }
    const Drawn drawn = c.drawWith(32767);
    EXPECT_EQ(drawn.keep, a);
    EXPECT_EQ(drawn.remove, k);
}

TEST(AnyCompatiblePair, LooksAtEveryBin)
{
    EXPECT_FALSE(anyCompatiblePair(Choosing({"01", "10"}, {1, 2}).distances));
    EXPECT_TRUE(anyCompatiblePair(Choosing({"22", "00"}, {1, 2}).distances));
}

namespace {

// The pair choice walked as described, pair by pair, on distances walked
// site by site: the positions (keep, remove) for the draw.
std::pair<int, int> referenceChoice(const HaplotypeList& list, int draw)
{
    std::vector<int> histogram(static_cast<std::size_t>(list.length) + 1, 0);
    for (int p = 0; p < list.liveCount; ++p)
        for (int q = 0; q < p; ++q) {
            const int d = liveDistance(list, list.order[p], list.order[q]);
            if (d >= 0) ++histogram[d];
        }
    int d0 = 0;
    while (histogram[d0] == 0) ++d0;
    const int top = std::min(d0 == 0 ? 0 : d0 + 2, list.length);
    long total = 0;
    for (int c = d0; c <= top; ++c) total = 2 * total + histogram[c];
    long r = draw % total;
    for (int c = top, weight = 1;; --c, weight *= 2) {
        // Pairs of class c: larger slot by position from the end, partner by position from the start.
        for (int p = list.liveCount - 1; p >= 0; --p) {
            const int a = list.order[p];
            for (int q = 0; q < list.liveCount; ++q) {
                const int b = list.order[q];
                if (b >= a || liveDistance(list, a, b) != c) continue;
                r -= weight;
                if (r < 0) return {p, q};
            }
        }
    }
}

// True when the planes of every live slot match its text.
bool planesFollowTheTexts(const SearchState& state)
{
    const HaplotypeList& list = state.current;
    SitePlanes fresh;
    fillSitePlanes(fresh, list);
    for (int p = 0; p < list.liveCount; ++p) {
        const int s = list.order[p];
        for (int w = 0; w < fresh.words; ++w) {
            if (fresh.zeroOf(s)[w] != state.currentPlanes.zeroOf(s)[w]
                || fresh.oneOf(s)[w] != state.currentPlanes.oneOf(s)[w]
                || fresh.openOf(s)[w] != state.currentPlanes.openOf(s)[w]) {
                return false;
            }
        }
    }
    return true;
}

// True when the working sieve holds, for every pair of live slots, exactly
// the compatible ones, in both rows (the recount of a collapse relies on it).
bool sieveIsExact(const DistanceStructure& distances, const HaplotypeList& list, std::string& where)
{
    for (int p = 0; p < list.liveCount; ++p) {
        for (int q = 0; q < list.liveCount; ++q) {
            if (p == q) continue;
            const int x = list.order[p];
            const int y = list.order[q];
            const int r = distances.rankOf[y];
            const bool held = r >= 0 && ((distances.partnerRow(x)[r >> 6] >> (r & 63)) & 1) != 0;
            if (held != (liveDistance(list, x, y) >= 0)) {
                where = "sieve row " + std::to_string(x) + " slot " + std::to_string(y);
                return false;
            }
        }
    }
    return true;
}

// Runs the random collapse one choice at a time, checking every choice
// against the reference walk and, after every collapse, that the
// incremental distances equal a computation from scratch.
std::vector<std::pair<int, int>> collapseCheckingEveryStep(SearchFixture& f, RandomGenerator& random)
{
    std::vector<std::pair<int, int>> collapses;
    DistanceStructure fromScratch = f.distances;
    while (anyCompatiblePair(f.distances)) {
        const HaplotypeList& list = f.state.current;
        RandomGenerator peek = random;
        const std::pair<int, int> expected = referenceChoice(list, drawRandom(peek));
        const PairChoice choice = choosePair(f.distances, f.state.currentPlanes, list, 3, random);
        EXPECT_EQ(std::make_pair(choice.keepPosition, choice.removePosition), expected);
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
        EXPECT_TRUE(sieveIsExact(f.distances, f.state.current, where)) << "after collapse " << collapses.size()
                                                                        << ": " << where;
        EXPECT_TRUE(planesFollowTheTexts(f.state));
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
        // Every fourth input spans more than one word of sites.
        const int length = round % 4 == 0 ? 60 + static_cast<int>(rng() % 90) : 2 + static_cast<int>(rng() % 25);
        const int pool = 2 + static_cast<int>(rng() % 12);
        SearchFixture f(randomGenotypes(rng, count, length, pool));
        RandomGenerator random;
        seedGenerator(random, static_cast<int>(rng() % 1000));
        collapseCheckingEveryStep(f, random);
    }
}

TEST(RandomCollapse, FromAComputedWorkingSetTheDistancesAndTheSieveStayExact)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 40 && !HasFailure(); ++round) {
        const int count = 6 + static_cast<int>(rng() % 40);
        const int length = round % 3 == 0 ? 65 + static_cast<int>(rng() % 80) : 3 + static_cast<int>(rng() % 20);
        const int pool = 2 + static_cast<int>(rng() % 10);
        SearchFixture f(randomGenotypes(rng, count, length, pool));
        // Collapses of random compatible pairs without the working
        // distances, as a perturbation makes them, then a computation.
        HaplotypeList& list = f.state.current;
        for (int step = 0; step < count / 3; ++step) {
            std::vector<std::pair<int, int>> compatible;
            for (int p = 0; p < list.liveCount; ++p)
                for (int q = 0; q < p; ++q)
                    if (liveDistance(list, list.order[p], list.order[q]) >= 0) compatible.emplace_back(p, q);
            if (compatible.empty()) break;
            const std::pair<int, int> pair = compatible[rng() % compatible.size()];
            collapseSlotsLeavingTexts(f.state, pair.first, pair.second, nullptr);
            catchUpTexts(f.state);
        }
        computeDistances(f.distances, list);
        std::string where;
        EXPECT_TRUE(sieveIsExact(f.distances, list, where)) << where;
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
