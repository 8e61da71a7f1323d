#include "output/solution_analysis.hpp"

#include "data/search_state.hpp"
#include "search/random_generator.hpp"

#include <algorithm>
#include <cstdlib>

namespace {

int countUndetermined(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '2'));
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
    int fixed = 0;
    std::vector<int> members;
    members.reserve(static_cast<std::size_t>(current.slotCount));
    for (int g = 1; g <= current.slotCount / 2; ++g) {
        if (current.variableBase[g] <= 0) continue;
        members.clear();
        int b = -1;
        int nearest = -1;
        int bestScore = 2 * length;
        for (int k = 0; k < current.liveCount; ++k) {
            const int d = current.order[k];
            if (std::abs(current.label[d]) != g || current.mark[d] != 2) continue;
            if (b == -1) b = d;
            members.push_back(d);
            for (int l = 0; l < current.liveCount; ++l) {
                const int e = current.order[l];
                if (current.mark[e] != 2) continue;
                const int f = mismatchCount(current, d, e);
                if (f < bestScore) {
                    b = d;
                    nearest = e;
                    bestScore = f;
                }
            }
        }
        if (b == -1) continue;
        const int ref = std::abs(current.label[b]);
        for (int s = 0; s < length; ++s) {
            if (current.text[b][s] != '2') continue;
            char ch;
            if (nearest != -1) {
                ch = current.text[nearest][s];
            } else {
                ch = (drawRandom(random) % 2 == 1) ? '1' : '0';
            }
            for (const int x : members) {
                if (current.label[x] == ref) {
                    current.text[x][s] = ch;
                } else if (current.label[x] == -ref) {
                    current.text[x][s] = complement(ch);
                }
            }
            ++fixed;
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
