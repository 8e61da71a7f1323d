#include "exact/lower_bound.hpp"

#include "exact/proof_deadline.hpp"

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

// A heavy clique of the incompatibility graph restricted to `vertices`, every
// vertex weighing 1, as indices into the whole graph.
std::vector<int> heaviestCliqueAmong(const CompatibilityRows& rows, const std::vector<int>& vertices,
                                     const CliqueSearchLimits& limits)
{
    CompatibilityRows sub;
    sub.count = static_cast<int>(vertices.size());
    sub.words = (sub.count + 63) / 64;
    sub.bits.assign(static_cast<std::size_t>(sub.count) * sub.words, 0);
    for (int a = 0; a < sub.count; ++a) {
        for (int b = 0; b < sub.count; ++b) {
            if (a != b && rows.compatible(vertices[a], vertices[b])) {
                sub.bits[static_cast<std::size_t>(a) * sub.words + b / 64] |= std::uint64_t{1} << (b % 64);
            }
        }
    }
    std::vector<int> clique = findHeavyClique(sub, std::vector<int>(vertices.size(), 1), limits);
    for (int& v : clique) v = vertices[v];
    std::sort(clique.begin(), clique.end());
    return clique;
}

// Clique searches whose best total is kept.
constexpr int kCliqueAttempts = 6;

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

namespace {

// The counting bound of genotypes given by their clique weights (2 for a
// heterozygous genotype).
int countingBoundOfWeights(const std::vector<int>& weights)
{
    const int heterozygous = static_cast<int>(std::count(weights.begin(), weights.end(), 2));
    return countingBound(static_cast<int>(weights.size()) - heterozygous, heterozygous);
}

} // namespace

bool needsHaplotypeOutside(const GenotypeMasks& masks, const std::vector<int>& members, int g)
{
    if (std::find(members.begin(), members.end(), g) != members.end()) return false;
    std::vector<int> compatible;
    for (const int c : members) {
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

LowerBound countingBoundOnly(const std::vector<std::string>& genotypes)
{
    LowerBound bound;
    bound.counting = countingBoundOfWeights(cliqueWeights(genotypes));
    return bound;
}

LowerBound computeLowerBound(const std::vector<std::string>& genotypes, const GenotypeMasks& masks,
                             const CompatibilityRows& rows, const CliqueSearchLimits& limits)
{
    const std::vector<int> weights = cliqueWeights(genotypes);
    const int counting = countingBoundOfWeights(weights);
    // Cliques of equal weight leave different layers beyond them: a few
    // searches with other random choices, and the best total wins.
    LowerBound best;
    CliqueSearchLimits attempt = limits;
    attempt.seconds = limits.seconds / kCliqueAttempts;
    for (int a = 0; a < kCliqueAttempts; ++a) {
        attempt.seed = limits.seed + static_cast<unsigned>(a);
        LowerBound bound;
        bound.counting = counting;
        bound.cliqueMembers = findHeavyClique(rows, weights, attempt);
        bound.clique = cliqueWeight(bound.cliqueMembers, weights);
        std::vector<int> members = bound.cliqueMembers;
        // A stop request leaves out genotypes not yet tested: each layer
        // stays a valid one, only perhaps a smaller one.
        const auto stopped = [&] { return limits.deadline != nullptr && limits.deadline->expired(); };
        for (;;) {
            std::vector<int> needy;
            for (int g = 0; g < masks.count && !stopped(); ++g) {
                if (needsHaplotypeOutside(masks, members, g)) needy.push_back(g);
            }
            if (needy.empty()) break;
            const std::vector<int> layer = heaviestCliqueAmong(rows, needy, attempt);
            bound.outsideLayers.push_back(layer);
            members.insert(members.end(), layer.begin(), layer.end());
        }
        if (a == 0 || bound.clique + bound.outside() > best.clique + best.outside()) best = std::move(bound);
        if (limits.deadline != nullptr && limits.deadline->expired()) break;
    }
    return best;
}
