#pragma once

#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

#include <QFile>
#include <QtTest>
#include <sqlite3.h>
#include <vector>

namespace corvalis::testing {

// Runs statements on a file through the engine's plain interface, past what the program's
// connections allow (they do not write the schema table, say): for files made to look damaged or
// forged.
inline void rawExec(const QString& path, const QByteArray& sql) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error);
    const QString text = QString::fromUtf8(error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, qPrintable(text));
}

// Replaces the unique index on c901 of a file by one over keyColumn whose statement still names c901,
// after running the statements between: an index that does not match the rows, which the quick
// integrity check of received files does not look for.
inline void forgeCodeIndex(const QString& path, const QByteArray& keyColumn, const QByteArray& between = {}) {
    rawExec(path, "drop index dt_data_c901; " + between + "; create index dt_data_c901 on dt_data(" +
                      keyColumn +
                      "); pragma writable_schema=on; update sqlite_master set sql="
                      "'CREATE UNIQUE INDEX dt_data_c901 ON dt_data (c901)' where name='dt_data_c901';");
}

// The engine's full integrity check of the main database, which also compares indexes with tables.
inline QString integrityOf(engine::Connection& db) {
    return db.scalar(QStringLiteral("pragma main.integrity_check")).toString();
}

// The root page of a table or an index.
inline qint64 rootPageOf(engine::Connection& db, const QString& name = QStringLiteral("dt_data")) {
    return db.scalar(QStringLiteral("select rootpage from sqlite_master where name=?1"), {name}).toLongLong();
}

// The columns of dt_data of REAL affinity, by position, as the page walk takes them.
inline std::vector<bool> realColumnsOf(engine::Connection& db) {
    std::vector<bool> real;
    engine::Statement columns(db, QStringLiteral("select type from pragma_table_info('dt_data')"));
    while (columns.step())
        real.push_back(columns.text(0).toUpper() == QLatin1String("DOUBLE"));
    return real;
}

} // namespace corvalis::testing
