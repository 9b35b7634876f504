#pragma once

#include "RowNumbering.h"

#include <QString>
#include <utility>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// Copies every row of a table of dt_data's layout into dt_data with one "insert into dt_data select *":
// SQLite then moves the stored records as they stand (its transfer optimisation) instead of unpacking
// and packing every column. The engine does so only into a table without triggers, and, when the
// table holds rows or a unique index, without indexes. The numbering trigger is set aside for the
// copy, and so are the indexes of dt_data unless it holds more rows than the copy brings (then the
// indexes take the new rows one by one, which costs less than rebuilding them over all rows).
// finish() rebuilds the indexes set aside (a unique index then refuses a repeated code, as the
// insert would have), numbers the new rows as the trigger would have and puts the trigger back. The
// indexes of the source are never copied, so an index of a received file that does not match its
// rows cannot get in. Must live inside a transaction; without finish() the transaction must not be
// committed.
class TransferCopy {
public:
    TransferCopy(engine::Connection& connection, const QString& sourceTable);
    TransferCopy(const TransferCopy&) = delete;
    TransferCopy& operator=(const TransferCopy&) = delete;

    // The rows copied.
    qint64 copied() const { return m_copied; }
    // The new rows are those of dt_data with a larger rowid.
    qint64 lastOldRow() const { return m_lastOldRow; }
    void finish();

    // False when new rows might not follow the old in rowid order (the largest rowid is taken, and
    // SQLite then picks rowids at random): lastOldRow() cannot tell the new rows then.
    static bool newRowsFollowOld(engine::Connection& connection);

private:
    engine::Connection& m_connection;
    qint64 m_lastOldRow = 0;
    NumberingTriggerSetAside m_numbering;
    std::vector<std::pair<QString, QString>> m_indexes; // name and statement, in creation order
    qint64 m_copied = 0;
};

} // namespace corvalis::records
