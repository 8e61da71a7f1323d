// Replays the fuzzing corpus, seeds and saved findings alike, through the
// checks the fuzz targets make, so that every input that once went wrong
// keeps being checked by the ordinary test suite.

#include "checks.hpp"

#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Check = std::string (*)(const std::uint8_t*, std::size_t);

void replayCorpus(const std::string& target, Check check)
{
    const fs::path folder = fs::path(VELMORA_FUZZ_DIR) / "corpus" / target;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    int replayed = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string bytes = testing_support::readWholeFile(entry.path().string());
        EXPECT_EQ(check(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "")
            << entry.path().filename();
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

} // namespace

TEST(FuzzCorpus, GenotypeReaderInputsKeepTheirProperties)
{
    replayCorpus("genotype_reader", checkGenotypeReaderInput);
}

TEST(FuzzCorpus, CommandLineInputsKeepTheirProperties)
{
    replayCorpus("command_line", checkCommandLineInput);
}

TEST(FuzzCorpus, WholeSearchInputsKeepTheirProperties)
{
    replayCorpus("whole_search", checkWholeSearchInput);
}

TEST(FuzzCorpus, ExactProofInputsKeepTheirProperties)
{
    replayCorpus("exact_proof", checkExactProofInput);
}

TEST(FuzzCorpus, VcfReaderInputsKeepTheirProperties)
{
    replayCorpus("vcf_reader", checkVcfReaderInput);
}
