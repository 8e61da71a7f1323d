#include "output/solution_analysis.hpp"

#include "data/search_state.hpp"
#include "data/site_planes.hpp"
#include "search/random_generator.hpp"

#include <algorithm>
#include <cstdlib>

namespace {

int countUndetermined(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '2'));
}

// Per site, the used slots (by index in the used order) undetermined there.
struct OpenUsedSlots {
    int maskWords = 0;
    std::vector<std::uint64_t> bits;  // maskWords words per site
    std::vector<int> index;           // slot -> its index among the used slots, or -1

    std::uint64_t* at(int site) { return bits.data() + static_cast<std::size_t>(site) * maskWords; }
    // Sets slot x's bits from its open plane.
    void follow(const SitePlanes& planes, int x, const std::uint64_t* before)
    {
        const std::uint64_t* open = planes.openOf(x);
        const int i = index[x];
        for (int w = 0; w < planes.words; ++w) {
            for (std::uint64_t changed = open[w] ^ before[w]; changed != 0; changed &= changed - 1) {
                std::uint64_t& word = at(64 * w + __builtin_ctzll(changed))[i / 64];
                word ^= std::uint64_t{1} << (i % 64);
            }
        }
    }
};

// The used member d of a component and the used slot e with the smallest
// mismatchCount(d, e) below `cap`, the first in member order and then in
// the order of `used` on ties; `nearest` stays -1 when every count reaches
// the cap. A used slot undetermined at one of d's undetermined sites gives
// the cap, which never wins: the others are found by the per-site masks.
// Otherwise the count is that of the determined sites of d where e holds
// anything else. A count that reaches the best score so far stops, as it
// cannot win, and a score of 0 cannot be beaten.
VELMORA_COUNTS_BITS void closestModel(const SitePlanes& planes, OpenUsedSlots& openUsed, const int* members,
                                      int memberCount, const std::vector<int>& used, int cap, int& b, int& nearest,
                                      std::vector<std::uint64_t>& candidates)
{
    const int words = planes.words;
    const int count = static_cast<int>(used.size());
    int bestScore = cap;
    for (int i = 0; i < memberCount && bestScore > 0; ++i) {
        const int d = members[i];
        const SlotPlanes pd = planes.slotOf(d);
        candidates.assign(static_cast<std::size_t>(openUsed.maskWords), ~std::uint64_t{0});
        if (count % 64 != 0) candidates.back() = (std::uint64_t{1} << (count % 64)) - 1;
        for (int w = 0; w < words; ++w) {
            for (std::uint64_t open = pd.open[w]; open != 0; open &= open - 1) {
                const std::uint64_t* mask = openUsed.at(64 * w + __builtin_ctzll(open));
                for (int m = 0; m < openUsed.maskWords; ++m) candidates[m] &= ~mask[m];
            }
        }
        for (int m = 0; m < openUsed.maskWords && bestScore > 0; ++m) {
            for (std::uint64_t bits = candidates[m]; bits != 0; bits &= bits - 1) {
                const int e = used[64 * m + __builtin_ctzll(bits)];
                const SlotPlanes pe = planes.slotOf(e);
                int score = 0;
                for (int w = 0; w < words && score < bestScore; ++w) {
                    score += __builtin_popcountll((pd.zero[w] & ~pe.zero[w]) | (pd.one[w] & ~pe.one[w]));
                }
                if (score < bestScore) {
                    b = d;
                    nearest = e;
                    bestScore = score;
                    if (bestScore == 0) break;
                }
            }
        }
    }
}

} // namespace

int resolveSingleSites(SearchState& state)
{
    HaplotypeList& best = state.best;
    int sum = 0;
    for (int i = 0; i < best.liveCount; ++i) {
        const int h = best.order[i];
        if (best.mark[h] != 2) continue;
        const std::string& text = best.text[h];
        const int count = countUndetermined(text);
        if (count != 1) {
            sum += count;
            continue;
        }
        const int site = static_cast<int>(text.rfind('2'));
        const int label = best.label[h];
        for (int k = 0; k < best.liveCount; ++k) {
            const int x = best.order[k];
            if (best.label[x] == label) {
                best.text[x][site] = '1';
            } else if (best.label[x] == -label) {
                best.text[x][site] = '0';
            }
        }
    }
    return sum;
}

int numberVariables(SearchState& state)
{
    HaplotypeList& best = state.best;
    std::fill(best.variableBase.begin(), best.variableBase.end(), -1);
    for (int p = 0; p < best.liveCount; ++p) {
        const int h = best.order[p];
        const int g = std::abs(best.label[h]);
        if (best.variableBase[g] == -1) best.variableBase[g] = countUndetermined(best.text[h]);
    }
    int next = 1;
    for (int g = 1; g <= best.slotCount / 2; ++g) {
        if (best.variableBase[g] > 0) {
            const int count = best.variableBase[g];
            best.variableBase[g] = next;
            next += count;
        }
    }
    return next - 1;
}

int mismatchCount(const HaplotypeList& list, int d, int e)
{
    const int cap = 2 * list.length;
    const char* a = list.text[d].data();
    const char* b = list.text[e].data();
    int m = 0;
    for (int s = 0; s < list.length && m != cap; ++s) {
        if (a[s] != '2' && b[s] != a[s]) {
            ++m;
        } else if (a[s] == '2' && b[s] == '2') {
            m = cap;
        }
    }
    return m;
}

int completeUndetermined(SearchState& state, RandomGenerator& random)
{
    HaplotypeList& current = state.current;
    const int length = current.length;
    const int cap = 2 * length;
    const int magnitudes = current.slotCount / 2;
    auto hasVariables = [&](int g) {
        return g >= 1 && g <= magnitudes && g < static_cast<int>(current.variableBase.size())
               && current.variableBase[g] > 0;
    };

    // The used slots in position order, and the used members of each
    // component with variables, also in position order, filed by magnitude
    // in one pass (labels and marks do not change here, only texts).
    std::vector<int> used;
    std::vector<int> memberStart(static_cast<std::size_t>(magnitudes) + 2, 0);
    for (int k = 0; k < current.liveCount; ++k) {
        const int d = current.order[k];
        if (current.mark[d] != 2) continue;
        used.push_back(d);
        const int g = std::abs(current.label[d]);
        if (hasVariables(g)) ++memberStart[g + 1];
    }
    for (int g = 1; g <= magnitudes + 1; ++g) memberStart[g] += memberStart[g - 1];
    std::vector<int> memberSlots(static_cast<std::size_t>(memberStart[magnitudes + 1]));
    {
        std::vector<int> fill(memberStart.begin(), memberStart.end() - 1);
        for (const int d : used) {
            const int g = std::abs(current.label[d]);
            if (hasVariables(g)) memberSlots[fill[g]++] = d;
        }
    }
    if (memberSlots.empty()) return 0;

    // The texts of the used slots as planes, kept in step with the
    // completions.
    SitePlanes planes;
    resizeSitePlanes(planes, current.slotCount, length);
    for (const int d : used) refreshSitePlanes(planes, d, current.text[d].data(), length);
    OpenUsedSlots openUsed;
    openUsed.maskWords = static_cast<int>((used.size() + 63) / 64);
    openUsed.bits.assign(static_cast<std::size_t>(length) * openUsed.maskWords, 0);
    openUsed.index.assign(static_cast<std::size_t>(current.slotCount), -1);
    const std::vector<std::uint64_t> noneOpen(static_cast<std::size_t>(planes.words), 0);
    for (std::size_t i = 0; i < used.size(); ++i) {
        openUsed.index[used[i]] = static_cast<int>(i);
        openUsed.follow(planes, used[i], noneOpen.data());
    }
    std::vector<std::uint64_t> candidates;
    std::vector<std::uint64_t> openBefore(static_cast<std::size_t>(planes.words));

    int fixed = 0;
    for (int g = 1; g <= magnitudes; ++g) {
        if (!hasVariables(g)) continue;
        const int* members = memberSlots.data() + memberStart[g];
        const int memberCount = memberStart[g + 1] - memberStart[g];
        if (memberCount == 0) continue;
        int b = members[0];
        int nearest = -1;
        closestModel(planes, openUsed, members, memberCount, used, cap, b, nearest, candidates);
        const int ref = std::abs(current.label[b]);
        for (int s = 0; s < length; ++s) {
            if (current.text[b][s] != '2') continue;
            char ch;
            if (nearest != -1) {
                ch = current.text[nearest][s];
            } else {
                ch = (drawRandom(random) % 2 == 1) ? '1' : '0';
            }
            for (int i = 0; i < memberCount; ++i) {
                const int x = members[i];
                if (current.label[x] == ref) {
                    current.text[x][s] = ch;
                } else if (current.label[x] == -ref) {
                    current.text[x][s] = complement(ch);
                }
            }
            ++fixed;
        }
        for (int i = 0; i < memberCount; ++i) {
            const int x = members[i];
            std::copy_n(planes.openOf(x), planes.words, openBefore.data());
            refreshSitePlanes(planes, x, current.text[x].data(), length);
            openUsed.follow(planes, x, openBefore.data());
        }
    }
    return fixed;
}

int sortUsedSlots(const SearchState& state, std::vector<int>& sortedSlots, std::vector<int>& rankOfSlot)
{
    const HaplotypeList& best = state.best;
    const HaplotypeList& current = state.current;
    sortedSlots.assign(static_cast<std::size_t>(best.slotCount), 0);
    rankOfSlot.assign(static_cast<std::size_t>(best.slotCount), 0);
    int k = 0;
    for (int j = 0; j < best.liveCount; ++j) {
        const int h = best.order[j];
        if (best.mark[h] != 2) continue;
        sortedSlots[k] = h;
        rankOfSlot[h] = k;
        ++k;
    }
    // Equal to bestCount whenever a reconstruction was saved.
    const int used = std::min(k, state.bestCount);
    // With no two texts equal, the exchange sort leaves them ascending, as
    // any sort does; equal texts end in the order its exchanges leave.
    std::vector<int> byText(sortedSlots.begin(), sortedSlots.begin() + used);
    std::sort(byText.begin(), byText.end(), [&](int x, int y) { return current.text[x] < current.text[y]; });
    bool distinct = true;
    for (int j = 0; j + 1 < used && distinct; ++j) distinct = current.text[byText[j]] != current.text[byText[j + 1]];
    if (distinct) {
        for (int j = 0; j < used; ++j) {
            sortedSlots[j] = byText[j];
            rankOfSlot[byText[j]] = j;
        }
        return used;
    }
    for (int j = 0; j + 1 < used; ++j) {
        for (int i = j + 1; i < used; ++i) {
            const char* textJ = current.text[sortedSlots[j]].data();
            const char* textI = current.text[sortedSlots[i]].data();
            for (int s = 0; s < current.length; ++s) {
                if (textJ[s] == textI[s]) continue;
                if (textI[s] < textJ[s]) {
                    std::swap(sortedSlots[j], sortedSlots[i]);
                    rankOfSlot[sortedSlots[j]] = j;
                    rankOfSlot[sortedSlots[i]] = i;
                }
                break;
            }
        }
    }
    return used;
}
