#pragma once

#include <cstdint>

// One sample's GT call at one site, as htslib decodes it (bcf_get_genotypes:
// `width` values per sample, shorter calls padded with bcf_int32_vector_end),
// mapped to a site character of a genotype.
enum class CallKind {
    Site,           // a diploid call of alleles 0 and 1: `site` holds its character
    Missing,        // '.', './.', '.|.', or a call with one allele missing
    NotDiploid,     // a called haploid (or polyploid) genotype
    UnknownAllele,  // an allele the site does not have
};

struct GenotypeCall {
    CallKind kind = CallKind::Missing;
    char site = 0;  // '0' for 0/0, '1' for 1/1, '2' for 0/1 and 1/0, with '/' or '|' alike
};

// Maps the call of a biallelic site (alleles 0 and 1). The phase of a phased
// call is ignored: the search phases every genotype anew.
GenotypeCall readGenotypeCall(const std::int32_t* values, int width);
