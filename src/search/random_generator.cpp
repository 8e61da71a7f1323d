#include "search/random_generator.hpp"

void seedGenerator(RandomGenerator& generator, int seed)
{
    generator.state = static_cast<std::uint32_t>(seed);
    drawRandom(generator);
}
