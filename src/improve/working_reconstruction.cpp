#include "improve/working_reconstruction.hpp"

#include <algorithm>
#include <cstring>

namespace {

void removeUser(std::vector<int>& users, int genotype)
{
    const auto it = std::find(users.begin(), users.end(), genotype);
    if (it != users.end()) {
        *it = users.back();
        users.pop_back();
    }
}

void addUser(std::vector<int>& users, int genotype)
{
    if (std::find(users.begin(), users.end(), genotype) == users.end()) users.push_back(genotype);
}

} // namespace

std::string bitsKey(const std::uint64_t* bits, int words)
{
    return std::string(reinterpret_cast<const char*>(bits), static_cast<std::size_t>(words) * sizeof(std::uint64_t));
}

void packSites(const std::string& text, std::vector<std::uint64_t>& out)
{
    out.assign((text.size() + 63) / 64, 0);
    for (std::size_t s = 0; s < text.size(); ++s) {
        if (text[s] == '1') out[s / 64] |= std::uint64_t{1} << (s % 64);
    }
}

std::string unpackSites(const std::uint64_t* bits, int length)
{
    std::string text(static_cast<std::size_t>(length), '0');
    for (int s = 0; s < length; ++s) {
        if ((bits[s / 64] >> (s % 64)) & 1) text[s] = '1';
    }
    return text;
}

WorkingReconstruction makeWorkingReconstruction(const std::vector<std::string>& genotypes,
                                                const Reconstruction& reconstruction)
{
    WorkingReconstruction w;
    w.length = genotypes.empty() ? 0 : static_cast<int>(genotypes[0].size());
    w.words = (w.length + 63) / 64;
    w.genotypeCount = static_cast<int>(genotypes.size());
    w.genotypeTexts = genotypes;
    resizeSitePlanes(w.genotypePlanes, w.genotypeCount, w.length);
    for (int g = 0; g < w.genotypeCount; ++g) refreshSitePlanes(w.genotypePlanes, g, genotypes[g].data(), w.length);
    std::vector<int> idOfInput(reconstruction.haplotypes.size(), -1);
    std::vector<std::uint64_t> packed;
    w.pairs.assign(genotypes.size(), {});
    for (std::size_t g = 0; g < genotypes.size(); ++g) {
        int ids[2];
        const int inputs[2] = {reconstruction.pairs[g].first, reconstruction.pairs[g].second};
        for (int side = 0; side < 2; ++side) {
            int& id = idOfInput[inputs[side]];
            if (id < 0) {
                packSites(reconstruction.haplotypes[inputs[side]], packed);
                id = addHaplotype(w, packed.data());
            }
            ids[side] = id;
        }
        setPair(w, static_cast<int>(g), ids[0], ids[1]);
    }
    return w;
}

Reconstruction extractReconstruction(const WorkingReconstruction& w)
{
    Reconstruction r;
    std::vector<int> index(w.alive.size(), -1);
    for (int id = 0; id < static_cast<int>(w.alive.size()); ++id) {
        if (!w.alive[id]) continue;
        index[id] = static_cast<int>(r.haplotypes.size());
        r.haplotypes.push_back(unpackSites(haplotypeBits(w, id), w.length));
    }
    for (const HaplotypePair& pair : w.pairs) r.pairs.push_back({index[pair.first], index[pair.second]});
    normalizeReconstruction(r);
    return r;
}

bool bitsFit(const WorkingReconstruction& w, int genotype, const std::uint64_t* bits)
{
    const std::uint64_t* zero = w.genotypePlanes.zeroOf(genotype);
    const std::uint64_t* one = w.genotypePlanes.oneOf(genotype);
    for (int k = 0; k < w.words; ++k) {
        if (((bits[k] & zero[k]) | (~bits[k] & one[k])) != 0) return false;
    }
    return true;
}

bool haplotypeFits(const WorkingReconstruction& w, int genotype, int id)
{
    return bitsFit(w, genotype, haplotypeBits(w, id));
}

void mateBits(const WorkingReconstruction& w, int genotype, const std::uint64_t* bits, std::uint64_t* out)
{
    const std::uint64_t* het = w.genotypePlanes.openOf(genotype);
    for (int k = 0; k < w.words; ++k) out[k] = bits[k] ^ het[k];
}

int findHaplotype(const WorkingReconstruction& w, const std::uint64_t* bits)
{
    const auto found = w.idOfBits.find(bitsKey(bits, w.words));
    return found == w.idOfBits.end() ? -1 : found->second;
}

int addHaplotype(WorkingReconstruction& w, const std::uint64_t* bits)
{
    const int existing = findHaplotype(w, bits);
    if (existing >= 0) return existing;
    const int id = static_cast<int>(w.alive.size());
    w.bits.insert(w.bits.end(), bits, bits + w.words);
    w.alive.push_back(1);
    w.users.emplace_back();
    w.idOfBits.emplace(bitsKey(bits, w.words), id);
    if (w.logging) w.loggedAdded.push_back(id);
    return id;
}

void setPair(WorkingReconstruction& w, int genotype, int a, int b)
{
    HaplotypePair& pair = w.pairs[genotype];
    if (w.logging) w.loggedPairs.emplace_back(genotype, pair);
    if (static_cast<std::size_t>(pair.first) < w.users.size()) removeUser(w.users[pair.first], genotype);
    if (static_cast<std::size_t>(pair.second) < w.users.size()) removeUser(w.users[pair.second], genotype);
    pair = {a, b};
    addUser(w.users[a], genotype);
    addUser(w.users[b], genotype);
}

bool retireUnused(WorkingReconstruction& w, int id)
{
    if (!w.alive[id] || !w.users[id].empty()) return false;
    w.alive[id] = 0;
    w.idOfBits.erase(bitsKey(haplotypeBits(w, id), w.words));
    if (w.logging) w.loggedRetired.push_back(id);
    return true;
}

void beginTrial(WorkingReconstruction& w)
{
    w.logging = true;
    w.loggedPairs.clear();
    w.loggedAdded.clear();
    w.loggedRetired.clear();
}

void commitTrial(WorkingReconstruction& w)
{
    w.logging = false;
    w.loggedPairs.clear();
    w.loggedAdded.clear();
    w.loggedRetired.clear();
}

void rollbackTrial(WorkingReconstruction& w)
{
    w.logging = false;
    // Haplotypes added by the trial go first, so that one retired by it with
    // the same bits can take its place in the index again.
    for (const int id : w.loggedAdded) {
        if (!w.alive[id]) continue;
        w.alive[id] = 0;
        w.idOfBits.erase(bitsKey(haplotypeBits(w, id), w.words));
        }
    for (const int id : w.loggedRetired) {
        if (std::find(w.loggedAdded.begin(), w.loggedAdded.end(), id) != w.loggedAdded.end()) continue;
        w.alive[id] = 1;
        w.idOfBits.emplace(bitsKey(haplotypeBits(w, id), w.words), id);
        }
    for (auto it = w.loggedPairs.rbegin(); it != w.loggedPairs.rend(); ++it) {
        const auto [genotype, before] = *it;
        const HaplotypePair now = w.pairs[genotype];
        removeUser(w.users[now.first], genotype);
        removeUser(w.users[now.second], genotype);
        w.pairs[genotype] = before;
        addUser(w.users[before.first], genotype);
        addUser(w.users[before.second], genotype);
    }
    commitTrial(w);
}

std::string findWorkingFault(const WorkingReconstruction& w)
{
    std::vector<std::uint64_t> mate(static_cast<std::size_t>(w.words));
    std::vector<int> uses(w.alive.size(), 0);
    for (int g = 0; g < w.genotypeCount; ++g) {
        const HaplotypePair pair = w.pairs[g];
        for (const int id : {pair.first, pair.second}) {
            if (id < 0 || id >= static_cast<int>(w.alive.size()) || !w.alive[id]) {
                return "genotype " + std::to_string(g + 1) + " uses a retired haplotype";
            }
            if (std::find(w.users[id].begin(), w.users[id].end(), g) == w.users[id].end()) {
                return "genotype " + std::to_string(g + 1) + " is missing from its haplotype's users";
            }
        }
        mateBits(w, g, haplotypeBits(w, pair.first), mate.data());
        if (!haplotypeFits(w, g, pair.first)
            || std::memcmp(mate.data(), haplotypeBits(w, pair.second), w.words * sizeof(std::uint64_t)) != 0) {
            return "the pair of genotype " + std::to_string(g + 1) + " does not explain it";
        }
        ++uses[pair.first];
        if (pair.second != pair.first) ++uses[pair.second];
    }
    int alive = 0;
    for (int id = 0; id < static_cast<int>(w.alive.size()); ++id) {
        if (!w.alive[id]) continue;
        ++alive;
        if (uses[id] != static_cast<int>(w.users[id].size())) return "the users of a haplotype are out of step";
        if (uses[id] == 0) return "an alive haplotype explains nothing";
        if (findHaplotype(w, haplotypeBits(w, id)) != id) return "a haplotype cannot be found by its bits";
    }
    if (alive != w.aliveCount()) return "the alive count is out of step";
    return {};
}
