#include "ImportHistory.h"

#include "DataFile.h"

#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

#include <QCryptographicHash>
#include <QStringList>

namespace corvalis::exchange {

namespace {

// The columns of the open database's dt_data with their declared types, as "name type" pieces.
QStringList declaredDataColumns(engine::Connection& connection) {
    engine::Statement info(connection, QStringLiteral("select name, type from pragma_table_info('dt_data')"));
    QStringList columns;
    while (info.step())
        columns << engine::quotedIdentifier(info.text(0)) + QLatin1Char(' ') + info.text(1);
    return columns;
}

QStringList quotedColumns(const QStringList& columns) {
    QStringList quoted;
    for (const QString& column : columns)
        quoted << engine::quotedIdentifier(column);
    return quoted;
}

// One text that holds every column of a dt_data row exactly (quote() keeps the value's type).
QString rowTextExpression(const QStringList& columns) {
    QStringList parts;
    for (const QString& column : columns)
        parts << QStringLiteral("quote(d.%1)").arg(engine::quotedIdentifier(column));
    return parts.join(QStringLiteral("||','||"));
}

QByteArray fingerprint(const QString& rowText) {
    return QCryptographicHash::hash(rowText.toUtf8(), QCryptographicHash::Sha1).toHex();
}

bool logExists(engine::Connection& connection) {
    return connection.tableExists(ImportLogTable) && connection.tableExists(ImportTouchedTable) &&
           connection.tableExists(ImportReplacedTable);
}

// The codes of an import's records whose row is no longer the one the import left, in code order.
QStringList changedSinceImport(engine::Connection& connection, qint64 id) {
    const QStringList columns = tableColumns(connection, QStringLiteral("dt_data"));
    engine::Statement read(connection,
                           QStringLiteral("select t.c901, t.after, %1 from %2 t left join main.dt_data d "
                                          "on d.c901 = t.c901 where t.import_id = ?1 order by t.c901")
                               .arg(rowTextExpression(columns), ImportTouchedTable));
    read.bindInt64(1, id);
    QStringList changed;
    while (read.step()) {
        const bool gone = read.isNull(2);
        if (gone || fingerprint(read.text(2)) != read.text(1).toLatin1())
            changed << engine::codeTextOf(read.value(0));
    }
    return changed;
}

QString listedCodes(const QStringList& codes) {
    constexpr int Shown = 10;
    QString text = codes.mid(0, Shown).join(QStringLiteral("、"));
    if (codes.size() > Shown)
        text += QStringLiteral("等%1条记录").arg(codes.size());
    return text;
}

} // namespace

namespace history {

void ensureTables(engine::Connection& connection) {
    connection.execute(QStringLiteral("create table if not exists %1 (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                      "at TEXT, file TEXT, label TEXT, added INTEGER DEFAULT 0, "
                                      "replaced INTEGER DEFAULT 0, skipped INTEGER DEFAULT 0, "
                                      "undone INTEGER DEFAULT 0)")
                           .arg(ImportLogTable));
    connection.execute(QStringLiteral("create table if not exists %1 (import_id INTEGER NOT NULL, "
                                      "c901 DOUBLE NOT NULL, replaced INTEGER NOT NULL, after TEXT, "
                                      "PRIMARY KEY (import_id, c901))")
                           .arg(ImportTouchedTable));
    if (!connection.tableExists(ImportReplacedTable)) {
        connection.execute(
            QStringLiteral("create table %1 (import_id INTEGER NOT NULL, %2)")
                .arg(ImportReplacedTable, declaredDataColumns(connection).join(QStringLiteral(", "))));
        connection.execute(
            QStringLiteral("create index %1_key on %1 (import_id, c901)").arg(ImportReplacedTable));
    }
}

qint64 startEntry(engine::Connection& connection, const QDateTime& at, const QString& file,
                  const QString& label) {
    connection.execute(
        QStringLiteral("insert into %1 (at, file, label) values (?1, ?2, ?3)").arg(ImportLogTable),
        {at.toString(Qt::ISODate), file, label});
    return connection.lastInsertId();
}

void finishEntry(engine::Connection& connection, qint64 id, qint64 added, qint64 replaced, qint64 skipped) {
    connection.execute(QStringLiteral("update %1 set added = ?2, replaced = ?3, skipped = ?4 where id = ?1")
                           .arg(ImportLogTable),
                       {id, added, replaced, skipped});
}

void noteRecord(engine::Connection& connection, qint64 id, UnionCode code, bool replaced) {
    const qint64 noted = connection.execute(
        QStringLiteral("insert or ignore into %1 (import_id, c901, replaced) values (?1, ?2, ?3)")
            .arg(ImportTouchedTable),
        {id, double(code), replaced ? 1 : 0});
    if (noted == 0 || !replaced)
        return;
    const QStringList columns = quotedColumns(tableColumns(connection, QStringLiteral("dt_data")));
    connection.execute(
        QStringLiteral("insert into %1 (import_id, %2) select ?1, %2 from main.dt_data where c901 = ?2")
            .arg(ImportReplacedTable, columns.join(QLatin1Char(','))),
        {id, double(code)});
}

qint64 noteNewRecords(engine::Connection& connection, qint64 id, const QString& stagedTable) {
    return connection.execute(
        QStringLiteral("insert or ignore into %1 (import_id, c901, replaced) select ?1, s.c901, 0 from %2 s "
                       "where not exists (select 1 from main.dt_data d where d.c901 = s.c901) "
                       "group by s.c901 having count(*) = 1")
            .arg(ImportTouchedTable, stagedTable),
        {id});
}

void sealEntry(engine::Connection& connection, qint64 id) {
    const QStringList columns = tableColumns(connection, QStringLiteral("dt_data"));
    engine::Statement read(connection, QStringLiteral("select t.c901, %1 from %2 t join main.dt_data d "
                                                      "on d.c901 = t.c901 where t.import_id = ?1")
                                           .arg(rowTextExpression(columns), ImportTouchedTable));
    engine::Statement seal(connection,
                           QStringLiteral("update %1 set after = ?3 where import_id = ?1 and c901 = ?2")
                               .arg(ImportTouchedTable));
    read.bindInt64(1, id);
    while (read.step()) {
        const QByteArray print = fingerprint(read.text(1));
        seal.bindInt64(1, id);
        seal.bind(2, read.value(0));
        seal.bindText(3, print.constData(), int(print.size()));
        seal.run();
        seal.reset();
    }
}

} // namespace history

std::vector<ImportLogEntry> importLog(engine::Connection& connection) {
    std::vector<ImportLogEntry> entries;
    if (!connection.tableExists(ImportLogTable))
        return entries;
    engine::Statement read(
        connection,
        QStringLiteral("select id, at, file, label, added, replaced, skipped, undone from %1 order by id")
            .arg(ImportLogTable));
    while (read.step()) {
        ImportLogEntry entry;
        entry.id = read.integer(0);
        entry.at = QDateTime::fromString(read.text(1), Qt::ISODate);
        entry.file = read.text(2);
        entry.label = read.text(3);
        entry.added = read.integer(4);
        entry.replaced = read.integer(5);
        entry.skipped = read.integer(6);
        entry.undone = read.integer(7) != 0;
        entries.push_back(entry);
    }
    return entries;
}

void undoImport(engine::Connection& connection, qint64 id) {
    const QVariant undone =
        logExists(connection)
            ? connection.scalar(QStringLiteral("select undone from %1 where id = ?1").arg(ImportLogTable),
                                {id})
            : QVariant();
    if (undone.isNull())
        throw Error(QStringLiteral("没有编号为 %1 的导入记录。").arg(id));
    if (undone.toLongLong() != 0)
        throw Error(QStringLiteral("编号为 %1 的导入已经撤销过了。").arg(id));
    const QStringList changed = changedSinceImport(connection, id);
    if (!changed.isEmpty())
        throw Error(QStringLiteral("不能撤销编号为 %1 的导入：导入之后以下记录又被修改或删除过：%2。"
                                   "请先撤销之后的导入或恢复这些记录。")
                        .arg(id)
                        .arg(listedCodes(changed)));

    const QStringList columns = quotedColumns(tableColumns(connection, QStringLiteral("dt_data")));
    QStringList restored;
    for (const QString& column : columns)
        restored << QStringLiteral("%1 = r.%1").arg(column);
    engine::Transaction transaction(connection);
    connection.execute(QStringLiteral("delete from main.dt_data where c901 in "
                                      "(select c901 from %1 where import_id = ?1 and replaced = 0)")
                           .arg(ImportTouchedTable),
                       {id});
    connection.execute(
        QStringLiteral("update main.dt_data set %1 from (select * from %2 where import_id = ?1) r "
                       "where main.dt_data.c901 = r.c901")
            .arg(restored.join(QStringLiteral(", ")), ImportReplacedTable),
        {id});
    connection.execute(QStringLiteral("update %1 set undone = 1 where id = ?1").arg(ImportLogTable), {id});
    transaction.commit();
}

} // namespace corvalis::exchange
