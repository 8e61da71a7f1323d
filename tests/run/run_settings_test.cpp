#include "run/run_settings.hpp"

#include "test_support.hpp"

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

// Parses `option value`, which must be refused with "Bad value for OPTION:
// 'VALUE'; REASON" and leave the record as it was; returns the record.
RunSettings expectValueRefused(const char* option, const char* value, const std::string& reason)
{
    SCOPED_TRACE(std::string(option) + " " + value);
    RunSettings s = sentinelSettings();
    std::vector<const char*> argv{"velmora", "in", "out", option, value};
    std::string error;
    EXPECT_EQ(parseOptions(static_cast<int>(argv.size()), argv.data(), s, &error), ParseStatus::BadValue);
    EXPECT_EQ(error, "Bad value for " + std::string(option) + ": '" + value + "'; " + reason);
    expectUnchanged(s);
    return s;
}

// Parses a command line that must give `status` instead of Filled, and checks
// that the record it was given keeps every value.
void expectNotFilled(const std::vector<std::string>& arguments, ParseStatus status)
{
    RunSettings s = sentinelSettings();
    EXPECT_EQ(parse(arguments, s), status);
    expectUnchanged(s);
}

// The numeric settings, every one of them written out by the test.
struct Numbers {
    int maxCompTime;
    int maxIter;
    int seed;
    int maxStall;
};

void expectNumbers(const RunSettings& s, const Numbers& expected)
{
    EXPECT_EQ(s.maxCompTime, expected.maxCompTime);
    EXPECT_EQ(s.maxIter, expected.maxIter);
    EXPECT_EQ(s.seed, expected.seed);
    EXPECT_EQ(s.maxStall, expected.maxStall);
}

std::string startLineOf(const RunSettings& settings)
{
    testing::internal::CaptureStdout();
    printStartLine(settings);
    return testing::internal::GetCapturedStdout();
}

} // namespace

// ---------------------------------------------------------------------------
// File names and defaults

TEST(CommandLine, TwoFileNamesAloneGiveTheDefaultsWhateverTheRecordHeld)
{
    // Neither the values of another record nor those of an earlier parse may
    // leak into the result.
    RunSettings earlier;
    ASSERT_EQ(parse({"a", "b", "-t", "9", "-i", "8", "-s", "7", "-n", "6"}, earlier), ParseStatus::Filled);
    for (const RunSettings& before : {sentinelSettings(), earlier}) {
        SCOPED_TRACE("record of " + before.inputFilename);
        RunSettings s = before;
        ASSERT_EQ(parse({"genotypes.txt", "result.txt"}, s), ParseStatus::Filled);
        EXPECT_EQ(s.inputFilename, "genotypes.txt");
        EXPECT_EQ(s.outputFileName, "result.txt");
        expectNumbers(s, {.maxCompTime = 0, .maxIter = 30, .seed = 1, .maxStall = 15});
    }
}

TEST(CommandLine, TheFirstTwoArgumentsAreFileNamesWhateverTheyLookLike)
{
    const RunSettings s = parseFilled({"-t", "-i", "-s", "5"});
    EXPECT_EQ(s.inputFilename, "-t");
    EXPECT_EQ(s.outputFileName, "-i");
    expectNumbers(s, {.maxCompTime = 0, .maxIter = 30, .seed = 5, .maxStall = 15});
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
    const struct {
        std::vector<std::string> arguments;
        Numbers expected;
    } cases[] = {
        {{"in", "out", "-t", "60", "-i", "100", "-s", "7", "-n", "4"},
         {.maxCompTime = 60, .maxIter = 100, .seed = 7, .maxStall = 4}},
        {{"in", "out", "-t", "12"}, {.maxCompTime = 12, .maxIter = 30, .seed = 1, .maxStall = 15}},
        {{"in", "out", "-n", "0"}, {.maxCompTime = 0, .maxIter = 30, .seed = 1, .maxStall = 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[2] + " " + c.arguments[3]);
        expectNumbers(parseFilled(c.arguments), c.expected);
    }
}

TEST(CommandLine, OptionsMayComeInAnyOrder)
{
    expectNumbers(parseFilled({"in", "out", "-n", "2", "-s", "99", "-t", "5", "-i", "17"}),
                  {.maxCompTime = 5, .maxIter = 17, .seed = 99, .maxStall = 2});
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
    expectNumbers(parseFilled({"in", "out", "-t", "-5", "-i", "0", "-s", "-3", "-n", "-1"}),
                  {.maxCompTime = -5, .maxIter = 0, .seed = -3, .maxStall = -1});
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
    expectNotFilled({"in", "out", "-i", "-s", "5"}, ParseStatus::BadOption);

    const RunSettings t = parseFilled({"in", "out", "-i", "-s", "-s", "6"});
    EXPECT_EQ(t.maxIter, 0);
    EXPECT_EQ(t.seed, 6);
}

// ---------------------------------------------------------------------------
// Command lines that are refused

TEST(CommandLine, FewerThanTwoFileNamesAreTooFewArguments)
{
    expectNotFilled({}, ParseStatus::TooFewArguments);
    expectNotFilled({"genotypes.txt"}, ParseStatus::TooFewArguments);

    RunSettings s = sentinelSettings();
    const char* onlyProgram[] = {"velmora"};
    EXPECT_EQ(parseOptions(1, onlyProgram, s), ParseStatus::TooFewArguments);
    expectUnchanged(s);
}

TEST(CommandLine, HelpAsTheFirstArgumentIsAHelpRequest)
{
    for (const char* help : {"-h", "--help"}) {
        SCOPED_TRACE(help);
        expectNotFilled({help}, ParseStatus::HelpRequested);
        expectNotFilled({help, "out.txt"}, ParseStatus::HelpRequested);
        expectNotFilled({help, "out.txt", "-i", "3"}, ParseStatus::HelpRequested);
    }
}

TEST(CommandLine, HelpElsewhereIsNotAHelpRequest)
{
    // In the second position it is the output file name.
    const RunSettings s = parseFilled({"in", "-h"});
    EXPECT_EQ(s.outputFileName, "-h");

    // In an option position it is an unknown option.
    expectNotFilled({"in", "out", "-h"}, ParseStatus::BadOption);
    expectNotFilled({"in", "out", "--help", "1"}, ParseStatus::BadOption);
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
        SCOPED_TRACE("option " + line[2]);
        expectNotFilled(line, ParseStatus::BadOption);
    }
}

TEST(CommandLine, AnOptionWithoutValueIsRefused)
{
    for (const char* name : {"-t", "-i", "-s", "-n"}) {
        SCOPED_TRACE(name);
        expectNotFilled({"in", "out", name}, ParseStatus::BadOption);
        expectNotFilled({"in", "out", "-i", "3", name}, ParseStatus::BadOption);
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
    EXPECT_EQ(printed, testing_support::kUsageText);
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

// ---------------------------------------------------------------------------
// The exact check's options

TEST(CommandLine, BoundIsAFlagAndProveTakesWholeSeconds)
{
    struct Case {
        std::vector<std::string> arguments;
        bool bound, prove;
        int seconds, maxIter;
    };
    const Case cases[] = {
        {{"in", "out"}, false, false, 0, 30},
        {{"in", "out", "--bound"}, true, false, 0, 30},
        {{"in", "out", "--prove", "0"}, false, true, 0, 30},
        {{"in", "out", "--prove", "60", "-i", "4"}, false, true, 60, 4},
        {{"in", "out", "-i", "4", "--bound", "--prove", "007", "--bound"}, true, true, 7, 4},
        {{"in", "out", "--prove", "5", "--prove", "2147483647"}, false, true, 2147483647, 30},
        {{"in", "out", "-i", "--bound"}, false, false, 0, 0},  // a value is taken verbatim
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const RunSettings s = parseFilled(c.arguments);
        EXPECT_EQ(s.bound, c.bound);
        EXPECT_EQ(s.prove, c.prove);
        EXPECT_EQ(s.proveSeconds, c.seconds);
        EXPECT_EQ(s.maxIter, c.maxIter);
    }
}

TEST(CommandLine, ABadProveValueIsRefusedWithAMessage)
{
    for (const char* value : {"-1", "+5", "1.5", "x", "", "2147483648", "99999999999999999999", " 3", "3 "}) {
        expectValueRefused("--prove", value, "it takes whole seconds, 0 for no limit");
    }
    RunSettings s = sentinelSettings();
    std::vector<const char*> argv{"velmora", "in", "out", "--prove"};
    std::string error;
    EXPECT_EQ(parseOptions(static_cast<int>(argv.size()), argv.data(), s, &error), ParseStatus::BadValue);
    EXPECT_EQ(error, "--prove needs a value: whole seconds, 0 for no limit");
    expectUnchanged(s);
}

TEST(CommandLine, TemplatesTakeAWholeNumberFrom8To4096)
{
    EXPECT_EQ(parseFilled({"in", "out"}).refineTemplates, 256);
    for (const auto& [value, templates] : std::vector<std::pair<const char*, int>>{{"8", 8}, {"1024", 1024}, {"4096", 4096}}) {
        EXPECT_EQ(parseFilled({"in", "out", "--templates", value}).refineTemplates, templates) << value;
    }
    for (const char* value : {"7", "4097", "0", "-256", "x", "512 "}) {
        EXPECT_EQ(expectValueRefused("--templates", value, "it takes a whole number from 8 to 4096").refineTemplates, 256);
    }
}
