// Whole windowed runs of the program: VCF and matrix inputs phased in
// windows, the same for every number of threads, the whole input as one
// instance with --window 0, and refusals that write nothing.

#include "phasing/phasing_support.hpp"
#include "run/run_support.hpp"
#include "vcf/vcf_test_support.hpp"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

using namespace run_support;
using namespace vcf_testing;
using namespace phasing_testing;

namespace {

class WindowedRun : public EndToEnd {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        population_ = mosaicPopulation(3, 40, 230, 6, 80);
        writeInput("in.vcf", vcfText(sampleNames(population_.genotypes.size()), recordsOf(population_.genotypes)));
    }

    // The phased genotypes of a VCF the program wrote (its GT columns), and
    // its data lines, which do not hold the command line.
    std::vector<SamplePhase> phasesOf(const std::string& vcf, std::string* records = nullptr)
    {
        std::vector<SamplePhase> phases(population_.genotypes.size());
        for (const std::string& line : splitLines(readWholeFile(inWork(vcf)))) {
            if (line.empty() || line[0] == '#') continue;
            if (records != nullptr) *records += line + "\n";
            std::size_t field = 0;
            std::size_t at = 0;
            for (std::size_t i = 0; i < 9; ++i) at = line.find('\t', at) + 1;
            for (; field < phases.size(); ++field, at += 4) {
                EXPECT_EQ(line[at + 1], '|') << line;
                phases[field].first += line[at];
                phases[field].second += line[at + 2];
            }
        }
        return phases;
    }

    Population population_;
};

TEST_F(WindowedRun, AVcfIsPhasedInWindowsTheSameWayOnOneTwoAndThreeThreads)
{
    std::string first;
    for (const char* threads : {"1", "2", "3"}) {
        SCOPED_TRACE(threads);
        const RunResult r = run({"in.vcf", "out.vcf", "--threads", threads, "--window", "30", "--report", "run.json"});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.err, "");
        const std::vector<std::string> lines = splitLines(r.out);
        EXPECT_EQ(lines[1], "Starting the computation with maxCompTime=NO, maxIter=5, seed=1");
        EXPECT_EQ(lines[2], std::string("Phasing 230 sites in 15 windows of 30 sites overlapping by 15, ") + threads
                                + " at a time");
        int progress = 0;
        for (const std::string& line : lines) {
            progress += std::regex_match(line, std::regex(R"(Windows phased: \d+ of 15 in \d+\.\d sec\.)"));
        }
        EXPECT_GE(progress, 2);
        EXPECT_LE(progress, 11) << "a line a tenth at most";
        EXPECT_NE(r.out.find("\nWindows phased: 15 of 15 in "), std::string::npos);
        EXPECT_NE(r.out.find("\nLigation: "), std::string::npos);
        EXPECT_NE(r.out.find("\nRefinement: 5 passes "), std::string::npos);

        std::string records;
        expectExplained(population_.genotypes, phasesOf("out.vcf", &records));
        EXPECT_EQ(splitLines(records).size(), 230u);
        if (first.empty()) first = records;
        EXPECT_EQ(records, first) << "the same phase whatever the threads";

        const nlohmann::json report = nlohmann::json::parse(readWholeFile(inWork("run.json")));
        EXPECT_EQ(report["phasing"]["window"], 30);
        EXPECT_EQ(report["phasing"]["windows"].size(), 15u);
        EXPECT_EQ(report["phasing"]["windows"][14]["last_site"], 230);
        EXPECT_EQ(report["phasing"]["samples"].size(), 40u);
        EXPECT_EQ(report["phasing"]["samples"][0]["sample"], "S1");
    }
}

TEST_F(WindowedRun, WindowZeroSolvesTheWholeVcfAsTheMatrixOfItsGenotypes)
{
    writeInput("in.txt", genotypeFileText(population_.genotypes));
    const Completed matrix = runCompleted("in.txt", {"-i", "3", "-s", "5"});
    const RunResult vcf = run({"in.vcf", "vcf.txt", "-i", "3", "-s", "5", "--window", "0"});
    ASSERT_EQ(vcf.exitCode, 0) << vcf.out;
    const Console console = parseConsole(vcf.out.substr(vcf.out.find('\n') + 1), "vcf.txt");
    EXPECT_EQ(console.iterations, matrix.console.iterations);
    EXPECT_EQ(readWholeFile(inWork("vcf.txt")), matrix.resultText);
}

TEST_F(WindowedRun, AMatrixIsPhasedInWindowsWhenAskedAndItsResultFileExplainsEveryGenotype)
{
    writeInput("in.txt", genotypeFileText(population_.genotypes));
    const RunResult r = run({"in.txt", "out.txt", "--window", "40", "--overlap", "10", "--refine", "0"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Phasing 230 sites in 8 windows of 40 sites overlapping by 10, 1 at a time\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Refinement"), std::string::npos);
    checkResultFile(readWholeFile(inWork("out.txt")), population_.genotypes);
}

TEST_F(WindowedRun, AWindowedVcfRunWritesTheResultFileOfItsPhasesUnderHaplotypes)
{
    const RunResult r = run({"in.vcf", "out.vcf.gz", "--haplotypes", "res.txt"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const ResultFile result = checkResultFile(readWholeFile(inWork("res.txt")), population_.genotypes);
    EXPECT_LE(result.haplotypes.size(), 2 * population_.genotypes.size());
}

TEST_F(WindowedRun, AnOverlapThatLeavesAWindowNoSiteOfItsOwnIsRefusedAndNothingIsWritten)
{
    writeInput("out.vcf", "an earlier output\n");
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--overlap", "100"}, std::vector<std::string>{"--window", "20", "--overlap", "20"}}) {
        std::vector<std::string> arguments{"in.vcf", "out.vcf"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const RunResult r = run(arguments);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(std::regex_match(r.out, std::regex("Bad value for --overlap: '(100|20)'; it must be smaller than "
                                                       "the window \\((100|20) sites\\)\n")))
            << r.out;
    }
    EXPECT_EQ(readWholeFile(inWork("out.vcf")), "an earlier output\n");
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"in.vcf", "out.vcf"}));
}

#if !defined(VELMORA_ADDRESS_SANITIZER)
// (AddressSanitizer cannot run under an address-space limit.)
TEST_F(WindowedRun, ACohortTooLargeForTheMemoryIsRefusedBeforeTheWindowsWithItsEstimate)
{
    std::mt19937 rng(8);
    writeInput("big.vcf", vcfText(sampleNames(1500), recordsOf(testing_support::randomGenotypes(rng, 1500, 1500, 300))));
    RunningProgram program(kExecutable, {"big.vcf", "out.vcf"}, work_, {}, 40u << 20);
    EXPECT_EQ(program.finish(60), 1);
    const std::vector<std::string> lines = splitLines(program.console());
    ASSERT_EQ(lines.size(), 2u) << program.console();
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("The VCF file big.vcf is too large for this machine: its 1500 "
                                                      "samples of 1500 sites in chromosome 1, phased in windows of "
                                                      "100 sites, need about [0-9]+ MB of memory, more than the [0-9]+ "
                                                      "MB available \\(.*\\); choose a smaller region with --region "
                                                      "CHR:FROM-TO or fewer samples with --samples")))
        << lines[1];
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"big.vcf", "in.vcf"}));
}
#endif

} // namespace
