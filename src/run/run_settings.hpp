#pragma once

#include "vcf/vcf_options.hpp"

#include <string>
#include <vector>

// What one run of the search is asked to do, as given on the command line.
struct RunSettings {
    std::string inputFilename;   // genotype file (first argument)
    std::string outputFileName;  // result file (second argument)
    int maxCompTime = 0;         // time limit in seconds; 0: no limit
    int maxIter = 30;            // number of iterations
    bool maxIterGiven = false;   // -i was given: a windowed run searches each window with it too
    int seed = 1;                // seed of the random generator
    int maxStall = 15;           // perturbation attempts without improvement that end an iteration

    // After the search.
    int improveSeconds = -1;     // --improve S: seconds of the improvement phase (0: no limit); -1: no phase
    bool bound = false;          // --bound: print the lower bound after the search
    bool prove = false;          // --prove S: run the exact check after the search
    int proveSeconds = 0;        // S, its wall-clock limit in seconds; 0: no limit

    // How the iterations run.
    int threads = -1;            // --threads N: workers (0: one per available core); -1: one search, one stream

    // Phasing a VCF or BCF input in windows of sites.
    int window = -1;             // --window SITES: sites per window (0: the whole input as one); -1: the input's default
    int overlap = -1;            // --overlap SITES: sites shared by consecutive windows; -1: half the window
    int refinePasses = 5;        // --refine N: passes of the correction against the other samples' haplotypes
    int refineTemplates = 256;   // --templates K: the other haplotypes each sample is compared with per block

    // Input and output.
    VcfOptions vcf;              // --missing, --region, --samples: how a VCF or BCF input is read
    std::string haplotypesFile;  // --haplotypes: where the ordinary result file goes as well; empty: nowhere
    std::string reportFile;      // --report: where the JSON account of the run goes; empty: nowhere
};

// The range of --templates.
constexpr int kMinRefineTemplates = 8;
constexpr int kMaxRefineTemplates = 4096;

// The window of a VCF or BCF input when --window is not given, and of a
// genotype matrix (0: the whole input as one instance).
constexpr int kDefaultVcfWindow = 100;
constexpr int kDefaultMatrixWindow = 0;

// Iterations of each window's search when -i is not given: a window is a
// small instance, and the correction after the ligation gains more from the
// time than further iterations do.
constexpr int kDefaultWindowIterations = 5;

// The window and overlap a run uses: the settings' values, or the defaults
// for the kind of input; the overlap is at most window - 1.
int windowOf(const RunSettings& settings, bool vcfInput);
int overlapOf(const RunSettings& settings, bool vcfInput);

// The settings of the search of one window: -i as given, or
// kDefaultWindowIterations.
RunSettings windowSearchSettings(const RunSettings& settings);

// How the command line was understood.
enum class ParseStatus {
    Filled = 0,          // the settings were filled
    TooFewArguments = 1, // fewer than two file names
    HelpRequested,       // "-h" or "--help" as the first argument
    VersionRequested,    // "--version" as the first argument
    BadOption,           // an unknown option name, or an option with no value
    BadValue,            // a value that a long option does not take
};

// One option of the command line: how it is written, what it sets, and its
// help. Every option the parser accepts is an entry of optionTable(), and
// the help lists the table, so no option can lack its help line.
struct OptionSpec {
    const char* name;          // "-t", "--prove"
    const char* valueName;     // "N", "S", "FILE"; null for an option without value
    const char* defaultValue;  // what holds without the option
    const char* help;          // one sentence
    const char* section;       // the heading it is listed under
    // Sets the option in `settings` from its value (null for an option
    // without value). False when the value is not one the option takes; then
    // `problem` says why, in what follows "Bad value for NAME: ".
    bool (*apply)(RunSettings& settings, const char* value, std::string& problem);
};

const std::vector<OptionSpec>& optionTable();

// Fills `settings` from the argument vector (entry 0 is the program name):
// the two file names, then options, each followed by its value when it takes
// one. "-h", "--help" and "--version" are taken as the first argument only.
// On any status other than Filled the settings are left as they were; on
// BadValue `problem`, when given, receives a one-line message.
ParseStatus parseOptions(int argc, const char* const* argv, RunSettings& settings,
                         std::string* problem = nullptr);

// The decimal conversion used for the values of -t, -i, -s and -n: leading
// white space, an optional sign, then digits up to the first other
// character; no digits gives 0. Values beyond the 32-bit range saturate.
int parseOptionValue(const char* text);

// A whole number for a long option (seconds, threads): decimal digits only,
// at most INT_MAX.
bool parseWholeNumber(const char* text, int& value);

// "velmora X.Y.Z", the version of the build.
std::string versionLine();

// The short usage printed for too few arguments or a bad option.
void printUsage();
// The whole help, for -h and --help.
std::string helpText();
void printStartLine(const RunSettings& settings);
