#include "searched_text.hpp"

#include "data/haplotype_list.hpp"
#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"
#include "run/run_clock.hpp"
#include "run/search_run.hpp"
#include "search/random_generator.hpp"

#include <memory>

SearchedText searchText(const std::string& text, const RunSettings& settings)
{
    SearchedText searched;
    GenotypeTable& table = searched.table;
    const GenotypeReadResult read = parseGenotypeText(text, "fuzz.txt", table);
    if (!read.ok) {
        searched.fault = "a well-formed input was refused: " + read.error;
        return searched;
    }
    const HaplotypeList initial = buildHaplotypeList(table.genotypeCount, table.length, table.genotypes,
                                                     table.distinctCount, searched.genotypeMap);
    auto state = std::make_unique<SearchState>();
    createSearchState(*state, initial);
    DistanceStructure distances = createDistanceStructure(initial);
    RandomGenerator random;
    seedGenerator(random, settings.seed);
    RunClock clock = startRunClock();
    if (!runSearch(settings, initial, *state, distances, random, clock).bestSaved) {
        searched.fault = "no reconstruction was found";
        return searched;
    }
    searched.resultText =
        composeResult(*state, initial, table, searched.genotypeMap, random, &searched.reconstruction);
    return searched;
}
