// The values the VCF options take, and how the command line sets them.

#include "run/run_settings.hpp"
#include "vcf/region.hpp"
#include "vcf/vcf_options.hpp"

#include <htslib/hts.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(RegionValue, ReadsChromosomeFromAndToStrictly)
{
    const struct {
        const char* text;
        bool ok;
        const char* chromosome;
        std::int64_t from, to;
    } cases[] = {
        {"20:1000000-2000000", true, "20", 1000000, 2000000},
        {"chrX:5-5", true, "chrX", 5, 5},
        {"HLA-A*01:01:1-10", true, "HLA-A*01:01", 1, 10},  // the last ':' separates the positions
        {"1:007-9", true, "1", 7, 9},
        {"1:1-9223372034707292160", false, "", 0, 0},  // one past the largest position htslib holds
        {"1:9223372034707292159-9223372034707292159", true, "1", 9223372034707292159, 9223372034707292159},
        {"1:10-9", false, "", 0, 0},
        {"1:0-9", false, "", 0, 0},
        {"1:-9", false, "", 0, 0},
        {"1:5", true, "1", 5, 5},
        {"1:5-", true, "1", 5, HTS_POS_MAX},
        {"1", true, "1", 1, HTS_POS_MAX},
        {"chrUn:KI270302v1", false, "", 0, 0},
        {"HLA-A*01:01:1-", true, "HLA-A*01:01", 1, HTS_POS_MAX},
        {"1:", false, "", 0, 0},
        {"", false, "", 0, 0},
        {":1-2", false, "", 0, 0},
        {"1:1-2x", false, "", 0, 0},
        {"1:+1-2", false, "", 0, 0},
        {"1:1-2-3", false, "", 0, 0},
        {"1: 1-2", false, "", 0, 0},
        {"1:99999999999999999999-1", false, "", 0, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.text);
        GenomicRegion region{"unchanged", 3, 4};
        EXPECT_EQ(parseRegion(k.text, region), k.ok);
        if (k.ok) {
            EXPECT_EQ(region.chromosome, k.chromosome);
            EXPECT_EQ(region.from, k.from);
            EXPECT_EQ(region.to, k.to);
            GenomicRegion again;
            EXPECT_TRUE(parseRegion(describeRegion(region), again)) << describeRegion(region);
            EXPECT_EQ(again.chromosome, k.chromosome);
            EXPECT_EQ(again.from, k.from);
            EXPECT_EQ(again.to, k.to);
        } else {
            EXPECT_EQ(region.chromosome, "unchanged");
        }
    }
    const GenomicRegion region{"1", 10, 20};
    EXPECT_TRUE(regionHolds(region, "1", 10));
    EXPECT_TRUE(regionHolds(region, "1", 20));
    EXPECT_FALSE(regionHolds(region, "1", 9));
    EXPECT_FALSE(regionHolds(region, "1", 21));
    EXPECT_FALSE(regionHolds(region, "2", 15));
}

TEST(MissingPolicyValue, TakesItsFourNamesOnly)
{
    for (const MissingPolicy policy :
         {MissingPolicy::Impute, MissingPolicy::Refuse, MissingPolicy::DropSites, MissingPolicy::DropSamples}) {
        MissingPolicy read = MissingPolicy::Refuse;
        EXPECT_TRUE(parseMissingPolicy(missingPolicyName(policy), read));
        EXPECT_EQ(read, policy);
    }
    for (const char* bad : {"", "drop", "Drop-sites", "drop_sites", "drop-sites ", "none", "imputed"}) {
        MissingPolicy read = MissingPolicy::DropSamples;
        EXPECT_FALSE(parseMissingPolicy(bad, read)) << bad;
        EXPECT_EQ(read, MissingPolicy::DropSamples);
    }
}

namespace {

ParseStatus parse(std::vector<std::string> arguments, RunSettings& settings, std::string& problem)
{
    arguments.insert(arguments.begin(), "velmora");
    std::vector<const char*> argv;
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    return parseOptions(static_cast<int>(argv.size()), argv.data(), settings, &problem);
}

} // namespace

TEST(CommandLine, LongOptionsSetTheVcfSettingsAndTheLastOneWins)
{
    RunSettings s;
    std::string problem;
    ASSERT_EQ(parse({"in.vcf", "out.vcf.gz", "--missing", "drop-sites", "-i", "3", "--region", "2:1-9", "--samples",
                     "a.txt", "--haplotypes", "res.txt", "--samples", "b.txt", "--missing", "drop-samples"},
                    s, problem),
              ParseStatus::Filled);
    EXPECT_EQ(s.maxIter, 3);
    EXPECT_EQ(s.vcf.missing, MissingPolicy::DropSamples);
    ASSERT_TRUE(s.vcf.region.has_value());
    EXPECT_EQ(describeRegion(*s.vcf.region), "2:1-9");
    EXPECT_EQ(s.vcf.samplesFile, "b.txt");
    EXPECT_EQ(s.haplotypesFile, "res.txt");
    EXPECT_TRUE(asksForVcfInput(s.vcf));

    RunSettings plain;
    ASSERT_EQ(parse({"in.txt", "out.txt", "--missing", "refuse", "--haplotypes", "h.txt"}, plain, problem),
              ParseStatus::Filled);
    EXPECT_FALSE(asksForVcfInput(plain.vcf));
}

TEST(CommandLine, ABadLongOptionValueIsOneLineAndLeavesTheSettings)
{
    const struct {
        std::vector<std::string> arguments;
        ParseStatus status;
        std::string problem;
    } cases[] = {
        {{"in", "out", "--missing", "x"}, ParseStatus::BadValue,
         "Bad value for --missing: 'x'; it takes impute, refuse, drop-sites or drop-samples"},
        {{"in", "out", "-i", "4", "--region", "20:"}, ParseStatus::BadValue,
         "Bad value for --region: '20:'; it takes CHR, CHR:FROM-TO, CHR:FROM- or CHR:POS, 1-based and inclusive "
         "with 1 <= FROM <= TO, e.g. 20:1000000-2000000"},
        {{"in", "out", "--haplotypes", ""}, ParseStatus::BadValue, "Bad value for --haplotypes: the file name is empty"},
        {{"in", "out", "--samples"}, ParseStatus::BadValue, "--samples needs a value: a file name"},
        {{"in", "out", "--sample", "a.txt"}, ParseStatus::BadOption, ""},
        {{"in", "out", "--missing", "drop-sites", "--region"}, ParseStatus::BadValue,
         "--region needs a value: CHR[:FROM-TO]"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.arguments.back());
        RunSettings s;
        s.seed = 77;
        std::string problem;
        EXPECT_EQ(parse(k.arguments, s, problem), k.status);
        EXPECT_EQ(problem, k.problem);
        EXPECT_EQ(s.seed, 77);
        EXPECT_EQ(s.vcf.missing, MissingPolicy::Impute);
        EXPECT_FALSE(s.vcf.region.has_value());
    }
}
