#include "run/iteration_seed.hpp"

std::uint32_t iterationSeed(int seed, int iteration)
{
    std::uint64_t z = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(seed)) << 32)
                      | static_cast<std::uint32_t>(iteration);
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z = z ^ (z >> 31);
    return static_cast<std::uint32_t>(z >> 32);
}
