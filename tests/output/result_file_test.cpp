#include "output/result_file.hpp"

#include "data/search_state.hpp"
#include "output/solution_analysis.hpp"
#include "search/candidate_lists.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using testing_support::readWholeFile;

namespace {

struct SlotSetup {
    int slot;
    std::string text;
    int label;
};

// A finished search over `genotypes` whose best reconstruction uses exactly
// the given slots: best holds them (mark 2) at the first live positions, in
// the given order, followed by `unusedLive` live slots with mark 1; the other
// slots are not live. current is a copy of best with the candidate lists
// rebuilt over it, as the finish of a run leaves them.
struct FinishedSearch {
    HaplotypeList initial;
    SearchState state;
    std::vector<int> sortedSlots;
    std::vector<int> rankOfSlot;

    FinishedSearch(const std::vector<std::string>& genotypes, const std::vector<SlotSetup>& used,
                   const std::vector<SlotSetup>& unusedLive = {})
        : initial(testing_support::initialListOf(genotypes))
    {
        createSearchState(state, initial);
        HaplotypeList& best = state.best;
        std::vector<int> order;
        std::vector<bool> placed(static_cast<std::size_t>(best.slotCount), false);
        auto place = [&](const SlotSetup& s, int mark) {
            best.text[s.slot] = s.text;
            best.label[s.slot] = s.label;
            best.mark[s.slot] = mark;
            order.push_back(s.slot);
            placed[s.slot] = true;
        };
        std::fill(best.mark.begin(), best.mark.end(), 0);
        for (const SlotSetup& s : used) place(s, 2);
        for (const SlotSetup& s : unusedLive) place(s, 1);
        best.liveCount = static_cast<int>(order.size());
        for (int s = 0; s < best.slotCount; ++s)
            if (!placed[s]) order.push_back(s);
        best.order = order;
        for (int p = 0; p < best.slotCount; ++p) best.position[order[p]] = p;
        state.bestCount = static_cast<int>(used.size());

        copyHaplotypeList(state.current, best);
        freePairLists(state.pairLists, state.pairPool);
        buildPairLists(state, initial);
        sortUsedSlots(state, sortedSlots, rankOfSlot);
    }

    std::string resultText(const std::vector<int>& genotypeMap)
    {
        std::string out;
        writeResultFile(out, state, genotypeMap, sortedSlots, rankOfSlot,
                        static_cast<int>(genotypeMap.size()));
        return out;
    }
};

const char* const kHead =
    "BEGIN HAPLOTYPE_LIST\n"
    "     1: 0010\n"
    "     2: 0111\n"
    "     3: 1010\n"
    "END HAPLOTYPE_LIST\n"
    "\n"
    "Genotypes and corresponding couples of haplotypes \n"
    "(numbers refer to the list of haplotypes given above) \n"
    "BEGIN BEST_RECONSTRUCTION_FOUND\n";

// Three genotypes and three haplotypes: 0212 = 0010 + 0111, 2010 = 0010 + 1010, 0111 = 0111 twice.
// The slot of 0010 has the smallest index, so it is the first of its pairs.
const std::vector<SlotSetup> kExampleSlots = {{5, "0111", -3}, {2, "1010", 2}, {1, "0010", -1}};

// The reconstruction lines of kExampleSlots for the genotypes 0212, 2010, 0111.
const std::string kExampleResult = std::string(kHead) +
                                   "     1: (1,2)\n"
                                   "     2: (1,3)\n"
                                   "     3: (2,2)\n"
                                   "END BEST_RECONSTRUCTION_FOUND\n";

class OutputFileTest : public testing::Test {
protected:
    std::string path(const std::string& name) const { return folder_.path(name); }

    testing_support::TemporaryFolder folder_{"velmora_output"};
};

} // namespace

// ---------------------------------------------------------------------------
// Result file

TEST(ResultFile, ThreeGenotypesAndThreeHaplotypesAreWrittenByteForByte)
{
    FinishedSearch f({"0212", "2010", "0111"}, kExampleSlots);
    EXPECT_EQ((std::vector<int>(f.sortedSlots.begin(), f.sortedSlots.begin() + 3)), (std::vector<int>{1, 5, 2}));
    EXPECT_EQ(f.resultText({0, 1, 2}), kExampleResult);
}

TEST(ResultFile, ARepeatedGenotypeGetsTheLineOfItsFirstOccurrence)
{
    FinishedSearch f({"0212", "2010", "0111", "0212"}, kExampleSlots);
    EXPECT_EQ(f.resultText({0, 1, 2, 0}), std::string(kHead) +
                                              "     1: (1,2)\n"
                                              "     2: (1,3)\n"
                                              "     3: (2,2)\n"
                                              "     4: (1,2)\n"
                                              "END BEST_RECONSTRUCTION_FOUND\n");
}

TEST(ResultFile, PairsWithALiveSlotThatIsNotUsedAreLeftOut)
{
    // The genotypes' own slots stay live but unused; the pairs they form are
    // in the candidate lists and must not be written.
    FinishedSearch f({"0212", "2010", "0111"}, kExampleSlots,
                     {{0, "0212", 1}, {3, "2010", -2}, {4, "0111", 3}});
    EXPECT_EQ(f.resultText({0, 1, 2}), kExampleResult);
}

TEST(ResultFile, TheFirstNumberOfAPairBelongsToTheSmallerSlotIndex)
{
    // 1010 now sits in slot 0, below the slot of 0010: the pair of 2010 reads (3,1).
    FinishedSearch f({"0212", "2010", "0111"}, {{3, "0010", -2}, {5, "0111", -3}, {0, "1010", 1}});
    EXPECT_EQ(f.resultText({0, 1, 2}), std::string(kHead) +
                                           "     1: (1,2)\n"
                                           "     2: (3,1)\n"
                                           "     3: (2,2)\n"
                                           "END BEST_RECONSTRUCTION_FOUND\n");
}

TEST(ResultFile, EveryExplainingPairIsListedInCandidateListOrder)
{
    // 22 is explained by 00 + 11 and by 01 + 10; the homozygous genotypes by
    // one haplotype twice.
    FinishedSearch f({"22", "00", "11", "01"}, {{0, "01", 1}, {1, "10", -1}, {2, "00", 2}, {4, "11", 3}});
    EXPECT_EQ(f.resultText({0, 1, 2, 3, 0}),
              "BEGIN HAPLOTYPE_LIST\n"
              "     1: 00\n"
              "     2: 01\n"
              "     3: 10\n"
              "     4: 11\n"
              "END HAPLOTYPE_LIST\n"
              "\n"
              "Genotypes and corresponding couples of haplotypes \n"
              "(numbers refer to the list of haplotypes given above) \n"
              "BEGIN BEST_RECONSTRUCTION_FOUND\n"
              "     1: (1,4) (2,3)\n"
              "     2: (1,1)\n"
              "     3: (4,4)\n"
              "     4: (2,2)\n"
              "     5: (1,4) (2,3)\n"
              "END BEST_RECONSTRUCTION_FOUND\n");
}

TEST(ResultFile, AGenotypeWithoutAPairOfUsedHaplotypesHasABareLine)
{
    // 1010 is live but not used, so nothing explains 2010.
    FinishedSearch f({"0212", "2010", "0111"}, {{1, "0010", -1}, {5, "0111", -3}}, {{2, "1010", 2}});
    EXPECT_EQ(f.resultText({0, 1, 2}),
              "BEGIN HAPLOTYPE_LIST\n"
              "     1: 0010\n"
              "     2: 0111\n"
              "END HAPLOTYPE_LIST\n"
              "\n"
              "Genotypes and corresponding couples of haplotypes \n"
              "(numbers refer to the list of haplotypes given above) \n"
              "BEGIN BEST_RECONSTRUCTION_FOUND\n"
              "     1: (1,2)\n"
              "     2:\n"
              "     3: (2,2)\n"
              "END BEST_RECONSTRUCTION_FOUND\n");
}

TEST(ResultFile, MarksAreReadFromBestNotFromTheRebuiltCurrent)
{
    FinishedSearch f({"0212", "2010", "0111"}, kExampleSlots, {{0, "0212", 1}});
    // The rebuild leaves scratch values in the marks of current.
    std::fill(f.state.current.mark.begin(), f.state.current.mark.end(), 0);
    EXPECT_EQ(f.resultText({0, 1, 2}), kExampleResult);
}

TEST(ResultFile, HaplotypeTextsComeFromCurrent)
{
    FinishedSearch f({"0212", "2010", "0111"}, kExampleSlots);
    f.state.best.text[1] = "0210";  // best may keep undetermined sites
    const std::string text = f.resultText({0, 1, 2});
    EXPECT_NE(text.find("     1: 0010\n"), std::string::npos);
    EXPECT_EQ(text.find("0210"), std::string::npos);
}

TEST(ResultFile, NumbersOfSevenDigitsWidenTheirColumn)
{
    FinishedSearch f({"0212", "2010", "0111"}, kExampleSlots);
    std::vector<int> map(1000000, 2);
    map[0] = 0;
    const std::string text = f.resultText(map);
    EXPECT_NE(text.find("\n     1: (1,2)\n     2: (2,2)\n"), std::string::npos);
    EXPECT_NE(text.find("\n999999: (2,2)\n1000000: (2,2)\nEND BEST_RECONSTRUCTION_FOUND\n"), std::string::npos);
    const std::size_t end = text.size() - std::string("END BEST_RECONSTRUCTION_FOUND\n").size();
    EXPECT_EQ(text.substr(end), "END BEST_RECONSTRUCTION_FOUND\n");
}

TEST(ResultFile, IsAppendedToWhatTheBufferHolds)
{
    FinishedSearch f({"0212", "2010", "0111"}, kExampleSlots);
    std::string out = "earlier text\n";
    writeResultFile(out, f.state, {0, 1, 2}, f.sortedSlots, f.rankOfSlot, 3);
    EXPECT_EQ(out.rfind("earlier text\nBEGIN HAPLOTYPE_LIST\n", 0), 0u);
}

// ---------------------------------------------------------------------------
// Symbolic list

namespace {

// The field writeSymbolicSite adds to an empty line.
std::string symbolicField(int label, int variable, char site, int digits)
{
    std::string out;
    writeSymbolicSite(out, label, variable, site, digits);
    return out;
}

} // namespace

TEST(SymbolicSite, EveryFieldIsTwoWiderThanTheDigitsOfTheVariableCount)
{
    // m = 9: one digit, fields of three characters.
    EXPECT_EQ(symbolicField(1, 5, '0', 1), "  0");
    EXPECT_EQ(symbolicField(-1, 5, '1', 1), "  1");
    EXPECT_EQ(symbolicField(1, 5, '2', 1), " p5");
    EXPECT_EQ(symbolicField(-4, 9, '2', 1), " n9");
    // m = 10 or 12: two digits, fields of four; a one-digit variable gets one
    // more leading blank than a two-digit one.
    EXPECT_EQ(symbolicField(1, 3, '0', 2), "   0");
    EXPECT_EQ(symbolicField(2, 3, '2', 2), "  p3");
    EXPECT_EQ(symbolicField(2, 10, '2', 2), " p10");
    EXPECT_EQ(symbolicField(-2, 10, '2', 2), " n10");
    EXPECT_EQ(symbolicField(-2, 4, '2', 2), "  n4");
    // Three digits.
    EXPECT_EQ(symbolicField(7, 7, '2', 3), "   p7");
    EXPECT_EQ(symbolicField(7, 123, '2', 3), " p123");
    EXPECT_EQ(symbolicField(7, 123, '1', 3), "    1");
}

TEST(SymbolicSite, ALabelOfZeroOrBelowWritesN)
{
    EXPECT_EQ(symbolicField(0, 2, '2', 1), " n2");
}

TEST(SymbolicSite, VariableZeroCountsAsNoDigits)
{
    EXPECT_EQ(symbolicField(1, 0, '2', 1), "  p0");
}

TEST(SymbolicSite, AppendsToTheLine)
{
    std::string out = "     1: ";
    writeSymbolicSite(out, 1, 4, '0', 2);
    writeSymbolicSite(out, 1, 4, '2', 2);
    writeSymbolicSite(out, 1, 5, '1', 2);
    writeSymbolicSite(out, 1, 5, '2', 2);
    EXPECT_EQ(out, "     1:    0  p4   1  p5");
}

TEST(SymbolicSite, DecimalDigitsOfTheVariableCount)
{
    EXPECT_EQ(decimalDigits(1), 1);
    EXPECT_EQ(decimalDigits(9), 1);
    EXPECT_EQ(decimalDigits(10), 2);
    EXPECT_EQ(decimalDigits(12), 2);
    EXPECT_EQ(decimalDigits(99), 2);
    EXPECT_EQ(decimalDigits(100), 3);
    EXPECT_EQ(decimalDigits(0), 0);
    EXPECT_EQ(decimalDigits(-7), 0);
}

namespace {

// best of a finished search with four used slots in output order: 1010
// (component 1, no variables), 0212 and its mate 1202 (component 2, variables
// from 4) and 2222 (component 3, variables from 8).
SearchState symbolicState(std::vector<int>& sortedSlots)
{
    SearchState state;
    createSearchState(state, testing_support::listOf({"0212", "1202", "1010", "0101", "2222", "2222"},
                                                     {2, -2, 1, -1, 3, -3}));
    state.best.variableBase = {-1, 0, 4, 8, -1, -1};
    state.best.mark = {2, 2, 2, 1, 2, 1};
    state.bestCount = 4;
    sortedSlots = {2, 0, 1, 4, 0, 0};
    return state;
}

} // namespace

TEST(SymbolicList, IsWrittenByteForByteWithTwoDigitVariables)
{
    std::vector<int> sorted;
    const SearchState state = symbolicState(sorted);
    std::string out = "END BEST_RECONSTRUCTION_FOUND\n";
    writeSymbolicList(out, state, sorted, 12);
    EXPECT_EQ(out,
              "END BEST_RECONSTRUCTION_FOUND\n"
              "\nA multiple solution (in symbolic form) was found.\n"
              "Genotype reconstruction is the same as indicated above\n"
              "Note that pXY = 1 - nXY\n"
              "BEGIN SYMBOLIC_HAPLOTYPE_LIST\n"
              "     1:    1   0   1   0\n"
              "     2:    0  p4   1  p5\n"
              "     3:    1  n4   0  n5\n"
              "     4:   p8  p9 p10 p11\n"
              "END SYMBOLIC_HAPLOTYPE_LIST\n\n");
}

TEST(SymbolicList, FieldWidthsFollowTheVariableCount)
{
    std::vector<int> sorted;
    SearchState state = symbolicState(sorted);
    state.best.variableBase = {-1, 0, 1, 3, -1, -1};
    const struct {
        int variableCount;
        std::string lines;
    } cases[] = {
        {9,
         "     1:   1  0  1  0\n"
         "     2:   0 p1  1 p2\n"
         "     3:   1 n1  0 n2\n"
         "     4:  p3 p4 p5 p6\n"},
        {10,
         "     1:    1   0   1   0\n"
         "     2:    0  p1   1  p2\n"
         "     3:    1  n1   0  n2\n"
         "     4:   p3  p4  p5  p6\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.variableCount << " variables");
        std::string out;
        writeSymbolicList(out, state, sorted, c.variableCount);
        EXPECT_NE(out.find("BEGIN SYMBOLIC_HAPLOTYPE_LIST\n" + c.lines + "END SYMBOLIC_HAPLOTYPE_LIST\n\n"),
                  std::string::npos)
            << out;
    }
}

TEST(SymbolicList, FollowsTheResultLinesInTheSameText)
{
    FinishedSearch f({"0212", "2010", "0111"}, kExampleSlots);
    // Suppose 0010 and 0111 were left undetermined at site 3 in best.
    f.state.best.text[1] = "0012";
    f.state.best.text[5] = "0112";
    f.state.best.label[5] = 1;
    f.state.best.label[1] = -1;
    f.state.best.variableBase = {-1, 1, 0, 0, -1, -1};
    std::string out = f.resultText({0, 1, 2});
    writeSymbolicList(out, f.state, f.sortedSlots, 1);
    EXPECT_EQ(out, kExampleResult +
                       "\nA multiple solution (in symbolic form) was found.\n"
                       "Genotype reconstruction is the same as indicated above\n"
                       "Note that pXY = 1 - nXY\n"
                       "BEGIN SYMBOLIC_HAPLOTYPE_LIST\n"
                       "     1:   0  0  1 n1\n"
                       "     2:   0  1  1 p1\n"
                       "     3:   1  0  1  0\n"
                       "END SYMBOLIC_HAPLOTYPE_LIST\n\n");
}

// ---------------------------------------------------------------------------
// Saving the file

TEST_F(OutputFileTest, SavingCreatesTheFileWithTheGivenContent)
{
    std::string error;
    ASSERT_TRUE(saveFileAtomically(path("result.txt"), "line one\nline two\n", error)) << error;
    EXPECT_EQ(readWholeFile(path("result.txt")), "line one\nline two\n");
    EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"result.txt"})) << "no temporary file is left";
}

TEST_F(OutputFileTest, SavingReplacesAnExistingFileWhole)
{
    folder_.write("result.txt", std::string(5000, 'x') + "\nold result\n");
    std::string error;
    ASSERT_TRUE(saveFileAtomically(path("result.txt"), "new\n", error)) << error;
    EXPECT_EQ(readWholeFile(path("result.txt")), "new\n");
    EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"result.txt"}));
}

TEST_F(OutputFileTest, SavingAnEmptyContentGivesAnEmptyFile)
{
    folder_.write("result.txt", "old\n");
    std::string error;
    ASSERT_TRUE(saveFileAtomically(path("result.txt"), "", error)) << error;
    EXPECT_EQ(readWholeFile(path("result.txt")), "");
}

TEST_F(OutputFileTest, ASavedFileGetsTheUsualPermissions)
{
    std::string error;
    ASSERT_TRUE(saveFileAtomically(path("result.txt"), "x\n", error)) << error;
    const mode_t mask = umask(0);
    umask(mask);
    struct stat info {};
    ASSERT_EQ(stat(path("result.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST_F(OutputFileTest, SavingIntoAMissingFolderFailsAndCreatesNothing)
{
    std::string error;
    EXPECT_FALSE(saveFileAtomically(path("missing/result.txt"), "content\n", error));
    EXPECT_NE(error.find(path("missing/result.txt")), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(path("missing")));
    EXPECT_TRUE(folder_.entries().empty());
}

TEST_F(OutputFileTest, SavingOverAFolderFailsAndLeavesTheFolderAlone)
{
    fs::create_directory(path("result.txt"));
    folder_.write("result.txt/inside.txt", "keep me\n");
    std::string error;
    EXPECT_FALSE(saveFileAtomically(path("result.txt"), "content\n", error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(path("result.txt")));
    EXPECT_EQ(readWholeFile(path("result.txt/inside.txt")), "keep me\n");
    EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"result.txt"}));
}

TEST_F(OutputFileTest, SavingWhereTheFolderIsAFileFailsAndLeavesTheFileAlone)
{
    folder_.write("plain", "an existing file\n");
    std::string error;
    EXPECT_FALSE(saveFileAtomically(path("plain/result.txt"), "content\n", error));
    EXPECT_EQ(readWholeFile(path("plain")), "an existing file\n");
    EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"plain"}));
}

TEST_F(OutputFileTest, AWritableLocationIsAcceptedAndLeftEmpty)
{
    std::string error;
    EXPECT_TRUE(checkOutputWritable(path("result.txt"), error)) << error;
    EXPECT_TRUE(folder_.entries().empty()) << "the check creates no file";

    folder_.write("result.txt", "old result\n");
    EXPECT_TRUE(checkOutputWritable(path("result.txt"), error)) << error;
    EXPECT_EQ(readWholeFile(path("result.txt")), "old result\n") << "the check does not touch the file";
    EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"result.txt"}));
}

TEST_F(OutputFileTest, UnwritableLocationsAreRefusedWithAReason)
{
    std::string error;
    EXPECT_FALSE(checkOutputWritable(path("missing/result.txt"), error));
    EXPECT_NE(error.find(path("missing/result.txt")), std::string::npos) << error;

    error.clear();
    fs::create_directory(path("folder"));
    EXPECT_FALSE(checkOutputWritable(path("folder"), error));
    EXPECT_EQ(error, "Couldn't create the output file " + path("folder") + ": it is a folder");

    error.clear();
    EXPECT_FALSE(checkOutputWritable("", error));
    EXPECT_EQ(error, "Couldn't create the output file: the name is empty");

    EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"folder"}));
}

TEST_F(OutputFileTest, AResultWrittenAndSavedReadsBackUnchanged)
{
    FinishedSearch f({"0212", "2010", "0111", "0212"}, kExampleSlots);
    const std::string text = f.resultText({0, 1, 2, 0});
    std::string error;
    ASSERT_TRUE(saveFileAtomically(path("result.txt"), text, error)) << error;
    EXPECT_EQ(readWholeFile(path("result.txt")), text);
}
