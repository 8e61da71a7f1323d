#include "exact/model_decoding.hpp"

#include "exact/explanation_model.hpp"

#include <unordered_map>

Reconstruction decodeReconstruction(const ExplanationModel& model)
{
    Reconstruction reconstruction;
    std::unordered_map<int, int> haplotypeOfSlot;
    const auto haplotypeOf = [&](int slot) {
        const auto [where, added] = haplotypeOfSlot.emplace(slot, static_cast<int>(reconstruction.haplotypes.size()));
        if (added) reconstruction.haplotypes.push_back(model.slotHaplotype(slot));
        return where->second;
    };
    for (int g = 0; g < model.genotypeCount(); ++g) {
        const auto [first, second] = model.chosenSlots(g);
        const int a = haplotypeOf(first);
        reconstruction.pairs.push_back({a, haplotypeOf(second)});
    }
    return reconstruction;
}
