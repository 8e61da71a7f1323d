// The pieces of a run on several threads: the seeds of the iterations, the
// console that prints their lines in order, the count of available cores.

#include "run/available_cores.hpp"
#include "run/iteration_seed.hpp"
#include "run/ordered_console.hpp"
#include "search/random_generator.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

TEST(IterationSeed, IsAFixedMixThatGivesEveryIterationItsOwnStream)
{
    // The mix is part of what a seed means, so its values are pinned.
    EXPECT_EQ(iterationSeed(1, 0), 3291240986u);
    EXPECT_EQ(iterationSeed(1, 1), 541299110u);
    EXPECT_EQ(iterationSeed(1, 2), 3010476760u);
    EXPECT_NE(iterationSeed(1, 1), iterationSeed(2, 1));
    std::set<std::uint32_t> seeds;
    std::set<std::vector<int>> firstDraws;
    for (int iteration = 0; iteration <= 20000; ++iteration) {
        seeds.insert(iterationSeed(7, iteration));
        if (iteration <= 2000) {
            RandomGenerator random;
            seedGenerator(random, static_cast<int>(iterationSeed(7, iteration)));
            std::vector<int> draws;
            for (int k = 0; k < 4; ++k) draws.push_back(drawRandom(random));
            firstDraws.insert(draws);
        }
    }
    EXPECT_EQ(seeds.size(), 20001u);
    EXPECT_EQ(firstDraws.size(), 2001u);
    for (const int seed : {0, -1, 2147483647}) EXPECT_NE(iterationSeed(seed, 1), iterationSeed(seed, 2));
}

TEST(OrderedConsole, PrintsLinesInIterationOrderWhateverOrderTheyComeIn)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    ASSERT_NE(out, nullptr);
    constexpr int kIterations = 40;
    {
        OrderedConsole console(out);
        std::vector<std::thread> workers;
        for (int worker = 0; worker < 4; ++worker) {
            workers.emplace_back([&console, worker] {
                std::mt19937 rng(static_cast<unsigned>(worker));
                for (int iteration = 1 + worker; iteration <= kIterations; iteration += 4) {
                    console.append(iteration, "Iter # " + std::to_string(iteration) + " ... ");
                    for (int n = 3; n > 0; --n) {
                        console.append(iteration, std::to_string(iteration * 10 + n) + ". ");
                        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 300));
                    }
                    console.endLine(iteration);
                }
            });
        }
        for (std::thread& w : workers) w.join();
    }
    std::fclose(out);
    std::string expected;
    for (int iteration = 1; iteration <= kIterations; ++iteration) {
        expected += "Iter # " + std::to_string(iteration) + " ... ";
        for (int n = 3; n > 0; --n) expected += std::to_string(iteration * 10 + n) + ". ";
        expected += "\n";
    }
    EXPECT_EQ(std::string(buffer, size), expected);
    std::free(buffer);
}

TEST(AvailableCores, FollowTheQuotaAndTheAffinityMask)
{
    const struct {
        const char* cpuMax;
        int cores;
    } cases[] = {{"max 100000", 0}, {"200000 100000", 2}, {"150000 100000", 2}, {"50000 100000", 1},
                 {"", 0},           {"x y", 0},          {"-1 100000", 0}};
    for (const auto& c : cases) EXPECT_EQ(coresOfCpuMax(c.cpuMax), c.cores) << c.cpuMax;
    const AvailableCores cores = availableCores();
    EXPECT_GE(cores.count, 1);
    EXPECT_LE(cores.count, static_cast<int>(std::thread::hardware_concurrency()));
    EXPECT_FALSE(cores.source.empty());
}
