#include "phasing/closest_sums.hpp"

#include <algorithm>
#include <cstring>

namespace {

// Eight sums at once (the compiler's vectors: one instruction where the
// processor has them).
typedef std::int16_t EightSums __attribute__((vector_size(16)));

EightSums eightSumsAt(const std::int16_t* sums)
{
    EightSums v;
    std::memcpy(&v, sums, sizeof v);
    return v;
}

bool anyLane(EightSums mask)
{
    std::uint64_t halves[2];
    std::memcpy(halves, &mask, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

} // namespace

int countAtMost(const std::int16_t* sums, int count, int limit)
{
    const auto bound = static_cast<std::int16_t>(std::min<int>(limit, INT16_MAX));
    int total = 0;
    int o = 0;
    while (o + 8 <= count) {
        // Each lane counts at most 4096 before the lanes are added up.
        EightSums lanes = {};
        for (int chunk = 0; chunk < 4096 && o + 8 <= count; ++chunk, o += 8) lanes -= eightSumsAt(sums + o) <= bound;
        for (int l = 0; l < 8; ++l) total += lanes[l];
    }
    for (; o < count; ++o) total += sums[o] <= bound ? 1 : 0;
    return total;
}

void pickClosest(const std::int16_t* sums, int count, int wanted, int& limit, std::vector<int>& picked)
{
    int atMost = countAtMost(sums, count, limit);
    if (atMost >= wanted) {
        for (int below = limit > 0 ? countAtMost(sums, count, limit - 1) : 0; limit > 0 && below >= wanted;) {
            --limit;
            atMost = below;
            below = limit > 0 ? countAtMost(sums, count, limit - 1) : 0;
        }
    } else {
        while (atMost < wanted) atMost = countAtMost(sums, count, ++limit);
    }
    int atLimit = wanted - (limit > 0 ? countAtMost(sums, count, limit - 1) : 0);
    const auto bound = static_cast<std::int16_t>(limit);
    const auto take = [&](int o) {
        if (sums[o] > limit) return;
        if (sums[o] < limit || atLimit-- > 0) picked.push_back(o);
    };
    int o = 0;
    // Few sums are that small: eight at a time are passed over.
    for (; o + 8 <= count; o += 8) {
        if (!anyLane(eightSumsAt(sums + o) <= bound)) continue;
        for (int l = 0; l < 8; ++l) take(o + l);
    }
    for (; o < count; ++o) take(o);
}
