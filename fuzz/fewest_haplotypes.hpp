#pragma once

// The fewest haplotypes that explain a few genotypes, found by trying the
// phasings of every genotype with branch and bound. A reference for the exact
// check on tiny inputs (a handful of genotypes of a handful of sites), shared
// by its tests and its fuzz target.

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace brute_force {

// The pairs of haplotypes that explain a genotype, each once: the first
// carries '0' at the first heterozygous site.
inline std::vector<std::pair<std::string, std::string>> phasingsOf(const std::string& genotype)
{
    std::vector<int> open;
    for (std::size_t s = 0; s < genotype.size(); ++s)
        if (genotype[s] == '2') open.push_back(static_cast<int>(s));
    std::vector<std::pair<std::string, std::string>> phasings;
    const unsigned count = open.empty() ? 1u : 1u << (open.size() - 1);
    for (unsigned bits = 0; bits < count; ++bits) {
        std::string a = genotype;
        std::string b = genotype;
        for (std::size_t i = 0; i < open.size(); ++i) {
            const bool one = i > 0 && ((bits >> (i - 1)) & 1u);
            a[open[i]] = one ? '1' : '0';
            b[open[i]] = one ? '0' : '1';
        }
        phasings.emplace_back(a, b);
    }
    return phasings;
}

class Search {
public:
    Search(const std::vector<std::string>& genotypes, const std::vector<std::string>& given)
        : given_(given.begin(), given.end())
    {
        for (const std::string& g : genotypes) phasings_.push_back(phasingsOf(g));
        std::sort(phasings_.begin(), phasings_.end(),
                  [](const auto& a, const auto& b) { return a.size() < b.size(); });
        best_ = static_cast<int>(2 * genotypes.size() + 1);
    }

    int fewest()
    {
        visit(0);
        return best_;
    }

private:
    void take(const std::string& h)
    {
        if (!given_.count(h) && used_[h]++ == 0) ++added_;
    }
    void release(const std::string& h)
    {
        if (!given_.count(h) && --used_[h] == 0) --added_;
    }

    void visit(std::size_t next)
    {
        if (added_ >= best_) return;
        if (next == phasings_.size()) {
            best_ = added_;
            return;
        }
        for (const auto& [a, b] : phasings_[next]) {
            take(a);
            take(b);
            visit(next + 1);
            release(b);
            release(a);
        }
    }

    std::set<std::string> given_;
    std::vector<std::vector<std::pair<std::string, std::string>>> phasings_;
    std::map<std::string, int> used_;
    int added_ = 0;
    int best_ = 0;
};

// The fewest haplotypes, beyond those `given`, that explain the genotypes.
inline int fewestHaplotypes(const std::vector<std::string>& genotypes, const std::vector<std::string>& given = {})
{
    return Search(genotypes, given).fewest();
}

} // namespace brute_force
