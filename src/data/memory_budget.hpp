#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How much memory a run may take, and what it will need. The large
// structures of a search grow with the number of slots times the number of
// sites (distance histogram rows, texts of the four lists, site planes) and
// with the square of the number of distinct genotypes (the compatibility
// bitmaps, one bit per pair of slots, and the candidate lists); an input
// whose estimate exceeds the limit is refused before any of them is made.

struct MemoryLimit {
    std::uint64_t bytes = UINT64_MAX;  // UINT64_MAX when nothing limits it
    std::string source;                // what sets it, e.g. "the physical memory"
};

// The smallest of the physical memory, the memory limit of the process's
// control group and its address-space and data-segment limits.
MemoryLimit currentMemoryLimit();

// The memory held by a genotype table of `genotypeCount` strings of `length`
// sites.
std::uint64_t genotypeTableBytes(std::uint64_t genotypeCount, int length);

// The memory of a whole run over `genotypeCount` genotypes of `length` sites
// of which `distinctCount` differ: the genotype table, the three working
// lists and the initial one, the distance structure, the search state's
// buffers and bit planes, an allowance for the candidate lists (which
// depend on the search), and the program itself.
std::uint64_t estimateRunMemory(std::uint64_t genotypeCount, int distinctCount, int length);

// A byte count for people: "812 bytes", "4.0 KB", "170 MB", "2.5 GB" (powers
// of 1024, one decimal below 10).
std::string describeBytes(std::uint64_t bytes);
