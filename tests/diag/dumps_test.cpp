#include "diag/dumps.hpp"

#include "search/candidate_lists.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <sstream>

using testing_support::SearchFixture;

namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

} // namespace

TEST(Dumps, DistanceStructureRowsHoldTheBinsThenTheDistancesUpToTheDiagonal)
{
    SearchFixture f({"02", "00"});
    testing::internal::CaptureStdout();
    dumpDistanceStructure(f.distances, f.state.current);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "Distance structure: \n"
              "  0 -  0  0  0  0\n"
              "  1 -  0  0  0 -1  0\n"
              "  2 -  0  2  0  1  1  0\n"
              "  3 -  1  2  0  1  1  0  0\n"
              "       0  1  2  0  1  2  3\n"
              "       1  4  0\n");
    EXPECT_EQ(linesOf(out).size(), 4u + 3u);
}

TEST(Dumps, CandidateListsShowEveryRecordAndAnEmptyListOnlyItsGenotype)
{
    SearchFixture f({"0", "1"});
    f.state.current.liveCount = 2;  // genotype "1" has no pair left
    buildPairLists(f.state, f.initial);
    testing::internal::CaptureStdout();
    dumpPairLists(f.initial, f.state);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "\n\n"
              "(  0)0: (1,1) vts:[0] vnc:(0) sd:{0} w:[1.000e+00]**0**)\n"
              "(  1)0\n"
              "(  1)0\n"
              "(0,1) vts:[0] vnc:(0) sd:{0} w:[1.000e+00]**0**)\n"
              "(  0)0\n"
              "(  1)0\n"
              "(0,0) vts:[0] vnc:(0) sd:{0} w:[1.000e+00]**0**)\n"
              "(  0)0\n"
              "(  0)0\n"
              "\n"
              "(  1)1\n");
}

TEST(Dumps, ListsShowTheLiveSlotsWithMarkWeightLabelAndText)
{
    SearchFixture f({"02", "10"});
    f.state.current.weight[1] = 0.375f;
    f.state.current.mark[1] = 2;
    f.state.current.liveCount = 2;
    testing::internal::CaptureStdout();
    dumpCurrentList(f.state);
    dumpBestList(f.state);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "Current HaploList: \n"
              "  0 r:  0 c:0 [0.000e+00] (  1) 02 \n"
              "  1 r:  1 c:2 [3.750e-01] ( -1) 02 \n"
              "Best HaploList: \n"
              "  0 r:  0 c:0 [0.000e+00] (  1) 02 \n"
              "  1 r:  1 c:0 [0.000e+00] ( -1) 02 \n"
              "  2 r:  2 c:0 [0.000e+00] (  2) 10 \n"
              "  3 r:  3 c:0 [0.000e+00] ( -2) 10 \n");
}

TEST(Dumps, APairArrayTakesFourLinesPerRecord)
{
    SearchFixture f({"02", "10"});
    PairRecord record{0, 1, 0.5f, 1, 2, 0, 0, 1, nullptr};
    std::vector<PairRecord*> pairs{&record};
    testing::internal::CaptureStdout();
    dumpPairArray(pairs, 1, f.state, f.initial);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "  0: (  0,  1,[  1](  2)[5.000e-01])\n"
              "   0 02 vI=1\n"
              "   1 02 vI=-1\n"
              "   0 02\n");
}

TEST(Dumps, BestPairsShowTheSavedRecordOfEveryGenotype)
{
    SearchFixture f({"0", "1"});
    f.state.bestPairs[0] = PairRecord{0, 1, 1.0f, 0, 0, 0, 0, 1, nullptr};
    f.state.bestPairs[1] = PairRecord{2, 2, 0.25f, 2, 1, 1, 3, 0, nullptr};
    testing::internal::CaptureStdout();
    dumpBestPairs(f.initial, f.state);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\n"
              "(  0)0: (0,1) vts:[0] vnc:(0) sd:{0} w:[1.000e+00]**0**)\n"
              "(  0)0\n"
              "(  1)0\n"
              "(  1)1: (2,2) vts:[2] vnc:(1) sd:{3} w:[2.500e-01]**1**)\n"
              "(  2)1\n"
              "(  2)1\n");
}
