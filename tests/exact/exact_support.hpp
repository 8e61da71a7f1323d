#pragma once

// Instances and helpers shared by the tests of the exact check.

#include "fewest_haplotypes.hpp"
#include "output/reconstruction.hpp"

#include <random>
#include <set>
#include <string>
#include <vector>

namespace exact_support {

// At most `maxGenotypes` distinct genotypes of 1 to `maxSites` sites: half of
// the time made from pairs of a small random pool of haplotypes (as real data
// are, with shared haplotypes), otherwise with sites drawn at random and a
// random share of heterozygous ones.
inline std::vector<std::string> tinyInstance(std::mt19937& rng, int maxGenotypes = 6, int maxSites = 6)
{
    const int sites = std::uniform_int_distribution<int>(1, maxSites)(rng);
    const int wanted = std::uniform_int_distribution<int>(1, maxGenotypes)(rng);
    std::vector<std::string> pool;
    const bool pooled = rng() % 2 == 0;
    if (pooled) {
        const int size = std::uniform_int_distribution<int>(2, 6)(rng);
        for (int i = 0; i < size; ++i) {
            std::string h(static_cast<std::size_t>(sites), '0');
            for (char& c : h) c = static_cast<char>('0' + rng() % 2);
            pool.push_back(h);
        }
    }
    const int openPercent = std::uniform_int_distribution<int>(10, 70)(rng);
    std::set<std::string> seen;
    std::vector<std::string> genotypes;
    for (int attempt = 0; attempt < 4 * wanted && static_cast<int>(genotypes.size()) < wanted; ++attempt) {
        std::string g(static_cast<std::size_t>(sites), '0');
        if (pooled) {
            const std::string& a = pool[rng() % pool.size()];
            const std::string& b = pool[rng() % pool.size()];
            for (int s = 0; s < sites; ++s) g[s] = a[s] == b[s] ? a[s] : '2';
        } else {
            for (char& c : g) c = static_cast<int>(rng() % 100) < openPercent ? '2' : static_cast<char>('0' + rng() % 2);
        }
        if (seen.insert(g).second) genotypes.push_back(g);
    }
    return genotypes;
}

// Each genotype explained by two haplotypes of its own (every '2' of the
// first haplotype '0'), as a start that the exact check must improve on.
inline Reconstruction ownHaplotypes(const std::vector<std::string>& genotypes)
{
    return ownPairsReconstruction(genotypes);
}

inline std::string describe(const std::vector<std::string>& genotypes)
{
    std::string text;
    for (const std::string& g : genotypes) text += g + " ";
    return text;
}

} // namespace exact_support
