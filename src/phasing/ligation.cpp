#include "phasing/ligation.hpp"

#include <cstdlib>
#include <map>

namespace {

// A candidate phase of a sample in a window: its pair, oriented.
struct Option {
    int first = 0;
    int second = 0;
};

// Heterozygous sites of the overlap at which haplotype `first` of window `at`
// equals `reference` of window `from`, minus those where it does not.
int agreement(const std::string& genotype, SiteWindow overlap, const std::string& first, int at,
              const std::string& reference, int from)
{
    int score = 0;
    for (int s = overlap.first; s < overlap.end; ++s) {
        if (genotype[s] != '2') continue;
        score += first[s - at] == reference[s - from] ? 1 : -1;
    }
    return score;
}

// How often haplotype a of one window continues as haplotype b of the next
// in the samples whose join their heterozygous sites decided.
using Continuations = std::map<std::pair<int, int>, int>;

int continuations(const Continuations& counts, int a, int b)
{
    const auto found = counts.find({a, b});
    return found == counts.end() ? 0 : found->second;
}

} // namespace

Ligation ligateWindows(const std::vector<WindowSolution>& windows, const std::vector<std::string>& genotypes)
{
    Ligation ligation;
    const std::size_t samples = genotypes.size();
    ligation.phases.resize(samples);
    ligation.joins.resize(samples);
    std::vector<Option> previous(samples);  // each sample's oriented option in the window before
    std::vector<Option> chosen(samples);
    std::vector<bool> decided(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        ligation.phases[i].first.assign(genotypes[i].size(), '0');
        ligation.phases[i].second.assign(genotypes[i].size(), '0');
    }
    for (std::size_t w = 0; w < windows.size(); ++w) {
        const WindowSolution& window = windows[w];
        const bool hasPrevious = w > 0;
        const SiteWindow before = hasPrevious ? windowOverlap(windows[w - 1].sites, window.sites) : SiteWindow{};
        const bool hasNext = w + 1 < windows.size();
        const SiteWindow after = hasNext ? windowOverlap(window.sites, windows[w + 1].sites) : SiteWindow{};
        Continuations counts;
        for (std::size_t i = 0; i < samples; ++i) {
            const std::string& genotype = genotypes[i];
            const SamplePhase& phase = ligation.phases[i];
            // The pair that agrees best with the phase so far, then with some
            // pair of the next window.
            int bestScore = 0;
            int bestAgreement = 0;
            const std::vector<HaplotypePair>& pairs = pairsOfSample(window, i);
            for (std::size_t o = 0; o < pairs.size(); ++o) {
                const std::string& first = window.haplotypes[pairs[o].first];
                const int agreeing =
                    hasPrevious ? agreement(genotype, before, first, window.sites.first, phase.first, 0) : 0;
                int next = 0;
                if (hasNext) {
                    for (const HaplotypePair& later : pairsOfSample(windows[w + 1], i)) {
                        next = std::max(next, std::abs(agreement(genotype, after, first, window.sites.first,
                                                                 windows[w + 1].haplotypes[later.first],
                                                                 windows[w + 1].sites.first)));
                    }
                }
                const int score = std::abs(agreeing) + next;
                if (o == 0 || score > bestScore) {
                    bestScore = score;
                    bestAgreement = agreeing;
                    chosen[i] = {pairs[o].first, pairs[o].second};
                }
            }
            decided[i] = bestAgreement != 0;
            if (bestAgreement < 0) std::swap(chosen[i].first, chosen[i].second);
            if (hasPrevious && decided[i]) {
                ++counts[{previous[i].first, chosen[i].first}];
                ++counts[{previous[i].second, chosen[i].second}];
            }
        }
        for (std::size_t i = 0; i < samples; ++i) {
            const std::string& genotype = genotypes[i];
            SamplePhase& phase = ligation.phases[i];
            Option& option = chosen[i];
            if (hasPrevious && !decided[i]) {
                // Nothing in the overlap decides: the pairing of haplotypes
                // that the other samples show most often does.
                const Option& p = previous[i];
                const int kept = continuations(counts, p.first, option.first) + continuations(counts, p.second, option.second);
                const int swapped =
                    continuations(counts, p.first, option.second) + continuations(counts, p.second, option.first);
                if (swapped > kept) std::swap(option.first, option.second);
            }
            const std::string& first = window.haplotypes[option.first];
            const std::string& second = window.haplotypes[option.second];
            if (hasPrevious) {
                SampleJoins& joins = ligation.joins[i];
                int het = 0;
                int agreeing = 0;
                for (int s = before.first; s < before.end; ++s) {
                    if (genotype[s] != '2') continue;
                    ++het;
                    agreeing += first[s - window.sites.first] == phase.first[s];
                }
                joins.agreeing += agreeing;
                joins.disagreeing += het - agreeing;
                joins.undecided += het == 0;
            }
            const int from = hasPrevious ? (before.first + before.end) / 2 : window.sites.first;
            for (int s = from; s < window.sites.end; ++s) {
                phase.first[s] = first[s - window.sites.first];
                phase.second[s] = second[s - window.sites.first];
            }
            previous[i] = option;
        }
    }
    return ligation;
}
