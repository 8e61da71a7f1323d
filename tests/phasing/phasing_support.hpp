#pragma once

// Simulated populations for the phasing tests: haplotypes that are mosaics
// of a few founders, so that the true phase is known.

#include "phasing/sample_phase.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace phasing_testing {

struct Population {
    std::vector<SamplePhase> truth;      // by sample
    std::vector<std::string> genotypes;  // by sample
};

// `samples` samples over `sites` sites, each haplotype copying one of
// `founders` random founders and moving to another one about every
// `segment` sites.
inline Population mosaicPopulation(unsigned seed, int samples, int sites, int founders, int segment)
{
    std::mt19937 rng(seed);
    std::vector<std::string> pool(static_cast<std::size_t>(founders), std::string(static_cast<std::size_t>(sites), '0'));
    std::bernoulli_distribution one(0.4);
    for (std::string& f : pool)
        for (char& c : f) c = one(rng) ? '1' : '0';
    std::uniform_int_distribution<int> founder(0, founders - 1);
    std::bernoulli_distribution move(1.0 / segment);
    const auto haplotype = [&] {
        std::string h(static_cast<std::size_t>(sites), '0');
        int from = founder(rng);
        for (int s = 0; s < sites; ++s) {
            if (move(rng)) from = founder(rng);
            h[static_cast<std::size_t>(s)] = pool[static_cast<std::size_t>(from)][static_cast<std::size_t>(s)];
        }
        return h;
    };
    Population p;
    for (int i = 0; i < samples; ++i) {
        SamplePhase phase{haplotype(), haplotype()};
        std::string g = phase.first;
        for (std::size_t s = 0; s < g.size(); ++s) {
            if (phase.first[s] != phase.second[s]) g[s] = '2';
        }
        p.truth.push_back(std::move(phase));
        p.genotypes.push_back(std::move(g));
    }
    return p;
}

// Switches of the phases against the truth: over consecutive heterozygous
// sites of each sample, the pairs whose relative phase differs.
inline int switchErrors(const std::vector<SamplePhase>& truth, const std::vector<SamplePhase>& phases)
{
    int switches = 0;
    for (std::size_t i = 0; i < truth.size(); ++i) {
        int last = -1;
        for (std::size_t s = 0; s < truth[i].first.size(); ++s) {
            if (truth[i].first[s] == truth[i].second[s]) continue;
            const int same = truth[i].first[s] == phases[i].first[s] ? 1 : 0;
            if (last >= 0 && same != last) ++switches;
            last = same;
        }
    }
    return switches;
}

// Every phase explains its sample's genotype at every site.
inline void expectExplained(const std::vector<std::string>& genotypes, const std::vector<SamplePhase>& phases)
{
    ASSERT_EQ(phases.size(), genotypes.size());
    for (std::size_t i = 0; i < genotypes.size(); ++i) {
        const std::string& g = genotypes[i];
        ASSERT_EQ(phases[i].first.size(), g.size());
        ASSERT_EQ(phases[i].second.size(), g.size());
        for (std::size_t s = 0; s < g.size(); ++s) {
            const char a = phases[i].first[s];
            const char b = phases[i].second[s];
            const bool explained = g[s] == '2' ? (a != b && (a == '0' || a == '1') && (b == '0' || b == '1'))
                                               : (a == g[s] && b == g[s]);
            ASSERT_TRUE(explained) << "sample " << i + 1 << ", site " << s + 1;
        }
    }
}

} // namespace phasing_testing
