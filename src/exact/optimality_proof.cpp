#include "exact/optimality_proof.hpp"

#include "exact/explanation_model.hpp"
#include "exact/lower_bound.hpp"
#include "exact/model_decoding.hpp"
#include "exact/proof_deadline.hpp"

#include <algorithm>
#include <optional>

namespace {

// Genotypes added to the model after a call whose solution leaves some
// unexplained.
constexpr int kGenotypesPerRound = 8;

// Free slots beyond the pinned ones up to which a refutation is cheap (a
// fraction of a second on a thousand genotypes).
constexpr int kCheapFreeSlots = 4;

// Share of the time left that the calls deciding the search's count get
// before the rest goes to raising the bound.
constexpr double kDecidingShare = 0.5;

// ProofDeadline::remaining() at and beyond this: no time limit.
constexpr double kNoLimit = 1e29;

} // namespace

OptimalityResult proveOptimality(const std::vector<std::string>& genotypes, const Reconstruction& start,
                               const LowerBound& bound, ProofDeadline& deadline,
                               const std::function<void(const SatCall&)>& onCall, SymmetryBreaking symmetry)
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
    const int pinnedSlots = bound.clique + bound.outside();
    ExplanationModel model(sites, {}, found - 1 - pinnedSlots, symmetry);
    std::vector<int> openSites;
    for (const std::string& g : genotypes) openSites.push_back(static_cast<int>(std::count(g.begin(), g.end(), '2')));
    std::vector<int> modelOrder;
    std::vector<char> inModel(genotypes.size(), 0);
    for (const int c : bound.cliqueMembers) {
        model.pinGenotype(genotypes[c]);
        modelOrder.push_back(c);
        inModel[c] = 1;
    }
    for (const std::vector<int>& layer : bound.outsideLayers) {
        for (const int g : layer) {
            model.pinOneHaplotype(genotypes[g]);
            modelOrder.push_back(g);
            inModel[g] = 1;
        }
    }

    // Counts whose refutation has few free slots to place are cheap and
    // raise the bound; beyond them the call for K-1 decides. Under a time
    // limit the deciding calls get a share of what is left; when that runs
    // out, the rest goes to climbing from the bound, so that an unfinished
    // check still reports the best bound it can.
    bool climbing = false;
    const auto nextTry = [&] {
        return climbing || result.lowerBound - pinnedSlots <= kCheapFreeSlots ? result.lowerBound : found - 1;
    };
    double decidingUntil = -1.0;
    int tried = nextTry();
    while (tried >= result.lowerBound && tried < found && !deadline.expired()) {
        const double before = deadline.elapsed();
        CaDiCaL::Terminator* stop = &deadline;
        std::optional<ProofDeadline> share;
        if (!climbing && tried == found - 1 && deadline.remaining() < kNoLimit) {
            if (decidingUntil < 0.0) decidingUntil = before + kDecidingShare * deadline.remaining();
            if (before >= decidingUntil) {
                climbing = true;
                tried = nextTry();
                continue;
            }
            share.emplace(decidingUntil - before, [&] { return deadline.expired(); });
            stop = &*share;
        }
        const SatAnswer answer = model.solve(tried - pinnedSlots, stop);
        SatCall call;
        call.haplotypes = tried;
        call.modelGenotypes = model.genotypeCount();
        call.genotypes = static_cast<int>(genotypes.size());
        call.answer = answer;
        call.seconds = deadline.elapsed() - before;
        if (onCall) onCall(call);
        if (answer == SatAnswer::Unknown) {
            if (deadline.expired()) break;
            climbing = true;
            tried = nextTry();
            continue;
        }
        if (answer == SatAnswer::Unsatisfiable) {
            result.lowerBound = tried + 1;
            tried = nextTry();
            continue;
        }
        const Reconstruction partial = decodeReconstruction(model);
        Reconstruction whole;
        whole.haplotypes = partial.haplotypes;
        whole.pairs.assign(genotypes.size(), {});
        for (std::size_t i = 0; i < modelOrder.size(); ++i) whole.pairs[modelOrder[i]] = partial.pairs[i];
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
            continue;
        }
        // The fewest heterozygous sites first: they have the fewest phasings
        // and constrain the haplotypes most.
        std::stable_sort(unexplained.begin(), unexplained.end(),
                         [&](int a, int b) { return openSites[a] < openSites[b]; });
        const int adding = std::min<int>(kGenotypesPerRound, static_cast<int>(unexplained.size()));
        for (int i = 0; i < adding; ++i) {
            const int g = unexplained[i];
            model.addGenotype(genotypes[g]);
            modelOrder.push_back(g);
            inModel[g] = 1;
        }
    }
    result.proven = result.lowerBound >= static_cast<int>(result.best.haplotypes.size());
    return result;
}
