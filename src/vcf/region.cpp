#include "vcf/region.hpp"

#include <htslib/hts.h>

#include <charconv>

namespace {

// A whole run of decimal digits within 1..HTS_POS_MAX.
bool parsePosition(std::string_view text, std::int64_t& position)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    if (value < 1 || value > HTS_POS_MAX) return false;
    position = value;
    return true;
}

} // namespace

bool parseRegion(std::string_view text, GenomicRegion& region)
{
    GenomicRegion parsed;
    parsed.to = HTS_POS_MAX;
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        if (text.empty()) return false;
        parsed.chromosome = std::string(text);  // the whole chromosome
        region = std::move(parsed);
        return true;
    }
    if (colon == 0) return false;
    parsed.chromosome = std::string(text.substr(0, colon));
    const std::string_view range = text.substr(colon + 1);
    const std::size_t dash = range.find('-');
    if (!parsePosition(range.substr(0, dash), parsed.from)) return false;
    if (dash == std::string_view::npos) {
        parsed.to = parsed.from;  // one position
    } else if (dash + 1 < range.size() && !parsePosition(range.substr(dash + 1), parsed.to)) {
        return false;  // else "FROM-": to the chromosome's end
    }
    if (parsed.from > parsed.to) return false;
    region = std::move(parsed);
    return true;
}

std::string describeRegion(const GenomicRegion& region)
{
    if (region.to != HTS_POS_MAX) {
        return region.chromosome + ":" + std::to_string(region.from) + "-" + std::to_string(region.to);
    }
    if (region.from == 1 && region.chromosome.find(':') == std::string::npos) return region.chromosome;
    return region.chromosome + ":" + std::to_string(region.from) + "-";
}

bool regionHolds(const GenomicRegion& region, std::string_view chromosome, std::int64_t position)
{
    return chromosome == region.chromosome && position >= region.from && position <= region.to;
}
