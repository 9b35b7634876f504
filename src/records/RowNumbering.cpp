#include "RowNumbering.h"

#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

#include <limits>
#include <vector>

namespace corvalis::records {

namespace {

const QString NumberingTrigger = QStringLiteral("dt_data_row_number");

// The trigger gives a row without id "the largest id so far + 1", row by row in insertion order.
// Counting, for each new row, the id-less rows up to it (n), the number of an id-less row is the
// largest (id - n) of the rows before it (the old largest id standing before all of them) plus its
// own n: each id-less row raises the running largest id by exactly one.
const QString NumberInOneStatement =
    QStringLiteral("with counted as (select rowid as r, id, sum(id is null) over (order by rowid) as n "
                   "from main.dt_data where rowid > ?1), "
                   "ranked as (select r, id, n, max(id - n) over (order by r) as v from counted) "
                   "update main.dt_data set id = coalesce(max(ranked.v, ?2), ranked.v, ?2, 0) + ranked.n "
                   "from ranked where main.dt_data.rowid = ranked.r and ranked.id is null");

// The trigger's own statement, one row at a time: exact for any mix of value types.
void numberRowByRow(engine::Connection& connection, qint64 lastOldRow) {
    std::vector<qint64> rows;
    {
        engine::Statement list(connection, QStringLiteral("select rowid from main.dt_data "
                                                          "where rowid > ?1 and id is null order by rowid"));
        list.bindInt64(1, lastOldRow);
        while (list.step())
            rows.push_back(list.integer(0));
    }
    engine::Statement number(connection,
                             QStringLiteral("update main.dt_data set id = coalesce((select max(id) from "
                                            "main.dt_data where rowid < ?1), 0) + 1 where rowid = ?1"));
    for (const qint64 row : rows) {
        number.bindInt64(1, row);
        number.run();
        number.reset();
    }
}

// When none of the new rows came with an id and their rowids follow the old without a gap, the k-th
// new row gets the old largest id + k: its rowid less a constant, one plain update without the
// window functions (a third of the work at a million rows). False when the rows are not so.
bool numberIdLessRunByRowid(engine::Connection& connection, qint64 lastOldRow, const QVariant& oldLargestId) {
    engine::Statement span(connection, QStringLiteral("select count(*), count(id), coalesce(max(rowid), ?1) "
                                                      "from main.dt_data where rowid > ?1"));
    span.bindInt64(1, lastOldRow);
    if (!span.step() || span.integer(1) != 0 || span.integer(2) - lastOldRow != span.integer(0))
        return false;
    connection.execute(
        QStringLiteral("update main.dt_data set id = coalesce(?2, 0) + (rowid - ?1) where rowid > ?1"),
        {lastOldRow, oldLargestId});
    return true;
}

void numberNewRows(engine::Connection& connection, qint64 lastOldRow, const QVariant& oldLargestId) {
    const bool anyWithoutId =
        connection
            .scalar(
                QStringLiteral("select exists(select 1 from main.dt_data where id is null and rowid > ?1)"),
                {lastOldRow})
            .toBool();
    if (!anyWithoutId)
        return;
    // Texts sort above numbers, so the largest id tells whether any id is not a number.
    const QString largestType =
        connection.scalar(QStringLiteral("select typeof(max(id)) from main.dt_data")).toString();
    if (largestType == QLatin1String("text") || largestType == QLatin1String("blob"))
        numberRowByRow(connection, lastOldRow);
    else if (!numberIdLessRunByRowid(connection, lastOldRow, oldLargestId))
        connection.execute(NumberInOneStatement, {lastOldRow, oldLargestId});
}

} // namespace

std::optional<qint64> plainNumberingBase(engine::Connection& connection) {
    if (!connection
             .scalar(QStringLiteral("select exists(select 1 from main.sqlite_master where "
                                    "type='trigger' and name=?1)"),
                     {NumberingTrigger})
             .toBool())
        return std::nullopt;
    engine::Statement max(connection, QStringLiteral("select typeof(max(id)), max(id) from main.dt_data"));
    max.step();
    const QString type = max.text(0);
    if (type == QLatin1String("null"))
        return 0;
    if (type != QLatin1String("integer"))
        return std::nullopt;
    const qint64 largest = max.integer(1);
    if (largest >= (qint64(1) << 62) || largest <= -(qint64(1) << 62))
        return std::nullopt;
    return largest;
}

NumberingTriggerSetAside::NumberingTriggerSetAside(engine::Connection& connection)
    : m_connection(connection) {
    if (!connection.inTransaction())
        throw Error(QStringLiteral("批量插入必须在事务中进行。"));
    const QVariant created = connection.scalar(
        QStringLiteral("select sql from main.sqlite_master where type='trigger' and name=?1"),
        {NumberingTrigger});
    m_lastOldRow =
        connection.scalar(QStringLiteral("select coalesce(max(rowid), 0) from main.dt_data")).toLongLong();
    // At the largest rowid SQLite picks new rowids at random; new rows would not follow the old.
    if (created.isNull() || m_lastOldRow == std::numeric_limits<qint64>::max())
        return;
    m_created = created.toString();
    m_oldLargestId = connection.scalar(QStringLiteral("select max(id) from main.dt_data"));
    connection.execute(QStringLiteral("drop trigger main.\"%1\"").arg(NumberingTrigger));
}

void NumberingTriggerSetAside::finish() {
    if (m_created.isEmpty())
        return;
    numberNewRows(m_connection, m_lastOldRow, m_oldLargestId);
    m_connection.execute(m_created);
    m_created.clear();
}

qint64 insertWithoutNumberingTrigger(engine::Connection& connection, const QString& insert,
                                     const QVariantList& params) {
    NumberingTriggerSetAside setAside(connection);
    const qint64 inserted = connection.execute(insert, params);
    setAside.finish();
    return inserted;
}

} // namespace corvalis::records
