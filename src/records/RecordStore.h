#pragma once

#include "app/UnionCode.h"

#include <QString>
#include <QVariant>
#include <optional>
#include <utility>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// Column values of one record, in the order they are written.
using ColumnValues = std::vector<std::pair<QString, QVariant>>;

// A stored record as the entry form reads it: every column of dt_data by name (ignoring case),
// and the engine's row identity, which stays with the row when its code changes.
struct StoredRecord {
    qint64 rowId = 0;
    QVariantHash values; // keys in lower case
    QVariant value(const QString& column) const { return values.value(column.toLower()); }
};

// The record with that code, if any.
std::optional<StoredRecord> readRecord(engine::Connection& connection, UnionCode code);

// The next free code: the largest code + 1, 0 for an empty table. A largest code that is not a whole
// number (never written by the program) is cut to its whole part.
UnionCode nextFreeCode(engine::Connection& connection);

// Writes the values into the row with that identity, or appends a new row when there is none;
// all in one statement, so a failed write leaves the stored row as it was. Returns the row identity.
// Column names must be columns of dt_data; others are refused.
qint64 writeRecord(engine::Connection& connection, const ColumnValues& values, std::optional<qint64> rowId);

} // namespace corvalis::records
