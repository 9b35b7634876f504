#include "PreviewStaging.h"

#include "CsvImport.h"

#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "records/CodeTables.h"

#include <QStringList>

namespace corvalis::exchange {

void createStagedTable(engine::Connection& connection, const QString& table) {
    engine::Statement info(connection, QStringLiteral("select name, type from pragma_table_info('dt_data')"));
    QStringList columns;
    while (info.step())
        columns << engine::quotedIdentifier(info.text(0)) + QLatin1Char(' ') + info.text(1);
    connection.execute(QStringLiteral("drop table if exists %1").arg(table));
    connection.execute(QStringLiteral("create table %1 (%2)").arg(table, columns.join(QStringLiteral(", "))));
}

bool stageCsvText(engine::Connection& connection, const QString& table, const QString& path) {
    return stageCsvFile(connection, table, path, records::machineStamp());
}

} // namespace corvalis::exchange
