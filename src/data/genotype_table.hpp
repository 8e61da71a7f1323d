#pragma once

#include "data/memory_budget.hpp"

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>


// The genotypes of the input file, in file order, repeats included.
struct GenotypeTable {
    int genotypeCount = 0;               // G, as announced by the file
    int length = 0;                      // L, the number of sites of every genotype
    std::vector<std::string> genotypes;  // G strings of L characters over '0', '1', '2'
    int distinctCount = 0;               // number of different strings among them
};

// Largest inputs the search supports: slot indices, positions and labels
// count two slots per distinct genotype in 16-bit signed range, and slot
// distances (at most L) are stored in 16 bits.
constexpr int kMaxDistinctGenotypes = 16383;
constexpr int kMaxSites = 32767;

struct GenotypeReadResult {
    bool ok = false;
    std::string error;  // one line, without the line break, when !ok
};

// Reads a genotype file from an open stream, `chunkSize` bytes at a time;
// `fileName` only names it in messages. (readGenotypeInput opens the file
// named on the command line and comes here for the matrix format.) A file
// that breaks the format is refused with a line naming the file and the
// fault, and the table is then left as it was.
//
// The file is read as it is parsed, never past the last genotype announced
// and never more than one site past the announced length of a genotype, so
// that neither an announced count nor an overlong token makes the reader
// allocate for it. Genotypes whose table would outgrow `memory` are refused.
// A UTF-8 byte-order mark at the start is skipped; UTF-16 text is refused.
GenotypeReadResult readGenotypeStream(std::FILE* file, const std::string& fileName, GenotypeTable& table,
                                      const MemoryLimit& memory = {}, std::size_t chunkSize = 1 << 16);

// The same, on the text of a file already in memory; `fileName` only names it
// in messages.
GenotypeReadResult parseGenotypeText(std::string_view text, const std::string& fileName,
                                     GenotypeTable& table, const MemoryLimit& memory = {});
