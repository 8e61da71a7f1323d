#include "phasing/mosaic_refinement.hpp"

#include "data/site_planes.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>

namespace {

constexpr int kBlock = 64;          // sites per block: one word of haplotype bits
constexpr int kMaxMismatches = 16;  // a run's mismatches beyond these weigh no more

// Every haplotype of the phases, 64 sites to a word: haplotype 2i is sample
// i's first, 2i + 1 its second.
struct PackedHaplotypes {
    int words = 0;
    int count = 0;
    std::vector<std::uint64_t> bits;

    const std::uint64_t* of(int haplotype) const { return bits.data() + static_cast<std::size_t>(haplotype) * words; }
};

void packText(const std::string& text, std::uint64_t* row)
{
    for (std::size_t s = 0; s < text.size(); ++s) {
        if (text[s] == '1') row[s / kBlock] |= std::uint64_t{1} << (s % kBlock);
    }
}

PackedHaplotypes pack(const std::vector<SamplePhase>& phases, int sites)
{
    PackedHaplotypes packed;
    packed.words = (sites + kBlock - 1) / kBlock;
    packed.count = static_cast<int>(2 * phases.size());
    packed.bits.assign(static_cast<std::size_t>(packed.count) * packed.words, 0);
    for (std::size_t i = 0; i < phases.size(); ++i) {
        packText(phases[i].first, packed.bits.data() + (2 * i) * packed.words);
        packText(phases[i].second, packed.bits.data() + (2 * i + 1) * packed.words);
    }
    return packed;
}

// The model's numbers, from the settings.
struct Model {
    int templates = 0;
    float stay = 0.0f;      // of keeping the template from one site to the next
    float mismatch = 0.0f;  // weight of a site that differs from the template, one that matches weighing 1
    float mismatchPowers[kMaxMismatches + 1] = {};

    float stayOver(int gaps) const { return std::pow(stay, static_cast<float>(gaps)); }
};

Model modelOf(const MosaicSettings& settings, int haplotypes)
{
    Model model;
    model.templates = std::clamp(settings.templates, 1, haplotypes);
    model.stay = 1.0f - settings.switchRate;
    model.mismatch = settings.mismatchRate / (1.0f - settings.mismatchRate);
    model.mismatchPowers[0] = 1.0f;
    for (int m = 1; m <= kMaxMismatches; ++m) model.mismatchPowers[m] = model.mismatchPowers[m - 1] * model.mismatch;
    return model;
}

// One sample's correction: its genotype as masks, its templates per block,
// the points of its forward and backward sums (heterozygous sites and block
// starts), and the sums at its heterozygous sites. One per thread.
struct SampleWork {
    std::vector<std::uint64_t> heterozygous, ones;  // per block: sites '2'; sites '1'
    std::vector<std::uint64_t> own;                 // the sample's two haplotypes, words per haplotype
    std::vector<int> distances;                     // per other haplotype and block: sites that differ, per side
    std::vector<std::pair<int, int>> ranked;
    std::vector<int> templates;                     // per block: K haplotype numbers, ascending
    std::vector<std::uint64_t> templateWords;       // per block: K words of the templates' alleles there
    std::vector<int> earlierIndex;                  // per block: each template's index in the block before, or -1
    std::vector<int> laterIndex;                    // per block: each template's index in the block after, or -1
    std::vector<int> points;                        // ascending sites: heterozygous sites and block starts
    std::vector<int> hets;                          // the heterozygous sites
    std::vector<float> forward[2], backward[2];     // per heterozygous site: K
    std::vector<float> f, g, h;                     // K each
};

void readGenotype(const std::string& genotype, int words, SampleWork& work)
{
    work.heterozygous.assign(static_cast<std::size_t>(words), 0);
    work.ones.assign(static_cast<std::size_t>(words), 0);
    work.hets.clear();
    work.points.clear();
    for (std::size_t s = 0; s < genotype.size(); ++s) {
        const std::uint64_t bit = std::uint64_t{1} << (s % kBlock);
        if (genotype[s] == '2') {
            work.heterozygous[s / kBlock] |= bit;
            work.hets.push_back(static_cast<int>(s));
        }
        if (genotype[s] == '1') work.ones[s / kBlock] |= bit;
        if (s % kBlock == 0 || genotype[s] == '2') work.points.push_back(static_cast<int>(s));
    }
}

// Chooses the templates of every block: of the other samples' haplotypes,
// the K/2 closest to the sample's first haplotype over the block and `reach`
// blocks on each side, then the closest to its second, to K in all.
VELMORA_COUNTS_BITS void chooseTemplates(const PackedHaplotypes& packed, int sample, const Model& model, int reach, SampleWork& work)
{
    const int words = packed.words;
    const int k = model.templates;
    const int others = packed.count - 2;
    work.own.assign(2 * static_cast<std::size_t>(words), 0);
    std::copy(packed.of(2 * sample), packed.of(2 * sample) + 2 * words, work.own.begin());
    // Per other haplotype and side, the differences per block, then summed
    // over the blocks around each block.
    work.distances.assign(static_cast<std::size_t>(others) * 2 * words, 0);
    for (int o = 0; o < others; ++o) {
        const std::uint64_t* row = packed.of(o < 2 * sample ? o : o + 2);
        int* d = work.distances.data() + static_cast<std::size_t>(o) * 2 * words;
        for (int side = 0; side < 2; ++side) {
            const std::uint64_t* mine = work.own.data() + static_cast<std::size_t>(side) * words;
            for (int w = 0; w < words; ++w) d[side * words + w] = __builtin_popcountll(row[w] ^ mine[w]);
        }
    }
    std::vector<int> sums(2 * static_cast<std::size_t>(others), 0);
    const auto add = [&](int w, int sign) {
        if (w < 0 || w >= words) return;
        for (int o = 0; o < others; ++o) {
            const int* d = work.distances.data() + static_cast<std::size_t>(o) * 2 * words;
            sums[2 * o] += sign * d[w];
            sums[2 * o + 1] += sign * d[words + w];
        }
    };
    for (int w = 0; w < reach; ++w) add(w, 1);
    work.templates.resize(static_cast<std::size_t>(words) * k);
    work.templateWords.resize(static_cast<std::size_t>(words) * k);
    std::vector<char> taken(static_cast<std::size_t>(others), 0);
    for (int b = 0; b < words; ++b) {
        add(b + reach, 1);
        add(b - reach - 1, -1);
        int* chosen = work.templates.data() + static_cast<std::size_t>(b) * k;
        int filled = 0;
        for (int side = 0; side < 2 && filled < k; ++side) {
            work.ranked.clear();
            for (int o = 0; o < others; ++o) {
                if (!taken[o]) work.ranked.emplace_back(sums[2 * o + side], o);
            }
            const int wanted = std::min<int>(side == 0 ? k / 2 : k - filled, static_cast<int>(work.ranked.size()));
            std::nth_element(work.ranked.begin(), work.ranked.begin() + wanted, work.ranked.end());
            for (int i = 0; i < wanted; ++i) {
                const int o = work.ranked[static_cast<std::size_t>(i)].second;
                taken[o] = 1;
                chosen[filled++] = o;
            }
        }
        for (int i = 0; i < filled; ++i) {
            taken[chosen[i]] = 0;
            chosen[i] = chosen[i] < 2 * sample ? chosen[i] : chosen[i] + 2;
        }
        std::sort(chosen, chosen + filled);
        for (int t = 0; t < k; ++t) work.templateWords[static_cast<std::size_t>(b) * k + t] = packed.of(chosen[t])[b];
    }
    // Where each template stands in the neighbouring blocks.
    work.earlierIndex.assign(static_cast<std::size_t>(words) * k, -1);
    work.laterIndex.assign(static_cast<std::size_t>(words) * k, -1);
    for (int b = 1; b < words; ++b) {
        const int* before = work.templates.data() + static_cast<std::size_t>(b - 1) * k;
        const int* now = before + k;
        for (int i = 0, j = 0; i < k && j < k;) {
            if (before[i] < now[j]) ++i;
            else if (now[j] < before[i]) ++j;
            else {
                work.earlierIndex[static_cast<std::size_t>(b) * k + j] = i;
                work.laterIndex[static_cast<std::size_t>(b - 1) * k + i] = j;
                ++i, ++j;
            }
        }
    }
}

// The weights of the templates of `block` over the homozygous sites strictly
// between sites `from` and `to` of the block (both haplotypes carry the
// genotype there), into `w`.
VELMORA_COUNTS_BITS void weighRun(const Model& model, const SampleWork& work, int block, int from, int to, float* w)
{
    const int k = model.templates;
    if (to - from < 2) {
        std::fill(w, w + k, 1.0f);
        return;
    }
    const int lo = from + 1 - block * kBlock;
    const int hi = to - block * kBlock;  // exclusive, at most 64
    const std::uint64_t upper = hi >= kBlock ? ~std::uint64_t{0} : (std::uint64_t{1} << hi) - 1;
    const std::uint64_t run = upper & ~((std::uint64_t{1} << lo) - 1) & ~work.heterozygous[static_cast<std::size_t>(block)];
    const std::uint64_t ones = work.ones[static_cast<std::size_t>(block)];
    const std::uint64_t* words = work.templateWords.data() + static_cast<std::size_t>(block) * k;
    for (int t = 0; t < k; ++t) {
        w[t] = model.mismatchPowers[std::min(kMaxMismatches, __builtin_popcountll((words[t] ^ ones) & run))];
    }
}

// One step of both haplotypes' sums to `site`, whose run weights are in
// `run`: each sum (scaled to add up to `total`) keeps its template with
// `keep` and spreads the rest evenly, then takes the weights of the run and
// of the site, where the first haplotype carries `allele` (the second too at
// a homozygous site, the other allele at a heterozygous one). Returns the
// new totals through `total`.
void stepBoth(const Model& model, const SampleWork& work, int site, int allele, bool heterozygous, float keep,
              const float* run, float* f0, float* f1, float total[2])
{
    const int k = model.templates;
    const std::uint64_t* words = work.templateWords.data() + static_cast<std::size_t>(site / kBlock) * k;
    const int bit = site % kBlock;
    const float keep0 = keep / total[0];
    const float keep1 = keep / total[1];
    const float spread = (1.0f - keep) / static_cast<float>(k);
    const float m = model.mismatch;
    float sum0 = 0.0f;
    float sum1 = 0.0f;
    for (int t = 0; t < k; ++t) {
        const bool carries = static_cast<int>((words[t] >> bit) & 1U) == allele;
        const float w0 = run[t] * (carries ? 1.0f : m);
        const float w1 = run[t] * (carries != heterozygous ? 1.0f : m);
        sum0 += f0[t] = (keep0 * f0[t] + spread) * w0;
        sum1 += f1[t] = (keep1 * f1[t] + spread) * w1;
    }
    total[0] = sum0;
    total[1] = sum1;
}

int alleleAt(const std::string& text, int site)
{
    return text[static_cast<std::size_t>(site)] - '0';
}

// Moves both sums from the templates of the block before `block` onto its
// own: a template in both keeps its sum, the others start from nothing.
void ontoBlock(const SampleWork& work, int k, int block, const float* from, float* onto)
{
    const int* earlier = work.earlierIndex.data() + static_cast<std::size_t>(block) * k;
    for (int t = 0; t < k; ++t) onto[t] = earlier[t] >= 0 ? from[earlier[t]] : 0.0f;
}

void backOntoBlock(const SampleWork& work, int k, int block, const float* from, float* onto)
{
    const int* later = work.laterIndex.data() + static_cast<std::size_t>(block - 1) * k;
    for (int t = 0; t < k; ++t) onto[t] = later[t] >= 0 ? from[later[t]] : 0.0f;
}

// The forward sums of both haplotypes at each heterozygous site (its allele
// there weighed in) and the backward sums (the sites after it), each scaled
// to add up to 1.
void sumHaplotypes(const Model& model, const SamplePhase& phase, SampleWork& work)
{
    const int k = model.templates;
    const std::vector<int>& points = work.points;
    const std::size_t size = work.hets.size() * static_cast<std::size_t>(k);
    for (int side = 0; side < 2; ++side) {
        work.forward[side].resize(size);
        work.backward[side].resize(size);
    }
    float* f0 = work.f.data();
    float* f1 = f0 + k;
    float* run = work.g.data();
    float* moved = run + k;
    float* earlierRun = moved + k;
    const auto isHet = [&](int site) { return (work.heterozygous[static_cast<std::size_t>(site / kBlock)] >> (site % kBlock)) & 1U; };

    // Forward: a step to each point; across a block start, the run of the
    // block before first, then one site onto the new block's templates.
    std::fill(f0, f0 + 2 * k, 1.0f / static_cast<float>(k));
    std::fill(run, run + k, 1.0f);
    float total[2] = {1.0f, 1.0f};
    stepBoth(model, work, points[0], alleleAt(phase.first, points[0]), isHet(points[0]), 1.0f, run, f0, f1, total);
    std::size_t het = 0;
    const auto keepForward = [&](int site) {
        if (het < work.hets.size() && work.hets[het] == site) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(het * k);
            for (int t = 0; t < k; ++t) work.forward[0][at + t] = f0[t] / total[0], work.forward[1][at + t] = f1[t] / total[1];
            ++het;
        }
    };
    keepForward(points[0]);
    for (std::size_t p = 1; p < points.size(); ++p) {
        const int from = points[p - 1];
        const int to = points[p];
        const int block = to / kBlock;
        if (to % kBlock != 0) {
            weighRun(model, work, block, from, to, run);
            stepBoth(model, work, to, alleleAt(phase.first, to), isHet(to), model.stayOver(to - from), run, f0, f1, total);
        } else {
            // The run at the end of the block before, as a step of its own.
            weighRun(model, work, block - 1, from, to, run);
            const float keep = model.stayOver(to - from - 1);
            for (int side = 0; side < 2; ++side) {
                float* f = side == 0 ? f0 : f1;
                float sum = 0.0f;
                const float spread = (1.0f - keep) / static_cast<float>(k);
                const float kept = keep / total[side];
                for (int t = 0; t < k; ++t) sum += f[t] = (kept * f[t] + spread) * run[t];
                ontoBlock(work, k, block, f, moved);
                std::copy(moved, moved + k, f);
                total[side] = sum;
            }
            std::fill(run, run + k, 1.0f);
            stepBoth(model, work, to, alleleAt(phase.first, to), isHet(to), model.stay, run, f0, f1, total);
        }
        keepForward(to);
    }

    // Backward, mirroring every step: the weights of a point, then the move
    // to the point before.
    std::fill(f0, f0 + 2 * k, 1.0f);
    total[0] = total[1] = static_cast<float>(k);
    het = work.hets.size();
    for (std::size_t p = points.size(); p-- > 0;) {
        const int at = points[p];
        if (het > 0 && work.hets[het - 1] == at) {
            --het;
            const std::ptrdiff_t where = static_cast<std::ptrdiff_t>(het * k);
            for (int t = 0; t < k; ++t) work.backward[0][where + t] = f0[t] / total[0], work.backward[1][where + t] = f1[t] / total[1];
        }
        if (p == 0) break;
        const int from = points[p - 1];
        const int block = at / kBlock;
        const std::uint64_t* words = work.templateWords.data() + static_cast<std::size_t>(block) * k;
        const int bit = at % kBlock;
        const int allele = alleleAt(phase.first, at);
        const bool heterozygous = isHet(at);
        const bool blockStart = at % kBlock == 0;
        if (!blockStart) {
            weighRun(model, work, block, from, at, run);
        } else {
            std::fill(run, run + k, 1.0f);
            weighRun(model, work, block - 1, from, at, earlierRun);
        }
        for (int side = 0; side < 2; ++side) {
            float* b = side == 0 ? f0 : f1;
            // v = weights at the point (and the run before it) times b.
            float sum = 0.0f;
            for (int t = 0; t < k; ++t) {
                const bool carries = static_cast<int>((words[t] >> bit) & 1U) == allele;
                const bool match = side == 0 ? carries : carries != heterozygous;
                sum += b[t] = b[t] / total[side] * run[t] * (match ? 1.0f : model.mismatch);
            }
            float keep = model.stayOver(blockStart ? 1 : at - from);
            float spread = (1.0f - keep) * sum / static_cast<float>(k);
            if (blockStart) {
                backOntoBlock(work, k, block, b, moved);
                for (int t = 0; t < k; ++t) moved[t] = keep * moved[t] + spread;
                // The run at the end of the block before, then the sites to `from`.
                keep = model.stayOver(at - from - 1);
                sum = 0.0f;
                for (int t = 0; t < k; ++t) sum += moved[t] *= earlierRun[t];
                spread = (1.0f - keep) * sum / static_cast<float>(k);
                for (int t = 0; t < k; ++t) b[t] = keep * moved[t] + spread;
                total[side] = sum;
            } else {
                for (int t = 0; t < k; ++t) b[t] = keep * b[t] + spread;
                total[side] = sum;
            }
        }
    }
}

// One round of flips: each heterozygous site whose two alleles, changing
// sides, make both haplotypes together more likely. Returns the flips made.
int flipSites(const Model& model, SamplePhase& phase, SampleWork& work)
{
    const int k = model.templates;
    const float toMismatch = model.mismatch;
    const float toMatch = 1.0f / model.mismatch;
    std::vector<int> flips;
    for (std::size_t j = 0; j < work.hets.size(); ++j) {
        const int site = work.hets[j];
        const std::uint64_t* words = work.templateWords.data() + static_cast<std::size_t>(site / kBlock) * k;
        const int bit = site % kBlock;
        const float* f1 = work.forward[0].data() + j * k;
        const float* f2 = work.forward[1].data() + j * k;
        const float* b1 = work.backward[0].data() + j * k;
        const float* b2 = work.backward[1].data() + j * k;
        const int first = alleleAt(phase.first, site);
        double now1 = 0.0, now2 = 0.0, flipped1 = 0.0, flipped2 = 0.0;
        for (int t = 0; t < k; ++t) {
            const bool carriesFirst = static_cast<int>((words[t] >> bit) & 1U) == first;
            const float p1 = f1[t] * b1[t];
            const float p2 = f2[t] * b2[t];
            now1 += p1;
            now2 += p2;
            flipped1 += p1 * (carriesFirst ? toMismatch : toMatch);
            flipped2 += p2 * (carriesFirst ? toMatch : toMismatch);
        }
        if (flipped1 * flipped2 > now1 * now2 * 1.0001) flips.push_back(site);
    }
    for (const int site : flips) std::swap(phase.first[static_cast<std::size_t>(site)], phase.second[static_cast<std::size_t>(site)]);
    return static_cast<int>(flips.size());
}

// One round of swaps: after each heterozygous site where exchanging the two
// haplotypes' continuations makes them together more likely, everything
// after changes sides. Returns the swaps made.
int swapContinuations(const Model& model, SamplePhase& phase, SampleWork& work)
{
    const int k = model.templates;
    std::vector<char> swapAfter(work.hets.size(), 0);
    int swaps = 0;
    for (std::size_t j = 0; j + 1 < work.hets.size(); ++j) {
        const float* f1 = work.forward[0].data() + j * k;
        const float* f2 = work.forward[1].data() + j * k;
        const float* b1 = work.backward[0].data() + j * k;
        const float* b2 = work.backward[1].data() + j * k;
        double same1 = 0.0, same2 = 0.0, crossed1 = 0.0, crossed2 = 0.0;
        for (int t = 0; t < k; ++t) {
            same1 += f1[t] * b1[t];
            same2 += f2[t] * b2[t];
            crossed1 += f1[t] * b2[t];
            crossed2 += f2[t] * b1[t];
        }
        if (crossed1 * crossed2 > same1 * same2 * 1.0001) swapAfter[j] = 1, ++swaps;
    }
    bool exchanged = false;
    for (std::size_t j = 0; j < work.hets.size(); ++j) {
        const auto site = static_cast<std::size_t>(work.hets[j]);
        if (exchanged) std::swap(phase.first[site], phase.second[site]);
        if (swapAfter[j]) exchanged = !exchanged;
    }
    return swaps;
}

void correctSample(const std::string& genotype, const PackedHaplotypes& packed, int sample, const Model& model,
                   const MosaicSettings& settings, SamplePhase& phase, SampleWork& work)
{
    readGenotype(genotype, packed.words, work);
    if (work.hets.size() < 2) return;
    chooseTemplates(packed, sample, model, settings.reach, work);
    work.f.resize(2 * static_cast<std::size_t>(model.templates));
    work.g.resize(3 * static_cast<std::size_t>(model.templates));
    for (int round = 0; round < settings.rounds; ++round) {
        sumHaplotypes(model, phase, work);
        const int changes = round % 2 == 0 ? flipSites(model, phase, work) : swapContinuations(model, phase, work);
        if (changes == 0 && round > 0) break;
    }
}

} // namespace

void refineByMosaics(const std::vector<std::string>& genotypes, std::vector<SamplePhase>& phases,
                     const MosaicSettings& settings, int threads)
{
    if (genotypes.size() < 2 || genotypes[0].empty()) return;
    const int sites = static_cast<int>(genotypes[0].size());
    const Model model = modelOf(settings, 2 * static_cast<int>(genotypes.size()) - 2);
    for (int pass = 0; pass < settings.passes; ++pass) {
        const PackedHaplotypes packed = pack(phases, sites);
        std::vector<SamplePhase> next = phases;
        std::atomic<std::size_t> handedOut{0};
        const auto work = [&] {
            SampleWork scratch;
            for (std::size_t i = handedOut++; i < phases.size(); i = handedOut++) {
                correctSample(genotypes[i], packed, static_cast<int>(i), model, settings, next[i], scratch);
            }
        };
        std::vector<std::thread> workers;
        for (int t = 1; t < threads; ++t) workers.emplace_back(work);
        work();
        for (std::thread& worker : workers) worker.join();
        phases = std::move(next);
    }
}
