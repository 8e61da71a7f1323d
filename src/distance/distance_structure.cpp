#include "distance/distance_structure.hpp"

#include "data/site_planes.hpp"

#include <algorithm>

namespace {

// The slot distance of slots a and b from their site planes: -1 when some
// site holds '0' against '1', or '2' in both while their labels are opposite;
// otherwise the number of sites where exactly one of the two is undetermined.
int planeDistance(const SitePlanes& planes, int a, int b, bool oppositeLabels)
{
    const std::uint64_t* zeroA = planes.zeroOf(a);
    const std::uint64_t* oneA = planes.oneOf(a);
    const std::uint64_t* openA = planes.openOf(a);
    const std::uint64_t* zeroB = planes.zeroOf(b);
    const std::uint64_t* oneB = planes.oneOf(b);
    const std::uint64_t* openB = planes.openOf(b);
    int count = 0;
    for (int w = 0; w < planes.words; ++w) {
        if (((zeroA[w] & oneB[w]) | (oneA[w] & zeroB[w])) != 0) return -1;
        if (oppositeLabels && (openA[w] & openB[w]) != 0) return -1;
        count += __builtin_popcountll(openA[w] ^ openB[w]);
    }
    return count;
}

void setBit(std::uint64_t* row, int b)
{
    row[b / 64] |= std::uint64_t{1} << (b % 64);
}

void clearBit(std::uint64_t* row, int b)
{
    row[b / 64] &= ~(std::uint64_t{1} << (b % 64));
}

} // namespace

DistanceStructure createDistanceStructure(const HaplotypeList& initial)
{
    DistanceStructure distances;
    distances.slotCount = initial.slotCount;
    distances.length = initial.length;
    distances.wordsPerRow = (initial.slotCount + 63) / 64;
    const std::size_t cells = DistanceStructure::rowStart(initial.slotCount);
    const std::size_t bins = static_cast<std::size_t>(initial.slotCount) * distances.binsPerRow();
    const std::size_t bitmap = static_cast<std::size_t>(initial.slotCount) * distances.wordsPerRow;
    distances.initialDistance.resize(cells);
    distances.distance.resize(cells);
    distances.initialRowHistogram.resize(bins);
    distances.rowHistogram.resize(bins);
    distances.initialHistogram.resize(distances.binsPerRow());
    distances.histogram.resize(distances.binsPerRow());
    distances.initialCompatible.resize(bitmap);
    distances.compatible.resize(bitmap);
    clearInitialDistances(distances);
    computeInitialDistances(distances, initial);
    return distances;
}

void clearInitialDistances(DistanceStructure& distances)
{
    std::fill(distances.initialDistance.begin(), distances.initialDistance.end(), 0);
    std::fill(distances.initialRowHistogram.begin(), distances.initialRowHistogram.end(), 0);
    std::fill(distances.initialHistogram.begin(), distances.initialHistogram.end(), 0);
    std::fill(distances.initialCompatible.begin(), distances.initialCompatible.end(), 0);
}

void clearDistances(DistanceStructure& distances)
{
    std::fill(distances.distance.begin(), distances.distance.end(), -1);
    std::fill(distances.rowHistogram.begin(), distances.rowHistogram.end(), 0);
    std::fill(distances.histogram.begin(), distances.histogram.end(), 0);
    std::fill(distances.compatible.begin(), distances.compatible.end(), 0);
}

void computeInitialDistances(DistanceStructure& distances, const HaplotypeList& list)
{
    SitePlanes planes;
    fillSitePlanes(planes, list);
    const std::size_t words = static_cast<std::size_t>(distances.wordsPerRow);
    for (int a = 0; a < list.slotCount; ++a) {
        std::int16_t* row = distances.initialDistanceRow(a);
        std::int32_t* rowBins = distances.initialRowHistogramOf(a);
        for (int b = 0; b < a; ++b) {
            const int d = planeDistance(planes, a, b, list.label[a] == -list.label[b]);
            row[b] = static_cast<std::int16_t>(d);
            if (d >= 0) {
                ++distances.initialHistogram[d];
                ++rowBins[d];
                setBit(distances.initialCompatible.data() + a * words, b);
                setBit(distances.initialCompatible.data() + b * words, a);
            }
        }
    }
}

void computeDistances(DistanceStructure& distances, const HaplotypeList& list)
{
    clearDistances(distances);
    SitePlanes& planes = distances.planes;
    resizeSitePlanes(planes, list.slotCount, list.length);
    // Each pair of live slots once, in the row of the larger slot; taken in
    // slot order so that rows and planes are read front to back.
    std::vector<int>& live = distances.liveSlots;
    live.assign(list.order.begin(), list.order.begin() + list.liveCount);
    std::sort(live.begin(), live.end());
    for (const int s : live) refreshSitePlanes(planes, s, list.text[s].data(), list.length);
    for (std::size_t i = 0; i < live.size(); ++i) {
        const int a = live[i];
        std::int16_t* row = distances.distanceRow(a);
        std::int32_t* rowBins = distances.rowHistogramOf(a);
        std::uint64_t* compatibleA = distances.compatibleRow(a);
        for (std::size_t j = 0; j < i; ++j) {
            const int b = live[j];
            const int d = planeDistance(planes, a, b, list.label[a] == -list.label[b]);
            row[b] = static_cast<std::int16_t>(d);
            if (d >= 0) {
                ++distances.histogram[d];
                ++rowBins[d];
                setBit(compatibleA, b);
                setBit(distances.compatibleRow(b), a);
            }
        }
    }
}

void restoreDistances(DistanceStructure& distances)
{
    distances.distance = distances.initialDistance;
    distances.rowHistogram = distances.initialRowHistogram;
    distances.histogram = distances.initialHistogram;
    distances.compatible = distances.initialCompatible;
}

void setWorkingDistance(DistanceStructure& distances, int a, int b, int d)
{
    const int hi = std::max(a, b);
    const int lo = std::min(a, b);
    std::int16_t& entry = distances.distanceRow(hi)[lo];
    std::int32_t* rowBins = distances.rowHistogramOf(hi);
    if (entry >= 0) {
        --rowBins[entry];
        --distances.histogram[entry];
    }
    entry = static_cast<std::int16_t>(d);
    if (d >= 0) {
        ++rowBins[d];
        ++distances.histogram[d];
        setBit(distances.compatibleRow(hi), lo);
        setBit(distances.compatibleRow(lo), hi);
    } else {
        clearBit(distances.compatibleRow(hi), lo);
        clearBit(distances.compatibleRow(lo), hi);
    }
}
