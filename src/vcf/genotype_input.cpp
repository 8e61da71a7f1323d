#include "vcf/genotype_input.hpp"

#include "run/run_settings.hpp"
#include "vcf/htslib_handles.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

bool isVariantFile(const htsFormat& format)
{
    return format.category == variant_data && (format.format == vcf || format.format == bcf);
}

// A C stream over an hFILE, for the matrix reader: the bytes that format
// detection peeked at are still in the hFILE's buffer, so a pipe loses none.
std::FILE* streamOver(hFILE* file)
{
    cookie_io_functions_t functions{};
    functions.read = [](void* cookie, char* buffer, std::size_t size) -> ssize_t {
        return hread(static_cast<hFILE*>(cookie), buffer, size);
    };
    return fopencookie(file, "r", functions);
}

GenotypeReadResult readMatrix(HFileHandle raw, const std::string& name, GenotypeTable& table,
                              const MemoryLimit& memory)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(streamOver(raw.get()), &std::fclose);
    if (!stream) return {false, "Couldn't read the specified file: " + name};
    return readGenotypeStream(stream.get(), name, table, memory);
}

} // namespace

GenotypeReadResult readGenotypeInput(const RunSettings& settings, GenotypeTable& table,
                                     std::optional<VcfInput>& vcfInput, const MemoryLimit& memory)
{
    const std::string& name = settings.inputFilename;
    const GenotypeReadResult cannotOpen{false, "Couldn't open the specified file: " + name};
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return cannotOpen;
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return cannotOpen;
    }
    const QuietHtslib quiet;
    HFileHandle raw(hdopen(fd, "r"));
    if (!raw) {
        close(fd);
        return cannotOpen;
    }
    htsFormat format{};
    if (hts_detect_format2(raw.get(), name.c_str(), &format) != 0 || !isVariantFile(format)) {
        if (asksForVcfInput(settings.vcf)) {
            return {false, "Error in the genotype file " + name
                               + ": --region, --samples and --missing read VCF or BCF files, and this is a "
                                 "genotype matrix"};
        }
        return readMatrix(std::move(raw), name, table, memory);
    }
    HtsFileHandle file(hts_hopen(raw.get(), name.c_str(), "r"));
    if (!file) return {false, "Error in the VCF file " + name + ": it cannot be opened as VCF or BCF"};
    raw.release();  // the htsFile closes it
    VcfInput input;
    GenotypeReadResult result = readVcfGenotypes(file.get(), name, settings.vcf, table, input, memory);
    if (result.ok) vcfInput = std::move(input);
    return result;
}
