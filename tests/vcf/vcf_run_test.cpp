// Whole runs on VCF and BCF inputs: the phased output read back by
// bcftools, the same run as on a matrix file, and refusals that write
// nothing.

#include "vcf/vcf_test_support.hpp"

#include "output/reconstruction.hpp"
#include "run/run_support.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace run_support;
using namespace vcf_testing;

namespace {

class VcfRun : public EndToEnd {
protected:
    // Runs a shell command in the work folder; its output goes to `out`.
    RunResult shell(const std::string& command)
    {
        const std::string full = "cd " + shellQuote(work_) + " && (" + command + ") >"
                                 + shellQuote(root_.path("stdout")) + " 2>" + shellQuote(root_.path("stderr"));
        const int status = std::system(full.c_str());
        RunResult result;
        if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
        result.out = readWholeFile(root_.path("stdout"));
        result.err = readWholeFile(root_.path("stderr"));
        return result;
    }

    // bcftools on a file of the work folder, which must read it without a word.
    std::string bcftools(const std::string& arguments)
    {
        const RunResult r = shell("bcftools " + arguments);
        EXPECT_EQ(r.exitCode, 0) << arguments << ": " << r.err;
        EXPECT_EQ(r.err, "") << arguments;
        return r.out;
    }

    std::string writeVcf(const std::string& name, const std::vector<std::string>& genotypes)
    {
        return writeInput(name, vcfText(sampleNames(genotypes.size()), recordsOf(genotypes)));
    }

    // A completed run on a VCF input: its first line reports the input, the
    // rest is checked as any run's console.
    Console runOnVcf(const std::vector<std::string>& arguments, std::string& inputLine)
    {
        const RunResult r = run(arguments);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.err, "");
        const std::size_t end = r.out.find('\n');
        inputLine = r.out.substr(0, end);
        std::string rest = r.out.substr(end + 1);
        const std::string haplotypesLine = "Haplotypes saved in the file ";
        const std::size_t saved = rest.find(haplotypesLine);
        if (saved != std::string::npos) rest.erase(saved, rest.find('\n', saved) + 1 - saved);
        return parseConsole(rest, arguments[1]);
    }
};

std::vector<std::string> words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> all;
    for (std::string w; in >> w;) all.push_back(w);
    return all;
}

} // namespace

TEST_F(VcfRun, APhasedVcfExplainsEveryGenotypeWithTheResultFilesHaplotypes)
{
    std::mt19937 rng(12);
    const std::vector<std::string> genotypes = testing_support::randomGenotypes(rng, 24, 14, 7);
    const std::string vcf = writeVcf("in.vcf", genotypes);
    convertVcf(inWork(vcf), inWork("in.vcf.gz"), "wz", false);
    convertVcf(inWork(vcf), inWork("in.bcf"), "wb", false);
    const struct {
        const char* input;
        const char* output;
    } cases[] = {{"in.vcf", "out.vcf.gz"}, {"in.vcf.gz", "out.bcf"}, {"in.bcf", "out.vcf"}};
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.input) + " -> " + k.output);
        std::string inputLine;
        const Console console = runOnVcf({k.input, k.output, "-i", "3", "-s", "4", "--haplotypes", "res.txt"}, inputLine);
        EXPECT_EQ(inputLine, std::string(k.input == std::string("in.bcf") ? "BCF" : "VCF")
                                 + " input: 14 of 14 sites used in chromosome 1 (none skipped); 24 of 24 samples kept");
        const ResultFile result = checkResultFile(readWholeFile(inWork("res.txt")), genotypes);

        // bcftools reads it, indexes it when compressed, and finds the input's sites and samples.
        bcftools(std::string("view ") + k.output + " -o /dev/null");
        if (std::string(k.output) != "out.vcf") bcftools(std::string("index -f ") + k.output);
        EXPECT_EQ(words(bcftools(std::string("query -l ") + k.output)), sampleNames(genotypes.size()));
        const std::string header = bcftools(std::string("view -h ") + k.output);
        EXPECT_NE(header.find("\n##source=Velmora " VELMORA_VERSION "; " + kExecutable + " " + k.input
                              + " " + k.output + " -i 3 -s 4 --haplotypes res.txt\n"),
                  std::string::npos)
            << header;

        // Each sample's two alleles, lower-numbered haplotype first, explain its genotype.
        const std::vector<std::string> lines =
            splitLines(bcftools(std::string("query -f '%CHROM %POS %ID %REF %ALT[ %GT]\\n' ") + k.output));
        ASSERT_EQ(lines.size(), genotypes[0].size());
        std::vector<std::string> phased(2 * genotypes.size());
        for (std::size_t s = 0; s < lines.size(); ++s) {
            const std::vector<std::string> fields = words(lines[s]);
            ASSERT_EQ(fields.size(), 5 + genotypes.size()) << lines[s];
            EXPECT_EQ(fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3] + " " + fields[4],
                      "1 " + std::to_string(100 * (s + 1)) + " rs" + std::to_string(s + 1) + " A C");
            for (std::size_t i = 0; i < genotypes.size(); ++i) {
                const std::string& gt = fields[5 + i];
                ASSERT_TRUE(gt.size() == 3 && gt[1] == '|') << gt;
                phased[2 * i] += gt[0];
                phased[2 * i + 1] += gt[2];
            }
        }
        for (std::size_t i = 0; i < genotypes.size(); ++i) {
            const std::string& a = phased[2 * i];
            const std::string& b = phased[2 * i + 1];
            EXPECT_TRUE(pairExplains(genotypes[i], a, b)) << "sample " << i + 1 << ": " << a << " / " << b;
            const auto [first, second] = result.pairs[i].front();
            EXPECT_EQ(a, result.haplotypes[std::min(first, second) - 1]);
            EXPECT_EQ(b, result.haplotypes[std::max(first, second) - 1]);
        }
        EXPECT_EQ(std::set<std::string>(phased.begin(), phased.end()),
                  std::set<std::string>(result.haplotypes.begin(), result.haplotypes.end()));
        EXPECT_EQ(console.iterations.size(), 3u);
    }
}

TEST_F(VcfRun, TheSameGenotypesAsAMatrixOrAsAVcfGiveTheSameRun)
{
    for (const unsigned seed : {3u, 8u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const std::vector<std::string> genotypes = testing_support::randomGenotypes(rng, 30, 20, 9);
        writeInput("matrix.txt", genotypeFileText(genotypes));
        writeVcf("same.vcf", genotypes);
        const Completed matrix = runCompleted("matrix.txt", {"-i", "4", "-s", "9", "-n", "5"});
        std::string inputLine;
        const Console vcf = runOnVcf({"same.vcf", "vcf.txt", "-i", "4", "-s", "9", "-n", "5"}, inputLine);
        EXPECT_EQ(vcf.startLine, matrix.console.startLine);
        EXPECT_EQ(vcf.iterations, matrix.console.iterations);
        EXPECT_EQ(readWholeFile(inWork("vcf.txt")), matrix.resultText);
    }
}

TEST_F(VcfRun, SamplesLeftOutDoNotAppearAndTheRestKeepTheirListOrder)
{
    writeInput("in.vcf", vcfText({"A", "B", "C", "D"}, {"1 10 . A G 0/1 0/0 ./. 1/1", "1 20 . A G 1/1 0/1 0/1 0/1",
                                                        "1 30 . A G 0/0 1/1 0/1 1/0"}));
    writeInput("keep.txt", "D\nC\nA\n");
    std::string inputLine;
    runOnVcf({"in.vcf", "out.vcf", "-i", "2", "--samples", "keep.txt", "--missing", "drop-samples", "--haplotypes",
              "res.txt"},
             inputLine);
    EXPECT_EQ(inputLine,
              "VCF input: 3 of 3 sites used in chromosome 1 (none skipped); 2 of 4 samples kept (1 not in the sample "
              "list, 1 with a missing call)");
    EXPECT_EQ(words(bcftools("query -l out.vcf")), (std::vector<std::string>{"D", "A"}));
    // The result file numbers the genotypes of the samples kept, in order.
    checkResultFile(readWholeFile(inWork("res.txt")), {"122", "210"});
}

TEST_F(VcfRun, AVcfThroughAPipeIsReadAsAVcf)
{
    const std::string vcf = writeVcf("in.vcf", {"0212", "2010", "0111"});
    convertVcf(inWork(vcf), inWork("in.vcf.gz"), "wz", false);
    const RunResult r = shell("cat in.vcf.gz | " + shellQuote(kExecutable) + " /dev/stdin out.vcf -i 2");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.rfind("VCF input: 4 of 4 sites used in chromosome 1 (none skipped); 3 of 3 samples kept\n", 0), 0u)
        << r.out;
    EXPECT_EQ(splitLines(bcftools("view -H out.vcf")).size(), 4u);
}

TEST_F(VcfRun, RefusedInputsExitWithOneAndLeaveTheOutputAsItWas)
{
    writeInput("in.vcf", vcfText({"A", "B"}, {"1 10 . A G 0/1 ./.", "2 10 . A G 0/1 1/1"}));
    writeInput("list.txt", "B\nX\n");
    const std::string earlier = "an earlier output\n";
    writeInput("out.vcf.gz", earlier);
    const struct {
        std::vector<std::string> options;
        std::string message;
    } cases[] = {
        {{}, "Error in the VCF file in.vcf: it holds 2 chromosomes (1, 2); choose one with --region CHR or a part with "
         "--region CHR:FROM-TO"},
        {{"--region", "1:1-20", "--missing", "refuse"},
         "Error in the VCF file in.vcf: sample B has a missing call at 1:10 (1 missing calls in all); impute them "
         "with --missing impute or leave them out with --missing drop-sites or --missing drop-samples"},
        {{"--region", "1:1-20", "--missing", "drop-sites"},
         "Error in the VCF file in.vcf: no site can be used in region 1:1-20 (1 sites read, 1 skipped: 1 with a "
         "missing call)"},
        {{"--region", "2:1-20", "--samples", "list.txt"},
         "Error in the sample list list.txt: line 2 names the sample 'X', which the VCF file in.vcf does not have"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.message);
        std::vector<std::string> arguments{"in.vcf", "out.vcf.gz"};
        arguments.insert(arguments.end(), k.options.begin(), k.options.end());
        const RunResult r = run(arguments);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, k.message + "\n");
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(readWholeFile(inWork("out.vcf.gz")), earlier);
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"in.vcf", "list.txt", "out.vcf.gz"}));
}

TEST_F(VcfRun, ABadOptionValueIsOneLineAndExitsWithTwo)
{
    writeInput("in.vcf", vcfText({"A"}, {"1 10 . A G 0/1"}));
    const RunResult r = run({"in.vcf", "out.vcf", "-i", "2", "--missing", "drop"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "Bad value for --missing: 'drop'; it takes impute, refuse, drop-sites or drop-samples\n");
    const RunResult missing = run({"in.vcf", "out.vcf", "--region"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.out, "--region needs a value: CHR[:FROM-TO]\n");
    // An unknown option still prints the usage.
    expectUsage(run({"in.vcf", "out.vcf", "--regions", "1:1-2"}), 2);
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"in.vcf"}));
}

TEST_F(VcfRun, AMatrixRunWritesItsResultFileUnderBothNames)
{
    writeInput("in.txt", kSmallInput);
    const RunResult r = run({"in.txt", "out.vcf", "-i", "2", "--haplotypes", "res.txt"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Output saved in the file out.vcf \nHaplotypes saved in the file res.txt \n\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(readWholeFile(inWork("out.vcf")), readWholeFile(inWork("res.txt")));
    checkResultFile(readWholeFile(inWork("out.vcf")), readGenotypes(inWork("in.txt")));
}

TEST_F(VcfRun, TheShippedExampleIsPhasedThroughItsIndex)
{
    const std::string example = std::string(VELMORA_EXAMPLES_DIR) + "/chr20.vcf.gz";
    std::string inputLine;
    runOnVcf({example, "phased.vcf.gz", "-i", "2", "--region", "20:1000000-1020000"}, inputLine);
    EXPECT_EQ(inputLine, "VCF input: 77 of 77 sites used in region 20:1000000-1020000, found through its index (none "
                         "skipped); 60 of 60 samples kept");
    EXPECT_EQ(splitLines(bcftools("view -H phased.vcf.gz")).size(), 77u);
}

#if !defined(VELMORA_ADDRESS_SANITIZER)
// (AddressSanitizer cannot run under an address-space limit.)
TEST_F(VcfRun, AVcfTooLargeForTheMemoryLimitIsRefusedWithItsRegion)
{
    std::mt19937 rng(4);
    const std::vector<std::string> genotypes = testing_support::randomGenotypes(rng, 3000, 2000, 3000);
    writeVcf("big.vcf", genotypes);
    RunningProgram program(kExecutable, {"big.vcf", "out.vcf", "--region", "1:1-1000000", "--window", "0"}, work_, {},
                           100u << 20);
    EXPECT_EQ(program.finish(60), 1);
    const std::vector<std::string> lines = splitLines(program.console());
    ASSERT_EQ(lines.size(), 2u) << program.console();
    EXPECT_EQ(lines[0].rfind("VCF input: 2000 of 2000 sites used in region 1:1-1000000", 0), 0u);
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("The VCF file big.vcf is too large for this machine: its [0-9]+ "
                                                      "distinct genotypes of 2000 sites in region 1:1-1000000 need about "
                                                      "1[0-9]{2} MB of memory, more than the 100 MB available \\(.*\\); "
                                                      "choose a smaller region with --region CHR:FROM-TO")))
        << lines[1];
    EXPECT_EQ(workEntries(), (std::vector<std::string>{"big.vcf"}));
}
#endif
