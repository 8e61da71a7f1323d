#include "data/memory_budget.hpp"

#include "test_support.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>

TEST(MemoryBudget, ByteCountsAreWrittenForPeople)
{
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.0 KB"},
        {1536, "1.5 KB"},
        {10 * 1024, "10 KB"},
        {100ull << 20, "100 MB"},
        {(5ull << 30) / 2, "2.5 GB"},
        {24ull << 30, "24 GB"},
        {UINT64_MAX, "16 EB"},
    };
    for (const auto& c : cases) EXPECT_EQ(describeBytes(c.bytes), c.text) << c.bytes;
}

TEST(MemoryBudget, EstimatesOfTheSupportedSizesAreThoseTheReadmeStates)
{
    const struct {
        int distinct;
        int sites;
        const char* text;
    } cases[] = {
        {1000, 60, "21 MB"},     {4000, 60, "65 MB"},     {16383, 60, "699 MB"},
        {1000, 1000, "46 MB"},   {4000, 1000, "164 MB"},  {16383, 1000, "1.1 GB"},
        {1000, 10000, "284 MB"}, {4000, 10000, "1.1 GB"}, {16383, 10000, "4.9 GB"},
        {1000, 32767, "885 MB"}, {4000, 32767, "3.4 GB"}, {16383, 32767, "14 GB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describeBytes(estimateRunMemory(c.distinct, c.distinct, c.sites)), c.text)
            << c.distinct << " genotypes of " << c.sites << " sites";
    }
}

TEST(MemoryBudget, TheEstimateGrowsWithTheSitesAndTheSquareOfTheDistinctGenotypes)
{
    // With few sites the terms of the pairs of genotypes (compatibility
    // bitmap, candidate lists) dominate: twice the genotypes, almost four
    // times the memory.
    const double small = static_cast<double>(estimateRunMemory(8000, 8000, 60));
    const double large = static_cast<double>(estimateRunMemory(16000, 16000, 60));
    EXPECT_GT(large / small, 3.0);
    EXPECT_LT(large / small, 4.1);
    // With many sites the terms of slots times sites dominate: about linear.
    const double fewSites = static_cast<double>(estimateRunMemory(2000, 2000, 16000));
    const double manySites = static_cast<double>(estimateRunMemory(2000, 2000, 32000));
    EXPECT_GT(manySites / fewSites, 1.9);
    EXPECT_LT(manySites / fewSites, 2.1);
    // Repeats only add to the genotype table.
    EXPECT_EQ(estimateRunMemory(5000, 100, 20) - estimateRunMemory(100, 100, 20), genotypeTableBytes(4900, 20) + 4900 * 8);
}

TEST(MemoryBudget, TheLimitIsNeverAboveThePhysicalMemory)
{
    const MemoryLimit limit = currentMemoryLimit();
    const std::uint64_t physical = static_cast<std::uint64_t>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    EXPECT_GT(limit.bytes, 0u);
    EXPECT_LE(limit.bytes, physical);
    EXPECT_FALSE(limit.source.empty());
}

#if !defined(VELMORA_ADDRESS_SANITIZER)
TEST(MemoryBudget, AnAddressSpaceLimitLowersTheLimit)
{
    EXPECT_EQ(testing_support::inChild([] {
                  const struct rlimit oneGigabyte {1ull << 30, 1ull << 30};
                  setrlimit(RLIMIT_AS, &oneGigabyte);
                  const MemoryLimit limit = currentMemoryLimit();
                  return limit.bytes == (1ull << 30) && limit.source == "the address-space limit (ulimit -v)" ? 0 : 1;
              }),
              0);
}
#endif
