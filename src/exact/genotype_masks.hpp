#pragma once

#include "data/site_planes.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Genotypes as bit planes, one slot per genotype: a `zero` bit for every
// site that holds '0', a `one` bit for every '1' and an `open` bit for every
// heterozygous site ('2'). Two genotypes are compatible, that is, can share
// a haplotype, unless one holds '0' where the other holds '1'.
struct GenotypeMasks : SitePlanes {
    int count = 0;
};

GenotypeMasks makeGenotypeMasks(const std::vector<std::string>& genotypes);

bool genotypesCompatible(const GenotypeMasks& masks, int a, int b);

bool isHeterozygous(std::string_view genotype);

// The compatibility graph as bit rows: bit b of row a is set when a and b
// (a != b) are compatible.
struct CompatibilityRows {
    int count = 0;
    int words = 0;  // words per row
    std::vector<std::uint64_t> bits;
    bool complete = true;  // false when a stop request cut the computation short

    const std::uint64_t* rowOf(int g) const { return bits.data() + static_cast<std::size_t>(g) * words; }
    bool compatible(int a, int b) const { return (rowOf(a)[b / 64] >> (b % 64)) & 1u; }
};

// `stop`, when given, is asked between rows; once it answers true the rows
// are left incomplete (complete is false) and must not be used.
CompatibilityRows makeCompatibilityRows(const GenotypeMasks& masks, const std::function<bool()>& stop = {});
