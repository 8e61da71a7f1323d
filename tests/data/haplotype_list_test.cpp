#include "data/haplotype_list.hpp"

#include "test_support.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Built {
    HaplotypeList list;
    std::vector<int> map;
};

Built build(const std::vector<std::string>& genotypes, int distinctCount)
{
    Built b;
    const int length = static_cast<int>(genotypes.front().size());
    b.list = buildHaplotypeList(static_cast<int>(genotypes.size()), length, genotypes, distinctCount, b.map);
    return b;
}

void expectUntouchedSlotFields(const HaplotypeList& list)
{
    const auto n = static_cast<std::size_t>(list.slotCount);
    EXPECT_EQ(list.mark, std::vector<int>(n, 0));
    EXPECT_EQ(list.useCount, std::vector<int>(n, 0));
    EXPECT_EQ(list.useLeft, std::vector<int>(n, 0));
    EXPECT_EQ(list.isolated, std::vector<int>(n, 0));
    EXPECT_EQ(list.weight, std::vector<float>(n, 0.0f));
    EXPECT_EQ(list.variableBase, std::vector<int>(n, -1));
}

// A list with every field moved away from its created value.
HaplotypeList scrambledList()
{
    HaplotypeList list = testing_support::listOf({"0120", "1021", "2222", "0000", "1111", "0201"},
                                                 {1, -1, 2, -2, 3, -3});
    list.liveCount = 4;
    list.order = {5, 2, 0, 3, 1, 4};
    for (int p = 0; p < 6; ++p) list.position[list.order[p]] = p;
    list.mark = {2, 0, 1, 2, 0, 2};
    list.useCount = {1, 0, 3, 2, 0, 4};
    list.useLeft = {0, 0, 1, 2, 0, 3};
    list.weight = {0.5f, 0.0f, 1.25f, 3.0f, 0.0f, 7.75f};
    list.multiplicity = {2, 2, 1, 1, 5, 5};
    list.label = {1, -1, 1, -3, 3, 1};
    list.variableBase = {-1, 1, -1, 0, 4, 7};
    list.isolated = {1, 0, 1, 0, 0, 1};
    return list;
}

void expectSameContents(const HaplotypeList& a, const HaplotypeList& b)
{
    EXPECT_EQ(a.liveCount, b.liveCount);
    EXPECT_EQ(a.order, b.order);
    EXPECT_EQ(a.position, b.position);
    EXPECT_EQ(a.mark, b.mark);
    EXPECT_EQ(a.useCount, b.useCount);
    EXPECT_EQ(a.useLeft, b.useLeft);
    EXPECT_EQ(a.weight, b.weight);
    EXPECT_EQ(a.multiplicity, b.multiplicity);
    EXPECT_EQ(a.label, b.label);
    EXPECT_EQ(a.variableBase, b.variableBase);
    EXPECT_EQ(a.isolated, b.isolated);
    EXPECT_EQ(a.text, b.text);
}

} // namespace

// ---------------------------------------------------------------------------
// Creation

TEST(HaplotypeListCreation, SetsTheDimensionsAndTheStartingValues)
{
    const HaplotypeList list = createHaplotypeList(6, 3);
    EXPECT_EQ(list.slotCount, 6);
    EXPECT_EQ(list.length, 3);
    EXPECT_EQ(list.liveCount, 6);
    EXPECT_EQ(list.order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(list.position, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(list.multiplicity, std::vector<int>(6, 1));
    EXPECT_EQ(list.label, std::vector<int>(6, 0));
    expectUntouchedSlotFields(list);
    ASSERT_EQ(list.text.size(), 6u);
}

// ---------------------------------------------------------------------------
// Build

TEST(HaplotypeListBuild, ARepeatedAndANewGenotypeFillEveryField)
{
    const Built b = build({"0121", "0121", "2200"}, 2);
    const HaplotypeList& list = b.list;
    EXPECT_EQ(list.slotCount, 4);
    EXPECT_EQ(list.length, 4);
    EXPECT_EQ(list.liveCount, 4);
    EXPECT_EQ(b.map, (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(list.text, (std::vector<std::string>{"0121", "0121", "2200", "2200"}));
    EXPECT_EQ(list.label, (std::vector<int>{1, -1, 2, -2}));
    EXPECT_EQ(list.multiplicity, (std::vector<int>{2, 2, 1, 1}));
    EXPECT_EQ(list.order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(list.position, (std::vector<int>{0, 1, 2, 3}));
    expectUntouchedSlotFields(list);
}

TEST(HaplotypeListBuild, AGenotypeWithoutHeterozygousSitesStillTakesTwoMateSlots)
{
    const Built b = build({"0110"}, 1);
    EXPECT_EQ(b.list.slotCount, 2);
    EXPECT_EQ(b.list.text, (std::vector<std::string>{"0110", "0110"}));
    EXPECT_EQ(b.list.label, (std::vector<int>{1, -1}));
    EXPECT_EQ(b.list.multiplicity, (std::vector<int>{1, 1}));
    EXPECT_EQ(b.map, (std::vector<int>{0}));
}

TEST(HaplotypeListBuild, AllEqualGenotypesGiveTwoSlotsCountingThemAll)
{
    const Built b = build({"212", "212", "212", "212", "212"}, 1);
    EXPECT_EQ(b.list.slotCount, 2);
    EXPECT_EQ(b.list.liveCount, 2);
    EXPECT_EQ(b.list.text, (std::vector<std::string>{"212", "212"}));
    EXPECT_EQ(b.list.multiplicity, (std::vector<int>{5, 5}));
    EXPECT_EQ(b.map, (std::vector<int>(5, 0)));
}

TEST(HaplotypeListBuild, DistinctGenotypesAreNumberedByFirstOccurrence)
{
    const Built b = build({"11", "00", "11"}, 2);
    EXPECT_EQ(b.map, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(b.list.text[0], "11");
    EXPECT_EQ(b.list.text[1], "11");
    EXPECT_EQ(b.list.text[2], "00");
    EXPECT_EQ(b.list.text[3], "00");
    EXPECT_EQ(b.list.multiplicity, (std::vector<int>{2, 2, 1, 1}));

    const Built longer = build({"20", "01", "12", "01", "20", "22", "12"}, 4);
    EXPECT_EQ(longer.map, (std::vector<int>{0, 1, 2, 1, 0, 3, 2}));
    EXPECT_EQ(longer.list.text,
              (std::vector<std::string>{"20", "20", "01", "01", "12", "12", "22", "22"}));
    EXPECT_EQ(longer.list.label, (std::vector<int>{1, -1, 2, -2, 3, -3, 4, -4}));
    EXPECT_EQ(longer.list.multiplicity, (std::vector<int>{2, 2, 2, 2, 2, 2, 1, 1}));
}

TEST(HaplotypeListBuild, GenotypesDifferingInOneSiteAreDistinct)
{
    const Built b = build({"0000", "0002", "2000", "0000"}, 3);
    EXPECT_EQ(b.map, (std::vector<int>{0, 1, 2, 0}));
    EXPECT_EQ(b.list.text[4], "2000");
}

TEST(HaplotypeListBuild, MatchesTheListATableReadFromTextGives)
{
    const HaplotypeList fromText = testing_support::initialListOf({"0212", "2010", "0111", "0212"});
    EXPECT_EQ(fromText.slotCount, 6);
    EXPECT_EQ(fromText.text,
              (std::vector<std::string>{"0212", "0212", "2010", "2010", "0111", "0111"}));
    EXPECT_EQ(fromText.label, (std::vector<int>{1, -1, 2, -2, 3, -3}));
    EXPECT_EQ(fromText.multiplicity, (std::vector<int>{2, 2, 1, 1, 1, 1}));
}

// ---------------------------------------------------------------------------
// Copy

TEST(HaplotypeListCopy, CopiesEveryPerSlotArrayAndTheLiveCount)
{
    const HaplotypeList source = scrambledList();
    HaplotypeList destination = createHaplotypeList(6, 4);
    copyHaplotypeList(destination, source);
    expectSameContents(destination, source);
    EXPECT_EQ(destination.slotCount, 6);
    EXPECT_EQ(destination.length, 4);
}

TEST(HaplotypeListCopy, ReplacesWhatTheDestinationHeldBefore)
{
    const Built initial = build({"0121", "0121", "2200"}, 2);
    HaplotypeList destination = createHaplotypeList(4, 4);
    copyHaplotypeList(destination, initial.list);

    // Work on the destination as a search would, then take the initial list back.
    destination.liveCount = 1;
    destination.order = {3, 1, 2, 0};
    destination.position = {3, 1, 2, 0};
    destination.mark = {0, 2, 2, 1};
    destination.text[3] = "0101";
    destination.label[2] = 1;
    destination.weight[1] = 2.5f;
    destination.variableBase[1] = 3;
    destination.isolated[0] = 1;
    destination.useCount[2] = 4;
    destination.useLeft[2] = 4;
    copyHaplotypeList(destination, initial.list);
    expectSameContents(destination, initial.list);
}

TEST(HaplotypeListCopy, IsDeepSoTheSourceNeverChangesThroughTheCopy)
{
    const HaplotypeList reference = scrambledList();
    HaplotypeList source = scrambledList();
    HaplotypeList destination = createHaplotypeList(6, 4);
    copyHaplotypeList(destination, source);
    EXPECT_EQ(destination.liveCount, source.liveCount);

    destination.liveCount = 6;
    destination.order[0] = 4;
    destination.position[4] = 0;
    destination.mark[0] = 1;
    destination.useCount[1] = 9;
    destination.useLeft[1] = 9;
    destination.weight[2] = -1.0f;
    destination.multiplicity[3] = 42;
    destination.label[4] = -2;
    destination.variableBase[5] = 11;
    destination.isolated[1] = 1;
    destination.text[0][1] = '2';
    destination.text[5] = "1111";
    expectSameContents(source, reference);

    // And the other way round: changing the source leaves the copy alone.
    HaplotypeList copy = createHaplotypeList(6, 4);
    copyHaplotypeList(copy, source);
    source.text[2][0] = '0';
    source.label[0] = 3;
    source.mark[1] = 2;
    source.liveCount = 2;
    expectSameContents(copy, reference);
}

TEST(HaplotypeListCopy, AnInitialListCopiedIntoTheSearchStateIsIndependent)
{
    const HaplotypeList initial = testing_support::initialListOf({"0121", "0121", "2200"});
    SearchState state;
    createSearchState(state, initial);
    state.current.text[0] = "0000";
    state.current.label[1] = 7;
    state.current.liveCount = 3;
    state.best.text[2] = "1111";
    EXPECT_EQ(initial.text, (std::vector<std::string>{"0121", "0121", "2200", "2200"}));
    EXPECT_EQ(initial.label, (std::vector<int>{1, -1, 2, -2}));
    EXPECT_EQ(initial.liveCount, 4);
    EXPECT_EQ(state.best.text[0], "0121");
    EXPECT_EQ(state.current.text[2], "2200");
}
