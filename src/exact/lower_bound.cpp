#include "exact/lower_bound.hpp"

#include <algorithm>

namespace {

bool hasOpenSite(const GenotypeMasks& masks, int g)
{
    const std::uint64_t* open = masks.openOf(g);
    for (int w = 0; w < masks.words; ++w) {
        if (open[w] != 0) return true;
    }
    return false;
}

// Whether heterozygous g can take one haplotype of member a and the other
// of member b (both compatible with g): they must differ at g's
// heterozygous sites, so a and b must not hold the same homozygous value at
// any of them.
bool membersCanShareOut(const GenotypeMasks& masks, int g, int a, int b)
{
    const std::uint64_t* open = masks.openOf(g);
    for (int w = 0; w < masks.words; ++w) {
        const std::uint64_t same = (masks.zeroOf(a)[w] & masks.zeroOf(b)[w]) | (masks.oneOf(a)[w] & masks.oneOf(b)[w]);
        if (open[w] & same) return false;
    }
    return true;
}

} // namespace

int countingBound(int homozygous, int heterozygous)
{
    long long k = homozygous;
    while (k * (k - 1) / 2 < heterozygous) ++k;
    return static_cast<int>(k);
}

std::vector<int> cliqueWeights(const std::vector<std::string>& genotypes)
{
    std::vector<int> weights;
    weights.reserve(genotypes.size());
    for (const std::string& g : genotypes) weights.push_back(isHeterozygous(g) ? 2 : 1);
    return weights;
}

bool needsHaplotypeOutsideClique(const GenotypeMasks& masks, const std::vector<int>& clique, int g)
{
    if (std::find(clique.begin(), clique.end(), g) != clique.end()) return false;
    std::vector<int> compatible;
    for (const int c : clique) {
        if (genotypesCompatible(masks, g, c)) compatible.push_back(c);
    }
    if (!hasOpenSite(masks, g)) {
        return std::none_of(compatible.begin(), compatible.end(), [&](int c) { return hasOpenSite(masks, c); });
    }
    for (std::size_t i = 0; i < compatible.size(); ++i) {
        for (std::size_t j = i + 1; j < compatible.size(); ++j) {
            if (membersCanShareOut(masks, g, compatible[i], compatible[j])) return false;
        }
    }
    return true;
}

LowerBound computeLowerBound(const std::vector<std::string>& genotypes, const GenotypeMasks& masks,
                             const CompatibilityRows& rows, const CliqueSearchLimits& limits)
{
    LowerBound bound;
    const std::vector<int> weights = cliqueWeights(genotypes);
    const int heterozygous = static_cast<int>(std::count(weights.begin(), weights.end(), 2));
    bound.counting = countingBound(static_cast<int>(genotypes.size()) - heterozygous, heterozygous);
    bound.cliqueMembers = findHeavyClique(rows, weights, limits);
    bound.clique = cliqueWeight(bound.cliqueMembers, weights);
    for (int g = 0; g < masks.count && !bound.extraHaplotype; ++g) {
        bound.extraHaplotype = needsHaplotypeOutsideClique(masks, bound.cliqueMembers, g);
    }
    if (bound.extraHaplotype) ++bound.clique;
    return bound;
}
