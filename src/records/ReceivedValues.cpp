#include "ReceivedValues.h"

#include "EntryRecord.h"
#include "ReceivedIndexes.h"
#include "SurveyColumns.h"
#include "TablePages.h"

#include "app/Errors.h"
#include "app/ReceivedFile.h"
#include "app/engine/Connection.h"
#include "app/engine/QuestionBeside.h"
#include "app/engine/Statement.h"

#include <QSet>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <sqlite3.h>
#include <unordered_set>

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

bool isFilingStateColumn(const QString& column) {
    return column.compare(QLatin1String(FilingStateColumn), Qt::CaseInsensitive) == 0;
}

const ValueRule* ruleOf(const QString& column) {
    for (const NamedRule& named : CoverRules)
        if (column.compare(QLatin1String(named.column), Qt::CaseInsensitive) == 0)
            return &named.rule;
    if (surveyColumnIndex(column) < 0)
        return nullptr;
    return &SurveyRule;
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

// Every property of dt_data's columns in a schema that decides how its records are stored and read.
QStringList columnDeclarations(engine::Connection& connection, const QString& schema) {
    engine::Statement read(connection, QStringLiteral("select quote(name)||quote(type)||quote(\"notnull\")||"
                                                      "quote(dflt_value)||quote(pk)||quote(hidden) "
                                                      "from pragma_table_xinfo('dt_data', ?1)"));
    read.bind(1, schema);
    QStringList declarations;
    while (read.step())
        declarations << read.text(0);
    return declarations;
}

// The quick look at a record: one call of a C function over the record's ruled columns, which passes
// a record when every value plainly holds. It only ever passes what the engine's condition passes;
// anything else (a fraction, a long text, a state it cannot place) is left to the condition.
const char* const QuickLookFunction = "corvalis_values_hold";

struct QuickColumn {
    const ValueRule* rule;
    bool filingState;
    bool survey;
    int position; // in the table's columns
    // Judged by the whole numbers alone: limits a double holds exactly compare a whole number the
    // same way as its floating value, which a column of REAL affinity would hand over.
    bool byWholeForm;

    static QuickColumn of(const ValueRule* rule, const QString& column, int position) {
        const bool filingState = isFilingStateColumn(column);
        const bool byWholeForm = rule->shape == Shape::Whole && !filingState &&
                                 rule->least >= -LargestRowNumber && rule->most <= LargestRowNumber;
        return {rule, filingState, surveyColumnIndex(column) >= 0, position, byWholeForm};
    }
};

struct QuickLook {
    std::vector<QuickColumn> columns; // in the order of the function's arguments
    bool withStateTable = false;
    bool allSurveyColumns = false;     // every survey column is among the arguments
    std::unordered_set<qint64> states; // the codes of CT_state stored as whole numbers
    QStringList arguments;             // the quoted names of the columns
    std::vector<bool> realColumns;     // the table's columns of REAL affinity, by position
    // The function's call over the record's columns.
    QString call() const {
        return QLatin1String(QuickLookFunction) + QLatin1Char('(') + arguments.join(QLatin1Char(',')) +
               QLatin1Char(')');
    }
};

// The characters of a text as the engine's length() counts them, byte for byte the same walk: up to
// the first NUL, a byte from 0xc0 up takes the continuation bytes after it along.
qint64 textLength(const unsigned char* text, qint64 size) {
    qint64 characters = 0;
    const unsigned char* const end = text + size;
    for (const unsigned char* z = text; z && z < end && *z; ++characters) {
        const unsigned char c = *z++;
        if (c >= 0xc0)
            while (z < end && (*z & 0xc0) == 0x80)
                ++z;
    }
    return characters;
}

// A value as the engine hands it to the quick look's function.
StoredField fieldOf(sqlite3_value* value) {
    StoredField field;
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        field.type = StoredField::Type::Integer;
        field.integer = sqlite3_value_int64(value);
        break;
    case SQLITE_FLOAT:
        field.type = StoredField::Type::Float;
        field.real = sqlite3_value_double(value);
        break;
    case SQLITE_TEXT:
        field.type = StoredField::Type::Text;
        field.bytes = sqlite3_value_text(value);
        field.size = sqlite3_value_bytes(value);
        break;
    case SQLITE_BLOB:
        field.type = StoredField::Type::Blob;
        break;
    default:
        break;
    }
    return field;
}

bool plainlyHolds(const StoredField& value, const ValueRule& rule) {
    switch (value.type) {
    case StoredField::Type::Null:
        return rule.nullAllowed;
    case StoredField::Type::Integer:
        return rule.shape == Shape::Whole && value.integer >= rule.least && value.integer <= rule.most;
    case StoredField::Type::Float:
        // The limits lie below 2^53, where a double, its cast and the comparisons are exact.
        return rule.shape == Shape::Whole && value.real >= double(rule.least) &&
               value.real <= double(rule.most) && std::trunc(value.real) == value.real;
    case StoredField::Type::Text:
        return rule.shape == Shape::Text && value.size <= 4 * rule.most + 4 &&
               textLength(value.bytes, value.size) <= rule.most;
    default:
        return false;
    }
}

bool plainlyZero(const StoredField& value) {
    return value.type == StoredField::Type::Null ||
           (value.type == StoredField::Type::Integer && value.integer == 0);
}

// values(i) gives the value of the look's column i.
template <typename Values>
bool filingStatePlainlyHolds(const QuickLook& look, const Values& values, const StoredField& state) {
    if (state.type == StoredField::Type::Null)
        return true;
    if (state.type != StoredField::Type::Integer)
        return false;
    const qint64 code = state.integer;
    if (code == 0)
        return true;
    if (look.withStateTable && look.states.count(code) == 0)
        return false;
    if (code <= 2)
        return true;
    if (!look.allSurveyColumns)
        return false;
    for (size_t i = 0; i < look.columns.size(); ++i)
        if (look.columns[i].survey && !plainlyZero(values(i)))
            return false;
    return true;
}

// The verdict of the quick look over the values of the look's columns.
template <typename Values> bool recordPlainlyHolds(const QuickLook& look, const Values& values) {
    for (size_t i = 0; i < look.columns.size(); ++i) {
        const QuickColumn& column = look.columns[i];
        const StoredField& value = values(i);
        if (!plainlyHolds(value, *column.rule) ||
            (column.filingState && !filingStatePlainlyHolds(look, values, value)))
            return false;
    }
    return true;
}

// The verdict on a record read from the pages. One pass over the stored forms of the whole-number
// columns, without a branch per value, clears the usual record; the other columns are then judged
// as recordPlainlyHolds judges them. A record the pass does not clear (a floating value, a number
// out of range) is judged in full.
bool pageRecordPlainlyHolds(const QuickLook& look, const PageRecord& record) {
    const auto value = [&look, &record](size_t i) { return record.decoded(look.columns[i].position); };
    bool cleared = true;
    for (const QuickColumn& column : look.columns) {
        const PageRecord::WholeForm form = record.wholeForm(column.position);
        const ValueRule& rule = *column.rule;
        const bool holds = (form.whole & (form.value >= rule.least) & (form.value <= rule.most)) |
                           (form.null & rule.nullAllowed);
        cleared &= holds | !column.byWholeForm;
    }
    if (!cleared)
        return recordPlainlyHolds(look, value);
    for (size_t i = 0; i < look.columns.size(); ++i) {
        const QuickColumn& column = look.columns[i];
        if (column.byWholeForm)
            continue;
        const StoredField field = value(i);
        if (!plainlyHolds(field, *column.rule) ||
            (column.filingState && !filingStatePlainlyHolds(look, value, field)))
            return false;
    }
    return true;
}

void quickLook(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const QuickLook& look = *static_cast<const QuickLook*>(sqlite3_user_data(context));
    Q_UNUSED(argc); // registered with one argument per column of the look
    const auto value = [argv](size_t i) { return fieldOf(argv[i]); };
    sqlite3_result_int(context, recordPlainlyHolds(look, value) ? 1 : 0);
}

// Registers the quick look on the connection for the lifetime of the object.
class QuickLookFunctionScope {
public:
    QuickLookFunctionScope(engine::Connection& connection, const QuickLook& look)
        : m_db(connection.handle()) {
        const int rc = sqlite3_create_function_v2(
            m_db, QuickLookFunction, int(look.columns.size()), SQLITE_UTF8 | SQLITE_DIRECTONLY,
            const_cast<QuickLook*>(&look), quickLook, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw EngineError(QString::fromUtf8(sqlite3_errmsg(m_db)), rc);
        m_arguments = int(look.columns.size());
    }
    ~QuickLookFunctionScope() {
        sqlite3_create_function_v2(m_db, QuickLookFunction, m_arguments, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                   nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    QuickLookFunctionScope(const QuickLookFunctionScope&) = delete;
    QuickLookFunctionScope& operator=(const QuickLookFunctionScope&) = delete;

private:
    sqlite3* m_db;
    int m_arguments = 0;
};

} // namespace

namespace {

bool filingStateAmong(const QuickLook& look) {
    return std::any_of(look.columns.begin(), look.columns.end(),
                       [](const QuickColumn& column) { return column.filingState; });
}

// The codes of the open database's CT_state, when it has one, for the look at the filing state.
void loadFilingStates(engine::Connection& connection, QuickLook& look) {
    look.withStateTable = connection.tableExists(QStringLiteral("CT_state"));
    if (!look.withStateTable)
        return;
    engine::Statement states(connection,
                             QStringLiteral("select ID from main.CT_state where typeof(ID)='integer'"));
    while (states.step())
        look.states.insert(states.integer(0));
}

// The quick look for the dt_data of the open database, whose CT_state places the filing states;
// false when the engine cannot take that many arguments.
bool prepareQuickLook(engine::Connection& connection, QuickLook& look) {
    int surveyColumnsSeen = 0;
    engine::Statement columns(connection,
                              QStringLiteral("select name, type from pragma_table_info('dt_data', 'main')"));
    for (int position = 0; columns.step(); ++position) {
        const QString column = columns.text(0);
        look.realColumns.push_back(engine::columnAffinity(columns.text(1)) == QLatin1String("real"));
        const ValueRule* rule = ruleOf(column);
        if (!rule)
            continue;
        look.columns.push_back(QuickColumn::of(rule, column, position));
        surveyColumnsSeen += look.columns.back().survey ? 1 : 0;
        look.arguments << engine::quotedIdentifier(column);
    }
    look.allSurveyColumns = surveyColumnsSeen == int(surveyColumns().size());
    if (!look.allSurveyColumns && filingStateAmong(look))
        return false; // the engine's condition names a column the table lacks: the engine says so
    if (look.columns.empty() ||
        int(look.columns.size()) > sqlite3_limit(connection.handle(), SQLITE_LIMIT_FUNCTION_ARG, -1))
        return false;
    loadFilingStates(connection, look);
    return true;
}

} // namespace

QString receivedValueCondition(const QString& column, bool withStateTable) {
    const ValueRule* rule = ruleOf(column);
    if (!rule)
        return QString();
    const QString x = engine::quotedIdentifier(column);
    QString condition = rule->shape == Shape::Whole ? wholeCondition(x, *rule) : textCondition(x, *rule);
    if (isFilingStateColumn(column))
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

bool newRecordsHold(engine::Connection& connection, qint64 afterRow) {
    const QString condition = receivedRecordCondition(connection);
    QuickLook look;
    if (!prepareQuickLook(connection, look))
        return !connection
                    .scalar(QStringLiteral(
                                "select exists(select 1 from main.dt_data where rowid > ?1 and not (%1))")
                                .arg(condition),
                            {afterRow})
                    .toBool();
    const QuickLookFunctionScope scope(connection, look);
    // A CASE, which the engine evaluates lazily: the condition runs only where the quick look fails.
    return !connection
                .scalar(QStringLiteral("select exists(select 1 from main.dt_data where rowid > ?1 and "
                                       "case when %1 then 0 else not (%2) end)")
                            .arg(look.call(), condition),
                        {afterRow})
                .toBool();
}

struct QuickLookBeside::Running {
    QuickLook look;
    qint64 rootPage = 0;  // of the file's dt_data when its pages can be read as ours; 0 otherwise
    qint64 rowsSeen = -1; // by the walk over the pages; -1 when the engine read the records
    std::optional<IndexesMatchRows> indexes; // when the file's indexes are to be compared with its rows
    bool indexesMatch = false;
    std::optional<engine::QuestionBeside> question; // last: it reads the members above

    // The look over the pages of the file: Complete when every record plainly holds, Ended at the
    // first that does not, Unreadable when the pages are not plain enough to read without the engine.
    TablePages::Walk lookAtPages(engine::Connection& reader, const std::atomic<bool>& stop) {
        // A read transaction keeps writers off the file while its pages are read.
        engine::Transaction readLock(reader);
        reader.scalar(QStringLiteral("select count(*) from main.sqlite_master"));
        TablePages pages(reader, QStringLiteral("main"));
        const int fieldsNeeded = look.columns.back().position + 1;
        const TablePages::Walk walk = pages.walk(
            rootPage, look.realColumns,
            [this, fieldsNeeded](const PageRecord& record) {
                if (indexes)
                    indexes->addRow(record);
                return record.fieldCount() >= fieldsNeeded && pageRecordPlainlyHolds(look, record);
            },
            stop);
        rowsSeen = pages.rows();
        if (walk == TablePages::Walk::Complete && indexes)
            indexesMatch = indexes->indexesMatch(pages, stop);
        return walk;
    }

    bool lookThroughTheEngine(engine::Connection& reader) {
        const QString path = reader.path();
        return underWorkLimit(reader, path, path, [this, &reader] {
            const QuickLookFunctionScope scope(reader, look);
            return !reader
                        .scalar(QStringLiteral("select exists(select 1 from main.dt_data where not %1)")
                                    .arg(look.call()))
                        .toBool();
        });
    }

    bool allPlainlyHold(engine::Connection& reader, const std::atomic<bool>& stop) {
        if (rootPage > 0) {
            const TablePages::Walk walk = lookAtPages(reader, stop);
            if (walk != TablePages::Walk::Unreadable)
                return walk == TablePages::Walk::Complete;
            rowsSeen = -1;
        }
        return !stop && lookThroughTheEngine(reader);
    }
};

QuickLookBeside::QuickLookBeside(engine::Connection& connection, const QString& schema,
                                 std::optional<std::vector<SimpleIndex>> indexesToCompare)
    : m_running(std::make_unique<Running>()) {
    Running& running = *m_running;
    try {
        if (!prepareQuickLook(connection, running.look))
            return;
        // The pages hold the records as they will stand in the open database only when both tables
        // declare every column alike (the copy then moves the stored records as they are).
        if (columnDeclarations(connection, QStringLiteral("main")) == columnDeclarations(connection, schema))
            running.rootPage = connection
                                   .scalar(QStringLiteral("select rootpage from %1.sqlite_master where "
                                                          "type='table' and lower(name)='dt_data'")
                                               .arg(engine::quotedIdentifier(schema)))
                                   .toLongLong();
        if (running.rootPage > 0 && indexesToCompare)
            running.indexes.emplace(std::move(*indexesToCompare));
    } catch (const EngineError&) {
        return; // the caller checks the records itself
    }
    running.question.emplace(connection, schema,
                             [&running](engine::Connection& reader, const std::atomic<bool>& stop) {
                                 return running.allPlainlyHold(reader, stop);
                             });
}

QuickLookBeside::~QuickLookBeside() = default;

bool QuickLookBeside::indexesMatchRows() {
    Running& running = *m_running;
    return running.question && running.question->answer() && running.indexesMatch;
}

bool QuickLookBeside::recordsPlainlyHold(qint64 copiedRows) {
    Running& running = *m_running;
    return running.question && running.question->answer() &&
           (running.rowsSeen < 0 || running.rowsSeen == copiedRows);
}

namespace {

// A held value as the engine will hand it to the quick look once stored in a column of dt_data.
StoredField storedFormOf(const HeldValue& value) {
    StoredField field;
    switch (value.kind) {
    case HeldValue::Kind::Null:
        break;
    case HeldValue::Kind::Whole:
        field.type = StoredField::Type::Integer;
        field.integer = value.whole;
        break;
    case HeldValue::Kind::Real:
        field.type = StoredField::Type::Float;
        field.real = value.real;
        break;
    case HeldValue::Kind::Text:
        field.type = StoredField::Type::Text;
        field.bytes = reinterpret_cast<const unsigned char*>(value.text);
        field.size = value.bytes;
        break;
    }
    return field;
}

} // namespace

struct HeldValuesLook::Look {
    QuickLook quick; // its columns' positions index the values handed to held()
};

HeldValuesLook::HeldValuesLook(engine::Connection& connection, const QStringList& columns)
    : m_look(std::make_unique<Look>()) {
    QuickLook& look = m_look->quick;
    QSet<QString> given;
    for (int position = 0; position < columns.size(); ++position) {
        const QString& column = columns[position];
        given.insert(column.toLower());
        if (const ValueRule* rule = ruleOf(column))
            look.columns.push_back(QuickColumn::of(rule, column, position));
    }
    m_usable = true;
    int surveyColumnsSeen = 0;
    bool hasFilingState = false;
    for (const QString& column : recordColumns(connection)) {
        surveyColumnsSeen += surveyColumnIndex(column) >= 0 ? 1 : 0;
        hasFilingState = hasFilingState || isFilingStateColumn(column);
        // A column left null must allow it.
        const ValueRule* rule = ruleOf(column);
        if (rule && !given.contains(column.toLower()) && !rule->nullAllowed)
            m_usable = false;
    }
    // The engine's condition names every survey column; without them all it fails rather than
    // passes, and so must the look. Survey columns not given are null, which counts as zero.
    look.allSurveyColumns = surveyColumnsSeen == int(surveyColumns().size());
    if (!look.allSurveyColumns && hasFilingState)
        m_usable = false;
    loadFilingStates(connection, look);
}

HeldValuesLook::~HeldValuesLook() = default;

bool HeldValuesLook::held(const HeldValue* values) const {
    if (!m_usable)
        return false;
    const QuickLook& look = m_look->quick;
    const auto value = [&look, values](size_t i) { return storedFormOf(values[look.columns[i].position]); };
    return recordPlainlyHolds(look, value);
}

} // namespace corvalis::records
