#include "exact/symmetry_breaking.hpp"

int orientationSite(std::string_view genotype)
{
    const std::size_t site = genotype.find('2');
    return site == std::string_view::npos ? -1 : static_cast<int>(site);
}

FirstUseOrder::FirstUseOrder(int freeSlots) : takenBefore_(static_cast<std::size_t>(freeSlots), kFalseLiteral) {}

bool FirstUseOrder::mayTakeFirst(int k) const
{
    return k == 0 || takenBefore_[k - 1] != kFalseLiteral;
}

bool FirstUseOrder::mayTakeSecond(int k, bool firstMayTakePrevious) const
{
    return k == 0 || takenBefore_[k - 1] != kFalseLiteral || firstMayTakePrevious;
}

void FirstUseOrder::addGenotype(SatFormula& formula, const std::vector<Literal>& first, const std::vector<Literal>& second)
{
    const int slots = static_cast<int>(takenBefore_.size());
    const auto secondAt = [&](int k) { return second.empty() ? kFalseLiteral : second[k]; };
    for (int k = 1; k < slots; ++k) {
        formula.addClause({-first[k], takenBefore_[k - 1]});
        formula.addClause({-secondAt(k), takenBefore_[k - 1], first[k - 1]});
    }
    std::vector<Literal> takenAfter(takenBefore_.size());
    for (int k = 0; k < slots; ++k) {
        const Literal before = takenBefore_[k];
        const Literal a = first[k];
        const Literal b = secondAt(k);
        if (a == kFalseLiteral && b == kFalseLiteral) {
            takenAfter[k] = before;
            continue;
        }
        const Literal taken = formula.newVariable();
        formula.addClause({-taken, before, a, b});
        formula.addClause({-before, taken});
        formula.addClause({-a, taken});
        formula.addClause({-b, taken});
        takenAfter[k] = taken;
    }
    takenBefore_ = std::move(takenAfter);
}
