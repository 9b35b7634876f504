#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <optional>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// Sets the row-numbering trigger of dt_data aside for a bulk copy, for example "insert into dt_data
// select * from other.dt_data": without a trigger SQLite copies the records of a file of the same
// layout page by page instead of running a sub-program per row. finish() gives the new rows
// without an id the numbers the trigger would have given them, in one statement, and puts the
// trigger back. Must live inside a transaction, so that a failure brings back the trigger together
// with the rows; without finish() the transaction must not be committed.
class NumberingTriggerSetAside {
public:
    explicit NumberingTriggerSetAside(engine::Connection& connection);
    NumberingTriggerSetAside(const NumberingTriggerSetAside&) = delete;
    NumberingTriggerSetAside& operator=(const NumberingTriggerSetAside&) = delete;
    void finish();

private:
    engine::Connection& m_connection;
    QString m_created; // the trigger's statement; empty when there is none to set aside
    qint64 m_lastOldRow = 0;
    QVariant m_oldLargestId;
};

// The largest id of dt_data when the trigger numbers new records without an id plainly after it
// (the largest id so far + 1): the trigger is there, and the largest id is a whole number well inside
// the range, or there is none (0 then). None otherwise.
std::optional<qint64> plainNumberingBase(engine::Connection& connection);

// One insert into dt_data run with the trigger set aside; returns the number of rows inserted.
qint64 insertWithoutNumberingTrigger(engine::Connection& connection, const QString& insert,
                                     const QVariantList& params = {});

} // namespace corvalis::records
