#include "TransferCopy.h"

#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

#include <algorithm>
#include <limits>

namespace corvalis::records {

namespace {

qint64 largestRow(engine::Connection& connection) {
    return connection.scalar(QStringLiteral("select coalesce(max(rowid), 0) from main.dt_data")).toLongLong();
}

// The indexes written by a statement; those of a UNIQUE in the table's own statement cannot be
// dropped and have no statement.
std::vector<std::pair<QString, QString>> dataIndexes(engine::Connection& connection) {
    std::vector<std::pair<QString, QString>> indexes;
    engine::Statement list(connection, QStringLiteral("select name, sql from main.sqlite_master where "
                                                      "type='index' and lower(tbl_name)='dt_data' and "
                                                      "sql is not null order by rowid"));
    while (list.step())
        indexes.emplace_back(list.text(0), list.text(1));
    return indexes;
}

} // namespace

bool TransferCopy::newRowsFollowOld(engine::Connection& connection) {
    return largestRow(connection) < std::numeric_limits<qint64>::max();
}

std::optional<std::vector<SimpleIndex>> TransferCopy::indexesToTake(engine::Connection& connection,
                                                                    const QString& schema) {
    if (connection.scalar(QStringLiteral("select exists(select 1 from main.dt_data)")).toBool())
        return std::nullopt;
    const std::optional<std::vector<SimpleIndex>> own = simpleIndexes(connection, QStringLiteral("main"));
    std::optional<std::vector<SimpleIndex>> theirs = simpleIndexes(connection, schema);
    if (!own || !theirs)
        return std::nullopt;
    for (const SimpleIndex& index : *own) {
        const bool matched = std::any_of(theirs->begin(), theirs->end(), [&index](const SimpleIndex& other) {
            return other.column == index.column && other.unique == index.unique;
        });
        if (!matched)
            return std::nullopt;
    }
    return theirs;
}

TransferCopy::TransferCopy(engine::Connection& connection, const QString& sourceTable, Indexes indexes)
    : m_connection(connection), m_lastOldRow(largestRow(connection)), m_numbering(connection) {
    if (m_lastOldRow == std::numeric_limits<qint64>::max())
        throw Error(QStringLiteral("数据表的行号已经用尽，不能批量插入。"));
    m_tookIndexes = indexes == Indexes::TakenFromSource;
    if (!m_tookIndexes)
        setIndexesAside(sourceTable);
    m_copied =
        connection.execute(QStringLiteral("insert into main.dt_data select * from %1").arg(sourceTable));
}

void TransferCopy::setIndexesAside(const QString& sourceTable) {
    // Rebuilding costs in proportion to all rows, keeping the indexes to the new ones; an empty
    // table loses its indexes in any case, or the engine would copy those of the source.
    const qint64 oldRows =
        m_connection.scalar(QStringLiteral("select count(*) from main.dt_data")).toLongLong();
    if (oldRows > 0 &&
        oldRows >
            m_connection.scalar(QStringLiteral("select count(*) from %1").arg(sourceTable)).toLongLong())
        return;
    m_indexes = dataIndexes(m_connection);
    for (const auto& index : m_indexes)
        m_connection.execute(QStringLiteral("drop index main.%1").arg(engine::quotedIdentifier(index.first)));
}

void TransferCopy::finish(bool sourceIndexesMatch) {
    if (m_tookIndexes && !sourceIndexesMatch)
        m_connection.execute(QStringLiteral("reindex main.dt_data"));
    // The indexes return before the numbering: through the id index it sees at once whether any new
    // row lacks an id, where it would otherwise read every row. Received rows carry their ids as a
    // rule; rows without one are numbered with the index in place, which costs a fifth more.
    for (const auto& index : m_indexes)
        m_connection.executeScript(index.second);
    m_indexes.clear();
    m_numbering.finish();
}

} // namespace corvalis::records
