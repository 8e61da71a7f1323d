// The JSON report of a run (--report): a completed run, an interrupted one
// and a refused input.

#include "run/run_support.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace run_support;
using nlohmann::json;

namespace {

json readReport(const std::string& path)
{
    const std::string text = readWholeFile(path);
    EXPECT_FALSE(text.empty()) << path;
    return json::parse(text, nullptr, /*allow_exceptions=*/false);
}

// The fields every report has, whatever the ending.
void expectCommonFields(const json& report, const std::vector<std::string>& arguments, int exitStatus)
{
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(report["program"], "velmora");
    EXPECT_EQ(report["version"], VELMORA_VERSION);
    std::vector<std::string> commandLine{kExecutable};
    commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(report["command_line"], commandLine);
    EXPECT_EQ(report["exit_status"], exitStatus);
    EXPECT_GT(report["peak_memory_bytes"].get<long long>(), 0);
    for (const char* field : {"settings", "input", "iterations", "search_best_haplotypes", "improvement", "bound",
                              "result_haplotypes", "files_written", "phase_seconds", "interrupted",
                              "interrupt_signal", "error"}) {
        EXPECT_TRUE(report.contains(field)) << field;
    }
}

} // namespace

TEST_F(EndToEnd, TheReportOfACompletedRunMatchesTheConsoleAndTheResult)
{
    const std::string input = writeInput("g.txt", generatedInput(5, 30, 14, 8));
    const std::vector<std::string> arguments{input, "result.txt", "-i", "3", "-s", "9", "--bound", "--improve",
                                             "5",   "--report",  "run.json"};
    const RunResult r = run(arguments);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const json report = readReport(inWork("run.json"));
    expectCommonFields(report, arguments, 0);

    const Console console = parseConsole(r.out, "result.txt");
    const ResultFile result = checkResultFile(readWholeFile(inWork("result.txt")), readGenotypes(inWork(input)));
    EXPECT_EQ(report["iterations"], console.iterations);
    int smallest = INT32_MAX;
    for (const std::vector<int>& line : console.iterations)
        for (const int n : line) smallest = std::min(smallest, n);
    EXPECT_EQ(report["search_best_haplotypes"], smallest);
    EXPECT_EQ(report["result_haplotypes"], result.haplotypes.size());

    EXPECT_EQ(report["settings"]["seed"], 9);
    EXPECT_EQ(report["settings"]["max_iterations"], 3);
    EXPECT_EQ(report["settings"]["improve_seconds"], 5);
    EXPECT_EQ(report["settings"]["prove_seconds"], nullptr);
    EXPECT_EQ(report["input"]["format"], "matrix");
    EXPECT_EQ(report["input"]["genotypes"], 30);
    EXPECT_EQ(report["input"]["sites"], 14);
    EXPECT_EQ(report["improvement"]["start_haplotypes"], smallest);
    EXPECT_EQ(report["improvement"]["final_haplotypes"], result.haplotypes.size());
    EXPECT_LE(report["bound"]["lower_bound"].get<int>(), static_cast<int>(result.haplotypes.size()));
    EXPECT_EQ(report["bound"]["exact_check"], false);
    EXPECT_EQ(report["files_written"], (std::vector<std::string>{"result.txt", "run.json"}));
    for (const char* phase : {"read", "setup", "search", "analysis", "improvement", "bound", "write"})
        EXPECT_GE(report["phase_seconds"][phase].get<double>(), 0.0) << phase;
    EXPECT_EQ(report["interrupted"], false);
    EXPECT_EQ(report["error"], nullptr);
    EXPECT_NE(r.out.find("Report saved in the file run.json \n\n"), std::string::npos) << r.out;
}

TEST_F(EndToEnd, AnInterruptedRunAndARefusedInputLeaveAReportThatSaysWhy)
{
    const std::string input = writeInput("g.txt", kSmallInput);
    {
        SCOPED_TRACE("interrupted before any reconstruction");
        RunningProgram program(kExecutable, {input, "result.txt", "--report", "run.json"}, work_, {SIGINT});
        EXPECT_EQ(program.finish(60), 130);
        const json report = readReport(inWork("run.json"));
        expectCommonFields(report, {input, "result.txt", "--report", "run.json"}, 130);
        EXPECT_EQ(report["interrupted"], true);
        EXPECT_EQ(report["interrupt_signal"], "SIGINT");
        EXPECT_EQ(report["result_haplotypes"], nullptr);
        EXPECT_EQ(report["input"]["genotypes"], 3);
        EXPECT_NE(report["error"].get<std::string>().find("Interrupted by SIGINT"), std::string::npos);
    }
    {
        SCOPED_TRACE("refused input");
        const std::string bad = writeInput("bad.txt", "2 3\n012\n01\n");
        const std::vector<std::string> arguments{bad, "out.txt", "--report", "bad.json"};
        const RunResult r = run(arguments);
        EXPECT_EQ(r.exitCode, 1);
        const json report = readReport(inWork("bad.json"));
        expectCommonFields(report, arguments, 1);
        EXPECT_EQ(report["input"], nullptr);
        EXPECT_EQ(report["error"], "Error in the genotype file bad.txt: genotype 2 has 2 sites, not 3");
        EXPECT_EQ(report["files_written"], std::vector<std::string>{});
    }
    {
        SCOPED_TRACE("a report that cannot be made is said once");
        const RunResult r = run({"g.txt", "never.txt", "--report", "no/such/folder/r.json"});
        EXPECT_EQ(r.exitCode, 1);
        const std::string out = r.out;
        const auto first = out.find("no/such/folder/r.json");
        ASSERT_NE(first, std::string::npos);
        EXPECT_EQ(out.find("no/such/folder/r.json", first + 1), std::string::npos) << out;
    }
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"bad.json", "bad.txt", "g.txt", "run.json"}));
}
