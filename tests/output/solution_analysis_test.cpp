#include "output/solution_analysis.hpp"

#include "data/search_state.hpp"
#include "search/random_generator.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

using testing_support::listOf;

namespace {

// A search state whose lists all hold the given slots.
SearchState stateOf(const std::vector<std::string>& texts, const std::vector<int>& labels)
{
    SearchState state;
    createSearchState(state, listOf(texts, labels));
    return state;
}

void setOrder(HaplotypeList& list, const std::vector<int>& order, int liveCount)
{
    list.order = order;
    for (int p = 0; p < static_cast<int>(order.size()); ++p) list.position[order[p]] = p;
    list.liveCount = liveCount;
}

// Sorts the used slots and checks that they come in the order `expected` and
// that the rank of each is its place in that order.
void expectSortedUsedSlots(const SearchState& state, const std::vector<int>& expected)
{
    std::vector<int> sorted;
    std::vector<int> rank;
    EXPECT_EQ(sortUsedSlots(state, sorted, rank), static_cast<int>(expected.size()));
    ASSERT_GE(sorted.size(), expected.size());
    const std::vector<int> first(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(expected.size()));
    EXPECT_EQ(first, expected);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(rank[expected[i]], static_cast<int>(i)) << "rank of slot " << expected[i];
}

// The run's generator written out independently: state * 22695477 + 1, the
// draw is bits 16..30, and seeding discards one draw.
struct ExpectedGenerator {
    std::uint32_t state;
    explicit ExpectedGenerator(int seed) : state(static_cast<std::uint32_t>(seed)) { draw(); }
    int draw()
    {
        state = state * 22695477u + 1u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    }
    char bit() { return draw() % 2 == 1 ? '1' : '0'; }
};

RandomGenerator seededGenerator(int seed)
{
    RandomGenerator generator;
    seedGenerator(generator, seed);
    return generator;
}

char flip(char c)
{
    return c == '0' ? '1' : '0';
}

} // namespace

// ---------------------------------------------------------------------------
// resolveSingleSites

TEST(ResolveSingleSites, AFullyDeterminedReconstructionIsLeftAsItIs)
{
    SearchState state = stateOf({"0101", "1100", "0000", "1111"}, {1, -1, 2, -2});
    state.best.mark = {2, 2, 2, 1};
    const std::vector<std::string> before = state.best.text;
    EXPECT_EQ(resolveSingleSites(state), 0);
    EXPECT_EQ(state.best.text, before);
}

TEST(ResolveSingleSites, AComponentWithOneUndeterminedSiteIsSettled)
{
    // Component 1: used slots 0 (+1) and 1 (-1), a live unused slot 2 (+1) and a
    // collapsed slot 3 (-1). Component 2 is fully determined.
    SearchState state = stateOf({"0210", "1201", "0210", "1201", "0000", "1111"}, {1, -1, 1, -1, 2, -2});
    setOrder(state.best, {0, 1, 2, 4, 5, 3}, 5);
    state.best.mark = {2, 2, 1, 0, 2, 1};

    EXPECT_EQ(resolveSingleSites(state), 0);
    // The side of the used slot met first takes '1', its mates '0'. Slot 3,
    // outside the live part, and component 2 are not touched.
    EXPECT_EQ(state.best.text, (std::vector<std::string>{"0110", "1001", "0110", "1201", "0000", "1111"}));
    // Only best is analysed.
    EXPECT_EQ(state.current.text[0], "0210");
}

TEST(ResolveSingleSites, TheSideOfTheFirstUsedSlotInOrderTakesOne)
{
    SearchState state = stateOf({"0210", "1201", "0000", "1111"}, {1, -1, 2, -2});
    // The mate labelled -1 comes first in the order.
    setOrder(state.best, {1, 2, 0, 3}, 4);
    state.best.mark = {2, 2, 2, 2};
    EXPECT_EQ(resolveSingleSites(state), 0);
    EXPECT_EQ(state.best.text[1], "1101");
    EXPECT_EQ(state.best.text[0], "0010");
}

TEST(ResolveSingleSites, AnUnusedSlotDoesNotSettleItsComponent)
{
    SearchState state = stateOf({"0210", "1201", "0000", "1111"}, {1, -1, 2, -2});
    state.best.mark = {1, 1, 2, 2};
    EXPECT_EQ(resolveSingleSites(state), 0);
    EXPECT_EQ(state.best.text[0], "0210");
    EXPECT_EQ(state.best.text[1], "1201");
}

TEST(ResolveSingleSites, CountsTheSitesLeftInUsedSlotsWithSeveralOfThem)
{
    // Component 1: two used mates with three undetermined sites each (both count).
    // Component 2: one used slot with two. Component 3: a single site, settled.
    // Component 4: an unused slot with many, not counted.
    SearchState state = stateOf({"2212", "2202", "0220", "1002", "0002", "1112", "2222", "2222"},
                                {1, -1, 2, 3, 3, -3, 4, -4});
    state.best.mark = {2, 2, 2, 1, 2, 1, 1, 1};
    EXPECT_EQ(resolveSingleSites(state), 3 + 3 + 2);
    // Only component 3 changes; slot 3 shares label 3 with slot 4, so it
    // takes the same value.
    EXPECT_EQ(state.best.text,
              (std::vector<std::string>{"2212", "2202", "0220", "1001", "0001", "1110", "2222", "2222"}));
}

// ---------------------------------------------------------------------------
// numberVariables

TEST(NumberVariables, NumbersComponentsInAscendingLabelMagnitude)
{
    SearchState state = stateOf({"0000", "1111", "2202", "2212", "2222", "2221", "2220", "2202"},
                                {1, -1, 2, -2, 3, 4, -4, 2});
    // Slot 4, the only slot of component 3, is not live.
    setOrder(state.best, {2, 0, 5, 1, 3, 6, 7, 4}, 7);
    state.best.mark = {2, 1, 2, 2, 0, 1, 1, 1};
    std::fill(state.best.variableBase.begin(), state.best.variableBase.end(), 9);

    EXPECT_EQ(numberVariables(state), 6);
    // Component 1 has no undetermined site, component 2 three (variables 1..3),
    // component 3 no live slot, component 4 three (4..6) though none of its
    // slots is used.
    EXPECT_EQ(state.best.variableBase, (std::vector<int>{-1, 0, 1, -1, 4, -1, -1, -1}));
}

TEST(NumberVariables, AReconstructionWithoutUndeterminedSitesHasNoVariables)
{
    SearchState state = stateOf({"01", "10", "00", "11"}, {1, -1, 2, -2});
    EXPECT_EQ(numberVariables(state), 0);
    EXPECT_EQ(state.best.variableBase, (std::vector<int>{-1, 0, 0, -1}));
}

TEST(NumberVariables, TheFirstLiveSlotOfAComponentGivesItsCount)
{
    // Slot 0 is met before slot 1 of the same component.
    SearchState state = stateOf({"2020", "2111", "2222", "2222"}, {2, -2, 1, -1});
    EXPECT_EQ(numberVariables(state), 6);
    EXPECT_EQ(state.best.variableBase[1], 1);
    EXPECT_EQ(state.best.variableBase[2], 5);
}

// ---------------------------------------------------------------------------
// mismatchCount

TEST(MismatchCount, CountsDeterminedSitesOfTheFirstSlotThatTheSecondDoesNotShare)
{
    const HaplotypeList list = listOf({"0101", "0111", "0121", "2222", "0000", "2101", "2000", "1021", "0122"},
                                      {1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(mismatchCount(list, 0, 1), 1);
    EXPECT_EQ(mismatchCount(list, 0, 0), 0);
    // An undetermined site of the first slot counts nothing.
    EXPECT_EQ(mismatchCount(list, 2, 1), 0);
    // An undetermined site of the second slot against a determined one counts.
    EXPECT_EQ(mismatchCount(list, 0, 3), 4);
    EXPECT_EQ(mismatchCount(list, 3, 0), 0);
    EXPECT_EQ(mismatchCount(list, 0, 4), 2);
    EXPECT_EQ(mismatchCount(list, 4, 2), 3);
}

TEST(MismatchCount, ASharedUndeterminedSiteGivesTheCap)
{
    const HaplotypeList list = listOf({"0101", "0111", "0121", "2222", "0000", "2101", "2000", "1021", "0122"},
                                      {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const int cap = 2 * 4;
    EXPECT_EQ(mismatchCount(list, 5, 6), cap);
    EXPECT_EQ(mismatchCount(list, 2, 3), cap);
    EXPECT_EQ(mismatchCount(list, 3, 3), cap);
    // Mismatches before the shared site do not add to the cap.
    EXPECT_EQ(mismatchCount(list, 7, 8), cap);
}

// ---------------------------------------------------------------------------
// completeUndetermined

TEST(CompleteUndetermined, TakesTheValuesOfTheClosestUsedSlotOutsideTheComponent)
{
    // The used slot met first (slot 0) is labelled -1 and finds the model slot 2;
    // the members labelled +1 take the model's values and those labelled -1 the
    // complement, whichever side found the model.
    SearchState state = stateOf({"1221", "0220", "1011", "0220"}, {-1, 1, 2, 1});
    state.current.mark = {2, 2, 2, 1};
    state.current.variableBase = {-1, 1, 0, -1};
    RandomGenerator random = seededGenerator(5);
    const std::uint32_t before = random.state;

    EXPECT_EQ(completeUndetermined(state, random), 2);
    EXPECT_EQ(state.current.text[1], "0010");
    EXPECT_EQ(state.current.text[0], "1101");
    EXPECT_EQ(state.current.text[2], "1011");
    // An unused slot of the component is not completed.
    EXPECT_EQ(state.current.text[3], "0220");
    EXPECT_EQ(random.state, before) << "a site with a model draws no random number";
    // best keeps its undetermined sites.
    EXPECT_EQ(state.best.text[0], "1221");
}

TEST(CompleteUndetermined, TheFirstStrictlyCloserModelWins)
{
    // Slot 0 (+1, "2201") against the used slots 2 ("0001", 0 mismatches) and
    // 3 ("1111", 1 mismatch) and 4 ("0101", 0 mismatches, met later).
    SearchState state = stateOf({"2201", "2210", "0001", "1111", "0101", "1010"}, {1, -1, 2, 3, 4, -4});
    state.current.mark = {2, 2, 2, 2, 2, 1};
    state.current.variableBase = {-1, 1, 0, 0, -1, -1};
    setOrder(state.current, {0, 1, 3, 2, 4, 5}, 6);
    RandomGenerator random = seededGenerator(1);
    EXPECT_EQ(completeUndetermined(state, random), 2);
    EXPECT_EQ(state.current.text[0], "0001");
    EXPECT_EQ(state.current.text[1], "1110");
}

TEST(CompleteUndetermined, WithoutAModelEachSiteDrawsOneRandomBit)
{
    std::set<std::string> completions;
    for (int seed = 1; seed <= 16; ++seed) {
        for (const bool mateFirst : {false, true}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << (mateFirst ? ", mate first" : ""));
            // One component, used slots 0 (+1) and 1 (-1); they share their
            // undetermined sites, so neither can be the other's model.
            SearchState state = stateOf({"2012", "2102"}, {1, -1});
            state.current.mark = {2, 2};
            state.current.variableBase = {-1, 1};
            if (mateFirst) setOrder(state.current, {1, 0}, 2);
            RandomGenerator random = seededGenerator(seed);
            ExpectedGenerator expected(seed);
            const char site0 = expected.bit();
            const char site3 = expected.bit();

            EXPECT_EQ(completeUndetermined(state, random), 2);
            // The slots labelled +1 take the drawn bits, their mates the complement.
            const std::string positive{site0, '0', '1', site3};
            const std::string negative{flip(site0), '1', '0', flip(site3)};
            EXPECT_EQ(state.current.text[0], positive);
            EXPECT_EQ(state.current.text[1], negative);
            EXPECT_EQ(random.state, expected.state) << "exactly one draw per site";
            completions.insert(state.current.text[0]);
        }
    }
    EXPECT_GT(completions.size(), 1u) << "the completion depends on the seed";
}

TEST(CompleteUndetermined, AComponentCompletedEarlierIsTheModelOfALaterOne)
{
    // Components 1 and 2 share all their undetermined sites, so component 1
    // (completed first) draws its bits and then serves as model for component 2.
    SearchState state = stateOf({"222", "222", "222", "222"}, {1, -1, 2, -2});
    setOrder(state.current, {0, 2, 1, 3}, 2);
    state.current.mark = {2, 0, 2, 0};
    state.current.variableBase = {-1, 1, 4, -1};
    RandomGenerator random = seededGenerator(11);
    ExpectedGenerator expected(11);
    std::string bits;
    for (int s = 0; s < 3; ++s) bits += expected.bit();

    EXPECT_EQ(completeUndetermined(state, random), 6);
    EXPECT_EQ(state.current.text[0], bits);
    EXPECT_EQ(state.current.text[2], bits);
    EXPECT_EQ(random.state, expected.state) << "component 2 draws nothing";
    // Slots that are not live stay as they were.
    EXPECT_EQ(state.current.text[1], "222");
    EXPECT_EQ(state.current.text[3], "222");
}

TEST(CompleteUndetermined, ComponentsWithoutVariablesOrWithoutUsedSlotsAreSkipped)
{
    SearchState state = stateOf({"22", "22", "22", "22"}, {1, -1, 2, -2});
    // Component 1 has no variables numbered; component 2 has no used slot.
    state.current.mark = {2, 2, 1, 1};
    state.current.variableBase = {-1, 0, 1, -1};
    RandomGenerator random = seededGenerator(3);
    const std::uint32_t before = random.state;
    EXPECT_EQ(completeUndetermined(state, random), 0);
    EXPECT_EQ(state.current.text, (std::vector<std::string>(4, "22")));
    EXPECT_EQ(random.state, before);
}

namespace {

// completeUndetermined as the rule states it, site by site on the texts:
// every component's used members found by a walk over all positions, and
// every member against every used slot with mismatchCount.
int completeAsStated(HaplotypeList& list, RandomGenerator& random)
{
    int fixed = 0;
    for (int g = 1; g <= list.slotCount / 2; ++g) {
        if (list.variableBase[g] <= 0) continue;
        std::vector<int> members;
        int b = -1, nearest = -1, bestScore = 2 * list.length;
        for (int k = 0; k < list.liveCount; ++k) {
            const int d = list.order[k];
            if (std::abs(list.label[d]) != g || list.mark[d] != 2) continue;
            if (b == -1) b = d;
            members.push_back(d);
            for (int l = 0; l < list.liveCount; ++l) {
                const int e = list.order[l];
                if (list.mark[e] != 2) continue;
                const int f = mismatchCount(list, d, e);
                if (f < bestScore) b = d, nearest = e, bestScore = f;
            }
        }
        if (b == -1) continue;
        const int ref = std::abs(list.label[b]);
        for (int s = 0; s < list.length; ++s) {
            if (list.text[b][s] != '2') continue;
            const char ch = nearest != -1 ? list.text[nearest][s] : drawRandom(random) % 2 == 1 ? '1' : '0';
            for (const int x : members) {
                if (list.label[x] == ref) list.text[x][s] = ch;
                if (list.label[x] == -ref) list.text[x][s] = flip(ch);
            }
            ++fixed;
        }
    }
    return fixed;
}

} // namespace

TEST(CompleteUndetermined, DoesWhatTheRuleStatesOnRandomLists)
{
    // Small lists over few values, so that ties, shared undetermined sites,
    // models completed earlier and components without any model all occur;
    // lengths across a word boundary; components whose slots are open at
    // different sites too.
    std::mt19937 draw(2024);
    for (int round = 0; round < 3000; ++round) {
        const int n = 2 * static_cast<int>(draw() % 7 + 1);
        const int length = std::vector<int>{0, 1, 3, 5, 63, 64, 70, 130}[draw() % 8];
        const int openPercent = static_cast<int>(draw() % 60);
        std::vector<std::string> texts(static_cast<std::size_t>(n), std::string(static_cast<std::size_t>(length), '0'));
        std::vector<int> labels(static_cast<std::size_t>(n));
        for (int s = 0; s < n; ++s) {
            for (char& c : texts[s]) c = static_cast<int>(draw() % 100) < openPercent ? '2' : draw() % 2 ? '1' : '0';
            labels[s] = static_cast<int>(draw() % (n / 2) + 1) * (draw() % 2 ? 1 : -1);
        }
        SearchState state = stateOf(texts, labels);
        HaplotypeList& list = state.current;
        std::vector<int> order(static_cast<std::size_t>(n));
        for (int s = 0; s < n; ++s) order[s] = s;
        std::shuffle(order.begin(), order.end(), draw);
        setOrder(list, order, static_cast<int>(draw() % n + 1));
        for (int s = 0; s < n; ++s) list.mark[s] = draw() % 4 == 0 ? 1 : 2;
        for (int g = 1; g <= n / 2; ++g) list.variableBase[g] = static_cast<int>(draw() % 4) - 1;
        HaplotypeList expected = list;
        const int seed = static_cast<int>(draw() % 1000);
        RandomGenerator random = seededGenerator(seed);
        RandomGenerator expectedRandom = seededGenerator(seed);

        SCOPED_TRACE(testing::Message() << "round " << round);
        ASSERT_EQ(completeUndetermined(state, random), completeAsStated(expected, expectedRandom));
        ASSERT_EQ(list.text, expected.text);
        ASSERT_EQ(random.state, expectedRandom.state);
    }
}

// ---------------------------------------------------------------------------
// sortUsedSlots

TEST(SortUsedSlots, EqualTextsEndInTheOrderTheExchangesLeave)
{
    // Texts B, B, A in best order end as A, B, B with the two B entries swapped.
    SearchState state = stateOf({"01", "01", "00", "11"}, {1, -1, 2, -2});
    state.best.mark = {2, 2, 2, 1};
    state.bestCount = 3;
    expectSortedUsedSlots(state, {2, 1, 0});
}

TEST(SortUsedSlots, TakesMarksAndOrderFromBestAndTextsFromCurrent)
{
    SearchState state = stateOf({"22", "20", "02", "11"}, {1, -1, 2, -2});
    setOrder(state.best, {1, 3, 0, 2}, 4);
    state.best.mark = {2, 2, 2, 1};
    state.bestCount = 3;
    // current holds the completed texts; its marks were overwritten.
    state.current.text = {"00", "10", "01", "11"};
    state.current.mark = {0, 0, 0, 0};
    expectSortedUsedSlots(state, {0, 2, 1});
}

TEST(SortUsedSlots, ComparesSitesAsZeroBeforeOneBeforeTwo)
{
    SearchState state = stateOf({"12", "10", "02", "21"}, {1, -1, 2, -2});
    state.best.mark = {2, 2, 2, 2};
    state.bestCount = 4;
    expectSortedUsedSlots(state, {2, 1, 0, 3});
}

TEST(SortUsedSlots, GivesAscendingTextsAndRanksThatInvertTheOrder)
{
    std::mt19937 rng(20240607);
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(trial);
        const int n = 2 * (3 + trial % 6);
        // Short texts repeat; long ones are all different.
        const int length = trial % 2 == 0 ? 1 + trial % 4 : 12;
        std::vector<std::string> texts(static_cast<std::size_t>(n));
        std::vector<int> labels(static_cast<std::size_t>(n));
        std::uniform_int_distribution<int> bit(0, 1);
        for (int s = 0; s < n; ++s) {
            for (int l = 0; l < length; ++l) texts[s] += static_cast<char>('0' + bit(rng));
            labels[s] = s % 2 == 0 ? s / 2 + 1 : -(s / 2 + 1);
        }
        SearchState state = stateOf(texts, labels);
        std::vector<int> order(static_cast<std::size_t>(n));
        for (int s = 0; s < n; ++s) order[s] = s;
        std::shuffle(order.begin(), order.end(), rng);
        const int live = n - trial % 3;
        setOrder(state.best, order, live);
        std::vector<int> used;
        for (int p = 0; p < live; ++p) {
            const int s = order[p];
            state.best.mark[s] = bit(rng) == 1 || p == 0 ? 2 : 1;
            if (state.best.mark[s] == 2) used.push_back(s);
        }
        state.bestCount = static_cast<int>(used.size());

        std::vector<int> sorted;
        std::vector<int> rank;
        const int k = sortUsedSlots(state, sorted, rank);
        ASSERT_EQ(k, state.bestCount);
        std::vector<int> first(sorted.begin(), sorted.begin() + k);
        for (int i = 0; i < k; ++i) EXPECT_EQ(rank[first[i]], i);
        for (int i = 0; i + 1 < k; ++i) EXPECT_LE(texts[first[i]], texts[first[i + 1]]);
        // The exchange sort as stated, on the used slots in order.
        std::vector<int> exchanged = used;
        for (std::size_t j = 0; j + 1 < exchanged.size(); ++j)
            for (std::size_t i = j + 1; i < exchanged.size(); ++i)
                if (texts[exchanged[i]] < texts[exchanged[j]]) std::swap(exchanged[i], exchanged[j]);
        EXPECT_EQ(first, exchanged);
    }
}
