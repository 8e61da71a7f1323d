#include "vcf/record_source.hpp"

#include <cstdlib>

RecordSource::~RecordSource()
{
    if (iterator_ != nullptr) hts_itr_destroy(iterator_);
    if (tabix_ != nullptr) tbx_destroy(tabix_);
    if (index_ != nullptr) hts_idx_destroy(index_);
    free(line_.s);
}

bool RecordSource::useIndex(const std::string& fileName, const GenomicRegion& region)
{
    if (file_->format.compression != bgzf) return false;
    const bool binary = file_->format.format == bcf;
    int sequence = -1;
    if (binary) {
        index_ = bcf_index_load3(fileName.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
        if (index_ == nullptr) return false;
        sequence = bcf_hdr_name2id(header_, region.chromosome.c_str());
    } else {
        tabix_ = tbx_index_load3(fileName.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
        if (tabix_ == nullptr) return false;
        sequence = tbx_name2id(tabix_, region.chromosome.c_str());
    }
    if (sequence < 0) {
        empty_ = true;
        return true;
    }
    // Positions of the query are 0-based and the end exclusive.
    iterator_ = binary ? bcf_itr_queryi(index_, sequence, region.from - 1, region.to)
                       : tbx_itr_queryi(tabix_, sequence, region.from - 1, region.to);
    return iterator_ != nullptr;
}

int RecordSource::next(bcf1_t* record)
{
    if (empty_) return -1;
    if (iterator_ == nullptr) return bcf_read(file_, header_, record);
    if (index_ != nullptr) return bcf_itr_next(file_, iterator_, record);
    const int got = tbx_itr_next(file_, tabix_, iterator_, &line_);
    if (got < 0) return got < -1 ? got : -1;
    return vcf_parse1(&line_, header_, record) == 0 ? 0 : -2;
}

bool listIndexedChromosomes(htsFile* file, bcf_hdr_t* header, const std::string& fileName,
                            std::vector<std::string>& names)
{
    if (file->format.compression != bgzf) return false;
    int count = 0;
    const char** listed = nullptr;
    if (file->format.format == bcf) {
        hts_idx_t* index = bcf_index_load3(fileName.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
        if (index == nullptr) return false;
        listed = bcf_index_seqnames(index, header, &count);
        if (listed != nullptr) names.assign(listed, listed + count);
        hts_idx_destroy(index);
    } else {
        tbx_t* tabix = tbx_index_load3(fileName.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
        if (tabix == nullptr) return false;
        listed = tbx_seqnames(tabix, &count);
        if (listed != nullptr) names.assign(listed, listed + count);
        tbx_destroy(tabix);
    }
    free(listed);
    return listed != nullptr;
}
