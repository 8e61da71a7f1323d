// The --bound and --prove options of the velmora program: their console
// lines, the result files they leave, their refusals, and an interrupt
// during the exact check.

#include "output/reconstruction.hpp"
#include "run/run_support.hpp"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

using namespace run_support;

namespace {

// Eight genotypes (three distinct) that three haplotypes explain; a search
// of one attempt (-i 1 -n 0, seed 1) finds four.
const char* const kImprovableInput =
    "8 7\n0222221\n2211212\n0222221\n0222221\n2122122\n2211212\n2211212\n0222221\n";

bool isProofLine(const std::string& line)
{
    for (const char* prefix : {"Lower bound: ", "SAT call: ", "Exact check: ", "The exact check found ",
                               "Proven optimal: ", "Not proven optimal: "}) {
        if (line.rfind(prefix, 0) == 0) return true;
    }
    return std::regex_match(line, std::regex(R"(Interrupted by \w+: the exact check was cut short; .*)"));
}

// A console split into the lines of the proof phase and the others.
struct SplitConsole {
    std::vector<std::string> proof;
    std::string rest;
};

SplitConsole splitConsole(const std::string& out)
{
    SplitConsole split;
    for (const std::string& line : splitLines(out)) {
        if (isProofLine(line)) split.proof.push_back(line);
        else split.rest += line + "\n";
    }
    return split;
}

// The lines of the phase come as one block right before the closing lines,
// and end with the verdict; returns the verdict's numbers (lower bound, count).
std::pair<int, int> expectProofBlock(const std::string& out, const SplitConsole& split)
{
    EXPECT_FALSE(split.proof.empty()) << out;
    if (split.proof.empty()) return {-1, -1};
    std::string block;
    for (const std::string& line : split.proof) block += line + "\n";
    EXPECT_NE(out.find(block + "elapTime = "), std::string::npos) << out;
    EXPECT_TRUE(std::regex_match(split.proof.front(),
                                 std::regex(R"(Lower bound: \d+ haplotypes \(counting: \d+, clique: \d+, beyond the clique: \d+\) in \d+\.\d{3} sec\.)")))
        << split.proof.front();
    std::smatch m;
    const std::string& verdict = split.proof.back();
    if (std::regex_match(verdict, m, std::regex(R"(Proven optimal: (\d+) haplotypes)"))) {
        return {std::stoi(m[1]), std::stoi(m[1])};
    }
    EXPECT_TRUE(std::regex_match(verdict, m, std::regex(R"(Not proven optimal: between (\d+) and (\d+) haplotypes)")))
        << verdict;
    if (m.empty()) return {-1, -1};
    EXPECT_LT(std::stoi(m[1]), std::stoi(m[2]));
    return {std::stoi(m[1]), std::stoi(m[2])};
}

class ProveOption : public EndToEnd {};

} // namespace

TEST_F(ProveOption, BoundAndProveAddTheirLinesAndOtherwiseChangeNothing)
{
    struct Case {
        std::string input;
        std::vector<std::string> options;
    };
    const std::vector<Case> cases = {
        {kExampleInput, {}},
        {writeInput("small.txt", kSmallInput), {"-s", "3"}},
        {writeInput("pooled.txt", generatedInput(5, 40, 20, 12)), {"-i", "3"}},
        {writeInput("wide.txt", generatedInput(6, 25, 150, 10)), {"-i", "2", "-n", "3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const Completed plain = runCompleted(c.input, c.options);
        for (const std::vector<std::string>& extra :
             {std::vector<std::string>{"--bound"}, std::vector<std::string>{"--prove", "0"},
              std::vector<std::string>{"--prove", "30", "--bound"}}) {
            SCOPED_TRACE(extra[0]);
            std::vector<std::string> arguments{c.input, "result.txt"};
            arguments.insert(arguments.end(), c.options.begin(), c.options.end());
            arguments.insert(arguments.end(), extra.begin(), extra.end());
            const RunResult r = run(arguments);
            EXPECT_EQ(r.exitCode, 0) << r.out;
            EXPECT_EQ(r.err, "");
            const SplitConsole split = splitConsole(r.out);
            const auto [bound, count] = expectProofBlock(r.out, split);
            EXPECT_EQ(parseConsole(split.rest, "result.txt").withoutTiming, plain.console.withoutTiming);
            const std::string resultText = readWholeFile(inWork("result.txt"));
            const bool smaller = r.out.find("The exact check found ") != std::string::npos;
            EXPECT_LE(bound, count);
            if (smaller) {
                EXPECT_LT(count, static_cast<int>(plain.result.haplotypes.size()));
            } else {
                EXPECT_EQ(resultText, plain.resultText);
                EXPECT_EQ(count, static_cast<int>(plain.result.haplotypes.size()));
            }
            const bool proving = extra[0] == "--prove";
            EXPECT_EQ(std::count_if(split.proof.begin(), split.proof.end(),
                                    [](const std::string& l) { return l.rfind("Exact check: ", 0) == 0; }),
                      proving ? 1 : 0);
            if (proving) {
                EXPECT_EQ(bound, count) << "inputs this small are proven";
            }
        }
    }
}

TEST_F(ProveOption, AProofThatFindsFewerHaplotypesWritesThemWithEveryExplainingPair)
{
    const std::string input = writeInput("improvable.txt", kImprovableInput);
    const Completed searchOnly = runCompleted(input, {"-i", "1", "-n", "0"});
    ASSERT_EQ(searchOnly.result.haplotypes.size(), 4u);

    const RunResult r = run({input, "result.txt", "-i", "1", "-n", "0", "--prove", "10"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const SplitConsole split = splitConsole(r.out);
    EXPECT_EQ(expectProofBlock(r.out, split), std::make_pair(3, 3));
    EXPECT_NE(r.out.find("\nThe exact check found a reconstruction with 3 haplotypes, fewer than the search's 4.\n"
                         "Proven optimal: 3 haplotypes\n"),
              std::string::npos)
        << r.out;

    const std::vector<std::string> genotypes = readGenotypes(inWork(input));
    const ResultFile result = checkResultFile(readWholeFile(inWork("result.txt")), genotypes);
    EXPECT_FALSE(result.symbolic);
    ASSERT_EQ(result.haplotypes.size(), 3u);
    EXPECT_TRUE(std::is_sorted(result.haplotypes.begin(), result.haplotypes.end()));
    Reconstruction listed;
    listed.haplotypes = result.haplotypes;
    for (std::size_t j = 0; j < genotypes.size(); ++j) {
        std::vector<std::pair<int, int>> expected;
        for (const HaplotypePair& p : explainingPairs(listed, genotypes[j])) expected.emplace_back(p.first + 1, p.second + 1);
        EXPECT_EQ(result.pairs[j], expected) << "genotype " << j + 1;
    }
}

TEST_F(ProveOption, BadProveValuesAreRefusedInOneLine)
{
    const std::string input = writeInput("ex.txt", kSmallInput);
    struct Case {
        std::vector<std::string> options;
        std::string message;
    };
    const std::string takes = "; it takes whole seconds, 0 for no limit\n";
    const std::vector<Case> cases = {
        {{"--prove"}, "--prove needs a value: whole seconds, 0 for no limit\n"},
        {{"-i", "2", "--prove"}, "--prove needs a value: whole seconds, 0 for no limit\n"},
        {{"--prove", "-1"}, "Bad value for --prove: '-1'" + takes},
        {{"--prove", "ten"}, "Bad value for --prove: 'ten'" + takes},
        {{"--prove", "1.5"}, "Bad value for --prove: '1.5'" + takes},
        {{"--prove", "5s"}, "Bad value for --prove: '5s'" + takes},
        {{"--prove", ""}, "Bad value for --prove: ''" + takes},
        {{"--prove", " 5"}, "Bad value for --prove: ' 5'" + takes},
        {{"--prove", "2147483648"}, "Bad value for --prove: '2147483648'" + takes},
        {{"--bound", "--prove", "--bound"}, "Bad value for --prove: '--bound'" + takes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> arguments{input, "result.txt"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const RunResult r = run(arguments);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, c.message);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"ex.txt"}));
}

TEST_F(ProveOption, AnInterruptStopsTheExactCheckAtOnceAndSavesTheBestReconstruction)
{
    // Four hundred genotypes of ten sites from a pool of a hundred: the
    // search of one iteration takes a moment, the proof far longer.
    const std::string input = writeInput("hard.txt", generatedInput(3, 400, 10, 100));
    RunningProgram program(kExecutable, {input, "result.txt", "-i", "1", "--prove", "0"}, work_);
    ASSERT_TRUE(program.readUntil([](const std::string& c) { return c.find("\nSAT call: ") != std::string::npos; }, 120))
        << program.console();
    const auto signalled = std::chrono::steady_clock::now();
    program.signal(SIGINT);
    EXPECT_EQ(program.finish(60), 128 + SIGINT) << program.console();
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(10));

    const std::string& out = program.console();
    const SplitConsole split = splitConsole(out);
    const auto [bound, count] = expectProofBlock(out, split);
    EXPECT_LT(bound, count) << out;
    ASSERT_GE(split.proof.size(), 3u);
    EXPECT_EQ(split.proof[split.proof.size() - 2],
              "Interrupted by SIGINT: the exact check was cut short; saving the best reconstruction found.");
    const Console console = parseConsole(split.rest, "result.txt");
    const ResultFile result = checkResultFile(readWholeFile(inWork("result.txt")), readGenotypes(inWork(input)));
    EXPECT_EQ(static_cast<int>(result.haplotypes.size()), count);
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"hard.txt", "result.txt"}));
}
