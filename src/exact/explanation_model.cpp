#include "exact/explanation_model.hpp"

#include "exact/model_decoding.hpp"

#include <stdexcept>

namespace {

// The most literals the separation of free slots may take.
constexpr long long kMostSeparationLiterals = 4'000'000;

} // namespace

ExplanationModel::ExplanationModel(int sites, const std::vector<std::string>& fixedHaplotypes, int freeSlots,
                                   SymmetryBreaking symmetry)
    : sites_(sites), words_((sites + 63) / 64), freeSlots_(freeSlots > 0 ? freeSlots : 0), symmetry_(symmetry),
      order_(freeSlots_)
{
    for (const std::string& haplotype : fixedHaplotypes) {
        std::vector<Literal> literals(static_cast<std::size_t>(sites_));
        for (int s = 0; s < sites_; ++s) literals[s] = constantLiteral(haplotype[s] == '1');
        addSlot(makeSiteLiterals(std::move(literals)), -1);
    }
    for (int k = 0; k < freeSlots_; ++k) {
        std::vector<Literal> literals(static_cast<std::size_t>(sites_));
        for (Literal& literal : literals) literal = formula_.newVariable();
        const int slot = addSlot(makeSiteLiterals(std::move(literals)), k);
        slots_[slot].use = formula_.newVariable();
        freeSlotIndex_.push_back(slot);
        // In the order of first use, the free slots used are the first ones.
        if (symmetry_.orderFreeSlots && k > 0) {
            formula_.addClause({-slots_[slot].use, slots_[freeSlotIndex_[k - 1]].use});
        }
    }
}

ExplanationModel::SiteLiterals ExplanationModel::makeSiteLiterals(std::vector<Literal> sites) const
{
    SiteLiterals literals;
    literals.zero.assign(static_cast<std::size_t>(words_), 0);
    literals.one.assign(static_cast<std::size_t>(words_), 0);
    for (int s = 0; s < sites_; ++s) {
        const std::uint64_t bit = std::uint64_t{1} << (s % 64);
        if (sites[s] == kFalseLiteral) literals.zero[s / 64] |= bit;
        else if (sites[s] == kTrueLiteral) literals.one[s / 64] |= bit;
    }
    literals.sites = std::move(sites);
    return literals;
}

std::pair<ExplanationModel::SiteLiterals, ExplanationModel::SiteLiterals>
ExplanationModel::haplotypeLiterals(std::string_view genotype, bool oriented)
{
    const int orientation = oriented && symmetry_.fixOrientation ? orientationSite(genotype) : -1;
    std::vector<Literal> first(static_cast<std::size_t>(sites_));
    std::vector<Literal> second(static_cast<std::size_t>(sites_));
    for (int s = 0; s < sites_; ++s) {
        if (genotype[s] == '2') {
            first[s] = s == orientation ? kFalseLiteral : formula_.newVariable();
            second[s] = -first[s];
        } else {
            first[s] = second[s] = constantLiteral(genotype[s] == '1');
        }
    }
    return {makeSiteLiterals(std::move(first)), makeSiteLiterals(std::move(second))};
}

int ExplanationModel::addSlot(SiteLiterals literals, int freeIndex)
{
    Slot slot;
    slot.literals = std::move(literals);
    slot.freeIndex = freeIndex;
    slots_.push_back(std::move(slot));
    return static_cast<int>(slots_.size()) - 1;
}

bool ExplanationModel::fits(const Slot& slot, const SiteLiterals& side) const
{
    for (int w = 0; w < words_; ++w) {
        if ((slot.literals.zero[w] & side.one[w]) | (slot.literals.one[w] & side.zero[w])) return false;
    }
    return true;
}

void ExplanationModel::pinGenotype(std::string_view genotype)
{
    if (genotypesAdded_) throw std::logic_error("genotypes are pinned before any is added");
    auto [first, second] = haplotypeLiterals(genotype, true);
    Entry entry;
    entry.first.push_back({addSlot(std::move(first), -1), kTrueLiteral});
    if (orientationSite(genotype) >= 0) entry.second.push_back({addSlot(std::move(second), -1), kTrueLiteral});
    entries_.push_back(std::move(entry));
}

void ExplanationModel::pinOneHaplotype(std::string_view genotype)
{
    if (orientationSite(genotype) < 0) {
        pinGenotype(genotype);
        return;
    }
    if (genotypesAdded_) throw std::logic_error("genotypes are pinned before any is added");
    auto [first, second] = haplotypeLiterals(genotype, false);
    Entry entry;
    entry.first.push_back({addSlot(std::move(first), -1), kTrueLiteral});
    entry.second = makeChoices(second, true, {}, entry.first.front().slot);
    addEntry(std::move(entry), true);
}

std::vector<ExplanationModel::Choice> ExplanationModel::makeChoices(const SiteLiterals& side, bool second,
                                                                    const std::vector<Choice>& firstChoices,
                                                                    int ownSlot)
{
    std::vector<Choice> choices;
    for (int index = 0; index < static_cast<int>(slots_.size()); ++index) {
        if (index == ownSlot) continue;
        const Slot& slot = slots_[index];
        const int k = slot.freeIndex;
        if (k >= 0 && symmetry_.orderFreeSlots) {
            if (!second && !order_.mayTakeFirst(k)) continue;
            if (second) {
                bool firstMayTakePrevious = false;
                for (const Choice& c : firstChoices) firstMayTakePrevious |= slots_[c.slot].freeIndex == k - 1 && k > 0;
                if (!order_.mayTakeSecond(k, firstMayTakePrevious)) continue;
            }
        }
        if (!fits(slot, side)) continue;
        const Literal selector = formula_.newVariable();
        for (int s = 0; s < sites_; ++s) {
            const Literal a = slot.literals.sites[s];
            const Literal b = side.sites[s];
            formula_.addClause({-selector, -a, b});
            formula_.addClause({-selector, a, -b});
        }
        if (k >= 0) formula_.addClause({-selector, slot.use});
        choices.push_back({index, selector});
    }
    return choices;
}

void ExplanationModel::finishSlots()
{
    if (slotsFinished_) return;
    slotsFinished_ = true;
    if (!symmetry_.separateFreeSlots) return;
    long long literals = 0;
    for (const Slot& slot : slots_) {
        if (slot.freeIndex < 0) literals += static_cast<long long>(freeSlots_) * sites_;
    }
    if (literals > kMostSeparationLiterals) return;
    for (const int freeSlot : freeSlotIndex_) {
        const Slot& free = slots_[freeSlot];
        for (const Slot& other : slots_) {
            if (other.freeIndex >= 0) continue;
            // In use, the free slot differs from the other at some site: at a
            // constant site it takes the other value, elsewhere a new
            // variable stands for "they differ here".
            std::vector<Literal> clause{-free.use};
            for (int s = 0; s < sites_; ++s) {
                const Literal mine = free.literals.sites[s];
                const Literal theirs = other.literals.sites[s];
                if (isConstant(theirs)) {
                    clause.push_back(theirs == kTrueLiteral ? -mine : mine);
                    continue;
                }
                const Literal differ = formula_.newVariable();
                formula_.addClause({-differ, mine, theirs});
                formula_.addClause({-differ, -mine, -theirs});
                clause.push_back(differ);
            }
            formula_.addClause(clause);
        }
    }
}

void ExplanationModel::addGenotype(std::string_view genotype)
{
    genotypesAdded_ = true;
    finishSlots();
    const bool heterozygous = orientationSite(genotype) >= 0;
    const auto [first, second] = haplotypeLiterals(genotype, true);
    Entry entry;
    entry.first = makeChoices(first, false, {});
    if (heterozygous) entry.second = makeChoices(second, true, entry.first);
    addEntry(std::move(entry), heterozygous);
}

void ExplanationModel::addEntry(Entry entry, bool heterozygous)
{
    std::vector<Literal> clause;
    for (const std::vector<Choice>* choices : {&entry.first, &entry.second}) {
        if (choices == &entry.second && !heterozygous) break;
        clause.clear();
        for (const Choice& c : *choices) clause.push_back(c.selector);
        formula_.addClause(clause);  // empty: no slot fits, the model is unsatisfiable
    }
    if (heterozygous) {
        std::vector<Literal> secondOfSlot(slots_.size(), kFalseLiteral);
        for (const Choice& c : entry.second) secondOfSlot[c.slot] = c.selector;
        for (const Choice& c : entry.first) {
            if (secondOfSlot[c.slot] != kFalseLiteral) formula_.addClause({-c.selector, -secondOfSlot[c.slot]});
        }
    }
    if (symmetry_.orderFreeSlots) {
        std::vector<Literal> firstFree(static_cast<std::size_t>(freeSlots_), kFalseLiteral);
        std::vector<Literal> secondFree;
        for (const Choice& c : entry.first) {
            if (slots_[c.slot].freeIndex >= 0) firstFree[slots_[c.slot].freeIndex] = c.selector;
        }
        if (heterozygous) {
            secondFree.assign(static_cast<std::size_t>(freeSlots_), kFalseLiteral);
            for (const Choice& c : entry.second) {
                if (slots_[c.slot].freeIndex >= 0) secondFree[slots_[c.slot].freeIndex] = c.selector;
            }
        }
        order_.addGenotype(formula_, firstFree, secondFree);
    }
    entries_.push_back(std::move(entry));
}

SatAnswer ExplanationModel::solve(int freeSlotsAllowed, CaDiCaL::Terminator* terminator)
{
    finishSlots();
    std::vector<Literal> assumptions;
    for (int k = freeSlotsAllowed < 0 ? 0 : freeSlotsAllowed; k < freeSlots_; ++k) {
        assumptions.push_back(-slots_[freeSlotIndex_[k]].use);
    }
    return formula_.solve(assumptions, terminator);
}

std::pair<int, int> ExplanationModel::chosenSlots(int index) const
{
    const Entry& entry = entries_[index];
    const auto chosen = [&](const std::vector<Choice>& choices) {
        for (const Choice& c : choices) {
            if (formula_.value(c.selector)) return c.slot;
        }
        throw std::logic_error("a genotype of a satisfied model has no slot");
    };
    const int first = chosen(entry.first);
    return {first, entry.second.empty() ? first : chosen(entry.second)};
}

std::string ExplanationModel::slotHaplotype(int slot) const
{
    std::string text(static_cast<std::size_t>(sites_), '0');
    for (int s = 0; s < sites_; ++s) {
        if (formula_.value(slots_[slot].literals.sites[s])) text[s] = '1';
    }
    return text;
}

SatAnswer explainWithFixedHaplotypes(const std::vector<std::string>& genotypes,
                                     const std::vector<std::string>& fixed, int newHaplotypes,
                                     Reconstruction& reconstruction, CaDiCaL::Terminator* terminator)
{
    const int sites = !genotypes.empty() ? static_cast<int>(genotypes[0].size())
                    : !fixed.empty()     ? static_cast<int>(fixed[0].size())
                                         : 0;
    ExplanationModel model(sites, fixed, newHaplotypes);
    for (const std::string& g : genotypes) model.addGenotype(g);
    const SatAnswer answer = model.solve(newHaplotypes, terminator);
    if (answer == SatAnswer::Satisfiable) {
        reconstruction = decodeReconstruction(model);
        normalizeReconstruction(reconstruction);
    }
    return answer;
}
