#include "improve/exchange.hpp"

#include "improve/working_reconstruction.hpp"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// A haplotype not in the reconstruction, with the genotypes it could
// explain together with an existing haplotype: (genotype, existing id).
struct Newcomer {
    std::string bits;  // the words of the new haplotype, as bytes
    std::vector<std::pair<int, int>> options;
};

// Every newcomer that at least `minimum` genotypes could use, the most
// wanted first (ties in the order of their bits).
std::vector<Newcomer> gatherNewcomers(const WorkingReconstruction& w, std::size_t minimum)
{
    std::unordered_map<std::string, std::vector<std::pair<int, int>>> byBits;
    std::vector<std::uint64_t> mate(static_cast<std::size_t>(w.words));
    for (int g = 0; g < w.genotypeCount; ++g) {
        for (int a = 0; a < static_cast<int>(w.alive.size()); ++a) {
            if (!w.alive[a] || !haplotypeFits(w, g, a)) continue;
            mateBits(w, g, haplotypeBits(w, a), mate.data());
            if (findHaplotype(w, mate.data()) >= 0) continue;
            byBits[bitsKey(mate.data(), w.words)].emplace_back(g, a);
        }
    }
    std::vector<Newcomer> newcomers;
    for (auto& [bits, options] : byBits) {
        if (options.size() >= minimum) newcomers.push_back({bits, std::move(options)});
    }
    std::sort(newcomers.begin(), newcomers.end(), [](const Newcomer& x, const Newcomer& y) {
        if (x.options.size() != y.options.size()) return x.options.size() > y.options.size();
        return x.bits < y.bits;
    });
    return newcomers;
}

// What bringing in a newcomer would free: the haplotypes all of whose users
// can move to a pair with the newcomer and an existing haplotype that is not
// freed itself.
struct Insertion {
    std::vector<int> freed;
    std::vector<std::pair<int, int>> moves;  // (genotype, existing haplotype to pair with the newcomer)
};

Insertion planInsertion(const WorkingReconstruction& w, const Newcomer& newcomer, std::vector<int>& stamp, int mark)
{
    Insertion plan;
    if (findHaplotype(w, keyWords(newcomer.bits)) >= 0) return plan;
    // The genotypes that can take the newcomer, each with its live options
    // (the options come sorted by genotype).
    struct Taker {
        int genotype;
        std::vector<int> partners;
    };
    std::vector<Taker> takers;
    for (const auto& [g, a] : newcomer.options) {
        if (!w.alive[a]) continue;
        if (takers.empty() || takers.back().genotype != g) takers.push_back({g, {}});
        takers.back().partners.push_back(a);
        stamp[g] = mark;
    }
    auto allUsersTake = [&](int h) {
        return std::all_of(w.users[h].begin(), w.users[h].end(), [&](int u) { return stamp[u] == mark; });
    };
    std::vector<int> freed;
    auto isFreed = [&](int h) { return std::find(freed.begin(), freed.end(), h) != freed.end(); };
    for (const Taker& t : takers) {
        for (const int h : {w.pairs[t.genotype].first, w.pairs[t.genotype].second}) {
            if (!isFreed(h) && allUsersTake(h)) freed.push_back(h);
        }
    }
    // A genotype that must move but has no partner outside the freed set
    // keeps its pair, and so its haplotypes stay.
    auto mustMove = [&](const Taker& t) { return isFreed(w.pairs[t.genotype].first) || isFreed(w.pairs[t.genotype].second); };
    auto partnerOf = [&](const Taker& t) {
        int partner = -1;
        for (const int a : t.partners) {
            if (!isFreed(a) && (partner < 0 || w.users[a].size() > w.users[partner].size())) partner = a;
        }
        return partner;
    };
    for (bool changed = true; changed && !freed.empty();) {
        changed = false;
        for (const Taker& t : takers) {
            if (!mustMove(t) || partnerOf(t) >= 0) continue;
            const HaplotypePair pair = w.pairs[t.genotype];
            freed.erase(std::remove_if(freed.begin(), freed.end(),
                                       [&](int h) { return h == pair.first || h == pair.second; }),
                        freed.end());
            changed = true;
        }
    }
    for (const Taker& t : takers) {
        if (mustMove(t)) plan.moves.emplace_back(t.genotype, partnerOf(t));
    }
    plan.freed = std::move(freed);
    return plan;
}

void applyInsertion(WorkingReconstruction& w, const Newcomer& newcomer, const Insertion& plan)
{
    const int added = addHaplotype(w, keyWords(newcomer.bits));
    std::vector<int> touched;
    for (const auto& [g, a] : plan.moves) {
        touched.push_back(w.pairs[g].first);
        touched.push_back(w.pairs[g].second);
        setPair(w, g, std::min(a, added), std::max(a, added));
    }
    for (const int h : touched) retireUnused(w, h);
}

// The newcomers that a haplotype just added makes possible: the mates of the
// added one for the genotypes it fits, with the options the round already
// knew for the same bits.
std::vector<Newcomer> newcomersAfter(const WorkingReconstruction& w, int added,
                                     const std::unordered_map<std::string, const Newcomer*>& known)
{
    std::vector<Newcomer> result;
    std::vector<std::uint64_t> mate(static_cast<std::size_t>(w.words));
    for (int g = 0; g < w.genotypeCount; ++g) {
        if (!haplotypeFits(w, g, added)) continue;
        mateBits(w, g, haplotypeBits(w, added), mate.data());
        if (findHaplotype(w, mate.data()) >= 0) continue;
        std::string bits = bitsKey(mate.data(), w.words);
        auto it = std::find_if(result.begin(), result.end(), [&](const Newcomer& n) { return n.bits == bits; });
        if (it == result.end()) {
            Newcomer fresh{bits, {}};
            const auto found = known.find(bits);
            if (found != known.end()) fresh.options = found->second->options;
            result.push_back(std::move(fresh));
            it = result.end() - 1;
        }
        it->options.emplace_back(g, added);
    }
    for (Newcomer& n : result) std::sort(n.options.begin(), n.options.end());
    std::sort(result.begin(), result.end(), [](const Newcomer& x, const Newcomer& y) { return x.bits < y.bits; });
    return result;
}

} // namespace

int exchangeHaplotypes(WorkingReconstruction& w, const std::function<bool()>& stop)
{
    const int before = w.aliveCount();
    std::vector<int> stamp(static_cast<std::size_t>(w.genotypeCount), 0);
    int mark = 0;

    // Two or more for one.
    const std::vector<Newcomer> newcomers = gatherNewcomers(w, 2);
    std::vector<const Newcomer*> swaps;  // newcomers that free exactly one
    for (const Newcomer& newcomer : newcomers) {
        if (stop()) return before - w.aliveCount();
        const Insertion plan = planInsertion(w, newcomer, stamp, ++mark);
        if (plan.freed.size() >= 2) applyInsertion(w, newcomer, plan);
        else if (plan.freed.size() == 1) swaps.push_back(&newcomer);
    }

    // Three for two: a swap that frees one, then a newcomer it makes
    // possible that frees two or more.
    std::unordered_map<std::string, const Newcomer*> known;
    for (const Newcomer& newcomer : newcomers) known.emplace(newcomer.bits, &newcomer);
    for (const Newcomer* swap : swaps) {
        if (stop()) break;
        const Insertion first = planInsertion(w, *swap, stamp, ++mark);
        if (first.freed.size() != 1) continue;
        const int count = w.aliveCount();
        beginTrial(w);
        applyInsertion(w, *swap, first);
        const int added = findHaplotype(w, keyWords(swap->bits));
        bool kept = false;
        for (const Newcomer& next : newcomersAfter(w, added, known)) {
            const Insertion second = planInsertion(w, next, stamp, ++mark);
            if (second.freed.size() >= 2) {
                applyInsertion(w, next, second);
                kept = w.aliveCount() < count;
                break;
            }
        }
        if (kept) commitTrial(w);
        else rollbackTrial(w);
    }
    return before - w.aliveCount();
}
