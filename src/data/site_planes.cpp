#include "data/site_planes.hpp"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void resizeSitePlanes(SitePlanes& planes, int slotCount, int length)
{
    planes.words = (length + 63) / 64;
    planes.bits.resize(static_cast<std::size_t>(slotCount) * 3 * planes.words);
}

void fillSitePlanes(SitePlanes& planes, const HaplotypeList& list)
{
    resizeSitePlanes(planes, list.slotCount, list.length);
    for (int s = 0; s < list.slotCount; ++s) refreshSitePlanes(planes, s, list.text[s].data(), list.length);
}

namespace {

// Bits of the positions among the 16 characters at `text` that equal `c`.
inline std::uint64_t matchesOf16(const char* text, char c)
{
#if defined(__SSE2__)
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(c))));
#else
    std::uint64_t bits = 0;
    for (int k = 0; k < 16; ++k) bits |= std::uint64_t{text[k] == c} << k;
    return bits;
#endif
}

} // namespace

void refreshSitePlanes(SitePlanes& planes, int slot, const char* text, int length)
{
    std::uint64_t* zeroPlane = planes.zeroOf(slot);
    std::uint64_t* onePlane = planes.oneOf(slot);
    std::uint64_t* openPlane = planes.openOf(slot);
    for (int w = 0; w < planes.words; ++w) {
        const int start = w * 64;
        const int count = std::min(length - start, 64);
        std::uint64_t zero = 0;
        std::uint64_t one = 0;
        int k = 0;
        for (; k + 16 <= count; k += 16) {
            zero |= matchesOf16(text + start + k, '0') << k;
            one |= matchesOf16(text + start + k, '1') << k;
        }
        for (; k < count; ++k) {
            zero |= std::uint64_t{text[start + k] == '0'} << k;
            one |= std::uint64_t{text[start + k] == '1'} << k;
        }
        const std::uint64_t sites = count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
        zeroPlane[w] = zero;
        onePlane[w] = one;
        openPlane[w] = sites & ~(zero | one);
    }
}
