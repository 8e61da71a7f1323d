#pragma once

#include "exact/proof_phase.hpp"
#include "improve/improvement_phase.hpp"
#include "phasing/windowed_phasing.hpp"
#include "run/run_settings.hpp"
#include "vcf/read_counts.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// What a windowed phasing run did: its windows and how each sample's
// windows joined.
struct PhasingAccount {
    int window = 0;
    int overlap = 0;
    int iterations = 0;  // of each window's search
    std::vector<WindowSummary> windows;
    std::vector<SampleJoins> joins;         // by sample
    MosaicOutcome refinement;               // of --refine
    double refineSeconds = 0.0;
};

// A machine-readable account of one run (--report FILE.json), filled by the
// driver as the run goes and written when it ends, whatever the ending.
struct RunReport {
    std::vector<std::string> commandLine;
    RunSettings settings;

    // The input, once read.
    std::string inputFormat;  // "matrix", "VCF" or "BCF"; empty before the input was read
    int genotypes = -1;
    int distinctGenotypes = -1;
    int sites = -1;
    std::optional<VcfReadCounts> vcf;
    std::vector<std::string> sampleNames;  // of a VCF input, as kept
    std::vector<int> imputedBySample;      // of a VCF input: missing calls imputed, by sample

    int threads = 0;  // workers of the search; 0: one search on the run's single random stream

    // What the phases did.
    std::vector<std::vector<int>> iterations;  // the numbers of each iteration line; -1 for "failed."
    int searchBest = -1;                       // haplotypes of the search's best reconstruction
    std::optional<ImprovementOutcome> improvement;
    std::optional<ProofOutcome> proof;
    std::optional<PhasingAccount> phasing;     // a windowed run
    int resultHaplotypes = -1;                 // haplotypes of the reconstruction written
    std::vector<std::string> filesWritten;
    std::vector<std::pair<std::string, double>> phaseSeconds;  // wall seconds by phase, in order

    int exitStatus = 0;
    int interruptedBy = 0;  // the signal that interrupted the run, or 0
    std::string error;      // the line that explains a refusal or failure
    bool reportFailed = false;  // the report file itself could not be made: no second attempt (not written)
};

// The report as JSON text (one object, two-space indented, ending with a line
// break), with the process's peak memory read at the moment of the call.
std::string composeRunReport(const RunReport& report);
