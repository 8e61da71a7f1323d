#pragma once

#include <cstdint>

// The run's pseudo-random generator: a 32-bit linear congruential generator.
// Its exact sequence decides every random choice of a run, so a seed
// reproduces a run. The driver owns one and hands it to the steps that draw.
struct RandomGenerator {
    std::uint32_t state = 0;
};

// Sets the state to the seed and discards one draw.
void seedGenerator(RandomGenerator& generator, int seed);

// One draw: a number from 0 to 32767.
inline int drawRandom(RandomGenerator& generator)
{
    generator.state = generator.state * 22695477u + 1u;
    return static_cast<int>((generator.state >> 16) & 0x7FFFu);
}
