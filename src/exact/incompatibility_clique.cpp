#include "exact/incompatibility_clique.hpp"

#include "exact/proof_deadline.hpp"

#include <algorithm>
#include <bit>
#include <chrono>
#include <numeric>
#include <random>

namespace {

// A clique under local search. `compatibleMembers[v]` counts the members
// compatible with v: v can join when it is 0, and can replace its one
// compatible member when it is 1.
class CliqueState {
public:
    CliqueState(const CompatibilityRows& rows, const std::vector<int>& weights)
        : rows_(rows), weights_(weights), inClique_(weights.size(), 0), compatibleMembers_(weights.size(), 0)
    {
    }

    void add(int v)
    {
        inClique_[v] = 1;
        weight_ += weights_[v];
        members_.push_back(v);
        forEachCompatible(v, [&](int u) { ++compatibleMembers_[u]; });
    }

    void remove(int v)
    {
        inClique_[v] = 0;
        weight_ -= weights_[v];
        members_.erase(std::find(members_.begin(), members_.end(), v));
        forEachCompatible(v, [&](int u) { --compatibleMembers_[u]; });
    }

    void clear()
    {
        while (!members_.empty()) remove(members_.back());
    }

    // The one member compatible with v (compatibleMembers(v) == 1).
    int compatibleMember(int v) const
    {
        for (const int m : members_) {
            if (rows_.compatible(v, m)) return m;
        }
        return -1;
    }

    bool inClique(int v) const { return inClique_[v] != 0; }
    int compatibleMembers(int v) const { return compatibleMembers_[v]; }
    int weight() const { return weight_; }
    const std::vector<int>& members() const { return members_; }

private:
    template <typename Visit>
    void forEachCompatible(int v, Visit visit)
    {
        const std::uint64_t* row = rows_.rowOf(v);
        for (int w = 0; w < rows_.words; ++w) {
            for (std::uint64_t bits = row[w]; bits != 0; bits &= bits - 1) visit(w * 64 + std::countr_zero(bits));
        }
    }

    const CompatibilityRows& rows_;
    const std::vector<int>& weights_;
    std::vector<char> inClique_;
    std::vector<int> compatibleMembers_;
    std::vector<int> members_;
    int weight_ = 0;
};

int compatibleCount(const CompatibilityRows& rows, int v)
{
    int count = 0;
    const std::uint64_t* row = rows.rowOf(v);
    for (int w = 0; w < rows.words; ++w) count += std::popcount(row[w]);
    return count;
}

// Adds, in the given order, every vertex that fits.
void completeGreedily(CliqueState& clique, const std::vector<int>& order)
{
    for (const int v : order) {
        if (!clique.inClique(v) && clique.compatibleMembers(v) == 0) clique.add(v);
    }
}

class StopCheck {
public:
    explicit StopCheck(const CliqueSearchLimits& limits)
        : limits_(limits), start_(std::chrono::steady_clock::now())
    {
    }

    bool shouldStop(long long step, int count)
    {
        if (step >= limits_.steps || step >= 100LL * count) return true;
        if (step % 128 != 0) return stopped_;
        if (limits_.deadline != nullptr && limits_.deadline->expired()) stopped_ = true;
        if (limits_.seconds > 0.0
            && std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count() >= limits_.seconds) {
            stopped_ = true;
        }
        return stopped_;
    }

private:
    const CliqueSearchLimits& limits_;
    std::chrono::steady_clock::time_point start_;
    bool stopped_ = false;
};

} // namespace

int cliqueWeight(const std::vector<int>& clique, const std::vector<int>& weights)
{
    int weight = 0;
    for (const int v : clique) weight += weights[v];
    return weight;
}

std::vector<int> findHeavyClique(const CompatibilityRows& rows, const std::vector<int>& weights,
                                 const CliqueSearchLimits& limits)
{
    const int count = rows.count;
    if (count == 0) return {};
    // Heavy vertices first, and among them those compatible with the fewest.
    std::vector<int> compatibles(static_cast<std::size_t>(count));
    for (int v = 0; v < count; ++v) compatibles[v] = compatibleCount(rows, v);
    std::vector<int> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (weights[a] != weights[b]) return weights[a] > weights[b];
        return compatibles[a] < compatibles[b];
    });

    CliqueState clique(rows, weights);
    completeGreedily(clique, order);
    std::vector<int> best = clique.members();
    int bestWeight = clique.weight();

    std::mt19937 random(limits.seed);
    std::vector<long long> tabuUntil(static_cast<std::size_t>(count), -1);
    long long lastImprovement = 0;
    const long long restartAfter = 1000 + 4LL * count;
    StopCheck stop(limits);
    std::vector<int> ties;
    for (long long step = 0; !stop.shouldStop(step, count); ++step) {
        // The best add move, else the best swap, else a drop.
        int bestAddWeight = -1;
        int bestSwapGain = -1000;
        ties.clear();
        bool adding = false;
        for (int v = 0; v < count; ++v) {
            if (clique.inClique(v) || tabuUntil[v] > step) continue;
            const int missing = clique.compatibleMembers(v);
            if (missing == 0) {
                if (!adding || weights[v] > bestAddWeight) {
                    adding = true;
                    bestAddWeight = weights[v];
                    ties.clear();
                }
                if (weights[v] == bestAddWeight) ties.push_back(v);
            } else if (missing == 1 && !adding) {
                const int gain = weights[v] - weights[clique.compatibleMember(v)];
                if (gain > bestSwapGain) {
                    bestSwapGain = gain;
                    ties.clear();
                }
                if (gain == bestSwapGain) ties.push_back(v);
            }
        }
        const int tenure = 7 + static_cast<int>(random() % 10);
        if (!ties.empty() && (adding || bestSwapGain >= 0 || random() % 2 == 0)) {
            const int v = ties[random() % ties.size()];
            if (!adding) {
                const int out = clique.compatibleMember(v);
                clique.remove(out);
                tabuUntil[out] = step + tenure;
            }
            clique.add(v);
        } else if (!clique.members().empty()) {
            const std::vector<int>& members = clique.members();
            const int out = members[random() % members.size()];
            clique.remove(out);
            tabuUntil[out] = step + tenure;
        }
        if (clique.weight() > bestWeight) {
            bestWeight = clique.weight();
            best = clique.members();
            lastImprovement = step;
        } else if (step - lastImprovement > restartAfter) {
            // Start again from a random vertex, completed greedily.
            clique.clear();
            clique.add(static_cast<int>(random() % count));
            completeGreedily(clique, order);
            lastImprovement = step;
        }
    }
    std::sort(best.begin(), best.end());
    return best;
}
