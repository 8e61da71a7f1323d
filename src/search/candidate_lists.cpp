#include "search/candidate_lists.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

PairEvaluation evaluatePair(const HaplotypeList& list, const char* genotype, int s1, int s2)
{
    const char* a = list.text[s1].data();
    const char* b = list.text[s2].data();
    const int la = list.label[s1];
    const int lb = list.label[s2];
    const int isolated1 = list.isolated[s1] != 0 ? 1 : 0;
    const int isolated2 = list.isolated[s2] != 0 ? 1 : 0;

    PairEvaluation result;
    for (int l = 0; l < list.length; ++l) {
        const char A = a[l];
        const char B = b[l];
        const char G = genotype[l];
        if (G == '2') {
            if (A == B) {
                // Equal determined values, or equal labels, cannot give the two alleles.
                if (A != '2' || la == lb) return result;
                if (lb != -la) {
                    ++result.vts;
                    result.w *= 0.5f;
                    result.vnc += isolated1 + isolated2;
                }
            } else if (A == '2' || B == '2') {
                ++result.vts;
                result.w *= 0.5f;
                result.vnc += A == '2' ? isolated1 : isolated2;
            }
        } else {
            if ((A != '2' && A != G) || (B != '2' && B != G)) return result;
            if (A == '2' && B == '2' && lb == -la) return result;
            if (A == '2') {
                ++result.vts;
                result.w /= 2;
                result.vnc += isolated1;
            }
            if (B == '2') {
                ++result.vts;
                result.w /= 2;
                result.vnc += isolated2;
            }
        }
    }
    result.accepted = true;
    return result;
}

void updateIsolated(HaplotypeList& list, std::vector<int>& componentSize)
{
    int largest = 0;
    for (int p = 0; p < list.liveCount; ++p) largest = std::max(largest, std::abs(list.label[list.order[p]]));
    componentSize.assign(static_cast<std::size_t>(largest) + 1, 0);
    for (int p = 0; p < list.liveCount; ++p) {
        ++componentSize[std::abs(list.label[list.order[p]])];
    }
    for (int p = 0; p < list.liveCount; ++p) {
        const int s = list.order[p];
        const int others = componentSize[std::abs(list.label[s])] - 1;
        list.isolated[s] = others < 2 ? 1 : 0;
    }
}

void preparePairPlanes(SearchState& state, const HaplotypeList& initial)
{
    const HaplotypeList& current = state.current;
    resizeSitePlanes(state.currentPlanes, current.slotCount, current.length);
    for (int p = 0; p < current.liveCount; ++p) {
        const int s = current.order[p];
        refreshSitePlanes(state.currentPlanes, s, current.text[s].data(), current.length);
    }
    resizeSitePlanes(state.genotypePlanes, initial.slotCount, initial.length);
    for (int i = 0; i < initial.slotCount / 2; ++i) {
        refreshSitePlanes(state.genotypePlanes, 2 * i, initial.text[2 * i].data(), initial.length);
    }
}

namespace {

// The planes of a candidate pair and its genotype, word by word.
struct PairWords {
    std::uint64_t zero1, one1, open1, zero2, one2, open2, genotypeZero, genotypeOne, heterozygous;
};

template <typename Step>
inline __attribute__((always_inline)) bool forEachPairWord(const SearchState& state, int genotypeIndex, int s1, int s2,
                                                           Step&& step)
{
    const SitePlanes& slots = state.currentPlanes;
    const SitePlanes& genotypes = state.genotypePlanes;
    const SlotPlanes first = slots.slotOf(s1);
    const SlotPlanes second = slots.slotOf(s2);
    const SlotPlanes genotype = genotypes.slotOf(2 * genotypeIndex);
    for (int w = 0; w < slots.words; ++w) {
        if (!step(PairWords{first.zero[w], first.one[w], first.open[w], second.zero[w], second.one[w], second.open[w],
                            genotype.zero[w], genotype.one[w], genotype.open[w]})) {
            return false;
        }
    }
    return true;
}

// The rejection rules of evaluatePair on 64 sites at once.
bool wordsReject(const PairWords& p, int la, int lb)
{
    const std::uint64_t homozygous = p.genotypeZero | p.genotypeOne;
    const std::uint64_t bothOpen = p.open1 & p.open2;
    if ((p.heterozygous & ((p.zero1 & p.zero2) | (p.one1 & p.one2))) != 0) return true;
    if (la == lb && (p.heterozygous & bothOpen) != 0) return true;
    if ((((p.zero1 | p.zero2) & p.genotypeOne) | ((p.one1 | p.one2) & p.genotypeZero)) != 0) return true;
    if (lb == -la && (homozygous & bothOpen) != 0) return true;
    return false;
}

inline __attribute__((always_inline)) int bits(std::uint64_t word)
{
    return __builtin_popcountll(word);
}

} // namespace

namespace {

VELMORA_COUNTS_BITS PairEvaluation priceCandidateCounted(const SearchState& state, int genotype, int s1, int s2)
{
    const HaplotypeList& current = state.current;
    const int la = current.label[s1];
    const int lb = current.label[s2];
    const int isolated1 = current.isolated[s1] != 0 ? 1 : 0;
    const int isolated2 = current.isolated[s2] != 0 ? 1 : 0;
    PairEvaluation result;
    const bool fits = forEachPairWord(state, genotype, s1, s2, [&](const PairWords& p) {
        if (wordsReject(p, la, lb)) return false;
        const std::uint64_t homozygous = p.genotypeZero | p.genotypeOne;
        // Heterozygous sites with exactly one open slot: one decision each.
        const int onlyFirst = bits(p.heterozygous & p.open1 & ~p.open2);
        const int onlySecond = bits(p.heterozygous & p.open2 & ~p.open1);
        result.vts += onlyFirst + onlySecond;
        result.vnc += isolated1 * onlyFirst + isolated2 * onlySecond;
        // Both open in unrelated components: one decision, both slots counted.
        if (lb != -la) {
            const int both = bits(p.heterozygous & p.open1 & p.open2);
            result.vts += both;
            result.vnc += (isolated1 + isolated2) * both;
        }
        // Homozygous sites: a decision for every open slot.
        const int first = bits(homozygous & p.open1);
        const int second = bits(homozygous & p.open2);
        result.vts += first + second;
        result.vnc += isolated1 * first + isolated2 * second;
        return true;
    });
    if (!fits) return PairEvaluation{};
    result.accepted = true;
    // Halving 1.0 once per decision is exact down to 2^-149; one more
    // halving rounds to zero.
    result.w = result.vts <= 149 ? std::ldexp(1.0f, -result.vts) : 0.0f;
    return result;
}

} // namespace

PairEvaluation priceCandidate(const SearchState& state, int genotype, int s1, int s2)
{
    return priceCandidateCounted(state, genotype, s1, s2);
}

bool candidateFits(const SearchState& state, int genotype, int s1, int s2)
{
    const int la = state.current.label[s1];
    const int lb = state.current.label[s2];
    return forEachPairWord(state, genotype, s1, s2,
                           [&](const PairWords& p) { return !wordsReject(p, la, lb); });
}

namespace {

// From this many fitting slots on, a genotype's pairs are found through
// masks of the slots holding each value at each heterozygous site rather
// than by comparing every pair.
constexpr std::size_t kMaskedPairsFrom = 192;

// The sieve takes the sites of a word three at a time: for each group and
// each combination of homozygous values a genotype can have there (digit k
// of the combination in base 3: 0 open, 1 '0', 2 '1' at the group's site k),
// the live positions that contradict it.
constexpr int kSitesPerGroup = 3;
constexpr int kGroupsPerWord = (64 + kSitesPerGroup - 1) / kSitesPerGroup;
constexpr int kCombinations = 27;

// The combination of a group's homozygous values from its bits of the
// genotype's zero and one planes: base3[bits] puts digit 1 at every set bit.
constexpr std::array<int, 8> kBase3 = {0, 1, 3, 4, 9, 10, 12, 13};

std::size_t groupRowOffset(int word, int group, int combination, int blocks)
{
    return ((static_cast<std::size_t>(word) * kGroupsPerWord + group) * kCombinations + combination) * blocks;
}

// Fills state.groupRows from the per-site masks: each combination is the one
// without its highest digit joined with that digit's site.
void maskLiveSlotsBySiteGroup(SearchState& state, int blocks)
{
    const int words = state.currentPlanes.words;
    state.groupRows.resize(groupRowOffset(words, 0, 0, blocks));
    for (int w = 0; w < words; ++w) {
        for (int g = 0; g < kGroupsPerWord; ++g) {
            std::uint64_t* group = state.groupRows.data() + groupRowOffset(w, g, 0, blocks);
            std::fill_n(group, blocks, 0);
            for (int c = 1, power = 1; c < kCombinations; ++c) {
                if (c == 3 * power) power *= 3;
                const int k = power == 1 ? 0 : power == 3 ? 1 : 2;
                const int bit = kSitesPerGroup * g + k;
                std::uint64_t* row = group + static_cast<std::size_t>(c) * blocks;
                if (bit >= 64) {
                    std::fill_n(row, blocks, 0);  // no such site: never asked for
                    continue;
                }
                const int digit = c / power;
                const std::uint64_t* rest = group + static_cast<std::size_t>(c - digit * power) * blocks;
                const std::vector<std::uint64_t>& opposite = digit == 1 ? state.oneAtSite : state.zeroAtSite;
                const std::uint64_t* against = opposite.data() + static_cast<std::size_t>(64 * w + bit) * blocks;
                for (int b = 0; b < blocks; ++b) row[b] = rest[b] | against[b];
            }
        }
    }
}

// For every site, the live positions whose slot holds '0' there and those
// whose slot holds '1', as masks of `blocks` words (bit j of word b for
// position 64b + j): the slots' planes transposed 64 x 64 bits at a time.
void maskLiveSlotsBySite(SearchState& state, int blocks)
{
    const HaplotypeList& current = state.current;
    const SitePlanes& planes = state.currentPlanes;
    const int live = current.liveCount;
    const std::size_t size = static_cast<std::size_t>(planes.words) * 64 * blocks;
    state.zeroAtSite.assign(size, 0);
    state.oneAtSite.assign(size, 0);
    // The zero and one planes of the live slots by position, side by side.
    const std::size_t stride = 2 * static_cast<std::size_t>(planes.words);
    state.livePlanes.resize(static_cast<std::size_t>(live) * stride);
    for (int p = 0; p < live; ++p) {
        const int s = current.order[p];
        std::copy_n(planes.zeroOf(s), planes.words, state.livePlanes.data() + p * stride);
        std::copy_n(planes.oneOf(s), planes.words, state.livePlanes.data() + p * stride + planes.words);
    }
    std::uint64_t zero[64];
    std::uint64_t one[64];
    for (int b = 0; b < blocks; ++b) {
        for (int w = 0; w < planes.words; ++w) {
            for (int j = 0; j < 64; ++j) {
                const int p = 64 * b + j;
                zero[j] = p < live ? planes.zeroOf(current.order[p])[w] : 0;
                one[j] = p < live ? planes.oneOf(current.order[p])[w] : 0;
            }
            transposeBits(zero);
            transposeBits(one);
            for (int i = 0; i < 64; ++i) {
                const std::size_t site = static_cast<std::size_t>(64 * w + i);
                state.zeroAtSite[site * blocks + b] = zero[i];
                state.oneAtSite[site * blocks + b] = one[i];
            }
        }
    }
    maskLiveSlotsBySiteGroup(state, blocks);
}

// The positions of the live slots that have no determined site against a
// homozygous site of the genotype, ascending: every live position, less
// those holding '1' where the genotype holds '0' and the other way round,
// 64 sites at a time (four sites to a pass over the positions); once few
// positions are left, the rest of their sites is compared slot by slot.
VELMORA_COUNTS_BITS void listFittingPositions(SearchState& state, int genotype, int blocks,
                                              std::vector<int>& fitting)
{
    const int live = state.current.liveCount;
    const SitePlanes& genotypes = state.genotypePlanes;
    const int words = genotypes.words;
    const std::uint64_t* gz = genotypes.zeroOf(2 * genotype);
    const std::uint64_t* go = genotypes.oneOf(2 * genotype);
    std::vector<std::uint64_t>& fits = state.fittingMask;
    fits.assign(static_cast<std::size_t>(blocks), ~std::uint64_t{0});
    if (live % 64 != 0) fits[blocks - 1] = (std::uint64_t{1} << (live % 64)) - 1;
    // The masks of the positions each homozygous site of a word rules out.
    const std::uint64_t** against = state.sieveRows.data();
    // Sieving a site costs `blocks` words; checking a slot directly costs
    // two words per word of sites left.
    int homozygousLeft = 0;
    for (int w = 0; w < words; ++w) homozygousLeft += __builtin_popcountll(gz[w] | go[w]);
    int left = live;  // the positions the sieve has kept
    int w = 0;
    for (; w < words; ++w) {
        int rows = 0;
        for (int g = 0; g < kGroupsPerWord; ++g) {
            const unsigned zeros = static_cast<unsigned>(gz[w] >> (kSitesPerGroup * g)) & 7;
            const unsigned ones = static_cast<unsigned>(go[w] >> (kSitesPerGroup * g)) & 7;
            if ((zeros | ones) == 0) continue;
            const int combination = kBase3[zeros] + 2 * kBase3[ones];
            against[rows++] = state.groupRows.data() + groupRowOffset(w, g, combination, blocks);
        }
        int r = 0;
        for (; r + 4 <= rows; r += 4) {
            const std::uint64_t *a0 = against[r], *a1 = against[r + 1], *a2 = against[r + 2], *a3 = against[r + 3];
            for (int b = 0; b < blocks; ++b) fits[b] &= ~(a0[b] | a1[b] | a2[b] | a3[b]);
        }
        for (; r < rows; ++r) {
            const std::uint64_t* a = against[r];
            for (int b = 0; b < blocks; ++b) fits[b] &= ~a[b];
        }
        homozygousLeft -= __builtin_popcountll(gz[w] | go[w]);
        left = 0;
        for (int b = 0; b < blocks; ++b) left += __builtin_popcountll(fits[b]);
        if (left * 8 * (words - w - 1) <= homozygousLeft * blocks) break;
    }
    // Each survivor is written and kept when it does not clash: whether it
    // does is a coin toss the processor cannot predict.
    fitting.resize(static_cast<std::size_t>(left));
    int kept = 0;
    const std::size_t stride = 2 * static_cast<std::size_t>(words);
    for (int b = 0; b < blocks; ++b) {
        for (std::uint64_t bits = fits[b]; bits != 0; bits &= bits - 1) {
            const int p = 64 * b + __builtin_ctzll(bits);
            const std::uint64_t* planes = state.livePlanes.data() + static_cast<std::size_t>(p) * stride;
            std::uint64_t clash = 0;
            for (int rest = w + 1; rest < words; ++rest) clash |= (planes[rest] & go[rest]) | (planes[words + rest] & gz[rest]);
            fitting[static_cast<std::size_t>(kept)] = p;
            kept += clash == 0 ? 1 : 0;
        }
    }
    fitting.resize(static_cast<std::size_t>(kept));
}

// Calls visit(k1, k2) for every pair of fitting slots, k1 first and k2
// second, whose values held at the genotype's heterozygous sites (`held`:
// per slot, `words` words of zeros then of ones; `Words` of them, 0: any)
// never agree, and whose second slot is not below the first; in the order of
// k1, then k2. The test is symmetric, so each unordered pair is compared
// once; the few that pass are put in order (`passing`: scratch) before they
// are visited.
template <int Words, typename Visit>
inline __attribute__((always_inline)) void forEachPairHoldingNoSameValue(const std::vector<std::uint64_t>& held,
                                                                         const std::vector<int>& slots, int words,
                                                                         std::vector<std::pair<int, int>>& passing,
                                                                         Visit&& visit)
{
    const int stride = Words > 0 ? 2 * Words : 2 * words;
    const int count = static_cast<int>(slots.size());
    passing.clear();
    for (int k1 = 0; k1 < count; ++k1) {
        const std::uint64_t* held1 = held.data() + static_cast<std::size_t>(k1) * stride;
        const std::uint64_t* held2 = held1;
        for (int k2 = k1; k2 < count; ++k2, held2 += stride) {
            std::uint64_t same = 0;
            for (int w = 0; w < stride; ++w) same |= held1[w] & held2[w];
            if (same != 0) continue;
            // Distinct positions hold distinct slots: one order qualifies.
            passing.push_back(slots[k2] >= slots[k1] ? std::pair{k1, k2} : std::pair{k2, k1});
        }
    }
    if (passing.size() > 1) std::sort(passing.begin(), passing.end());
    for (const auto& [k1, k2] : passing) visit(static_cast<std::size_t>(k1), static_cast<std::size_t>(k2));
}

} // namespace

void buildPairLists(SearchState& state, const HaplotypeList& initial)
{
    HaplotypeList& current = state.current;
    state.writtenComponent = -1;
    updateIsolated(current, state.componentSize);
    preparePairPlanes(state, initial);
    const int blocks = (current.liveCount + 63) / 64;
    maskLiveSlotsBySite(state, blocks);
    state.sieveRows.resize(64);
    const int genotypes = initial.slotCount / 2;
    std::vector<int>& fitting = state.fittingPositions;
    const int words = state.genotypePlanes.words;
    std::vector<std::uint64_t>& held = state.fittingHeterozygous;
    std::vector<int> siteIndex(static_cast<std::size_t>(words) * 64, 0);
    std::vector<std::uint64_t> partnersOf;
    std::vector<int> fittingSlots;
    std::vector<std::pair<int, int>> passing;
    const std::size_t stride = 2 * static_cast<std::size_t>(words);
    for (int i = 0; i < genotypes; ++i) {
        listFittingPositions(state, i, blocks, fitting);
        PairRecord*& head = state.pairLists[i];
        // The values the fitting slots hold at the genotype's heterozygous
        // sites: two slots holding the same value at one of them never
        // explain it, and most pairs fail there, before any pricing.
        const std::uint64_t* heterozygous = state.genotypePlanes.openOf(2 * i);
        const std::size_t count = fitting.size();
        auto addPair = [&](int p, int q, int s1, int s2) {
            const PairEvaluation price = priceCandidate(state, i, s1, s2);
            if (!price.accepted) return;
            PairRecord* record = state.pairPool.allocate();
            *record = PairRecord{p, q, price.w, price.vts, price.vnc, i, 0, 1, head};
            head = record;
        };
        if (count < kMaskedPairsFrom) {
            // Few slots: every pair compared on its values.
            held.resize(count * stride);
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint64_t* zero = state.livePlanes.data() + static_cast<std::size_t>(fitting[k]) * stride;
                const std::uint64_t* one = zero + words;
                for (int w = 0; w < words; ++w) {
                    held[k * stride + w] = zero[w] & heterozygous[w];
                    held[k * stride + words + w] = one[w] & heterozygous[w];
                }
            }
            fittingSlots.resize(count);
            for (std::size_t k = 0; k < count; ++k) fittingSlots[k] = current.order[fitting[k]];
            const auto add = [&](std::size_t k1, std::size_t k2) {
                addPair(fitting[k1], fitting[k2], fittingSlots[k1], fittingSlots[k2]);
            };
            switch (words) {
            case 1: forEachPairHoldingNoSameValue<1>(held, fittingSlots, words, passing, add); break;
            case 2: forEachPairHoldingNoSameValue<2>(held, fittingSlots, words, passing, add); break;
            default: forEachPairHoldingNoSameValue<0>(held, fittingSlots, words, passing, add); break;
            }
            continue;
        }
        // Many slots: per heterozygous site and value, the fitting slots
        // (by index in `fitting`) that hold it; a slot's partners are the
        // fitting slots outside the masks of the values it holds.
        const std::size_t maskWords = (count + 63) / 64;
        int sites = 0;
        for (int w = 0; w < words; ++w) {
            for (std::uint64_t bits = heterozygous[w]; bits != 0; bits &= bits - 1) {
                siteIndex[64 * w + __builtin_ctzll(bits)] = sites++;
            }
        }
        // Calls visit(j, side) for each heterozygous site (j: its index
        // among them) at which slot p holds value `side`.
        const auto forEachHeldSite = [&](int p, auto&& visit) {
            const std::uint64_t* planes = state.livePlanes.data() + static_cast<std::size_t>(p) * stride;
            for (int w = 0; w < words; ++w) {
                for (int side = 0; side < 2; ++side) {
                    for (std::uint64_t bits = planes[side * words + w] & heterozygous[w]; bits != 0; bits &= bits - 1) {
                        visit(static_cast<std::size_t>(siteIndex[64 * w + __builtin_ctzll(bits)]), side);
                    }
                }
            }
        };
        held.assign(2 * static_cast<std::size_t>(sites) * maskWords, 0);
        for (std::size_t k = 0; k < count; ++k) {
            forEachHeldSite(fitting[k], [&](std::size_t j, int side) {
                held[(2 * j + side) * maskWords + k / 64] |= std::uint64_t{1} << (k % 64);
            });
        }
        partnersOf.resize(maskWords);
        for (std::size_t k1 = 0; k1 < count; ++k1) {
            const int p = fitting[k1];
            const int s1 = current.order[p];
            std::fill(partnersOf.begin(), partnersOf.end(), ~std::uint64_t{0});
            forEachHeldSite(p, [&](std::size_t j, int side) {
                const std::uint64_t* mask = held.data() + (2 * j + side) * maskWords;
                for (std::size_t m = 0; m < maskWords; ++m) partnersOf[m] &= ~mask[m];
            });
            if (count % 64 != 0) partnersOf[maskWords - 1] &= (std::uint64_t{1} << (count % 64)) - 1;
            for (std::size_t m = 0; m < maskWords; ++m) {
                for (std::uint64_t bits = partnersOf[m]; bits != 0; bits &= bits - 1) {
                    const std::size_t k2 = 64 * m + __builtin_ctzll(bits);
                    const int q = fitting[k2];
                    const int s2 = current.order[q];
                    if (s2 >= s1) addPair(p, q, s1, s2);
                }
            }
        }
    }
    // The marks keep the scratch flags of the last genotype: 1 for a live
    // slot that contradicts it, 0 for one that fits.
    if (genotypes > 0) {
        for (int p = 0; p < current.liveCount; ++p) current.mark[current.order[p]] = 1;
        for (const int p : fitting) current.mark[current.order[p]] = 0;
    }
}

int resetMarks(SearchState& state)
{
    HaplotypeList& current = state.current;
    std::fill(current.mark.begin(), current.mark.end(), 0);
    for (int p = 0; p < current.liveCount; ++p) {
        current.mark[current.order[p]] = 1;
    }
    int empty = 0;
    for (std::size_t i = 0; i < state.pairLists.size(); ++i) {
        const PairRecord* head = state.pairLists[i];
        if (head == nullptr) {
            printSearchWarning(state, "Dangerous i=" + std::to_string(i) + "!!!!!\n");
            ++empty;
        } else if (head->next == nullptr) {
            current.mark[current.order[head->hap1]] = 2;
            current.mark[current.order[head->hap2]] = 2;
        }
    }
    return empty;
}

void settleUsedPairs(SearchState& state)
{
    const HaplotypeList& current = state.current;
    for (std::size_t i = 0; i < state.pairLists.size(); ++i) {
        if (!isOpenList(state.pairLists[i])) continue;
        for (PairRecord* record = state.pairLists[i]; record != nullptr; record = record->next) {
            if (current.mark[current.order[record->hap1]] == 2
                && current.mark[current.order[record->hap2]] == 2 && record->vts == 0) {
                keepOnlyPair(state, static_cast<int>(i), record);
                break;
            }
        }
    }
}

void keepOnlyPair(SearchState& state, int genotype, PairRecord* record)
{
    PairRecord* r = state.pairLists[genotype];
    while (r != nullptr) {
        PairRecord* next = r->next;
        if (r != record) state.pairPool.release(r);
        r = next;
    }
    record->next = nullptr;
    state.pairLists[genotype] = record;
}

int countOpenPairs(const SearchState& state)
{
    int count = 0;
    for (const PairRecord* head : state.pairLists) {
        if (!isOpenList(head)) continue;
        for (const PairRecord* r = head; r != nullptr; r = r->next) ++count;
    }
    return count;
}

void gatherOpenPairs(const SearchState& state, int count, std::vector<PairRecord*>& pairs)
{
    pairs.clear();
    pairs.reserve(static_cast<std::size_t>(count));
    for (PairRecord* head : state.pairLists) {
        if (!isOpenList(head)) continue;
        for (PairRecord* r = head; r != nullptr; r = r->next) pairs.push_back(r);
    }
}

namespace {

// The allele a slot would take opposite a partner holding `partner`.
char otherAllele(char partner)
{
    return partner == '0' ? '1' : partner == '1' ? '0' : '2';
}

} // namespace

int listPairSites(SearchState& state, const char* genotype, int s1, int s2)
{
    const HaplotypeList& current = state.current;
    const char* a = current.text[s1].data();
    const char* b = current.text[s2].data();
    int count = 0;
    for (int l = 0; l < current.length; ++l) {
        const char A = a[l];
        const char B = b[l];
        if (A != '2' && B != '2') continue;
        const char G = genotype[l];
        state.firstSites[count] = l;
        state.firstValues[count] = A != '2' ? '3' : G != '2' ? G : otherAllele(B);
        state.secondValues[count] = B != '2' ? '3' : G != '2' ? G : otherAllele(A);
        ++count;
    }
    state.firstSiteCount = count;
    return count;
}
