#pragma once

#include "vcf/region.hpp"

#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <string>
#include <vector>

// The records of the file in input order: all of them, or, through the
// file's index, those of one region's chromosome and span.
class RecordSource {
public:
    RecordSource(htsFile* file, bcf_hdr_t* header) : file_(file), header_(header) {}
    ~RecordSource();
    RecordSource(const RecordSource&) = delete;
    RecordSource& operator=(const RecordSource&) = delete;

    // Reads only the records the index finds for `region`, when the file
    // is bgzipped and has a .tbi or .csi index beside it (found from
    // `fileName`). Returns whether it does; otherwise every record is read.
    bool useIndex(const std::string& fileName, const GenomicRegion& region);

    // 0 for a record, -1 at the end, below -1 when the file cannot be read.
    int next(bcf1_t* record);

private:
    htsFile* file_;
    bcf_hdr_t* header_;
    hts_idx_t* index_ = nullptr;
    tbx_t* tabix_ = nullptr;
    hts_itr_t* iterator_ = nullptr;
    kstring_t line_ = KS_INITIALIZE;
    bool empty_ = false;  // the index knows no record of the region's chromosome
};

// The chromosomes that hold records, in the order of the file's index, when
// the file is bgzipped with a .tbi or .csi index beside it; false otherwise.
bool listIndexedChromosomes(htsFile* file, bcf_hdr_t* header, const std::string& fileName,
                            std::vector<std::string>& names);
