#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// Creates a database with the program's tables, views, field dictionary and code tables, built from
// the text sources shipped inside the program; its label is "默认数据库". Fails when the file exists.
// On failure nothing is left behind.
void createShippedDatabase(const QString& path);

// Creates the data-file template: an empty dt_data with the columns of the program's database and a
// one-row ct_label, protected with the program's database password.
void createDataFileTemplate(const QString& path);

// The text of a shipped source file ("schema/tables.sql", "codes/CT_Industry.csv", ...).
QString shippedText(const QString& name);

// Parses comma-separated text (first line the header; fields quoted with " when needed).
std::vector<QStringList> parseCsv(const QString& text);

// Inserts the rows of a CSV text into a table whose columns the header names. Empty fields of
// numeric columns become null.
int loadCsvIntoTable(engine::Connection& connection, const QString& table, const QString& csv);

inline const QString DefaultDatabaseLabel = QStringLiteral("默认数据库");

} // namespace corvalis::records
