#include "data/site_planes.hpp"

#include <algorithm>

void resizeSitePlanes(SitePlanes& planes, int slotCount, int length)
{
    planes.words = (length + 63) / 64;
    const std::size_t size = static_cast<std::size_t>(slotCount) * planes.words;
    planes.zero.resize(size);
    planes.one.resize(size);
    planes.open.resize(size);
}

void fillSitePlanes(SitePlanes& planes, const HaplotypeList& list)
{
    resizeSitePlanes(planes, list.slotCount, list.length);
    for (int s = 0; s < list.slotCount; ++s) refreshSitePlanes(planes, s, list.text[s].data(), list.length);
}

void refreshSitePlanes(SitePlanes& planes, int slot, const char* text, int length)
{
    const std::size_t base = planes.offset(slot);
    for (int w = 0; w < planes.words; ++w) {
        std::uint64_t zero = 0;
        std::uint64_t one = 0;
        std::uint64_t open = 0;
        const int end = std::min(length, (w + 1) * 64);
        for (int k = w * 64; k < end; ++k) {
            const std::uint64_t bit = std::uint64_t{1} << (k % 64);
            if (text[k] == '0') zero |= bit;
            else if (text[k] == '1') one |= bit;
            else open |= bit;
        }
        planes.zero[base + w] = zero;
        planes.one[base + w] = one;
        planes.open[base + w] = open;
    }
}
