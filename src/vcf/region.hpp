#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A stretch of one chromosome, as --region names it: positions 1-based and
// inclusive, as bcftools takes them. A site belongs to the region when its
// POS lies in FROM..TO; a whole chromosome reaches to HTS_POS_MAX.
struct GenomicRegion {
    std::string chromosome;
    std::int64_t from = 1;
    std::int64_t to = 1;
};

// Reads "CHR" (the whole chromosome), "CHR:FROM-TO", "CHR:FROM-" (to the
// chromosome's end) or "CHR:POS" (one position), as bcftools does: a
// non-empty chromosome name, which may itself hold ':' (the last one then
// separates the positions, so such a chromosome is named whole as
// "CHR:1-"), and decimal positions with 1 <= FROM <= TO <= the largest
// position htslib holds. Returns false, and leaves `region` as it was, for
// anything else.
bool parseRegion(std::string_view text, GenomicRegion& region);

// The region as --region takes it back: "CHR" for a whole chromosome whose
// name holds no ':', "CHR:FROM-" to the end, else "CHR:FROM-TO".
std::string describeRegion(const GenomicRegion& region);

// Whether a site at 1-based `position` on `chromosome` belongs to the region.
bool regionHolds(const GenomicRegion& region, std::string_view chromosome, std::int64_t position);
