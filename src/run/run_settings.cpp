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

} // namespace

bool parseWholeSeconds(const char* text, int& seconds)
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

ParseStatus parseOptions(int argc, const char* const* argv, RunSettings& settings, std::string* error)
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
        if (std::strcmp(argv[index], "--bound") == 0) {
            parsed.bound = true;
            --index;  // a flag: no value follows
            continue;
        }
        if (std::strcmp(argv[index], "--prove") == 0) {
            if (index + 1 >= argc || !parseWholeSeconds(argv[index + 1], parsed.proveSeconds)) {
                if (error != nullptr) {
                    *error = index + 1 >= argc ? std::string("--prove needs a value: whole seconds, 0 for no limit")
                                               : "Bad value for --prove: '" + std::string(argv[index + 1])
                                                     + "'; it takes whole seconds, 0 for no limit";
                }
                return ParseStatus::BadValue;
            }
            parsed.prove = true;
            continue;
        }
        if (std::strcmp(argv[index], "--improve") == 0) {
            if (index + 1 >= argc || !parseWholeSeconds(argv[index + 1], parsed.improveSeconds)) {
                if (error != nullptr) {
                    *error = index + 1 >= argc ? std::string("--improve needs a value: whole seconds, 0 for no limit")
                                               : "Bad value for --improve: '" + std::string(argv[index + 1])
                                                     + "'; it takes whole seconds, 0 for no limit";
                }
                return ParseStatus::BadValue;
            }
            continue;
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
