#include "vcf/genotype_call.hpp"

#include <htslib/vcf.h>

GenotypeCall readGenotypeCall(const std::int32_t* values, int width)
{
    int ploidy = 0;
    bool missing = false;
    int alleles[2] = {0, 0};
    for (int i = 0; i < width && values[i] != bcf_int32_vector_end; ++i) {
        if (values[i] == bcf_int32_missing || bcf_gt_is_missing(values[i])) {
            missing = true;
        } else if (ploidy < 2) {
            alleles[ploidy] = bcf_gt_allele(values[i]);
        }
        ++ploidy;
    }
    if (missing || ploidy == 0) return {CallKind::Missing, 0};
    if (ploidy != 2) return {CallKind::NotDiploid, 0};
    for (const int allele : alleles) {
        if (allele < 0 || allele > 1) return {CallKind::UnknownAllele, 0};
    }
    if (alleles[0] != alleles[1]) return {CallKind::Site, '2'};
    return {CallKind::Site, alleles[0] == 0 ? '0' : '1'};
}
