#include "vcf/vcf_input.hpp"

#include "vcf/genotype_call.hpp"
#include "vcf/htslib_handles.hpp"
#include "vcf/record_source.hpp"
#include "vcf/sample_list.hpp"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace {

// Text from the file as a message may show it: control bytes as \xHH.
std::string printable(std::string_view text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
        shown += escaped;
    }
    return shown;
}

// Whether a field can be written to a VCF line and read back as it is: not
// empty, no blank or control byte, and no ',' where it separates alleles.
bool fitsVcfField(std::string_view text, bool commaAllowed)
{
    if (text.empty()) return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || (c == ',' && !commaAllowed)) return false;
    }
    return true;
}

std::string siteName(std::string_view chromosome, std::int64_t position)
{
    return printable(chromosome) + ":" + std::to_string(position);
}

std::string listOfNames(const std::vector<std::string>& names)
{
    constexpr std::size_t kShown = 10;
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kShown; ++i) text += (i == 0 ? "" : ", ") + printable(names[i]);
    if (names.size() > kShown) text += " and " + std::to_string(names.size() - kShown) + " more";
    return text;
}

// The GT values of one record, in a buffer htslib grows as it needs.
struct GenotypeValues {
    std::int32_t* values = nullptr;
    int capacity = 0;

    GenotypeValues() = default;
    ~GenotypeValues() { free(values); }
    GenotypeValues(const GenotypeValues&) = delete;
    GenotypeValues& operator=(const GenotypeValues&) = delete;
};

// Reads the records into site columns, one character per kept sample ('m'
// for a missing call), then applies the missing-call policy and builds the
// genotypes.
class VcfReader {
public:
    VcfReader(htsFile* file, const std::string& fileName, const VcfOptions& options, const MemoryLimit& memory)
        : file_(file), options_(options), memory_(memory)
    {
        input_.fileName = fileName;
        input_.binary = file->format.format == bcf;
        input_.region = options.region;
    }

    GenotypeReadResult read(GenotypeTable& table, VcfInput& input)
    {
        input_.header.reset(bcf_hdr_read(file_));
        if (!input_.header) return refuse("its header cannot be read");
        if (!chooseSamples()) return {false, error_};
        if (!readSites()) return {false, error_};
        if (!applyMissingPolicy()) return {false, error_};
        if (input_.counts.sitesRead == 0) return refuse("no site lies in " + describeVcfScope(input_));
        if (columns_.empty()) {
            return refuse("no site can be used in " + describeVcfScope(input_) + " (" + describeSites() + ")");
        }
        GenotypeTable built;
        if (!buildTable(built)) return {false, error_};
        table = std::move(built);
        input = std::move(input_);
        return {true, {}};
    }

private:
    GenotypeReadResult refuse(const std::string& fault)
    {
        error_ = "Error in the VCF file " + input_.fileName + ": " + fault;
        return {false, error_};
    }
    bool fail(const std::string& fault)
    {
        refuse(fault);
        return false;
    }

    bool chooseSamples()
    {
        bcf_hdr_t* header = input_.header.get();
        const int count = bcf_hdr_nsamples(header);
        input_.counts.samplesInFile = count;
        if (count == 0) return fail("it has no samples, so no genotypes");
        std::vector<std::string> names(header->samples, header->samples + count);
        for (int i = 0; i < count; ++i) {
            // htslib takes an empty column of the #CHROM line together with the next one.
            if (names[i].empty() || names[i].find_first_of("\t\n\r") != std::string::npos) {
                return fail("sample " + std::to_string(i + 1) + " of the #CHROM line has an empty name");
            }
        }
        if (options_.samplesFile.empty()) {
            for (int i = 0; i < count; ++i) chosen_.push_back(i);
        } else if (!selectSamples(options_.samplesFile, names, input_.fileName, chosen_, error_)) {
            return false;
        }
        for (const int i : chosen_) input_.samples.push_back(names[i]);
        input_.counts.samplesNotListed = count - static_cast<int>(chosen_.size());
        return true;
    }

    // Whether a record is one of the sites to read. Without a region every
    // record is, as long as the file holds a single chromosome; the names of
    // further ones are gathered for the refusal.
    bool inScope(const char* chromosome, std::int64_t position)
    {
        if (input_.region) return regionHolds(*input_.region, chromosome, position);
        if (seen_.insert(chromosome).second) chromosomes_.emplace_back(chromosome);
        if (input_.chromosome.empty()) input_.chromosome = chromosome;
        return chromosomes_.size() == 1;
    }

    bool readSites()
    {
        bcf_hdr_t* header = input_.header.get();
        RecordSource source(file_, header);
        if (input_.region) input_.counts.throughIndex = source.useIndex(input_.fileName, *input_.region);
        if (input_.region) input_.chromosome = input_.region->chromosome;
        const BcfRecordHandle record(bcf_init());
        GenotypeValues values;
        std::string lastSite = "the header";
        for (;;) {
            const int got = source.next(record.get());
            if (got == -1) break;
            if (got < -1 || record->rid < 0 || record->rid >= header->n[BCF_DT_CTG]) {
                return fail("the record after " + lastSite + " cannot be read");
            }
            const char* chromosome = bcf_hdr_id2name(header, record->rid);
            const std::int64_t position = record->pos + 1;
            lastSite = siteName(chromosome, position);
            if (!inScope(chromosome, position)) {
                if (chromosomes_.size() > 1 && !indexConsulted_ && listChromosomesFromIndex()) break;
                continue;
            }
            ++input_.counts.sitesRead;
            if (!readSite(record.get(), chromosome, position, values)) return false;
        }
        if (chromosomes_.size() > 1) {
            return fail("it holds " + std::to_string(chromosomes_.size()) + " chromosomes (" + listOfNames(chromosomes_)
                        + "); choose one with --region CHR or a part with --region CHR:FROM-TO");
        }
        return true;
    }

    // Once a second chromosome shows, the file's index, when there is one,
    // names them all without reading on.
    bool listChromosomesFromIndex()
    {
        indexConsulted_ = true;
        std::vector<std::string> listed;
        if (!listIndexedChromosomes(file_, input_.header.get(), input_.fileName, listed) || listed.size() < 2) {
            return false;
        }
        chromosomes_ = std::move(listed);
        return true;
    }

    bool readSite(bcf1_t* record, const char* chromosome, std::int64_t position, GenotypeValues& gt)
    {
        VcfReadCounts& counts = input_.counts;
        if (record->n_allele > 2) return ++counts.skippedMultiallelic, true;
        if (record->n_allele < 2) return ++counts.skippedNoAlt, true;
        bcf_unpack(record, BCF_UN_STR);
        // An empty ALT field reaches htslib's record as the allele ".".
        const std::string_view alt = record->d.allele[1];
        if (alt.empty() || alt == ".") return ++counts.skippedNoAlt, true;
        // htslib ends the process on a GT it holds as anything but integers.
        const bcf_fmt_t* format = bcf_get_fmt(input_.header.get(), record, "GT");
        if (format == nullptr) return ++counts.skippedNoGenotype, true;
        if (format->type != BCF_BT_INT8 && format->type != BCF_BT_INT16 && format->type != BCF_BT_INT32) {
            return fail("the GT at " + siteName(chromosome, position) + " cannot be read as allele numbers");
        }
        const int total = bcf_get_genotypes(input_.header.get(), record, &gt.values, &gt.capacity);
        if (total <= 0) return ++counts.skippedNoGenotype, true;
        const int width = total / counts.samplesInFile;

        std::string column(chosen_.size(), 'm');
        std::int64_t missing = 0;
        std::size_t firstMissing = chosen_.size();
        bool notDiploid = false;
        for (std::size_t k = 0; k < chosen_.size(); ++k) {
            const GenotypeCall call = readGenotypeCall(gt.values + static_cast<std::size_t>(chosen_[k]) * width, width);
            switch (call.kind) {
            case CallKind::Site:
                column[k] = call.site;
                break;
            case CallKind::Missing:
                if (missing++ == 0) firstMissing = k;
                break;
            case CallKind::NotDiploid:
                notDiploid = true;
                break;
            case CallKind::UnknownAllele:
                return fail("sample " + printable(input_.samples[k]) + " has an allele at "
                            + siteName(chromosome, position)
                            + " that the site does not have (its GT names an allele beyond ALT)");
            }
        }
        if (notDiploid) return ++counts.skippedNotDiploid, true;
        if (missing > 0 && missing == static_cast<std::int64_t>(chosen_.size()) && options_.missing == MissingPolicy::Impute) {
            return ++counts.skippedAllMissing, true;
        }
        if (missing > 0) {
            counts.missingCalls += missing;
            if (options_.missing == MissingPolicy::DropSites) return ++counts.skippedMissing, true;
            if (firstMissingSite_.empty()) {
                firstMissingSite_ = siteName(chromosome, position);
                firstMissingSample_ = printable(input_.samples[firstMissing]);
            }
        }
        return keepSite(record, position, std::move(column));
    }

    bool keepSite(bcf1_t* record, std::int64_t position, std::string column)
    {
        if (!options_.windowed && columns_.size() == static_cast<std::size_t>(kMaxSites)) {
            return fail(describeVcfScope(input_) + " holds more than the " + std::to_string(kMaxSites)
                        + " supported sites (site " + std::to_string(kMaxSites + 1) + " is at "
                        + siteName(input_.chromosome, position)
                        + "); choose a smaller region with --region CHR:FROM-TO");
        }
        const std::uint64_t samples = chosen_.size();
        const int sites = static_cast<int>(columns_.size()) + 1;
        const std::uint64_t held = genotypeTableBytes(static_cast<std::uint64_t>(sites), static_cast<int>(samples))
                                   + genotypeTableBytes(samples, sites);
        if (held > memory_.bytes) {
            return fail("its " + std::to_string(samples) + " samples of " + std::to_string(sites) + " sites in "
                        + describeVcfScope(input_) + " " + describeMemoryShortfall(held, memory_)
                        + "; choose a smaller region with --region CHR:FROM-TO");
        }
        VcfSite site;
        site.position = position;
        site.id = record->d.id != nullptr ? record->d.id : ".";
        const std::string_view ref = record->d.allele[0];
        const std::string_view alt = record->d.allele[1];
        if (!fitsVcfField(input_.chromosome, true) || !fitsVcfField(site.id, true) || !fitsVcfField(ref, false)
            || !fitsVcfField(alt, false)) {
            return fail("the site at " + siteName(input_.chromosome, position)
                        + " has a CHROM, ID, REF or ALT that a VCF line cannot hold: '" + printable(site.id) + "', '"
                        + printable(ref) + "', '" + printable(alt) + "'");
        }
        site.alleles = std::string(ref) + "," + std::string(alt);
        input_.sites.push_back(std::move(site));
        columns_.push_back(std::move(column));
        return true;
    }

    // Each missing call takes, until the phase gives it alleles, the value
    // most samples have at its site (the first of '0', '1', '2' on a tie);
    // the calls are noted by sample.
    void fillMissingCalls()
    {
        input_.missingSites.assign(chosen_.size(), {});
        for (std::size_t s = 0; s < columns_.size(); ++s) {
            std::string& column = columns_[s];
            if (column.find('m') == std::string::npos) continue;
            int seen[3] = {0, 0, 0};
            for (const char c : column) {
                if (c != 'm') ++seen[c - '0'];
            }
            const char common = static_cast<char>('0' + (std::max_element(seen, seen + 3) - seen));
            for (std::size_t k = 0; k < column.size(); ++k) {
                if (column[k] != 'm') continue;
                column[k] = common;
                input_.missingSites[k].push_back(static_cast<int>(s));
            }
        }
        input_.counts.imputedCalls = input_.counts.missingCalls;
    }

    bool applyMissingPolicy()
    {
        VcfReadCounts& counts = input_.counts;
        if (counts.missingCalls == 0 || options_.missing == MissingPolicy::DropSites) return true;
        if (options_.missing == MissingPolicy::Impute) {
            fillMissingCalls();
            return true;
        }
        if (options_.missing == MissingPolicy::Refuse) {
            return fail("sample " + firstMissingSample_ + " has a missing call at " + firstMissingSite_ + " ("
                        + std::to_string(counts.missingCalls)
                        + " missing calls in all); impute them with --missing impute or leave them out with --missing "
                          "drop-sites or --missing drop-samples");
        }
        std::vector<bool> dropped(chosen_.size(), false);
        for (const std::string& column : columns_) {
            for (std::size_t k = 0; k < column.size(); ++k) {
                if (column[k] == 'm') dropped[k] = true;
            }
        }
        std::vector<std::size_t> kept;
        for (std::size_t k = 0; k < dropped.size(); ++k) {
            if (!dropped[k]) kept.push_back(k);
        }
        counts.samplesDroppedMissing = static_cast<int>(chosen_.size() - kept.size());
        if (kept.empty()) return fail("every sample has a missing call in " + describeVcfScope(input_));
        for (std::string& column : columns_) {
            std::string narrowed;
            narrowed.reserve(kept.size());
            for (const std::size_t k : kept) narrowed += column[k];
            column = std::move(narrowed);
        }
        std::vector<std::string> samples;
        for (const std::size_t k : kept) samples.push_back(std::move(input_.samples[k]));
        input_.samples = std::move(samples);
        return true;
    }

    bool buildTable(GenotypeTable& table)
    {
        VcfReadCounts& counts = input_.counts;
        counts.samplesKept = static_cast<int>(input_.samples.size());
        counts.sitesUsed = static_cast<std::int64_t>(columns_.size());
        table.genotypeCount = counts.samplesKept;
        table.length = static_cast<int>(columns_.size());
        table.genotypes.assign(input_.samples.size(), std::string(columns_.size(), '0'));
        for (std::size_t s = 0; s < columns_.size(); ++s) {
            for (std::size_t k = 0; k < table.genotypes.size(); ++k) table.genotypes[k][s] = columns_[s][k];
        }
        columns_.clear();
        std::unordered_set<std::string_view> distinct(table.genotypes.begin(), table.genotypes.end());
        table.distinctCount = static_cast<int>(distinct.size());
        if (!options_.windowed && table.distinctCount > kMaxDistinctGenotypes) {
            return fail(std::to_string(table.distinctCount) + " distinct genotypes in " + describeVcfScope(input_)
                        + ", more than the " + std::to_string(kMaxDistinctGenotypes)
                        + " supported; choose fewer samples with --samples or a smaller region with --region");
        }
        return true;
    }

    std::string describeSites() const
    {
        return std::to_string(input_.counts.sitesRead) + " sites read, " + describeSkippedSites(input_.counts);
    }

    htsFile* file_;
    const VcfOptions& options_;
    const MemoryLimit& memory_;
    VcfInput input_;
    std::string error_;
    std::vector<int> chosen_;            // sample indices in the file, in kept order
    std::vector<std::string> columns_;   // one per used site, one character per chosen sample
    std::vector<std::string> chromosomes_;
    std::unordered_set<std::string> seen_;
    bool indexConsulted_ = false;
    std::string firstMissingSite_;
    std::string firstMissingSample_;
};

} // namespace

GenotypeReadResult readVcfGenotypes(htsFile* file, const std::string& fileName, const VcfOptions& options,
                                    GenotypeTable& table, VcfInput& input, const MemoryLimit& memory)
{
    const QuietHtslib quiet;
    VcfReader reader(file, fileName, options, memory);
    return reader.read(table, input);
}

std::string describeVcfScope(const VcfInput& input)
{
    if (input.region) return "region " + describeRegion(*input.region);
    if (!input.chromosome.empty()) return "chromosome " + printable(input.chromosome);
    return "the file";
}

std::string describeVcfReading(const VcfInput& input)
{
    const VcfReadCounts& counts = input.counts;
    std::string line = input.binary ? "BCF input: " : "VCF input: ";
    line += std::to_string(counts.sitesUsed) + " of " + std::to_string(counts.sitesRead) + " sites used in "
            + describeVcfScope(input) + (counts.throughIndex ? ", found through its index" : "") + " ("
            + describeSkippedSites(counts) + "); ";
    line += std::to_string(counts.samplesKept) + " of " + std::to_string(counts.samplesInFile) + " samples kept";
    const std::string dropped = describeDroppedSamples(counts);
    if (!dropped.empty()) line += " (" + dropped + ")";
    if (counts.imputedCalls > 0) line += "; " + std::to_string(counts.imputedCalls) + " missing calls to impute";
    return line;
}
