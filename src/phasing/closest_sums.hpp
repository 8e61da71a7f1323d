#pragma once

#include <cstdint>
#include <vector>

// The refinement's choice of templates: of per-haplotype sums of
// differing sites, the smallest.

// A sum that is never among the closest (its haplotype is chosen already).
constexpr std::int16_t kTaken = INT16_MAX;

// How many of the `count` sums are at most `limit`.
int countAtMost(const std::int16_t* sums, int count, int limit);

// Appends to `picked`, ascending, the `wanted` indices (fewer than `count`
// sums below kTaken are never asked for) whose sums are smallest, the lower
// index first among equal sums: every index whose sum lies below the
// distance reached, then those at it in order. The search for that distance
// starts from `limit` and leaves it there, so that the next block, whose
// sums differ little, starts close to its own.
void pickClosest(const std::int16_t* sums, int count, int wanted, int& limit, std::vector<int>& picked);
