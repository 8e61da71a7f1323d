#include "phasing/open_calls.hpp"

#include <algorithm>
#include <cstdint>

namespace {

using Bits = std::vector<std::uint64_t>;

Bits bitsOf(const std::string& text, std::size_t from, std::size_t count, char value)
{
    Bits bits((count + 63) / 64, 0);
    for (std::size_t s = 0; s < count; ++s) {
        if (text[from + s] == value) bits[s / 64] |= std::uint64_t{1} << (s % 64);
    }
    return bits;
}

bool samePair(HaplotypePair a, HaplotypePair b)
{
    return (a.first == b.first && a.second == b.second) || (a.first == b.second && a.second == b.first);
}

} // namespace

std::vector<std::string> observedCalls(std::vector<std::string> genotypes, const std::vector<std::vector<int>>& missing)
{
    for (std::size_t i = 0; i < missing.size() && i < genotypes.size(); ++i) {
        for (const int s : missing[i]) genotypes[i][static_cast<std::size_t>(s)] = '.';
    }
    return genotypes;
}

void addOpenCallPairs(WindowSolution& solution, const std::vector<std::string>& observed,
                      const std::vector<std::vector<int>>& missing)
{
    const auto from = static_cast<std::size_t>(solution.sites.first);
    const auto count = static_cast<std::size_t>(solution.sites.size());
    const std::size_t words = (count + 63) / 64;
    std::vector<Bits> ones;
    ones.reserve(solution.haplotypes.size());
    for (const std::string& haplotype : solution.haplotypes) ones.push_back(bitsOf(haplotype, 0, count, '1'));

    for (std::size_t i = 0; i < missing.size() && i < observed.size(); ++i) {
        const std::vector<int>& sites = missing[i];
        const auto open = std::lower_bound(sites.begin(), sites.end(), solution.sites.first);
        if (open == sites.end() || *open >= solution.sites.end) continue;
        // A sample with few calls in the window would fit most pairs: its
        // filled genotype's pairs stay.
        const auto openCount = std::lower_bound(open, sites.end(), solution.sites.end) - open;
        if (2 * openCount > static_cast<std::ptrdiff_t>(count)) continue;
        const Bits zero = bitsOf(observed[i], from, count, '0');
        const Bits one = bitsOf(observed[i], from, count, '1');
        const Bits het = bitsOf(observed[i], from, count, '2');
        // The haplotypes that fit the sample's homozygous calls.
        std::vector<int> fitting;
        for (std::size_t h = 0; h < ones.size(); ++h) {
            bool fits = true;
            for (std::size_t w = 0; w < words && fits; ++w) fits = (ones[h][w] & zero[w]) == 0 && (ones[h][w] & one[w]) == one[w];
            if (fits) fitting.push_back(static_cast<int>(h));
        }
        const std::vector<HaplotypePair>& known = pairsOfSample(solution, i);
        // Extra pairs, with the missing calls at which they differ from the fill.
        std::vector<std::pair<int, HaplotypePair>> extra;
        for (std::size_t a = 0; a < fitting.size(); ++a) {
            for (std::size_t b = a; b < fitting.size(); ++b) {
                const Bits& x = ones[static_cast<std::size_t>(fitting[a])];
                const Bits& y = ones[static_cast<std::size_t>(fitting[b])];
                bool explains = true;
                for (std::size_t w = 0; w < words && explains; ++w) explains = ((x[w] ^ y[w]) & het[w]) == het[w];
                const HaplotypePair pair{fitting[a], fitting[b]};
                if (!explains || std::any_of(known.begin(), known.end(), [&](HaplotypePair k) { return samePair(k, pair); }))
                    continue;
                int differing = 0;
                for (auto s = open; s != sites.end() && *s < solution.sites.end; ++s) {
                    const std::size_t at = static_cast<std::size_t>(*s) - from;
                    const char p = solution.haplotypes[static_cast<std::size_t>(pair.first)][at];
                    const char q = solution.haplotypes[static_cast<std::size_t>(pair.second)][at];
                    const char r = solution.haplotypes[static_cast<std::size_t>(known.front().first)][at];
                    const char t = solution.haplotypes[static_cast<std::size_t>(known.front().second)][at];
                    differing += (p == q ? p : '2') != (r == t ? r : '2');
                }
                extra.push_back({differing, pair});
            }
        }
        if (extra.empty()) continue;
        std::stable_sort(extra.begin(), extra.end(), [](const auto& l, const auto& r) { return l.first < r.first; });
        std::vector<HaplotypePair> pairs = known;
        for (const auto& e : extra) {
            if (pairs.size() >= static_cast<std::size_t>(kOpenCallPairs)) break;
            pairs.push_back(e.second);
        }
        solution.samplePairs.emplace_back(static_cast<int>(i), std::move(pairs));
    }
}
