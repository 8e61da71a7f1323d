#include "phasing/mosaic_refinement.hpp"

#include "data/site_planes.hpp"
#include "phasing/closest_sums.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>

namespace {

constexpr int kBlock = 64;          // sites per block: one word of haplotype bits
constexpr int kMaxMismatches = 16;  // a run's mismatches beyond these weigh no more
// Sums of float products over the templates go in eight lanes, added in a
// fixed order: the compiler may then use vector instructions without
// changing a bit of the result.
constexpr int kLanes = 8;

// Every haplotype of the phases, 64 sites to a word: haplotype 2i is sample
// i's first, 2i + 1 its second.
struct PackedHaplotypes {
    int words = 0;
    int count = 0;
    std::vector<std::uint64_t> bits;
    std::vector<std::uint64_t> byWord;  // the same words, word w of every haplotype side by side

    const std::uint64_t* of(int haplotype) const { return bits.data() + static_cast<std::size_t>(haplotype) * words; }
    const std::uint64_t* word(int w) const { return byWord.data() + static_cast<std::size_t>(w) * count; }
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
    packed.byWord.resize(packed.bits.size());
    for (int h = 0; h < packed.count; ++h) {
        for (int w = 0; w < packed.words; ++w) {
            packed.byWord[static_cast<std::size_t>(w) * packed.count + h] = packed.of(h)[w];
        }
    }
    return packed;
}

// The model's numbers, from the settings.
struct Model {
    int templates = 0;
    float stay = 0.0f;      // of keeping the template from one site to the next, on average
    float switches = 0.0f;  // expected per site: -log(stay)
    float mismatch = 0.0f;  // weight of a site that differs from the template, one that matches weighing 1
    float mismatchPowers[kMaxMismatches + 1] = {};

    // Of keeping the template from site `from` to site `to`.
    float stayBetween(int from, int to) const { return std::exp(-switches * static_cast<float>(to - from)); }
};

Model modelOf(const MosaicSettings& settings, int haplotypes)
{
    Model model;
    // A multiple of the lanes of the sums; with fewer haplotypes than
    // templates, haplotypes stand for several templates.
    const int wanted = std::clamp(std::min(settings.templates, haplotypes), 1, 1 << 12);
    model.templates = (wanted + kLanes - 1) / kLanes * kLanes;
    model.stay = 1.0f - settings.switchRate;
    model.switches = -std::log(model.stay);
    model.mismatch = settings.mismatchRate / (1.0f - settings.mismatchRate);
    model.mismatchPowers[0] = 1.0f;
    for (int m = 1; m <= kMaxMismatches; ++m) model.mismatchPowers[m] = model.mismatchPowers[m - 1] * model.mismatch;
    return model;
}

// What a point of the sums is: a heterozygous site (its two alleles may
// change sides), or the start of a block at a missing call (the sums take no
// weight there) or at a homozygous site. Other missing calls are no points:
// they weigh nothing in the runs between points, and their alleles are
// imputed from the sums at the point before them.
enum class PointKind : std::uint8_t { Heterozygous, Missing, Homozygous };

// One sample's correction: its genotype as masks, its templates per block,
// the points of its forward and backward sums, and the backward sums at
// every point. One per thread.
struct SampleWork {
    std::vector<std::uint64_t> heterozygous, ones;  // per block: sites '2'; sites '1'
    std::vector<std::uint64_t> open;                // per block: missing calls
    std::vector<std::uint64_t> own;                 // the sample's two haplotypes, words per haplotype
    std::vector<std::uint8_t> distances;            // per side, block and other haplotype: sites that differ
    std::vector<std::int16_t> sums;                 // per side and other haplotype: over the blocks around one
    std::vector<std::int16_t> eligible;             // per other haplotype: its sum, or kTaken once chosen
    std::vector<int> picked;                        // the other haplotypes chosen for the block at hand
    int limits[2] = {0, 0};                         // per side: the distance up to which the last block chose
    std::vector<int> templates;                     // per block: K haplotype numbers, ascending
    std::vector<std::uint64_t> templateWords;       // per block: K words of the templates' alleles there
    std::vector<int> earlierIndex;                  // per block: each template's index in the block before, or -1
    std::vector<int> laterIndex;                    // per block: each template's index in the block after, or -1
    std::vector<int> points;                        // ascending sites: heterozygous, block starts
    std::vector<PointKind> kinds;                   // by point
    std::vector<std::size_t> openAfter;             // per point + 1: where its missing calls start in `openSites`
    std::vector<int> openSites;                     // missing calls after each point, before the next
    int heterozygousCount = 0;
    std::vector<float> backward[2];                 // per point: K
    std::vector<float> f, g, h;                     // K each
};

void readGenotype(const std::string& genotype, const std::vector<int>& missing, int words, SampleWork& work)
{
    work.heterozygous.assign(static_cast<std::size_t>(words), 0);
    work.ones.assign(static_cast<std::size_t>(words), 0);
    work.open.assign(static_cast<std::size_t>(words), 0);
    for (const int s : missing) work.open[static_cast<std::size_t>(s / kBlock)] |= std::uint64_t{1} << (s % kBlock);
    work.points.clear();
    work.kinds.clear();
    work.openAfter.assign(1, 0);
    work.openSites.clear();
    work.heterozygousCount = 0;
    for (std::size_t s = 0; s < genotype.size(); ++s) {
        const std::uint64_t bit = std::uint64_t{1} << (s % kBlock);
        const bool open = (work.open[s / kBlock] & bit) != 0;
        const bool heterozygous = genotype[s] == '2' && !open;
        if (heterozygous) work.heterozygous[s / kBlock] |= bit;
        if (genotype[s] == '1' && !open) work.ones[s / kBlock] |= bit;
        if (s % kBlock != 0 && !heterozygous) {
            if (open) work.openSites.push_back(static_cast<int>(s));
            continue;
        }
        work.openAfter.push_back(work.openSites.size());
        work.points.push_back(static_cast<int>(s));
        work.kinds.push_back(heterozygous ? PointKind::Heterozygous : open ? PointKind::Missing : PointKind::Homozygous);
        work.heterozygousCount += heterozygous;
    }
    work.openAfter.push_back(work.openSites.size());
    work.openAfter.erase(work.openAfter.begin());
}

// The missing calls between point `p` and the next: their alleles are
// imputed from the sums at `p`.
std::pair<const int*, const int*> openCallsAfter(const SampleWork& work, std::size_t p)
{
    const int* sites = work.openSites.data();
    return {sites + work.openAfter[p], sites + work.openAfter[p + 1]};
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
    // Per side, block and other haplotype the sites that differ (one byte:
    // at most 64), then per side and other haplotype their sum over the
    // blocks around the block at hand: contiguous rows that the compiler
    // adds with vector instructions.
    const auto row = [&](int side, int w) {
        return work.distances.data() + (static_cast<std::size_t>(side) * words + static_cast<std::size_t>(w)) * others;
    };
    work.distances.resize(2 * static_cast<std::size_t>(words) * others);
    const int before = 2 * sample;  // the others before the sample's own two haplotypes
    for (int side = 0; side < 2; ++side) {
        const std::uint64_t* mine = work.own.data() + static_cast<std::size_t>(side) * words;
        for (int w = 0; w < words; ++w) {
            const std::uint64_t* bits = packed.word(w);
            const std::uint64_t own = mine[w];
            std::uint8_t* d = row(side, w);
            for (int o = 0; o < before; ++o) d[o] = static_cast<std::uint8_t>(__builtin_popcountll(bits[o] ^ own));
            for (int o = before; o < others; ++o) d[o] = static_cast<std::uint8_t>(__builtin_popcountll(bits[o + 2] ^ own));
        }
    }
    work.sums.assign(2 * static_cast<std::size_t>(others), 0);
    std::int16_t* sums[2] = {work.sums.data(), work.sums.data() + others};
    const auto add = [&](int w, int sign) {
        if (w < 0 || w >= words) return;
        for (int side = 0; side < 2; ++side) {
            const std::uint8_t* d = row(side, w);
            std::int16_t* sum = sums[side];
            for (int o = 0; o < others; ++o) sum[o] = static_cast<std::int16_t>(sum[o] + sign * d[o]);
        }
    };
    for (int w = 0; w < reach; ++w) add(w, 1);
    work.templates.resize(static_cast<std::size_t>(words) * k);
    work.templateWords.resize(static_cast<std::size_t>(words) * k);
    work.eligible.resize(static_cast<std::size_t>(others));
    work.limits[0] = work.limits[1] = 0;
    for (int b = 0; b < words; ++b) {
        add(b + reach, 1);
        add(b - reach - 1, -1);
        int* chosen = work.templates.data() + static_cast<std::size_t>(b) * k;
        if (others < k) {
            // Every other haplotype, each standing for one or more templates.
            for (int t = 0; t < k; ++t) {
                const int o = t * others / k;
                chosen[t] = o < 2 * sample ? o : o + 2;
                work.templateWords[static_cast<std::size_t>(b) * k + t] = packed.of(chosen[t])[b];
            }
            continue;
        }
        // The K/2 closest to the first haplotype, then the closest to the
        // second among the others: all below a distance, then those at it
        // in order; together, ascending.
        std::vector<int>& picked = work.picked;
        picked.clear();
        pickClosest(sums[0], others, k / 2, work.limits[0], picked);
        const std::size_t firstPicks = picked.size();
        std::int16_t* eligible = work.eligible.data();
        std::copy(sums[1], sums[1] + others, eligible);
        for (const int o : picked) eligible[o] = kTaken;
        pickClosest(eligible, others, k - static_cast<int>(firstPicks), work.limits[1], picked);
        std::inplace_merge(picked.begin(), picked.begin() + static_cast<std::ptrdiff_t>(firstPicks), picked.end());
        for (int t = 0; t < k; ++t) {
            const int o = picked[static_cast<std::size_t>(t)];
            chosen[t] = o < 2 * sample ? o : o + 2;
            work.templateWords[static_cast<std::size_t>(b) * k + t] = packed.of(chosen[t])[b];
        }
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
    const std::uint64_t run = upper & ~((std::uint64_t{1} << lo) - 1) & ~work.heterozygous[static_cast<std::size_t>(block)]
                              & ~work.open[static_cast<std::size_t>(block)];
    const std::uint64_t ones = work.ones[static_cast<std::size_t>(block)];
    const std::uint64_t* words = work.templateWords.data() + static_cast<std::size_t>(block) * k;
    for (int t = 0; t < k; ++t) {
        w[t] = model.mismatchPowers[std::min(kMaxMismatches, __builtin_popcountll((words[t] ^ ones) & run))];
    }
}

// The weight of a template at a point for each haplotype: 1 where it
// carries the haplotype's allele, the mismatch weight where not, and 1 at a
// missing call, which weighs nothing.
struct PointWeights {
    float carrying[2];  // of a template carrying the first haplotype's allele, for each haplotype
    float other[2];     // of one carrying the other allele
};

PointWeights weightsAt(const Model& model, PointKind kind)
{
    const float m = model.mismatch;
    switch (kind) {
    case PointKind::Missing:
        return {{1.0f, 1.0f}, {1.0f, 1.0f}};
    case PointKind::Heterozygous:
        return {{1.0f, m}, {m, 1.0f}};
    default:
        return {{1.0f, 1.0f}, {m, m}};
    }
}

int alleleAt(const std::string& text, int site)
{
    return text[static_cast<std::size_t>(site)] - '0';
}

// One step of both haplotypes' sums to point `p`, whose run weights are in
// `run`: each sum (scaled to add up to `total`) keeps its template with
// `keep` and spreads the rest evenly, then takes the weights of the run and
// of the point. Returns the new totals through `total`.
void stepBoth(const Model& model, const SampleWork& work, const SamplePhase& phase, std::size_t p, float keep,
              const float* run, float* f0, float* f1, float total[2])
{
    const int k = model.templates;
    const int site = work.points[p];
    const std::uint64_t* words = work.templateWords.data() + static_cast<std::size_t>(site / kBlock) * k;
    const int bit = site % kBlock;
    const int allele = alleleAt(phase.first, site);
    const PointWeights w = weightsAt(model, work.kinds[p]);
    const float keep0 = keep / total[0];
    const float keep1 = keep / total[1];
    const float spread = (1.0f - keep) / static_cast<float>(k);
    float sum0[kLanes] = {};
    float sum1[kLanes] = {};
    for (int t = 0; t < k; t += kLanes) {
        for (int l = 0; l < kLanes; ++l) {
            const bool carries = static_cast<int>((words[t + l] >> bit) & 1U) == allele;
            const float w0 = run[t + l] * (carries ? w.carrying[0] : w.other[0]);
            const float w1 = run[t + l] * (carries ? w.carrying[1] : w.other[1]);
            sum0[l] += f0[t + l] = (keep0 * f0[t + l] + spread) * w0;
            sum1[l] += f1[t + l] = (keep1 * f1[t + l] + spread) * w1;
        }
    }
    total[0] = total[1] = 0.0f;
    for (int l = 0; l < kLanes; ++l) total[0] += sum0[l], total[1] += sum1[l];
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

// What a round of corrections decides at each heterozygous site.
enum class Correction { Flip, Swap };

// The backward sums of both haplotypes at each point: the likelihood of the
// sites after it, by template at the point, scaled.
void sumBackward(const Model& model, const SamplePhase& phase, SampleWork& work)
{
    const int k = model.templates;
    const std::vector<int>& points = work.points;
    const std::size_t size = points.size() * static_cast<std::size_t>(k);
    work.backward[0].resize(size);
    work.backward[1].resize(size);
    float* b0 = work.f.data();
    float* b1 = b0 + k;
    float* run = work.g.data();
    float* moved = run + k;
    float* earlierRun = moved + k;
    std::fill(b0, b0 + 2 * k, 1.0f);
    float total[2] = {static_cast<float>(k), static_cast<float>(k)};
    for (std::size_t p = points.size(); p-- > 0;) {
        const std::ptrdiff_t where = static_cast<std::ptrdiff_t>(p * k);
        const float scale0 = 1.0f / total[0];
        const float scale1 = 1.0f / total[1];
        for (int t = 0; t < k; ++t) work.backward[0][where + t] = b0[t] * scale0, work.backward[1][where + t] = b1[t] * scale1;
        if (p == 0) break;
        // The weights of the point and of the run before it, then the move
        // to the point before (across a block start: onto the templates of
        // the block before, then its run).
        const int at = points[p];
        const int from = points[p - 1];
        const int block = at / kBlock;
        const std::uint64_t* words = work.templateWords.data() + static_cast<std::size_t>(block) * k;
        const int bit = at % kBlock;
        const int allele = alleleAt(phase.first, at);
        const PointWeights w = weightsAt(model, work.kinds[p]);
        const bool blockStart = bit == 0;
        if (!blockStart) {
            weighRun(model, work, block, from, at, run);
        } else {
            std::fill(run, run + k, 1.0f);
            weighRun(model, work, block - 1, from, at, earlierRun);
        }
        for (int side = 0; side < 2; ++side) {
            float* b = side == 0 ? b0 : b1;
            const float scale = 1.0f / total[side];
            float lanes[kLanes] = {};
            for (int t = 0; t < k; t += kLanes) {
                for (int l = 0; l < kLanes; ++l) {
                    const bool carries = static_cast<int>((words[t + l] >> bit) & 1U) == allele;
                    lanes[l] += b[t + l] = b[t + l] * scale * run[t + l] * (carries ? w.carrying[side] : w.other[side]);
                }
            }
            float sum = 0.0f;
            for (const float lane : lanes) sum += lane;
            float keep = model.stayBetween(blockStart ? at - 1 : from, at);
            float spread = (1.0f - keep) * sum / static_cast<float>(k);
            if (blockStart) {
                backOntoBlock(work, k, block, b, moved);
                for (int t = 0; t < k; ++t) moved[t] = keep * moved[t] + spread;
                keep = model.stayBetween(from, at - 1);
                sum = 0.0f;
                for (int t = 0; t < k; ++t) sum += moved[t] *= earlierRun[t];
                spread = (1.0f - keep) * sum / static_cast<float>(k);
                for (int t = 0; t < k; ++t) b[t] = keep * moved[t] + spread;
            } else {
                for (int t = 0; t < k; ++t) b[t] = keep * b[t] + spread;
            }
            total[side] = sum;
        }
    }
}

// Whether flipping the heterozygous site of point `p` (its two alleles
// change sides) makes both haplotypes together more likely, from their
// forward sums `f0`, `f1` (the site weighed in) and the backward sums there.
bool flipHelps(const Model& model, const SampleWork& work, const SamplePhase& phase, std::size_t p, const float* f0,
               const float* f1)
{
    const int k = model.templates;
    const int site = work.points[p];
    const std::uint64_t* words = work.templateWords.data() + static_cast<std::size_t>(site / kBlock) * k;
    const int bit = site % kBlock;
    const float* b0 = work.backward[0].data() + p * k;
    const float* b1 = work.backward[1].data() + p * k;
    const int first = alleleAt(phase.first, site);
    const float toMismatch = model.mismatch;
    const float toMatch = 1.0f / model.mismatch;
    float now0[kLanes] = {}, now1[kLanes] = {}, flipped0[kLanes] = {}, flipped1[kLanes] = {};
    for (int t = 0; t < k; t += kLanes) {
        for (int l = 0; l < kLanes; ++l) {
            const bool carriesFirst = static_cast<int>((words[t + l] >> bit) & 1U) == first;
            const float p0 = f0[t + l] * b0[t + l];
            const float p1 = f1[t + l] * b1[t + l];
            now0[l] += p0;
            now1[l] += p1;
            flipped0[l] += p0 * (carriesFirst ? toMismatch : toMatch);
            flipped1[l] += p1 * (carriesFirst ? toMatch : toMismatch);
        }
    }
    double n0 = 0.0, n1 = 0.0, x0 = 0.0, x1 = 0.0;
    for (int l = 0; l < kLanes; ++l) n0 += now0[l], n1 += now1[l], x0 += flipped0[l], x1 += flipped1[l];
    return x0 * x1 > n0 * n1 * 1.0001;
}

// Whether exchanging the two haplotypes' continuations after point `p`
// makes them together more likely.
bool swapHelps(const Model& model, const SampleWork& work, std::size_t p, const float* f0, const float* f1)
{
    const int k = model.templates;
    const float* b0 = work.backward[0].data() + p * k;
    const float* b1 = work.backward[1].data() + p * k;
    float same0[kLanes] = {}, same1[kLanes] = {}, crossed0[kLanes] = {}, crossed1[kLanes] = {};
    for (int t = 0; t < k; t += kLanes) {
        for (int l = 0; l < kLanes; ++l) {
            same0[l] += f0[t + l] * b0[t + l];
            same1[l] += f1[t + l] * b1[t + l];
            crossed0[l] += f0[t + l] * b1[t + l];
            crossed1[l] += f1[t + l] * b0[t + l];
        }
    }
    double s0 = 0.0, s1 = 0.0, c0 = 0.0, c1 = 0.0;
    for (int l = 0; l < kLanes; ++l) s0 += same0[l], s1 += same1[l], c0 += crossed0[l], c1 += crossed1[l];
    return c0 * c1 > s0 * s1 * 1.0001;
}

// The alleles of both haplotypes at the missing call `site`, at point `p` or
// after it in its block: each the allele that its templates at `p` carry
// with the greater weight.
void imputeAt(const Model& model, const SampleWork& work, std::size_t p, int site, const float* f0, const float* f1,
              SamplePhase& phase)
{
    const int k = model.templates;
    const std::uint64_t* words = work.templateWords.data() + static_cast<std::size_t>(site / kBlock) * k;
    const int bit = site % kBlock;
    for (int side = 0; side < 2; ++side) {
        const float* f = side == 0 ? f0 : f1;
        const float* b = work.backward[side].data() + p * k;
        float ones[kLanes] = {}, all[kLanes] = {};
        for (int t = 0; t < k; t += kLanes) {
            for (int l = 0; l < kLanes; ++l) {
                const float weight = f[t + l] * b[t + l];
                all[l] += weight;
                ones[l] += (words[t + l] >> bit) & 1U ? weight : 0.0f;
            }
        }
        double one = 0.0, total = 0.0;
        for (int l = 0; l < kLanes; ++l) one += ones[l], total += all[l];
        (side == 0 ? phase.first : phase.second)[static_cast<std::size_t>(site)] = 2 * one > total ? '1' : '0';
    }
}

// The forward sums of both haplotypes, point by point: at each heterozygous
// site the correction of the round is weighed against the backward sums, at
// each missing call the alleles are imputed. Returns the points of the
// heterozygous sites where the correction helps.
std::vector<std::size_t> findCorrections(const Model& model, SamplePhase& phase, SampleWork& work, Correction kind)
{
    const int k = model.templates;
    const std::vector<int>& points = work.points;
    float* f0 = work.f.data();
    float* f1 = f0 + k;
    float* run = work.g.data();
    float* moved = run + k;
    float* scaled = moved + k;  // the sums scaled to add up to 1, 2K
    std::vector<std::size_t> helping;
    float total[2] = {1.0f, 1.0f};
    std::size_t heterozygous = 0;
    const auto weigh = [&](std::size_t p) {
        const auto [open, openEnd] = openCallsAfter(work, p);
        if (work.kinds[p] == PointKind::Homozygous && open == openEnd) return;
        const float scale0 = 1.0f / total[0];
        const float scale1 = 1.0f / total[1];
        for (int t = 0; t < k; ++t) scaled[t] = f0[t] * scale0, scaled[k + t] = f1[t] * scale1;
        if (work.kinds[p] == PointKind::Missing) imputeAt(model, work, p, work.points[p], scaled, scaled + k, phase);
        for (const int* site = open; site != openEnd; ++site) imputeAt(model, work, p, *site, scaled, scaled + k, phase);
        if (work.kinds[p] != PointKind::Heterozygous) return;
        ++heterozygous;
        const bool helps = kind == Correction::Flip
                               ? flipHelps(model, work, phase, p, scaled, scaled + k)
                               : heterozygous < static_cast<std::size_t>(work.heterozygousCount)
                                     && swapHelps(model, work, p, scaled, scaled + k);
        if (helps) helping.push_back(p);
    };

    // A step to each point; across a block start, the run of the block
    // before first, then one site onto the new block's templates.
    std::fill(f0, f0 + 2 * k, 1.0f / static_cast<float>(k));
    std::fill(run, run + k, 1.0f);
    stepBoth(model, work, phase, 0, 1.0f, run, f0, f1, total);
    weigh(0);
    for (std::size_t p = 1; p < points.size(); ++p) {
        const int from = points[p - 1];
        const int to = points[p];
        const int block = to / kBlock;
        if (to % kBlock != 0) {
            weighRun(model, work, block, from, to, run);
            stepBoth(model, work, phase, p, model.stayBetween(from, to), run, f0, f1, total);
        } else {
            weighRun(model, work, block - 1, from, to, run);
            const float keep = model.stayBetween(from, to - 1);
            const float spread = (1.0f - keep) / static_cast<float>(k);
            for (int side = 0; side < 2; ++side) {
                float* f = side == 0 ? f0 : f1;
                float sum = 0.0f;
                const float kept = keep / total[side];
                for (int t = 0; t < k; ++t) sum += f[t] = (kept * f[t] + spread) * run[t];
                ontoBlock(work, k, block, f, moved);
                std::copy(moved, moved + k, f);
                total[side] = sum;
            }
            std::fill(run, run + k, 1.0f);
            stepBoth(model, work, phase, p, model.stayBetween(to - 1, to), run, f0, f1, total);
        }
        weigh(p);
    }
    return helping;
}

// Makes the corrections found: flips the sites, or exchanges everything
// after each site between the haplotypes (the imputed alleles of missing
// calls with the rest).
void applyCorrections(const std::vector<std::size_t>& helping, Correction kind, SamplePhase& phase,
                      const SampleWork& work)
{
    const auto exchange = [&](int site) {
        std::swap(phase.first[static_cast<std::size_t>(site)], phase.second[static_cast<std::size_t>(site)]);
    };
    if (kind == Correction::Flip) {
        for (const std::size_t p : helping) exchange(work.points[p]);
        return;
    }
    std::size_t next = 0;
    bool exchanged = false;
    for (std::size_t p = 0; p < work.points.size(); ++p) {
        if (exchanged && work.kinds[p] != PointKind::Homozygous) exchange(work.points[p]);
        if (next < helping.size() && helping[next] == p) exchanged = !exchanged, ++next;
        if (!exchanged) continue;
        const auto [open, openEnd] = openCallsAfter(work, p);
        for (const int* site = open; site != openEnd; ++site) exchange(*site);
    }
}

// Corrects one sample's phase in rounds; counts the corrections made.
void correctSample(const std::string& genotype, const std::vector<int>& missing, const PackedHaplotypes& packed,
                   int sample, const Model& model, const MosaicSettings& settings, SamplePhase& phase,
                   SampleWork& work, MosaicOutcome& made)
{
    readGenotype(genotype, missing, packed.words, work);
    if (work.heterozygousCount < 2 && missing.empty()) return;
    chooseTemplates(packed, sample, model, settings.reach, work);
    work.f.resize(2 * static_cast<std::size_t>(model.templates));
    work.g.resize(4 * static_cast<std::size_t>(model.templates));
    for (int round = 0; round < settings.rounds; ++round) {
        const Correction kind = round % 2 == 0 ? Correction::Flip : Correction::Swap;
        sumBackward(model, phase, work);
        const std::vector<std::size_t> helping = findCorrections(model, phase, work, kind);
        applyCorrections(helping, kind, phase, work);
        (kind == Correction::Flip ? made.flips : made.swaps) += static_cast<long long>(helping.size());
        if (helping.empty() && round > 0) break;
    }
}

} // namespace

MosaicOutcome refineByMosaics(const std::vector<std::string>& genotypes, const std::vector<std::vector<int>>& missing,
                              std::vector<SamplePhase>& phases, const MosaicSettings& settings, int threads,
                              const std::function<bool()>& interrupted)
{
    static const std::vector<int> kNone;
    MosaicOutcome outcome;
    if (genotypes.size() < 2 || genotypes[0].empty()) return outcome;
    const int sites = static_cast<int>(genotypes[0].size());
    const Model model = modelOf(settings, 2 * static_cast<int>(genotypes.size()) - 2);
    for (int pass = 0; pass < settings.passes && !(interrupted && interrupted()); ++pass) {
        const PackedHaplotypes packed = pack(phases, sites);
        std::vector<SamplePhase> next = phases;
        std::atomic<std::size_t> handedOut{0};
        std::vector<MosaicOutcome> made(static_cast<std::size_t>(std::max(threads, 1)));
        const auto work = [&](int worker) {
            SampleWork scratch;
            for (std::size_t i = handedOut++; i < phases.size(); i = handedOut++) {
                correctSample(genotypes[i], i < missing.size() ? missing[i] : kNone, packed, static_cast<int>(i), model,
                              settings, next[i], scratch, made[static_cast<std::size_t>(worker)]);
            }
        };
        std::vector<std::thread> workers;
        for (int t = 1; t < threads; ++t) workers.emplace_back(work, t);
        work(0);
        for (std::thread& worker : workers) worker.join();
        phases = std::move(next);
        ++outcome.passes;
        for (const MosaicOutcome& m : made) outcome.flips += m.flips, outcome.swaps += m.swaps;
    }
    return outcome;
}
