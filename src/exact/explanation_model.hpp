#pragma once

#include "exact/sat_formula.hpp"
#include "exact/symmetry_breaking.hpp"
#include "output/reconstruction.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The CNF model "these genotypes are explained by the given fixed haplotypes,
// the haplotypes of the pinned genotypes and at most r free haplotypes".
//
// There is one Boolean per slot and site (a fixed slot's sites are
// constants), and per genotype one selector per slot it may take for its
// first haplotype and, when heterozygous, for its second. At a homozygous
// site the selected slots carry the genotype's value; at a heterozygous site
// they carry opposite values through one variable per genotype and site;
// the two selectors of a heterozygous genotype differ. A selector is made
// only for a slot whose known sites agree with the genotype's. A free slot
// has a use literal that each of its selectors implies, and a call bounds the
// free slots used by assuming the use literals beyond the bound false, so
// one solver serves calls for several counts.
//
// Genotypes can be added between calls: a model of some genotypes that is
// unsatisfiable proves that all of them need more, and a satisfiable one
// whose haplotypes explain the others too is a reconstruction of them all.
//
// The exact check pins an incompatibility clique and bounds the free slots;
// an improvement step can fix the haplotypes it keeps and ask for a few new
// ones for the genotypes it reopens.
class ExplanationModel {
public:
    ExplanationModel(int sites, const std::vector<std::string>& fixedHaplotypes, int freeSlots,
                     SymmetryBreaking symmetry = {});

    // Gives the genotype slots of its own: one if homozygous (its value is
    // known), two if heterozygous, and no selectors. The pinned genotypes must
    // be pairwise incompatible (so that their haplotypes are all different),
    // and all pinned before the first addGenotype.
    void pinGenotype(std::string_view genotype);

    // Gives the genotype a slot of its own for one of its haplotypes (the
    // other may take any slot that fits it). For genotypes that each need a
    // haplotype that none of the genotypes pinned before them can have: the
    // haplotype of its own is then different from all theirs. Pinned with
    // the others, before the first addGenotype.
    void pinOneHaplotype(std::string_view genotype);

    // Adds a genotype to be explained by any slot that fits it.
    void addGenotype(std::string_view genotype);

    // Whether the genotypes so far are explained with at most
    // `freeSlotsAllowed` free slots. The terminator can cut the call short
    // (Unknown); the model stays usable.
    SatAnswer solve(int freeSlotsAllowed, CaDiCaL::Terminator* terminator = nullptr);

    // Bounds the next solve to `conflicts` solver conflicts (see SatFormula).
    void limitConflicts(int conflicts) { formula_.limitConflicts(conflicts); }

    // After a Satisfiable answer: the slots that hold the two haplotypes of
    // genotype `index` (in the order pinned and added; equal for a
    // homozygous genotype), and the haplotype a slot holds.
    std::pair<int, int> chosenSlots(int index) const;
    std::string slotHaplotype(int slot) const;

    int genotypeCount() const { return static_cast<int>(entries_.size()); }

private:
    // Literals of the sites of a slot or of one haplotype of a genotype, with
    // masks of the sites that are constant '0' and constant '1'.
    struct SiteLiterals {
        std::vector<Literal> sites;
        std::vector<std::uint64_t> zero, one;
    };
    struct Slot {
        SiteLiterals literals;
        int freeIndex = -1;  // index among the free slots, or -1
        Literal use = kTrueLiteral;
    };
    struct Choice {
        int slot = 0;
        Literal selector = kTrueLiteral;
    };
    struct Entry {
        std::vector<Choice> first, second;  // second empty when homozygous
    };

    SiteLiterals makeSiteLiterals(std::vector<Literal> sites) const;
    // The two haplotypes of a genotype: constants at homozygous sites (and at
    // the orientation site), a new variable and its negation elsewhere.
    std::pair<SiteLiterals, SiteLiterals> haplotypeLiterals(std::string_view genotype, bool oriented);
    int addSlot(SiteLiterals literals, int freeIndex);
    bool fits(const Slot& slot, const SiteLiterals& side) const;
    // Makes the selectors of one haplotype of a genotype over the slots that
    // fit it, with their site clauses.
    std::vector<Choice> makeChoices(const SiteLiterals& side, bool second, const std::vector<Choice>& firstChoices,
                                    int ownSlot = -1);
    // The clauses that tie the genotype's selectors together, and its entry.
    void addEntry(Entry entry, bool heterozygous);
    // Once all slots are made (at the first genotype added or the first
    // call): the clauses that keep free slots apart from the others.
    void finishSlots();

    int sites_ = 0;
    int words_ = 0;
    int freeSlots_ = 0;
    SymmetryBreaking symmetry_;
    SatFormula formula_;
    std::vector<Slot> slots_;
    std::vector<int> freeSlotIndex_;  // slot index of each free slot
    std::vector<Entry> entries_;
    FirstUseOrder order_;
    bool genotypesAdded_ = false;
    bool slotsFinished_ = false;
};

// One call for a large-neighbourhood step: whether `genotypes` can be
// explained by the `fixed` haplotypes and at most `newHaplotypes` new ones.
// On Satisfiable, `reconstruction` receives such a reconstruction, normalised
// (only the haplotypes its pairs use, fixed or new, in ascending order).
SatAnswer explainWithFixedHaplotypes(const std::vector<std::string>& genotypes,
                                     const std::vector<std::string>& fixed, int newHaplotypes,
                                     Reconstruction& reconstruction, CaDiCaL::Terminator* terminator = nullptr);
