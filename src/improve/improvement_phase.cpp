#include "improve/improvement_phase.hpp"

#include "exact/proof_phase.hpp"
#include "improve/elimination.hpp"
#include "improve/exchange.hpp"
#include "improve/neighbourhood_search.hpp"
#include "improve/working_reconstruction.hpp"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace {

// Neighbourhood calls per round, between which the cheaper moves run again.
constexpr int kNeighbourhoodCallsPerRound = 40;

// Share of the time limit that the moves get before an exact descent.
constexpr double kMovesShareBeforeDescent = 0.5;

// Solver conflicts per call of an exact descent without a time limit.
constexpr int kDescentConflictsPerCall = 300000;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

ImprovementOutcome improveReconstruction(const std::vector<std::string>& genotypes, Reconstruction& reconstruction,
                                         const ImprovementSettings& settings)
{
    const Clock::time_point start = Clock::now();
    ImprovementOutcome outcome;
    WorkingReconstruction working = makeWorkingReconstruction(genotypes, reconstruction);
    outcome.startCount = working.aliveCount();

    const bool descent = settings.exactDescent && working.genotypeCount <= kDescentGenotypes;
    const double movesSeconds = descent ? kMovesShareBeforeDescent * settings.seconds : settings.seconds;
    // Asked while a solver runs: cheap.
    const std::function<bool()> cutShort = [&]() {
        if (settings.interrupted && settings.interrupted()) outcome.interrupted = true;
        if (settings.seconds > 0.0 && secondsSince(start) >= settings.seconds) outcome.timedOut = true;
        return outcome.interrupted || outcome.timedOut || (movesSeconds > 0.0 && secondsSince(start) >= movesSeconds);
    };
    // Asked between moves.
    const std::function<bool()> stop = [&]() {
        if (settings.checkEveryMove) {
            const std::string fault = findWorkingFault(working);
            if (!fault.empty()) throw std::logic_error("improvement move broke the reconstruction: " + fault);
        }
        return cutShort();
    };

    NeighbourhoodSearch neighbourhoods = startNeighbourhoodSearch(settings.seed);
    while (!stop() && !neighbourhoodsExhausted(neighbourhoods, working.genotypeCount)) {
        ++outcome.rounds;
        const int saved = eliminateHaplotypes(working, stop);
        outcome.savedByElimination += saved;
        const int exchanged = exchangeHaplotypes(working, stop);
        outcome.savedByExchange += exchanged;
        if (saved + exchanged > 0) continue;  // the cheap moves first, while they find something
        const int reopened = searchNeighbourhoods(working, neighbourhoods, kNeighbourhoodCallsPerRound, stop, cutShort);
        outcome.savedByNeighbourhoods += reopened;
    }
    stop();
    reconstruction = extractReconstruction(working);
    outcome.finalCount = working.aliveCount();

    if (descent && !outcome.interrupted && !outcome.timedOut && !neighbourhoods.provenOptimal) {
        ProofRequest request;
        request.prove = true;
        if (settings.seconds > 0.0) {
            request.seconds = std::max(1e-3, settings.seconds - secondsSince(start));
        } else {
            request.strategy.conflictsPerCall = kDescentConflictsPerCall;
        }
        request.strategy.raiseBound = false;
        const ProofOutcome proof = runProofPhase(
            genotypes, reconstruction, request, [](const std::string&) {},
            [&] { return settings.interrupted && settings.interrupted(); });
        if (proof.smaller) {
            reconstruction = *proof.smaller;
            outcome.savedByDescent = outcome.finalCount - proof.found;
            outcome.finalCount = proof.found;
        }
        if (proof.interrupted) outcome.interrupted = true;
        if (proof.timeUp) outcome.timedOut = true;
    }
    outcome.seconds = secondsSince(start);
    return outcome;
}
