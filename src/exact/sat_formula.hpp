#pragma once

#include <cadical.hpp>

#include <initializer_list>
#include <limits>
#include <memory>
#include <vector>

// Literals of the exact models: CaDiCaL's signed variable numbers, and two
// constants, so that a clause can name a site whose value is already known.
// Negation is the minus sign for both.
using Literal = int;
constexpr Literal kTrueLiteral = std::numeric_limits<int>::max();
constexpr Literal kFalseLiteral = -kTrueLiteral;

inline bool isConstant(Literal literal)
{
    return literal == kTrueLiteral || literal == kFalseLiteral;
}

inline Literal constantLiteral(bool value)
{
    return value ? kTrueLiteral : kFalseLiteral;
}

enum class SatAnswer { Satisfiable, Unsatisfiable, Unknown };

// "SAT", "UNSAT" or "UNKNOWN".
const char* satAnswerName(SatAnswer answer);

// A CNF formula in an incremental CaDiCaL solver. Clauses are simplified
// as they come: one that holds a true constant is dropped, false constants
// are left out of the others.
class SatFormula {
public:
    SatFormula();

    Literal newVariable();
    void addClause(std::initializer_list<Literal> literals);
    void addClause(const std::vector<Literal>& literals);

    // Solves under the assumptions, which hold for this call only. The
    // terminator, when given, can stop the call: the answer is then Unknown
    // and the formula stays usable.
    SatAnswer solve(const std::vector<Literal>& assumptions, CaDiCaL::Terminator* terminator = nullptr);

    // Bounds the next solve to `conflicts` solver conflicts, after which it
    // answers Unknown. Conflicts, unlike seconds, are the same on every
    // machine, so a bounded call gives the same answer everywhere.
    void limitConflicts(int conflicts);

    // Makes the solver try `literal` true first whenever it decides its
    // variable, until clearHints. Only the search order changes, never an
    // answer.
    void hint(Literal literal);
    void clearHints();

    // The value of a literal in the model of the last Satisfiable answer.
    bool value(Literal literal) const;

private:
    template <typename Range>
    void addFolded(const Range& literals);

    std::unique_ptr<CaDiCaL::Solver> solver_;
    int variables_ = 0;
    std::vector<Literal> kept_;
    std::vector<Literal> hinted_;
};
