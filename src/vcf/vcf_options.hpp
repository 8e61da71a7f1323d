#pragma once

#include "vcf/region.hpp"

#include <optional>
#include <string>
#include <string_view>

// What a run does with missing calls ('.', './.', '.|.', and calls with one
// allele missing, './1') in a VCF or BCF input.
enum class MissingPolicy {
    Impute,       // each is a site the sample's pair of haplotypes may take either way; the phase gives its alleles
    Refuse,       // the input is refused, naming the first missing call
    DropSites,    // every site with a missing call is left out
    DropSamples,  // every sample with a missing call is left out
};

// How a VCF or BCF input is read, as the command line asks.
struct VcfOptions {
    MissingPolicy missing = MissingPolicy::Impute;
    std::optional<GenomicRegion> region;  // only this region; else the whole file
    std::string samplesFile;              // one sample name per line; empty: every sample
    // The input is phased in windows: the supported sizes of one instance
    // (sites, distinct genotypes) hold for each window, not for the input.
    bool windowed = false;
};

// "refuse", "drop-sites" or "drop-samples"; false for anything else.
bool parseMissingPolicy(std::string_view text, MissingPolicy& policy);

const char* missingPolicyName(MissingPolicy policy);

// Whether any option asks for something only a VCF or BCF input has:
// --region, --samples, or leaving out sites or samples with missing calls.
bool asksForVcfInput(const VcfOptions& options);
