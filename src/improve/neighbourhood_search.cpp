#include "improve/neighbourhood_search.hpp"

#include "exact/explanation_model.hpp"
#include "exact/genotype_masks.hpp"
#include "exact/incompatibility_clique.hpp"
#include "exact/model_decoding.hpp"
#include "exact/instance_reduction.hpp"
#include "exact/lower_bound.hpp"
#include "improve/working_reconstruction.hpp"

#include <algorithm>
#include <queue>
#include <vector>

namespace {

constexpr int kSmallestNeighbourhood = 4;
constexpr int kLargestNeighbourhood = 400;
// Reopened genotypes in the first model of a neighbourhood, and added to it
// after a solution that leaves some unexplained.
constexpr std::size_t kFirstModelGenotypes = 8;
constexpr std::size_t kGenotypesAddedPerCall = 4;
// Local search steps of the clique that is pinned in a neighbourhood.
constexpr long long kCliqueSteps = 2000;
// Calls in a row without a saving before the search may stop.
constexpr int kLeastFruitlessCalls = 30;

// Stops a SAT call when the phase must stop.
class StopTerminator final : public CaDiCaL::Terminator {
public:
    explicit StopTerminator(const std::function<bool()>& stop) : stop_(stop) {}
    bool terminate() override { return stop_(); }

private:
    const std::function<bool()>& stop_;
};

// A group of genotypes grown from `seed` through the haplotypes they share,
// the least used haplotypes first, up to `size` genotypes. When the
// genotypes reachable that way run out first, growth goes on from another
// genotype drawn at random.
std::vector<int> growNeighbourhood(const WorkingReconstruction& w, int seed, int size, std::vector<char>& member,
                                   std::mt19937& random)
{
    std::vector<int> group;
    using Item = std::pair<std::size_t, int>;  // (users, haplotype)
    std::priority_queue<Item, std::vector<Item>, std::greater<>> frontier;
    std::vector<char> queued(w.alive.size(), 0);
    auto join = [&](int g) {
        member[g] = 1;
        group.push_back(g);
        for (const int h : {w.pairs[g].first, w.pairs[g].second}) {
            if (queued[h]) continue;
            queued[h] = 1;
            frontier.emplace(w.users[h].size(), h);
        }
    };
    join(seed);
    while (static_cast<int>(group.size()) < size) {
        if (frontier.empty()) {
            // Another start, among the genotypes not yet in the group.
            const int left = w.genotypeCount - static_cast<int>(group.size());
            if (left == 0) break;
            int pick = static_cast<int>(random() % static_cast<unsigned>(left));
            for (int g = 0; g < w.genotypeCount; ++g) {
                if (member[g]) continue;
                if (pick-- == 0) {
                    join(g);
                    break;
                }
            }
            continue;
        }
        const int h = frontier.top().second;
        frontier.pop();
        std::vector<int> users = w.users[h];
        std::sort(users.begin(), users.end());
        for (const int u : users) {
            if (member[u] || static_cast<int>(group.size()) >= size) continue;
            join(u);
        }
    }
    return group;
}

// How much solving a neighbourhood took: every answer within an eighth of
// the conflict budget, some answer only within the whole budget, a call that
// ran out of it, or no call at all (nothing to gain).
enum class Effort { Light, Full, Exhausted, NoCall };

int improveOnce(WorkingReconstruction& w, NeighbourhoodSearch& search, const std::function<bool()>& stop,
                Effort& effort)
{
    effort = Effort::NoCall;
    std::vector<char> member(static_cast<std::size_t>(w.genotypeCount), 0);
    const int seed = static_cast<int>(search.random() % static_cast<unsigned>(w.genotypeCount));
    std::vector<int> group = growNeighbourhood(w, seed, search.size, member, search.random);
    std::sort(group.begin(), group.end());

    // The haplotypes only the group uses: these it may replace.
    std::vector<int> freeable;
    for (const int g : group) {
        for (const int h : {w.pairs[g].first, w.pairs[g].second}) {
            if (std::find(freeable.begin(), freeable.end(), h) != freeable.end()) continue;
            if (std::all_of(w.users[h].begin(), w.users[h].end(), [&](int u) { return member[u] != 0; }))
                freeable.push_back(h);
        }
    }
    if (freeable.size() < 2) return 0;

    // Only the genotypes that use a freeable haplotype are reopened; the
    // others keep their pairs, which stay.
    const auto usesFreeable = [&](int g) {
        return std::find(freeable.begin(), freeable.end(), w.pairs[g].first) != freeable.end()
               || std::find(freeable.begin(), freeable.end(), w.pairs[g].second) != freeable.end();
    };
    group.erase(std::remove_if(group.begin(), group.end(), [&](int g) { return !usesFreeable(g); }), group.end());

    // Every other haplotype stays and may serve the group for free: the
    // rows of the model are the reopened genotypes and the staying
    // haplotypes that fit one of them. Sites that no row tells apart are
    // merged, and sites constant over all rows dropped, which keeps the
    // smallest number of haplotypes.
    std::vector<std::string> rows;
    for (const int g : group) rows.push_back(w.genotypeTexts[g]);
    const std::size_t firstFixedRow = rows.size();
    std::vector<char> fitsStaying(group.size(), 0);
    for (int h = 0; h < static_cast<int>(w.alive.size()); ++h) {
        if (!w.alive[h] || std::find(freeable.begin(), freeable.end(), h) != freeable.end()) continue;
        bool fitsSome = false;
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (!haplotypeFits(w, group[i], h)) continue;
            fitsSome = true;
            fitsStaying[i] = 1;
        }
        if (fitsSome) rows.push_back(unpackSites(haplotypeBits(w, h), w.length));
    }
    const ReducedInstance reduced = reduceInstance(rows);
    const int reducedSites = static_cast<int>(reduced.keptSites.size());
    if (reducedSites == 0) return 0;
    std::vector<std::string> fixed;
    for (std::size_t r = firstFixedRow; r < rows.size(); ++r) fixed.push_back(reduced.genotypes[reduced.genotypeOf[r]]);

    // The reopened genotypes, each once on the reduced sites, and whether a
    // staying haplotype fits it.
    std::vector<int> reopened;  // reduced genotype indices, in the group's order
    std::vector<char> reopenedFitsStaying;
    for (std::size_t r = 0; r < firstFixedRow; ++r) {
        const int index = reduced.genotypeOf[r];
        if (std::find(reopened.begin(), reopened.end(), index) != reopened.end()) continue;
        reopened.push_back(index);
        reopenedFitsStaying.push_back(fitsStaying[r]);
    }

    // Pairwise incompatible reopened genotypes that no staying haplotype
    // fits share no haplotype and take only new ones: they are pinned to
    // slots of their own, which breaks the symmetry of the new slots and
    // takes their weight off the new haplotypes allowed.
    std::vector<std::size_t> lonely;
    std::vector<std::string> lonelyGenotypes;
    for (std::size_t i = 0; i < reopened.size(); ++i) {
        if (reopenedFitsStaying[i]) continue;
        lonely.push_back(i);
        lonelyGenotypes.push_back(reduced.genotypes[reopened[i]]);
    }
    std::vector<std::size_t> pinned;
    int pinnedWeight = 0;
    if (lonely.size() >= 2) {
        const std::vector<int> weights = cliqueWeights(lonelyGenotypes);
        CliqueSearchLimits limits;
        limits.steps = kCliqueSteps;
        const std::vector<int> clique =
            findHeavyClique(makeCompatibilityRows(makeGenotypeMasks(lonelyGenotypes)), weights, limits);
        for (const int member : clique) pinned.push_back(lonely[member]);
        pinnedWeight = cliqueWeight(clique, weights);
    }

    // The model takes the reopened genotypes a few at a time: those that the
    // last solution leaves unexplained. An UNSAT answer for some of them
    // refutes them all, and often needs only a few.
    const int slots = static_cast<int>(freeable.size()) - 1 - pinnedWeight;
    if (slots < 0) return 0;
    ExplanationModel model(reducedSites, fixed, slots);
    std::vector<std::size_t> modelOrder;  // indices into `reopened`, as pinned and added to the model
    std::vector<char> inModel(reopened.size(), 0);
    for (const std::size_t i : pinned) {
        inModel[i] = 1;
        modelOrder.push_back(i);
        model.pinGenotype(reduced.genotypes[reopened[i]]);
    }
    auto addToModel = [&](std::size_t i) {
        inModel[i] = 1;
        modelOrder.push_back(i);
        model.addGenotype(reduced.genotypes[reopened[i]]);
    };
    for (std::size_t i = 0, first = 0; i < reopened.size() && first < kFirstModelGenotypes; ++i) {
        if (inModel[i]) continue;
        addToModel(i);
        ++first;
    }

    StopTerminator terminator(stop);
    Reconstruction best;  // of the reduced genotypes: the solution's and the staying haplotypes
    std::vector<HaplotypePair> bestPairs;  // by reduced genotype; for the reopened ones
    effort = Effort::Light;
    for (int allowed = slots; allowed >= 0 && !stop();) {
        model.limitConflicts(search.conflictBudget / 8);
        SatAnswer answer = model.solve(allowed, &terminator);
        if (answer == SatAnswer::Unknown && !stop()) {
            effort = std::max(effort, Effort::Full);
            model.limitConflicts(search.conflictBudget);
            answer = model.solve(allowed, &terminator);
        }
        if (answer == SatAnswer::Unknown) {
            if (!stop()) effort = Effort::Exhausted;
            break;
        }
        if (answer == SatAnswer::Unsatisfiable) {
            const bool everything = static_cast<int>(group.size()) == w.genotypeCount
                                    && static_cast<int>(freeable.size()) == w.aliveCount();
            if (everything && allowed == slots) search.provenOptimal = true;
            break;
        }
        // The solution's haplotypes with the staying ones: do they explain
        // the reopened genotypes not yet in the model?
        Reconstruction candidate = decodeReconstruction(model);
        std::vector<HaplotypePair> pairs(reduced.genotypes.size(), HaplotypePair{-1, -1});
        for (std::size_t m = 0; m < modelOrder.size(); ++m) pairs[reopened[modelOrder[m]]] = candidate.pairs[m];
        candidate.haplotypes.insert(candidate.haplotypes.end(), fixed.begin(), fixed.end());
        std::vector<std::size_t> outside;
        std::vector<std::string_view> outsideTexts;
        for (std::size_t i = 0; i < reopened.size(); ++i) {
            if (inModel[i]) continue;
            outside.push_back(i);
            outsideTexts.push_back(reduced.genotypes[reopened[i]]);
        }
        const std::vector<HaplotypePair> firsts = firstExplainingPairs(candidate, outsideTexts);
        std::vector<std::size_t> unexplained;
        for (std::size_t k = 0; k < outside.size(); ++k) {
            if (firsts[k].first < 0) unexplained.push_back(outside[k]);
            else pairs[reopened[outside[k]]] = firsts[k];
        }
        if (!unexplained.empty()) {
            for (std::size_t k = 0; k < unexplained.size() && k < kGenotypesAddedPerCall; ++k) addToModel(unexplained[k]);
            continue;  // the same bound again, with more genotypes
        }
        best = std::move(candidate);
        bestPairs = std::move(pairs);
        --allowed;
    }
    if (bestPairs.empty()) return 0;

    // Back to all sites; only the group's rows are read.
    best.pairs = std::move(bestPairs);
    const Reconstruction expanded = expandReconstruction(reduced, best);

    const int before = w.aliveCount();
    std::vector<std::uint64_t> packed;
    for (std::size_t i = 0; i < group.size(); ++i) {
        const HaplotypePair pair = expanded.pairs[i];
        packSites(expanded.haplotypes[pair.first], packed);
        const int a = addHaplotype(w, packed.data());
        packSites(expanded.haplotypes[pair.second], packed);
        const int b = addHaplotype(w, packed.data());
        setPair(w, group[i], std::min(a, b), std::max(a, b));
    }
    for (const int h : freeable) retireUnused(w, h);
    return before - w.aliveCount();
}

} // namespace

NeighbourhoodSearch startNeighbourhoodSearch(unsigned seed)
{
    NeighbourhoodSearch search;
    search.random.seed(seed);
    return search;
}

bool neighbourhoodsExhausted(const NeighbourhoodSearch& search, int genotypeCount)
{
    if (search.provenOptimal) return true;
    const int covering = 2 * genotypeCount / std::max(1, search.size);
    return search.fruitlessCalls >= std::max(kLeastFruitlessCalls, covering);
}

int searchNeighbourhoods(WorkingReconstruction& w, NeighbourhoodSearch& search, int calls,
                         const std::function<bool()>& stop, const std::function<bool()>& cutShort)
{
    if (w.genotypeCount == 0) return 0;
    const int before = w.aliveCount();
    for (int call = 0; call < calls && !neighbourhoodsExhausted(search, w.genotypeCount) && !stop(); ++call) {
        Effort effort = Effort::NoCall;
        const int saved = improveOnce(w, search, cutShort, effort);
        search.fruitlessCalls = saved > 0 ? 0 : search.fruitlessCalls + 1;
        const int cap = std::min(kLargestNeighbourhood, w.genotypeCount);
        if (effort == Effort::Light || effort == Effort::NoCall) {
            search.size = std::min(cap, search.size + search.size / 4 + 1);
        } else if (effort == Effort::Full) {
            search.size = std::min(cap, search.size + 1);
        } else if (effort == Effort::Exhausted) {
            search.size = std::max(kSmallestNeighbourhood, search.size * 3 / 4);
        }
    }
    return before - w.aliveCount();
}
