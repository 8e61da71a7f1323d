#pragma once

#include "data/haplotype_list.hpp"

#include <cstdint>
#include <vector>

// Functions whose loops count bits are compiled twice, with the processor's
// popcount instruction and without, and the program takes the first version
// on a processor that has the instruction (chosen once, when it starts), so
// the same binary runs on every x86-64. Only functions that other files do
// not call (and not templates) take the attribute: clang wants it on every
// declaration; an exported function calls such a function of its own file.
#if defined(__x86_64__) && defined(__linux__) && defined(__has_attribute) && !defined(VELMORA_ONE_VERSION_PER_FUNCTION)
#if __has_attribute(target_clones)
#define VELMORA_COUNTS_BITS __attribute__((target_clones("popcnt", "default")))
#endif
#endif
#ifndef VELMORA_COUNTS_BITS
#define VELMORA_COUNTS_BITS
#endif

// The three planes of one slot, read only.
struct SlotPlanes {
    const std::uint64_t* zero;
    const std::uint64_t* one;
    const std::uint64_t* open;
};

// The texts of a haplotype list as bit planes, 64 sites to a word: per slot a
// `zero` and a `one` bit for every determined site and an `open` bit for
// every '2'. Comparisons of two texts then take a few word operations per 64
// sites instead of a walk over the characters. The three planes of a slot
// lie next to each other, so one slot is one contiguous block. The planes
// are a copy: whoever changes a text refreshes its slot.
struct SitePlanes {
    int words = 0;  // words per plane
    std::vector<std::uint64_t> bits;  // per slot: zero plane, one plane, open plane

    const std::uint64_t* zeroOf(int slot) const { return bits.data() + offset(slot); }
    const std::uint64_t* oneOf(int slot) const { return bits.data() + offset(slot) + words; }
    const std::uint64_t* openOf(int slot) const { return bits.data() + offset(slot) + 2 * words; }
    SlotPlanes slotOf(int slot) const { return {zeroOf(slot), oneOf(slot), openOf(slot)}; }
    std::uint64_t* zeroOf(int slot) { return bits.data() + offset(slot); }
    std::uint64_t* oneOf(int slot) { return bits.data() + offset(slot) + words; }
    std::uint64_t* openOf(int slot) { return bits.data() + offset(slot) + 2 * words; }
    std::size_t offset(int slot) const { return static_cast<std::size_t>(slot) * 3 * words; }
};

// Planes of every slot of the list.
void fillSitePlanes(SitePlanes& planes, const HaplotypeList& list);

// Room for the planes of `slotCount` slots of `length` sites; contents unset.
void resizeSitePlanes(SitePlanes& planes, int slotCount, int length);

// Refreshes the planes of one slot from its text.
void refreshSitePlanes(SitePlanes& planes, int slot, const char* text, int length);

// Transposes a 64 x 64 bit matrix, bit c of word r being element (r, c).
void transposeBits(std::uint64_t m[64]);

// Writes the text of one slot from its planes (the other way round).
void writePlanesText(const SitePlanes& planes, int slot, char* text, int length);
