#pragma once

#include "app/UnionCode.h"

#include <QDateTime>
#include <QString>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::exchange {

// The import log and the rows an import replaced live in tables of their own in the open database,
// created by the first previewed import: import_log (one row per import), import_touched (each
// record an import added or replaced, with a fingerprint of the row it left) and import_replaced
// (each replaced record's previous row, column for column).
inline const QString ImportLogTable = QStringLiteral("import_log");
inline const QString ImportTouchedTable = QStringLiteral("import_touched");
inline const QString ImportReplacedTable = QStringLiteral("import_replaced");

struct ImportLogEntry {
    qint64 id = 0;
    QDateTime at;
    QString file;
    QString label;
    qint64 added = 0, replaced = 0, skipped = 0;
    bool undone = false;
};

// The log in the order of the imports; empty when nothing was ever imported with the preview.
std::vector<ImportLogEntry> importLog(engine::Connection& connection);

// Restores exactly the rows that were there before import `id`; throws Error with a Chinese message
// and changes nothing when a record it would restore or remove was changed after the import, or it
// was already undone.
void undoImport(engine::Connection& connection, qint64 id);

// For the import itself, inside its transaction.
namespace history {
// Creates the three tables when they are missing.
void ensureTables(engine::Connection& connection);
// Starts a log entry and returns its id.
qint64 startEntry(engine::Connection& connection, const QDateTime& at, const QString& file,
                  const QString& label);
void finishEntry(engine::Connection& connection, qint64 id, qint64 added, qint64 replaced, qint64 skipped);
// Notes a record the import added (replaced false) or replaced; a replaced record's row is kept
// as it stands now, so call before replacing it. A record noted before is left as noted.
void noteRecord(engine::Connection& connection, qint64 id, UnionCode code, bool replaced);
// Notes the records the import added from a staged table in one statement: those of its codes
// the open database does not hold, leaving out the codes listed more than once. Returns how many.
qint64 noteNewRecords(engine::Connection& connection, qint64 id, const QString& stagedTable);
// Stores the fingerprint of every row the import left, so that an undo can tell later changes.
void sealEntry(engine::Connection& connection, qint64 id);
} // namespace history

} // namespace corvalis::exchange
