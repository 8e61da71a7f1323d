#pragma once

// A whole search of a genotype text, set up as the program sets up a run, for
// the fuzz checks that look at what a search finds.

#include "data/genotype_table.hpp"
#include "output/reconstruction.hpp"
#include "run/run_settings.hpp"

#include <string>
#include <vector>

struct SearchedText {
    std::string fault;              // empty when the text was read and a reconstruction found
    GenotypeTable table;            // the genotypes as read
    std::vector<int> genotypeMap;   // input genotype -> distinct genotype
    std::string resultText;         // the result file's text
    Reconstruction reconstruction;  // its haplotypes and one pair per distinct genotype
};

// Reads `text` (a well-formed genotype file), runs the search with `settings`
// (iterations, stall limit, seed) and composes the result.
SearchedText searchText(const std::string& text, const RunSettings& settings);
