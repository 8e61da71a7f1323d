#include "improve/elimination.hpp"

#include "improve/working_reconstruction.hpp"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

// Genotypes that could take a new haplotype, by its bits, each with the
// existing haplotype it would be paired with.
using NewHaplotypeOptions = std::map<std::string, std::vector<std::pair<int, int>>>;

NewHaplotypeOptions optionsForNewHaplotypes(const WorkingReconstruction& w, const std::vector<int>& genotypes,
                                            int excluded)
{
    NewHaplotypeOptions options;
    std::vector<std::uint64_t> mate(static_cast<std::size_t>(w.words));
    for (const int g : genotypes) {
        for (int a = 0; a < static_cast<int>(w.alive.size()); ++a) {
            if (!w.alive[a] || a == excluded || !haplotypeFits(w, g, a)) continue;
            mateBits(w, g, haplotypeBits(w, a), mate.data());
            if (findHaplotype(w, mate.data()) >= 0) continue;
            options[bitsKey(mate.data(), w.words)].emplace_back(g, a);
        }
    }
    return options;
}

// Explains the genotypes with as few new haplotypes as a greedy cover finds:
// each time the new haplotype that serves most of the genotypes left.
bool coverWithNewHaplotypes(WorkingReconstruction& w, std::vector<int> needing, int excluded)
{
    const NewHaplotypeOptions options = optionsForNewHaplotypes(w, needing, excluded);
    while (!needing.empty()) {
        const std::string* bestKey = nullptr;
        int bestCover = 0;
        for (const auto& [key, list] : options) {
            int cover = 0;
            for (const auto& [g, a] : list) cover += std::count(needing.begin(), needing.end(), g) > 0 ? 1 : 0;
            if (cover > bestCover) {
                bestCover = cover;
                bestKey = &key;
            }
        }
        if (bestKey == nullptr) return false;
        const int added = addHaplotype(w, keyWords(*bestKey));
        for (const auto& [g, a] : options.at(*bestKey)) {
            const auto it = std::find(needing.begin(), needing.end(), g);
            if (it == needing.end()) continue;
            setPair(w, g, std::min(a, added), std::max(a, added));
            needing.erase(it);
        }
    }
    return true;
}

} // namespace

bool tryElimination(WorkingReconstruction& w, int id)
{
    if (!w.alive[id]) return false;
    const int before = w.aliveCount();
    std::vector<int> affected = w.users[id];
    std::sort(affected.begin(), affected.end());
    std::vector<int> touched;
    beginTrial(w);
    std::vector<int> needing;
    for (const int g : affected) {
        touched.push_back(w.pairs[g].first);
        touched.push_back(w.pairs[g].second);
        HaplotypePair pair;
        if (bestExistingPair(w, g, [id](int h) { return h == id; }, pair)) {
            setPair(w, g, pair.first, pair.second);
        } else {
            needing.push_back(g);
        }
    }
    if (!needing.empty() && !coverWithNewHaplotypes(w, needing, id)) {
        rollbackTrial(w);
        return false;
    }
    for (const int h : touched) retireUnused(w, h);
    if (w.aliveCount() < before) {
        commitTrial(w);
        return true;
    }
    rollbackTrial(w);
    return false;
}

int eliminateHaplotypes(WorkingReconstruction& w, const std::function<bool()>& stop)
{
    std::vector<int> order;
    for (int id = 0; id < static_cast<int>(w.alive.size()); ++id)
        if (w.alive[id]) order.push_back(id);
    std::stable_sort(order.begin(), order.end(),
                     [&w](int a, int b) { return w.users[a].size() < w.users[b].size(); });
    const int before = w.aliveCount();
    for (const int id : order) {
        if (stop()) break;
        tryElimination(w, id);
    }
    return before - w.aliveCount();
}
