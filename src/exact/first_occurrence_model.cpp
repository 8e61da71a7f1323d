#include "exact/first_occurrence_model.hpp"

#include "exact/symmetry_breaking.hpp"

#include <algorithm>

FirstOccurrenceModel::FirstOccurrenceModel(int sites, int mostCounted)
    : sites_(sites), width_(std::max(0, mostCounted) + 1)
{
}

Literal FirstOccurrenceModel::makeEquality(const Entry& entry, int mine, int other, int theirs)
{
    const std::vector<Literal>& a = entry.sites[mine];
    const std::vector<Literal>& b = entries_[other].sites[theirs];
    // Decided sites first: a pair that differs at a known site is never equal.
    for (int s = 0; s < sites_; ++s) {
        if (isConstant(a[s]) && isConstant(b[s]) && a[s] != b[s]) return kFalseLiteral;
    }
    const Literal equal = formula_.newVariable();
    for (int s = 0; s < sites_; ++s) {
        if (isConstant(a[s]) && isConstant(b[s])) continue;
        formula_.addClause({-equal, -a[s], b[s]});
        formula_.addClause({-equal, a[s], -b[s]});
    }
    return equal;
}

void FirstOccurrenceModel::count(Literal counted)
{
    // atLeast_[k] after it: atLeast_[k] before it, or atLeast_[k-1] before
    // it and it. Only the upward implications: a model may set a level true
    // without need, never false with need.
    const int levels = std::min(width_, static_cast<int>(atLeast_.size()) + 1);
    std::vector<Literal> next(static_cast<std::size_t>(levels));
    for (int k = 0; k < levels; ++k) {
        next[k] = formula_.newVariable();
        if (k == 0) formula_.addClause({-counted, next[k]});
        else formula_.addClause({-counted, -atLeast_[k - 1], next[k]});
        if (k < static_cast<int>(atLeast_.size())) formula_.addClause({-atLeast_[k], next[k]});
    }
    atLeast_ = std::move(next);
}

void FirstOccurrenceModel::addGenotype(std::string_view genotype, bool needsOwnHaplotype)
{
    Entry entry;
    entry.text = std::string(genotype);
    const int orientation = orientationSite(genotype);
    entry.haplotypes = orientation >= 0 ? 2 : 1;
    for (std::vector<Literal>& side : entry.sites) side.resize(static_cast<std::size_t>(sites_));
    for (int s = 0; s < sites_; ++s) {
        if (genotype[s] != '2') {
            entry.sites[0][s] = entry.sites[1][s] = constantLiteral(genotype[s] == '1');
            continue;
        }
        entry.sites[0][s] = s == orientation ? kFalseLiteral : formula_.newVariable();
        entry.sites[1][s] = -entry.sites[0][s];
    }
    const int index = static_cast<int>(entries_.size());
    for (int other = 0; other < index; ++other) {
        const std::string& text = entries_[other].text;
        bool compatible = true;
        for (int s = 0; s < sites_ && compatible; ++s) {
            compatible = genotype[s] == '2' || text[s] == '2' || genotype[s] == text[s];
        }
        if (!compatible) continue;
        Literal equal[2][2] = {{kFalseLiteral, kFalseLiteral}, {kFalseLiteral, kFalseLiteral}};
        for (int mine = 0; mine < entry.haplotypes; ++mine) {
            for (int theirs = 0; theirs < entries_[other].haplotypes; ++theirs) {
                const Literal literal = makeEquality(entry, mine, other, theirs);
                equal[mine][theirs] = literal;
                if (literal != kFalseLiteral) entry.equalities.push_back({other, mine, theirs, literal});
            }
        }
        // Two different haplotypes are not both equal to a third.
        formula_.addClause({-equal[0][0], -equal[1][0]});
        formula_.addClause({-equal[0][1], -equal[1][1]});
        formula_.addClause({-equal[0][0], -equal[0][1]});
        formula_.addClause({-equal[1][0], -equal[1][1]});
    }
    for (int mine = 0; mine < entry.haplotypes; ++mine) {
        const Literal counted = formula_.newVariable();
        std::vector<Literal> clause{counted};
        for (const Equality& e : entry.equalities) {
            if (e.mine != mine) continue;
            clause.push_back(e.literal);
            // A counted haplotype is equal to no earlier one, and an equal
            // one points at a counted one: each haplotype then has one
            // occurrence that counts, its first, and the others point at it.
            formula_.addClause({-counted, -e.literal});
            formula_.addClause({-e.literal, entries_[e.other].counted[e.theirs]});
        }
        formula_.addClause(clause);
        entry.counted[mine] = counted;
    }
    if (!needsOwnHaplotype) {
        for (int mine = 0; mine < entry.haplotypes; ++mine) count(entry.counted[mine]);
    } else if (entry.haplotypes == 1) {
        formula_.addClause({entry.counted[0]});
        count(entry.counted[0]);
    } else {
        // One of the two counts for sure: the counter takes a true constant
        // and whether both count, c0 + c1 = (c0 or c1) + (c0 and c1), so it
        // sees the certain haplotype at once.
        formula_.addClause({entry.counted[0], entry.counted[1]});
        const Literal both = formula_.newVariable();
        formula_.addClause({-entry.counted[0], -entry.counted[1], both});
        count(kTrueLiteral);
        count(both);
    }
    entries_.push_back(std::move(entry));
}

SatAnswer FirstOccurrenceModel::solve(int haplotypes, CaDiCaL::Terminator* terminator)
{
    if (haplotypes < 0) return SatAnswer::Unsatisfiable;
    std::vector<Literal> assumptions;
    if (haplotypes < static_cast<int>(atLeast_.size())) assumptions.push_back(-atLeast_[haplotypes]);
    return formula_.solve(assumptions, terminator);
}

void FirstOccurrenceModel::hintPair(int index, std::string_view a, std::string_view b)
{
    Entry& entry = entries_[index];
    // The first haplotype carries '0' at the first heterozygous site.
    const int orientation = orientationSite(entry.text);
    if (orientation >= 0 && a[orientation] == '1') std::swap(a, b);
    entry.hinted[0] = std::string(a);
    entry.hinted[1] = std::string(b);
    for (int s = 0; s < sites_; ++s) formula_.hint(a[s] == '1' ? entry.sites[0][s] : -entry.sites[0][s]);
    bool occurred[2] = {false, false};
    for (const Equality& e : entry.equalities) {
        const std::string& theirs = entries_[e.other].hinted[e.theirs];
        // Only the first occurrence counts, and an equality names it.
        const bool equal = !occurred[e.mine] && !theirs.empty() && theirs == entry.hinted[e.mine];
        formula_.hint(equal ? e.literal : -e.literal);
        occurred[e.mine] |= equal;
    }
    for (int mine = 0; mine < entry.haplotypes; ++mine) {
        formula_.hint(occurred[mine] ? -entry.counted[mine] : entry.counted[mine]);
    }
}

std::pair<std::string, std::string> FirstOccurrenceModel::haplotypesOf(int index) const
{
    const Entry& entry = entries_[index];
    std::string haplotypes[2];
    for (int side = 0; side < 2; ++side) {
        haplotypes[side].assign(static_cast<std::size_t>(sites_), '0');
        for (int s = 0; s < sites_; ++s) {
            if (formula_.value(entry.sites[side][s])) haplotypes[side][s] = '1';
        }
    }
    return {haplotypes[0], haplotypes[1]};
}
