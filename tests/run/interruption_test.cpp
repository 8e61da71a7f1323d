// Interrupts: the handlers on their own, in a child process, and the velmora
// program stopped by SIGINT and SIGTERM while it runs.

#include "run/interruption.hpp"

#include "run/run_support.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <regex>
#include <string>
#include <vector>

using namespace run_support;
using testing_support::inChild;

namespace {

// True once the console shows a count after "Iter # 1 ... ": the first
// attempt of the run has finished.
bool anAttemptFinished(const std::string& console)
{
    const std::size_t start = console.find("Iter # 1 ... ");
    return start != std::string::npos && console.find(". ", start + 13) != std::string::npos;
}

class Interrupts : public EndToEnd {
protected:
    RunningProgram start(const std::vector<std::string>& arguments, const std::vector<int>& pending = {})
    {
        return RunningProgram(kExecutable, arguments, work_, pending);
    }

    // An input on which one attempt takes a while, and options that would
    // keep the search going for hours.
    std::string longRunInput() { return writeInput("long.txt", generatedInput(11, 900, 60, 120)); }
    const std::vector<std::string> kEndless{"-i", "1000000", "-n", "1000000"};
};

} // namespace

// ---------------------------------------------------------------------------
// The handlers

TEST(InterruptHandlers, TheFirstSignalIsOnlyNoted)
{
    EXPECT_EQ(inChild([] {
                  installInterruptHandlers();
                  if (interruptSignal() != 0) return 2;
                  raise(SIGTERM);
                  return interruptSignal() == SIGTERM ? 0 : 3;
              }),
              0);
}

TEST(InterruptHandlers, ASecondSignalRemovesTheTemporaryFileAndExitsAtOnce)
{
    testing_support::TemporaryFolder folder("velmora_signal");
    const std::string temporary = folder.write("result.txt.tmpABCDEF", "half a result");
    const std::string earlier = folder.write("result.txt", "an earlier result");
    const int code = inChild([&] {
        installInterruptHandlers();
        {
            const InterruptBlock block;
            registerTemporaryFile(temporary);
        }
        raise(SIGINT);
        raise(SIGINT);
        return 99;  // never reached
    });
    EXPECT_EQ(code, 128 + SIGINT);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"result.txt"});
    EXPECT_EQ(readWholeFile(earlier), "an earlier result");
}

TEST(InterruptHandlers, ASignalWaitsForTheEndOfABlock)
{
    EXPECT_EQ(inChild([] {
                  installInterruptHandlers();
                  {
                      const InterruptBlock block;
                      raise(SIGINT);
                      if (interruptSignal() != 0) return 2;
                  }
                  return interruptSignal() == SIGINT ? 0 : 3;
              }),
              0);
}

TEST(InterruptHandlers, SignalsBlockedOrIgnoredAtTheStart)
{
    // A signal blocked and pending when the handlers come is handled then.
    EXPECT_EQ(inChild([] {
                  raiseWhileBlocked({SIGINT});
                  installInterruptHandlers();
                  return interruptSignal() == SIGINT ? 0 : 2;
              }),
              0);
    // An ignored signal stays ignored, as a shell's background job expects.
    EXPECT_EQ(inChild([] {
                  std::signal(SIGINT, SIG_IGN);
                  installInterruptHandlers();
                  raise(SIGINT);
                  return interruptSignal() == 0 ? 0 : 2;
              }),
              0);
}

// ---------------------------------------------------------------------------
// The program interrupted

TEST_F(Interrupts, AnInterruptDuringTheSearchSavesTheBestReconstructionSoFar)
{
    const std::string input = longRunInput();
    for (const int s : {SIGINT, SIGTERM}) {
        const std::string name = s == SIGINT ? "SIGINT" : "SIGTERM";
        SCOPED_TRACE(name);
        writeInput("result.txt", "an earlier result\n");
        RunningProgram program = start({input, "result.txt", "-s", "7", kEndless[0], kEndless[1], kEndless[2], kEndless[3]});
        ASSERT_TRUE(program.readUntil(anAttemptFinished, 120)) << program.console();
        program.signal(s);
        EXPECT_EQ(program.finish(120), 128 + s) << program.console();

        const Console console = parseConsole(program.console(), "result.txt");
        EXPECT_EQ(console.interruption, "Interrupted by " + name + ": saving the best reconstruction found so far.");
        ASSERT_EQ(console.iterations.size(), 1u) << program.console();
        const ResultFile result = checkResultFile(readWholeFile(inWork("result.txt")), readGenotypes(inWork(input)));
        const std::vector<int>& counts = console.iterations[0];
        ASSERT_FALSE(counts.empty());
        EXPECT_EQ(static_cast<int>(result.haplotypes.size()), counts.back());
        EXPECT_EQ(workEntries(), (std::vector<std::string>{"long.txt", "result.txt"}));
    }
}

TEST_F(Interrupts, AnInterruptWhileTheWindowsAreSolvedWritesNothing)
{
    const std::string input = longRunInput();
    const std::string earlier = "an earlier result\n";
    writeInput("result.txt", earlier);
    RunningProgram program =
        start({input, "result.txt", "--window", "20", kEndless[0], kEndless[1], kEndless[2], kEndless[3]});
    ASSERT_TRUE(program.readUntil([](const std::string& c) { return c.find("Phasing 60 sites") != std::string::npos; },
                                  120))
        << program.console();
    program.signal(SIGINT);
    EXPECT_EQ(program.finish(120), 128 + SIGINT) << program.console();
    const std::vector<std::string> lines = splitLines(program.console());
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex("Interrupted by SIGINT after [0-4] of 5 windows; no output "
                                                          "file was written\\.")))
        << program.console();
    EXPECT_EQ(readWholeFile(inWork("result.txt")), earlier);
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"long.txt", "result.txt"}));
}

TEST_F(Interrupts, AnInterruptBeforeAnyAttemptFinishedWritesNothing)
{
    const std::string input = writeInput("ex.txt", kSmallInput);
    const std::string earlier = "an earlier result\nthat must survive\n";
    writeInput("result.txt", earlier);
    for (const int s : {SIGINT, SIGTERM}) {
        const std::string name = s == SIGINT ? "SIGINT" : "SIGTERM";
        SCOPED_TRACE(name);
        RunningProgram program = start({input, "result.txt"}, {s});
        EXPECT_EQ(program.finish(60), 128 + s) << program.console();
        EXPECT_EQ(program.console(),
                  "Starting the computation with maxCompTime=NO, maxIter=30, seed=1\n"
                  "Interrupted by " + name + " before any reconstruction was found; no output file was written.\n");
        EXPECT_EQ(readWholeFile(inWork("result.txt")), earlier);
        EXPECT_EQ(workEntries(), (std::vector<std::string>{"ex.txt", "result.txt"}));
    }
}

TEST_F(Interrupts, ASecondInterruptEndsTheRunAtOnceAndKeepsTheEarlierFile)
{
    const std::string earlier = "an earlier result\n";
    writeInput("result.txt", earlier);

    // The code is that of whichever signal the kernel hands over second.
    const auto endedBySecondSignal = [](int code) { return code == 128 + SIGINT || code == 128 + SIGTERM; };

    // Both signals come before the search starts.
    const std::string small = writeInput("ex.txt", kSmallInput);
    RunningProgram early = start({small, "result.txt"}, {SIGINT, SIGTERM});
    EXPECT_PRED1(endedBySecondSignal, early.finish(60)) << early.console();
    EXPECT_NE(early.console().find("\nInterrupted again: stopped at once; no output file was written.\n"),
              std::string::npos)
        << early.console();
    EXPECT_EQ(readWholeFile(inWork("result.txt")), earlier);

    // Both come during an attempt: the run does not wait for its end.
    const std::string input = longRunInput();
    RunningProgram running = start({input, "result.txt", kEndless[0], kEndless[1], kEndless[2], kEndless[3]});
    ASSERT_TRUE(running.readUntil(anAttemptFinished, 120)) << running.console();
    running.signal(SIGINT);
    running.signal(SIGTERM);
    EXPECT_PRED1(endedBySecondSignal, running.finish(120)) << running.console();
    EXPECT_EQ(readWholeFile(inWork("result.txt")), earlier);
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"ex.txt", "long.txt", "result.txt"}));
}
