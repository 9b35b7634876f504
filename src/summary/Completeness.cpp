#include "Completeness.h"

#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "records/CodeTables.h"
#include "records/Roster.h"

#include <QHash>
#include <QJsonArray>
#include <algorithm>
#include <map>
#include <unordered_map>

namespace corvalis::summary {

namespace {

constexpr int NoClass = -1;
// The class of a unit without (or with an unreadable) industry category: "Z00".
constexpr int NoCategory = 2600;

struct Counts {
    qint64 expected = 0;
    qint64 received = 0;
    qint64 passed = 0;
    qint64 failing = 0;
    qint64 held = 0;
    qint64 missing = 0;
    qint64 unexpected = 0;

    void add(const Counts& other) {
        expected += other.expected;
        received += other.received;
        passed += other.passed;
        failing += other.failing;
        held += other.held;
        missing += other.missing;
        unexpected += other.unexpected;
    }
    void receive(qint64 state) {
        ++received;
        if (state == 1)
            ++passed;
        else if (state == 2)
            ++failing;
        else if (state == 0)
            ++held;
    }
};

// The class key as SQL computes it, so that a million rows need no text conversion in C++: the
// division code itself, or the category letter's number × 100 + the sub-category number.
QString classKeySql(CompletenessBy by, const QString& unknown) {
    if (by == CompletenessBy::Division)
        return QStringLiteral("case when c903 between 100000 and 999999 then c903 else %1 end").arg(unknown);
    return QStringLiteral("case when c907 glob '[A-Z][0-9][0-9]' then (unicode(c907) - 64) * 100 + "
                          "cast(substr(c907, 2) as integer) else %1 end")
        .arg(unknown);
}

struct Roster {
    std::vector<qint64> codes; // ascending
    std::vector<int> keys;     // NoClass: the roster does not say
};

Roster readRoster(engine::Connection& connection, CompletenessBy by) {
    Roster roster;
    if (!records::hasRoster(connection))
        return roster;
    const qint64 size = records::rosterSize(connection);
    roster.codes.reserve(size_t(size));
    roster.keys.reserve(size_t(size));
    engine::Statement statement(connection,
                                QStringLiteral("select c901, %1 from %2 order by c901")
                                    .arg(classKeySql(by, QString::number(NoClass)), records::RosterTable));
    while (statement.step()) {
        roster.codes.push_back(statement.integer(0));
        roster.keys.push_back(int(statement.integer(1)));
    }
    return roster;
}

// Counts per class key, and the whole database.
struct Tally {
    std::unordered_map<int, Counts> byKey;
    Counts whole;
};

Tally tally(engine::Connection& connection, CompletenessBy by) {
    Roster roster = readRoster(connection, by);
    std::vector<char> received(roster.codes.size(), 0);
    Tally result;
    const QString unknownKey =
        by == CompletenessBy::Division ? QString::number(NoClass) : QString::number(NoCategory);
    engine::Statement records(connection,
                              QStringLiteral("select cast(c901 as integer), %1, RecordState from dt_data")
                                  .arg(classKeySql(by, unknownKey)));
    while (records.step()) {
        const qint64 code = records.integer(0);
        int key = int(records.integer(1));
        const qint64 state = records.isNull(2) ? -1 : records.integer(2);
        const auto found = std::lower_bound(roster.codes.begin(), roster.codes.end(), code);
        const bool onRoster = found != roster.codes.end() && *found == code;
        Counts one;
        one.receive(state);
        if (onRoster) {
            const size_t index = size_t(found - roster.codes.begin());
            received[index] = 1;
            // Where the roster does not say, the unit is expected where its return puts it.
            if (roster.keys[index] != NoClass)
                key = roster.keys[index];
            else
                roster.keys[index] = key;
        } else {
            one.unexpected = 1;
        }
        result.whole.add(one);
        if (key != NoClass)
            result.byKey[key].add(one);
    }
    for (size_t i = 0; i < roster.codes.size(); ++i) {
        Counts one;
        one.expected = 1;
        one.missing = received[i] ? 0 : 1;
        int key = roster.keys[i];
        if (key == NoClass)
            key = by == CompletenessBy::Division ? NoClass : NoCategory;
        result.whole.add(one);
        if (key != NoClass)
            result.byKey[key].add(one);
    }
    return result;
}

int divisionLevel(qint64 code) {
    if (code % 10000 == 0)
        return 1;
    return code % 100 == 0 ? 2 : 3;
}

// The classes a key counts in: itself and every class above it.
std::vector<int> classesOf(int key, CompletenessBy by) {
    if (by == CompletenessBy::Division) {
        std::vector<int> classes{key / 10000 * 10000};
        if (key / 100 % 100 != 0)
            classes.push_back(key / 100 * 100);
        if (key % 100 != 0)
            classes.push_back(key);
        return classes;
    }
    std::vector<int> classes{key / 100 * 100};
    if (key % 100 != 0)
        classes.push_back(key);
    return classes;
}

struct ClassName {
    QString code;
    QString name;
};

QHash<int, ClassName> classNames(engine::Connection& connection, CompletenessBy by) {
    QHash<int, ClassName> names;
    if (by == CompletenessBy::Division) {
        engine::Statement statement(connection,
                                    QStringLiteral("select ID, Name from %1").arg(records::CodeTable::City));
        while (statement.step())
            names.insert(int(statement.integer(0)), {statement.text(0), statement.text(1)});
        return names;
    }
    engine::Statement statement(
        connection,
        QStringLiteral("select (unicode(Code1) - 64) * 100 + Code2, ID, Name from %1 where length(Code1) = 1")
            .arg(records::CodeTable::UnionDomain));
    while (statement.step())
        names.insert(int(statement.integer(0)), {statement.text(1), statement.text(2)});
    return names;
}

ClassName nameOf(const QHash<int, ClassName>& names, int key, CompletenessBy by) {
    const auto found = names.constFind(key);
    if (found != names.constEnd())
        return *found;
    if (by == CompletenessBy::Division)
        return {QStringLiteral("%1").arg(key, 6, 10, QLatin1Char('0')),
                QStringLiteral("（代码表中没有的区划）")};
    const QChar letter(ushort(64 + key / 100));
    const QString code = key % 100 == 0
                             ? QString(letter)
                             : QStringLiteral("%1%2").arg(letter).arg(key % 100, 2, 10, QLatin1Char('0'));
    return {code, QStringLiteral("（代码表中没有的产业类别）")};
}

CompletenessRow rowOf(const ClassName& name, int level, const Counts& counts) {
    return {name.code,     name.name,      level,       counts.expected, counts.received,
            counts.passed, counts.failing, counts.held, counts.missing,  counts.unexpected};
}

} // namespace

QString completenessByName(CompletenessBy by) {
    return by == CompletenessBy::Division ? QStringLiteral("division") : QStringLiteral("industry");
}

std::vector<CompletenessRow> countCompleteness(engine::Connection& connection, CompletenessBy by) {
    const Tally counted = tally(connection, by);
    std::map<int, Counts> classes;
    for (const auto& [key, counts] : counted.byKey)
        for (const int cls : classesOf(key, by))
            classes[cls].add(counts);
    const QHash<int, ClassName> names = classNames(connection, by);
    std::vector<CompletenessRow> rows;
    rows.reserve(classes.size() + 1);
    const QString wholeName = QStringLiteral("全部");
    rows.push_back(rowOf({WholeDatabaseCode, wholeName}, 0, counted.whole));
    for (const auto& [key, counts] : classes) {
        const int level = by == CompletenessBy::Division ? divisionLevel(key) : (key % 100 == 0 ? 1 : 2);
        rows.push_back(rowOf(nameOf(names, key, by), level, counts));
    }
    return rows;
}

bool isUnder(const CompletenessRow& row, const CompletenessRow& parent, CompletenessBy by) {
    if (row.level <= parent.level)
        return false;
    if (parent.level == 0)
        return true;
    if (by == CompletenessBy::Industry)
        return row.code.at(0) == parent.code.at(0);
    const int digits = parent.level == 1 ? 2 : 4;
    return row.code.left(digits) == parent.code.left(digits);
}

std::vector<MissingUnit> missingUnits(engine::Connection& connection, CompletenessBy by,
                                      const CompletenessRow& row, qint64 limit) {
    std::vector<MissingUnit> units;
    if (!records::hasRoster(connection))
        return units;
    QString condition = QStringLiteral("1");
    QVariantList bound;
    if (by == CompletenessBy::Division && row.level > 0) {
        const qint64 code = row.code.toLongLong();
        const qint64 span = row.level == 1 ? 10000 : row.level == 2 ? 100 : 1;
        condition = QStringLiteral("r.c903 >= ?1 and r.c903 < ?2");
        bound = {code, code + span};
    } else if (by == CompletenessBy::Industry && row.level == 1) {
        condition = QStringLiteral("substr(coalesce(r.c907, 'Z00'), 1, 1) = ?1");
        bound = {row.code.left(1)};
    } else if (by == CompletenessBy::Industry && row.level == 2) {
        condition = QStringLiteral("r.c907 = ?1");
        bound = {row.code};
    }
    engine::Statement statement(
        connection, QStringLiteral("select r.c901, r.c902, r.c903, coalesce(c.CombName, '') from %1 r "
                                   "left join %2 c on c.ID = r.c903 where %3 and not exists "
                                   "(select 1 from dt_data d where d.c901 = r.c901) order by r.c901 limit %4")
                        .arg(records::RosterTable, records::CodeTable::City, condition)
                        .arg(limit > 0 ? limit : -1));
    for (int i = 0; i < bound.size(); ++i)
        statement.bind(i + 1, bound.at(i));
    while (statement.step())
        units.push_back({statement.integer(0), statement.text(1), statement.integer(2), statement.text(3)});
    return units;
}

QJsonObject completenessJson(CompletenessBy by, const std::vector<CompletenessRow>& rows) {
    QJsonArray array;
    for (const CompletenessRow& row : rows)
        array.append(QJsonObject{{QStringLiteral("code"), row.code},
                                 {QStringLiteral("name"), row.name},
                                 {QStringLiteral("level"), row.level},
                                 {QStringLiteral("expected"), row.expected},
                                 {QStringLiteral("received"), row.received},
                                 {QStringLiteral("passed"), row.passed},
                                 {QStringLiteral("failing"), row.failing},
                                 {QStringLiteral("held"), row.held},
                                 {QStringLiteral("missing"), row.missing},
                                 {QStringLiteral("unexpected"), row.unexpected}});
    return {{QStringLiteral("by"), completenessByName(by)}, {QStringLiteral("rows"), array}};
}

} // namespace corvalis::summary
