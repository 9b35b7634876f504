#pragma once

#include "records/CodeTables.h"

#include <QString>
#include <QVariantList>
#include <optional>

namespace corvalis {
struct TFieldData;
using TFieldDataArray = std::vector<TFieldData>;
} // namespace corvalis

namespace corvalis::search {

// A condition on the records ("where c901>=? and c901<?") with the values it compares against. The
// text holds only column names the program knows and operators from its own lists; every value the
// user typed travels as a bound parameter.
struct Condition {
    QString sql;
    QVariantList params;
};

// A condition or the message that refuses the input, with the control that gets the focus back.
struct ConditionResult {
    std::optional<Condition> condition;
    QString message;
    QString focus;
    bool ok() const { return condition.has_value(); }
};

// The comparison operators of the search dialogs: 1 "=", 2 ">", 3 "<", 4 ">=", 5 "<=".
const TMenuItemDataArray& comparisonOperators();
// The joiners of the range search: 1 "和", 2 "或".
const TMenuItemDataArray& joiners();
// The SQL text of an operator or joiner code; empty for a code outside the lists.
QString operatorSql(qint64 code);
QString joinerSql(qint64 code);

// One side of a search: the chosen operator (0 for none) and the number typed (may be blank).
struct Comparison {
    qint64 op = 0;
    QString number;
};

// The range search on c901: one comparison or two joined by "and" or "or". Blank numbers take no
// part; both blank is refused.
ConditionResult buildRangeCondition(const Comparison& first, qint64 joiner, const Comparison& second);

// The indicator query: a range on one field of the dictionary. The field must be a column the
// dictionary knows; a number without its operator, or an operator without its number, is refused
// rather than handed to the engine.
ConditionResult buildIndicatorCondition(const TFieldDataArray& dictionary, const QString& field,
                                        const Comparison& first, const Comparison& second);

// Whether a text is a plain column name (letters, digits, underscore; not starting with a digit).
bool isColumnName(const QString& name);
// A name put between double quotes for SQL, embedded quotes doubled.
QString quoteIdentifier(const QString& name);

inline const QString NoConditionMessage = QStringLiteral("请至少输入一个条件");
inline const QString NoIndicatorMessage = QStringLiteral("请选择指标");
inline const QString CodeLengthMessage = QStringLiteral("c901必须为12位");
inline const QString MissingOperatorMessage = QStringLiteral("请为输入的数值选择比较符");
inline const QString MissingNumberMessage = QStringLiteral("请输入与比较符对应的数值");
inline const QString UnknownIndicatorMessage = QStringLiteral("所选的指标不存在");

} // namespace corvalis::search
