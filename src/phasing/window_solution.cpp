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

// Each genotype explained by a pair of its own: '0' at the first haplotype's
// heterozygous sites. For a window whose every attempt failed.
Reconstruction ownPairs(const std::vector<std::string>& genotypes)
{
    Reconstruction own;
    for (const std::string& genotype : genotypes) {
        std::string first = genotype;
        std::string second = genotype;
        for (std::size_t s = 0; s < genotype.size(); ++s) {
            if (genotype[s] == '2') first[s] = '0', second[s] = '1';
        }
        const int a = static_cast<int>(own.haplotypes.size());
        own.haplotypes.push_back(first);
        own.haplotypes.push_back(second);
        own.pairs.push_back({a, a + 1});
    }
    normalizeReconstruction(own);
    return own;
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
            reconstruction = ownPairs(distinct);
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
