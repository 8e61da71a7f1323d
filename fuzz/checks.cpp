#include "checks.hpp"
#include "searched_text.hpp"

#include "data/genotype_table.hpp"
#include "data/memory_budget.hpp"
#include "run/run_settings.hpp"

#include <htslib/hts.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

// Inputs get little memory, so that the memory refusal is reachable.
const MemoryLimit kFuzzMemory{1u << 20, "the fuzzing limit"};

std::string describeTable(const GenotypeTable& t)
{
    std::ostringstream out;
    out << t.genotypeCount << " " << t.length << " " << t.distinctCount << ":";
    for (const std::string& g : t.genotypes) out << " " << g;
    return out.str();
}

std::string checkAcceptedTable(const GenotypeTable& t)
{
    if (t.genotypeCount < 1 || t.length < 1 || t.length > kMaxSites) return "accepted counts out of range";
    if (t.genotypes.size() != static_cast<std::size_t>(t.genotypeCount)) return "genotype count differs from the table";
    std::unordered_set<std::string_view> distinct;
    for (const std::string& g : t.genotypes) {
        if (g.size() != static_cast<std::size_t>(t.length)) return "accepted genotype of the wrong length";
        if (g.find_first_not_of("012") != std::string::npos) return "accepted genotype with a bad site";
        distinct.insert(g);
    }
    if (distinct.size() != static_cast<std::size_t>(t.distinctCount)) return "wrong distinct count";
    if (t.distinctCount > kMaxDistinctGenotypes) return "accepted too many distinct genotypes";
    return {};
}

// Splits at NUL bytes; the program name comes first.
std::vector<std::string> argumentsOf(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments{"velmora"};
    std::string current;
    for (std::size_t i = 0; i < size && arguments.size() < 64; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (!current.empty() && arguments.size() < 64) arguments.push_back(current);
    return arguments;
}

// Option values as the C library reads a decimal long, clamped to int.
int referenceValue(const std::string& text)
{
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// Reads a result file's text back: the haplotypes, then one list of pairs
// per genotype. Returns a fault, or empty.
std::string checkResultText(const std::string& text, const std::vector<std::string>& genotypes, int length)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "BEGIN HAPLOTYPE_LIST") return "no haplotype list";
    std::vector<std::string> haplotypes;
    while (std::getline(in, line) && line != "END HAPLOTYPE_LIST") {
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos) return "bad haplotype line: " + line;
        if (std::atoi(line.c_str()) != static_cast<int>(haplotypes.size()) + 1) return "haplotypes out of order";
        const std::string h = line.substr(colon + 2);
        if (h.size() != static_cast<std::size_t>(length) || h.find_first_not_of("01") != std::string::npos) {
            return "haplotype not fully determined: " + line;
        }
        haplotypes.push_back(h);
    }
    if (haplotypes.empty()) return "no haplotypes";
    for (int skip = 0; skip < 4; ++skip) std::getline(in, line);
    if (line != "BEGIN BEST_RECONSTRUCTION_FOUND") return "no reconstruction block";
    for (std::size_t j = 0; j < genotypes.size(); ++j) {
        if (!std::getline(in, line)) return "missing reconstruction line";
        const std::string& g = genotypes[j];
        int pairs = 0;
        for (std::size_t open = line.find('('); open != std::string::npos; open = line.find('(', open + 1)) {
            int a = 0;
            int b = 0;
            if (std::sscanf(line.c_str() + open, "(%d,%d)", &a, &b) != 2) return "bad pair: " + line;
            if (a < 1 || b < 1 || a > static_cast<int>(haplotypes.size()) || b > static_cast<int>(haplotypes.size())) {
                return "pair out of range: " + line;
            }
            const std::string& x = haplotypes[a - 1];
            const std::string& y = haplotypes[b - 1];
            for (int s = 0; s < length; ++s) {
                const bool fits = g[s] == '2' ? x[s] != y[s] : (x[s] == g[s] && y[s] == g[s]);
                if (!fits) return "pair " + line + " does not explain " + g;
            }
            ++pairs;
        }
        if (pairs == 0) return "genotype " + std::to_string(j + 1) + " (" + g + ") has no pair";
    }
    if (!std::getline(in, line) || line != "END BEST_RECONSTRUCTION_FOUND") return "no end of the reconstruction";
    return {};
}

} // namespace

std::string checkGenotypeReaderInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    GenotypeTable fromText;
    const GenotypeReadResult a = parseGenotypeText(text, "fuzz.txt", fromText, kFuzzMemory);

    GenotypeTable fromStream;
    GenotypeReadResult b;
    const std::size_t chunk = 4 + (size > 0 ? data[0] % 13 : 0);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "r")
                                                                  : std::fopen("/dev/null", "r"),
                                                         &std::fclose);
    if (!file) return {};
    b = readGenotypeStream(file.get(), "fuzz.txt", fromStream, kFuzzMemory, chunk);

    if (a.ok != b.ok || a.error != b.error) return "memory and stream reads disagree: '" + a.error + "' / '" + b.error + "'";
    if (!a.ok) {
        if (a.error.rfind("Error in the genotype file fuzz.txt: ", 0) != 0) return "refusal does not name the file: " + a.error;
        if (a.error.find('\n') != std::string::npos) return "refusal of more than one line";
        if (fromText.genotypeCount != 0 || !fromText.genotypes.empty()) return "a refused read changed the table";
        return {};
    }
    if (describeTable(fromText) != describeTable(fromStream)) return "memory and stream tables differ";
    return checkAcceptedTable(fromText);
}

std::string checkCommandLineInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> arguments = argumentsOf(data, size);
    std::vector<const char*> argv;
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(arguments.size());

    RunSettings settings;
    settings.seed = 12345;  // a mark: the record must stay as it was unless filled
    const ParseStatus status = parseOptions(argc, argv.data(), settings);

    for (const std::string& a : arguments) {
        if (parseOptionValue(a.c_str()) != referenceValue(a)) return "option value differs from strtoll: " + a;
    }
    const bool help = argc >= 2 && (arguments[1] == "-h" || arguments[1] == "--help");
    const bool version = argc >= 2 && arguments[1] == "--version";
    if (help || version || argc < 3) {
        const ParseStatus expected = help      ? ParseStatus::HelpRequested
                                     : version ? ParseStatus::VersionRequested
                                               : ParseStatus::TooFewArguments;
        if (status != expected) return "usage case not recognised";
        return settings.seed == 12345 ? std::string() : "settings changed without a full command line";
    }
    // Whole seconds: digits only (leading zeros too), at most INT_MAX.
    const auto seconds = [](const std::string& value, int& field) {
        if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) return false;
        const std::size_t digits = value.find_first_not_of('0');
        const std::string significant = digits == std::string::npos ? "0" : value.substr(digits);
        if (significant.size() > 10 || std::stoll(significant) > INT_MAX) return false;
        field = static_cast<int>(std::stoll(significant));
        return true;
    };
    RunSettings reference;
    reference.inputFilename = arguments[1];
    reference.outputFileName = arguments[2];
    bool bad = false;
    bool badValue = false;
    for (int i = 3; i < argc && !bad && !badValue; i += 2) {
        const std::string& name = arguments[i];
        if (name == "--bound") {
            reference.bound = true;
            --i;  // no value follows
            continue;
        }
        const bool longWithValue = name == "--prove" || name == "--improve" || name == "--missing" || name == "--region"
                                   || name == "--samples" || name == "--haplotypes" || name == "--report"
                                   || name == "--threads" || name == "--window" || name == "--overlap"
                                   || name == "--refine" || name == "--templates";
        if (longWithValue && i + 1 >= argc) {
            badValue = true;  // the value is missing
            continue;
        }
        if (name.rfind("--", 0) == 0 && i + 1 < argc) {
            const std::string& value = arguments[i + 1];
            if (name == "--prove") {
                badValue = !seconds(value, reference.proveSeconds);
                reference.prove = true;
            } else if (name == "--improve") {
                badValue = !seconds(value, reference.improveSeconds);
            } else if (name == "--threads") {
                badValue = !seconds(value, reference.threads);  // a whole number, as seconds are
            } else if (name == "--window" || name == "--overlap" || name == "--refine") {
                badValue = !seconds(value, name == "--window"    ? reference.window
                                           : name == "--overlap" ? reference.overlap
                                                                 : reference.refinePasses);
            } else if (name == "--templates") {
                int templates = 0;
                badValue = !seconds(value, templates) || templates < 8 || templates > 4096;
                if (!badValue) reference.refineTemplates = templates;
            } else if (name == "--missing") {
                badValue = !parseMissingPolicy(value, reference.vcf.missing);
            } else if (name == "--region") {
                // A position: decimal digits, from 1 to HTS_POS_MAX; 0 when out of range.
                const auto position = [](std::string digits) -> long long {
                    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
                    if (digits.size() > 19) return 0;
                    const unsigned long long v = digits.empty() ? 0 : std::stoull(digits);
                    return v > static_cast<unsigned long long>(HTS_POS_MAX) ? 0 : static_cast<long long>(v);
                };
                // A name without ':' is a whole chromosome; else the name, ':' and
                // POS, FROM-TO or FROM- (the greedy name ends at the last ':').
                static const std::regex stretch("([\\s\\S]+):([0-9]+)(-([0-9]*))?");  // names may hold any byte
                std::smatch m;
                if (value.find(':') == std::string::npos) {
                    badValue = value.empty();
                    if (!badValue) reference.vcf.region = GenomicRegion{value, 1, HTS_POS_MAX};
                } else if (std::regex_match(value, m, stretch)) {
                    const long long from = position(m[2]);
                    const long long to = !m[3].matched ? from : m[4].length() == 0 ? HTS_POS_MAX : position(m[4]);
                    badValue = from < 1 || to < 1 || from > to;
                    if (!badValue) reference.vcf.region = GenomicRegion{m[1], from, to};
                } else {
                    badValue = true;
                }
            } else if (name == "--samples" || name == "--haplotypes" || name == "--report") {
                badValue = value.empty();
                (name == "--samples"      ? reference.vcf.samplesFile
                 : name == "--haplotypes" ? reference.haplotypesFile
                                          : reference.reportFile) = value;
            } else {
                bad = true;
            }
            continue;
        }
        int* field = name == "-t" ? &reference.maxCompTime
                   : name == "-i" ? &reference.maxIter
                   : name == "-s" ? &reference.seed
                   : name == "-n" ? &reference.maxStall
                                  : nullptr;
        if (field == nullptr || i + 1 >= argc) bad = true;
        else *field = referenceValue(arguments[i + 1]);
        if (field == &reference.maxIter) reference.maxIterGiven = true;
    }
    // An overlap must leave each window (100 sites unless given) sites of its own.
    const int window = reference.window >= 0 ? reference.window : 100;
    if (!bad && !badValue && reference.overlap >= 0 && window > 0 && reference.overlap >= window) badValue = true;
    if (badValue) {
        if (status != ParseStatus::BadValue) return "bad option value accepted";
        return settings.seed == 12345 ? std::string() : "settings changed by a bad option value";
    }
    if (bad) {
        if (status != ParseStatus::BadOption) return "bad option accepted";
        return settings.seed == 12345 ? std::string() : "settings changed by a bad command line";
    }
    if (status != ParseStatus::Filled) return "good command line refused";
    if (settings.inputFilename != reference.inputFilename || settings.outputFileName != reference.outputFileName
        || settings.maxCompTime != reference.maxCompTime || settings.maxIter != reference.maxIter
        || settings.seed != reference.seed || settings.maxStall != reference.maxStall
        || settings.bound != reference.bound || settings.prove != reference.prove
        || settings.proveSeconds != reference.proveSeconds || settings.improveSeconds != reference.improveSeconds
        || settings.vcf.missing != reference.vcf.missing || settings.vcf.samplesFile != reference.vcf.samplesFile
        || settings.haplotypesFile != reference.haplotypesFile || settings.reportFile != reference.reportFile
        || settings.threads != reference.threads || settings.window != reference.window
        || settings.overlap != reference.overlap || settings.refinePasses != reference.refinePasses
        || settings.refineTemplates != reference.refineTemplates
        || settings.maxIterGiven != reference.maxIterGiven
        || settings.vcf.region.has_value() != reference.vcf.region.has_value()
        || (settings.vcf.region && (settings.vcf.region->chromosome != reference.vcf.region->chromosome
                                    || settings.vcf.region->from != reference.vcf.region->from
                                    || settings.vcf.region->to != reference.vcf.region->to))) {
        return "settings differ from the arguments";
    }
    return {};
}

std::string checkWholeSearchInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 6) return {};
    const int count = 1 + data[0] % 12;
    const int length = 1 + data[1] % 12;
    if (size < 6 + static_cast<std::size_t>(count) * length) return {};
    RunSettings settings;
    settings.maxIter = 1 + data[2] % 3;
    settings.maxStall = data[3] % 4;
    settings.seed = data[4] | (data[5] << 8);

    std::vector<std::string> genotypes;
    std::string text = std::to_string(count) + " " + std::to_string(length) + "\n";
    const std::uint8_t* site = data + 6;
    for (int g = 0; g < count; ++g) {
        std::string genotype;
        for (int s = 0; s < length; ++s) genotype += static_cast<char>('0' + *site++ % 3);
        genotypes.push_back(genotype);
        text += genotype + "\n";
    }

    const SearchedText searched = searchText(text, settings);
    if (!searched.fault.empty()) return searched.fault;
    const std::string& result = searched.resultText;
    return checkResultText(result, genotypes, length);
}
