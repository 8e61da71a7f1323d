#include "run/run_settings.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

// Parses a command line given as its arguments after the program name.
ParseStatus parse(const std::vector<std::string>& arguments, RunSettings& settings)
{
    std::vector<const char*> argv{"velmora"};
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    return parseOptions(static_cast<int>(argv.size()), argv.data(), settings);
}

RunSettings parseFilled(const std::vector<std::string>& arguments)
{
    RunSettings settings;
    EXPECT_EQ(parse(arguments, settings), ParseStatus::Filled);
    return settings;
}

// A record whose every field differs from what any parse in these tests sets.
RunSettings sentinelSettings()
{
    RunSettings s;
    s.inputFilename = "previous-in";
    s.outputFileName = "previous-out";
    s.maxCompTime = 111;
    s.maxIter = 222;
    s.seed = 333;
    s.maxStall = 444;
    return s;
}

void expectUnchanged(const RunSettings& s)
{
    EXPECT_EQ(s.inputFilename, "previous-in");
    EXPECT_EQ(s.outputFileName, "previous-out");
    EXPECT_EQ(s.maxCompTime, 111);
    EXPECT_EQ(s.maxIter, 222);
    EXPECT_EQ(s.seed, 333);
    EXPECT_EQ(s.maxStall, 444);
}

std::string startLineOf(const RunSettings& settings)
{
    testing::internal::CaptureStdout();
    printStartLine(settings);
    return testing::internal::GetCapturedStdout();
}

const char* const kUsageText =
    "Usage: Velmora <inputFilename> <outputFileName> [<options>]\n\n"
    "Possible options are:\n"
    "-t <max computation time> (in sec.)\n"
    "-i <max number of iterations>\n"
    "-s <random seed>\n";

} // namespace

// ---------------------------------------------------------------------------
// File names and defaults

TEST(CommandLine, TwoFileNamesAloneGiveTheDefaults)
{
    RunSettings s = sentinelSettings();
    ASSERT_EQ(parse({"genotypes.txt", "result.txt"}, s), ParseStatus::Filled);
    EXPECT_EQ(s.inputFilename, "genotypes.txt");
    EXPECT_EQ(s.outputFileName, "result.txt");
    EXPECT_EQ(s.maxCompTime, 0);
    EXPECT_EQ(s.maxIter, 30);
    EXPECT_EQ(s.seed, 1);
    EXPECT_EQ(s.maxStall, 15);
}

TEST(CommandLine, DefaultsAreRestoredEvenWhenTheRecordHeldOtherValues)
{
    // A record filled by an earlier parse must not leak values into the next one.
    RunSettings s;
    ASSERT_EQ(parse({"a", "b", "-t", "9", "-i", "8", "-s", "7", "-n", "6"}, s), ParseStatus::Filled);
    ASSERT_EQ(parse({"c", "d"}, s), ParseStatus::Filled);
    EXPECT_EQ(s.inputFilename, "c");
    EXPECT_EQ(s.outputFileName, "d");
    EXPECT_EQ(s.maxCompTime, 0);
    EXPECT_EQ(s.maxIter, 30);
    EXPECT_EQ(s.seed, 1);
    EXPECT_EQ(s.maxStall, 15);
}

TEST(CommandLine, TheFirstTwoArgumentsAreFileNamesWhateverTheyLookLike)
{
    const RunSettings s = parseFilled({"-t", "-i", "-s", "5"});
    EXPECT_EQ(s.inputFilename, "-t");
    EXPECT_EQ(s.outputFileName, "-i");
    EXPECT_EQ(s.seed, 5);
    EXPECT_EQ(s.maxIter, 30);
    EXPECT_EQ(s.maxCompTime, 0);
}

TEST(CommandLine, LongFileNamesAreKeptWhole)
{
    std::string input = "/some/folder/";
    while (input.size() < 300) input += "genotypes_of_a_long_study_";
    input += ".txt";
    std::string output(95, 'o');
    output += "/result.txt";
    const RunSettings s = parseFilled({input, output, "-i", "3"});
    EXPECT_EQ(s.inputFilename, input);
    EXPECT_EQ(s.outputFileName, output);
    EXPECT_EQ(s.maxIter, 3);
}

TEST(CommandLine, FileNamesWithBlanksAndOddCharactersAreKeptAsGiven)
{
    const RunSettings s = parseFilled({"my genotypes (v2).txt", "out\tfile"});
    EXPECT_EQ(s.inputFilename, "my genotypes (v2).txt");
    EXPECT_EQ(s.outputFileName, "out\tfile");
}

// ---------------------------------------------------------------------------
// Options

TEST(CommandLine, EachOptionSetsItsOwnField)
{
    const RunSettings s = parseFilled({"in", "out", "-t", "60", "-i", "100", "-s", "7", "-n", "4"});
    EXPECT_EQ(s.maxCompTime, 60);
    EXPECT_EQ(s.maxIter, 100);
    EXPECT_EQ(s.seed, 7);
    EXPECT_EQ(s.maxStall, 4);

    const RunSettings onlyT = parseFilled({"in", "out", "-t", "12"});
    EXPECT_EQ(onlyT.maxCompTime, 12);
    EXPECT_EQ(onlyT.maxIter, 30);
    EXPECT_EQ(onlyT.seed, 1);
    EXPECT_EQ(onlyT.maxStall, 15);

    const RunSettings onlyN = parseFilled({"in", "out", "-n", "0"});
    EXPECT_EQ(onlyN.maxStall, 0);
    EXPECT_EQ(onlyN.maxCompTime, 0);
    EXPECT_EQ(onlyN.maxIter, 30);
    EXPECT_EQ(onlyN.seed, 1);
}

TEST(CommandLine, OptionsMayComeInAnyOrder)
{
    const RunSettings s = parseFilled({"in", "out", "-n", "2", "-s", "99", "-t", "5", "-i", "17"});
    EXPECT_EQ(s.maxCompTime, 5);
    EXPECT_EQ(s.maxIter, 17);
    EXPECT_EQ(s.seed, 99);
    EXPECT_EQ(s.maxStall, 2);
}

TEST(CommandLine, TheLastOccurrenceOfAnOptionWins)
{
    EXPECT_EQ(parseFilled({"in", "out", "-i", "10", "-i", "20"}).maxIter, 20);
    const RunSettings s = parseFilled({"in", "out", "-s", "3", "-t", "8", "-s", "4", "-t", "0", "-s", "5"});
    EXPECT_EQ(s.seed, 5);
    EXPECT_EQ(s.maxCompTime, 0);
}

TEST(CommandLine, ValuesAreStoredWithoutRangeChecks)
{
    const RunSettings s = parseFilled({"in", "out", "-t", "-5", "-i", "0", "-s", "-3", "-n", "-1"});
    EXPECT_EQ(s.maxCompTime, -5);
    EXPECT_EQ(s.maxIter, 0);
    EXPECT_EQ(s.seed, -3);
    EXPECT_EQ(s.maxStall, -1);
}

TEST(CommandLine, ValuesAreReadAsLeadingDecimalNumbers)
{
    EXPECT_EQ(parseFilled({"in", "out", "-s", "12abc"}).seed, 12);
    EXPECT_EQ(parseFilled({"in", "out", "-i", "x"}).maxIter, 0);
    EXPECT_EQ(parseFilled({"in", "out", "-t", " 42"}).maxCompTime, 42);
    // A base prefix is not recognised: 0x10 is 0 followed by other characters,
    // and a leading zero does not make a number octal.
    EXPECT_EQ(parseFilled({"in", "out", "-i", "0x10"}).maxIter, 0);
    EXPECT_EQ(parseFilled({"in", "out", "-i", "010"}).maxIter, 10);
}

TEST(CommandLine, AValueIsTakenVerbatimEvenWhenItLooksLikeAnOption)
{
    // "-s" is the value of -i (giving 0); "5" then stands where a name belongs.
    RunSettings s = sentinelSettings();
    EXPECT_EQ(parse({"in", "out", "-i", "-s", "5"}, s), ParseStatus::BadOption);
    expectUnchanged(s);

    const RunSettings t = parseFilled({"in", "out", "-i", "-s", "-s", "6"});
    EXPECT_EQ(t.maxIter, 0);
    EXPECT_EQ(t.seed, 6);
}

// ---------------------------------------------------------------------------
// Command lines that are refused

TEST(CommandLine, FewerThanTwoFileNamesAreTooFewArguments)
{
    RunSettings s = sentinelSettings();
    EXPECT_EQ(parse({}, s), ParseStatus::TooFewArguments);
    expectUnchanged(s);
    EXPECT_EQ(parse({"genotypes.txt"}, s), ParseStatus::TooFewArguments);
    expectUnchanged(s);

    const char* onlyProgram[] = {"velmora"};
    EXPECT_EQ(parseOptions(1, onlyProgram, s), ParseStatus::TooFewArguments);
    expectUnchanged(s);
}

TEST(CommandLine, HelpAsTheFirstArgumentIsAHelpRequest)
{
    for (const char* help : {"-h", "--help"}) {
        SCOPED_TRACE(help);
        RunSettings s = sentinelSettings();
        EXPECT_EQ(parse({help}, s), ParseStatus::HelpRequested);
        expectUnchanged(s);
        EXPECT_EQ(parse({help, "out.txt"}, s), ParseStatus::HelpRequested);
        expectUnchanged(s);
        EXPECT_EQ(parse({help, "out.txt", "-i", "3"}, s), ParseStatus::HelpRequested);
        expectUnchanged(s);
    }
}

TEST(CommandLine, HelpElsewhereIsNotAHelpRequest)
{
    // In the second position it is the output file name.
    const RunSettings s = parseFilled({"in", "-h"});
    EXPECT_EQ(s.outputFileName, "-h");

    // In an option position it is an unknown option.
    RunSettings t = sentinelSettings();
    EXPECT_EQ(parse({"in", "out", "-h"}, t), ParseStatus::BadOption);
    EXPECT_EQ(parse({"in", "out", "--help", "1"}, t), ParseStatus::BadOption);
    expectUnchanged(t);
}

TEST(CommandLine, UnknownOptionNamesAreRefused)
{
    // Names are compared exactly, case-sensitively, as whole arguments.
    const std::vector<std::vector<std::string>> lines = {
        {"in", "out", "-x", "5"},
        {"in", "out", "-T", "5"},
        {"in", "out", "-tt", "5"},
        {"in", "out", "-t5"},
        {"in", "out", "t", "5"},
        {"in", "out", "--seed", "5"},
        {"in", "out", "", "5"},
        {"in", "out", "-i", "3", "extra", "4"},
        {"in", "out", "-i", "3", "-s", "2", "-q", "1"},
    };
    for (const auto& line : lines) {
        RunSettings s = sentinelSettings();
        EXPECT_EQ(parse(line, s), ParseStatus::BadOption) << "option " << line[2];
        expectUnchanged(s);
    }
}

TEST(CommandLine, AnOptionWithoutValueIsRefused)
{
    for (const char* name : {"-t", "-i", "-s", "-n"}) {
        SCOPED_TRACE(name);
        RunSettings s = sentinelSettings();
        EXPECT_EQ(parse({"in", "out", name}, s), ParseStatus::BadOption);
        expectUnchanged(s);
        EXPECT_EQ(parse({"in", "out", "-i", "3", name}, s), ParseStatus::BadOption);
        expectUnchanged(s);
    }
}

// ---------------------------------------------------------------------------
// Option value conversion

TEST(OptionValue, ReadsAnOptionallySignedDecimalPrefix)
{
    EXPECT_EQ(parseOptionValue("0"), 0);
    EXPECT_EQ(parseOptionValue("30"), 30);
    EXPECT_EQ(parseOptionValue("-5"), -5);
    EXPECT_EQ(parseOptionValue("+7"), 7);
    EXPECT_EQ(parseOptionValue("007"), 7);
    EXPECT_EQ(parseOptionValue("-0012"), -12);
    EXPECT_EQ(parseOptionValue("12abc"), 12);
    EXPECT_EQ(parseOptionValue("3.9"), 3);
    EXPECT_EQ(parseOptionValue("4 5"), 4);
    EXPECT_EQ(parseOptionValue("2147483647"), INT_MAX);
    EXPECT_EQ(parseOptionValue("-2147483648"), INT_MIN);
}

TEST(OptionValue, SkipsLeadingWhiteSpaceOnly)
{
    EXPECT_EQ(parseOptionValue("  42"), 42);
    EXPECT_EQ(parseOptionValue("\t\n -8"), -8);
    EXPECT_EQ(parseOptionValue("- 8"), 0);
    EXPECT_EQ(parseOptionValue("+-8"), 0);
}

TEST(OptionValue, NoDigitsGiveZero)
{
    EXPECT_EQ(parseOptionValue(""), 0);
    EXPECT_EQ(parseOptionValue("x"), 0);
    EXPECT_EQ(parseOptionValue("-"), 0);
    EXPECT_EQ(parseOptionValue("+"), 0);
    EXPECT_EQ(parseOptionValue("abc12"), 0);
    EXPECT_EQ(parseOptionValue("   "), 0);
}

TEST(OptionValue, NumbersBeyondTheIntRangeSaturate)
{
    EXPECT_EQ(parseOptionValue("2147483648"), INT_MAX);
    EXPECT_EQ(parseOptionValue("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(parseOptionValue("-2147483649"), INT_MIN);
    EXPECT_EQ(parseOptionValue("-99999999999999999999999"), INT_MIN);
    EXPECT_EQ(parseOptionValue("99999999999999999999999abc"), INT_MAX);
}

// ---------------------------------------------------------------------------
// Printed text

TEST(UsageText, IsPrintedByteForByte)
{
    testing::internal::CaptureStdout();
    printUsage();
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, kUsageText);
    // The -n option is accepted but not advertised.
    EXPECT_EQ(printed.find("-n"), std::string::npos);
}

TEST(StartLine, ShowsTheDefaults)
{
    RunSettings s;
    s.inputFilename = "in";
    s.outputFileName = "out";
    EXPECT_EQ(startLineOf(s), "Starting the computation with maxCompTime=NO, maxIter=30, seed=1\n");
}

TEST(StartLine, ShowsTheParsedSettings)
{
    EXPECT_EQ(startLineOf(parseFilled({"in", "out", "-t", "60", "-i", "100", "-s", "7"})),
              "Starting the computation with maxCompTime=60 sec., maxIter=100, seed=7\n");
    EXPECT_EQ(startLineOf(parseFilled({"in", "out"})),
              "Starting the computation with maxCompTime=NO, maxIter=30, seed=1\n");
}

TEST(StartLine, ZeroTimeMeansNoLimitAndNegativeTimesAreShownAsGiven)
{
    EXPECT_EQ(startLineOf(parseFilled({"in", "out", "-t", "0"})),
              "Starting the computation with maxCompTime=NO, maxIter=30, seed=1\n");
    EXPECT_EQ(startLineOf(parseFilled({"in", "out", "-t", "-5"})),
              "Starting the computation with maxCompTime=-5 sec., maxIter=30, seed=1\n");
    EXPECT_EQ(startLineOf(parseFilled({"in", "out", "-t", "1", "-i", "-2", "-s", "-9"})),
              "Starting the computation with maxCompTime=1 sec., maxIter=-2, seed=-9\n");
}

TEST(StartLine, DoesNotShowTheStallLimit)
{
    EXPECT_EQ(startLineOf(parseFilled({"in", "out", "-n", "3", "-i", "4"})),
              "Starting the computation with maxCompTime=NO, maxIter=4, seed=1\n");
}
