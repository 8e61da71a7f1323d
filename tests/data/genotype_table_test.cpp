#include "data/genotype_table.hpp"

#include "run/run_settings.hpp"
#include "vcf/genotype_input.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kSampleGenotypes = {"0120", "2211", "0120"};

void expectSampleTable(const GenotypeTable& table)
{
    EXPECT_EQ(table.genotypeCount, 3);
    EXPECT_EQ(table.length, 4);
    EXPECT_EQ(table.genotypes, kSampleGenotypes);
    EXPECT_EQ(table.distinctCount, 2);
}

GenotypeTable parseOk(const std::string& text)
{
    GenotypeTable table;
    const GenotypeReadResult result = parseGenotypeText(text, "genotypes.txt", table);
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.error.empty()) << result.error;
    return table;
}

// A table that a refused read must leave as it is.
GenotypeTable previousTable()
{
    GenotypeTable table;
    table.genotypeCount = 2;
    table.length = 1;
    table.genotypes = {"0", "1"};
    table.distinctCount = 2;
    return table;
}

// Checks a refused read: the table is the one of previousTable() and the
// message is one line. Returns the message.
std::string expectRefused(const GenotypeReadResult& result, const GenotypeTable& table)
{
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(table.genotypeCount, 2);
    EXPECT_EQ(table.length, 1);
    EXPECT_EQ(table.genotypes, (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(table.distinctCount, 2);
    EXPECT_EQ(result.error.find('\n'), std::string::npos) << "a message is one line";
    return result.error;
}

// Parses text that must be refused and returns the message.
std::string refusal(const std::string& text, const std::string& fileName = "data/geno.txt")
{
    GenotypeTable table = previousTable();
    const GenotypeReadResult result = parseGenotypeText(text, fileName, table);
    return expectRefused(result, table);
}

std::string prefix(const std::string& fileName = "data/geno.txt")
{
    return "Error in the genotype file " + fileName + ": ";
}

// The distinct strings of `count` sites numbered 0..n-1 in binary over '0'/'1'.
std::string binaryGenotype(int value, int sites)
{
    std::string g(static_cast<std::size_t>(sites), '0');
    for (int s = sites - 1; s >= 0; --s, value >>= 1) g[s] = static_cast<char>('0' + (value & 1));
    return g;
}

class GenotypeFileTest : public testing::Test {
protected:
    GenotypeReadResult read(const std::string& path, GenotypeTable& table)
    {
        RunSettings settings;
        settings.inputFilename = path;
        settings.outputFileName = folder_.path("out.txt");
        std::optional<VcfInput> vcf;
        return readGenotypeInput(settings, table, vcf);
    }

    // Reads a file that must be refused and returns the message.
    std::string fileRefusal(const std::string& path)
    {
        GenotypeTable table = previousTable();
        const GenotypeReadResult result = read(path, table);
        return expectRefused(result, table);
    }

    testing_support::TemporaryFolder folder_{"velmora_reader"};
};

} // namespace

// ---------------------------------------------------------------------------
// Well-formed input

TEST(GenotypeText, ThreeGenotypesWithARepeatGiveCountsAndDistinctGenotypes)
{
    expectSampleTable(parseOk("3 4\n0120\n2211\n0120\n"));
}

TEST(GenotypeText, LineBreaksAndBlankLinesCarryNoMeaning)
{
    expectSampleTable(parseOk("3 4 0120 2211 0120"));
    expectSampleTable(parseOk("3\n4\n\n0120\n\n\n2211\n\n0120\n\n"));
    expectSampleTable(parseOk("  \t3\t\t4 \n 0120\t2211   0120"));
    expectSampleTable(parseOk("3 4\r\n0120\r\n2211\r\n0120\r\n"));
    expectSampleTable(parseOk("3 4\n0120\n2211\n0120"));  // no final line break
    expectSampleTable(parseOk("3 4\r0120\r2211\r0120\r"));  // old Macintosh line ends
    expectSampleTable(parseOk("3 4\n0120\n2211\n0120\n\n\n  \n\t\n"));  // trailing blank lines
    expectSampleTable(parseOk("3\f4\v0120\n2211\n0120"));
}

TEST(GenotypeText, AUtf8ByteOrderMarkIsSkippedAndUtf16TextIsRefused)
{
    expectSampleTable(parseOk("\xEF\xBB\xBF" "3 4\r\n0120\r\n2211\r\n0120\r\n"));
    const std::string utf16 = prefix() + "it is UTF-16 text; save it as plain text (ASCII or UTF-8)";
    EXPECT_EQ(refusal(std::string("\xFF\xFE" "3\0 \0" "4\0", 8)), utf16);
    EXPECT_EQ(refusal(std::string("\xFE\xFF\0" "3\0 \0" "4", 8)), utf16);
    // A mark anywhere but at the start is no white space.
    EXPECT_EQ(refusal("3 4\n\xEF\xBB\xBF" "0120\n2211\n0120\n"), prefix() + "genotype 1 has more than 4 sites");
    EXPECT_EQ(refusal("\xEF\xBB" "3 4\n0120\n2211\n0120\n"),
              prefix() + "the number of genotypes is missing or not a number");
}

TEST(GenotypeText, CountsMayCarryABasePrefixOrASign)
{
    // 010 is octal: eight genotypes, even though ten follow.
    std::string octal = "010 3\n";
    for (int i = 0; i < 10; ++i) octal += binaryGenotype(i % 8, 3) + "\n";
    const GenotypeTable eight = parseOk(octal);
    EXPECT_EQ(eight.genotypeCount, 8);
    EXPECT_EQ(eight.genotypes.size(), 8u);
    EXPECT_EQ(eight.distinctCount, 8);

    // 0x10 and 0X10 are hexadecimal: sixteen sites.
    const std::string g16a = "0120012001200120";
    const std::string g16b = "2222111100001212";
    for (const char* header : {"2 0x10\n", "2 0X10\n", "02 16\n", "+2 +0x10\n"}) {
        SCOPED_TRACE(header);
        const GenotypeTable t = parseOk(std::string(header) + g16a + "\n" + g16b + "\n");
        EXPECT_EQ(t.genotypeCount, 2);
        EXPECT_EQ(t.length, 16);
        EXPECT_EQ(t.genotypes, (std::vector<std::string>{g16a, g16b}));
        EXPECT_EQ(t.distinctCount, 2);
    }

    const GenotypeTable hexCount = parseOk("0x3 4 0120 2211 0120");
    expectSampleTable(hexCount);
}

TEST(GenotypeText, NothingAfterTheAnnouncedGenotypesIsRead)
{
    expectSampleTable(parseOk("3 4\n0120\n2211\n0120\n0000\nnot a genotype at all\n"));
}

TEST(GenotypeText, OneGenotypeAndAllEqualGenotypesGiveOneDistinct)
{
    const GenotypeTable one = parseOk("1 5\n01212\n");
    EXPECT_EQ(one.genotypeCount, 1);
    EXPECT_EQ(one.length, 5);
    EXPECT_EQ(one.genotypes, (std::vector<std::string>{"01212"}));
    EXPECT_EQ(one.distinctCount, 1);

    const GenotypeTable same = parseOk("4 2\n21\n21\n21\n21\n");
    EXPECT_EQ(same.genotypeCount, 4);
    EXPECT_EQ(same.genotypes, (std::vector<std::string>(4, "21")));
    EXPECT_EQ(same.distinctCount, 1);

    const GenotypeTable site = parseOk("3 1 2 2 0");
    EXPECT_EQ(site.length, 1);
    EXPECT_EQ(site.distinctCount, 2);
}

TEST(GenotypeText, DistinctGenotypesAreCountedByExactString)
{
    const GenotypeTable t = parseOk("6 3\n000\n001\n000\n100\n001\n222\n");
    EXPECT_EQ(t.genotypeCount, 6);
    EXPECT_EQ(t.distinctCount, 4);
    EXPECT_EQ(t.genotypes, (std::vector<std::string>{"000", "001", "000", "100", "001", "222"}));
}

TEST(GenotypeText, TheDistinctLimitIsOnDistinctGenotypesNotOnAllOfThem)
{
    // 16383 different genotypes are the most the search supports.
    const int sites = 15;
    std::string text = std::to_string(kMaxDistinctGenotypes) + " " + std::to_string(sites) + "\n";
    for (int i = 0; i < kMaxDistinctGenotypes; ++i) text += binaryGenotype(i, sites) + "\n";
    const GenotypeTable atLimit = parseOk(text);
    EXPECT_EQ(atLimit.distinctCount, kMaxDistinctGenotypes);

    // Many more genotypes than that are fine when they repeat.
    std::string repeats = "20000 3\n";
    for (int i = 0; i < 20000; ++i) repeats += binaryGenotype(i % 5, 3) + " ";
    const GenotypeTable many = parseOk(repeats);
    EXPECT_EQ(many.genotypeCount, 20000);
    EXPECT_EQ(many.distinctCount, 5);
}

// ---------------------------------------------------------------------------
// Malformed input

TEST(GenotypeText, AMissingOrNonNumericGenotypeCountIsRefused)
{
    const std::string expected = prefix() + "the number of genotypes is missing or not a number";
    EXPECT_EQ(refusal(""), expected);
    EXPECT_EQ(refusal("   \n\t "), expected);
    EXPECT_EQ(refusal("three 4 0120 2211 0120"), expected);
    EXPECT_EQ(refusal("x3 4 0120 2211 0120"), expected);
    EXPECT_EQ(refusal("- 3 4 0120 2211 0120"), expected);
}

TEST(GenotypeText, AZeroOrNegativeGenotypeCountIsRefused)
{
    EXPECT_EQ(refusal("0 4\n"), prefix() + "the number of genotypes must be at least 1, not 0");
    EXPECT_EQ(refusal("-2 4 0120 0120"), prefix() + "the number of genotypes must be at least 1, not -2");
    EXPECT_EQ(refusal("0x0 4"), prefix() + "the number of genotypes must be at least 1, not 0");
}

TEST(GenotypeText, AMissingOrNonNumericSiteCountIsRefused)
{
    const std::string expected = prefix() + "the number of sites is missing or not a number";
    EXPECT_EQ(refusal("3"), expected);
    EXPECT_EQ(refusal("3\n"), expected);
    EXPECT_EQ(refusal("3 four 0120 2211 0120"), expected);
}

TEST(GenotypeText, AZeroOrNegativeSiteCountIsRefused)
{
    EXPECT_EQ(refusal("3 0\n"), prefix() + "the number of sites must be at least 1, not 0");
    EXPECT_EQ(refusal("3 -4 0120 2211 0120"), prefix() + "the number of sites must be at least 1, not -4");
}

TEST(GenotypeText, ASiteCountBeyondTheSupportedRangeIsRefused)
{
    EXPECT_EQ(refusal("1 32768 0"),
              prefix() + "the number of sites is 32768, more than the 32767 supported");
}

TEST(GenotypeText, FewerGenotypesThanAnnouncedAreRefused)
{
    EXPECT_EQ(refusal("3 4\n0120\n2211\n"), prefix() + "it announces 3 genotypes but holds only 2");
    EXPECT_EQ(refusal("5 4"), prefix() + "it announces 5 genotypes but holds only 0");
    EXPECT_EQ(refusal("010 4 0120 0120 0120"), prefix() + "it announces 8 genotypes but holds only 3");
}

TEST(GenotypeText, AGenotypeOfTheWrongLengthIsRefusedWithItsNumberAndLength)
{
    EXPECT_EQ(refusal("3 4\n0120\n221\n0120\n"), prefix() + "genotype 2 has 3 sites, not 4");
    // A token is read no further than one site past the announced length.
    EXPECT_EQ(refusal("3 4\n0120\n2211\n01200\n"), prefix() + "genotype 3 has more than 4 sites");
    EXPECT_EQ(refusal("2 4\n01202211\n"), prefix() + "genotype 1 has more than 4 sites");
    EXPECT_EQ(refusal("2 4\n0120" + std::string(3000000, '1') + "\n0120\n"),
              prefix() + "genotype 1 has more than 4 sites");
    // A genotype split by a blank is two short tokens.
    EXPECT_EQ(refusal("2 4\n01 20\n2211\n"), prefix() + "genotype 1 has 2 sites, not 4");
}

TEST(GenotypeText, ACharacterOtherThanASiteValueIsRefusedWithGenotypeAndSite)
{
    EXPECT_EQ(refusal("3 4\n0120\n2231\n0120\n"),
              prefix() + "genotype 2 has '3' at site 3; sites must be '0', '1' or '2'");
    EXPECT_EQ(refusal("2 4\nA120\n2211\n"),
              prefix() + "genotype 1 has 'A' at site 1; sites must be '0', '1' or '2'");
    EXPECT_EQ(refusal("2 3\n012\n01-\n"),
              prefix() + "genotype 2 has '-' at site 3; sites must be '0', '1' or '2'");
    // Characters that cannot be shown are named by their byte value.
    EXPECT_EQ(refusal(std::string("1 3\n0\x01") + "2\n"),
              prefix() + "genotype 1 has byte 0x01 at site 2; sites must be '0', '1' or '2'");
    EXPECT_EQ(refusal("1 2\n0\xC3\n"),
              prefix() + "genotype 1 has byte 0xC3 at site 2; sites must be '0', '1' or '2'");
}

TEST(GenotypeText, TheFirstFaultInFileOrderIsTheOneReported)
{
    // Genotype 2 is too short and genotype 3 holds a bad character.
    EXPECT_EQ(refusal("4 3\n012\n01\n0x2\n"), prefix() + "genotype 2 has 2 sites, not 3");
    // The bad character of genotype 1 comes before the missing genotypes.
    EXPECT_EQ(refusal("4 3\n0a2\n"),
              prefix() + "genotype 1 has 'a' at site 2; sites must be '0', '1' or '2'");
}

TEST(GenotypeText, TooManyDistinctGenotypesAreRefusedNamingTheLimit)
{
    const int count = kMaxDistinctGenotypes + 1;
    const int sites = 15;
    std::string text = std::to_string(count) + " " + std::to_string(sites) + "\n";
    for (int i = 0; i < count; ++i) text += binaryGenotype(i, sites) + "\n";
    EXPECT_EQ(refusal(text), prefix() + "16384 distinct genotypes, more than the 16383 supported");
}

TEST(GenotypeText, TheMessageNamesTheFileAsGiven)
{
    EXPECT_EQ(refusal("3 4\n0120\n22\n0120\n", "../my data/g.txt"),
              "Error in the genotype file ../my data/g.txt: genotype 2 has 2 sites, not 4");
}

TEST(GenotypeText, AHugeAnnouncedCountWithLittleDataIsRefusedWithoutTrouble)
{
    EXPECT_EQ(refusal("2147483647 4 0120 2211"),
              prefix() + "it announces 2147483647 genotypes but holds only 2");
    EXPECT_EQ(refusal("99999999999 4 0120"),
              prefix() + "it announces 2147483647 genotypes but holds only 1");
}

TEST(GenotypeText, GenotypesThatWouldOutgrowTheMemoryLimitAreRefusedWithTheEstimate)
{
    GenotypeTable table = previousTable();
    const MemoryLimit limit{100 * 1024, "a limit for the test"};
    std::string text = "100000 4\n";
    for (int i = 0; i < 100000; ++i) text += "0120\n";
    const std::string message = expectRefused(parseGenotypeText(text, "data/geno.txt", table, limit), table);
    EXPECT_EQ(message, prefix() + "its 100000 genotypes of 4 sites need about 3.1 MB of memory, "
                                  "more than the 100 KB available (a limit for the test)");

    // Below the limit the same genotypes are read.
    EXPECT_TRUE(parseGenotypeText(text, "data/geno.txt", table, MemoryLimit{8 << 20, "test"}).ok);
    EXPECT_EQ(table.genotypeCount, 100000);
}

// ---------------------------------------------------------------------------
// Files

TEST_F(GenotypeFileTest, ReadsThreeGenotypesFromAFile)
{
    const std::string path = folder_.write("genotypes.txt", "3 4\n0120\n2211\n0120\n");
    GenotypeTable table;
    const GenotypeReadResult result = read(path, table);
    ASSERT_TRUE(result.ok) << result.error;
    expectSampleTable(table);
}

TEST_F(GenotypeFileTest, AnOctalCountInAFileIsReadAsEight)
{
    std::string content = "010 2\n";
    const char* values[] = {"00", "01", "10", "11", "02", "20", "12", "21", "22"};
    for (const char* v : values) content += std::string(v) + "\n";
    const std::string path = folder_.write("octal.txt", content);
    GenotypeTable table;
    ASSERT_TRUE(read(path, table).ok);
    EXPECT_EQ(table.genotypeCount, 8);
    EXPECT_EQ(table.distinctCount, 8);
    EXPECT_EQ(table.genotypes.back(), "21");
}

TEST_F(GenotypeFileTest, AMissingFileCannotBeOpenedAndIsNamedExactlyAsGiven)
{
    const std::string names[] = {folder_.path("no such file.txt"), "./relative/../missing_genotypes.txt"};
    for (const std::string& path : names) {
        SCOPED_TRACE(path);
        EXPECT_EQ(fileRefusal(path), "Couldn't open the specified file: " + path);
    }
}

TEST_F(GenotypeFileTest, AFolderCannotBeOpenedAsAGenotypeFile)
{
    fs::create_directory(folder_.path("inputs"));
    folder_.write("inputs/genotypes.txt", "3 4\n0120\n2211\n0120\n");
    EXPECT_EQ(fileRefusal(folder_.path("inputs")), "Couldn't open the specified file: " + folder_.path("inputs"));
}

TEST_F(GenotypeFileTest, AMalformedFileIsRefusedNamingTheFile)
{
    const std::string path = folder_.write("bad.txt", "3 4\n0120\n2211\n012\n");
    EXPECT_EQ(fileRefusal(path), prefix(path) + "genotype 3 has 3 sites, not 4");
}

TEST_F(GenotypeFileTest, AnEmptyFileIsRefusedAsMissingTheCount)
{
    const std::string path = folder_.write("empty.txt", "");
    EXPECT_EQ(fileRefusal(path), prefix(path) + "the number of genotypes is missing or not a number");
}

TEST_F(GenotypeFileTest, LongFilesAreReadAcrossChunkBoundaries)
{
    // Genotypes and counts that straddle the reader's chunks, with CRLF ends.
    std::mt19937 rng(5);
    const std::vector<std::string> genotypes = testing_support::randomGenotypes(rng, 3000, 97, 40);
    std::string content = "\xEF\xBB\xBF" "0xBB8\r\n97\r\n";  // 3000 genotypes
    for (const std::string& g : genotypes) content += g + "\r\n";
    const std::string path = folder_.write("long.txt", content);
    GenotypeTable table;
    const GenotypeReadResult result = read(path, table);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(table.genotypes, genotypes);
}

TEST_F(GenotypeFileTest, AFileWithANulByteInAGenotypeIsRefused)
{
    const std::string path = folder_.write("nul.txt", std::string("1 3\n0\0" "1\n", 8));
    EXPECT_EQ(fileRefusal(path), prefix(path) + "genotype 1 has byte 0x00 at site 2; sites must be '0', '1' or '2'");
}
