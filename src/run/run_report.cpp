#include "run/run_report.hpp"

#include "run/interruption.hpp"

#include <nlohmann/json.hpp>

#include <sys/resource.h>

namespace {

using nlohmann::json;

// The process's peak resident memory in bytes; 0 when unknown.
long long peakMemoryBytes()
{
    struct rusage usage {};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<long long>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
}

json optionalSeconds(bool given, int seconds)
{
    return given ? json(seconds) : json(nullptr);
}

json settingsJson(const RunSettings& s)
{
    return {
        {"input_file", s.inputFilename},
        {"output_file", s.outputFileName},
        {"seed", s.seed},
        {"max_iterations", s.maxIter},
        {"max_stall", s.maxStall},
        {"time_limit_seconds", s.maxCompTime},
        {"threads", s.threads >= 0 ? json(s.threads) : json(nullptr)},
        {"improve_seconds", optionalSeconds(s.improveSeconds >= 0, s.improveSeconds)},
        {"bound", s.bound},
        {"prove_seconds", optionalSeconds(s.prove, s.proveSeconds)},
        {"window", s.window >= 0 ? json(s.window) : json(nullptr)},
        {"overlap", s.overlap >= 0 ? json(s.overlap) : json(nullptr)},
        {"refine_passes", s.refinePasses},
        {"refine_templates", s.refineTemplates},
        {"missing", missingPolicyName(s.vcf.missing)},
        {"region", s.vcf.region ? json(describeRegion(*s.vcf.region)) : json(nullptr)},
        {"samples_file", s.vcf.samplesFile.empty() ? json(nullptr) : json(s.vcf.samplesFile)},
        {"haplotypes_file", s.haplotypesFile.empty() ? json(nullptr) : json(s.haplotypesFile)},
        {"report_file", s.reportFile},
    };
}

json vcfJson(const VcfReadCounts& c)
{
    return {
        {"sites_read", c.sitesRead},
        {"sites_used", c.sitesUsed},
        {"sites_skipped",
         {{"total", c.sitesSkipped()},
          {"more_than_one_alt", c.skippedMultiallelic},
          {"no_alt", c.skippedNoAlt},
          {"no_genotype", c.skippedNoGenotype},
          {"not_diploid", c.skippedNotDiploid},
          {"missing_call", c.skippedMissing},
          {"every_call_missing", c.skippedAllMissing}}},
        {"imputed_calls", c.imputedCalls},
        {"samples_in_file", c.samplesInFile},
        {"samples_kept", c.samplesKept},
        {"samples_dropped", {{"not_listed", c.samplesNotListed}, {"missing_call", c.samplesDroppedMissing}}},
        {"through_index", c.throughIndex},
    };
}

json improvementJson(const ImprovementOutcome& o)
{
    return {
        {"start_haplotypes", o.startCount},
        {"final_haplotypes", o.finalCount},
        {"saved_by", {{"elimination", o.savedByElimination},
                      {"exchange", o.savedByExchange},
                      {"neighbourhoods", o.savedByNeighbourhoods},
                      {"exact_descent", o.savedByDescent}}},
        {"rounds", o.rounds},
        {"seconds", o.seconds},
        {"time_up", o.timedOut},
        {"interrupted", o.interrupted},
    };
}

json proofJson(const ProofOutcome& o, bool exactCheck)
{
    json calls = json::array();
    for (const SatCall& call : o.calls) {
        calls.push_back({{"haplotypes", call.haplotypes},
                         {"model_genotypes", call.modelGenotypes},
                         {"genotypes", call.genotypes},
                         {"group", call.group},
                         {"answer", satAnswerName(call.answer)},
                         {"seconds", call.seconds}});
    }
    return {
        {"exact_check", exactCheck},
        {"lower_bound", o.lowerBound},
        {"counting_bound", o.countingBound},
        {"clique_bound", o.cliqueBound},
        {"haplotypes", o.found},
        {"proven_optimal", o.proven},
        {"found_fewer", o.smaller.has_value()},
        {"sat_calls", calls},
        {"reduced_genotypes", o.reducedGenotypes},
        {"reduced_sites", o.reducedSites},
        {"independent_groups", o.groups},
        {"seconds", o.seconds},
        {"time_up", o.timeUp},
        {"interrupted", o.interrupted},
    };
}

json phasingJson(const PhasingAccount& a, const std::vector<std::string>& sampleNames)
{
    json windows = json::array();
    for (const WindowSummary& w : a.windows) {
        windows.push_back({{"first_site", w.sites.first + 1},
                           {"last_site", w.sites.end},
                           {"distinct_genotypes", w.distinctGenotypes},
                           {"search_haplotypes", w.searchHaplotypes},
                           {"haplotypes", w.haplotypes},
                           {"lower_bound", w.lowerBound ? json(*w.lowerBound) : json(nullptr)},
                           {"proven_optimal", w.provenOptimal},
                           {"search_failed", w.searchFailed},
                           {"seconds", w.seconds}});
    }
    json samples = json::array();
    for (std::size_t i = 0; i < a.joins.size(); ++i) {
        const SampleJoins& j = a.joins[i];
        samples.push_back({{"sample", i < sampleNames.size() ? json(sampleNames[i]) : json(i + 1)},
                           {"overlap_het_sites_agreeing", j.agreeing},
                           {"overlap_het_sites_disagreeing", j.disagreeing},
                           {"joins_without_het_site", j.undecided}});
    }
    return {{"window", a.window},
            {"overlap", a.overlap},
            {"iterations", a.iterations},
            {"windows", windows},
            {"samples", samples},
            {"refinement",
             {{"passes", a.refinement.passes},
              {"sites_flipped", a.refinement.flips},
              {"continuations_swapped", a.refinement.swaps},
              {"seconds", a.refineSeconds}}}};
}

// Each iteration's printed numbers; null for an attempt that failed.
json iterationsJson(const std::vector<std::vector<int>>& iterations)
{
    json lines = json::array();
    for (const std::vector<int>& numbers : iterations) {
        json line = json::array();
        for (const int n : numbers) line.push_back(n >= 0 ? json(n) : json(nullptr));
        lines.push_back(line);
    }
    return lines;
}

json countOrNull(int value)
{
    return value >= 0 ? json(value) : json(nullptr);
}

} // namespace

std::string composeRunReport(const RunReport& r)
{
    json input = nullptr;
    if (!r.inputFormat.empty()) {
        input = {
            {"file", r.settings.inputFilename},
            {"format", r.inputFormat},
            {"genotypes", r.genotypes},
            {"distinct_genotypes", r.distinctGenotypes},
            {"sites", r.sites},
        };
        if (r.vcf) {
            input["vcf"] = vcfJson(*r.vcf);
            json imputed = json::array();
            for (std::size_t i = 0; i < r.imputedBySample.size(); ++i) {
                if (r.imputedBySample[i] > 0) imputed.push_back({{"sample", r.sampleNames[i]}, {"calls", r.imputedBySample[i]}});
            }
            input["vcf"]["imputed_calls_by_sample"] = imputed;
        }
    }
    json phases = json::object();
    for (const auto& [name, seconds] : r.phaseSeconds) phases[name] = seconds;
    const json report = {
        {"program", "velmora"},
        {"version", VELMORA_VERSION},
        {"command_line", r.commandLine},
        {"settings", settingsJson(r.settings)},
        {"input", input},
        {"threads_used", r.threads},
        {"iterations", iterationsJson(r.iterations)},
        {"search_best_haplotypes", countOrNull(r.searchBest)},
        {"improvement", r.improvement ? improvementJson(*r.improvement) : json(nullptr)},
        {"bound", r.proof ? proofJson(*r.proof, r.settings.prove) : json(nullptr)},
        {"phasing", r.phasing ? phasingJson(*r.phasing, r.sampleNames) : json(nullptr)},
        {"result_haplotypes", countOrNull(r.resultHaplotypes)},
        {"files_written", r.filesWritten},
        {"phase_seconds", phases},
        {"peak_memory_bytes", peakMemoryBytes()},
        {"exit_status", r.exitStatus},
        {"interrupted", r.interruptedBy != 0},
        {"interrupt_signal", r.interruptedBy != 0 ? json(signalName(r.interruptedBy)) : json(nullptr)},
        {"error", r.error.empty() ? json(nullptr) : json(r.error)},
    };
    return report.dump(2) + "\n";
}
