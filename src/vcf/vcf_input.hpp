#pragma once

#include "data/genotype_table.hpp"
#include "data/memory_budget.hpp"
#include "vcf/read_counts.hpp"
#include "vcf/vcf_options.hpp"

#include <htslib/vcf.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Genotypes read from a VCF or BCF file: each kept sample is one genotype,
// each used site (biallelic, a diploid GT or a missing call for every kept
// sample) one site: 0/0 -> '0', 1/1 -> '1', 0/1 and 1/0 -> '2'; a missing
// call is imputed, refused or left out with its site or sample, as the
// options say.

struct VcfHeaderRelease {
    void operator()(bcf_hdr_t* header) const { bcf_hdr_destroy(header); }
};
using VcfHeader = std::unique_ptr<bcf_hdr_t, VcfHeaderRelease>;

// A used site, as the phased output repeats it.
struct VcfSite {
    std::int64_t position = 0;  // POS, 1-based
    std::string id;             // ID, "." when it has none
    std::string alleles;        // "REF,ALT"
};

// Everything the phased output needs besides the reconstruction.
struct VcfInput {
    std::string fileName;
    bool binary = false;               // BCF rather than VCF
    VcfHeader header;                  // the input's header, every sample in it
    std::optional<GenomicRegion> region;
    std::string chromosome;            // of the used sites; empty when none was read
    std::vector<std::string> samples;  // kept, in order: genotype i is sample i
    std::vector<VcfSite> sites;        // used, in input order
    VcfReadCounts counts;
    // With --missing impute: by sample, the sites (ascending) whose call is
    // missing. The table holds there, until the phase gives the alleles, the
    // value most samples have at the site.
    std::vector<std::vector<int>> missingSites;
};

// Reads the open VCF or BCF file `file` (named `fileName`, which also locates
// its index) into `table` and `input`. A file that breaks the format, or
// that the options refuse (missing calls by default, more than one
// chromosome without a region, names the VCF file does not have, no site or
// no sample left, the supported sizes or `memory` exceeded), gives a one-line
// error naming the file; `table` and `input` are then left as they were.
GenotypeReadResult readVcfGenotypes(htsFile* file, const std::string& fileName, const VcfOptions& options,
                                    GenotypeTable& table, VcfInput& input, const MemoryLimit& memory = {});

// Where the sites come from, for messages: "region 20:100-900",
// "chromosome 20", or "the file" when no site was read.
std::string describeVcfScope(const VcfInput& input);

// The line a run prints after reading: sites used, skipped and why, samples
// kept, for example
// "VCF input: 480 of 500 sites used in chromosome 20 (20 skipped: 12 with more
// than one ALT allele, 8 not diploid); 203 of 205 samples kept (2 not in the
// sample list)", followed by "; 37 missing calls to impute" when there are.
std::string describeVcfReading(const VcfInput& input);
