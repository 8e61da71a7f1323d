#include "distance/distance_structure.hpp"

#include <algorithm>

int slotDistance(const char* s, const char* t, int length, int la, int lb)
{
    const bool opposite = (la == -lb);
    int count = 0;
    for (int k = 0; k < length; ++k) {
        const char x = s[k];
        const char y = t[k];
        if (x == '2') {
            if (y == '2') {
                if (opposite) return -1;
            } else {
                ++count;
            }
        } else if (y == '2') {
            ++count;
        } else if (x != y) {
            return -1;
        }
    }
    return count;
}

DistanceStructure createDistanceStructure(const HaplotypeList& initial)
{
    DistanceStructure distances;
    distances.slotCount = initial.slotCount;
    distances.length = initial.length;
    const std::size_t cells = DistanceStructure::rowStart(initial.slotCount);
    const std::size_t bins = static_cast<std::size_t>(initial.slotCount) * distances.binsPerRow();
    distances.initialDistance.resize(cells);
    distances.distance.resize(cells);
    distances.initialRowHistogram.resize(bins);
    distances.rowHistogram.resize(bins);
    distances.initialHistogram.resize(distances.binsPerRow());
    distances.histogram.resize(distances.binsPerRow());
    clearInitialDistances(distances);
    computeInitialDistances(distances, initial);
    return distances;
}

void clearInitialDistances(DistanceStructure& distances)
{
    std::fill(distances.initialDistance.begin(), distances.initialDistance.end(), 0);
    std::fill(distances.initialRowHistogram.begin(), distances.initialRowHistogram.end(), 0);
    std::fill(distances.initialHistogram.begin(), distances.initialHistogram.end(), 0);
}

void clearDistances(DistanceStructure& distances)
{
    std::fill(distances.distance.begin(), distances.distance.end(), -1);
    std::fill(distances.rowHistogram.begin(), distances.rowHistogram.end(), 0);
    std::fill(distances.histogram.begin(), distances.histogram.end(), 0);
}

void computeInitialDistances(DistanceStructure& distances, const HaplotypeList& list)
{
    const int n = list.slotCount;
    for (int a = 0; a < n; ++a) {
        std::int16_t* row = distances.initialDistanceRow(a);
        std::int32_t* rowBins = distances.initialRowHistogramOf(a);
        const char* textA = list.text[a].data();
        for (int b = 0; b < a; ++b) {
            const int d = slotDistance(textA, list.text[b].data(), list.length, list.label[a],
                                       list.label[b]);
            row[b] = static_cast<std::int16_t>(d);
            if (d >= 0) {
                ++distances.initialHistogram[d];
                ++rowBins[d];
            }
        }
    }
}

void computeDistances(DistanceStructure& distances, const HaplotypeList& list)
{
    clearDistances(distances);
    for (int p = 0; p < list.liveCount; ++p) {
        const int a = list.order[p];
        std::int16_t* row = distances.distanceRow(a);
        std::int32_t* rowBins = distances.rowHistogramOf(a);
        const char* textA = list.text[a].data();
        for (int q = 0; q < list.liveCount; ++q) {
            const int b = list.order[q];
            if (b >= a) continue;
            const int d = slotDistance(textA, list.text[b].data(), list.length, list.label[a],
                                       list.label[b]);
            row[b] = static_cast<std::int16_t>(d);
            if (d >= 0) {
                ++distances.histogram[d];
                ++rowBins[d];
            }
        }
    }
}

void restoreDistances(DistanceStructure& distances)
{
    distances.distance = distances.initialDistance;
    distances.rowHistogram = distances.initialRowHistogram;
    distances.histogram = distances.initialHistogram;
}
