#pragma once

#include "app/UnionCode.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::summary {

// How the completeness view classifies units: by administrative division (c903: province,
// prefecture, county) or by industry category (c907: category letter, sub-category).
enum class CompletenessBy { Division, Industry };

QString completenessByName(CompletenessBy by); // "division", "industry"

// One row of the view. Each unit counts in exactly one class: a unit on the roster where the roster
// puts it (for a category the roster does not know, where its return puts it), any other unit where
// its return puts it. received = passed + failing + held (+ returns in no known state);
// received - unexpected = expected - missing.
struct CompletenessRow {
    QString code; // "000000" for the whole database; "110000", "A", "A01" ...
    QString name;
    int level = 0; // 0 whole database, 1 province / category, 2 prefecture / sub-category, 3 county
    qint64 expected = 0;
    qint64 received = 0;
    qint64 passed = 0;  // RecordState 1
    qint64 failing = 0; // RecordState 2
    qint64 held = 0;    // RecordState 0
    qint64 missing = 0;
    qint64 unexpected = 0;
};

inline const QString WholeDatabaseCode = QStringLiteral("000000");

// Rows in code order, each parent before its children; the first row is the whole database. Every
// class that has expected or received units has a row, at every level.
std::vector<CompletenessRow> countCompleteness(engine::Connection& connection, CompletenessBy by);

// Whether a row lies under another (a child, grandchild ...), by their codes and levels.
bool isUnder(const CompletenessRow& row, const CompletenessRow& parent, CompletenessBy by);

struct MissingUnit {
    UnionCode code = 0;
    QString name;
    qint64 division = 0;
    QString divisionName;
};

// The roster units without a return that belong to a row, in code order; at most limit of them
// when limit is above 0.
std::vector<MissingUnit> missingUnits(engine::Connection& connection, CompletenessBy by,
                                      const CompletenessRow& row, qint64 limit = 0);

// {"by":"division","rows":[{"code":…,"name":…,"level":N,"expected":N,…}]}
QJsonObject completenessJson(CompletenessBy by, const std::vector<CompletenessRow>& rows);

// Column titles of the view and of the missing list, in their order.
QStringList completenessTitles(); // 代码, 名称, 应报 ... 名单外
QStringList missingUnitTitles();

// Writes the rows, or a missing list, to an xlsx workbook; raises FileError when it cannot.
void exportCompleteness(const QString& path, CompletenessBy by, const std::vector<CompletenessRow>& rows);
void exportMissingUnits(const QString& path, const std::vector<MissingUnit>& units);

} // namespace corvalis::summary
