#include "RuleExpression.h"

#include "app/engine/Value.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include <limits>

namespace corvalis::checks {

namespace {

enum class TokenKind { Number, Name, Operator, Open, Close, End };

struct Token {
    TokenKind kind = TokenKind::End;
    QString text;
    qint64 number = 0;
    int position = 0;
};

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}
bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

std::vector<Token> tokenize(const QString& text) {
    std::vector<Token> tokens;
    int i = 0;
    const int n = text.size();
    auto fail = [&](const QString& why) {
        throw RuleSyntaxError(QStringLiteral("%1（第 %2 个字符）：%3").arg(why).arg(i + 1).arg(text));
    };
    while (i < n) {
        const QChar c = text.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        Token token;
        token.position = i;
        if (isAsciiDigit(c)) {
            const int start = i;
            while (i < n && isAsciiDigit(text.at(i)))
                ++i;
            bool ok = false;
            token.number = text.mid(start, i - start).toLongLong(&ok);
            if (!ok)
                fail(QStringLiteral("数字太大"));
            token.kind = TokenKind::Number;
        } else if (isAsciiLetter(c)) {
            const int start = i;
            while (i < n &&
                   (isAsciiLetter(text.at(i)) || isAsciiDigit(text.at(i)) || text.at(i) == QLatin1Char('_')))
                ++i;
            token.kind = TokenKind::Name;
            token.text = text.mid(start, i - start);
        } else if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
            token.kind = c == QLatin1Char('(') ? TokenKind::Open : TokenKind::Close;
            ++i;
        } else if (QStringLiteral("+-*/=<>").contains(c)) {
            token.kind = TokenKind::Operator;
            token.text = c;
            ++i;
            if (i < n && c == QLatin1Char('<') &&
                (text.at(i) == QLatin1Char('>') || text.at(i) == QLatin1Char('=')))
                token.text += text.at(i++);
            else if (i < n && c == QLatin1Char('>') && text.at(i) == QLatin1Char('='))
                token.text += text.at(i++);
        } else {
            fail(QStringLiteral("规则中有不能识别的字符“%1”").arg(c));
        }
        tokens.push_back(token);
    }
    Token end;
    end.position = n;
    tokens.push_back(end);
    return tokens;
}

} // namespace

// Recursive descent over the tokens, emitting postfix code and tracking the stack depth it needs.
class RuleCompiler {
public:
    RuleCompiler(const QString& text, const RuleExpression::SlotOf& slotOf)
        : m_text(text), m_tokens(tokenize(text)), m_slotOf(slotOf) {}

    RuleExpression compile() {
        parseOr();
        if (peek().kind != TokenKind::End)
            fail(QStringLiteral("规则在此处多出内容"));
        RuleExpression expression;
        expression.m_code = std::move(m_code);
        return expression;
    }

private:
    using Op = RuleExpression::Op;
    using Instruction = RuleExpression::Instruction;

    const Token& peek() const { return m_tokens[m_next]; }
    bool isKeyword(const char* word) const {
        return peek().kind == TokenKind::Name &&
               peek().text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool isOperator(const char* op) const {
        return peek().kind == TokenKind::Operator && peek().text == QLatin1String(op);
    }
    [[noreturn]] void fail(const QString& why) const {
        throw RuleSyntaxError(
            QStringLiteral("%1（第 %2 个字符）：%3").arg(why).arg(peek().position + 1).arg(m_text));
    }

    void emit(Op op, qint64 operand = 0) {
        if (isComparison(op) && fuseComparison(op))
            return;
        m_code.push_back({op, Op::Eq, operand, 0});
        if (op == Op::Push || op == Op::Load) {
            if (++m_depth > RuleExpression::MaxStackDepth)
                fail(QStringLiteral("规则嵌套太深"));
        } else if (op != Op::Neg && op != Op::Not && op != Op::Bool) {
            --m_depth;
        }
    }

    static bool isComparison(Op op) { return op >= Op::Eq && op <= Op::Ge; }

    // Parentheses, NOT and signs recurse into the parser; the limit keeps any text, however deeply
    // nested, from exhausting the call stack.
    static constexpr int MaxNesting = 64;
    void enterNesting() {
        if (++m_nesting > MaxNesting)
            fail(QStringLiteral("规则嵌套太深"));
    }

    // "field compare field" and "field compare constant" become one instruction.
    bool fuseComparison(Op op) {
        const size_t n = m_code.size();
        // A jump always lands after a Bool, never between two loads, so fusing them is safe.
        if (n < 2 || m_code[n - 2].op != Op::Load)
            return false;
        const Instruction right = m_code[n - 1];
        if (right.op != Op::Load && right.op != Op::Push)
            return false;
        Instruction fused{right.op == Op::Load ? Op::CompareSlots : Op::CompareConstant, op,
                          m_code[n - 2].operand, right.operand};
        m_code.pop_back();
        m_code.back() = fused;
        --m_depth;
        return true;
    }

    // left; jump; right; Bool, with the jump patched to land after Bool.
    template <typename ParseOperand> void emitShortCircuit(Op jump, ParseOperand parseOperand) {
        const size_t at = m_code.size();
        emit(jump);
        parseOperand();
        emit(Op::Bool);
        m_code[at].operand = qint64(m_code.size());
    }

    void parseOr() {
        parseAnd();
        while (isKeyword("or")) {
            ++m_next;
            emitShortCircuit(Op::OrJump, [this] { parseAnd(); });
        }
    }
    void parseAnd() {
        parseNot();
        while (isKeyword("and")) {
            ++m_next;
            emitShortCircuit(Op::AndJump, [this] { parseNot(); });
        }
    }
    void parseNot() {
        if (isKeyword("not")) {
            ++m_next;
            enterNesting();
            parseNot();
            --m_nesting;
            emit(Op::Not);
            return;
        }
        parseEquality();
    }
    void parseEquality() {
        parseRelational();
        for (;;) {
            if (isOperator("=")) {
                ++m_next;
                parseRelational();
                emit(Op::Eq);
            } else if (isOperator("<>")) {
                ++m_next;
                parseRelational();
                emit(Op::Ne);
            } else {
                return;
            }
        }
    }
    void parseRelational() {
        parseAdditive();
        static const struct {
            const char* text;
            Op op;
        } comparisons[] = {{"<", Op::Lt}, {"<=", Op::Le}, {">", Op::Gt}, {">=", Op::Ge}};
        for (;;) {
            bool matched = false;
            for (const auto& comparison : comparisons) {
                if (isOperator(comparison.text)) {
                    ++m_next;
                    parseAdditive();
                    emit(comparison.op);
                    matched = true;
                    break;
                }
            }
            if (!matched)
                return;
        }
    }
    void parseAdditive() {
        parseMultiplicative();
        for (;;) {
            if (isOperator("+")) {
                ++m_next;
                parseMultiplicative();
                emit(Op::Add);
            } else if (isOperator("-")) {
                ++m_next;
                parseMultiplicative();
                emit(Op::Sub);
            } else {
                return;
            }
        }
    }
    void parseMultiplicative() {
        parseUnary();
        for (;;) {
            if (isOperator("*")) {
                ++m_next;
                parseUnary();
                emit(Op::Mul);
            } else if (isOperator("/")) {
                ++m_next;
                parseUnary();
                emit(Op::Div);
            } else {
                return;
            }
        }
    }
    void parseUnary() {
        if (isOperator("-")) {
            ++m_next;
            enterNesting();
            parseUnary();
            --m_nesting;
            emit(Op::Neg);
        } else if (isOperator("+")) {
            ++m_next;
            enterNesting();
            parseUnary();
            --m_nesting;
        } else {
            parsePrimary();
        }
    }
    void parsePrimary() {
        const Token& token = peek();
        switch (token.kind) {
        case TokenKind::Number:
            ++m_next;
            emit(Op::Push, token.number);
            return;
        case TokenKind::Name: {
            if (isKeyword("and") || isKeyword("or") || isKeyword("not"))
                fail(QStringLiteral("此处缺少数值"));
            const int slot = m_slotOf(token.text);
            if (slot < 0)
                fail(QStringLiteral("没有名为“%1”的字段").arg(token.text));
            ++m_next;
            emit(Op::Load, slot);
            return;
        }
        case TokenKind::Open:
            ++m_next;
            enterNesting();
            parseOr();
            --m_nesting;
            if (peek().kind != TokenKind::Close)
                fail(QStringLiteral("缺少右括号"));
            ++m_next;
            return;
        default:
            fail(QStringLiteral("此处缺少数值"));
        }
    }

    QString m_text;
    std::vector<Token> m_tokens;
    const RuleExpression::SlotOf& m_slotOf;
    std::vector<RuleExpression::Instruction> m_code;
    size_t m_next = 0;
    int m_depth = 0;
    int m_nesting = 0;
};

RuleExpression RuleExpression::compile(const QString& text, const SlotOf& slotOf) {
    return RuleCompiler(text, slotOf).compile();
}

qint64 RuleExpression::evaluate(const qint64* values, bool* overflowed) const {
    qint64 stack[MaxStackDepth];
    int top = -1;
    // The counts of a record never come near the limits; a step that does is flagged, and its
    // wrapped result stays defined.
    bool overflow = false;
    auto wrap = [](quint64 v) { return qint64(v); };
    const Instruction* const code = m_code.data();
    const size_t size = m_code.size();
    for (size_t at = 0; at < size; ++at) {
        const Instruction& instruction = code[at];
        switch (instruction.op) {
        case Op::Push:
            stack[++top] = instruction.operand;
            continue;
        case Op::Load:
            stack[++top] = values[instruction.operand];
            continue;
        case Op::CompareSlots:
            stack[++top] =
                compared(instruction.compare, values[instruction.operand], values[instruction.right]);
            continue;
        case Op::CompareConstant:
            stack[++top] = compared(instruction.compare, values[instruction.operand], instruction.right);
            continue;
        case Op::Neg:
            overflow |= stack[top] == std::numeric_limits<qint64>::min();
            stack[top] = wrap(0 - quint64(stack[top]));
            continue;
        case Op::Not:
            stack[top] = stack[top] == 0;
            continue;
        case Op::Bool:
            stack[top] = stack[top] != 0;
            continue;
        case Op::AndJump:
            if (stack[top] == 0) {
                at = size_t(instruction.operand) - 1;
            } else {
                --top;
            }
            continue;
        case Op::OrJump:
            if (stack[top] != 0) {
                stack[top] = 1;
                at = size_t(instruction.operand) - 1;
            } else {
                --top;
            }
            continue;
        default:
            break;
        }
        const qint64 right = stack[top--];
        qint64& left = stack[top];
        switch (instruction.op) {
        case Op::Add:
            overflow |= __builtin_add_overflow(left, right, &left);
            break;
        case Op::Sub:
            overflow |= __builtin_sub_overflow(left, right, &left);
            break;
        case Op::Mul:
            overflow |= __builtin_mul_overflow(left, right, &left);
            break;
        case Op::Div:
            if (right == -1 && left == std::numeric_limits<qint64>::min()) {
                overflow = true;
                left = 0;
            } else {
                left = right == 0 ? 0 : left / right;
            }
            break;
        default:
            left = compared(instruction.op, left, right);
            break;
        }
    }
    if (overflowed)
        *overflowed = overflow;
    return top >= 0 ? stack[top] : 0;
}

namespace {

double asDouble(const EngineNumber& n) {
    return n.real ? n.fraction : double(n.whole);
}

EngineNumber realNumber(double value) {
    return {true, 0, value};
}

bool truthy(const EngineNumber& n) {
    return n.real ? n.fraction != 0.0 : n.whole != 0;
}

// -1, 0 or 1 as a whole number compares with a floating one, exactly (as the engine does).
int compareWholeWithReal(qint64 whole, double real) {
    constexpr double Past = 9223372036854775808.0;
    if (std::isnan(real))
        return 1;
    if (real < -Past)
        return 1;
    if (real >= Past)
        return -1;
    const double cut = std::trunc(real);
    const qint64 y = qint64(cut);
    if (whole != y)
        return whole < y ? -1 : 1;
    const double rest = real - cut;
    return rest > 0 ? -1 : (rest < 0 ? 1 : 0);
}

int compareNumbers(const EngineNumber& a, const EngineNumber& b) {
    if (!a.real && !b.real)
        return a.whole < b.whole ? -1 : (a.whole > b.whole ? 1 : 0);
    if (a.real && b.real)
        return a.fraction < b.fraction ? -1 : (a.fraction > b.fraction ? 1 : 0);
    return a.real ? -compareWholeWithReal(b.whole, a.fraction) : compareWholeWithReal(a.whole, b.fraction);
}

EngineNumber arithmetic(char op, const EngineNumber& a, const EngineNumber& b) {
    if (!a.real && !b.real) {
        qint64 out = 0;
        bool overflow = false;
        switch (op) {
        case '+':
            overflow = __builtin_add_overflow(a.whole, b.whole, &out);
            break;
        case '-':
            overflow = __builtin_sub_overflow(a.whole, b.whole, &out);
            break;
        case '*':
            overflow = __builtin_mul_overflow(a.whole, b.whole, &out);
            break;
        default:
            if (b.whole == 0)
                return {};
            overflow = b.whole == -1 && a.whole == std::numeric_limits<qint64>::min();
            out = overflow ? 0 : a.whole / b.whole;
            break;
        }
        if (!overflow)
            return {false, out, 0.0};
    }
    const double x = asDouble(a), y = asDouble(b);
    switch (op) {
    case '+':
        return realNumber(x + y);
    case '-':
        return realNumber(x - y);
    case '*':
        return realNumber(x * y);
    default:
        return y == 0.0 ? EngineNumber{} : realNumber(x / y);
    }
}

} // namespace

bool RuleExpression::holdsExactly(const EngineNumber* values) const {
    EngineNumber stack[MaxStackDepth];
    int top = -1;
    auto flag = [](bool b) { return EngineNumber{false, b ? 1 : 0, 0.0}; };
    auto comparedAs = [](Op op, int order) {
        switch (op) {
        case Op::Eq:
            return order == 0;
        case Op::Ne:
            return order != 0;
        case Op::Lt:
            return order < 0;
        case Op::Le:
            return order <= 0;
        case Op::Gt:
            return order > 0;
        case Op::Ge:
            return order >= 0;
        default:
            return false;
        }
    };
    const size_t size = m_code.size();
    for (size_t at = 0; at < size; ++at) {
        const Instruction& instruction = m_code[at];
        switch (instruction.op) {
        case Op::Push:
            stack[++top] = {false, instruction.operand, 0.0};
            continue;
        case Op::Load:
            stack[++top] = values[instruction.operand];
            continue;
        case Op::CompareSlots:
            stack[++top] = flag(comparedAs(
                instruction.compare, compareNumbers(values[instruction.operand], values[instruction.right])));
            continue;
        case Op::CompareConstant:
            stack[++top] =
                flag(comparedAs(instruction.compare, compareNumbers(values[instruction.operand],
                                                                    {false, instruction.right, 0.0})));
            continue;
        case Op::Neg:
            stack[top] = arithmetic('-', {}, stack[top]);
            continue;
        case Op::Not:
            stack[top] = flag(!truthy(stack[top]));
            continue;
        case Op::Bool:
            stack[top] = flag(truthy(stack[top]));
            continue;
        case Op::AndJump:
            if (!truthy(stack[top])) {
                stack[top] = flag(false);
                at = size_t(instruction.operand) - 1;
            } else {
                --top;
            }
            continue;
        case Op::OrJump:
            if (truthy(stack[top])) {
                stack[top] = flag(true);
                at = size_t(instruction.operand) - 1;
            } else {
                --top;
            }
            continue;
        default:
            break;
        }
        const EngineNumber right = stack[top--];
        EngineNumber& left = stack[top];
        switch (instruction.op) {
        case Op::Add:
            left = arithmetic('+', left, right);
            break;
        case Op::Sub:
            left = arithmetic('-', left, right);
            break;
        case Op::Mul:
            left = arithmetic('*', left, right);
            break;
        case Op::Div:
            left = arithmetic('/', left, right);
            break;
        default:
            left = flag(comparedAs(instruction.op, compareNumbers(left, right)));
            break;
        }
    }
    return top >= 0 && truthy(stack[top]);
}

bool RuleExpression::holdsChecked(const qint64* values, int valueCount) const {
    bool overflowed = false;
    const bool fast = evaluate(values, &overflowed) != 0;
    if (!overflowed)
        return fast;
    std::vector<EngineNumber> exact(static_cast<size_t>(valueCount));
    for (int i = 0; i < valueCount; ++i)
        exact[size_t(i)].whole = values[i];
    return holdsExactly(exact.data());
}

namespace {

// One step of the batch evaluation: out[i] = f(left[i], right[i]) for every record, in a loop the
// compiler can vectorise. out may be left itself.
template <typename F> void combine(const qint64* left, const qint64* right, qint64* out, size_t count, F f) {
    for (size_t i = 0; i < count; ++i)
        out[i] = f(left[i], right[i]);
}

template <typename F>
void combineChecked(const qint64* left, const qint64* right, qint64* out, unsigned char* doubtful,
                    size_t count, F f) {
    for (size_t i = 0; i < count; ++i) {
        qint64 result;
        doubtful[i] |= (unsigned char)f(left[i], right[i], &result);
        out[i] = result;
    }
}

template <typename Compare>
void compareColumns(const qint64* left, const qint64* right, qint64* out, size_t count, Compare compare) {
    combine(left, right, out, count, [compare](qint64 a, qint64 b) { return qint64(compare(a, b)); });
}

template <typename Compare>
void compareWith(const qint64* left, qint64 right, qint64* out, size_t count, Compare compare) {
    for (size_t i = 0; i < count; ++i)
        out[i] = compare(left[i], right);
}

} // namespace

void RuleExpression::markDoubtful(const qint64* const* columns, size_t count, BatchScratch& scratch,
                                  unsigned char* doubtful) const {
    if (count == 0)
        return;
    // The stack holds a column per level: either one of the record columns (never written) or the
    // scratch column of that level.
    const qint64* stack[MaxStackDepth];
    int top = -1;
    auto level = [&](int at) -> qint64* {
        if (scratch.stack.size() <= size_t(at))
            scratch.stack.resize(size_t(at) + 1);
        std::vector<qint64>& column = scratch.stack[size_t(at)];
        if (column.size() < count)
            column.resize(count);
        return column.data();
    };
    // A pending AND or OR: the truth of its left operand, and where its right one ends.
    struct Pending {
        size_t target;
        Op op;
        qint64* left;
    };
    std::vector<Pending> pendings;
    auto settle = [&](size_t at) {
        while (!pendings.empty() && pendings.back().target == at) {
            const Pending pending = pendings.back();
            pendings.pop_back();
            qint64* out = level(top);
            if (pending.op == Op::AndJump)
                combine(pending.left, stack[top], out, count, [](qint64 a, qint64 b) { return a & b; });
            else
                combine(pending.left, stack[top], out, count, [](qint64 a, qint64 b) { return a | b; });
            stack[top] = out;
        }
    };
    auto comparing = [&](Op compare, auto&& apply) {
        switch (compare) {
        case Op::Eq:
            apply(std::equal_to<qint64>());
            break;
        case Op::Ne:
            apply(std::not_equal_to<qint64>());
            break;
        case Op::Lt:
            apply(std::less<qint64>());
            break;
        case Op::Le:
            apply(std::less_equal<qint64>());
            break;
        case Op::Gt:
            apply(std::greater<qint64>());
            break;
        default:
            apply(std::greater_equal<qint64>());
            break;
        }
    };
    const size_t size = m_code.size();
    for (size_t at = 0; at < size; ++at) {
        settle(at);
        const Instruction& instruction = m_code[at];
        switch (instruction.op) {
        case Op::Push: {
            qint64* out = level(++top);
            std::fill(out, out + count, instruction.operand);
            stack[top] = out;
            continue;
        }
        case Op::Load:
            stack[++top] = columns[instruction.operand];
            continue;
        case Op::CompareSlots: {
            qint64* out = level(++top);
            const qint64* left = columns[instruction.operand];
            const qint64* right = columns[instruction.right];
            comparing(instruction.compare,
                      [&](auto compare) { compareColumns(left, right, out, count, compare); });
            stack[top] = out;
            continue;
        }
        case Op::CompareConstant: {
            qint64* out = level(++top);
            const qint64* left = columns[instruction.operand];
            const qint64 right = instruction.right;
            comparing(instruction.compare,
                      [&](auto compare) { compareWith(left, right, out, count, compare); });
            stack[top] = out;
            continue;
        }
        case Op::Neg: {
            qint64* out = level(top);
            const qint64* in = stack[top];
            for (size_t i = 0; i < count; ++i) {
                doubtful[i] |= (unsigned char)(in[i] == std::numeric_limits<qint64>::min());
                out[i] = qint64(0 - quint64(in[i]));
            }
            stack[top] = out;
            continue;
        }
        case Op::Not:
        case Op::Bool: {
            qint64* out = level(top);
            const qint64* in = stack[top];
            const qint64 zero = instruction.op == Op::Not ? 1 : 0;
            for (size_t i = 0; i < count; ++i)
                out[i] = (in[i] == 0) == bool(zero);
            stack[top] = out;
            continue;
        }
        case Op::AndJump:
        case Op::OrJump: {
            const size_t depth = pendings.size();
            if (scratch.pending.size() <= depth)
                scratch.pending.resize(depth + 1);
            std::vector<qint64>& left = scratch.pending[depth];
            if (left.size() < count)
                left.resize(count);
            const qint64* in = stack[top--];
            for (size_t i = 0; i < count; ++i)
                left[i] = in[i] != 0;
            pendings.push_back({size_t(instruction.operand), instruction.op, left.data()});
            continue;
        }
        default:
            break;
        }
        const qint64* right = stack[top--];
        const qint64* left = stack[top];
        qint64* out = level(top);
        switch (instruction.op) {
        case Op::Add:
            combineChecked(left, right, out, doubtful, count,
                           [](qint64 a, qint64 b, qint64* r) { return __builtin_add_overflow(a, b, r); });
            break;
        case Op::Sub:
            combineChecked(left, right, out, doubtful, count,
                           [](qint64 a, qint64 b, qint64* r) { return __builtin_sub_overflow(a, b, r); });
            break;
        case Op::Mul:
            combineChecked(left, right, out, doubtful, count,
                           [](qint64 a, qint64 b, qint64* r) { return __builtin_mul_overflow(a, b, r); });
            break;
        case Op::Div:
            combineChecked(left, right, out, doubtful, count, [](qint64 a, qint64 b, qint64* r) {
                const bool overflow = b == -1 && a == std::numeric_limits<qint64>::min();
                *r = b == 0 || overflow ? 0 : a / b;
                return overflow;
            });
            break;
        default:
            comparing(instruction.op,
                      [&](auto compare) { compareColumns(left, right, out, count, compare); });
            break;
        }
        stack[top] = out;
    }
    settle(size);
    if (top < 0)
        return;
    const qint64* result = stack[top];
    for (size_t i = 0; i < count; ++i)
        doubtful[i] |= (unsigned char)(result[i] == 0);
}

bool RuleExpression::compared(Op compare, qint64 left, qint64 right) {
    switch (compare) {
    case Op::Eq:
        return left == right;
    case Op::Ne:
        return left != right;
    case Op::Lt:
        return left < right;
    case Op::Le:
        return left <= right;
    case Op::Gt:
        return left > right;
    case Op::Ge:
        return left >= right;
    default:
        return false;
    }
}

EngineNumber engineNumberOf(const QVariant& value) {
    if (value.typeId() == QMetaType::Double)
        return {true, 0, value.toDouble()};
    if (value.typeId() == QMetaType::LongLong)
        return {false, value.toLongLong(), 0.0};
    if (value.isNull())
        return {};
    bool whole = false;
    const qint64 number = value.toString().trimmed().toLongLong(&whole);
    if (whole)
        return {false, number, 0.0};
    return {true, 0, engine::floatOf(value)};
}

} // namespace corvalis::checks
