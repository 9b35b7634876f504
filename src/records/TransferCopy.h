#pragma once

#include "ReceivedIndexes.h"
#include "RowNumbering.h"

#include <QString>
#include <optional>
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
// insert would have), numbers the new rows as the trigger would have and puts the trigger back.
//
// The indexes of the source are copied only when the caller asks for them and compares them with
// the source's rows (IndexesMatchRows): into an empty dt_data the engine then moves their entries as
// stored too, which saves building them. finish() keeps them only when the caller found them to
// match, and builds them anew otherwise, so an index of a received file that does not match its rows
// cannot get in. Must live inside a transaction; without finish() the transaction must not be
// committed.
class TransferCopy {
public:
    enum class Indexes {
        Rebuilt,         // dt_data's indexes are built from its rows
        TakenFromSource, // as the engine copies them; only where indexesToTake() gave them
    };

    TransferCopy(engine::Connection& connection, const QString& sourceTable,
                 Indexes indexes = Indexes::Rebuilt);
    TransferCopy(const TransferCopy&) = delete;
    TransferCopy& operator=(const TransferCopy&) = delete;

    // The rows copied.
    qint64 copied() const { return m_copied; }
    // The new rows are those of dt_data with a larger rowid.
    qint64 lastOldRow() const { return m_lastOldRow; }
    // sourceIndexesMatch: whether the source's indexes were found to match its rows; counts only
    // when they were taken.
    void finish(bool sourceIndexesMatch = false);

    // The indexes of the schema's dt_data, of the same columns in the same order, that a copy from
    // it may take; none when it may not. It may when dt_data is empty, and its own indexes and the
    // source's are simple ones (SimpleIndex), each of dt_data's with its like in the source (the
    // engine copies indexes only then, and otherwise copies row by row).
    static std::optional<std::vector<SimpleIndex>> indexesToTake(engine::Connection& connection,
                                                                 const QString& schema);

    // False when new rows might not follow the old in rowid order (the largest rowid is taken, and
    // SQLite then picks rowids at random): lastOldRow() cannot tell the new rows then.
    static bool newRowsFollowOld(engine::Connection& connection);

private:
    void setIndexesAside(const QString& sourceTable);

    engine::Connection& m_connection;
    qint64 m_lastOldRow = 0;
    NumberingTriggerSetAside m_numbering;
    std::vector<std::pair<QString, QString>> m_indexes; // name and statement, in creation order
    qint64 m_copied = 0;
    bool m_tookIndexes = false;
};

} // namespace corvalis::records
