// Any text given to the rule compiler: it must compile or raise RuleSyntaxError, and a compiled rule
// must evaluate over any record values, the extremes included, without a crash or undefined arithmetic.
#include "checks/RuleExpression.h"

#include <QHash>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <limits>

using corvalis::checks::RuleExpression;
using corvalis::checks::RuleSyntaxError;

namespace {

constexpr int FieldCount = 6;
constexpr qint64 Min = std::numeric_limits<qint64>::min();
constexpr qint64 Max = std::numeric_limits<qint64>::max();

// Records the rules meet in practice, plus the values that break careless arithmetic.
const qint64 records[][FieldCount] = {
    {0, 0, 0, 0, 0, 0},
    {1, 2, 3, 5, 8, 13},
    {-1, 0, 1, -7, 7, 100000},
    {Min, -1, Max, 0, Min, Max},
};

// Names starting with "x" are unknown fields, so the compiler's refusal of them is exercised too;
// the others land in one of the record's slots.
int slotOf(const QString& name) {
    if (name.startsWith(QLatin1Char('x'), Qt::CaseInsensitive))
        return -1;
    return int(qHash(name.toLower()) % FieldCount);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    RuleExpression expression;
    try {
        expression = RuleExpression::compile(text, slotOf);
    } catch (const RuleSyntaxError&) {
        return 0;
    }
    for (const qint64* values : records) {
        const qint64 result = expression.evaluate(values);
        // Evaluation keeps no state between records.
        if (expression.evaluate(values) != result || expression.holds(values) != (result != 0))
            std::abort();
    }
    return 0;
}
