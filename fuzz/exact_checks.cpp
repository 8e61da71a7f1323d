#include "checks.hpp"
#include "fewest_haplotypes.hpp"
#include "searched_text.hpp"

#include "exact/proof_phase.hpp"
#include "output/reconstruction.hpp"
#include "run/run_settings.hpp"

#include <string>
#include <vector>

std::string checkExactProofInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return {};
    const int count = 1 + data[0] % 6;
    const int length = 1 + data[1] % 6;
    if (size < 5 + static_cast<std::size_t>(count) * length) return {};
    RunSettings settings;
    settings.maxIter = 1 + data[2] % 2;
    settings.maxStall = data[3] % 3;
    settings.seed = data[4];

    std::string text = std::to_string(count) + " " + std::to_string(length) + "\n";
    const std::uint8_t* site = data + 5;
    for (int g = 0; g < count; ++g) {
        for (int s = 0; s < length; ++s) text += static_cast<char>('0' + *site++ % 3);
        text += "\n";
    }
    const SearchedText search = searchText(text, settings);
    if (!search.fault.empty()) return search.fault;
    const GenotypeTable& table = search.table;
    const std::vector<int>& genotypeMap = search.genotypeMap;
    Reconstruction found = search.reconstruction;

    std::vector<std::string> genotypes(static_cast<std::size_t>(table.distinctCount));
    for (std::size_t j = 0; j < genotypeMap.size(); ++j) genotypes[genotypeMap[j]] = table.genotypes[j];
    if (const std::string fault = findReconstructionFault(genotypes, found); !fault.empty()) {
        return "the search's reconstruction is faulty: " + fault;
    }
    normalizeReconstruction(found);
    const int searched = static_cast<int>(found.haplotypes.size());
    const int optimum = brute_force::fewestHaplotypes(genotypes);
    const auto quiet = [](const std::string&) {};
    const auto never = [] { return false; };

    const ProofOutcome bound = runProofPhase(genotypes, found, {false, 0}, quiet, never);
    if (bound.lowerBound > optimum) return "the lower bound exceeds the optimum";
    if (bound.proven != (bound.lowerBound == searched) || bound.found != searched || bound.smaller) {
        return "the bounds alone claim more than they prove";
    }

    const ProofOutcome proof = runProofPhase(genotypes, found, {true, 0}, quiet, never);
    if (!proof.proven || proof.found != optimum || proof.lowerBound != optimum) {
        return "the exact check ends with " + std::to_string(proof.lowerBound) + ".." + std::to_string(proof.found)
               + " haplotypes, the optimum is " + std::to_string(optimum);
    }
    if (proof.smaller.has_value() != (optimum < searched)) return "a smaller reconstruction is missing or extra";
    if (proof.smaller) {
        if (const std::string fault = findReconstructionFault(genotypes, *proof.smaller); !fault.empty()) {
            return "the smaller reconstruction is faulty: " + fault;
        }
        if (static_cast<int>(proof.smaller->haplotypes.size()) != optimum) return "the smaller reconstruction's count";
    }
    return {};
}
