#include "exact/genotype_masks.hpp"

GenotypeMasks makeGenotypeMasks(const std::vector<std::string>& genotypes)
{
    GenotypeMasks masks;
    masks.count = static_cast<int>(genotypes.size());
    const int length = genotypes.empty() ? 0 : static_cast<int>(genotypes[0].size());
    resizeSitePlanes(masks, masks.count, length);
    for (int g = 0; g < masks.count; ++g) refreshSitePlanes(masks, g, genotypes[g].data(), length);
    return masks;
}

bool genotypesCompatible(const GenotypeMasks& masks, int a, int b)
{
    const std::uint64_t* za = masks.zeroOf(a);
    const std::uint64_t* oa = masks.oneOf(a);
    const std::uint64_t* zb = masks.zeroOf(b);
    const std::uint64_t* ob = masks.oneOf(b);
    for (int w = 0; w < masks.words; ++w) {
        if ((za[w] & ob[w]) | (oa[w] & zb[w])) return false;
    }
    return true;
}

bool isHeterozygous(std::string_view genotype)
{
    return genotype.find('2') != std::string_view::npos;
}

CompatibilityRows makeCompatibilityRows(const GenotypeMasks& masks, const std::function<bool()>& stop)
{
    CompatibilityRows rows;
    rows.count = masks.count;
    rows.words = (masks.count + 63) / 64;
    rows.bits.assign(static_cast<std::size_t>(rows.count) * rows.words, 0);
    for (int a = 0; a < masks.count; ++a) {
        if (stop && stop()) {
            rows.complete = false;
            return rows;
        }
        for (int b = a + 1; b < masks.count; ++b) {
            if (!genotypesCompatible(masks, a, b)) continue;
            rows.bits[static_cast<std::size_t>(a) * rows.words + b / 64] |= std::uint64_t{1} << (b % 64);
            rows.bits[static_cast<std::size_t>(b) * rows.words + a / 64] |= std::uint64_t{1} << (a % 64);
        }
    }
    return rows;
}
