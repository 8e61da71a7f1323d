#include "diag/dumps.hpp"

#include "data/search_state.hpp"
#include "distance/distance_structure.hpp"

#include <cstdio>

namespace {

void dumpList(const HaplotypeList& list)
{
    for (int i = 0; i < list.liveCount; ++i) {
        const int s = list.order[i];
        std::printf("%3d r:%3d c:%1d [%.3e] (%3d) %s \n", i, s, list.mark[s],
                    static_cast<double>(list.weight[s]), list.label[s], list.text[s].c_str());
    }
}

void dumpRecord(const PairRecord& r, const HaplotypeList& list)
{
    std::printf("(%d,%d) vts:[%d] vnc:(%d) sd:{%d} w:[%.3e]**%d**)\n", r.hap1, r.hap2, r.vts, r.vnc,
                r.sd, static_cast<double>(r.w), r.genotype);
    const int s1 = list.order[r.hap1];
    const int s2 = list.order[r.hap2];
    std::printf("(%3d)", s1);
    std::printf("%s\n", list.text[s1].c_str());
    std::printf("(%3d)", s2);
    std::printf("%s\n", list.text[s2].c_str());
}

} // namespace

void dumpCurrentList(const SearchState& state)
{
    std::printf("Current HaploList: \n");
    dumpList(state.current);
}

void dumpBestList(const SearchState& state)
{
    std::printf("Best HaploList: \n");
    dumpList(state.best);
}

void dumpDistanceStructure(const DistanceStructure& distances, const HaplotypeList& current)
{
    const int n = distances.slotCount;
    const int length = distances.length;
    SitePlanes planes;
    fillSitePlanes(planes, current);
    std::printf("Distance structure: \n");
    for (int a = 0; a < n; ++a) {
        std::printf("%3d -", a);
        const std::uint16_t* bins = distances.rowHistogramOf(a);
        for (int d = 0; d <= length; ++d) std::printf("%3d", bins[d]);
        for (int b = 0; b < a; ++b) std::printf("%3d", workingDistance(distances, planes, current.label, a, b));
        std::printf("%3d", distances.diagonalRestored ? 0 : -1);
        std::printf("\n");
    }
    std::printf("     ");
    for (int d = 0; d <= length; ++d) std::printf("%3d", d);
    for (int a = 0; a < n; ++a) std::printf("%3d", a);
    std::printf("\n");
    std::printf("     ");
    for (int d = 0; d <= length; ++d) std::printf("%3d", distances.histogram()[d]);
    std::printf("\n");
}

void dumpPairLists(const HaplotypeList& initial, const SearchState& state)
{
    std::printf("\n\n");
    for (int g = 0; g < initial.slotCount / 2; ++g) {
        std::printf("(%3d)", g);
        std::printf("%s", initial.text[2 * g].c_str());
        const PairRecord* head = state.pairLists[g];
        if (head != nullptr) {
            std::printf(": ");
            for (const PairRecord* r = head; r != nullptr; r = r->next) dumpRecord(*r, state.current);
        }
        std::printf("\n");
    }
}

void dumpBestPairs(const HaplotypeList& initial, const SearchState& state)
{
    std::printf("\n\n");
    for (int g = 0; g < initial.slotCount / 2; ++g) {
        std::printf("(%3d)", g);
        std::printf("%s", initial.text[2 * g].c_str());
        if (static_cast<std::size_t>(g) < state.bestPairs.size()) {
            std::printf(": ");
            dumpRecord(state.bestPairs[g], state.best);
        }
    }
}

void dumpPairArray(const std::vector<PairRecord*>& pairs, int count, const SearchState& state,
                   const HaplotypeList& initial)
{
    const HaplotypeList& current = state.current;
    for (int i = 0; i < count; ++i) {
        const PairRecord& r = *pairs[i];
        std::printf("%3d: (%3d,%3d,[%3d](%3d)[%.3e])\n", r.genotype, r.hap1, r.hap2, r.vts, r.vnc,
                    static_cast<double>(r.w));
        const int s1 = current.order[r.hap1];
        const int s2 = current.order[r.hap2];
        std::printf("%4d ", r.hap1);
        std::printf("%s vI=%d", current.text[s1].c_str(), current.label[s1]);
        std::printf("\n");
        std::printf("%4d ", r.hap2);
        std::printf("%s vI=%d", current.text[s2].c_str(), current.label[s2]);
        std::printf("\n");
        std::printf("%4d ", r.genotype);
        std::printf("%s", initial.text[2 * r.genotype].c_str());
        std::printf("\n");
    }
}
