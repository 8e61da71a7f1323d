#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A stretch of one chromosome, as --region CHR:FROM-TO names it: positions
// 1-based and inclusive, as bcftools takes them. A site belongs to the
// region when its POS lies in FROM..TO.
struct GenomicRegion {
    std::string chromosome;
    std::int64_t from = 1;
    std::int64_t to = 1;
};

// Reads "CHR:FROM-TO": a non-empty chromosome name (which may itself hold
// ':'; the last one separates the positions), then two decimal numbers with
// 1 <= FROM <= TO <= the largest position htslib holds. Returns false, and
// leaves `region` as it was, for anything else.
bool parseRegion(std::string_view text, GenomicRegion& region);

// "CHR:FROM-TO".
std::string describeRegion(const GenomicRegion& region);

// Whether a site at 1-based `position` on `chromosome` belongs to the region.
bool regionHolds(const GenomicRegion& region, std::string_view chromosome, std::int64_t position);
