#include "RecordStore.h"

#include "SurveyColumns.h"
#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

#include <QStringList>

namespace corvalis::records {

namespace {
QString checkedColumn(const QString& name) {
    for (const QString& column : dataColumnNames())
        if (column.compare(name, Qt::CaseInsensitive) == 0)
            return column;
    throw EngineError(QStringLiteral("dt_data 中没有字段 %1").arg(name));
}
} // namespace

std::optional<StoredRecord> readRecord(engine::Connection& connection, UnionCode code) {
    engine::Statement statement(connection,
                                QStringLiteral("SELECT rowid as engine_row, * from dt_data Where c901=?"));
    statement.bindInt64(1, code);
    if (!statement.step())
        return std::nullopt;
    StoredRecord record;
    record.rowId = statement.integer(0);
    for (int column = 1; column < statement.columnCount(); ++column)
        record.values.insert(statement.columnName(column).toLower(), statement.value(column));
    return record;
}

UnionCode nextFreeCode(engine::Connection& connection) {
    const QVariant next = connection.scalar(QStringLiteral("SELECT MAX(c901)+1 as NSI FROM dt_data"));
    return engine::codeOf(next).value_or(UnionCode(engine::floatOf(next)));
}

qint64 writeRecord(engine::Connection& connection, const ColumnValues& values, std::optional<qint64> rowId) {
    QStringList columns;
    QVariantList params;
    for (const auto& [name, value] : values) {
        columns << checkedColumn(name);
        params << value;
    }
    if (rowId) {
        QStringList assignments;
        for (const QString& column : columns)
            assignments << column + QStringLiteral("=?");
        params << *rowId;
        const qint64 changed = connection.execute(
            QStringLiteral("UPDATE dt_data SET %1 WHERE rowid=?").arg(assignments.join(QLatin1Char(','))),
            params);
        if (changed == 0)
            throw EngineError(QStringLiteral("要保存的记录已经不在数据库中。"));
        return *rowId;
    }
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    connection.execute(QStringLiteral("INSERT INTO dt_data (%1) VALUES (%2)")
                           .arg(columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                       params);
    return connection.lastInsertId();
}

} // namespace corvalis::records
