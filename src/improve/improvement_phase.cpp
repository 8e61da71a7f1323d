#include "improve/improvement_phase.hpp"

#include "improve/elimination.hpp"
#include "improve/exchange.hpp"
#include "improve/working_reconstruction.hpp"

#include <chrono>
#include <stdexcept>

namespace {

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
    outcome.startCount = working.aliveCount;

    const std::function<bool()> stop = [&]() {
        if (settings.checkEveryMove) {
            const std::string fault = findWorkingFault(working);
            if (!fault.empty()) throw std::logic_error("improvement move broke the reconstruction: " + fault);
        }
        if (settings.interrupted && settings.interrupted()) outcome.interrupted = true;
        if (settings.seconds > 0.0 && secondsSince(start) >= settings.seconds) outcome.timedOut = true;
        return outcome.interrupted || outcome.timedOut;
    };

    while (!stop()) {
        ++outcome.rounds;
        const int saved = eliminateHaplotypes(working, stop);
        outcome.savedByElimination += saved;
        const int exchanged = exchangeHaplotypes(working, stop);
        outcome.savedByExchange += exchanged;
        if (saved + exchanged == 0) break;
    }
    stop();
    outcome.finalCount = working.aliveCount;
    outcome.seconds = secondsSince(start);
    reconstruction = extractReconstruction(working);
    return outcome;
}
