#include "phasing/missing_calls.hpp"

#include "data/site_planes.hpp"

#include <climits>
#include <cstdint>

namespace {

constexpr int kBlock = 64;

// Each sample's genotype as planes: the sites it has a call at, its '1'
// sites and its '2' sites.
struct GenotypePlanes {
    int words = 0;
    std::vector<std::uint64_t> called, ones, twos;  // per sample, `words` each

    std::size_t at(std::size_t sample, int word) const { return sample * words + static_cast<std::size_t>(word); }
};

GenotypePlanes planesOf(const std::vector<std::string>& genotypes, const std::vector<std::vector<int>>& missing)
{
    GenotypePlanes planes;
    const int sites = static_cast<int>(genotypes[0].size());
    planes.words = (sites + kBlock - 1) / kBlock;
    const std::size_t size = genotypes.size() * static_cast<std::size_t>(planes.words);
    planes.called.assign(size, 0);
    planes.ones.assign(size, 0);
    planes.twos.assign(size, 0);
    for (std::size_t i = 0; i < genotypes.size(); ++i) {
        for (int s = 0; s < sites; ++s) {
            const std::uint64_t bit = std::uint64_t{1} << (s % kBlock);
            const std::size_t w = planes.at(i, s / kBlock);
            planes.called[w] |= bit;
            if (genotypes[i][static_cast<std::size_t>(s)] == '1') planes.ones[w] |= bit;
            if (genotypes[i][static_cast<std::size_t>(s)] == '2') planes.twos[w] |= bit;
        }
        if (i >= missing.size()) continue;
        for (const int s : missing[i]) {
            const std::size_t w = planes.at(i, s / kBlock);
            const std::uint64_t bit = std::uint64_t{1} << (s % kBlock);
            planes.called[w] &= ~bit;
            planes.ones[w] &= ~bit;
            planes.twos[w] &= ~bit;
        }
    }
    return planes;
}

// The value the closest samples give the call of `sample` at `site`, or 0
// when they tie.
VELMORA_COUNTS_BITS char closestValue(const GenotypePlanes& planes, std::size_t samples, std::size_t sample,
                                      int site)
{
    const int block = site / kBlock;
    const std::uint64_t bit = std::uint64_t{1} << (site % kBlock);
    const int from = block > 0 ? block - 1 : 0;
    const int to = block + 1 < planes.words ? block + 1 : planes.words - 1;
    int best = INT_MAX;
    int votes[3] = {0, 0, 0};
    for (std::size_t j = 0; j < samples; ++j) {
        if (j == sample || (planes.called[planes.at(j, block)] & bit) == 0) continue;
        int differences = 0;
        for (int w = from; w <= to; ++w) {
            const std::size_t a = planes.at(sample, w);
            const std::size_t b = planes.at(j, w);
            const std::uint64_t both = planes.called[a] & planes.called[b];
            differences += __builtin_popcountll(both & ((planes.ones[a] ^ planes.ones[b]) | (planes.twos[a] ^ planes.twos[b])));
        }
        if (differences > best) continue;
        if (differences < best) best = differences, votes[0] = votes[1] = votes[2] = 0;
        const std::size_t w = planes.at(j, block);
        ++votes[(planes.ones[w] & bit) != 0 ? 1 : (planes.twos[w] & bit) != 0 ? 2 : 0];
    }
    int winner = 0;
    for (int v = 1; v < 3; ++v) {
        if (votes[v] > votes[winner]) winner = v;
    }
    for (int v = 0; v < 3; ++v) {
        if (v != winner && votes[v] == votes[winner]) return 0;
    }
    return votes[winner] > 0 ? static_cast<char>('0' + winner) : 0;
}

} // namespace

long long fillFromClosestSamples(std::vector<std::string>& genotypes, const std::vector<std::vector<int>>& missing)
{
    if (genotypes.size() < 2 || genotypes[0].empty()) return 0;
    const GenotypePlanes planes = planesOf(genotypes, missing);
    long long changed = 0;
    for (std::size_t i = 0; i < missing.size() && i < genotypes.size(); ++i) {
        for (const int s : missing[i]) {
            const char value = closestValue(planes, genotypes.size(), i, s);
            char& call = genotypes[i][static_cast<std::size_t>(s)];
            if (value != 0 && value != call) call = value, ++changed;
        }
    }
    return changed;
}
