// The VCF reader on arbitrary bytes, and the phased writer on whatever it
// accepts.

#include "checks.hpp"

#include "data/genotype_table.hpp"
#include "output/reconstruction.hpp"
#include "phasing/windowed_phasing.hpp"
#include "run/run_settings.hpp"
#include "vcf/genotype_input.hpp"
#include "vcf/htslib_handles.hpp"
#include "vcf/vcf_output.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <unordered_set>

namespace {

const MemoryLimit kFuzzMemory{1u << 20, "the fuzzing limit"};

// The bytes as a file that a name opens, for as long as the object lives.
class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : fd_(memfd_create("velmora-fuzz", MFD_CLOEXEC))
    {
        for (std::size_t done = 0; fd_ >= 0 && done < size;) {
            const ssize_t wrote = write(fd_, data + done, size - done);
            if (wrote <= 0) break;
            done += static_cast<std::size_t>(wrote);
        }
    }
    ~MemoryFile()
    {
        if (fd_ >= 0) close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    std::string name() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

struct Read {
    GenotypeReadResult result;
    GenotypeTable table;
    std::optional<VcfInput> vcf;
};

Read readAs(const std::string& name, MissingPolicy policy)
{
    RunSettings settings;
    settings.inputFilename = name;
    settings.vcf.missing = policy;
    Read read;
    read.result = readGenotypeInput(settings, read.table, read.vcf, kFuzzMemory);
    return read;
}

std::string checkRefusal(const Read& read, const std::string& name)
{
    if (read.result.error.rfind("Error in the VCF file " + name + ": ", 0) != 0) {
        return "refusal does not name the VCF file: " + read.result.error;
    }
    if (read.result.error.find('\n') != std::string::npos) return "refusal of more than one line";
    if (read.vcf || read.table.genotypeCount != 0) return "a refused read filled the table";
    return {};
}

std::string checkAccepted(const Read& read)
{
    const GenotypeTable& t = read.table;
    const VcfInput& v = *read.vcf;
    const VcfReadCounts& c = v.counts;
    if (t.genotypeCount < 1 || t.length < 1 || t.length > kMaxSites) return "accepted counts out of range";
    if (t.genotypes.size() != v.samples.size() || static_cast<int>(v.samples.size()) != t.genotypeCount
        || c.samplesKept != t.genotypeCount) {
        return "sample count differs from the table";
    }
    if (v.sites.size() != static_cast<std::size_t>(t.length) || c.sitesUsed != t.length) return "site count differs";
    if (c.sitesUsed + c.sitesSkipped() != c.sitesRead) return "sites used and skipped do not add up";
    if (c.samplesKept + c.samplesNotListed + c.samplesDroppedMissing != c.samplesInFile) return "samples do not add up";
    std::unordered_set<std::string> distinct;
    for (const std::string& g : t.genotypes) {
        if (g.size() != static_cast<std::size_t>(t.length) || g.find_first_not_of("012") != std::string::npos) {
            return "accepted genotype that is not over '0', '1', '2': " + g;
        }
        distinct.insert(g);
    }
    if (static_cast<int>(distinct.size()) != t.distinctCount) return "wrong distinct count";
    return {};
}

// Phases every genotype in the plainest way (heterozygous sites 0 on the
// first haplotype), writes the phased VCF and reads it back: the same
// samples, sites and genotypes must come back.
std::string checkRoundTrip(const Read& read, std::size_t variant)
{
    const GenotypeTable& t = read.table;
    std::map<std::string, int> distinct;
    std::vector<std::string> distinctGenotypes;
    std::vector<int> genotypeMap;
    for (const std::string& g : t.genotypes) {
        const auto [at, added] = distinct.emplace(g, static_cast<int>(distinct.size()));
        if (added) distinctGenotypes.push_back(g);
        genotypeMap.push_back(at->second);
    }
    const Reconstruction reconstruction = ownPairsReconstruction(distinctGenotypes);

    std::string folder = (std::filesystem::temp_directory_path() / "velmora_fuzz_XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) return {};
    const char* const names[] = {"out.vcf", "out.vcf.gz", "out.bcf"};
    const std::string path = folder + "/" + names[variant % 3];
    std::string error;
    std::string fault;
    std::string beyond;
    const bool fits = phasedOutputFits(path, vcfOutputFormat(path), *read.vcf, beyond);
    if (!writePhasedVcf(path, vcfOutputFormat(path), *read.vcf, phasesOfReconstruction(reconstruction, genotypeMap),
                        "velmora fuzz", error)) {
        if (fits || error != beyond) fault = "the phased output could not be written: " + error;
    } else if (!fits) {
        fault = "a BCF was written with positions it cannot hold";
    } else {
        const Read back = readAs(path, MissingPolicy::Refuse);
        if (!back.result.ok) fault = "the phased output cannot be read back: " + back.result.error;
        else if (back.table.genotypes != t.genotypes) fault = "the phased output reads back as other genotypes";
        else if (back.vcf->samples != read.vcf->samples) fault = "the phased output has other samples";
        else {
            for (std::size_t s = 0; s < read.vcf->sites.size() && fault.empty(); ++s) {
                const VcfSite& a = read.vcf->sites[s];
                const VcfSite& b = back.vcf->sites[s];
                if (a.position != b.position || a.id != b.id || a.alleles != b.alleles) {
                    fault = "site " + std::to_string(s + 1) + " reads back as another site";
                }
            }
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return fault;
}

// Phases the accepted genotypes in windows of a few sites, ligated and
// corrected: every sample's phase must explain its genotype at every site.
std::string checkWindowedPhasing(const GenotypeTable& table, const std::vector<std::vector<int>>& missing)
{
    if (static_cast<std::int64_t>(table.genotypeCount) * table.length > 4000) return {};
    RunSettings settings;
    settings.maxIter = 2;
    settings.maxIterGiven = true;
    settings.maxStall = 2;
    settings.refinePasses = 1;
    const WindowedPhasing phasing =
        phaseInWindows(table.genotypes, missing, planPhasing(table.genotypes, 3, 1), settings, 1, [](int, double) {});
    const std::vector<SamplePhase>& phases = phasing.ligation.phases;
    if (phases.size() != table.genotypes.size()) return "the windowed phasing lost samples";
    for (std::size_t i = 0; i < phases.size(); ++i) {
        const std::string& g = table.genotypes[i];
        if (phases[i].first.size() != g.size() || phases[i].second.size() != g.size()) {
            return "a windowed phase of another length";
        }
        for (std::size_t s = 0; s < g.size(); ++s) {
            const char a = phases[i].first[s];
            const char b = phases[i].second[s];
            const bool open = i < missing.size()
                              && std::binary_search(missing[i].begin(), missing[i].end(), static_cast<int>(s));
            const bool explained = open            ? (a == '0' || a == '1') && (b == '0' || b == '1')
                                   : g[s] == '2' ? ((a == '0' && b == '1') || (a == '1' && b == '0'))
                                                 : (a == g[s] && b == g[s]);
            if (!explained) return "a windowed phase does not explain sample " + std::to_string(i + 1);
        }
    }
    return {};
}

} // namespace

std::string checkVcfReaderInput(const std::uint8_t* data, std::size_t size)
{
    const MemoryFile file(data, size);
    if (!file.ok()) return {};
    const std::string name = file.name();
    const Read refusing = readAs(name, MissingPolicy::Refuse);

    // Anything that is not a VCF or BCF is the matrix reader's, as ever.
    const bool variantFile = refusing.vcf || refusing.result.error.rfind("Error in the VCF file ", 0) == 0;
    if (!variantFile) {
        GenotypeTable matrix;
        const GenotypeReadResult direct = parseGenotypeText(
            std::string_view(reinterpret_cast<const char*>(data), size), name, matrix, kFuzzMemory);
        if (direct.ok != refusing.result.ok || direct.error != refusing.result.error
            || matrix.genotypes != refusing.table.genotypes) {
            return "a matrix file read otherwise than by the matrix reader: '" + refusing.result.error + "' / '"
                   + direct.error + "'";
        }
        return {};
    }

    for (const MissingPolicy policy :
         {MissingPolicy::Refuse, MissingPolicy::DropSites, MissingPolicy::DropSamples, MissingPolicy::Impute}) {
        const Read read = policy == MissingPolicy::Refuse ? Read{} : readAs(name, policy);
        const Read& r = policy == MissingPolicy::Refuse ? refusing : read;
        const std::string fault = r.result.ok ? checkAccepted(r) : checkRefusal(r, name);
        if (!fault.empty()) return std::string(missingPolicyName(policy)) + ": " + fault;
        if (r.result.ok && r.vcf->counts.missingCalls == 0 && refusing.result.ok
            && r.table.genotypes != refusing.table.genotypes) {
            return std::string(missingPolicyName(policy)) + " changed an input without missing calls";
        }
        if (policy == MissingPolicy::DropSites && r.result.ok) {
            const std::string trip = checkRoundTrip(r, size);
            if (!trip.empty()) return trip;
            const std::string windowed = checkWindowedPhasing(r.table, {});
            if (!windowed.empty()) return windowed;
        }
        if (policy == MissingPolicy::Impute && r.result.ok) {
            const std::vector<std::vector<int>>& missing = r.vcf->missingSites;
            std::int64_t listed = 0;
            for (const std::vector<int>& sites : missing) {
                listed += static_cast<std::int64_t>(sites.size());
                if (!std::is_sorted(sites.begin(), sites.end())
                    || (!sites.empty() && (sites.front() < 0 || sites.back() >= r.table.length))) {
                    return "impute: missing calls listed out of order or out of range";
                }
            }
            if (listed != r.vcf->counts.imputedCalls || listed != r.vcf->counts.missingCalls) {
                return "impute: the missing calls listed differ from those counted";
            }
            const std::string windowed = checkWindowedPhasing(r.table, missing);
            if (!windowed.empty()) return "impute: " + windowed;
        }
    }
    return {};
}
