#pragma once

#include <string>
#include <vector>

// The haplotype slots of a search, two per distinct genotype, held as
// parallel per-slot arrays. Slots 2k and 2k+1 start as the two haplotypes of
// distinct genotype k. Collapsing a slot moves it out of the live part of
// `order` (positions 0..liveCount-1); the search never adds or removes slots.
//
// Slots whose labels have the same magnitude form a component: equal labels
// take equal values at the component's undetermined sites ('2'), opposite
// labels (mates) complementary ones.
struct HaplotypeList {
    int slotCount = 0;  // n, twice the number of distinct genotypes
    int length = 0;     // L, sites per haplotype
    int liveCount = 0;  // slots at positions 0..liveCount-1 are live

    std::vector<int> order;         // position -> slot
    std::vector<int> position;      // slot -> position (inverse of order)
    std::vector<int> mark;          // 0 not live, 1 live, 2 live and used by the reconstruction
    std::vector<int> useCount;      // uses of the slot by the chosen pairs
    std::vector<int> useLeft;       // working copy of useCount for the closing sweep
    std::vector<float> weight;      // support among the open candidates
    std::vector<int> multiplicity;  // input genotypes equal to the slot's genotype
    std::vector<int> label;         // signed component label
    std::vector<int> variableBase;  // by label magnitude: first symbolic variable of the component
    std::vector<int> isolated;      // 1 when at most one other live slot shares the component
    std::vector<std::string> text;  // L characters over '0', '1', '2' per slot
};

// The complement of a determined site character ('0' <-> '1'); any other
// character gives '0'.
inline char complement(char c)
{
    return c == '0' ? '1' : '0';
}

HaplotypeList createHaplotypeList(int slotCount, int length);

// The initial list of a run: one pair of mate slots per distinct genotype,
// numbered by first occurrence. `genotypeMap` receives, for every input
// genotype, the index of its distinct genotype.
HaplotypeList buildHaplotypeList(int genotypeCount, int length,
                                 const std::vector<std::string>& genotypes, int distinctCount,
                                 std::vector<int>& genotypeMap);

// Deep copy of every per-slot array and of liveCount; the destination has the
// dimensions of the source.
void copyHaplotypeList(HaplotypeList& destination, const HaplotypeList& source);
