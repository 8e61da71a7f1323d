#include "vcf/read_counts.hpp"

#include <utility>
#include <vector>

namespace {

// "12 with more than one ALT allele, 8 not diploid": the counts that are
// not 0, with what they count.
std::string joinCounts(const std::vector<std::pair<std::int64_t, const char*>>& counts)
{
    std::string text;
    for (const auto& [count, what] : counts) {
        if (count == 0) continue;
        if (!text.empty()) text += ", ";
        text += std::to_string(count) + " " + what;
    }
    return text;
}

} // namespace

std::string describeSkippedSites(const VcfReadCounts& counts)
{
    if (counts.sitesSkipped() == 0) return "none skipped";
    return std::to_string(counts.sitesSkipped()) + " skipped: "
           + joinCounts({{counts.skippedMultiallelic, "with more than one ALT allele"},
                         {counts.skippedNoAlt, "without ALT allele"},
                         {counts.skippedNoGenotype, "without GT"},
                         {counts.skippedNotDiploid, "not diploid"},
                         {counts.skippedMissing, "with a missing call"},
                         {counts.skippedAllMissing, "with every call missing"}});
}

std::string describeDroppedSamples(const VcfReadCounts& counts)
{
    return joinCounts({{counts.samplesNotListed, "not in the sample list"},
                       {counts.samplesDroppedMissing, "with a missing call"}});
}
