// Reading VCF and BCF files: the GT mapping, skipped sites and their counts,
// the missing-call policies, regions with and without an index, sample
// selection, refusals and the supported sizes.

#include "vcf/vcf_test_support.hpp"

#include "test_support.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vcf_testing;

namespace {

class VcfInputTest : public testing::Test {
protected:
    std::string write(const std::string& name, const std::vector<std::string>& samples,
                      const std::vector<std::string>& records)
    {
        return folder_.write(name, vcfText(samples, records));
    }

    // Reads a file that must be accepted as VCF or BCF.
    InputRead accepted(const std::string& path, const VcfOptions& options = {})
    {
        InputRead read = readInput(path, options);
        EXPECT_TRUE(read.result.ok) << read.result.error;
        EXPECT_TRUE(read.vcf.has_value());
        return read;
    }

    // Reads a file that must be refused with `error`, leaving the table empty.
    void expectRefused(const std::string& path, const VcfOptions& options, const std::string& error)
    {
        const InputRead read = readInput(path, options);
        EXPECT_FALSE(read.result.ok);
        EXPECT_EQ(read.result.error, error);
        EXPECT_FALSE(read.vcf.has_value());
        EXPECT_EQ(read.table.genotypeCount, 0);
    }

    testing_support::TemporaryFolder folder_{"velmora_vcf"};
};

VcfOptions withMissing(MissingPolicy policy)
{
    VcfOptions options;
    options.missing = policy;
    return options;
}

VcfOptions withRegion(const std::string& text)
{
    VcfOptions options;
    GenomicRegion region;
    EXPECT_TRUE(parseRegion(text, region)) << text;
    options.region = region;
    return options;
}

} // namespace

TEST_F(VcfInputTest, EveryDiploidCallOfABiallelicSiteMapsToItsSiteCharacter)
{
    // One sample per column of calls; phased and unphased calls alike.
    const std::vector<std::pair<std::string, char>> calls = {
        {"0/0", '0'}, {"0|0", '0'}, {"1/1", '1'}, {"1|1", '1'},
        {"0/1", '2'}, {"1/0", '2'}, {"0|1", '2'}, {"1|0", '2'},
    };
    std::vector<std::string> samples;
    std::string record = "1 10 . A T";
    std::string expected;
    for (const auto& [gt, site] : calls) {
        samples.push_back("s" + std::to_string(samples.size()));
        record += " " + gt;
        expected += site;
    }
    const InputRead read = accepted(write("calls.vcf", samples, {record}));
    ASSERT_EQ(read.table.genotypeCount, static_cast<int>(calls.size()));
    EXPECT_EQ(read.table.length, 1);
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(read.table.genotypes[i], std::string(1, expected[i])) << calls[i].first;
    EXPECT_EQ(read.table.distinctCount, 3);
}

TEST_F(VcfInputTest, SitesThatCannotBeUsedAreSkippedAndCountedByReason)
{
    const std::string path = write("skips.vcf", {"A", "B"},
                                   {"1 10 rs1 A G 0/1 1/1",
                                    "1 20 . A G,T 0/1 1/2",   // two ALT alleles
                                    "1 30 . A . 0/0 0/0",     // no ALT allele
                                    "1 40 . A G 0 0/1",       // a haploid call
                                    "1 50 . A G 0/1/1 0/0",   // a triploid call
                                    "1 60 . A G ./. 0/1",     // a missing call
                                    "1 70 rs7 C T 1|0 0|0"});
    const InputRead read = accepted(path, withMissing(MissingPolicy::DropSites));
    EXPECT_EQ(read.table.genotypes, (std::vector<std::string>{"22", "10"}));
    const VcfReadCounts& c = read.vcf->counts;
    EXPECT_EQ(c.sitesRead, 7);
    EXPECT_EQ(c.sitesUsed, 2);
    EXPECT_EQ(c.skippedMultiallelic, 1);
    EXPECT_EQ(c.skippedNoAlt, 1);
    EXPECT_EQ(c.skippedNotDiploid, 2);
    EXPECT_EQ(c.skippedMissing, 1);
    EXPECT_EQ(c.sitesSkipped(), 5);
    EXPECT_EQ(describeVcfReading(*read.vcf),
              "VCF input: 2 of 7 sites used in chromosome 1 (5 skipped: 1 with more than one ALT allele, "
              "1 without ALT allele, 2 not diploid, 1 with a missing call); 2 of 2 samples kept");
    ASSERT_EQ(read.vcf->sites.size(), 2u);
    EXPECT_EQ(read.vcf->sites[0].position, 10);
    EXPECT_EQ(read.vcf->sites[0].id, "rs1");
    EXPECT_EQ(read.vcf->sites[1].alleles, "C,T");
}

TEST_F(VcfInputTest, EachMissingCallPolicyDoesWhatItSays)
{
    const std::string path = write("missing.vcf", {"A", "B", "C"},
                                   {"1 10 . A G 0/1 0/0 1/1",
                                    "1 20 . A G 0/1 ./. 1/1",
                                    "1 30 . A G 1/1 0/1 .|.",
                                    "1 40 . A G 0/0 . 0/1",
                                    "1 50 . A G 0/0 0/1 1/1"});
    expectRefused(path, withMissing(MissingPolicy::Refuse),
                  "Error in the VCF file " + path + ": sample B has a missing call at 1:20 (3 missing calls in "
                  "all); impute them with --missing impute or leave them out with --missing drop-sites or "
                  "--missing drop-samples");

    // Imputed (the default): each missing call holds, until the phase gives
    // it alleles, the value most samples have at its site, and is noted.
    const InputRead imputed = accepted(path, {});
    EXPECT_EQ(imputed.table.genotypes, (std::vector<std::string>{"22100", "01202", "11121"}));
    EXPECT_EQ(imputed.vcf->missingSites, (std::vector<std::vector<int>>{{}, {1, 3}, {2}}));
    EXPECT_EQ(imputed.vcf->counts.imputedCalls, 3);
    EXPECT_EQ(describeVcfReading(*imputed.vcf), "VCF input: 5 of 5 sites used in chromosome 1 (none skipped); 3 of "
                                                "3 samples kept; 3 missing calls to impute");

    const InputRead sites = accepted(path, withMissing(MissingPolicy::DropSites));
    EXPECT_EQ(sites.table.genotypes, (std::vector<std::string>{"20", "02", "11"}));
    EXPECT_EQ(sites.vcf->counts.skippedMissing, 3);
    EXPECT_EQ(sites.vcf->samples, (std::vector<std::string>{"A", "B", "C"}));

    const InputRead samples = accepted(path, withMissing(MissingPolicy::DropSamples));
    EXPECT_EQ(samples.table.genotypes, (std::vector<std::string>{"22100"}));
    EXPECT_EQ(samples.vcf->samples, (std::vector<std::string>{"A"}));
    EXPECT_EQ(samples.vcf->counts.samplesDroppedMissing, 2);
    EXPECT_EQ(samples.vcf->counts.sitesUsed, 5);
    EXPECT_EQ(describeVcfReading(*samples.vcf),
              "VCF input: 5 of 5 sites used in chromosome 1 (none skipped); 1 of 3 samples kept (2 with a missing call)");

    const std::string all = write("all.vcf", {"A", "B"}, {"1 10 . A G ./1 0/0", "1 20 . A G 0/1 .", "1 30 . A G ./. 0/."});
    // Half-missing calls are missing calls; a site where every call is
    // missing is left out, and counted.
    const InputRead halves = accepted(all, {});
    EXPECT_EQ(halves.table.genotypes, (std::vector<std::string>{"02", "02"}));
    EXPECT_EQ(halves.vcf->missingSites, (std::vector<std::vector<int>>{{0}, {1}}));
    EXPECT_EQ(describeVcfReading(*halves.vcf),
              "VCF input: 2 of 3 sites used in chromosome 1 (1 skipped: 1 with every call missing); 2 of 2 samples "
              "kept; 2 missing calls to impute");
    expectRefused(all, withMissing(MissingPolicy::DropSamples),
                  "Error in the VCF file " + all + ": every sample has a missing call in chromosome 1");
    expectRefused(all, withMissing(MissingPolicy::DropSites),
                  "Error in the VCF file " + all + ": no site can be used in chromosome 1 (3 sites read, "
                  "3 skipped: 3 with a missing call)");
}

TEST_F(VcfInputTest, ARegionReadsTheSameSitesThroughAnIndexAndWithout)
{
    // A deletion that starts before the region overlaps it, but its POS lies
    // outside: it is not a site of the region, whichever way it is read.
    const std::string plain = write("region.vcf", {"A", "B"},
                                    {"1 100 . A G 0/1 0/0", "1 200 . ACGT A 0/1 1/1", "1 250 . A G 1/1 0/1",
                                     "1 300 . A G 0/0 0/1", "1 301 . A G 0/1 0/1", "2 250 . A G 1/1 1/1"});
    const std::string gz = folder_.path("region.vcf.gz");
    const std::string bcf = folder_.path("region.bcf");
    const std::string unindexed = folder_.path("unindexed.vcf.gz");
    convertVcf(plain, gz, "wz", true);
    convertVcf(plain, bcf, "wb", true);
    convertVcf(plain, unindexed, "wz", false);
    struct Case {
        std::string path;
        bool throughIndex;
    };
    for (const Case& k : {Case{plain, false}, Case{gz, true}, Case{bcf, true}, Case{unindexed, false}}) {
        SCOPED_TRACE(k.path);
        const InputRead read = accepted(k.path, withRegion("1:201-300"));
        EXPECT_EQ(read.table.genotypes, (std::vector<std::string>{"10", "22"}));
        EXPECT_EQ(read.vcf->counts.throughIndex, k.throughIndex);
        EXPECT_EQ(read.vcf->counts.sitesRead, 2);
        EXPECT_EQ(read.vcf->chromosome, "1");
        EXPECT_EQ(read.vcf->binary, k.path == bcf);
    }
    // A region of a chromosome without sites, in the header or not.
    for (const std::string& path : {plain, gz, bcf}) {
        expectRefused(path, withRegion("2:1-100"), "Error in the VCF file " + path + ": no site lies in region 2:1-100");
        expectRefused(path, withRegion("X:1-100"), "Error in the VCF file " + path + ": no site lies in region X:1-100");
    }
}

TEST_F(VcfInputTest, MoreThanOneChromosomeWithoutARegionIsRefusedWithTheirNames)
{
    const std::string path = write("two.vcf", {"A"}, {"1 10 . A G 0/1", "2 10 . A G 0/1", "1 20 . A G 0/1"});
    expectRefused(path, {},
                  "Error in the VCF file " + path + ": it holds 2 chromosomes (1, 2); choose one with --region CHR or a "
                  "part with --region CHR:FROM-TO");
    // With an index, the index names them.
    const std::string sorted = write("sorted.vcf", {"A"}, {"1 10 . A G 0/1", "1 20 . A G 0/1", "2 10 . A G 0/1"});
    for (const char* mode : {"wz", "wb"}) {
        const std::string indexed = folder_.path(mode[1] == 'z' ? "sorted.vcf.gz" : "sorted.bcf");
        convertVcf(sorted, indexed, mode, true);
        expectRefused(indexed, {},
                      "Error in the VCF file " + indexed + ": it holds 2 chromosomes (1, 2); choose one with --region "
                      "CHR or a part with --region CHR:FROM-TO");
        EXPECT_EQ(accepted(indexed, withRegion("2")).table.genotypes, (std::vector<std::string>{"2"}));
    }
    EXPECT_EQ(accepted(path, withRegion("1")).table.genotypes, (std::vector<std::string>{"22"}));
    EXPECT_EQ(accepted(path, withRegion("1:1-100")).table.genotypes, (std::vector<std::string>{"22"}));
}

TEST_F(VcfInputTest, ASampleListKeepsItsSamplesInItsOrder)
{
    const std::string path = write("five.vcf", {"A", "B", "C", "D", "E"},
                                   {"1 10 . A G 0/0 0/1 1/1 0/1 0/0", "1 20 . A G 1/1 0/0 0/1 0/0 1/1"});
    VcfOptions options;
    options.samplesFile = folder_.write("keep.txt", "D\r\n\n  B \nE\n");
    const InputRead read = accepted(path, options);
    EXPECT_EQ(read.vcf->samples, (std::vector<std::string>{"D", "B", "E"}));
    EXPECT_EQ(read.table.genotypes, (std::vector<std::string>{"20", "20", "01"}));
    EXPECT_EQ(read.table.distinctCount, 2);
    EXPECT_EQ(read.vcf->counts.samplesNotListed, 2);

    const struct {
        const char* list;
        std::string fault;
    } refusals[] = {
        {"B\nZ\n", "line 2 names the sample 'Z', which the VCF file " + path + " does not have"},
        {"B\nC\nB\n", "line 3 names the sample 'B' again (first on line 1)"},
        {"\n \n", "it names no sample"},
    };
    for (const auto& r : refusals) {
        options.samplesFile = folder_.write("list.txt", r.list);
        expectRefused(path, options, "Error in the sample list " + options.samplesFile + ": " + r.fault);
    }
    options.samplesFile = folder_.path("absent.txt");
    expectRefused(path, options, "Couldn't open the sample list " + options.samplesFile);
}

TEST_F(VcfInputTest, AVcfIsRecognisedByItsContentWhateverItsName)
{
    const std::string text = vcfText({"A", "B"}, {"1 10 . A G 0/1 1/1"});
    const std::string path = folder_.write("genotypes.txt", text);
    EXPECT_EQ(accepted(path).table.genotypes, (std::vector<std::string>{"2", "1"}));
    convertVcf(path, folder_.path("data"), "wb", false);
    EXPECT_TRUE(accepted(folder_.path("data")).vcf->binary);

    // A matrix file stays a matrix file, and VCF options do not apply to it.
    const std::string matrix = folder_.write("matrix.vcf", "2 1\n2\n1\n");
    const InputRead read = readInput(matrix);
    EXPECT_TRUE(read.result.ok);
    EXPECT_FALSE(read.vcf.has_value());
    EXPECT_EQ(read.table.genotypes, (std::vector<std::string>{"2", "1"}));
    expectRefused(matrix, withMissing(MissingPolicy::DropSites),
                  "Error in the genotype file " + matrix
                      + ": --region, --samples and --missing read VCF or BCF files, and this is a genotype matrix");
}

TEST_F(VcfInputTest, BrokenFilesAreRefusedInOneLine)
{
    const std::string header = vcfText({"A"}, {});
    const struct {
        const char* name;
        std::string text;
        std::string fault;
    } cases[] = {
        {"noheader.vcf", "##fileformat=VCFv4.2\n", "its header cannot be read"},
        {"nosamples.vcf", "##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\n1\t10\t.\tA\tG\t.\t.\t.\n",
         "it has no samples, so no genotypes"},
        {"empty.vcf", header, "no site lies in the file"},
        {"allele.vcf", vcfText({"A"}, {"1 10 . A G 0/2"}),
         "sample A has an allele at 1:10 that the site does not have (its GT names an allele beyond ALT)"},
        {"badgt.vcf", vcfText({"A"}, {"1 10 . A G 0/x"}), "the record after the header cannot be read"},
        {"badline.vcf", vcfText({"A"}, {"1 10 . A G 0/1", "1 20 . A G 0/y"}), "the record after 1:10 cannot be read"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const std::string path = folder_.write(k.name, k.text);
        expectRefused(path, {}, "Error in the VCF file " + path + ": " + k.fault);
    }
}

TEST_F(VcfInputTest, TheSupportedSizesHoldWithMessagesThatNameTheRegion)
{
    {
        std::vector<std::string> records;
        for (int s = 1; s <= kMaxSites + 1; ++s) records.push_back("1 " + std::to_string(s) + " . A G 0/1");
        const std::string path = write("long.vcf", {"A"}, records);
        expectRefused(path, withRegion("1:1-99999"),
                      "Error in the VCF file " + path + ": region 1:1-99999 holds more than the 32767 supported "
                      "sites (site 32768 is at 1:32768); choose a smaller region with --region CHR:FROM-TO");
        EXPECT_EQ(accepted(path, withRegion("1:2-32768")).table.length, kMaxSites);
    }
    {
        // 16384 samples, each a different genotype over 14 sites.
        const int samples = kMaxDistinctGenotypes + 1;
        std::vector<std::string> genotypes(samples, std::string(14, '0'));
        for (int i = 0; i < samples; ++i) {
            for (int s = 0; s < 14; ++s) genotypes[i][s] = (i >> s) & 1 ? '1' : '0';
        }
        genotypes.back() = std::string(14, '2');
        const std::string path = write("wide.vcf", sampleNames(samples), recordsOf(genotypes));
        expectRefused(path, {},
                      "Error in the VCF file " + path + ": 16384 distinct genotypes in chromosome 1, more than the "
                      "16383 supported; choose fewer samples with --samples or a smaller region with --region");
    }
    {
        const std::string path = write("memory.vcf", {"A", "B"}, {"1 10 . A G 0/1 1/1", "1 20 . A G 0/1 1/1"});
        const InputRead read = readInput(path, {}, MemoryLimit{40, "a test limit"});
        EXPECT_FALSE(read.result.ok);
        EXPECT_NE(read.result.error.find("in chromosome 1 need about"), std::string::npos) << read.result.error;
        EXPECT_NE(read.result.error.find("(a test limit); choose a smaller region with --region"), std::string::npos);
    }
}
