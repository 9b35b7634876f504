#include "SearchConditions.h"

#include "app/FieldDictionary.h"

#include <QRegularExpression>

namespace corvalis::search {

namespace {
// Numbers of the search dialogs are whole numbers; a code of 12 digits exceeds 32 bits, so they
// are compared as 64-bit integers (the engine compares them equal to the stored doubles).
std::optional<qint64> wholeNumber(const QString& text) {
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

ConditionResult refuse(const QString& message, const QString& focus) {
    ConditionResult result;
    result.message = message;
    result.focus = focus;
    return result;
}
} // namespace

const TMenuItemDataArray& comparisonOperators() {
    static const TMenuItemDataArray list = {{1, QStringLiteral("=")},
                                            {2, QStringLiteral(">")},
                                            {3, QStringLiteral("<")},
                                            {4, QStringLiteral(">=")},
                                            {5, QStringLiteral("<=")}};
    return list;
}

const TMenuItemDataArray& joiners() {
    static const TMenuItemDataArray list = {{1, QStringLiteral("和")}, {2, QStringLiteral("或")}};
    return list;
}

QString operatorSql(qint64 code) {
    return records::codeName(comparisonOperators(), code);
}

QString joinerSql(qint64 code) {
    switch (code) {
    case 1:
        return QStringLiteral(" AND ");
    case 2:
        return QStringLiteral(" OR ");
    default:
        return QString();
    }
}

bool isColumnName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return pattern.match(name).hasMatch();
}

QString quoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

ConditionResult buildRangeCondition(const Comparison& first, qint64 joiner, const Comparison& second) {
    const bool hasFirst = !first.number.trimmed().isEmpty();
    const bool hasSecond = !second.number.trimmed().isEmpty();
    if (!hasFirst && !hasSecond)
        return refuse(NoConditionMessage, QStringLiteral("number1"));
    const auto firstValue = wholeNumber(first.number);
    const auto secondValue = wholeNumber(second.number);
    if ((hasFirst && !firstValue) || (hasSecond && !secondValue))
        return refuse(NoConditionMessage,
                      hasFirst && !firstValue ? QStringLiteral("number1") : QStringLiteral("number2"));
    const QString firstOp = operatorSql(first.op);
    const QString secondOp = operatorSql(second.op);
    if ((hasFirst && firstOp.isEmpty()) || (hasSecond && secondOp.isEmpty()))
        return refuse(MissingOperatorMessage,
                      hasFirst && firstOp.isEmpty() ? QStringLiteral("lc1") : QStringLiteral("lc3"));
    Condition condition{QStringLiteral("where "), {}};
    if (hasFirst) {
        condition.sql += QStringLiteral("c901") + firstOp + QStringLiteral("?");
        condition.params << *firstValue;
        if (hasSecond) {
            const QString join = joinerSql(joiner).isEmpty() ? joinerSql(1) : joinerSql(joiner);
            condition.sql += join + QStringLiteral("c901") + secondOp + QStringLiteral("?");
            condition.params << *secondValue;
        }
    } else {
        condition.sql += QStringLiteral("c901") + secondOp + QStringLiteral("?");
        condition.params << *secondValue;
    }
    ConditionResult result;
    result.condition = condition;
    return result;
}

ConditionResult buildIndicatorCondition(const TFieldDataArray& dictionary, const QString& field,
                                        const Comparison& first, const Comparison& second) {
    const QString name = field.trimmed();
    if (name.isEmpty())
        return refuse(NoIndicatorMessage, QStringLiteral("DataField"));
    const bool hasFirst = !first.number.trimmed().isEmpty();
    const bool hasSecond = !second.number.trimmed().isEmpty();
    if (!hasFirst && !hasSecond)
        return refuse(NoConditionMessage, QStringLiteral("Number1"));
    if (name.compare(QLatin1String("c901"), Qt::CaseInsensitive) == 0) {
        if (hasFirst && first.number.trimmed().size() != 12)
            return refuse(CodeLengthMessage, QStringLiteral("Number1"));
        if (hasSecond && second.number.trimmed().size() != 12)
            return refuse(CodeLengthMessage, QStringLiteral("Number2"));
    }
    // Only a column the dictionary names reaches the statement, in the dictionary's spelling.
    const TFieldData* known = findField(dictionary, name);
    if (!known || !isColumnName(known->fieldName))
        return refuse(UnknownIndicatorMessage, QStringLiteral("DataField"));
    const QString column = known->fieldName;

    const Comparison* sides[] = {&first, &second};
    const char* operatorFocus[] = {"lc1", "lc3"};
    const char* numberFocus[] = {"Number1", "Number2"};
    Condition condition{QStringLiteral("where "), {}};
    int parts = 0;
    for (int i = 0; i < 2; ++i) {
        const Comparison& side = *sides[i];
        const QString op = operatorSql(side.op);
        const bool hasNumber = !side.number.trimmed().isEmpty();
        if (op.isEmpty() && !hasNumber)
            continue;
        if (op.isEmpty())
            return refuse(MissingOperatorMessage, QString::fromLatin1(operatorFocus[i]));
        const auto value = wholeNumber(side.number);
        if (!hasNumber || !value)
            return refuse(MissingNumberMessage, QString::fromLatin1(numberFocus[i]));
        if (parts > 0)
            condition.sql += QStringLiteral(" and ");
        condition.sql += column + op + QStringLiteral("?");
        condition.params << *value;
        ++parts;
    }
    ConditionResult result;
    result.condition = condition;
    return result;
}

} // namespace corvalis::search
