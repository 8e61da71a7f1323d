#pragma once

// Small VCF and BCF files for the tests: written as text from a compact
// description, converted and indexed with htslib, and read back.

#include "run/run_settings.hpp"
#include "vcf/genotype_input.hpp"
#include "vcf/htslib_handles.hpp"

#include <htslib/tbx.h>

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace vcf_testing {

// A VCF text over contigs 1 and 2 with FORMAT GT only. Each record is
// "CHROM POS ID REF ALT GT GT ...", separated by blanks.
inline std::string vcfText(const std::vector<std::string>& samples, const std::vector<std::string>& records)
{
    std::string text = "##fileformat=VCFv4.2\n##contig=<ID=1,length=100000>\n##contig=<ID=2,length=100000>\n"
                       "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
                       "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
    for (const std::string& s : samples) text += "\t" + s;
    text += "\n";
    for (const std::string& record : records) {
        std::istringstream fields(record);
        std::string chrom, pos, id, ref, alt, gt;
        fields >> chrom >> pos >> id >> ref >> alt;
        text += chrom + "\t" + pos + "\t" + id + "\t" + ref + "\t" + alt + "\t.\t.\t.\tGT";
        while (fields >> gt) text += "\t" + gt;
        text += "\n";
    }
    return text;
}

// The genotypes as VCF records on chromosome 1, one site per column at
// positions 100, 200, ...: '0' as 0/0, '1' as 1|1, '2' as 0/1 or 1|0 in turn.
inline std::vector<std::string> recordsOf(const std::vector<std::string>& genotypes)
{
    std::vector<std::string> records;
    int heterozygous = 0;
    for (std::size_t s = 0; s < genotypes.front().size(); ++s) {
        std::string record = "1 " + std::to_string(100 * (s + 1)) + " rs" + std::to_string(s + 1) + " A C";
        for (const std::string& g : genotypes) {
            record += g[s] == '0' ? " 0/0" : g[s] == '1' ? " 1|1" : (heterozygous++ % 2 == 0 ? " 0/1" : " 1|0");
        }
        records.push_back(record);
    }
    return records;
}

inline std::vector<std::string> sampleNames(std::size_t count)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) names.push_back("S" + std::to_string(i + 1));
    return names;
}

// Rewrites the VCF file `from` as `to` in the htslib write mode `mode`
// ("wz": bgzipped VCF, "wb": BCF) and, when asked, indexes it (.tbi for a
// bgzipped VCF, .csi for a BCF).
inline void convertVcf(const std::string& from, const std::string& to, const char* mode, bool index)
{
    const HtsFileHandle in(hts_open(from.c_str(), "r"));
    ASSERT_TRUE(in) << from;
    const VcfHeader header(bcf_hdr_read(in.get()));
    ASSERT_TRUE(header);
    {
        const HtsFileHandle out(hts_open(to.c_str(), mode));
        ASSERT_TRUE(out) << to;
        ASSERT_EQ(bcf_hdr_write(out.get(), header.get()), 0);
        const BcfRecordHandle record(bcf_init());
        while (bcf_read(in.get(), header.get(), record.get()) == 0) {
            ASSERT_EQ(bcf_write(out.get(), header.get(), record.get()), 0);
        }
    }
    if (!index) return;
    const bool binary = std::string(mode).find('b') != std::string::npos;
    ASSERT_EQ(binary ? bcf_index_build(to.c_str(), 14) : tbx_index_build(to.c_str(), 0, &tbx_conf_vcf), 0) << to;
}

// What reading an input file gave.
struct InputRead {
    GenotypeReadResult result;
    GenotypeTable table;
    std::optional<VcfInput> vcf;
};

inline InputRead readInput(const std::string& path, const VcfOptions& options = {}, const MemoryLimit& memory = {})
{
    RunSettings settings;
    settings.inputFilename = path;
    settings.vcf = options;
    InputRead read;
    read.result = readGenotypeInput(settings, read.table, read.vcf, memory);
    return read;
}

} // namespace vcf_testing
