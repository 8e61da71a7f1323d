// Runs the velmora program itself on small inputs and checks what it prints,
// its exit code and the result file it writes.

#include "run/run_settings.hpp"
#include "run/run_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace run_support;

// ---------------------------------------------------------------------------
// Completed runs

TEST_F(EndToEnd, TheShippedExampleGivesAValidReconstruction)
{
    const Completed c = runCompleted(kExampleInput, {"-i", "5", "-s", "3"});
    EXPECT_EQ(c.console.startLine, "Starting the computation with maxCompTime=NO, maxIter=5, seed=3");
    EXPECT_EQ(c.console.iterations.size(), 5u);
    EXPECT_EQ(c.result.pairs.size(), 40u);
    expectConsoleMatchesResult(c);
}

TEST_F(EndToEnd, GeneratedInputsGiveValidReconstructions)
{
    struct Case {
        unsigned seed;
        int count, length, pool;
    };
    const Case cases[] = {{1, 12, 10, 5}, {2, 25, 16, 8}, {3, 8, 6, 3}, {4, 30, 20, 12}, {5, 40, 8, 20}, {6, 16, 30, 4}};
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "generated input " << k.seed);
        const std::string input = writeInput("g" + std::to_string(k.seed) + ".txt",
                                             generatedInput(k.seed, k.count, k.length, k.pool));
        for (const char* seed : {"1", "17"}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed);
            const Completed c = runCompleted(input, {"-i", "3", "-s", seed, "-n", "4"});
            EXPECT_EQ(c.console.iterations.size(), 3u);
            expectConsoleMatchesResult(c);
        }
    }
}

TEST_F(EndToEnd, ManySeedsOnSmallInputsGiveValidReconstructions)
{
    for (unsigned input = 10; input < 16; ++input) {
        const std::string name = writeInput("small.txt", generatedInput(input, 6 + input % 5, 4 + input % 4, 3));
        for (int seed = 1; seed <= 5; ++seed) {
            SCOPED_TRACE(testing::Message() << "input " << input << ", seed " << seed);
            const Completed c = runCompleted(name, {"-i", "2", "-s", std::to_string(seed), "-n", "3"});
            expectConsoleMatchesResult(c);
        }
    }
}

TEST_F(EndToEnd, TinyInputsAreReconstructed)
{
    {
        SCOPED_TRACE("one heterozygous site");
        // Slot 0 takes '1' when its single open site is settled, so it becomes
        // haplotype 2 while it stays the first slot of the pair.
        const Completed c = runCompleted(writeInput("one.txt", "1 1\n2\n"), {"-i", "2"});
        EXPECT_EQ(c.resultText,
                  "BEGIN HAPLOTYPE_LIST\n"
                  "     1: 0\n"
                  "     2: 1\n"
                  "END HAPLOTYPE_LIST\n"
                  "\n"
                  "Genotypes and corresponding couples of haplotypes \n"
                  "(numbers refer to the list of haplotypes given above) \n"
                  "BEGIN BEST_RECONSTRUCTION_FOUND\n"
                  "     1: (2,1)\n"
                  "END BEST_RECONSTRUCTION_FOUND\n");
    }
    {
        SCOPED_TRACE("homozygous genotypes only");
        const Completed c = runCompleted(writeInput("hom.txt", "3 3\n010\n010\n010\n"), {"-i", "1"});
        EXPECT_EQ(c.resultText,
                  "BEGIN HAPLOTYPE_LIST\n"
                  "     1: 010\n"
                  "END HAPLOTYPE_LIST\n"
                  "\n"
                  "Genotypes and corresponding couples of haplotypes \n"
                  "(numbers refer to the list of haplotypes given above) \n"
                  "BEGIN BEST_RECONSTRUCTION_FOUND\n"
                  "     1: (1,1)\n"
                  "     2: (1,1)\n"
                  "     3: (1,1)\n"
                  "END BEST_RECONSTRUCTION_FOUND\n");
        expectConsoleMatchesResult(c);
    }
    {
        SCOPED_TRACE("three haplotypes for four genotypes");
        const Completed c = runCompleted(writeInput("ex.txt", "4 4\n0212\n2010\n0111\n0212\n"), {"-i", "3"});
        EXPECT_EQ(c.result.haplotypes.size(), 3u);
        expectConsoleMatchesResult(c);
    }
}

TEST_F(EndToEnd, AnInputWithUndeterminedSitesStillGivesAValidReconstruction)
{
    // Every genotype heterozygous at the same two sites leaves their phase open.
    const Completed c = runCompleted(writeInput("open.txt", "3 4\n2202\n2212\n2200\n"), {"-i", "3", "-s", "2"});
    expectConsoleMatchesResult(c);
    EXPECT_TRUE(c.result.symbolic) << c.resultText;

    const Completed twice = runCompleted(writeInput("same.txt", "2 3\n222\n222\n"), {"-i", "2", "-s", "5"});
    expectConsoleMatchesResult(twice);
    EXPECT_TRUE(twice.result.symbolic) << twice.resultText;
    EXPECT_EQ(twice.result.haplotypes.size(), 2u);
}

TEST_F(EndToEnd, TheSameInputSeedAndSettingsGiveTheSameRun)
{
    const std::string generated = writeInput("gen.txt", generatedInput(99, 30, 18, 9));
    for (const std::string& input : {kExampleInput, generated}) {
        SCOPED_TRACE(input);
        const Completed first = runCompleted(input, {"-i", "4", "-s", "12345", "-n", "6"});
        const Completed second = runCompleted(input, {"-i", "4", "-s", "12345", "-n", "6"});
        EXPECT_EQ(first.console.withoutTiming, second.console.withoutTiming);
        EXPECT_EQ(first.resultText, second.resultText);
        EXPECT_FALSE(first.resultText.empty());
    }
}

TEST_F(EndToEnd, LineEndsBlanksAndAByteOrderMarkChangeNothing)
{
    const std::string plain = generatedInput(21, 25, 14, 8);
    const auto lineEndsAs = [&](const std::string& lineEnd) {
        std::string text;
        for (const char c : plain) text += c == '\n' ? lineEnd : std::string(1, c);
        return text;
    };
    const Completed reference = runCompleted(writeInput("plain.txt", plain), {"-i", "3", "-s", "8"});
    const std::string variants[] = {
        lineEndsAs("\r\n"),                      // Windows line ends
        "\xEF\xBB\xBF" + lineEndsAs("\r\n"),      // and a byte-order mark
        lineEndsAs("\t"),                        // tabs only
        plain + "\n\n  \n\n",                    // trailing blank lines
        plain.substr(0, plain.size() - 1),       // no final line end
    };
    for (const std::string& text : variants) {
        SCOPED_TRACE(testing::PrintToString(text.substr(0, 12)));
        const Completed c = runCompleted(writeInput("variant.txt", text), {"-i", "3", "-s", "8"});
        EXPECT_EQ(c.console.withoutTiming, reference.console.withoutTiming);
        EXPECT_EQ(c.resultText, reference.resultText);
    }
}

TEST_F(EndToEnd, AStallLimitOfZeroLeavesOneNumberPerIteration)
{
    const std::string generated = writeInput("gen.txt", generatedInput(7, 20, 12, 6));
    for (const std::string& input : {kExampleInput, generated}) {
        SCOPED_TRACE(input);
        const Completed c = runCompleted(input, {"-n", "0", "-i", "6", "-s", "4"});
        ASSERT_EQ(c.console.iterations.size(), 6u);
        for (const std::vector<int>& numbers : c.console.iterations) EXPECT_EQ(numbers.size(), 1u);
        expectConsoleMatchesResult(c);
    }
}

TEST_F(EndToEnd, TheStartLineEchoesTheSettings)
{
    const std::string input = writeInput("ex.txt", kSmallInput);
    EXPECT_EQ(runCompleted(input, {"-t", "60", "-i", "2", "-s", "7"}).console.startLine,
              "Starting the computation with maxCompTime=60 sec., maxIter=2, seed=7");
    EXPECT_EQ(runCompleted(input, {"-i", "1", "-t", "0"}).console.startLine,
              "Starting the computation with maxCompTime=NO, maxIter=1, seed=1");
}

TEST_F(EndToEnd, ANegativeTimeLimitStillRunsTheFirstIteration)
{
    const std::string input = writeInput("ex.txt", kSmallInput);
    const Completed c = runCompleted(input, {"-t", "-5", "-i", "5"});
    EXPECT_EQ(c.console.startLine, "Starting the computation with maxCompTime=-5 sec., maxIter=5, seed=1");
    EXPECT_EQ(c.console.iterations.size(), 1u);
    expectConsoleMatchesResult(c);
}

TEST_F(EndToEnd, AnExistingResultFileIsReplaced)
{
    writeInput("result.txt", std::string(20000, '#') + "\n");
    const Completed c = runCompleted(writeInput("ex.txt", kSmallInput), {"-i", "2"});
    EXPECT_EQ(c.resultText.find('#'), std::string::npos);
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"ex.txt", "result.txt"}));
}

// ---------------------------------------------------------------------------
// Runs that end without a result

TEST_F(EndToEnd, NoIterationsWritesNoFile)
{
    const std::string input = writeInput("ex.txt", kSmallInput);
    for (const char* iterations : {"0", "-3", "x"}) {
        SCOPED_TRACE(iterations);
        const RunResult r = run({input, "result.txt", "-i", iterations});
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.find("Iter #"), std::string::npos) << r.out;
        EXPECT_EQ(workEntries(), (std::vector<std::string>{"ex.txt"}));
    }
}

TEST_F(EndToEnd, AFailingRunLeavesAnExistingResultFileUnchanged)
{
    const std::string old = "an earlier result\nthat must survive\n";
    writeInput("result.txt", old);
    const std::string good = writeInput("ex.txt", kSmallInput);
    const std::string bad = writeInput("bad.txt", "3 4\n0212\n201\n0111\n");
    const struct {
        const char* failure;
        std::vector<std::string> arguments;
        int exitCode;
    } cases[] = {
        {"no iterations", {good, "result.txt", "-i", "0"}, 1},
        {"a malformed input", {bad, "result.txt", "-i", "3"}, 1},
        {"a missing input", {"missing.txt", "result.txt"}, 1},
        {"a bad option", {good, "result.txt", "-q", "1"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        EXPECT_EQ(run(c.arguments).exitCode, c.exitCode);
        EXPECT_EQ(readWholeFile(inWork("result.txt")), old);
    }
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"bad.txt", "ex.txt", "result.txt"}));
}

TEST_F(EndToEnd, MalformedInputsArePrintedAsOneLineAndWriteNoFile)
{
    std::string tooMany = "16384 15\n";
    for (int i = 0; i < 16384; ++i) {
        std::string g(15, '0');
        for (int s = 0; s < 15; ++s) g[14 - s] = static_cast<char>('0' + ((i >> s) & 1));
        tooMany += g + "\n";
    }
    struct Case {
        std::string content;
        std::string fault;
    };
    const Case cases[] = {
        {"", "the number of genotypes is missing or not a number"},
        {"many 4\n0120\n", "the number of genotypes is missing or not a number"},
        {"3\n", "the number of sites is missing or not a number"},
        {"0 4\n", "the number of genotypes must be at least 1, not 0"},
        {"-2 4\n0120\n0120\n", "the number of genotypes must be at least 1, not -2"},
        {"3 0\n", "the number of sites must be at least 1, not 0"},
        {"3 -1\n", "the number of sites must be at least 1, not -1"},
        {"3 4\n0120\n2211\n", "it announces 3 genotypes but holds only 2"},
        {"3 4\n0120\n221\n0120\n", "genotype 2 has 3 sites, not 4"},
        {"3 4\n0120\n2211\n01201\n", "genotype 3 has more than 4 sites"},
        {"1 4\n0120" + std::string(1 << 20, '1') + "\n", "genotype 1 has more than 4 sites"},
        {"2000000000 4\n0120\n0120\n0120\n", "it announces 2000000000 genotypes but holds only 3"},
        {"3 2000000000\n0120\n0120\n0120\n", "the number of sites is 2000000000, more than the 32767 supported"},
        {std::string("\xFF\xFE" "3\0 \0" "4\0", 8), "it is UTF-16 text; save it as plain text (ASCII or UTF-8)"},
        {"2 4\n0120\n2a11\n", "genotype 2 has 'a' at site 2; sites must be '0', '1' or '2'"},
        {tooMany, "16384 distinct genotypes, more than the 16383 supported"},
    };
    const std::string earlier = "an earlier result\n";
    for (const Case& k : cases) {
        SCOPED_TRACE(k.fault);
        writeInput("bad.txt", k.content);
        const RunResult r = run({"bad.txt", "result.txt", "-i", "2"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "Error in the genotype file bad.txt: " + k.fault + "\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(workEntries(), (std::vector<std::string>{"bad.txt"}));

        // An earlier result file is left byte for byte as it was.
        writeInput("result.txt", earlier);
        EXPECT_EQ(run({"bad.txt", "result.txt", "-i", "2"}).exitCode, 1);
        EXPECT_EQ(readWholeFile(inWork("result.txt")), earlier);
        EXPECT_EQ(workEntries(), (std::vector<std::string>{"bad.txt", "result.txt"}));
        fs::remove(inWork("result.txt"));
    }
}

TEST_F(EndToEnd, AMissingInputIsReportedByTheNameAsTyped)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"no_such_genotypes.txt", "result.txt"},
          std::vector<std::string>{"./sub/../none.txt", "result.txt", "-i", "2"}}) {
        SCOPED_TRACE(arguments[0]);
        const RunResult r = run(arguments);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "Couldn't open the specified file: " + arguments[0] + "\n");
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(workEntries().empty());
    }
}

TEST_F(EndToEnd, AFolderAsInputCannotBeOpened)
{
    fs::create_directory(inWork("inputs"));
    const RunResult r = run({"inputs", "result.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Couldn't open the specified file: inputs\n");
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"inputs"}));
}

TEST_F(EndToEnd, AnOutputInAMissingFolderIsRefusedBeforeTheSearch)
{
    const std::string input = writeInput("ex.txt", kSmallInput);
    const RunResult r = run({input, "missing/result.txt", "-i", "2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("Iter #"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("missing/result.txt"), std::string::npos) << r.out;
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"ex.txt"}));
}

// ---------------------------------------------------------------------------
// Command lines that print the usage text

TEST_F(EndToEnd, TooFewArgumentsPrintTheUsageAndSucceed)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"genotypes.txt"}}) {
        SCOPED_TRACE(testing::Message() << arguments.size() << " arguments");
        expectUsage(run(arguments), 0);
    }
    EXPECT_TRUE(workEntries().empty());
}

TEST_F(EndToEnd, HelpAndVersionArePrintedAndSucceed)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-h"}, std::vector<std::string>{"--help", "result.txt"},
          std::vector<std::string>{"-h", "in.txt", "out.txt", "-i", "3"}}) {
        SCOPED_TRACE(arguments[0]);
        const RunResult r = run(arguments);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, helpText());
        EXPECT_EQ(r.err, "");
    }
    const RunResult version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("velmora ") + VELMORA_VERSION + "\n");
    EXPECT_TRUE(std::regex_match(version.out, std::regex("velmora [0-9]+\\.[0-9]+\\.[0-9]+\n")));
    EXPECT_TRUE(workEntries().empty());
}

TEST_F(EndToEnd, ABadOptionPrintsTheUsageAndFails)
{
    const std::string input = writeInput("ex.txt", kSmallInput);
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-x", "3"}, std::vector<std::string>{"-i"},
          std::vector<std::string>{"-i", "2", "-s"}, std::vector<std::string>{"-I", "2"}}) {
        SCOPED_TRACE(options[0]);
        std::vector<std::string> arguments{input, "result.txt"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        expectUsage(run(arguments), 2);
    }
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"ex.txt"}));
}

// ---------------------------------------------------------------------------
// Inputs beyond what the program may read or hold

TEST_F(EndToEnd, AnEndlessGenotypeIsRefusedWithoutReadingOn)
{
    // The genotype never ends: only a reader that stops one site past the
    // announced length comes back.
    RunningProgram program("sh",
                           {"-c", "(printf '2 4\\n0120\\n0'; tr '\\\\0' 1 </dev/zero) | " + shellQuote(kExecutable)
                                      + " /dev/stdin result.txt"},
                           work_);
    EXPECT_EQ(program.finish(60), 1);
    EXPECT_EQ(program.console(), "Error in the genotype file /dev/stdin: genotype 2 has more than 4 sites\n");
    EXPECT_TRUE(workEntries().empty());
}

#if defined(VELMORA_ADDRESS_SANITIZER)
// AddressSanitizer reserves terabytes of address space, so a run under an
// address-space limit cannot even start.
#define SKIP_UNDER_ADDRESS_LIMIT() GTEST_SKIP() << "needs an address-space limit, which the sanitizer cannot run under"
#else
#define SKIP_UNDER_ADDRESS_LIMIT() (void)0
#endif

TEST_F(EndToEnd, AnnouncedCountsAllocateNothingForTheirPromise)
{
    SKIP_UNDER_ADDRESS_LIMIT();
    writeInput("short.txt", "2000000000 4\n0120\n0120\n0120\n");
    writeInput("wide.txt", "3 2000000000\n0120\n0120\n0120\n");
    const struct {
        const char* file;
        const char* fault;
    } cases[] = {
        {"short.txt", "it announces 2000000000 genotypes but holds only 3"},
        {"wide.txt", "the number of sites is 2000000000, more than the 32767 supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        // 64 MB of address space: far too little for what the counts promise.
        RunningProgram program(kExecutable, {c.file, "result.txt"}, work_, {}, 64u << 20);
        EXPECT_EQ(program.finish(60), 1);
        EXPECT_EQ(program.console(), std::string("Error in the genotype file ") + c.file + ": " + c.fault + "\n");
    }
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"short.txt", "wide.txt"}));
}

TEST_F(EndToEnd, AnInputTooLargeForTheMemoryLimitIsRefusedBeforeTheSearch)
{
    SKIP_UNDER_ADDRESS_LIMIT();
    // 3000 distinct genotypes of 2000 sites need about 160 MB.
    const std::string input = writeInput("big.txt", generatedInput(4, 3000, 2000, 3000));
    const std::string earlier = "an earlier result\n";
    writeInput("result.txt", earlier);
    RunningProgram program(kExecutable, {input, "result.txt"}, work_, {}, 100u << 20);
    EXPECT_EQ(program.finish(60), 1);
    EXPECT_TRUE(std::regex_match(
        program.console(),
        std::regex("The genotype file big.txt is too large for this machine: its [0-9]+ distinct genotypes of 2000 "
                   "sites need about 1[0-9]{2} MB of memory, more than the 100 MB available \\(the address-space "
                   "limit \\(ulimit -v\\)\\)\n")))
        << program.console();
    EXPECT_EQ(readWholeFile(inWork("result.txt")), earlier);
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"big.txt", "result.txt"}));
}
