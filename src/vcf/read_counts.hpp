#pragma once

#include <cstdint>
#include <string>

// What was read and what was left out, and why: the start line of a run and
// its report show these.
struct VcfReadCounts {
    std::int64_t sitesRead = 0;            // records of the region (or of the whole file)
    std::int64_t sitesUsed = 0;
    std::int64_t skippedMultiallelic = 0;  // more than one ALT allele
    std::int64_t skippedNoAlt = 0;         // no ALT allele
    std::int64_t skippedNoGenotype = 0;    // no GT field
    std::int64_t skippedNotDiploid = 0;    // a kept sample with a haploid or polyploid call
    std::int64_t skippedMissing = 0;       // a missing call (--missing drop-sites)
    std::int64_t skippedAllMissing = 0;    // every call missing (--missing impute)
    std::int64_t missingCalls = 0;         // of kept samples at sites otherwise used
    std::int64_t imputedCalls = 0;         // of them, those the run imputes (--missing impute)
    int samplesInFile = 0;
    int samplesKept = 0;
    int samplesNotListed = 0;              // left out by --samples
    int samplesDroppedMissing = 0;         // with a missing call (--missing drop-samples)
    bool throughIndex = false;             // the region was read through a .tbi or .csi index

    std::int64_t sitesSkipped() const
    {
        return skippedMultiallelic + skippedNoAlt + skippedNoGenotype + skippedNotDiploid + skippedMissing
               + skippedAllMissing;
    }
};

// "20 skipped: 12 with more than one ALT allele, 8 not diploid" (the reasons
// that occurred), or "none skipped".
std::string describeSkippedSites(const VcfReadCounts& counts);

// "2 not in the sample list, 1 with a missing call" (the reasons that
// occurred), or empty when every sample was kept.
std::string describeDroppedSamples(const VcfReadCounts& counts);
