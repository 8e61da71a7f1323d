#include "search/candidate_lists.hpp"

#include "search_test_support.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <random>
#include <tuple>

using search_testing::addCandidate;
using testing_support::listOf;
using testing_support::SearchFixture;

namespace {

using Pairs = std::vector<std::pair<int, int>>;

Pairs pairsOf(const PairRecord* head)
{
    Pairs pairs;
    for (const PairRecord* r = head; r != nullptr; r = r->next) pairs.emplace_back(r->hap1, r->hap2);
    return pairs;
}

const PairRecord* find(const PairRecord* head, int hap1, int hap2)
{
    for (const PairRecord* r = head; r != nullptr; r = r->next)
        if (r->hap1 == hap1 && r->hap2 == hap2) return r;
    return nullptr;
}

PairEvaluation evaluate(const std::vector<std::string>& texts, const std::vector<int>& labels,
                        const char* genotype, int s1, int s2, std::vector<int> isolated = {})
{
    HaplotypeList list = listOf(texts, labels);
    if (!isolated.empty()) list.isolated = isolated;
    return evaluatePair(list, genotype, s1, s2);
}

} // namespace

TEST(EvaluatePair, HeterozygousSites)
{
    // Two mates of one component holding '2': complementary already, no cost.
    PairEvaluation e = evaluate({"2", "2"}, {1, -1}, "2", 0, 1);
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.vts, 0);
    EXPECT_EQ(e.w, 1.0f);
    // A slot with itself can never give the two alleles.
    EXPECT_FALSE(evaluate({"2", "2"}, {1, -1}, "2", 0, 0).accepted);
    EXPECT_FALSE(evaluate({"2", "2"}, {1, -1}, "2", 1, 1).accepted);
    // Equal determined values are rejected, different ones are free.
    EXPECT_FALSE(evaluate({"0", "0"}, {1, 2}, "2", 0, 1).accepted);
    e = evaluate({"0", "1"}, {1, 2}, "2", 0, 1);
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.vts, 0);
    // Both open in different components: one decision, two open isolated slots.
    e = evaluate({"2", "2"}, {1, 2}, "2", 0, 1, {1, 1});
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.vts, 1);
    EXPECT_EQ(e.vnc, 2);
    EXPECT_EQ(e.w, 0.5f);
}

TEST(EvaluatePair, HomozygousSites)
{
    // "02" with "02" (label 1) and "01" (label 2): one decision.
    PairEvaluation e = evaluate({"02", "01"}, {1, 2}, "02", 0, 1);
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.vts, 1);
    EXPECT_EQ(e.w, 0.5f);
    EXPECT_EQ(e.vnc, 0);
    e = evaluate({"02", "01"}, {1, 2}, "02", 0, 1, {1, 0});
    EXPECT_EQ(e.vnc, 1);
    // "0" against two open mates: they cannot both take 0.
    EXPECT_FALSE(evaluate({"2", "2"}, {3, -3}, "0", 0, 1).accepted);
    e = evaluate({"2", "2"}, {3, 4}, "0", 0, 1);
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.vts, 2);
    EXPECT_EQ(e.w, 0.25f);
    // "11" explained by one determined slot twice.
    e = evaluate({"11"}, {1}, "11", 0, 0);
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.vts, 0);
    EXPECT_EQ(e.w, 1.0f);
    // An open slot with itself costs two decisions per homozygous site.
    e = evaluate({"12"}, {1}, "10", 0, 0);
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.vts, 2);
    EXPECT_FALSE(evaluate({"10"}, {1}, "11", 0, 0).accepted);
}

TEST(EvaluatePair, ARejectionKeepsTheCountsOfTheEarlierSites)
{
    const PairEvaluation e = evaluate({"2210", "2201"}, {1, 2}, "0011", 0, 1, {1, 1});
    EXPECT_FALSE(e.accepted);
    EXPECT_EQ(e.vts, 4);
    EXPECT_EQ(e.vnc, 4);
}

TEST(EvaluatePair, WeightsUnderflowOnlyPastOneHundredFortyNineDecisions)
{
    const std::string open(150, '2');
    const std::string genotype(150, '0');
    HaplotypeList list = listOf({open, std::string(150, '0')}, {1, 2});
    PairEvaluation e = evaluatePair(list, genotype.data(), 0, 1);
    EXPECT_EQ(e.vts, 150);
    EXPECT_EQ(e.w, 0.0f);
    list.text[0][0] = '0';
    e = evaluatePair(list, genotype.data(), 0, 1);
    EXPECT_EQ(e.vts, 149);
    EXPECT_GT(e.w, 0.0f);
    EXPECT_EQ(e.w, std::ldexp(1.0f, -149));
}

TEST(PriceCandidate, AgreesWithEvaluatePairOnEveryCombinationOfThreeSites)
{
    const char chars[] = {'0', '1', '2'};
    const std::vector<int> labelSets[] = {{1, 2}, {1, -1}, {1, 1}};
    for (const auto& labels : labelSets) {
        for (int code = 0; code < 27 * 27 * 27; ++code) {
            std::string a(3, '0'), b(3, '0'), g(3, '0');
            int rest = code;
            for (int s = 0; s < 3; ++s) {
                a[s] = chars[rest % 3];
                rest /= 3;
                b[s] = chars[rest % 3];
                rest /= 3;
                g[s] = chars[rest % 3];
                rest /= 3;
            }
            SearchState state;
            createSearchState(state, listOf({a, b}, labels));
            state.current.isolated = {1, 0};
            preparePairPlanes(state, listOf({g, g}, {1, -1}));
            const PairEvaluation expected = evaluatePair(state.current, g.data(), 0, 1);
            const PairEvaluation actual = priceCandidate(state, 0, 0, 1);
            ASSERT_EQ(actual.accepted, expected.accepted) << a << " " << b << " for " << g;
            ASSERT_EQ(candidateFits(state, 0, 0, 1), expected.accepted) << a << " " << b << " for " << g;
            if (!expected.accepted) continue;
            ASSERT_EQ(actual.vts, expected.vts) << a << " " << b << " for " << g;
            ASSERT_EQ(actual.vnc, expected.vnc) << a << " " << b << " for " << g;
            ASSERT_EQ(actual.w, expected.w);
        }
    }
}

TEST(PriceCandidate, AgreesWithEvaluatePairOnRandomSlotsAndGenotypes)
{
    std::mt19937 rng(8);
    const char chars[] = {'0', '1', '2'};
    for (int round = 0; round < 300; ++round) {
        const int length = 1 + static_cast<int>(rng() % 150);
        const int slots = 6;
        std::vector<std::string> texts(slots, std::string(length, '0'));
        std::vector<std::string> genotypes(2, std::string(length, '0'));
        // Mostly agreeing texts, so that many pairs are accepted.
        for (int s = 0; s < length; ++s) {
            const char base = chars[rng() % 3];
            for (auto& t : texts) t[s] = rng() % 4 == 0 ? chars[rng() % 3] : base;
            for (auto& g : genotypes) g[s] = rng() % 4 == 0 ? chars[rng() % 3] : base;
        }
        std::vector<int> labels = {1, -1, 2, 1, 3, -2};
        SearchState state;
        createSearchState(state, listOf(texts, labels));
        for (int s = 0; s < slots; ++s) state.current.isolated[s] = static_cast<int>(rng() % 2);
        const HaplotypeList initial = listOf({genotypes[0], genotypes[0], genotypes[1], genotypes[1]}, {1, -1, 2, -2});
        preparePairPlanes(state, initial);
        for (int g = 0; g < 2; ++g) {
            for (int a = 0; a < slots; ++a) {
                for (int b = a; b < slots; ++b) {
                    const PairEvaluation expected = evaluatePair(state.current, genotypes[g].data(), a, b);
                    const PairEvaluation actual = priceCandidate(state, g, a, b);
                    ASSERT_EQ(actual.accepted, expected.accepted) << round;
                    ASSERT_EQ(candidateFits(state, g, a, b), expected.accepted) << round;
                    if (!expected.accepted) continue;
                    ASSERT_EQ(actual.vts, expected.vts) << round;
                    ASSERT_EQ(actual.vnc, expected.vnc) << round;
                    ASSERT_EQ(actual.w, expected.w) << round;
                }
            }
        }
    }
}

TEST(UpdateIsolated, CountsTheOtherLiveSlotsOfTheComponent)
{
    HaplotypeList list = listOf({"0", "0", "0", "0", "0", "0"}, {1, -1, 1, 2, -2, 3});
    std::vector<int> scratch;
    updateIsolated(list, scratch);
    EXPECT_EQ(list.isolated, (std::vector<int>{0, 0, 0, 1, 1, 1}));
    // Slot 2 leaves the live part: component 1 keeps two live slots.
    list.order = {0, 1, 5, 3, 4, 2};
    list.position = {0, 1, 5, 3, 4, 2};
    list.liveCount = 5;
    list.isolated[2] = 7;
    updateIsolated(list, scratch);
    EXPECT_EQ(list.isolated, (std::vector<int>{1, 1, 7, 1, 1, 1}));
}

TEST(BuildPairLists, EnumeratesByPositionAndInsertsAtTheFront)
{
    // Live slots 5, 2, 7 at positions 0, 1, 2; every pair fits "0".
    HaplotypeList list = listOf(std::vector<std::string>(8, "0"), {1, -1, 2, -2, 3, -3, 4, -4});
    list.order = {5, 2, 7, 0, 1, 3, 4, 6};
    for (int p = 0; p < 8; ++p) list.position[list.order[p]] = p;
    list.liveCount = 3;
    SearchState state;
    createSearchState(state, list);
    const HaplotypeList genotypes = listOf({"0", "0"}, {1, -1});
    buildPairLists(state, genotypes);
    EXPECT_EQ(pairsOf(state.pairLists[0]), (Pairs{{2, 2}, {1, 2}, {1, 1}, {1, 0}, {0, 2}, {0, 0}}));
    for (const PairRecord* r = state.pairLists[0]; r != nullptr; r = r->next) {
        EXPECT_EQ(r->genotype, 0);
        EXPECT_EQ(r->sd, 0);
        EXPECT_EQ(r->active, 1);
    }
}

TEST(BuildPairLists, CandidatesOfGenotypes02_22_01)
{
    SearchFixture f({"02", "22", "01"});
    buildPairLists(f.state, f.initial);
    EXPECT_EQ(pairsOf(f.state.pairLists[0]),
              (Pairs{{3, 5}, {3, 4}, {2, 5}, {2, 4}, {1, 5}, {1, 4}, {1, 3}, {1, 2}, {0, 5}, {0, 4}, {0, 3},
                     {0, 2}, {0, 1}}));
    EXPECT_EQ(pairsOf(f.state.pairLists[1]),
              (Pairs{{3, 5}, {3, 4}, {2, 5}, {2, 4}, {2, 3}, {1, 3}, {1, 2}, {0, 3}, {0, 2}}));
    EXPECT_EQ(pairsOf(f.state.pairLists[2]),
              (Pairs{{5, 5}, {4, 5}, {4, 4}, {3, 5}, {3, 4}, {3, 3}, {2, 5}, {2, 4}, {2, 2}, {1, 5}, {1, 4},
                     {1, 3}, {1, 2}, {1, 1}, {0, 5}, {0, 4}, {0, 3}, {0, 2}, {0, 0}}));
    const PairRecord* own = find(f.state.pairLists[0], 0, 1);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->vts, 0);
    EXPECT_EQ(own->w, 1.0f);
    const PairRecord* priced = find(f.state.pairLists[0], 1, 3);
    ASSERT_NE(priced, nullptr);
    EXPECT_EQ(priced->vts, 2);
    EXPECT_EQ(priced->w, 0.25f);
    EXPECT_EQ(priced->vnc, 3);
    EXPECT_EQ(f.state.pairPool.liveRecords(), 41u);
}

TEST(BuildPairLists, ListsWhatEvaluatePairAcceptsInEnumerationOrderOnRandomLists)
{
    // Every ordered pair of live positions (p, q) with slot(q) >= slot(p)
    // that evaluatePair accepts, each put at the front in turn, against
    // the sieves; fitting sets of more than 64 slots and lengths across
    // word boundaries included. Genotypes are made from two live slots, so
    // that many fit.
    std::mt19937 draw(77);
    int manyFitting = 0;
    for (int round = 0; round < 106; ++round) {
        // The last rounds have hundreds of slots, many of them open, so
        // that some genotypes fit hundreds (only a few genotypes checked).
        const bool large = round >= 100;
        const int n = large ? 230 + 2 * static_cast<int>(draw() % 20) : 2 * static_cast<int>(draw() % 60 + 1);
        const int length = large ? std::vector<int>{3, 5}[draw() % 2]
                                 : std::vector<int>{1, 5, 63, 64, 65, 100, 130}[draw() % 7];
        const int openPercent = large ? 70 + static_cast<int>(draw() % 25) : static_cast<int>(draw() % 40);
        std::vector<std::string> texts(static_cast<std::size_t>(n), std::string(static_cast<std::size_t>(length), '0'));
        std::vector<int> labels(static_cast<std::size_t>(n));
        for (int s = 0; s < n; ++s) {
            // Few distinct values, so that many slots agree.
            for (int l = 0; l < length; ++l) {
                const int r = static_cast<int>(draw() % 100);
                texts[s][l] = r < openPercent ? '2' : (l + s % 3) % 4 == 0 || r % 7 == 0 ? '1' : '0';
            }
            labels[s] = static_cast<int>(draw() % (n / 2) + 1) * (draw() % 2 ? 1 : -1);
        }
        HaplotypeList list = listOf(texts, labels);
        std::shuffle(list.order.begin(), list.order.end(), draw);
        for (int p = 0; p < n; ++p) list.position[list.order[p]] = p;
        list.liveCount = large ? n - static_cast<int>(draw() % 10) : static_cast<int>(draw() % n + 1);
        std::vector<std::string> genotypeTexts(static_cast<std::size_t>(n), std::string(static_cast<std::size_t>(length), '0'));
        for (int g = 0; g < n / 2; ++g) {
            const std::string& a = texts[list.order[draw() % list.liveCount]];
            const std::string& b = texts[list.order[draw() % list.liveCount]];
            for (int l = 0; l < length; ++l) {
                const char x = a[l] != '2' ? a[l] : draw() % 2 ? '1' : '0';
                const char y = b[l] != '2' ? b[l] : draw() % 2 ? '1' : '0';
                genotypeTexts[2 * g][l] = x == y ? x : '2';
            }
        }
        const HaplotypeList genotypes = listOf(genotypeTexts, labels);
        SearchState state;
        createSearchState(state, list);
        buildPairLists(state, genotypes);

        SCOPED_TRACE(testing::Message() << "round " << round);
        const HaplotypeList& current = state.current;
        std::size_t largest = 0;
        for (int g = 0; g < n / 2; g += large ? n / 8 : 1) {
            std::vector<std::tuple<int, int, float, int, int>> expected;
            for (int p = 0; p < current.liveCount; ++p) {
                for (int q = 0; q < current.liveCount; ++q) {
                    const int s1 = current.order[p], s2 = current.order[q];
                    if (s2 < s1) continue;
                    const PairEvaluation e = evaluatePair(current, genotypeTexts[2 * g].data(), s1, s2);
                    if (e.accepted) expected.emplace_back(p, q, e.w, e.vts, e.vnc);
                }
            }
            std::reverse(expected.begin(), expected.end());
            std::vector<std::tuple<int, int, float, int, int>> listed;
            for (const PairRecord* r = state.pairLists[g]; r != nullptr; r = r->next) {
                listed.emplace_back(r->hap1, r->hap2, r->w, r->vts, r->vnc);
            }
            ASSERT_EQ(listed, expected) << "genotype " << g;
            std::size_t fitting = 0;
            for (int p = 0; p < current.liveCount; ++p) {
                const std::string& text = current.text[current.order[p]];
                bool fits = true;
                for (int l = 0; l < length; ++l) {
                    const char c = genotypeTexts[2 * g][l];
                    if (c != '2' && text[l] != '2' && text[l] != c) fits = false;
                }
                if (fits) ++fitting;
            }
            largest = std::max(largest, fitting);
        }
        if (largest >= 192) ++manyFitting;
    }
    EXPECT_GE(manyFitting, 2) << "rounds with a genotype that hundreds of slots fit";
}

TEST(ResetMarks, MarksLiveAndSettledSlotsAndReportsEmptyLists)
{
    SearchFixture f({"00", "01", "10", "11"});
    HaplotypeList& c = f.state.current;
    // Slot 7 collapsed; genotype 1 settled on (2, 3); genotype 3 empty.
    c.order = {0, 1, 2, 3, 4, 5, 6, 7};
    c.liveCount = 7;
    auto add = [&](int genotype, int hap1, int hap2) { addCandidate(f.state, genotype, hap1, hap2); };
    add(0, 0, 0);
    add(0, 1, 1);
    add(1, 2, 3);
    add(2, 4, 5);
    add(2, 5, 5);
    c.mark.assign(8, 9);
    testing::internal::CaptureStdout();
    EXPECT_EQ(resetMarks(f.state), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Dangerous i=3!!!!!\n");
    EXPECT_EQ(c.mark, (std::vector<int>{1, 1, 2, 2, 1, 1, 1, 0}));

    // A run on several threads sends the warning into its iteration's line.
    std::string sunk;
    f.state.warningSink = [&sunk](const std::string& text) { sunk += text; };
    testing::internal::CaptureStdout();
    resetMarks(f.state);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(sunk, "Dangerous i=3!!!!!\n");
}

TEST(SettleUsedPairs, SettlesAnOpenListOnAReadyPairOfUsedSlots)
{
    SearchFixture f({"0", "1"});
    HaplotypeList& c = f.state.current;
    PairRecordPool& pool = f.state.pairPool;
    auto add = [&](int genotype, int hap1, int hap2, int vts) { addCandidate(f.state, genotype, hap1, hap2, 0, vts); };
    add(0, 0, 0, 0);
    add(0, 1, 1, 0);  // ready: both used, no decision
    add(0, 0, 1, 1);  // both used, but takes a decision
    add(1, 2, 3, 0);  // ready, but slot 3 is not used
    add(1, 2, 2, 0);
    c.mark = {2, 2, 2, 1};
    settleUsedPairs(f.state);
    EXPECT_EQ(pairsOf(f.state.pairLists[0]), (Pairs{{1, 1}}));
    EXPECT_EQ(pairsOf(f.state.pairLists[1]), (Pairs{{2, 2}}));
    EXPECT_EQ(pool.liveRecords(), 2u);
}

TEST(OpenPairs, AreGatheredInGenotypeOrderFromTheFrontOfEachOpenList)
{
    SearchFixture f({"0", "1", "2"});
    PairRecordPool& pool = f.state.pairPool;
    std::vector<PairRecord*> made;
    auto add = [&](int genotype, int hap1) { made.push_back(addCandidate(f.state, genotype, hap1, hap1)); };
    add(0, 1);
    add(0, 2);
    add(1, 3);  // settled: not open
    add(2, 4);
    add(2, 5);
    add(2, 0);
    EXPECT_EQ(countOpenPairs(f.state), 5);
    std::vector<PairRecord*> open;
    gatherOpenPairs(f.state, 5, open);
    EXPECT_EQ(open, (std::vector<PairRecord*>{made[1], made[0], made[5], made[4], made[3]}));

    keepOnlyPair(f.state, 2, made[4]);
    EXPECT_EQ(f.state.pairLists[2], made[4]);
    EXPECT_EQ(made[4]->next, nullptr);
    EXPECT_EQ(countOpenPairs(f.state), 2);
    EXPECT_EQ(pool.liveRecords(), 4u);
}
