#include "exact/first_occurrence_model.hpp"

#include "exact/genotype_masks.hpp"
#include "exact/lower_bound.hpp"
#include "exact_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using exact_support::describe;

struct Variant {
    const char* name;
    bool layersNeedOwn;  // the bound's layers added as needing a haplotype of their own
    bool hinted;         // each genotype hinted with a random phasing of its own
};

const Variant kVariants[] = {
    {"plain", false, false},
    {"layers counted from the start", true, false},
    {"layers counted and hints", true, true},
};

// The genotypes in the order the exact check adds them: the clique of the
// bound, its layers, then the others; and for each whether it is a layer's.
std::vector<std::pair<std::string, bool>> modelOrder(const std::vector<std::string>& genotypes, const LowerBound& bound)
{
    std::vector<std::pair<std::string, bool>> order;
    std::vector<char> taken(genotypes.size(), 0);
    for (const int c : bound.cliqueMembers) {
        order.emplace_back(genotypes[c], false);
        taken[c] = 1;
    }
    for (const std::vector<int>& layer : bound.outsideLayers) {
        for (const int g : layer) {
            order.emplace_back(genotypes[g], true);
            taken[g] = 1;
        }
    }
    for (std::size_t g = 0; g < genotypes.size(); ++g)
        if (!taken[g]) order.emplace_back(genotypes[g], false);
    return order;
}

// A satisfied model explains its genotypes with at most `most` distinct haplotypes.
void expectExplainsWithin(const FirstOccurrenceModel& model, const std::vector<std::pair<std::string, bool>>& order,
                          int most)
{
    std::set<std::string> distinct;
    for (int i = 0; i < model.genotypeCount(); ++i) {
        const auto [a, b] = model.haplotypesOf(i);
        const std::string& g = order[i].first;
        ASSERT_EQ(a.size(), g.size());
        for (std::size_t s = 0; s < g.size(); ++s) {
            const char expected = a[s] == b[s] ? a[s] : '2';
            ASSERT_EQ(expected, g[s]) << "genotype " << g << " from " << a << " and " << b;
        }
        distinct.insert(a);
        distinct.insert(b);
    }
    EXPECT_LE(static_cast<int>(distinct.size()), most);
}

} // namespace

TEST(FirstOccurrenceModel, SatisfiableAtTheBruteForceOptimumAndNotBelowIt)
{
    std::mt19937 rng(2026);
    for (int instance = 0; instance < 300; ++instance) {
        const std::vector<std::string> genotypes = exact_support::tinyInstance(rng);
        const int optimum = brute_force::fewestHaplotypes(genotypes);
        const GenotypeMasks masks = makeGenotypeMasks(genotypes);
        const LowerBound bound = computeLowerBound(genotypes, masks, makeCompatibilityRows(masks), {});
        const std::vector<std::pair<std::string, bool>> order = modelOrder(genotypes, bound);
        const int sites = static_cast<int>(genotypes[0].size());
        for (const Variant& variant : kVariants) {
            SCOPED_TRACE(describe(genotypes) + "optimum " + std::to_string(optimum) + ", " + variant.name);
            FirstOccurrenceModel model(sites, optimum + 1);
            // Half of the genotypes, a call, then the rest: the model grows between calls.
            const std::size_t half = std::max<std::size_t>(1, order.size() / 2);
            const auto add = [&](std::size_t i) {
                model.addGenotype(order[i].first, variant.layersNeedOwn && order[i].second);
                if (!variant.hinted) return;
                // A hint need not be a good phasing: its own haplotypes, '0' first.
                std::string a = order[i].first, b = order[i].first;
                for (std::size_t s = 0; s < a.size(); ++s) {
                    if (a[s] == '2') {
                        a[s] = rng() % 2 ? '0' : '1';
                        b[s] = a[s] == '0' ? '1' : '0';
                    }
                }
                model.hintPair(static_cast<int>(i), a, b);
            };
            for (std::size_t i = 0; i < half; ++i) add(i);
            ASSERT_EQ(model.solve(optimum), SatAnswer::Satisfiable);
            expectExplainsWithin(model, order, optimum);
            for (std::size_t i = half; i < order.size(); ++i) add(i);
            ASSERT_EQ(model.solve(optimum + 1), SatAnswer::Satisfiable);
            EXPECT_EQ(model.solve(optimum - 1), SatAnswer::Unsatisfiable);
            if (variant.hinted) model.clearHints();
            // The same solver answers again after a refutation.
            ASSERT_EQ(model.solve(optimum), SatAnswer::Satisfiable);
            expectExplainsWithin(model, order, optimum);
        }
    }
}
