#pragma once

// Small builders and file helpers shared by the tests.

#include "data/genotype_table.hpp"
#include "data/haplotype_list.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "output/reconstruction.hpp"
#include "run/run_clock.hpp"
#include "run/run_settings.hpp"
#include "run/search_run.hpp"
#include "search/random_generator.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace testing_support {

// The text printed for -h, --help, too few arguments and a bad option.
inline const char* const kUsageText =
    "Usage: Velmora <inputFilename> <outputFileName> [<options>]\n\n"
    "Possible options are:\n"
    "-t <max computation time> (in sec.)\n"
    "-i <max number of iterations>\n"
    "-s <random seed>\n";

// The whole content of a file, byte for byte; empty when it cannot be read.
inline std::string readWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The names of the entries of a folder, sorted.
inline std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh folder under /tmp, removed with everything in it when the object
// goes. As a fixture member it is made before the test runs; if it cannot be
// made the test fails without running.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& prefix)
    {
        std::string pattern = "/tmp/" + prefix + "_XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a folder like " + pattern);
        root_ = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& root() const { return root_; }
    std::string path(const std::string& name) const { return root_ + "/" + name; }

    // Writes `content` to the file `name` (which may lie in a subfolder made
    // before) and returns its path.
    std::string write(const std::string& name, const std::string& content) const
    {
        const std::string file = path(name);
        std::ofstream out(file, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) ADD_FAILURE() << "could not write " << file;
        return file;
    }

    std::vector<std::string> entries() const { return folderEntries(root_); }

private:
    std::string root_;
};

// The slot distance walked site by site, as a reference for the distance
// structure's word-parallel computation.
inline int referenceSlotDistance(const std::string& s, const std::string& t, int la, int lb)
{
    int count = 0;
    for (std::size_t k = 0; k < s.size(); ++k) {
        const char x = s[k];
        const char y = t[k];
        if ((x == '0' && y == '1') || (x == '1' && y == '0')) return -1;
        if (x == '2' && y == '2' && la == -lb) return -1;
        if ((x == '2') != (y == '2')) ++count;
    }
    return count;
}

// A list whose slots hold the given texts and labels, all live in identity order.
inline HaplotypeList listOf(const std::vector<std::string>& texts, const std::vector<int>& labels)
{
    const int length = texts.empty() ? 0 : static_cast<int>(texts[0].size());
    HaplotypeList list = createHaplotypeList(static_cast<int>(texts.size()), length);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        list.text[i] = texts[i];
        list.label[i] = labels[i];
    }
    return list;
}

// The initial list of a set of genotypes, as a run builds it.
inline HaplotypeList initialListOf(const std::vector<std::string>& genotypes)
{
    GenotypeTable table;
    std::string text = std::to_string(genotypes.size()) + " " + std::to_string(genotypes[0].size());
    for (const std::string& g : genotypes) text += "\n" + g;
    parseGenotypeText(text, "test", table);
    std::vector<int> map;
    return buildHaplotypeList(table.genotypeCount, table.length, table.genotypes, table.distinctCount, map);
}

// Everything a search step needs, freshly created and reset.
struct SearchFixture {
    HaplotypeList initial;
    SearchState state;
    DistanceStructure distances;

    explicit SearchFixture(const std::vector<std::string>& genotypes)
        : initial(initialListOf(genotypes))
    {
        createSearchState(state, initial);
        distances = createDistanceStructure(initial);
        resetSearchState(state, initial, distances);
    }
};

// Genotypes made from pairs of a random pool of haplotypes, as real data are.
inline std::vector<std::string> randomGenotypes(std::mt19937& rng, int count, int length, int poolSize)
{
    std::vector<std::string> pool(static_cast<std::size_t>(poolSize));
    std::uniform_int_distribution<int> bit(0, 1);
    for (std::string& h : pool) {
        h.resize(static_cast<std::size_t>(length));
        for (char& c : h) c = static_cast<char>('0' + bit(rng));
    }
    std::uniform_int_distribution<int> pick(0, poolSize - 1);
    std::vector<std::string> genotypes;
    for (int i = 0; i < count; ++i) {
        const std::string& a = pool[pick(rng)];
        const std::string& b = pool[pick(rng)];
        std::string g(static_cast<std::size_t>(length), '0');
        for (int s = 0; s < length; ++s) g[s] = a[s] == b[s] ? a[s] : '2';
        genotypes.push_back(g);
    }
    return genotypes;
}

// What a whole search of the genotypes (as an input file in this order)
// ends with: the result file's text and its reconstruction.
struct SearchResult {
    std::string text;
    Reconstruction reconstruction;
    std::vector<std::string> distinct;  // the distinct genotypes, as the reconstruction numbers them
    std::vector<int> genotypeMap;
};

inline SearchResult searchResult(const std::vector<std::string>& genotypes, int seed, int iterations, int stall)
{
    std::string input = std::to_string(genotypes.size()) + " " + std::to_string(genotypes[0].size());
    for (const std::string& g : genotypes) input += "\n" + g;
    GenotypeTable table;
    if (!parseGenotypeText(input, "test", table).ok) throw std::runtime_error("bad genotypes");
    SearchResult result;
    const HaplotypeList initial =
        buildHaplotypeList(table.genotypeCount, table.length, table.genotypes, table.distinctCount, result.genotypeMap);
    auto state = std::make_unique<SearchState>();
    createSearchState(*state, initial);
    DistanceStructure distances = createDistanceStructure(initial);
    RandomGenerator random;
    seedGenerator(random, seed);
    RunSettings settings;
    settings.maxIter = iterations;
    settings.maxStall = stall;
    RunClock clock = startRunClock();
    if (!runSearch(settings, initial, *state, distances, random, clock).bestSaved) throw std::runtime_error("no result");
    result.text = composeResult(*state, initial, table, result.genotypeMap, random, &result.reconstruction);
    for (int k = 0; k < table.distinctCount; ++k) result.distinct.push_back(initial.text[2 * k]);
    return result;
}

// The exit code of a child, or 1000 plus the signal that killed it.
inline int exitCodeOf(int status)
{
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 1000 + WTERMSIG(status);
    return -1;
}

// Runs `body` in a child process and returns the child's exit code (body's
// result, or whatever ended the child first).
inline int inChild(const std::function<int()>& body)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return exitCodeOf(status);
}

} // namespace testing_support
