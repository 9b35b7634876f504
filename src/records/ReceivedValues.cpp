#include "ReceivedValues.h"

#include "EntryRecord.h"
#include "SurveyColumns.h"

#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

namespace corvalis::records {

namespace {

enum class Shape { Whole, Text };

// What one column of a received record may hold: a whole number between least and most (a floating
// value counts when it is whole), or a text of at most most characters; null where a record may
// lack the value.
struct ValueRule {
    Shape shape;
    qint64 least;
    qint64 most;
    bool nullAllowed;
};

// 2^53 - 1: the largest row number a double still holds exactly.
constexpr qint64 LargestRowNumber = 9007199254740991LL;
// The entry form's code boxes take six digits.
constexpr qint64 LargestCoverCode = 999999;
// Text limits are the entry form's, counted in characters: a GBK byte limit is never fewer characters.
struct NamedRule {
    const char* column;
    ValueRule rule;
};
const NamedRule CoverRules[] = {
    {"id", {Shape::Whole, 0, LargestRowNumber, true}},
    {"c900", {Shape::Text, 0, 32, true}},
    {"c901", {Shape::Whole, 100000000000LL, 999999999999LL, false}},
    {"c902", {Shape::Text, 0, 60, true}},
    {"c903", {Shape::Whole, 0, LargestCoverCode, true}},
    {"c904", {Shape::Whole, 0, LargestCoverCode, true}},
    {"c905", {Shape::Whole, 0, LargestCoverCode, true}},
    {"c906", {Shape::Whole, 0, LargestCoverCode, true}},
    {"c907", {Shape::Text, 0, 3, true}},
    {"c909", {Shape::Whole, 0, 3, true}},
    {"c910", {Shape::Text, 0, 50, true}},
    {"c911", {Shape::Text, 0, 50, true}},
    {"c912", {Shape::Whole, 0, LargestCoverCode, true}},
    // A CSV file may leave the state out; the check runner gives such a record its state.
    {"RecordState", {Shape::Whole, 0, 2, true}},
};
// Counts and answers alike: an answer past 2 is what the logic check is there to report (a record
// held with its logic errors, a file of an older version), so it is not refused on arrival.
const ValueRule SurveyRule{Shape::Whole, 0, LargestCount, true};

// The filing state is a code of CT_state, or 0 while not set; the entry form zeroes every survey
// column of a union that does not file (state 3 or more).
const char* const FilingStateColumn = "c912";

const ValueRule* ruleOf(const QString& column) {
    for (const NamedRule& named : CoverRules)
        if (column.compare(QLatin1String(named.column), Qt::CaseInsensitive) == 0)
            return &named.rule;
    if (surveyColumnIndex(column) < 0)
        return nullptr;
    return &SurveyRule;
}

QString quotedName(const QString& column) {
    return QLatin1Char('"') + column + QLatin1Char('"');
}

// The conditions are plain comparisons, no function calls, so that checking a million records costs
// little beside copying them. A null value makes a condition null, and a record is refused only when
// one of its conditions is false: a null passes unless the rule asks for a value. Text and blobs
// sort after every number, so a range of numbers shuts them out; a fraction differs from its cast.
QString wholeCondition(const QString& x, const ValueRule& rule) {
    const QString condition = QStringLiteral("(%1 between %2 and %3 and %1=cast(%1 as integer))")
                                  .arg(x)
                                  .arg(rule.least)
                                  .arg(rule.most);
    return rule.nullAllowed ? condition : QStringLiteral("(%1 is not null and %2)").arg(x, condition);
}

QString textCondition(const QString& x, const ValueRule& rule) {
    const QString condition = QStringLiteral("length(%1)<=%2").arg(x).arg(rule.most);
    return rule.nullAllowed ? condition : QStringLiteral("(%1 is not null and %2)").arg(x, condition);
}

// A CASE, which the engine evaluates lazily: the zeroes of a non-filing union are looked at only for
// such a union.
QString filingStateCondition(const QString& x, bool withStateTable) {
    QStringList zeroes;
    for (const SurveyColumn& column : surveyColumns())
        zeroes << QStringLiteral("coalesce(%1,0)=0").arg(QLatin1String(column.name));
    const QString known =
        withStateTable ? QStringLiteral("%1 in (select ID from main.CT_state)").arg(x) : QStringLiteral("1");
    return QStringLiteral("(case when %1 is null or %1=0 then 1 when %1<=2 then %2 else %2 and %3 end)")
        .arg(x, known, zeroes.join(QLatin1String(" and ")));
}

QStringList recordColumns(engine::Connection& connection) {
    engine::Statement columns(connection, QStringLiteral("select name from pragma_table_info('dt_data')"));
    QStringList names;
    while (columns.step())
        names << columns.text(0);
    return names;
}

} // namespace

QString receivedValueCondition(const QString& column, bool withStateTable) {
    const ValueRule* rule = ruleOf(column);
    if (!rule)
        return QString();
    const QString x = quotedName(column);
    QString condition = rule->shape == Shape::Whole ? wholeCondition(x, *rule) : textCondition(x, *rule);
    if (column.compare(QLatin1String(FilingStateColumn), Qt::CaseInsensitive) == 0)
        condition += QStringLiteral(" and ") + filingStateCondition(x, withStateTable);
    return condition;
}

QString receivedRecordCondition(engine::Connection& connection) {
    const bool withStateTable = connection.tableExists(QStringLiteral("CT_state"));
    QStringList allHold;
    for (const QString& column : recordColumns(connection)) {
        const QString condition = receivedValueCondition(column, withStateTable);
        if (!condition.isEmpty())
            allHold << QStringLiteral("(%1) is not 0").arg(condition);
    }
    // Separate terms of a WHERE clause, each 1 or 0: the engine stops at the first false one.
    return allHold.isEmpty() ? QStringLiteral("1") : allHold.join(QLatin1String(" and "));
}

RefusedRecords refusedRecords(engine::Connection& connection, const QString& table) {
    const bool withStateTable = connection.tableExists(QStringLiteral("CT_state"));
    QStringList faults;
    for (const QString& column : recordColumns(connection)) {
        const QString condition = receivedValueCondition(column, withStateTable);
        if (!condition.isEmpty())
            faults << QStringLiteral("iif((%1) is not 0,'','%2 ')").arg(condition, column);
    }
    RefusedRecords refused;
    if (faults.isEmpty())
        return refused;
    // The fault list is worked out only for the records the condition lets through. A code stored as
    // a whole floating value shows without decimals; other values as the engine quotes them, cut short.
    engine::Statement read(
        connection, QStringLiteral("select case when typeof(c901)='real' and c901=cast(c901 as integer) "
                                   "then cast(cast(c901 as integer) as text) when typeof(c901)='real' "
                                   "then cast(c901 as text) else substr(quote(c901),1,40) end, "
                                   "rtrim(%1) from %2 where not (%3) limit %4")
                        .arg(faults.join(QLatin1String("||")), table, receivedRecordCondition(connection))
                        .arg(RefusedRecordListLimit));
    while (read.step())
        refused.push_back({read.text(0), read.text(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)});
    return refused;
}

} // namespace corvalis::records
