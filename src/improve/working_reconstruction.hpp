#pragma once

#include "data/site_planes.hpp"
#include "output/reconstruction.hpp"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// A reconstruction in the form the improvement moves change it: genotypes and
// haplotypes packed 64 sites to a word, haplotypes found by their bits, and
// for every haplotype the genotypes whose pair uses it.
//
// A haplotype keeps its id for the whole phase; one that no pair uses any
// more is retired (dead) and its bits stay, so that ids never move. The
// changes of a move can be logged and rolled back.
struct WorkingReconstruction {
    int length = 0;  // sites
    int words = 0;   // 64-bit words per genotype or haplotype

    // Distinct genotypes, one slot of planes each: the sites homozygous for
    // '0', for '1', and the heterozygous sites.
    int genotypeCount = 0;
    SitePlanes genotypePlanes;
    std::vector<std::string> genotypeTexts;

    // Haplotypes by id, `words` words each.
    std::vector<std::uint64_t> bits;
    std::vector<char> alive;
    std::vector<std::vector<int>> users;  // genotypes whose pair uses the haplotype (once each)
    std::unordered_map<std::string, int> idOfBits;  // alive haplotypes only
    int aliveCount() const { return static_cast<int>(idOfBits.size()); }

    std::vector<HaplotypePair> pairs;  // by genotype, ids of alive haplotypes

    // The log of a move under trial: pairs as they were, haplotypes added
    // and retired since the trial began.
    bool logging = false;
    std::vector<std::pair<int, HaplotypePair>> loggedPairs;
    std::vector<int> loggedAdded, loggedRetired;
};

// Packs a string of '0', '1' (and '2') into words: bit s set for a '1'.
void packSites(const std::string& text, std::vector<std::uint64_t>& out);

// The bytes of `words` words of haplotype bits, as a key of idOfBits, and
// the words of such a key.
std::string bitsKey(const std::uint64_t* bits, int words);
inline const std::uint64_t* keyWords(const std::string& key)
{
    return reinterpret_cast<const std::uint64_t*>(key.data());
}
std::string unpackSites(const std::uint64_t* bits, int length);

WorkingReconstruction makeWorkingReconstruction(const std::vector<std::string>& genotypes,
                                                const Reconstruction& reconstruction);

// The alive haplotypes in ascending order of text, each genotype's pair
// renumbered (first <= second).
Reconstruction extractReconstruction(const WorkingReconstruction& working);

inline const std::uint64_t* haplotypeBits(const WorkingReconstruction& w, int id)
{
    return w.bits.data() + static_cast<std::size_t>(id) * w.words;
}

// Whether haplotype `id` carries the genotype's allele at every homozygous site.
bool haplotypeFits(const WorkingReconstruction& w, int genotype, int id);
bool bitsFit(const WorkingReconstruction& w, int genotype, const std::uint64_t* bits);

// The haplotype that completes `bits` to the genotype (complement at the
// heterozygous sites), into `out`.
void mateBits(const WorkingReconstruction& w, int genotype, const std::uint64_t* bits, std::uint64_t* out);

// The alive haplotype with these bits, or -1.
int findHaplotype(const WorkingReconstruction& w, const std::uint64_t* bits);

// The alive haplotype with these bits, added when there is none.
int addHaplotype(WorkingReconstruction& w, const std::uint64_t* bits);

// Gives the genotype the pair (a, b), keeping the users up to date. A
// haplotype left without users stays alive until retireUnused.
void setPair(WorkingReconstruction& w, int genotype, int a, int b);

// Retires a haplotype that no pair uses. Returns whether it was retired.
bool retireUnused(WorkingReconstruction& w, int id);

// Starts logging changes; commitTrial forgets them, rollbackTrial undoes them.
void beginTrial(WorkingReconstruction& w);
void commitTrial(WorkingReconstruction& w);
void rollbackTrial(WorkingReconstruction& w);

// The first inconsistency (a pair that does not explain its genotype, a dead
// haplotype in use, users out of step, an unused alive haplotype), or empty.
std::string findWorkingFault(const WorkingReconstruction& w);

// The pair of alive haplotypes that explains the genotype without using a
// haplotype for which `excluded` holds, preferring the pair whose haplotypes
// explain the most genotypes (the first such pair by id wins ties). Returns
// false when there is none.
template <typename Excluded>
bool bestExistingPair(const WorkingReconstruction& w, int genotype, Excluded excluded, HaplotypePair& found)
{
    std::vector<std::uint64_t> mate(static_cast<std::size_t>(w.words));
    long bestSupport = -1;
    for (int a = 0; a < static_cast<int>(w.alive.size()); ++a) {
        if (!w.alive[a] || excluded(a) || !haplotypeFits(w, genotype, a)) continue;
        mateBits(w, genotype, haplotypeBits(w, a), mate.data());
        const int b = findHaplotype(w, mate.data());
        if (b < a || excluded(b)) continue;  // each unordered pair once, from its smaller id
        const long support = static_cast<long>(w.users[a].size()) + static_cast<long>(w.users[b].size());
        if (support > bestSupport) {
            bestSupport = support;
            found = {a, b};
        }
    }
    return bestSupport >= 0;
}
