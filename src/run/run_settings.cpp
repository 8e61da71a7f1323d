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

namespace {

// The field an option name sets, or null when the name is none of ours.
int* optionField(const char* name, RunSettings& settings)
{
    if (std::strcmp(name, "-t") == 0) return &settings.maxCompTime;
    if (std::strcmp(name, "-i") == 0) return &settings.maxIter;
    if (std::strcmp(name, "-s") == 0) return &settings.seed;
    if (std::strcmp(name, "-n") == 0) return &settings.maxStall;
    return nullptr;
}

enum class LongOption { Unknown, Set, BadValue };

// Sets the field a long option names ("--missing", "--region", "--samples",
// "--haplotypes"), checking its value strictly.
LongOption setLongOption(const std::string& name, const std::string& value, RunSettings& settings,
                         std::string& problem)
{
    if (name == "--missing") {
        if (parseMissingPolicy(value, settings.vcf.missing)) return LongOption::Set;
        problem = "Bad value for --missing: '" + value + "'; it takes refuse, drop-sites or drop-samples";
        return LongOption::BadValue;
    }
    if (name == "--region") {
        GenomicRegion region;
        if (parseRegion(value, region)) {
            settings.vcf.region = region;
            return LongOption::Set;
        }
        problem = "Bad value for --region: '" + value
                  + "'; it takes CHR:FROM-TO, 1-based and inclusive with 1 <= FROM <= TO, e.g. 20:1000000-2000000";
        return LongOption::BadValue;
    }
    std::string* file = name == "--samples" ? &settings.vcf.samplesFile
                      : name == "--haplotypes" ? &settings.haplotypesFile
                                               : nullptr;
    if (file == nullptr) return LongOption::Unknown;
    if (value.empty()) {
        problem = "Bad value for " + name + ": the file name is empty";
        return LongOption::BadValue;
    }
    *file = value;
    return LongOption::Set;
}

} // namespace

ParseStatus parseOptions(int argc, const char* const* argv, RunSettings& settings, std::string* problem)
{
    if (argc >= 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        return ParseStatus::HelpRequested;
    }
    if (argc < 3) {
        return ParseStatus::TooFewArguments;
    }
    RunSettings parsed;
    parsed.inputFilename = argv[1];
    parsed.outputFileName = argv[2];
    for (int index = 3; index < argc; index += 2) {
        if (std::strncmp(argv[index], "--", 2) == 0 && index + 1 < argc) {
            std::string message;
            switch (setLongOption(argv[index], argv[index + 1], parsed, message)) {
            case LongOption::Set:
                continue;
            case LongOption::BadValue:
                if (problem != nullptr) *problem = message;
                return ParseStatus::BadValue;
            case LongOption::Unknown:
                return ParseStatus::BadOption;
            }
        }
        int* field = optionField(argv[index], parsed);
        if (field == nullptr || index + 1 >= argc) {
            return ParseStatus::BadOption;
        }
        *field = parseOptionValue(argv[index + 1]);
    }
    settings = parsed;
    return ParseStatus::Filled;
}

void printUsage()
{
    std::fputs("Usage: Velmora <inputFilename> <outputFileName> [<options>]\n\n", stdout);
    std::fputs("Possible options are:\n", stdout);
    std::fputs("-t <max computation time> (in sec.)\n", stdout);
    std::fputs("-i <max number of iterations>\n", stdout);
    std::fputs("-s <random seed>\n", stdout);
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
