#include "exact/optimality_proof.hpp"

#include "exact/first_occurrence_model.hpp"
#include "exact/lower_bound.hpp"
#include "exact/proof_deadline.hpp"

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace {

// Genotypes added to the model after a call whose solution leaves some
// unexplained.
constexpr int kGenotypesPerRound = 8;

// Counts above the cheap bound whose refutations come first: they are
// quick, and an unfinished check reports the bound they reach.
constexpr int kCheapSteps = 4;

// Share of the time left that the calls deciding the search's count get
// before the rest goes to raising the bound.
constexpr double kDecidingShare = 0.25;

// ProofDeadline::remaining() at and beyond this: no time limit.
constexpr double kNoLimit = 1e29;

} // namespace

OptimalityResult proveOptimality(const std::vector<std::string>& genotypes, const Reconstruction& start,
                               const LowerBound& bound, ProofDeadline& deadline,
                               const std::function<void(const SatCall&)>& onCall, const ProofStrategy& strategy)
{
    OptimalityResult result;
    result.best = start;
    normalizeReconstruction(result.best);
    result.lowerBound = bound.value();
    int found = static_cast<int>(result.best.haplotypes.size());
    if (result.lowerBound >= found) {
        result.proven = true;
        return result;
    }
    const int sites = genotypes.empty() ? 0 : static_cast<int>(genotypes[0].size());
    const int cheapBound = result.lowerBound;
    FirstOccurrenceModel model(sites, found - 1);
    std::vector<int> openSites;
    for (const std::string& g : genotypes) openSites.push_back(static_cast<int>(std::count(g.begin(), g.end(), '2')));
    std::vector<int> modelOrder;
    std::vector<char> inModel(genotypes.size(), 0);
    bool hinting = strategy.hintStart;
    const auto addToModel = [&](int g, bool needsOwnHaplotype) {
        model.addGenotype(genotypes[g], needsOwnHaplotype);
        modelOrder.push_back(g);
        inModel[g] = 1;
        if (!hinting) return;
        const HaplotypePair pair = result.best.pairs[g];
        model.hintPair(model.genotypeCount() - 1, result.best.haplotypes[pair.first],
                       result.best.haplotypes[pair.second]);
    };
    // The clique first (its haplotypes all count), then the layers beyond
    // it: the genotypes that need the most haplotypes of their own lead.
    for (const int c : bound.cliqueMembers) addToModel(c, false);
    for (const std::vector<int>& layer : bound.outsideLayers) {
        for (const int g : layer) addToModel(g, true);
    }

    // Counts just above the cheap bound are refuted quickly and raise it;
    // beyond them the call for K-1 decides. Under a time limit the deciding
    // calls get a share of what is left; when that runs out, the rest goes
    // to climbing from the bound, so that an unfinished check still reports
    // the best bound it can.
    bool climbing = false;
    const auto nextTry = [&] {
        if (!strategy.raiseBound) return found - 1;
        return climbing || result.lowerBound - cheapBound < kCheapSteps ? result.lowerBound : found - 1;
    };
    double decidingUntil = -1.0;
    int tried = nextTry();
    while (tried >= result.lowerBound && tried < found && !deadline.expired()) {
        const double before = deadline.elapsed();
        CaDiCaL::Terminator* stop = &deadline;
        std::optional<ProofDeadline> share;
        if (strategy.raiseBound && !climbing && tried == found - 1 && deadline.remaining() < kNoLimit) {
            if (decidingUntil < 0.0) decidingUntil = before + kDecidingShare * deadline.remaining();
            if (before >= decidingUntil) {
                climbing = true;
                tried = nextTry();
                continue;
            }
            share.emplace(decidingUntil - before, [&] { return deadline.expired(); });
            stop = &*share;
        }
        if (strategy.conflictsPerCall > 0) model.limitConflicts(strategy.conflictsPerCall);
        const SatAnswer answer = model.solve(tried, stop);
        SatCall call;
        call.haplotypes = tried;
        call.modelGenotypes = model.genotypeCount();
        call.genotypes = static_cast<int>(genotypes.size());
        call.answer = answer;
        call.seconds = deadline.elapsed() - before;
        if (onCall) onCall(call);
        if (answer == SatAnswer::Unknown) {
            // A deciding call cut short leaves the climb; a climbing call
            // cut short ends the check.
            if (deadline.expired() || !strategy.raiseBound || climbing) break;
            climbing = true;
            tried = nextTry();
            continue;
        }
        if (answer == SatAnswer::Unsatisfiable) {
            result.lowerBound = tried + 1;
            tried = nextTry();
            continue;
        }
        // The solution's haplotypes: do they explain the genotypes not yet
        // in the model?
        Reconstruction whole;
        whole.pairs.assign(genotypes.size(), {});
        {
            std::unordered_map<std::string, int> index;
            const auto indexOf = [&](const std::string& haplotype) {
                const auto [where, added] = index.emplace(haplotype, static_cast<int>(whole.haplotypes.size()));
                if (added) whole.haplotypes.push_back(haplotype);
                return where->second;
            };
            for (int i = 0; i < model.genotypeCount(); ++i) {
                const auto [a, b] = model.haplotypesOf(i);
                const int first = indexOf(a);
                whole.pairs[modelOrder[i]] = {first, indexOf(b)};
            }
        }
        std::vector<int> outside;
        std::vector<std::string_view> outsideTexts;
        for (int g = 0; g < static_cast<int>(genotypes.size()); ++g) {
            if (inModel[g]) continue;
            outside.push_back(g);
            outsideTexts.push_back(genotypes[g]);
        }
        const std::vector<HaplotypePair> firsts = firstExplainingPairs(whole, outsideTexts);
        std::vector<int> unexplained;
        for (std::size_t k = 0; k < outside.size(); ++k) {
            if (firsts[k].first < 0) unexplained.push_back(outside[k]);
            else whole.pairs[outside[k]] = firsts[k];
        }
        if (unexplained.empty()) {
            // Fewer haplotypes than before; the next call asks for one fewer
            // still, unless the bound already meets them.
            normalizeReconstruction(whole);
            result.best = std::move(whole);
            found = static_cast<int>(result.best.haplotypes.size());
            tried = found - 1;
            // The solver's saved phases are now this reconstruction.
            if (hinting) model.clearHints();
            hinting = false;
            continue;
        }
        // The fewest heterozygous sites first: they have the fewest phasings
        // and constrain the haplotypes most.
        std::stable_sort(unexplained.begin(), unexplained.end(),
                         [&](int a, int b) { return openSites[a] < openSites[b]; });
        const int adding = std::min<int>(kGenotypesPerRound, static_cast<int>(unexplained.size()));
        for (int i = 0; i < adding; ++i) addToModel(unexplained[i], false);
    }
    result.proven = result.lowerBound >= static_cast<int>(result.best.haplotypes.size());
    return result;
}
