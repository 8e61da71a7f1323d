#include "exact/instance_reduction.hpp"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace {

char complementOf(char site)
{
    return site == '0' ? '1' : site == '1' ? '0' : site;
}

// A hash of a column, or of its complement, read down the genotypes.
std::uint64_t columnHash(const std::vector<std::string>& genotypes, int site, bool complemented)
{
    std::uint64_t hash = 1469598103934665603ull;
    for (const std::string& g : genotypes) {
        const char c = complemented ? complementOf(g[site]) : g[site];
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
}

// Whether column a equals column b, or its complement.
bool sameColumn(const std::vector<std::string>& genotypes, int a, int b, bool complemented)
{
    for (const std::string& g : genotypes) {
        if (g[a] != (complemented ? complementOf(g[b]) : g[b])) return false;
    }
    return true;
}

bool constantColumn(const std::vector<std::string>& genotypes, int site)
{
    const char first = genotypes[0][site];
    if (first == '2') return false;
    for (const std::string& g : genotypes) {
        if (g[site] != first) return false;
    }
    return true;
}

} // namespace

ReducedInstance reduceInstance(const std::vector<std::string>& genotypes)
{
    ReducedInstance reduced;
    const int length = genotypes.empty() ? 0 : static_cast<int>(genotypes[0].size());
    reduced.sites.resize(static_cast<std::size_t>(length));
    // The kept columns by the hashes of their text and of their complement's;
    // columns are compared in full on a match, so memory stays small.
    std::unordered_multimap<std::uint64_t, SiteOrigin> seen;
    for (int s = 0; s < length; ++s) {
        SiteOrigin& origin = reduced.sites[s];
        if (constantColumn(genotypes, s)) {
            origin.constant = genotypes[0][s];
            continue;
        }
        const std::uint64_t hash = columnHash(genotypes, s, false);
        const auto [from, to] = seen.equal_range(hash);
        const auto match = std::find_if(from, to, [&](const auto& entry) {
            const SiteOrigin& kept = entry.second;
            return sameColumn(genotypes, s, reduced.keptSites[kept.column], kept.flipped);
        });
        if (match != to) {
            origin = match->second;
            continue;
        }
        const int kept = static_cast<int>(reduced.keptSites.size());
        reduced.keptSites.push_back(s);
        origin.column = kept;
        seen.emplace(hash, SiteOrigin{kept, false, '0'});
        seen.emplace(columnHash(genotypes, s, true), SiteOrigin{kept, true, '0'});
    }
    std::unordered_map<std::string, int> index;
    for (const std::string& genotype : genotypes) {
        std::string kept;
        kept.reserve(reduced.keptSites.size());
        for (const int s : reduced.keptSites) kept += genotype[s];
        const auto [where, added] = index.emplace(kept, static_cast<int>(reduced.genotypes.size()));
        if (added) reduced.genotypes.push_back(std::move(kept));
        reduced.genotypeOf.push_back(where->second);
    }
    return reduced;
}

Reconstruction expandReconstruction(const ReducedInstance& reduced, const Reconstruction& reconstruction)
{
    Reconstruction expanded;
    for (const std::string& haplotype : reconstruction.haplotypes) {
        std::string full(reduced.sites.size(), '0');
        for (std::size_t s = 0; s < reduced.sites.size(); ++s) {
            const SiteOrigin& origin = reduced.sites[s];
            if (origin.column < 0) full[s] = origin.constant;
            else full[s] = origin.flipped ? complementOf(haplotype[origin.column]) : haplotype[origin.column];
        }
        expanded.haplotypes.push_back(std::move(full));
    }
    for (const int g : reduced.genotypeOf) expanded.pairs.push_back(reconstruction.pairs[g]);
    return expanded;
}

Reconstruction restrictReconstruction(const ReducedInstance& reduced, const Reconstruction& reconstruction)
{
    Reconstruction restricted;
    for (const std::string& haplotype : reconstruction.haplotypes) {
        std::string kept;
        kept.reserve(reduced.keptSites.size());
        for (const int s : reduced.keptSites) kept += haplotype[s];
        restricted.haplotypes.push_back(std::move(kept));
    }
    restricted.pairs.assign(reduced.genotypes.size(), {});
    for (std::size_t g = 0; g < reduced.genotypeOf.size(); ++g) {
        restricted.pairs[reduced.genotypeOf[g]] = reconstruction.pairs[g];
    }
    normalizeReconstruction(restricted);
    return restricted;
}
