#include "search/perturbation.hpp"

#include "search/collapse.hpp"
#include "search_test_support.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

using search_testing::sameWorkingSet;
using testing_support::SearchFixture;

namespace {

struct Perturbation : testing::Test {
    SearchFixture f{std::vector<std::string>{"000", "001", "010", "011", "100", "101"}};

    void SetUp() override
    {
        for (PairRecord& saved : f.state.iterationBestPairs) saved.active = 0;
        f.state.iterationBest.liveCount = 12;
    }
    void keep(int genotype, int hap1, int hap2)
    {
        PairRecord& saved = f.state.iterationBestPairs[genotype];
        saved.active = 1;
        saved.hap1 = hap1;
        saved.hap2 = hap2;
    }
    void expectDistancesMatchTheWorkingList()
    {
        DistanceStructure fromScratch = f.distances;
        computeDistances(fromScratch, f.state.current);
        std::string where;
        EXPECT_TRUE(sameWorkingSet(fromScratch, f.distances, where)) << where;
    }
};

} // namespace

TEST_F(Perturbation, CollapsesEachChainIntoItsMostRecentSlot)
{
    keep(0, 3, 6);
    keep(2, 3, 7);
    keep(5, 3, 8);
    perturb(f.state, f.distances);
    const HaplotypeList& c = f.state.current;
    // The chain of haplotype 3 reads 10, 4, 0: slot 4, then slot 0, go into slot 10.
    EXPECT_EQ(c.liveCount, 10);
    EXPECT_EQ(c.order[11], 4);
    EXPECT_EQ(c.order[10], 0);
    EXPECT_EQ(c.position[10], 0);
    EXPECT_EQ(std::abs(c.label[10]), 6);
    EXPECT_EQ(c.text[10], "101");
    expectDistancesMatchTheWorkingList();
}

TEST_F(Perturbation, AGenotypeExplainedByOneHaplotypeTwiceCollapsesItsFirstSlotIntoItsSecond)
{
    keep(1, 5, 5);
    perturb(f.state, f.distances);
    const HaplotypeList& c = f.state.current;
    EXPECT_EQ(c.liveCount, 11);
    EXPECT_GE(c.position[2], c.liveCount);
    EXPECT_LT(c.position[3], c.liveCount);
    expectDistancesMatchTheWorkingList();
}

TEST_F(Perturbation, WithoutActiveRecordsNothingChanges)
{
    perturb(f.state, f.distances);
    EXPECT_EQ(f.state.current.liveCount, 12);
    EXPECT_EQ(f.state.current.text, f.initial.text);
    EXPECT_EQ(f.distances.histogram(), f.distances.initialHistogram());
    EXPECT_EQ(f.distances.working.rowHistogram, f.distances.initial->histograms.rowHistogram);
    EXPECT_EQ(f.distances.liveCount, 12);
}

TEST_F(Perturbation, ChainsOfOneSlotCauseNoCollapse)
{
    keep(0, 1, 2);
    keep(3, 4, 5);
    perturb(f.state, f.distances);
    EXPECT_EQ(f.state.current.liveCount, 12);
}

TEST_F(Perturbation, ASlotThatIsNotLiveIsReportedAndNeverCollapsed)
{
    // Slot 0 was collapsed already, so the chain of haplotype 2 holds a dead slot.
    collapseSlots(f.state, f.state.current.position[1], f.state.current.position[0], f.distances, false);
    keep(0, 2, 9);
    keep(4, 2, 10);
    testing::internal::CaptureStdout();
    perturb(f.state, f.distances);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "collassamento pericoloso!!\n");
    EXPECT_EQ(f.state.current.liveCount, 11);
    EXPECT_LT(f.state.current.position[8], f.state.current.liveCount);
}
