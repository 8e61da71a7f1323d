#include "data/site_planes.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

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

namespace {

// Eight bits spread over eight bytes: bit k becomes byte k (0 or 1).
constexpr std::uint64_t spreadByte(unsigned bits)
{
    std::uint64_t spread = 0;
    for (int k = 0; k < 8; ++k) spread |= static_cast<std::uint64_t>((bits >> k) & 1) << (8 * k);
    return spread;
}

struct SpreadTable {
    std::uint64_t bytes[256];
    constexpr SpreadTable() : bytes{}
    {
        for (unsigned i = 0; i < 256; ++i) bytes[i] = spreadByte(i);
    }
};

constexpr SpreadTable kSpread;

} // namespace

void writePlanesText(const SitePlanes& planes, int slot, char* text, int length)
{
    const std::uint64_t* zero = planes.zeroOf(slot);
    const std::uint64_t* one = planes.oneOf(slot);
    if constexpr (std::endian::native != std::endian::little) {
        for (int site = 0; site < length; ++site) {
            const std::uint64_t bit = std::uint64_t{1} << (site & 63);
            text[site] = (zero[site >> 6] & bit) != 0 ? '0' : (one[site >> 6] & bit) != 0 ? '1' : '2';
        }
        return;
    }
    // '2' less two for a '0' bit, less one for a '1' bit, eight sites at a time.
    constexpr std::uint64_t kTwos = 0x3232323232323232ull;
    for (int site = 0; site < length; site += 8) {
        const int w = site >> 6;
        const int shift = site & 63;
        const std::uint64_t chars = kTwos - 2 * kSpread.bytes[(zero[w] >> shift) & 0xFF]
                                    - kSpread.bytes[(one[w] >> shift) & 0xFF];
        const int count = std::min(8, length - site);
        std::memcpy(text + site, &chars, static_cast<std::size_t>(count));
    }
}

void transposeBits(std::uint64_t m[64])
{
    std::uint64_t mask = 0x00000000FFFFFFFFull;
    for (int j = 32; j != 0; j >>= 1, mask ^= mask << j) {
        for (int k = 0; k < 64; k = ((k | j) + 1) & ~j) {
            const std::uint64_t t = ((m[k] >> j) ^ m[k | j]) & mask;
            m[k] ^= t << j;
            m[k | j] ^= t;
        }
    }
}
