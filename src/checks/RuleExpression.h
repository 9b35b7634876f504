#pragma once

#include "app/Errors.h"

#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

namespace corvalis::checks {

// A rule text that does not parse, or names a field the record does not have.
class RuleSyntaxError : public Error {
public:
    using Error::Error;
};

// A value as the engine holds it: a 64-bit whole number or a floating-point number.
struct EngineNumber {
    bool real = false;
    qint64 whole = 0;
    double fraction = 0.0; // the value when real
};

// A column's value as the rules read it: whole numbers exactly, floating values as they are, texts
// as numbers, null and empty text as 0.
EngineNumber engineNumberOf(const QVariant& value);

// A rule text compiled once into a small stack program over whole numbers. The notation is the one
// the rules are written in: field names, whole-number constants, + - * /, the comparisons
// = <> < <= > >=, AND, OR, NOT (in any case) and parentheses, with the precedence of SQL
// (OR below AND below NOT below = <> below < <= > >= below + - below * / below unary minus).
// Comparisons and logical operators yield 1 for true and 0 for false; any value other than 0 counts
// as true. Division by zero yields 0, so evaluation never fails.
class RuleExpression {
public:
    // Maps a field name to the slot of the value array that evaluate() reads; -1 for an unknown name.
    using SlotOf = std::function<int(const QString& name)>;

    RuleExpression() = default;
    // Raises RuleSyntaxError with the position and the reason when the text does not compile.
    static RuleExpression compile(const QString& text, const SlotOf& slotOf);

    // Whole-number evaluation; sets *overflowed when a step left the 64-bit range, and the result
    // is then not to be trusted.
    qint64 evaluate(const qint64* values, bool* overflowed = nullptr) const;
    bool holds(const qint64* values) const { return evaluate(values) != 0; }
    // Evaluation as the engine computes: a whole-number step that would leave the 64-bit range goes
    // over to floating point, and a whole number compares exactly with a floating one. Division by
    // zero still yields 0.
    bool holdsExactly(const EngineNumber* values) const;
    // The fast evaluation, and the exact one where the fast one overflowed.
    bool holdsChecked(const qint64* values, int valueCount) const;

    // Working memory of holdsForBatch, kept by the caller from one batch to the next.
    struct BatchScratch {
        std::vector<std::vector<qint64>> stack;   // a column of values per stack level
        std::vector<std::vector<qint64>> pending; // left operands of AND and OR, by nesting
    };
    // The whole-number evaluation of count records at once, the value of slot s for record i being
    // columns[s][i]: sets doubtful[i] where the expression is false for record i or a step overflowed
    // (only the exact evaluation of that record can tell then), and leaves it as it was elsewhere.
    // Both operands of AND and OR are evaluated for every record, so that each step is one plain loop
    // over the batch; the result is the same, since evaluation has no side effects.
    void markDoubtful(const qint64* const* columns, size_t count, BatchScratch& scratch,
                      unsigned char* doubtful) const;

private:
    friend class RuleCompiler;
    enum class Op : unsigned char {
        Push,
        Load,
        Add,
        Sub,
        Mul,
        Div,
        Neg,
        Eq,
        Ne,
        Lt,
        Le,
        Gt,
        Ge,
        Not,
        // Short-circuit AND and OR: when the value on top decides the result, it becomes that
        // result (0 or 1) and evaluation goes on at operand; otherwise it is dropped.
        AndJump,
        OrJump,
        Bool, // turns the value on top into 0 or 1
        // A comparison of two fields, or of a field with a constant, in one step: the most common
        // shape of a rule's terms. compare holds Eq..Ge; operand is the left slot.
        CompareSlots,
        CompareConstant
    };
    struct Instruction {
        Op op;
        Op compare = Op::Eq;
        qint64 operand = 0; // the constant of Push, the slot of Load, the target of a jump
        qint64 right = 0;   // the right slot or constant of a fused comparison
    };
    static bool compared(Op compare, qint64 left, qint64 right);

    // Deeper expressions are refused when they are compiled, so evaluation needs no heap.
    static constexpr int MaxStackDepth = 64;

    std::vector<Instruction> m_code;
};

} // namespace corvalis::checks
