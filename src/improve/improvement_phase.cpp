#include "improve/improvement_phase.hpp"

#include "improve/elimination.hpp"
#include "improve/exchange.hpp"
#include "improve/neighbourhood_search.hpp"
#include "improve/working_reconstruction.hpp"

#include <chrono>
#include <stdexcept>

namespace {

// Neighbourhood calls per round, between which the cheaper moves run again.
constexpr int kNeighbourhoodCallsPerRound = 40;

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

    // Asked while a solver runs: cheap.
    const std::function<bool()> cutShort = [&]() {
        if (settings.interrupted && settings.interrupted()) outcome.interrupted = true;
        if (settings.seconds > 0.0 && secondsSince(start) >= settings.seconds) outcome.timedOut = true;
        return outcome.interrupted || outcome.timedOut;
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
    outcome.finalCount = working.aliveCount();
    outcome.seconds = secondsSince(start);
    reconstruction = extractReconstruction(working);
    return outcome;
}
