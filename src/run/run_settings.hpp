#pragma once

#include "vcf/vcf_options.hpp"

#include <string>

// What one run of the search is asked to do, as given on the command line.
struct RunSettings {
    std::string inputFilename;   // genotype file (first argument)
    std::string outputFileName;  // result file (second argument)
    int maxCompTime = 0;         // time limit in seconds; 0: no limit
    int maxIter = 30;            // number of iterations
    int seed = 1;                // seed of the random generator
    int maxStall = 15;           // perturbation attempts without improvement that end an iteration
    VcfOptions vcf;              // --missing, --region, --samples: how a VCF or BCF input is read
    std::string haplotypesFile;  // --haplotypes: where the ordinary result file goes as well; empty: nowhere
};

// How the command line was understood.
enum class ParseStatus {
    Filled = 0,          // the settings were filled
    TooFewArguments = 1, // fewer than two file names
    HelpRequested,       // "-h" or "--help" as the first argument
    BadOption,           // an unknown option name, or an option with no value
    BadValue,            // a value that a long option does not take
};

// Fills `settings` from the argument vector (entry 0 is the program name).
// On any status other than Filled the settings are left as they were; on
// BadValue `problem`, when given, receives a one-line message.
ParseStatus parseOptions(int argc, const char* const* argv, RunSettings& settings,
                         std::string* problem = nullptr);

// The decimal conversion used for option values: leading white space, an
// optional sign, then digits up to the first other character; no digits
// gives 0. Values beyond the 32-bit range saturate.
int parseOptionValue(const char* text);

void printUsage();
void printStartLine(const RunSettings& settings);
