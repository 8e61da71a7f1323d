#include "exact/sat_formula.hpp"

const char* satAnswerName(SatAnswer answer)
{
    switch (answer) {
    case SatAnswer::Satisfiable:
        return "SAT";
    case SatAnswer::Unsatisfiable:
        return "UNSAT";
    case SatAnswer::Unknown:
        break;
    }
    return "UNKNOWN";
}

SatFormula::SatFormula() : solver_(std::make_unique<CaDiCaL::Solver>())
{
    // The solver would otherwise print messages of its own ("c found
    // falsified original clause") among the program's console lines.
    solver_->set("quiet", 1);
    // Clauses keep coming between calls and name variables of earlier ones;
    // eliminated variables would have their clauses restored each time.
    solver_->set("elim", 0);
}

Literal SatFormula::newVariable()
{
    return ++variables_;
}

template <typename Range>
void SatFormula::addFolded(const Range& literals)
{
    kept_.clear();
    for (const Literal literal : literals) {
        if (literal == kTrueLiteral) return;
        if (literal != kFalseLiteral) kept_.push_back(literal);
    }
    for (const Literal literal : kept_) solver_->add(literal);
    solver_->add(0);
}

void SatFormula::addClause(std::initializer_list<Literal> literals)
{
    addFolded(literals);
}

void SatFormula::addClause(const std::vector<Literal>& literals)
{
    addFolded(literals);
}

void SatFormula::limitConflicts(int conflicts)
{
    solver_->limit("conflicts", conflicts);
}

SatAnswer SatFormula::solve(const std::vector<Literal>& assumptions, CaDiCaL::Terminator* terminator)
{
    // Every variable handed out is known to the solver, also one that no
    // clause mentions, so that its value can be read.
    if (variables_ > 0) solver_->reserve(variables_);
    bool contradiction = false;
    for (const Literal literal : assumptions) {
        if (literal == kFalseLiteral) contradiction = true;
        else if (literal != kTrueLiteral) solver_->assume(literal);
    }
    if (contradiction) {
        solver_->reset_assumptions();
        return SatAnswer::Unsatisfiable;
    }
    if (terminator != nullptr) solver_->connect_terminator(terminator);
    const int answer = solver_->solve();
    if (terminator != nullptr) solver_->disconnect_terminator();
    if (answer == 10) return SatAnswer::Satisfiable;
    if (answer == 20) return SatAnswer::Unsatisfiable;
    return SatAnswer::Unknown;
}

void SatFormula::hint(Literal literal)
{
    if (isConstant(literal)) return;
    solver_->reserve(variables_);
    solver_->phase(literal);
    hinted_.push_back(literal);
}

void SatFormula::clearHints()
{
    for (const Literal literal : hinted_) solver_->unphase(literal);
    hinted_.clear();
}

bool SatFormula::value(Literal literal) const
{
    if (isConstant(literal)) return literal == kTrueLiteral;
    return solver_->val(literal) > 0;
}
