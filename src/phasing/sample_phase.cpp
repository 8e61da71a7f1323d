#include "phasing/sample_phase.hpp"

std::vector<SamplePhase> phasesOfReconstruction(const Reconstruction& reconstruction,
                                                const std::vector<int>& genotypeMap)
{
    std::vector<SamplePhase> phases;
    phases.reserve(genotypeMap.size());
    for (const int g : genotypeMap) {
        const HaplotypePair pair = reconstruction.pairs[static_cast<std::size_t>(g)];
        phases.push_back({reconstruction.haplotypes[pair.first], reconstruction.haplotypes[pair.second]});
    }
    return phases;
}

Reconstruction reconstructionOfPhases(const std::vector<SamplePhase>& phases, const std::vector<int>& genotypeMap,
                                      int distinctCount)
{
    Reconstruction reconstruction;
    reconstruction.pairs.assign(static_cast<std::size_t>(distinctCount), {-1, -1});
    for (std::size_t i = 0; i < phases.size(); ++i) {
        HaplotypePair& pair = reconstruction.pairs[static_cast<std::size_t>(genotypeMap[i])];
        if (pair.first >= 0) continue;
        const int a = static_cast<int>(reconstruction.haplotypes.size());
        reconstruction.haplotypes.push_back(phases[i].first);
        reconstruction.haplotypes.push_back(phases[i].second);
        pair = {a, a + 1};
    }
    normalizeReconstruction(reconstruction);
    return reconstruction;
}
