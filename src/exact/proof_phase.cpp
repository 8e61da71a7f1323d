#include "exact/proof_phase.hpp"

#include "exact/genotype_masks.hpp"
#include "exact/incompatibility_clique.hpp"
#include "exact/independent_groups.hpp"
#include "exact/instance_reduction.hpp"
#include "exact/lower_bound.hpp"
#include "exact/proof_deadline.hpp"
#include "output/formatted_text.hpp"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace {

// Share of the time limit that the clique's local search may take.
constexpr double kCliqueShare = 0.05;

struct Group {
    std::vector<std::string> genotypes;
    Reconstruction best;
    LowerBound bound;
    int lowerBound = 0;
};

} // namespace

std::string satCallLine(const SatCall& call)
{
    const std::string group = call.group > 0 ? formatted(" of group %d", call.group) : "";
    return formatted("SAT call: %d haplotypes, %d of %d genotypes%s: %s in %.3f sec.\n", call.haplotypes,
                     call.modelGenotypes, call.genotypes, group.c_str(), satAnswerName(call.answer), call.seconds);
}

ProofOutcome runProofPhase(const std::vector<std::string>& genotypes, const Reconstruction& found,
                           const ProofRequest& request, const std::function<void(const std::string&)>& printLine,
                           const std::function<bool()>& interrupted)
{
    ProofDeadline deadline(request.prove ? request.seconds : 0, interrupted);
    ProofOutcome outcome;
    Reconstruction start = found;
    normalizeReconstruction(start);
    outcome.found = static_cast<int>(start.haplotypes.size());
    outcome.searchFound = outcome.found;

    const ReducedInstance reduced = reduceInstance(genotypes);
    outcome.reducedGenotypes = static_cast<int>(reduced.genotypes.size());
    outcome.reducedSites = static_cast<int>(reduced.keptSites.size());
    const auto stop = [&] { return deadline.expired(); };
    const CompatibilityRows allRows = makeCompatibilityRows(makeGenotypeMasks(reduced.genotypes), stop);
    // Cut short, the rows cannot tell the groups apart: one group of all.
    std::vector<std::vector<int>> memberLists;
    if (allRows.complete) {
        memberLists = splitIndependentGroups(allRows);
    } else {
        memberLists.emplace_back(reduced.genotypes.size());
        std::iota(memberLists.back().begin(), memberLists.back().end(), 0);
    }
    outcome.groups = static_cast<int>(memberLists.size());
    const Reconstruction restricted = restrictReconstruction(reduced, start);

    CliqueSearchLimits limits;
    limits.deadline = &deadline;
    if (request.prove && request.seconds > 0) limits.seconds = kCliqueShare * request.seconds / outcome.groups;
    std::vector<Group> groups(memberLists.size());
    for (std::size_t i = 0; i < groups.size(); ++i) {
        Group& group = groups[i];
        group.genotypes = genotypesOfGroup(reduced.genotypes, memberLists[i]);
        group.best = reconstructionOfGroup(restricted, memberLists[i]);
        const GenotypeMasks masks = makeGenotypeMasks(group.genotypes);
        const CompatibilityRows rows = makeCompatibilityRows(masks, stop);
        group.bound = rows.complete ? computeLowerBound(group.genotypes, masks, rows, limits)
                                    : countingBoundOnly(group.genotypes);
        group.lowerBound = group.bound.value();
        outcome.countingBound += group.bound.counting;
        outcome.cliqueBound += group.bound.clique;
        outcome.outsideBound += group.bound.outside();
    }
    int lowerBound = 0;
    for (const Group& group : groups) lowerBound += group.lowerBound;
    printLine(formatted("Lower bound: %d haplotypes (counting: %d, clique: %d, beyond the clique: %d) in %.3f sec.\n",
                        lowerBound, outcome.countingBound, outcome.cliqueBound, outcome.outsideBound,
                        deadline.elapsed()));

    if (request.prove) {
        for (std::size_t i = 0; i < groups.size() && !deadline.expired(); ++i) {
            Group& group = groups[i];
            if (group.lowerBound >= static_cast<int>(group.best.haplotypes.size())) continue;
            const auto onCall = [&](const SatCall& groupCall) {
                SatCall call = groupCall;
                call.group = groups.size() > 1 ? static_cast<int>(i) + 1 : 0;
                outcome.calls.push_back(call);
                printLine(satCallLine(call));
            };
            OptimalityResult result =
                proveOptimality(group.genotypes, group.best, group.bound, deadline, onCall, request.strategy);
            group.best = std::move(result.best);
            group.lowerBound = result.lowerBound;
        }
        printLine(formatted("Exact check: %d SAT calls, %.3f sec.\n", static_cast<int>(outcome.calls.size()),
                            deadline.elapsed()));
    }
    outcome.interrupted = deadline.interruptSeen();
    outcome.timeUp = deadline.timeUp();

    std::vector<Reconstruction> parts;
    int total = 0;
    outcome.lowerBound = 0;
    for (const Group& group : groups) {
        parts.push_back(group.best);
        total += static_cast<int>(group.best.haplotypes.size());
        outcome.lowerBound += group.lowerBound;
    }
    // The reductions alone can merge haplotypes of the search; only the exact
    // check replaces the search's result.
    if (request.prove && total < outcome.found) {
        Reconstruction smaller = expandReconstruction(
            reduced, joinGroupReconstructions(memberLists, parts, static_cast<int>(reduced.genotypes.size())));
        normalizeReconstruction(smaller);
        const std::string fault = findReconstructionFault(genotypes, smaller);
        if (fault.empty()) {
            printLine(formatted("The exact check found a reconstruction with %d haplotypes, fewer than the search's %d.\n",
                                static_cast<int>(smaller.haplotypes.size()), outcome.found));
            outcome.found = static_cast<int>(smaller.haplotypes.size());
            outcome.smaller = std::move(smaller);
        } else {
            printLine("The exact check's reconstruction failed its check (" + fault + "); it is not used.\n");
        }
    }
    if (outcome.lowerBound > outcome.found) outcome.lowerBound = outcome.found;
    outcome.proven = outcome.lowerBound == outcome.found;
    outcome.seconds = deadline.elapsed();
    return outcome;
}

std::string proofVerdictLine(const ProofOutcome& outcome)
{
    if (outcome.proven) return formatted("Proven optimal: %d haplotypes\n", outcome.found);
    return formatted("Not proven optimal: between %d and %d haplotypes\n", outcome.lowerBound, outcome.found);
}
