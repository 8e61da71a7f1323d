// Runs on several threads: the same console lines and result file for every
// thread count, and interrupts and time limits as on one thread.

#include "data/memory_budget.hpp"
#include "run/run_support.hpp"

#include <gtest/gtest.h>

#include <signal.h>

#include <set>

#include <string>
#include <vector>

using namespace run_support;

namespace {

// The console without the line that names the thread count.
std::string withoutThreadLine(const std::string& console)
{
    std::string kept;
    for (const std::string& line : splitLines(console))
        if (line.rfind("Using ", 0) != 0) kept += line + "\n";
    return kept;
}

#if !defined(VELMORA_ADDRESS_SANITIZER)
int distinctCount(const std::vector<std::string>& genotypes)
{
    return static_cast<int>(std::set<std::string>(genotypes.begin(), genotypes.end()).size());
}
#endif

bool anAttemptFinished(const std::string& console)
{
    const std::size_t start = console.find("Iter # 1 ... ");
    return start != std::string::npos && console.find(". ", start + 13) != std::string::npos;
}

} // namespace

TEST_F(EndToEnd, EveryThreadCountGivesTheSameLinesAndResult)
{
    const std::string inputs[] = {writeInput("a.txt", generatedInput(31, 60, 16, 12)),
                                  writeInput("b.txt", generatedInput(32, 120, 30, 40)),
                                  writeInput("c.txt", "3 4\n2202\n2212\n2200\n")};
    for (const std::string& input : inputs) {
        for (const char* seed : {"1", "77"}) {
            SCOPED_TRACE(input + " seed " + seed);
            std::string firstConsole, firstResult;
            for (const char* threads : {"1", "2", "4"}) {
                SCOPED_TRACE(std::string("threads ") + threads);
                const Completed c = runCompleted(input, {"-i", "7", "-n", "5", "-s", seed, "--threads", threads});
                EXPECT_EQ(c.console.iterations.size(), 7u);
                expectConsoleMatchesResult(c);
                const std::string console = withoutThreadLine(c.console.withoutTiming);
                if (firstConsole.empty()) {
                    firstConsole = console;
                    firstResult = c.resultText;
                    EXPECT_EQ(c.console.setupLines, std::vector<std::string>{"Using 1 thread"});
                    continue;
                }
                EXPECT_EQ(console, firstConsole);
                EXPECT_EQ(c.resultText, firstResult);
            }
        }
    }
}

TEST_F(EndToEnd, ThreadsStopAtTheTimeLimitAndAtAnInterruptWithAValidResult)
{
    const std::string input = writeInput("long.txt", generatedInput(11, 900, 60, 120));
    {
        SCOPED_TRACE("time limit");
        const Completed c = runCompleted(input, {"-t", "1", "-i", "1000000", "--threads", "2"});
        EXPECT_GE(c.console.iterations.size(), 1u);
        EXPECT_LT(c.console.iterations.size(), 1000000u);
        expectConsoleMatchesResult(c);
    }
    {
        SCOPED_TRACE("interrupt");
        RunningProgram program(kExecutable, {input, "result.txt", "-i", "1000000", "-n", "1000000", "--threads", "2"},
                               work_);
        ASSERT_TRUE(program.readUntil(anAttemptFinished, 120)) << program.console();
        program.signal(SIGINT);
        EXPECT_EQ(program.finish(120), 128 + SIGINT) << program.console();
        const Console console = parseConsole(program.console(), "result.txt");
        EXPECT_EQ(console.interruption, "Interrupted by SIGINT: saving the best reconstruction found so far.");
        const ResultFile result = checkResultFile(readWholeFile(inWork("result.txt")), readGenotypes(inWork(input)));
        EXPECT_FALSE(result.haplotypes.empty());
    }
}

#if !defined(VELMORA_ADDRESS_SANITIZER)
// AddressSanitizer cannot run under an address-space limit.
TEST_F(EndToEnd, AMemoryLimitCutsTheWorkersDownToThoseThatFit)
{
    const std::string input = writeInput("big.txt", generatedInput(8, 2000, 500, 100));
    const std::vector<std::string> genotypes = readGenotypes(inWork("big.txt"));
    const std::uint64_t limit = std::uint64_t{90} << 20;
    const RunMemory memory = splitRunMemory(genotypes.size(), distinctCount(genotypes), 500);
    const int fit = searchesThatFit(memory, limit, 8);
    ASSERT_GE(fit, 1);
    ASSERT_LT(fit, 8);
    RunningProgram program(kExecutable, {input, "result.txt", "-i", "2", "-n", "1", "--threads", "8"}, work_, {}, limit);
    EXPECT_EQ(program.finish(120), 0) << program.console();
    const Console console = parseConsole(program.console(), "result.txt");
    ASSERT_EQ(console.setupLines.size(), 1u) << program.console();
    EXPECT_EQ(console.setupLines[0], "Using " + std::to_string(fit) + " thread" + (fit == 1 ? "" : "s")
                                         + " instead of 8: each needs about " + describeBytes(memory.perSearch)
                                         + " of memory, and 90 MB is available (the address-space limit (ulimit -v))");
    checkResultFile(readWholeFile(inWork("result.txt")), genotypes);
}
#endif
