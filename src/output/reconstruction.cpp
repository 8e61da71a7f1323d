#include "output/reconstruction.hpp"

#include "output/result_file.hpp"

#include <algorithm>
#include <unordered_map>

namespace {

// The haplotypes packed 64 sites to a word, for the test of a haplotype
// against a genotype's homozygous sites, and indexed by text.
class HaplotypeIndex {
public:
    explicit HaplotypeIndex(const std::vector<std::string>& haplotypes) : haplotypes_(haplotypes)
    {
        length_ = haplotypes.empty() ? 0 : static_cast<int>(haplotypes[0].size());
        words_ = (length_ + 63) / 64;
        bits_.assign(haplotypes.size() * static_cast<std::size_t>(words_), 0);
        for (std::size_t h = 0; h < haplotypes.size(); ++h) {
            for (int s = 0; s < length_; ++s) {
                if (haplotypes[h][s] == '1') bits_[h * words_ + s / 64] |= std::uint64_t{1} << (s % 64);
            }
            byText_.emplace(haplotypes[h], static_cast<int>(h));
        }
    }

    std::vector<HaplotypePair> pairsFor(std::string_view genotype) const
    {
        std::vector<std::uint64_t> homozygous(static_cast<std::size_t>(words_), 0);
        std::vector<std::uint64_t> ones(static_cast<std::size_t>(words_), 0);
        for (int s = 0; s < length_; ++s) {
            const std::uint64_t bit = std::uint64_t{1} << (s % 64);
            if (genotype[s] != '2') homozygous[s / 64] |= bit;
            if (genotype[s] == '1') ones[s / 64] |= bit;
        }
        std::vector<HaplotypePair> pairs;
        std::string partner;
        for (std::size_t h = 0; h < haplotypes_.size(); ++h) {
            const std::uint64_t* row = bits_.data() + h * words_;
            bool fits = true;
            for (int w = 0; w < words_ && fits; ++w) fits = ((row[w] ^ ones[w]) & homozygous[w]) == 0;
            if (!fits) continue;
            partner = haplotypes_[h];
            for (int s = 0; s < length_; ++s) {
                if (genotype[s] == '2') partner[s] = partner[s] == '0' ? '1' : '0';
            }
            const auto found = byText_.find(partner);
            if (found != byText_.end() && found->second >= static_cast<int>(h)) {
                pairs.push_back({static_cast<int>(h), found->second});
            }
        }
        return pairs;
    }

private:
    const std::vector<std::string>& haplotypes_;
    int length_ = 0;
    int words_ = 0;
    std::vector<std::uint64_t> bits_;
    std::unordered_map<std::string, int> byText_;
};

} // namespace

bool pairExplains(std::string_view genotype, std::string_view a, std::string_view b)
{
    if (a.size() != genotype.size() || b.size() != genotype.size()) return false;
    for (std::size_t s = 0; s < genotype.size(); ++s) {
        const char g = genotype[s];
        if (g == '2' ? a[s] == b[s] : (a[s] != g || b[s] != g)) return false;
    }
    return true;
}

std::string findReconstructionFault(const std::vector<std::string>& genotypes, const Reconstruction& reconstruction)
{
    if (reconstruction.pairs.size() != genotypes.size()) {
        return "it has " + std::to_string(reconstruction.pairs.size()) + " pairs for " + std::to_string(genotypes.size())
               + " genotypes";
    }
    const std::size_t length = genotypes.empty() ? 0 : genotypes[0].size();
    const int count = static_cast<int>(reconstruction.haplotypes.size());
    for (int h = 0; h < count; ++h) {
        const std::string& text = reconstruction.haplotypes[h];
        if (text.size() != length || text.find_first_not_of("01") != std::string::npos) {
            return "haplotype " + std::to_string(h + 1) + " is not " + std::to_string(length) + " sites of 0 and 1";
        }
    }
    for (std::size_t g = 0; g < genotypes.size(); ++g) {
        const HaplotypePair& pair = reconstruction.pairs[g];
        if (pair.first < 0 || pair.first >= count || pair.second < 0 || pair.second >= count) {
            return "the pair of genotype " + std::to_string(g + 1) + " names a haplotype it does not have";
        }
        if (!pairExplains(genotypes[g], reconstruction.haplotypes[pair.first], reconstruction.haplotypes[pair.second])) {
            return "the pair of genotype " + std::to_string(g + 1) + " does not explain it";
        }
    }
    return {};
}

void normalizeReconstruction(Reconstruction& reconstruction)
{
    std::vector<std::string> used;
    for (const HaplotypePair& pair : reconstruction.pairs) {
        used.push_back(reconstruction.haplotypes[pair.first]);
        used.push_back(reconstruction.haplotypes[pair.second]);
    }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    std::unordered_map<std::string, int> rank;
    for (std::size_t i = 0; i < used.size(); ++i) rank.emplace(used[i], static_cast<int>(i));
    for (HaplotypePair& pair : reconstruction.pairs) {
        const int a = rank.at(reconstruction.haplotypes[pair.first]);
        const int b = rank.at(reconstruction.haplotypes[pair.second]);
        pair = {std::min(a, b), std::max(a, b)};
    }
    reconstruction.haplotypes = std::move(used);
}

std::vector<HaplotypePair> explainingPairs(const Reconstruction& reconstruction, std::string_view genotype)
{
    return HaplotypeIndex(reconstruction.haplotypes).pairsFor(genotype);
}

std::vector<std::vector<HaplotypePair>> everyExplainingPair(const Reconstruction& reconstruction,
                                                            const std::vector<std::string>& genotypes)
{
    const HaplotypeIndex index(reconstruction.haplotypes);
    std::vector<std::vector<HaplotypePair>> pairs;
    pairs.reserve(genotypes.size());
    for (const std::string& genotype : genotypes) pairs.push_back(index.pairsFor(genotype));
    return pairs;
}

std::vector<HaplotypePair> firstExplainingPairs(const Reconstruction& reconstruction,
                                                const std::vector<std::string_view>& genotypes)
{
    const HaplotypeIndex index(reconstruction.haplotypes);
    std::vector<HaplotypePair> firsts;
    firsts.reserve(genotypes.size());
    for (const std::string_view genotype : genotypes) {
        const std::vector<HaplotypePair> pairs = index.pairsFor(genotype);
        firsts.push_back(pairs.empty() ? HaplotypePair{-1, -1} : pairs.front());
    }
    return firsts;
}

std::string composeExplicitResult(const Reconstruction& reconstruction,
                                  const std::vector<std::string>& distinctGenotypes,
                                  const std::vector<int>& genotypeMap)
{
    std::string out;
    writeResultOpening(out, static_cast<int>(reconstruction.haplotypes.size()),
                       [&](int i) -> std::string_view { return reconstruction.haplotypes[i]; });
    const HaplotypeIndex index(reconstruction.haplotypes);
    std::vector<std::string> lines(distinctGenotypes.size());
    for (std::size_t g = 0; g < distinctGenotypes.size(); ++g) {
        for (const HaplotypePair& pair : index.pairsFor(distinctGenotypes[g])) {
            appendPair(lines[g], pair.first + 1, pair.second + 1);
        }
    }
    for (std::size_t j = 0; j < genotypeMap.size(); ++j) {
        appendFormatted(out, "%6d:", static_cast<int>(j) + 1);
        out += lines[genotypeMap[j]];
        out += '\n';
    }
    out += "END BEST_RECONSTRUCTION_FOUND\n";
    return out;
}

Reconstruction ownPairsReconstruction(const std::vector<std::string>& genotypes)
{
    Reconstruction own;
    for (const std::string& genotype : genotypes) {
        std::string first = genotype;
        std::string second = genotype;
        for (std::size_t s = 0; s < genotype.size(); ++s) {
            if (genotype[s] == '2') first[s] = '0', second[s] = '1';
        }
        const int a = static_cast<int>(own.haplotypes.size());
        own.haplotypes.push_back(std::move(first));
        own.haplotypes.push_back(std::move(second));
        own.pairs.push_back({a, a + 1});
    }
    normalizeReconstruction(own);
    return own;
}
