// Writes a genotype file for benchmarks and profiles, on standard output.
//
//   velmora_generate random DISTINCT SITES [POOL [SEED]]
//       DISTINCT different genotypes of SITES sites, each the pair of two
//       haplotypes drawn from a pool of POOL random haplotypes (by default
//       the smallest pool with four times DISTINCT pairs).
//   velmora_generate pool DISTINCT SITES [SEED]
//       The same from a pool of recombined founders with a little noise
//       (the inputs of the micro-benchmarks): far more compatible slots, so
//       far more work per attempt, and many more improving attempts.
//   velmora_generate pair [SEED] < haplotypes
//       Genotypes from haplotypes of '0'/'1' lines, paired at random after a
//       seeded shuffle. From ms-style output (Debian's `scrm`) the first
//       sample is read; from other text every line of '0' and '1' of the
//       first such line's length.
//
// The same arguments always give the same file: the generator is a plain
// 64-bit mixer, not the standard library's distributions.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

// splitmix64: a well-mixed sequence from a seed, identical on every platform.
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

std::string genotypeOf(const std::string& a, const std::string& b)
{
    std::string g(a.size(), '0');
    for (std::size_t s = 0; s < a.size(); ++s) g[s] = a[s] == b[s] ? a[s] : '2';
    return g;
}

void writeGenotypes(const std::vector<std::string>& genotypes)
{
    std::printf("%zu %zu\n", genotypes.size(), genotypes.empty() ? std::size_t{0} : genotypes[0].size());
    for (const std::string& g : genotypes) std::printf("%s\n", g.c_str());
}

std::string randomHaplotype(Mixer& mix, int length)
{
    std::string h(static_cast<std::size_t>(length), '0');
    for (char& c : h) c = static_cast<char>('0' + mix.below(2));
    return h;
}

// DISTINCT different genotypes from pairs of the pool. Few sites may not
// offer that many: give up after many draws in a row that bring nothing new.
std::vector<std::string> pairsOfPool(const std::vector<std::string>& pool, int distinct, Mixer& mix)
{
    const int poolSize = static_cast<int>(pool.size());
    std::unordered_set<std::string> seen;
    std::vector<std::string> genotypes;
    for (int misses = 0; static_cast<int>(genotypes.size()) < distinct && misses < 1000000;) {
        std::string g = genotypeOf(pool[mix.below(poolSize)], pool[mix.below(poolSize)]);
        if (seen.insert(g).second) {
            genotypes.push_back(g);
            misses = 0;
        } else {
            ++misses;
        }
    }
    return genotypes;
}

std::vector<std::string> randomPoolGenotypes(int distinct, int length, int poolSize, std::uint64_t seed)
{
    Mixer mix{seed};
    if (poolSize < 1) {
        poolSize = 1;
        while (static_cast<std::int64_t>(poolSize) * (poolSize + 1) / 2 < 4 * static_cast<std::int64_t>(distinct)) ++poolSize;
    }
    std::vector<std::string> pool;
    for (int i = 0; i < poolSize; ++i) pool.push_back(randomHaplotype(mix, length));
    return pairsOfPool(pool, distinct, mix);
}

std::vector<std::string> founderPoolGenotypes(int distinct, int length, std::uint64_t seed)
{
    Mixer mix{seed};
    std::vector<std::string> founders;
    for (int i = 0; i < 10; ++i) founders.push_back(randomHaplotype(mix, length));
    std::vector<std::string> pool;
    const int poolSize = distinct / 4 + 10;
    for (int i = 0; i < poolSize; ++i) {
        const std::string& a = founders[mix.below(10)];
        const std::string& b = founders[mix.below(10)];
        const int cut = mix.below(length);
        std::string h = a.substr(0, cut) + b.substr(cut);
        for (char& c : h)
            if (mix.below(50) == 0) c = static_cast<char>('0' + mix.below(2));
        pool.push_back(h);
    }
    return pairsOfPool(pool, distinct, mix);
}

std::vector<std::string> pairedGenotypes(std::istream& in, std::uint64_t seed)
{
    std::vector<std::string> lines;
    std::string line;
    bool simulation = false;  // ms-style output: "//", "segsites:", "positions:", haplotypes
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("positions:", 0) == 0) simulation = true;
        lines.push_back(line);
    }
    // Of ms-style output only the first sample's haplotypes, after its positions.
    std::size_t first = 0;
    if (simulation) {
        while (lines[first].rfind("positions:", 0) != 0) ++first;
        ++first;
    }
    std::vector<std::string> haplotypes;
    for (std::size_t i = first; i < lines.size(); ++i) {
        const std::string& h = lines[i];
        const bool haplotype = !h.empty() && h.find_first_not_of("01") == std::string::npos;
        if (simulation && !haplotype) break;
        if (!haplotype || (!haplotypes.empty() && h.size() != haplotypes[0].size())) continue;
        haplotypes.push_back(h);
    }
    // A seeded shuffle, so that one simulation gives several samples.
    Mixer mix{seed};
    for (std::size_t i = haplotypes.size(); i > 1; --i) {
        std::swap(haplotypes[i - 1], haplotypes[mix.below(static_cast<int>(i))]);
    }
    std::vector<std::string> genotypes;
    for (std::size_t i = 0; i + 1 < haplotypes.size(); i += 2) genotypes.push_back(genotypeOf(haplotypes[i], haplotypes[i + 1]));
    return genotypes;
}

int usage()
{
    std::fputs("usage: velmora_generate random DISTINCT SITES [POOL [SEED]]\n"
               "       velmora_generate pool DISTINCT SITES [SEED]\n"
               "       velmora_generate pair [SEED] < haplotypes\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    const std::string mode = argv[1];
    if (mode == "random" && argc >= 4 && argc <= 6) {
        const int distinct = std::atoi(argv[2]);
        const int sites = std::atoi(argv[3]);
        const int pool = argc >= 5 ? std::atoi(argv[4]) : 0;
        const std::uint64_t seed = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : 1;
        if (distinct < 1 || sites < 1) return usage();
        writeGenotypes(randomPoolGenotypes(distinct, sites, pool, seed));
        return 0;
    }
    if (mode == "pool" && (argc == 4 || argc == 5)) {
        const int distinct = std::atoi(argv[2]);
        const int sites = std::atoi(argv[3]);
        const std::uint64_t seed = argc == 5 ? std::strtoull(argv[4], nullptr, 10) : 1;
        if (distinct < 1 || sites < 1) return usage();
        writeGenotypes(founderPoolGenotypes(distinct, sites, seed));
        return 0;
    }
    if (mode == "pair" && argc <= 3) {
        const std::uint64_t seed = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 1;
        const std::vector<std::string> genotypes = pairedGenotypes(std::cin, seed);
        if (genotypes.empty()) {
            std::fputs("velmora_generate: no haplotype pairs on standard input\n", stderr);
            return 1;
        }
        writeGenotypes(genotypes);
        return 0;
    }
    return usage();
}
