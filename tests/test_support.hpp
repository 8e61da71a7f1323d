#pragma once

// Small builders shared by the tests.

#include "data/genotype_table.hpp"
#include "data/haplotype_list.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace testing_support {

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

} // namespace testing_support
