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

// The memory the program takes before it holds any input: its code, its
// libraries and their buffers.
std::uint64_t programBytes();

// The memory held by a genotype table of `genotypeCount` strings of `length`
// sites.
std::uint64_t genotypeTableBytes(std::uint64_t genotypeCount, int length);

// The memory of a run over `genotypeCount` genotypes of `length` sites of
// which `distinctCount` differ, in two parts: what every search of the run
// shares (the program, the genotype table, the initial list and the initial
// distances), and what each search has of its own (its working distances,
// the three lists and the buffers and bit planes of its search state, and an
// allowance for its candidate lists, which depend on the search).
struct RunMemory {
    std::uint64_t shared = 0;
    std::uint64_t perSearch = 0;
};
RunMemory splitRunMemory(std::uint64_t genotypeCount, int distinctCount, int length);

// The whole of it with `searches` searches side by side, one per thread
// (each thread beyond the first with the stack it reserves), and with one.
std::uint64_t searchesBytes(const RunMemory& memory, int searches);
std::uint64_t estimateRunMemory(std::uint64_t genotypeCount, int distinctCount, int length);

// How many of `wanted` searches fit in `limit` bytes (0 when not one does).
int searchesThatFit(const RunMemory& memory, std::uint64_t limit, int wanted);

// A byte count for people: "812 bytes", "4.0 KB", "170 MB", "2.5 GB" (powers
// of 1024, one decimal below 10).
std::string describeBytes(std::uint64_t bytes);

// "need about X of memory, more than the Y available (SOURCE)": the end of
// every refusal of an input too large for the machine.
std::string describeMemoryShortfall(std::uint64_t needed, const MemoryLimit& limit);
