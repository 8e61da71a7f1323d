#pragma once

#include "exact/sat_formula.hpp"

#include <string_view>
#include <vector>

// The symmetries of the haplotype model, and the clauses that break them.
// Without them a refutation must rule out every renaming of the slots and
// both orientations of every genotype, and UNSAT answers do not finish.
// (Pinning pairwise incompatible genotypes to slots of their own is the
// third measure; the model does it, see ExplanationModel::pinGenotype.)
struct SymmetryBreaking {
    // The free slots are used in order of first use: a genotype may take free
    // slot k only when slot k-1 is taken by an earlier genotype, or by its own
    // first haplotype when it is its second that takes k.
    bool orderFreeSlots = true;
    // The first haplotype of a heterozygous genotype carries '0' at its first
    // heterozygous site, the second '1'.
    bool fixOrientation = true;
    // A free slot in use differs from every fixed and pinned slot (a
    // haplotype equal to one of those would take that slot instead). Left out
    // when its clauses would be too many.
    bool separateFreeSlots = true;
};

// The first heterozygous site of a genotype, or -1.
int orientationSite(std::string_view genotype);

// The first-use order of the free slots over the genotypes added so far:
// for each free slot, a literal that is true when an earlier genotype takes it
// (false while none can have).
class FirstUseOrder {
public:
    explicit FirstUseOrder(int freeSlots);

    // Whether the next genotype's first haplotype may take free slot k.
    bool mayTakeFirst(int k) const;
    // Whether its second may, given whether its first may take slot k-1.
    bool mayTakeSecond(int k, bool firstMayTakePrevious) const;

    // Adds the order clauses of the next genotype, whose selectors of the
    // free slots are given (kFalseLiteral where none was made; `second` empty
    // for a homozygous genotype), and moves on past it.
    void addGenotype(SatFormula& formula, const std::vector<Literal>& first, const std::vector<Literal>& second);

private:
    std::vector<Literal> takenBefore_;
};
