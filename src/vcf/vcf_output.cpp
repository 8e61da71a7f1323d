#include "vcf/vcf_output.hpp"

#include "output/result_file.hpp"
#include "vcf/htslib_handles.hpp"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

const char* openMode(VcfOutputFormat format)
{
    switch (format) {
    case VcfOutputFormat::VcfGzip:
        return "wz";
    case VcfOutputFormat::Bcf:
        return "wb";
    default:
        return "w";
    }
}

std::string quoteArgument(const std::string& argument)
{
    static const char kPlain[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+=/.,:@%^";
    std::string text;
    for (const char c : argument) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') text += "\\n";
        else if (c == '\t') text += "\\t";
        else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
            text += escaped;
        } else if (c == '\'') text += "'\\''";
        else text += c;
    }
    if (!argument.empty() && argument.find_first_not_of(kPlain) == std::string::npos) return text;
    return "'" + text + "'";
}

// The output header: the input's, with the kept samples in their order, GT
// and the chromosome defined, and the ##source line.
VcfHeader outputHeader(const VcfInput& input, const std::string& commandLine)
{
    std::vector<char*> names;
    for (const std::string& s : input.samples) names.push_back(const_cast<char*>(s.c_str()));
    std::vector<int> map(names.size());
    VcfHeader header(bcf_hdr_subset(input.header.get(), static_cast<int>(names.size()), names.data(), map.data()));
    if (!header) return header;
    if (bcf_hdr_id2int(header.get(), BCF_DT_ID, "GT") < 0
        || !bcf_hdr_idinfo_exists(header.get(), BCF_HL_FMT, bcf_hdr_id2int(header.get(), BCF_DT_ID, "GT"))) {
        bcf_hdr_append(header.get(), "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">");
    }
    if (!input.chromosome.empty() && bcf_hdr_name2id(header.get(), input.chromosome.c_str()) < 0) {
        bcf_hdr_append(header.get(), ("##contig=<ID=" + input.chromosome + ">").c_str());
    }
    bcf_hdr_append(header.get(), ("##source=Velmora " VELMORA_VERSION "; " + commandLine).c_str());
    if (bcf_hdr_sync(header.get()) != 0 || bcf_hdr_nsamples(header.get()) != static_cast<int>(names.size())) {
        header.reset();
    }
    return header;
}

// Writes the header and the records to `file`; false when htslib fails.
bool writeRecords(htsFile* file, bcf_hdr_t* header, const VcfInput& input, const std::vector<SamplePhase>& phases)
{
    if (bcf_hdr_write(file, header) != 0) return false;
    const BcfRecordHandle record(bcf_init());
    const int chromosome = bcf_hdr_name2id(header, input.chromosome.c_str());
    std::vector<std::int32_t> alleles(2 * input.samples.size());
    for (std::size_t s = 0; s < input.sites.size(); ++s) {
        const VcfSite& site = input.sites[s];
        bcf_clear(record.get());
        record->rid = chromosome;
        record->pos = site.position - 1;
        bcf_float_set_missing(record->qual);
        if (bcf_update_id(header, record.get(), site.id.c_str()) != 0) return false;
        if (bcf_update_alleles_str(header, record.get(), site.alleles.c_str()) != 0) return false;
        for (std::size_t i = 0; i < input.samples.size(); ++i) {
            alleles[2 * i] = bcf_gt_unphased(phases[i].first[s] - '0');
            alleles[2 * i + 1] = bcf_gt_phased(phases[i].second[s] - '0');
        }
        if (bcf_update_genotypes(header, record.get(), alleles.data(), static_cast<int>(alleles.size())) != 0) {
            return false;
        }
        if (bcf_write(file, header, record.get()) != 0) return false;
    }
    return true;
}

} // namespace

VcfOutputFormat vcfOutputFormat(const std::string& path)
{
    if (endsWith(path, ".vcf.gz")) return VcfOutputFormat::VcfGzip;
    if (endsWith(path, ".vcf")) return VcfOutputFormat::Vcf;
    if (endsWith(path, ".bcf")) return VcfOutputFormat::Bcf;
    return VcfOutputFormat::None;
}

bool phasedOutputFits(const std::string& path, VcfOutputFormat format, const VcfInput& input, std::string& error)
{
    if (format != VcfOutputFormat::Bcf) return true;
    for (const VcfSite& site : input.sites) {
        if (site.position > INT32_MAX) {
            error = "Couldn't write the output file " + path + ": the site at " + input.chromosome + ":"
                    + std::to_string(site.position) + " lies beyond the positions a BCF file holds ("
                    + std::to_string(INT32_MAX) + "); write a .vcf or .vcf.gz file";
            return false;
        }
    }
    return true;
}

std::string describeCommandLine(int argc, const char* const* argv)
{
    std::string line;
    for (int i = 0; i < argc; ++i) line += (i == 0 ? "" : " ") + quoteArgument(argv[i]);
    return line;
}

bool writePhasedVcf(const std::string& path, VcfOutputFormat format, const VcfInput& input,
                    const std::vector<SamplePhase>& phases, const std::string& commandLine, std::string& error)
{
    if (!phasedOutputFits(path, format, input, error)) return false;
    const QuietHtslib quiet;
    const VcfHeader header = outputHeader(input, commandLine);
    if (!header) {
        error = "Couldn't write the output file " + path + ": its header cannot be made from the input's";
        return false;
    }
    return replaceFileAtomically(
        path,
        [&](int, const std::string& temporaryName) {
            errno = 0;
            htsFile* file = hts_open(temporaryName.c_str(), openMode(format));
            const bool written = file != nullptr && writeRecords(file, header.get(), input, phases);
            int failure = written ? 0 : (errno != 0 ? errno : EIO);
            if (file != nullptr && hts_close(file) != 0 && failure == 0) failure = errno != 0 ? errno : EIO;
            return failure;
        },
        error);
}
