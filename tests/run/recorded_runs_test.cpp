// Whole runs compared with recordings: the console lines (all but the
// elapsed time) and the result file of each run must equal, byte for byte,
// what the program printed and wrote when the recordings were made. Any
// change of a choice, an order, a tie-break or a random draw shows up here.
//
// The inputs are made by the test from a fixed recipe; the recordings live
// in tests/data/recorded/ (NAME.console, NAME.result.gz). To record them
// anew with a given build of the program:
//
//   VELMORA_RECORD_WITH=/path/to/velmora ./velmora_tests --gtest_filter='Runs/RecordedRuns.*'

#include "run/run_support.hpp"

#include <htslib/bgzf.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

using namespace run_support;

namespace {

const std::string kRecordedDir = VELMORA_RECORDED_DIR;

// splitmix64: the inputs must not depend on the standard library's
// distributions, so that every platform makes the same files.
struct Mixer {
    std::uint64_t state;
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int bound) { return static_cast<int>(next() % static_cast<std::uint64_t>(bound)); }
};

// Genotypes as population data look: pairs of haplotypes from a pool of
// recombined founders with some noise. `count` draws, so repeats occur.
struct Recipe {
    int count;
    int sites;
    int poolSize;
    std::uint64_t seed;
    int founders = 10;
    int noise = 50;               // one site in `noise` of a pool haplotype is redrawn
    int openSites = 0;            // the first sites, heterozygous in every genotype
    bool homozygous = false;      // each genotype one haplotype twice
};

std::string recipeInput(const Recipe& r)
{
    Mixer mix{r.seed};
    const auto sites = static_cast<std::size_t>(r.sites);
    std::vector<std::string> founders(static_cast<std::size_t>(r.founders), std::string(sites, '0'));
    for (std::string& f : founders)
        for (char& c : f) c = static_cast<char>('0' + mix.below(2));
    std::vector<std::string> pool;
    for (int i = 0; i < r.poolSize; ++i) {
        const std::string& a = founders[mix.below(r.founders)];
        const std::string& b = founders[mix.below(r.founders)];
        const int cut = mix.below(r.sites);
        std::string h = a.substr(0, cut) + b.substr(cut);
        for (char& c : h)
            if (mix.below(r.noise) == 0) c = static_cast<char>('0' + mix.below(2));
        pool.push_back(h);
    }
    std::vector<std::string> genotypes;
    for (int i = 0; i < r.count; ++i) {
        const std::string& a = pool[mix.below(r.poolSize)];
        const std::string& b = r.homozygous ? a : pool[mix.below(r.poolSize)];
        std::string g(sites, '0');
        for (std::size_t s = 0; s < sites; ++s) {
            g[s] = static_cast<int>(s) < r.openSites || a[s] != b[s] ? '2' : a[s];
        }
        genotypes.push_back(g);
    }
    return genotypeFileText(genotypes);
}

struct RecordedRun {
    const char* name;
    Recipe recipe;
    std::vector<std::string> options;
};

// Mid-sized inputs whose perturbations improve, with several seeds, word
// boundaries of the site planes (64, 65 sites), repeated genotypes; and a
// few odd ones: sites left open in every solution (symbolic list), only
// homozygous genotypes, no perturbation attempts.
const std::vector<RecordedRun>& recordedRuns()
{
    static const std::vector<RecordedRun> runs{
        {"pool1000x30_s1", {1200, 30, 260, 11}, {"-i", "3", "-n", "3", "-s", "1"}},
        {"pool1000x30_s7", {1200, 30, 260, 11}, {"-i", "2", "-n", "4", "-s", "7"}},
        {"pool1500x64_s3", {1700, 64, 400, 12}, {"-i", "2", "-n", "2", "-s", "3"}},
        {"pool1200x65_s4", {1300, 65, 300, 13}, {"-i", "2", "-n", "2", "-s", "4"}},
        {"pool2000x20_s5", {2600, 20, 520, 14, 12}, {"-i", "1", "-n", "3", "-s", "5"}},
        {"pool3000x40_s6", {3060, 40, 760, 15}, {"-i", "1", "-n", "1", "-s", "6"}},
        {"pool1000x150_s8", {1030, 150, 250, 16, 10, 40}, {"-i", "1", "-n", "2", "-s", "8"}},
        {"open300x24_s2", {300, 24, 40, 17, 6, 50, 3}, {"-i", "3", "-n", "4", "-s", "2"}},
        {"homozygous500x40_s9", {700, 40, 500, 18, 10, 50, 0, true}, {"-i", "2", "-s", "9"}},
        {"nostall1000x30_s10", {1200, 30, 260, 11}, {"-i", "4", "-n", "0", "-s", "10"}},
    };
    return runs;
}

std::string readCompressed(const std::string& path)
{
    std::string text;
    BGZF* in = bgzf_open(path.c_str(), "r");
    if (in == nullptr) return text;
    char buffer[1 << 16];
    for (ssize_t got; (got = bgzf_read(in, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
    bgzf_close(in);
    return text;
}

bool writeCompressed(const std::string& path, const std::string& text)
{
    BGZF* out = bgzf_open(path.c_str(), "w9");
    if (out == nullptr) return false;
    const bool written = bgzf_write(out, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return bgzf_close(out) == 0 && written;
}

// The first line at which two texts differ, for a readable failure.
std::string firstDifference(const std::string& expected, const std::string& actual)
{
    const std::vector<std::string> a = splitLines(expected);
    const std::vector<std::string> b = splitLines(actual);
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::string x = i < a.size() ? a[i] : "<none>";
        const std::string y = i < b.size() ? b[i] : "<none>";
        if (x != y) return "line " + std::to_string(i + 1) + ": recorded '" + x + "', now '" + y + "'";
    }
    return "the same lines, different bytes";
}

void PrintTo(const RecordedRun& run, std::ostream* out)
{
    *out << run.name;
}

class RecordedRuns : public EndToEnd, public testing::WithParamInterface<RecordedRun> {};

TEST_P(RecordedRuns, ConsoleAndResultFileEqualTheRecording)
{
    const RecordedRun& recorded = GetParam();
    const std::string input = writeInput("input.txt", recipeInput(recorded.recipe));
    std::vector<std::string> arguments{input, "result.txt"};
    arguments.insert(arguments.end(), recorded.options.begin(), recorded.options.end());
    const char* recorder = std::getenv("VELMORA_RECORD_WITH");
    RunResult r;
    if (recorder != nullptr) {
        std::string command = "cd " + shellQuote(work_) + " && " + shellQuote(recorder);
        for (const std::string& a : arguments) command += " " + shellQuote(a);
        command += " >" + shellQuote(root_.path("stdout"));
        r.exitCode = std::system(command.c_str()) == 0 ? 0 : 1;
        r.out = readWholeFile(root_.path("stdout"));
    } else {
        r = run(arguments);
    }
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const Console console = parseConsole(r.out, "result.txt");
    const std::string result = readWholeFile(inWork("result.txt"));
    checkResultFile(result, readGenotypes(inWork(input)));

    const std::string base = kRecordedDir + "/" + recorded.name;
    if (recorder != nullptr) {
        std::ofstream(base + ".console", std::ios::binary) << console.withoutTiming;
        EXPECT_TRUE(writeCompressed(base + ".result.gz", result)) << base;
        return;
    }
    const std::string recordedConsole = readWholeFile(base + ".console");
    const std::string recordedResult = readCompressed(base + ".result.gz");
    ASSERT_FALSE(recordedConsole.empty()) << "no recording " << base << ".console";
    ASSERT_FALSE(recordedResult.empty()) << "no recording " << base << ".result.gz";
    EXPECT_EQ(console.withoutTiming, recordedConsole) << firstDifference(recordedConsole, console.withoutTiming);
    EXPECT_TRUE(result == recordedResult) << firstDifference(recordedResult, result);
}

INSTANTIATE_TEST_SUITE_P(Runs, RecordedRuns, testing::ValuesIn(recordedRuns()),
                         [](const testing::TestParamInfo<RecordedRun>& info) { return std::string(info.param.name); });

} // namespace
