#pragma once

#include "phasing/sample_phase.hpp"
#include "vcf/vcf_input.hpp"

#include <string>
#include <vector>

// The phased VCF or BCF a run writes when its input was one and the output
// name asks for one.
enum class VcfOutputFormat {
    None,     // any other name: the ordinary result file
    Vcf,      // NAME.vcf: plain text
    VcfGzip,  // NAME.vcf.gz: bgzipped, indexable with bcftools index or tabix
    Bcf,      // NAME.bcf: compressed BCF
};

VcfOutputFormat vcfOutputFormat(const std::string& path);

// Whether the sites of `input` fit the format: BCF holds positions up to
// 2147483647 only. When they do not, `error` names the output file
// `path` and the first site beyond.
bool phasedOutputFits(const std::string& path, VcfOutputFormat format, const VcfInput& input, std::string& error);

// The command line as one line of text for the ##source header line:
// arguments separated by blanks, quoted as a shell would need them, control
// characters written as \n, \t or \xHH.
std::string describeCommandLine(int argc, const char* const* argv);

// Writes the phased genotypes: the input's header with only the kept
// samples, in their order, plus "##source=Velmora <version>; <commandLine>";
// then every used site in input order with its CHROM, POS, ID, REF and ALT
// and FORMAT GT only. Sample i carries its phase: the alleles of its first
// haplotype, then of its second, phased ("0|1"). The file is written beside `path` under a temporary name
// and renamed over it when complete, like the result file; on failure
// (phasedOutputFits among others) `path` is left as it was and `error` says
// why.
bool writePhasedVcf(const std::string& path, VcfOutputFormat format, const VcfInput& input,
                    const std::vector<SamplePhase>& phases, const std::string& commandLine, std::string& error);
