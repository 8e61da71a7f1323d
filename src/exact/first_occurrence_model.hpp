#pragma once

#include "exact/sat_formula.hpp"

#include <string>
#include <string_view>
#include <vector>

// The CNF model "these genotypes, in the order added, are explained by at
// most r distinct haplotypes", without haplotype slots: a haplotype counts
// where it occurs first.
//
// Each genotype has its two haplotypes (one when homozygous) as literals per
// site: constants at its homozygous sites and at its first heterozygous
// site (where the first haplotype carries '0'), one phase variable and its
// negation at each other heterozygous site. For each haplotype of a
// genotype and each haplotype of an earlier compatible genotype an equality
// variable, when true, makes the two equal at every site; a haplotype
// counts unless one of its equality variables holds; a counted haplotype
// has no equality that holds, and an equality that holds names a counted
// haplotype, so that each haplotype counts once. A sequential counter
// over the counting literals bounds their number by an assumption, so one
// solver with what it learned serves calls for several counts.
//
// Every reconstruction gives a model: its haplotypes' first occurrences
// count, and the count is the number of haplotypes. Every model gives a
// reconstruction with at most as many haplotypes as count. Slots, and
// their symmetries, are absent; the orientation of each genotype is fixed.
//
// Genotypes can be added between calls: an unsatisfiable model of some
// genotypes proves that all of them need more haplotypes.
class FirstOccurrenceModel {
public:
    // `mostCounted`: the largest r a call will ask for.
    FirstOccurrenceModel(int sites, int mostCounted);

    // `needsOwnHaplotype`: the caller knows that in every reconstruction one
    // of the genotype's haplotypes differs from every haplotype of the
    // genotypes added before it (the layers beyond the clique of a
    // LowerBound, added in order after it); the counter then counts that
    // haplotype from the start.
    void addGenotype(std::string_view genotype, bool needsOwnHaplotype = false);

    // Whether the genotypes so far are explained by at most `haplotypes`
    // haplotypes. The terminator can cut the call short (Unknown); the
    // model stays usable.
    SatAnswer solve(int haplotypes, CaDiCaL::Terminator* terminator = nullptr);

    // Bounds the next solve to `conflicts` solver conflicts.
    void limitConflicts(int conflicts) { formula_.limitConflicts(conflicts); }

    // Makes the solver try first the reconstruction where genotype `index`
    // (in the order added) has haplotypes a and b; hints are matched against
    // the earlier genotypes' hints. Changes the order of the search only.
    void hintPair(int index, std::string_view a, std::string_view b);
    void clearHints() { formula_.clearHints(); }

    // After a Satisfiable answer: the two haplotypes of genotype `index`
    // (equal when it is homozygous).
    std::pair<std::string, std::string> haplotypesOf(int index) const;

    int genotypeCount() const { return static_cast<int>(entries_.size()); }

private:
    struct Equality {
        int other = 0;  // the earlier genotype
        int mine = 0;   // which haplotype of this genotype
        int theirs = 0; // which of the other's
        Literal literal = 0;
    };
    struct Entry {
        std::string text;
        std::vector<Literal> sites[2];  // the sites of its haplotypes
        int haplotypes = 1;             // 2 when heterozygous
        std::vector<Equality> equalities;
        Literal counted[2] = {kFalseLiteral, kFalseLiteral};
        std::string hinted[2];  // the hinted haplotypes, when given
    };

    // The equality variable of haplotype `mine` of the new entry and
    // haplotype `theirs` of entry `other`, or kFalseLiteral when they cannot
    // be equal.
    Literal makeEquality(const Entry& entry, int mine, int other, int theirs);
    void count(Literal counted);

    int sites_ = 0;
    int width_ = 0;  // levels of the counter: mostCounted + 1
    SatFormula formula_;
    std::vector<Entry> entries_;
    std::vector<Literal> atLeast_;  // atLeast_[k]: more than k of the counted literals hold
};
