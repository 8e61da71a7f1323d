#pragma once

#include <cstdint>

// The seed of iteration `iteration` (1, 2, ...) of a run with several
// threads, so that an iteration draws the same numbers whichever thread runs
// it and whenever: the 64-bit value (seed as an unsigned 32-bit number) * 2^32
// + iteration goes through SplitMix64's finaliser,
//   z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9
//   z = (z ^ (z >> 27)) * 0x94D049BB133111EB
//   z =  z ^ (z >> 31)
// after adding 0x9E3779B97F4A7C15, and the high 32 bits of z seed the run's
// generator as a seed does (seedGenerator). Iteration 0 seeds the random
// completion of undetermined sites at the finish.
std::uint32_t iterationSeed(int seed, int iteration);
