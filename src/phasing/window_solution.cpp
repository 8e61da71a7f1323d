#include "phasing/window_solution.hpp"

#include "data/genotype_table.hpp"
#include "data/haplotype_list.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "exact/proof_phase.hpp"
#include "improve/improvement_phase.hpp"
#include "run/interruption.hpp"
#include "run/iteration_seed.hpp"
#include "run/run_settings.hpp"
#include "run/search_run.hpp"
#include "search/random_generator.hpp"

#include <algorithm>
#include <memory>
#include <unordered_set>

namespace {

GenotypeTable windowTable(const std::vector<std::string>& genotypes, SiteWindow sites)
{
    GenotypeTable table;
    table.genotypeCount = static_cast<int>(genotypes.size());
    table.length = sites.size();
    table.genotypes.reserve(genotypes.size());
    for (const std::string& genotype : genotypes) table.genotypes.push_back(genotype.substr(sites.first, sites.size()));
    const std::unordered_set<std::string_view> distinct(table.genotypes.begin(), table.genotypes.end());
    table.distinctCount = static_cast<int>(distinct.size());
    return table;
}

std::vector<std::string> distinctGenotypes(const GenotypeTable& table, const std::vector<int>& genotypeMap)
{
    std::vector<std::string> distinct(static_cast<std::size_t>(table.distinctCount));
    for (std::size_t j = 0; j < genotypeMap.size(); ++j) distinct[genotypeMap[j]] = table.genotypes[j];
    return distinct;
}

const std::function<bool()> kInterrupted = [] { return interruptSignal() != 0; };

void improveAndProve(const RunSettings& settings, const std::vector<std::string>& genotypes, int index,
                     Reconstruction& reconstruction, WindowSolution& solution)
{
    if (settings.improveSeconds >= 0) {
        ImprovementSettings improvement;
        improvement.seconds = settings.improveSeconds;
        improvement.seed = iterationSeed(settings.seed, index + 1);
        improvement.interrupted = kInterrupted;
        Reconstruction improved = reconstruction;
        const ImprovementOutcome outcome = improveReconstruction(genotypes, improved, improvement);
        if (outcome.finalCount < outcome.startCount) reconstruction = std::move(improved);
    }
    solution.improvedHaplotypes = static_cast<int>(reconstruction.haplotypes.size());
    if (!settings.bound && !settings.prove) return;
    const ProofRequest request{settings.prove, static_cast<double>(settings.proveSeconds)};
    const ProofOutcome outcome =
        runProofPhase(genotypes, reconstruction, request, [](const std::string&) {}, kInterrupted);
    if (outcome.smaller) reconstruction = *outcome.smaller;
    solution.lowerBound = outcome.lowerBound;
    solution.provenOptimal = outcome.proven;
}

} // namespace

WindowSolution solveWindow(const std::vector<std::string>& genotypes, SiteWindow sites, int index,
                           const RunSettings& settings)
{
    const GenotypeTable table = windowTable(genotypes, sites);
    WindowSolution solution;
    solution.sites = sites;
    solution.distinctGenotypes = table.distinctCount;

    const HaplotypeList initial = buildHaplotypeList(table.genotypeCount, table.length, table.genotypes,
                                                     table.distinctCount, solution.genotypeOfSample);
    const std::vector<std::string> distinct = distinctGenotypes(table, solution.genotypeOfSample);
    Reconstruction reconstruction;
    {
        auto state = std::make_unique<SearchState>();
        createSearchState(*state, initial);
        state->warningSink = [](const std::string&) {};
        DistanceStructure distances = createDistanceStructure(initial);
        RandomGenerator random;
        seedGenerator(random, static_cast<int>(iterationSeed(settings.seed, index + 1)));
        const SearchOutcome outcome = runSilentSearch(settings, initial, *state, distances, random);
        if (outcome.bestSaved) {
            composeResult(*state, initial, table, solution.genotypeOfSample, random, &reconstruction);
        } else {
            reconstruction = ownPairsReconstruction(distinct);
            solution.searchFailed = true;
        }
    }
    solution.searchHaplotypes = static_cast<int>(reconstruction.haplotypes.size());
    improveAndProve(settings, distinct, index, reconstruction, solution);

    solution.pairs = everyExplainingPair(reconstruction, distinct);
    for (std::size_t g = 0; g < distinct.size(); ++g) {
        // The search's own pair first.
        std::vector<HaplotypePair>& pairs = solution.pairs[g];
        const auto chosen = std::find(pairs.begin(), pairs.end(), reconstruction.pairs[g]);
        if (chosen != pairs.end()) std::rotate(pairs.begin(), chosen, chosen + 1);
    }
    solution.haplotypes = std::move(reconstruction.haplotypes);
    return solution;
}

const std::vector<HaplotypePair>& pairsOfSample(const WindowSolution& solution, std::size_t sample)
{
    const auto own = std::lower_bound(solution.samplePairs.begin(), solution.samplePairs.end(), sample,
                                      [](const auto& entry, std::size_t i) { return static_cast<std::size_t>(entry.first) < i; });
    if (own != solution.samplePairs.end() && static_cast<std::size_t>(own->first) == sample) return own->second;
    return solution.pairs[static_cast<std::size_t>(solution.genotypeOfSample[sample])];
}
