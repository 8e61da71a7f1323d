#include "run/run_settings.hpp"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

int parseOptionValue(const char* text)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (std::isspace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    long long value = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    while (std::isdigit(*p)) {
        value = value * 10 + (*p - '0');
        if (value > limit) {
            value = limit;
        }
        ++p;
    }
    return static_cast<int>(negative ? -value : value);
}

bool parseWholeNumber(const char* text, int& seconds)
{
    long long value = 0;
    const char* p = text;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX) return false;
    }
    if (p == text || *p != '\0') return false;
    seconds = static_cast<int>(value);
    return true;
}

namespace {

bool setSeconds(const char* value, int& field, std::string& problem)
{
    if (parseWholeNumber(value, field)) return true;
    problem = std::string("'") + value + "'; it takes whole seconds, 0 for no limit";
    return false;
}

bool setFileName(const char* value, std::string& field, std::string& problem)
{
    if (*value == '\0') {
        problem = "the file name is empty";
        return false;
    }
    field = value;
    return true;
}

const std::vector<OptionSpec> kOptions = {
    {"-t", "N", "0", "time limit in seconds, tested before each iteration; 0: none", "Search",
     [](RunSettings& s, const char* v, std::string&) { s.maxCompTime = parseOptionValue(v); return true; }},
    {"-i", "N", "30; 5 per window of a windowed run", "number of iterations", "Search",
     [](RunSettings& s, const char* v, std::string&) {
         s.maxIter = parseOptionValue(v);
         s.maxIterGiven = true;
         return true;
     }},
    {"-s", "N", "1", "seed of the random generator", "Search",
     [](RunSettings& s, const char* v, std::string&) { s.seed = parseOptionValue(v); return true; }},
    {"-n", "N", "15", "perturbation attempts without improvement that end an iteration", "Search",
     [](RunSettings& s, const char* v, std::string&) { s.maxStall = parseOptionValue(v); return true; }},
    {"--threads", "N", "one thread, one random stream",
     "run the iterations on N threads (0: one per available core); the result is the same for every N, "
     "but differs from a run without the option",
     "Search", [](RunSettings& s, const char* v, std::string& p) {
         if (parseWholeNumber(v, s.threads)) return true;
         p = std::string("'") + v + "'; it takes a whole number, 0 for one per core";
         return false;
     }},

    {"--improve", "S", "no improvement phase",
     "improve the search's best reconstruction for at most S seconds (0: until no move helps)", "After the search",
     [](RunSettings& s, const char* v, std::string& p) { return setSeconds(v, s.improveSeconds, p); }},
    {"--bound", nullptr, "no bound", "print a lower bound on the number of haplotypes and whether it is met",
     "After the search", [](RunSettings& s, const char*, std::string&) { s.bound = true; return true; }},
    {"--prove", "S", "no exact check",
     "run the exact check for at most S seconds (0: no limit): prove the count optimal or find fewer",
     "After the search", [](RunSettings& s, const char* v, std::string& p) {
         if (!setSeconds(v, s.proveSeconds, p)) return false;
         s.prove = true;
         return true;
     }},

    {"--window", "SITES", "100 for VCF and BCF, 0 for a genotype matrix",
     "phase in overlapping windows of SITES sites, each solved on its own and ligated; 0: the whole input as one "
     "instance",
     "Phasing", [](RunSettings& s, const char* v, std::string& p) {
         if (parseWholeNumber(v, s.window)) return true;
         p = std::string("'") + v + "'; it takes a whole number of sites, 0 for one window of every site";
         return false;
     }},
    {"--overlap", "SITES", "half the window",
     "sites that consecutive windows share, fewer than the window's; the phase is joined there", "Phasing",
     [](RunSettings& s, const char* v, std::string& p) {
         if (parseWholeNumber(v, s.overlap)) return true;
         p = std::string("'") + v + "'; it takes a whole number of sites";
         return false;
     }},
    {"--refine", "N", "5",
     "after the ligation, correct each sample's phase against the other samples' haplotypes, N passes; 0: none",
     "Phasing", [](RunSettings& s, const char* v, std::string& p) {
         if (parseWholeNumber(v, s.refinePasses)) return true;
         p = std::string("'") + v + "'; it takes a whole number of passes, 0 for none";
         return false;
     }},
    {"--templates", "K", "256",
     "haplotypes of the other samples that each sample's phase is compared with around each stretch of 64 sites "
     "in the refinement, from 8 to 4096; more are slower and, in cohorts of thousands, more accurate",
     "Phasing", [](RunSettings& s, const char* v, std::string& p) {
         int templates = 0;
         if (parseWholeNumber(v, templates) && templates >= kMinRefineTemplates && templates <= kMaxRefineTemplates) {
             s.refineTemplates = templates;
             return true;
         }
         p = std::string("'") + v + "'; it takes a whole number from 8 to 4096";
         return false;
     }},

    {"--missing", "POLICY", "impute",
     "missing calls in a VCF: impute them from the phase, refuse the input, or leave out the sites (drop-sites) "
     "or the samples (drop-samples) that have one",
     "VCF and BCF input", [](RunSettings& s, const char* v, std::string& p) {
         if (parseMissingPolicy(v, s.vcf.missing)) return true;
         p = std::string("'") + v + "'; it takes impute, refuse, drop-sites or drop-samples";
         return false;
     }},
    {"--region", "CHR[:FROM-TO]", "the whole file",
     "read only this chromosome, or this part of it (1-based, inclusive; also CHR:FROM- and CHR:POS), "
     "through the index when there is one", "VCF and BCF input",
     [](RunSettings& s, const char* v, std::string& p) {
         GenomicRegion region;
         if (parseRegion(v, region)) {
             s.vcf.region = region;
             return true;
         }
         p = std::string("'") + v
             + "'; it takes CHR, CHR:FROM-TO, CHR:FROM- or CHR:POS, 1-based and inclusive with 1 <= FROM <= TO, "
               "e.g. 20:1000000-2000000";
         return false;
     }},
    {"--samples", "FILE", "every sample", "keep only the samples named in FILE, one per line, in the file's order",
     "VCF and BCF input",
     [](RunSettings& s, const char* v, std::string& p) { return setFileName(v, s.vcf.samplesFile, p); }},

    {"--haplotypes", "FILE", "none", "write the result file to FILE as well (useful with a VCF output)", "Output",
     [](RunSettings& s, const char* v, std::string& p) { return setFileName(v, s.haplotypesFile, p); }},
    {"--report", "FILE", "none", "write a JSON account of the run to FILE", "Output",
     [](RunSettings& s, const char* v, std::string& p) { return setFileName(v, s.reportFile, p); }},

    {"-h", nullptr, "", "print this help and exit (first argument only)", "Program", nullptr},
    {"--help", nullptr, "", "the same as -h", "Program", nullptr},
    {"--version", nullptr, "", "print the version and exit (first argument only)", "Program", nullptr},
};

} // namespace

int windowOf(const RunSettings& settings, bool vcfInput)
{
    if (settings.window >= 0) return settings.window;
    return vcfInput ? kDefaultVcfWindow : kDefaultMatrixWindow;
}

RunSettings windowSearchSettings(const RunSettings& settings)
{
    RunSettings window = settings;
    if (!settings.maxIterGiven) window.maxIter = kDefaultWindowIterations;
    return window;
}

int overlapOf(const RunSettings& settings, bool vcfInput)
{
    const int window = windowOf(settings, vcfInput);
    if (window <= 1) return 0;
    return settings.overlap >= 0 ? settings.overlap : window / 2;
}

namespace {

const OptionSpec* findOption(const char* name)
{
    for (const OptionSpec& option : kOptions) {
        if (option.apply != nullptr && std::strcmp(option.name, name) == 0) return &option;
    }
    return nullptr;
}

// What kind of value an option takes, for the message when it is missing.
std::string valueKind(const OptionSpec& option)
{
    const std::string name = option.valueName;
    if (name == "S") return "whole seconds, 0 for no limit";
    if (name == "N") return "a whole number";
    if (name == "POLICY") return "impute, refuse, drop-sites or drop-samples";
    if (name == "FILE") return "a file name";
    if (name == "SITES") return "a whole number of sites";
    return name;
}

// Appends `text` wrapped at 79 columns, each line after the first indented
// by `indent` blanks; the first line starts at column `column`.
void appendWrapped(std::string& out, const std::string& text, std::size_t column, std::size_t indent)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::size_t word = end - start;
        if (column > indent && column + 1 + word > 79) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
        } else if (column > indent) {
            out += ' ';
            ++column;
        }
        out.append(text, start, word);
        column += word;
        start = end + 1;
    }
}

} // namespace

const std::vector<OptionSpec>& optionTable()
{
    return kOptions;
}

ParseStatus parseOptions(int argc, const char* const* argv, RunSettings& settings, std::string* problem)
{
    if (argc >= 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        return ParseStatus::HelpRequested;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        return ParseStatus::VersionRequested;
    }
    if (argc < 3) {
        return ParseStatus::TooFewArguments;
    }
    RunSettings parsed;
    parsed.inputFilename = argv[1];
    parsed.outputFileName = argv[2];
    for (int index = 3; index < argc; ++index) {
        const OptionSpec* option = findOption(argv[index]);
        if (option == nullptr) return ParseStatus::BadOption;
        const char* value = nullptr;
        if (option->valueName != nullptr) {
            if (index + 1 >= argc) {
                // -t, -i, -s and -n without a value show the usage, as ever.
                if (option->name[1] != '-') return ParseStatus::BadOption;
                if (problem != nullptr) *problem = std::string(option->name) + " needs a value: " + valueKind(*option);
                return ParseStatus::BadValue;
            }
            value = argv[++index];
        }
        std::string message;
        if (!option->apply(parsed, value, message)) {
            if (problem != nullptr) *problem = std::string("Bad value for ") + option->name + ": " + message;
            return ParseStatus::BadValue;
        }
    }
    // The overlap must leave each window sites of its own.
    const int window = windowOf(parsed, true);
    if (parsed.overlap >= 0 && window > 0 && parsed.overlap >= window) {
        if (problem != nullptr) {
            *problem = "Bad value for --overlap: '" + std::to_string(parsed.overlap)
                       + "'; it must be smaller than the window (" + std::to_string(window) + " sites)";
        }
        return ParseStatus::BadValue;
    }
    settings = parsed;
    return ParseStatus::Filled;
}

std::string versionLine()
{
    return std::string("velmora ") + VELMORA_VERSION;
}

void printUsage()
{
    std::fputs("Usage: Velmora <inputFilename> <outputFileName> [<options>]\n\n", stdout);
    std::fputs("Possible options are:\n", stdout);
    std::fputs("-t <max computation time> (in sec.)\n", stdout);
    std::fputs("-i <max number of iterations>\n", stdout);
    std::fputs("-s <random seed>\n", stdout);
}

std::string helpText()
{
    std::string out = versionLine() + ": haplotype inference by pure parsimony\n\n";
    out += "Usage: velmora INPUT OUTPUT [options]\n"
           "       velmora -h | --help | --version\n\n";
    appendWrapped(out,
                  "Reads genotypes (sites '0' and '1' homozygous, '2' heterozygous) and searches for the fewest "
                  "haplotypes such that a pair of them explains every genotype; writes the haplotypes and the pairs "
                  "to OUTPUT. The same input, options and seed give the same result.",
                  0, 0);
    out += "\n";
    const char* section = "";
    for (const OptionSpec& option : kOptions) {
        if (std::strcmp(section, option.section) != 0) {
            section = option.section;
            out += "\n";
            out += section;
            out += ":\n";
        }
        std::string head = std::string("  ") + option.name;
        if (option.valueName != nullptr) head += std::string(" ") + option.valueName;
        out += head;
        std::size_t column = head.size();
        const std::size_t indent = 22;
        if (column + 1 >= indent) {
            out += '\n';
            column = 0;
        }
        out.append(indent - column, ' ');
        std::string text = option.help;
        if (*option.defaultValue != '\0') text += std::string(" [") + option.defaultValue + "]";
        appendWrapped(out, text, indent, indent);
        out += '\n';
    }
    out += "\nInput formats (recognised by their content, whatever the file's name):\n";
    out += "  genotype matrix   text: the number of genotypes, the number of sites, then\n"
           "                    the genotypes, strings over 0, 1, 2 separated by white space\n"
           "  VCF, VCF.gz, BCF  one genotype per sample, one site per biallelic site with\n"
           "                    a diploid GT: 0/0 -> 0, 1/1 -> 1, 0/1 and 1/0 -> 2 (a phased\n"
           "                    GT is phased anew); one chromosome, or one --region\n";
    out += "\nOutput formats (chosen by the name of OUTPUT):\n";
    out += "  *.vcf, *.vcf.gz, *.bcf  phased VCF (bgzipped for .vcf.gz) or BCF of a VCF\n"
           "                          input: the input's header and sites, GT phased\n"
           "  any other name          the result file: the haplotype list, then for every\n"
           "                          genotype the pairs of listed haplotypes that explain it\n"
           "  A file is replaced only when complete: an earlier one is never half overwritten.\n";
    out += "\nExit codes:\n"
           "  0         the output was written, or help or version was asked for\n"
           "  1         nothing was written: an input that cannot be read, is malformed or\n"
           "            too large; an output that cannot be written; no iteration run\n"
           "  2         an unknown option, an option without its value, or a bad value\n"
           "  130, 143  interrupted (SIGINT, SIGTERM): the best result so far was written\n";
    out += "\nExample:\n"
           "  velmora genotypes.txt result.txt -s 7 --improve 30 --prove 60\n";
    return out;
}

void printStartLine(const RunSettings& settings)
{
    std::fputs("Starting the computation with maxCompTime=", stdout);
    if (settings.maxCompTime == 0) {
        std::fputs("NO,", stdout);
    } else {
        std::printf("%d sec.,", settings.maxCompTime);
    }
    std::printf(" maxIter=%d, seed=%d\n", settings.maxIter, settings.seed);
}
