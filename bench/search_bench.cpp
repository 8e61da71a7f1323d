// Micro-benchmarks of the two phases of an attempt: the random collapse and
// the collapse pass, on random inputs of 100, 500 and 2000 distinct genotypes.
//
//   cmake -S . -B build -DVELMORA_BENCH=ON && cmake --build build -j2 --target velmora_bench
//   ./build/bench/velmora_bench

#include "data/genotype_table.hpp"
#include "data/haplotype_list.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "search/collapse_pass.hpp"
#include "search/pair_choice.hpp"
#include "search/random_generator.hpp"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// Genotypes of `distinct` different strings of `length` sites, each the
// pair of two haplotypes drawn from a pool of recombined founders, with a
// little noise, as population data look.
std::vector<std::string> populationGenotypes(int distinct, int length, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> bit(0, 1);
    std::vector<std::string> founders(10, std::string(static_cast<std::size_t>(length), '0'));
    for (std::string& f : founders)
        for (char& c : f) c = static_cast<char>('0' + bit(rng));
    std::vector<std::string> pool;
    const int poolSize = distinct / 4 + 10;
    for (int i = 0; i < poolSize; ++i) {
        const std::string& a = founders[rng() % founders.size()];
        const std::string& b = founders[rng() % founders.size()];
        const int cut = static_cast<int>(rng() % static_cast<unsigned>(length));
        std::string h = a.substr(0, cut) + b.substr(cut);
        for (char& c : h)
            if (rng() % 50 == 0) c = static_cast<char>('0' + bit(rng));
        pool.push_back(h);
    }
    std::set<std::string> seen;
    std::vector<std::string> genotypes;
    while (static_cast<int>(seen.size()) < distinct) {
        const std::string& a = pool[rng() % pool.size()];
        const std::string& b = pool[rng() % pool.size()];
        std::string g(static_cast<std::size_t>(length), '0');
        for (int s = 0; s < length; ++s) g[s] = a[s] == b[s] ? a[s] : '2';
        if (seen.insert(g).second) genotypes.push_back(g);
    }
    return genotypes;
}

struct Setup {
    HaplotypeList initial;
    std::unique_ptr<SearchState> state = std::make_unique<SearchState>();
    DistanceStructure distances;

    explicit Setup(int distinct)
    {
        const std::vector<std::string> genotypes = populationGenotypes(distinct, 50, 2026u + distinct);
        std::vector<int> map;
        initial = buildHaplotypeList(static_cast<int>(genotypes.size()), 50, genotypes,
                                     static_cast<int>(genotypes.size()), map);
        createSearchState(*state, initial);
        distances = createDistanceStructure(initial);
    }
};

void randomCollapseBench(benchmark::State& bench)
{
    Setup setup(static_cast<int>(bench.range(0)));
    RandomGenerator random;
    seedGenerator(random, 1);
    for (auto _ : bench) {
        bench.PauseTiming();
        resetSearchState(*setup.state, setup.initial, setup.distances);
        bench.ResumeTiming();
        randomCollapse(*setup.state, setup.distances, random);
        benchmark::DoNotOptimize(setup.state->current.liveCount);
    }
}

void collapsePassBench(benchmark::State& bench)
{
    Setup setup(static_cast<int>(bench.range(0)));
    RandomGenerator random;
    seedGenerator(random, 1);
    for (auto _ : bench) {
        bench.PauseTiming();
        resetSearchState(*setup.state, setup.initial, setup.distances);
        randomCollapse(*setup.state, setup.distances, random);
        bench.ResumeTiming();
        const CollapsePassResult result = collapsePass(*setup.state, setup.initial);
        benchmark::DoNotOptimize(result.used);
    }
}

} // namespace

BENCHMARK(randomCollapseBench)->Arg(100)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(collapsePassBench)->Arg(100)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
