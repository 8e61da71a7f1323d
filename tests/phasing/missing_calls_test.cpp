// Missing calls imputed: what a missing call becomes in the phased output,
// and that every observed call stays explained.

#include "phasing/missing_calls.hpp"
#include "phasing/open_calls.hpp"
#include "phasing/phasing_support.hpp"
#include "run/run_support.hpp"
#include "vcf/vcf_test_support.hpp"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace run_support;
using namespace vcf_testing;
using namespace phasing_testing;

namespace {

// A VCF of the genotypes in which the calls marked '.' are missing ('.'
// alone, './.' or a half-missing './1' in turn).
std::vector<std::string> recordsWithMissing(const std::vector<std::string>& genotypes)
{
    std::vector<std::string> records;
    int missing = 0;
    for (std::size_t s = 0; s < genotypes.front().size(); ++s) {
        std::string record = "1 " + std::to_string(100 * (s + 1)) + " . A C";
        for (const std::string& g : genotypes) {
            const char c = g[s];
            static const char* const kMissing[] = {" .", " ./.", " ./1", " 0|."};
            record += c == '.' ? kMissing[missing++ % 4] : c == '0' ? " 0/0" : c == '1' ? " 1/1" : " 1/0";
        }
        records.push_back(record);
    }
    return records;
}

class MissingCalls : public EndToEnd {
protected:
    // Runs the program on the genotypes ('.' for a missing call) and returns
    // each sample's phased alleles, checked to be two phased alleles at every
    // site and to explain every call that is not missing.
    std::vector<SamplePhase> phaseWithMissing(const std::vector<std::string>& genotypes,
                                              const std::vector<std::string>& options)
    {
        writeInput("in.vcf", vcfText(sampleNames(genotypes.size()), recordsWithMissing(genotypes)));
        std::vector<std::string> arguments{"in.vcf", "out.vcf", "--report", "run.json"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const RunResult r = run(arguments);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        std::vector<SamplePhase> phases(genotypes.size());
        for (const std::string& line : splitLines(readWholeFile(inWork("out.vcf")))) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            std::string field;
            for (int f = 0; f < 9; ++f) fields >> field;
            for (SamplePhase& phase : phases) {
                fields >> field;
                EXPECT_TRUE(field.size() == 3 && field[1] == '|' && (field[0] == '0' || field[0] == '1')
                            && (field[2] == '0' || field[2] == '1'))
                    << field;
                phase.first += field[0];
                phase.second += field[2];
            }
        }
        // A site where every call is missing is left out.
        std::vector<std::size_t> kept;
        for (std::size_t s = 0; s < genotypes[0].size(); ++s) {
            for (const std::string& g : genotypes) {
                if (g[s] != '.') {
                    kept.push_back(s);
                    break;
                }
            }
        }
        for (std::size_t i = 0; i < genotypes.size(); ++i) {
            EXPECT_EQ(phases[i].first.size(), kept.size());
            for (std::size_t k = 0; k < kept.size() && k < phases[i].first.size(); ++k) {
                const char g = genotypes[i][kept[k]];
                const char a = phases[i].first[k];
                const char b = phases[i].second[k];
                if (g == '.') continue;
                EXPECT_TRUE(g == '2' ? a != b : a == g && b == g) << "sample " << i + 1 << ", site " << kept[k] + 1;
            }
        }
        return phases;
    }
};

TEST_F(MissingCalls, EveryObservedCallStaysExplainedWithWindowsAndWithoutOnManyRandomInputs)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        const int samples = 3 + round % 4;
        const int sites = 4 + 3 * round;
        Population p = mosaicPopulation(static_cast<unsigned>(round), samples, sites, 3, 6);
        std::bernoulli_distribution drop(0.15);
        for (std::string& g : p.genotypes)
            for (char& c : g)
                if (drop(rng)) c = '.';
        // A sample without any call, and (when there is room) a site without any.
        p.genotypes[0] = std::string(static_cast<std::size_t>(sites), '.');
        if (round % 2 == 1) {
            for (std::string& g : p.genotypes) g[1] = '.';
        }
        // Windows of four sites overlapping by two put missing calls into overlaps.
        phaseWithMissing(p.genotypes, {"--window", "4", "--overlap", "2"});
        phaseWithMissing(p.genotypes, {"--window", "0", "-i", "3"});
    }
}

TEST_F(MissingCalls, AMissingCallTakesTheAllelesOfItsSamplesPairAndIsCountedInTheReport)
{
    // Ten samples carry haplotypes h1 and h2, five h1 twice, five h2 twice;
    // one of the ten misses a call where they are heterozygous and another
    // where they are homozygous. Windows of 4 sites overlapping by 2 put the
    // calls into overlaps.
    const std::string h1 = "0101001101";
    const std::string h2 = "1010001010";
    std::string g(h1.size(), '0');
    for (std::size_t s = 0; s < g.size(); ++s) g[s] = h1[s] == h2[s] ? h1[s] : '2';
    std::vector<std::string> genotypes(10, g);
    genotypes.insert(genotypes.end(), 5, h1);
    genotypes.insert(genotypes.end(), 5, h2);
    genotypes[3][2] = '.';
    genotypes[7][4] = '.';
    const std::vector<SamplePhase> phases = phaseWithMissing(genotypes, {"--window", "4", "--overlap", "2"});
    for (const int sample : {3, 7}) {
        const SamplePhase& phase = phases[static_cast<std::size_t>(sample)];
        EXPECT_TRUE((phase.first == h1 && phase.second == h2) || (phase.first == h2 && phase.second == h1))
            << phase.first << " / " << phase.second;
    }
    const nlohmann::json report = nlohmann::json::parse(readWholeFile(inWork("run.json")));
    EXPECT_EQ(report["input"]["vcf"]["imputed_calls"], 2);
    EXPECT_EQ(report["input"]["vcf"]["imputed_calls_by_sample"],
              nlohmann::json::parse(R"([{"sample": "S4", "calls": 1}, {"sample": "S8", "calls": 1}])"));
}

TEST(MissingCallFill, TakesTheValueOfTheClosestSamplesAndKeepsItOnATie)
{
    std::vector<std::string> genotypes = {"0120", "0121", "0121", "2102", "0120"};
    const std::vector<std::vector<int>> missing = {{3}, {}, {}, {}, {}};
    genotypes[0][3] = '2';  // the value the reader gave it
    // Samples 2 and 3 agree with sample 1 on its three calls; 5 does too.
    // Two of them say 1, one says 0.
    EXPECT_EQ(fillFromClosestSamples(genotypes, missing), 1);
    EXPECT_EQ(genotypes[0], "0121");
    // A tie keeps the value.
    std::vector<std::string> tied = {"0122", "0121", "0120"};
    EXPECT_EQ(fillFromClosestSamples(tied, {{3}, {}, {}}), 0);
    EXPECT_EQ(tied[0], "0122");
}

TEST(OpenCallPairs, ASampleWithAMissingCallMayTakeEveryPairThatExplainsItsObservedCalls)
{
    // Both samples were filled to 202; the first one's middle call is missing.
    WindowSolution window;
    window.sites = {0, 3};
    window.haplotypes = {"000", "101", "111", "010"};
    window.genotypeOfSample = {0, 0};
    window.pairs = {{{0, 1}}};
    const std::vector<std::vector<int>> missing = {{1}, {}};
    addOpenCallPairs(window, observedCalls({"202", "202"}, missing), missing);
    // The search's pair first, then the others that are heterozygous at the
    // first and last sites.
    const std::vector<HaplotypePair> open = {{0, 1}, {0, 2}, {1, 3}, {2, 3}};
    EXPECT_EQ(pairsOfSample(window, 0), open);
    EXPECT_EQ(pairsOfSample(window, 1), window.pairs[0]);
    ASSERT_EQ(window.samplePairs.size(), 1u);
}

} // namespace
