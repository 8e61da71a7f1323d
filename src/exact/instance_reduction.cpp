#include "exact/instance_reduction.hpp"

#include <unordered_map>

namespace {

char complementOf(char site)
{
    return site == '0' ? '1' : site == '1' ? '0' : site;
}

std::string columnOf(const std::vector<std::string>& genotypes, int site)
{
    std::string column(genotypes.size(), '0');
    for (std::size_t g = 0; g < genotypes.size(); ++g) column[g] = genotypes[g][site];
    return column;
}

} // namespace

ReducedInstance reduceInstance(const std::vector<std::string>& genotypes)
{
    ReducedInstance reduced;
    const int length = genotypes.empty() ? 0 : static_cast<int>(genotypes[0].size());
    reduced.sites.resize(static_cast<std::size_t>(length));
    // Each kept column is indexed by its text and by its complement's.
    std::unordered_map<std::string, SiteOrigin> seen;
    for (int s = 0; s < length; ++s) {
        std::string column = columnOf(genotypes, s);
        SiteOrigin& origin = reduced.sites[s];
        if (column.find_first_not_of('0') == std::string::npos || column.find_first_not_of('1') == std::string::npos) {
            origin.constant = column.empty() ? '0' : column[0];
            continue;
        }
        if (const auto found = seen.find(column); found != seen.end()) {
            origin = found->second;
            continue;
        }
        const int kept = static_cast<int>(reduced.keptSites.size());
        reduced.keptSites.push_back(s);
        origin.column = kept;
        std::string complement = column;
        for (char& c : complement) c = complementOf(c);
        seen.emplace(std::move(column), SiteOrigin{kept, false, '0'});
        seen.emplace(std::move(complement), SiteOrigin{kept, true, '0'});
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
