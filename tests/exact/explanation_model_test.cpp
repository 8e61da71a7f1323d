#include "exact/explanation_model.hpp"

#include "exact/genotype_masks.hpp"
#include "exact/lower_bound.hpp"
#include "exact/model_decoding.hpp"
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
    SymmetryBreaking symmetry;
    bool pinClique;
    bool pinOutsideLayers;
    int largestOptimum;  // refutations without slot symmetry breaking grow with the factorial of the slots
};

const Variant kVariants[] = {
    {"no symmetry breaking", {false, false, false}, false, false, 6},
    {"orientation only", {false, true, false}, false, false, 6},
    {"first-use order only", {true, false, false}, false, false, 99},
    {"order and orientation", {true, true, false}, false, false, 99},
    {"clique pinned only", {false, false, false}, true, false, 99},
    {"clique and layers pinned only", {false, false, false}, true, true, 99},
    {"pinned and separated", {false, false, true}, true, true, 99},
    {"everything", {true, true, true}, true, true, 99},
};

// The genotypes of a model in the order the model holds them: the pinned
// ones first, then the others.
std::vector<std::string> modelOrder(const std::vector<std::string>& genotypes, const std::vector<int>& pinned)
{
    std::vector<std::string> order;
    for (const int c : pinned) order.push_back(genotypes[c]);
    for (int g = 0; g < static_cast<int>(genotypes.size()); ++g)
        if (std::find(pinned.begin(), pinned.end(), g) == pinned.end()) order.push_back(genotypes[g]);
    return order;
}

// A satisfied model's reconstruction explains its genotypes with at most
// `most` distinct haplotypes.
void expectDecodesWithin(const ExplanationModel& model, const std::vector<std::string>& order, int most)
{
    Reconstruction r = decodeReconstruction(model);
    EXPECT_EQ(findReconstructionFault(order, r), "");
    normalizeReconstruction(r);
    EXPECT_LE(static_cast<int>(r.haplotypes.size()), most);
}

} // namespace

TEST(ExplanationModel, SatisfiableAtTheOptimumAndNotBelowItWithAndWithoutSymmetryBreaking)
{
    std::mt19937 rng(2024);
    for (int instance = 0; instance < 300; ++instance) {
        const std::vector<std::string> genotypes = exact_support::tinyInstance(rng);
        const int optimum = brute_force::fewestHaplotypes(genotypes);
        const GenotypeMasks masks = makeGenotypeMasks(genotypes);
        const LowerBound bound = computeLowerBound(genotypes, masks, makeCompatibilityRows(masks), {});
        for (const Variant& variant : kVariants) {
            if (optimum > variant.largestOptimum) continue;
            SCOPED_TRACE(describe(genotypes) + "optimum " + std::to_string(optimum) + ", " + variant.name);
            std::vector<int> pinned = variant.pinClique ? bound.cliqueMembers : std::vector<int>{};
            int pinnedSlots = cliqueWeight(pinned, cliqueWeights(genotypes));
            const std::size_t clique = pinned.size();
            if (variant.pinOutsideLayers) {
                for (const std::vector<int>& layer : bound.outsideLayers) pinned.insert(pinned.end(), layer.begin(), layer.end());
                pinnedSlots += bound.outside();
            }
            const std::vector<std::string> order = modelOrder(genotypes, pinned);
            const int sites = static_cast<int>(genotypes[0].size());
            ExplanationModel model(sites, {}, optimum - pinnedSlots, variant.symmetry);
            for (std::size_t i = 0; i < pinned.size(); ++i) {
                if (i < clique) model.pinGenotype(genotypes[pinned[i]]);
                else model.pinOneHaplotype(genotypes[pinned[i]]);
            }
            // Half of the genotypes, a call, then the rest: the model grows between calls.
            const std::size_t half = pinned.size() + (order.size() - pinned.size()) / 2;
            for (std::size_t i = pinned.size(); i < half; ++i) model.addGenotype(order[i]);
            ASSERT_EQ(model.solve(optimum - pinnedSlots), SatAnswer::Satisfiable);
            for (std::size_t i = half; i < order.size(); ++i) model.addGenotype(order[i]);

            ASSERT_EQ(model.solve(optimum - pinnedSlots), SatAnswer::Satisfiable);
            expectDecodesWithin(model, order, optimum);
            if (optimum - 1 - pinnedSlots >= 0) {
                EXPECT_EQ(model.solve(optimum - 1 - pinnedSlots), SatAnswer::Unsatisfiable);
            }
            // The same solver answers again after a refutation.
            ASSERT_EQ(model.solve(optimum - pinnedSlots), SatAnswer::Satisfiable);
            expectDecodesWithin(model, order, optimum);
        }
    }
}

TEST(ExplanationModel, FixedHaplotypesLeaveTheFewestNewOnesToFind)
{
    std::mt19937 rng(77);
    for (int instance = 0; instance < 200; ++instance) {
        const std::vector<std::string> genotypes = exact_support::tinyInstance(rng);
        const int sites = static_cast<int>(genotypes[0].size());
        // Fixed haplotypes: one of each of some genotypes' phasings, and random strings.
        std::set<std::string> fixedSet;
        for (const std::string& g : genotypes) {
            if (rng() % 3 == 0) {
                const auto phasings = brute_force::phasingsOf(g);
                const auto& [a, b] = phasings[rng() % phasings.size()];
                fixedSet.insert(rng() % 2 == 0 ? a : b);
            }
        }
        for (int i = static_cast<int>(rng() % 3); i > 0; --i) {
            std::string h(static_cast<std::size_t>(sites), '0');
            for (char& c : h) c = static_cast<char>('0' + rng() % 2);
            fixedSet.insert(h);
        }
        const std::vector<std::string> fixed(fixedSet.begin(), fixedSet.end());
        const int fewest = brute_force::fewestHaplotypes(genotypes, fixed);
        SCOPED_TRACE(describe(genotypes) + "fixed " + describe(fixed) + "new " + std::to_string(fewest));

        ExplanationModel model(sites, fixed, fewest + 1);
        for (const std::string& g : genotypes) model.addGenotype(g);
        ASSERT_EQ(model.solve(fewest), SatAnswer::Satisfiable);
        const Reconstruction r = decodeReconstruction(model);
        EXPECT_EQ(findReconstructionFault(genotypes, r), "");
        std::set<std::string> added;
        for (const std::string& h : r.haplotypes)
            if (!fixedSet.count(h)) added.insert(h);
        EXPECT_LE(static_cast<int>(added.size()), fewest);
        if (fewest > 0) {
            EXPECT_EQ(model.solve(fewest - 1), SatAnswer::Unsatisfiable);
        }

        // The same through the one-call form.
        Reconstruction one;
        ASSERT_EQ(explainWithFixedHaplotypes(genotypes, fixed, fewest, one), SatAnswer::Satisfiable);
        EXPECT_EQ(findReconstructionFault(genotypes, one), "");
        EXPECT_TRUE(std::is_sorted(one.haplotypes.begin(), one.haplotypes.end()));
        const auto isNew = [&](const std::string& h) { return !fixedSet.count(h); };
        EXPECT_LE(std::count_if(one.haplotypes.begin(), one.haplotypes.end(), isNew), fewest);
        if (fewest > 0) {
            EXPECT_EQ(explainWithFixedHaplotypes(genotypes, fixed, fewest - 1, one), SatAnswer::Unsatisfiable);
        }
    }
}

TEST(ExplanationModel, AGenotypeThatNoSlotFitsMakesTheModelUnsatisfiable)
{
    // Only the fixed haplotype 00 and no free slot: 01 cannot be explained.
    ExplanationModel model(2, {"00"}, 0);
    model.addGenotype("00");
    EXPECT_EQ(model.solve(0), SatAnswer::Satisfiable);
    model.addGenotype("01");
    EXPECT_EQ(model.solve(0), SatAnswer::Unsatisfiable);
}

TEST(ExplanationModel, GenotypesArePinnedBeforeAnyIsAdded)
{
    ExplanationModel model(2, {}, 2);
    model.addGenotype("02");
    EXPECT_THROW(model.pinGenotype("12"), std::logic_error);
}
