#pragma once

#include <string>

// What one run of the search is asked to do, as given on the command line.
struct RunSettings {
    std::string inputFilename;   // genotype file (first argument)
    std::string outputFileName;  // result file (second argument)
    int maxCompTime = 0;         // time limit in seconds; 0: no limit
    int maxIter = 30;            // number of iterations
    int seed = 1;                // seed of the random generator
    int maxStall = 15;           // perturbation attempts without improvement that end an iteration
    bool bound = false;          // --bound: print the lower bound after the search
    bool prove = false;          // --prove S: run the exact check after the search
    int proveSeconds = 0;        // S, its wall-clock limit in seconds; 0: no limit
    int improveSeconds = -1;     // --improve: seconds of the improvement phase (0: no limit); -1: no phase
};

// How the command line was understood.
enum class ParseStatus {
    Filled = 0,          // the settings were filled
    TooFewArguments = 1, // fewer than two file names
    HelpRequested,       // "-h" or "--help" as the first argument
    BadOption,           // an unknown option name, or an option with no value
    BadValue,            // a long option whose value is missing or not what it takes
};

// Fills `settings` from the argument vector (entry 0 is the program name).
// On any status other than Filled the settings are left as they were. On
// BadValue, `error` (when given) receives a one-line message.
ParseStatus parseOptions(int argc, const char* const* argv, RunSettings& settings, std::string* error = nullptr);

// Whole seconds for a long option: decimal digits only, at most INT_MAX.
bool parseWholeSeconds(const char* text, int& seconds);

// The decimal conversion used for option values: leading white space, an
// optional sign, then digits up to the first other character; no digits
// gives 0. Values beyond the 32-bit range saturate.
int parseOptionValue(const char* text);

void printUsage();
void printStartLine(const RunSettings& settings);
