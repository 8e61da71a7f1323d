#include "exact/independent_groups.hpp"

#include <algorithm>
#include <bit>

std::vector<std::vector<int>> splitIndependentGroups(const CompatibilityRows& rows)
{
    std::vector<int> groupOf(static_cast<std::size_t>(rows.count), -1);
    std::vector<std::vector<int>> groups;
    std::vector<int> stack;
    for (int start = 0; start < rows.count; ++start) {
        if (groupOf[start] >= 0) continue;
        const int group = static_cast<int>(groups.size());
        groups.emplace_back();
        groupOf[start] = group;
        stack.assign(1, start);
        while (!stack.empty()) {
            const int g = stack.back();
            stack.pop_back();
            groups[group].push_back(g);
            const std::uint64_t* row = rows.rowOf(g);
            for (int w = 0; w < rows.words; ++w) {
                for (std::uint64_t bits = row[w]; bits != 0; bits &= bits - 1) {
                    const int other = w * 64 + std::countr_zero(bits);
                    if (groupOf[other] >= 0) continue;
                    groupOf[other] = group;
                    stack.push_back(other);
                }
            }
        }
    }
    for (std::vector<int>& group : groups) std::sort(group.begin(), group.end());
    return groups;
}

std::vector<std::string> genotypesOfGroup(const std::vector<std::string>& genotypes, const std::vector<int>& group)
{
    std::vector<std::string> members;
    members.reserve(group.size());
    for (const int g : group) members.push_back(genotypes[g]);
    return members;
}

Reconstruction reconstructionOfGroup(const Reconstruction& reconstruction, const std::vector<int>& group)
{
    Reconstruction part;
    for (const int g : group) {
        const HaplotypePair pair = reconstruction.pairs[g];
        const int first = static_cast<int>(part.haplotypes.size());
        part.haplotypes.push_back(reconstruction.haplotypes[pair.first]);
        part.haplotypes.push_back(reconstruction.haplotypes[pair.second]);
        part.pairs.push_back({first, first + 1});
    }
    normalizeReconstruction(part);
    return part;
}

Reconstruction joinGroupReconstructions(const std::vector<std::vector<int>>& groups,
                                        const std::vector<Reconstruction>& parts, int genotypeCount)
{
    Reconstruction joined;
    joined.pairs.assign(static_cast<std::size_t>(genotypeCount), {});
    for (std::size_t p = 0; p < groups.size(); ++p) {
        const int base = static_cast<int>(joined.haplotypes.size());
        joined.haplotypes.insert(joined.haplotypes.end(), parts[p].haplotypes.begin(), parts[p].haplotypes.end());
        for (std::size_t i = 0; i < groups[p].size(); ++i) {
            const HaplotypePair pair = parts[p].pairs[i];
            joined.pairs[groups[p][i]] = {base + pair.first, base + pair.second};
        }
    }
    return joined;
}
