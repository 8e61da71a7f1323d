#include "data/haplotype_list.hpp"

#include <string_view>
#include <unordered_map>

HaplotypeList createHaplotypeList(int slotCount, int length)
{
    HaplotypeList list;
    list.slotCount = slotCount;
    list.length = length;
    list.liveCount = slotCount;
    const auto n = static_cast<std::size_t>(slotCount);
    list.order.resize(n);
    list.position.resize(n);
    for (int i = 0; i < slotCount; ++i) {
        list.order[i] = i;
        list.position[i] = i;
    }
    list.mark.assign(n, 0);
    list.useCount.assign(n, 0);
    list.useLeft.assign(n, 0);
    list.weight.assign(n, 0.0f);
    list.multiplicity.assign(n, 1);
    list.label.assign(n, 0);
    list.variableBase.assign(n, -1);
    list.isolated.assign(n, 0);
    list.text.assign(n, std::string(static_cast<std::size_t>(length), '2'));
    return list;
}

HaplotypeList buildHaplotypeList(int genotypeCount, int length,
                                 const std::vector<std::string>& genotypes, int distinctCount,
                                 std::vector<int>& genotypeMap)
{
    HaplotypeList list = createHaplotypeList(2 * distinctCount, length);
    genotypeMap.assign(static_cast<std::size_t>(genotypeCount), 0);

    // Distinct genotypes are numbered by first occurrence; a hash lookup
    // finds the same first equal genotype a scan of slots 0, 2, 4, ... would.
    std::unordered_map<std::string_view, int> distinctIndex;
    distinctIndex.reserve(static_cast<std::size_t>(distinctCount));
    int found = 0;
    for (int j = 0; j < genotypeCount; ++j) {
        const std::string& genotype = genotypes[j];
        const auto known = distinctIndex.find(genotype);
        if (known != distinctIndex.end()) {
            const int k = known->second;
            genotypeMap[j] = k;
            ++list.multiplicity[2 * k];
            ++list.multiplicity[2 * k + 1];
            continue;
        }
        list.text[2 * found] = genotype;
        list.text[2 * found + 1] = genotype;
        list.label[2 * found] = found + 1;
        list.label[2 * found + 1] = -(found + 1);
        genotypeMap[j] = found;
        distinctIndex.emplace(genotype, found);
        ++found;
    }
    return list;
}

void copyHaplotypeList(HaplotypeList& destination, const HaplotypeList& source)
{
    destination.liveCount = source.liveCount;
    destination.order = source.order;
    destination.position = source.position;
    destination.mark = source.mark;
    destination.useCount = source.useCount;
    destination.useLeft = source.useLeft;
    destination.weight = source.weight;
    destination.multiplicity = source.multiplicity;
    destination.label = source.label;
    destination.variableBase = source.variableBase;
    destination.isolated = source.isolated;
    destination.text = source.text;
}
