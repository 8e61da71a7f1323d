#include "data/memory_budget.hpp"


#include <sys/resource.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Room a std::string of `characters` characters takes: the object, and a heap
// block with its allocator header when it is too long for the object itself.
std::uint64_t stringBytes(std::uint64_t characters)
{
    constexpr std::uint64_t kObject = sizeof(std::string);
    constexpr std::uint64_t kInline = 15;
    constexpr std::uint64_t kHeapHeader = 16;
    return characters <= kInline ? kObject : kObject + characters + 1 + kHeapHeader;
}

// The program, its libraries, stack and console buffers.
constexpr std::uint64_t kProgramBytes = 16ull << 20;

void lowerTo(MemoryLimit& limit, std::uint64_t bytes, const char* source)
{
    if (bytes < limit.bytes) {
        limit.bytes = bytes;
        limit.source = source;
    }
}

// The limit of the control group (version 2, then version 1), if any.
bool readCgroupLimit(std::uint64_t& bytes)
{
    for (const char* path : {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
        std::ifstream in(path);
        std::string value;
        if (!(in >> value) || value == "max") continue;
        std::uint64_t parsed = 0;
        if (std::sscanf(value.c_str(), "%" SCNu64, &parsed) == 1 && parsed > 0) {
            bytes = parsed;
            return true;
        }
    }
    return false;
}

} // namespace

MemoryLimit currentMemoryLimit()
{
    MemoryLimit limit;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
        lowerTo(limit, static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize),
                "the physical memory");
    }
    std::uint64_t cgroup = 0;
    if (readCgroupLimit(cgroup)) lowerTo(limit, cgroup, "the memory limit of the control group");
    struct rlimit rl {};
    if (getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) {
        lowerTo(limit, rl.rlim_cur, "the address-space limit (ulimit -v)");
    }
    if (getrlimit(RLIMIT_DATA, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) {
        lowerTo(limit, rl.rlim_cur, "the data-segment limit (ulimit -d)");
    }
    return limit;
}

std::uint64_t programBytes()
{
    return kProgramBytes;
}

std::uint64_t genotypeTableBytes(std::uint64_t genotypeCount, int length)
{
    return genotypeCount * stringBytes(static_cast<std::uint64_t>(length));
}

RunMemory splitRunMemory(std::uint64_t genotypeCount, int distinctCount, int length)
{
    const std::uint64_t n = 2 * static_cast<std::uint64_t>(distinctCount);  // slots
    const std::uint64_t sites = static_cast<std::uint64_t>(length);
    const std::uint64_t bins = sites + 1;
    const std::uint64_t rowWords = (n + 63) / 64;
    const std::uint64_t planeWords = (sites + 63) / 64;
    const std::uint64_t planes = n * 3 * planeWords * sizeof(std::uint64_t);  // one set of site planes
    const std::uint64_t bitmap = n * rowWords * sizeof(std::uint64_t);
    const std::uint64_t histograms = n * bins * sizeof(std::uint16_t) + bins * (rowWords + 1) * sizeof(std::int32_t);
    const std::uint64_t list = n * (stringBytes(sites) + 10 * sizeof(int));

    RunMemory memory;
    // Shared by every search of the run: the program, the genotype table
    // and its map, the initial list, and the initial distances (the
    // compatibility bitmap, the histograms, the planes they were made from).
    memory.shared = kProgramBytes + genotypeTableBytes(genotypeCount, length) + genotypeCount * 2 * sizeof(int);
    memory.shared += bitmap + histograms + planes + list;
    // Each search's own: the working sieve and histograms, the order they
    // follow and its scratch, the planes they compute from; the three lists
    // of the search state and its planes (initial, working list, genotypes)
    // with the working list's determined sites in position order; scratch of
    // the search steps (groups, chains, component index, saved pair records,
    // marks, per-site buffers); and the candidate lists, which depend on the
    // search: inputs whose genotypes share much (few sites, few founders)
    // give each genotype many candidate pairs, and measured peaks stay below
    // one byte per pair of distinct genotypes.
    memory.perSearch = bitmap + histograms + n * 5 * sizeof(int) + rowWords * sizeof(std::uint64_t) + planes;
    memory.perSearch += 3 * list + 3 * planes + n * 2 * planeWords * sizeof(std::uint64_t);
    memory.perSearch += n * 128 + sites * 64;
    // The last computation of the working distances, kept to be taken again
    // by a list with the same live part: its slots, labels and texts, their
    // rows of bins, the histograms and the sieve of its live slots.
    memory.perSearch += bitmap + histograms + n * (sites + 4 * sizeof(int));
    memory.perSearch += static_cast<std::uint64_t>(distinctCount) * static_cast<std::uint64_t>(distinctCount);
    return memory;
}

namespace {

// The stack a thread reserves, counted for every search beyond the first.
constexpr std::uint64_t kThreadStackBytes = std::uint64_t{8} << 20;

} // namespace

std::uint64_t searchesBytes(const RunMemory& memory, int searches)
{
    if (searches < 1) return memory.shared;
    const std::uint64_t k = static_cast<std::uint64_t>(searches);
    return memory.shared + k * memory.perSearch + (k - 1) * kThreadStackBytes;
}

std::uint64_t estimateRunMemory(std::uint64_t genotypeCount, int distinctCount, int length)
{
    return searchesBytes(splitRunMemory(genotypeCount, distinctCount, length), 1);
}

int searchesThatFit(const RunMemory& memory, std::uint64_t limit, int wanted)
{
    int fit = 0;
    while (fit < wanted && searchesBytes(memory, fit + 1) <= limit) ++fit;
    return fit;
}

std::string describeBytes(std::uint64_t bytes)
{
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    if (bytes < 1024) return std::to_string(bytes) + " bytes";
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 5) {
        value /= 1024.0;
        ++unit;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, value < 10.0 ? "%.1f %s" : "%.0f %s", value, kUnits[unit]);
    return buffer;
}

std::string describeMemoryShortfall(std::uint64_t needed, const MemoryLimit& limit)
{
    return "need about " + describeBytes(needed) + " of memory, more than the " + describeBytes(limit.bytes)
           + " available (" + limit.source + ")";
}
