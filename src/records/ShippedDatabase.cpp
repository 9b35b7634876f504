#include "ShippedDatabase.h"

#include "app/Errors.h"
#include "app/Passwords.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

#include <QFile>
#include <QSet>

namespace corvalis::records {

namespace {

struct TableSource {
    const char* table;
    const char* file;
};

// The data of the shipped database, table by table.
const TableSource shippedTables[] = {
    {"dt_fieldlist", "fieldlist.csv"},
    {"ct_sheetName", "sheetnames.csv"},
    {"CT_CityName", "codes/CT_CityName.csv"},
    {"CT_UnionDomain", "codes/CT_UnionDomain.csv"},
    {"CT_LevelCode", "codes/CT_LevelCode.csv"},
    {"CT_Industry", "codes/CT_Industry.csv"},
    {"CT_Economic", "codes/CT_Economic.csv"},
    {"CT_HoldSituation", "codes/CT_HoldSituation.csv"},
    {"CT_HoldSituation1", "codes/CT_HoldSituation1.csv"},
    {"CT_state", "codes/CT_state.csv"},
    {"dt_logic", "logic.csv"},
};

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

QSet<QString> numericColumns(engine::Connection& connection, const QString& table) {
    engine::Statement info(connection, QStringLiteral("pragma table_info(%1)").arg(quoted(table)));
    QSet<QString> numeric;
    while (info.step()) {
        const QString type = info.text(2).toUpper();
        if (!type.contains(QLatin1String("CHAR")) && !type.contains(QLatin1String("TEXT")))
            numeric.insert(info.text(1).toLower());
    }
    return numeric;
}

// Creates a file, fills it with `build` inside one transaction, and removes it again on failure.
template <typename Build> void createFile(const QString& path, Build build) {
    engine::Connection::createDatabase(path);
    try {
        engine::Connection connection(path);
        engine::Transaction transaction(connection);
        build(connection);
        transaction.commit();
    } catch (...) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        throw;
    }
}

void createRecordAndLabelTables(engine::Connection& connection) {
    connection.executeScript(shippedText(QStringLiteral("schema/data-table.sql")));
    connection.executeScript(shippedText(QStringLiteral("schema/label-table.sql")));
    connection.execute(QStringLiteral("insert into ct_label (db_name) values (?1)"), {DefaultDatabaseLabel});
}

} // namespace

QString shippedText(const QString& name) {
    QFile file(QStringLiteral(":/shipped/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("程序缺少数据文件“%1”。").arg(name));
    return QString::fromUtf8(file.readAll());
}

std::vector<QStringList> parseCsv(const QString& text) {
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quotedField = false;
    bool fieldStarted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quotedField) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quotedField = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"') && !fieldStarted) {
            quotedField = true;
            fieldStarted = true;
        } else if (c == QLatin1Char(',')) {
            row << field;
            field.clear();
            fieldStarted = false;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            row << field;
            rows.push_back(row);
            row.clear();
            field.clear();
            fieldStarted = false;
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (fieldStarted || !row.isEmpty()) {
        row << field;
        rows.push_back(row);
    }
    return rows;
}

int loadCsvIntoTable(engine::Connection& connection, const QString& table, const QString& csv) {
    const std::vector<QStringList> rows = parseCsv(csv);
    if (rows.empty())
        return 0;
    const QStringList& header = rows.front();
    const QSet<QString> numeric = numericColumns(connection, table);
    QStringList columns, marks;
    for (int i = 0; i < header.size(); ++i) {
        columns << quoted(header.at(i).trimmed());
        marks << QStringLiteral("?%1").arg(i + 1);
    }
    engine::Statement insert(
        connection, QStringLiteral("insert into %1 (%2) values (%3)")
                        .arg(quoted(table), columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    int count = 0;
    for (size_t r = 1; r < rows.size(); ++r) {
        const QStringList& values = rows[r];
        if (values.size() == 1 && values.front().isEmpty())
            continue; // blank line
        if (values.size() != header.size())
            throw Error(QStringLiteral("数据表 %1 第 %2 行的字段数不对。").arg(table).arg(r + 1));
        for (int i = 0; i < values.size(); ++i) {
            const bool blankNumber =
                values.at(i).isEmpty() && numeric.contains(header.at(i).trimmed().toLower());
            insert.bind(i + 1, blankNumber ? QVariant() : QVariant(values.at(i)));
        }
        insert.run();
        insert.reset();
        ++count;
    }
    return count;
}

void createShippedDatabase(const QString& path) {
    createFile(path, [](engine::Connection& connection) {
        createRecordAndLabelTables(connection);
        connection.executeScript(shippedText(QStringLiteral("schema/tables.sql")));
        connection.executeScript(shippedText(QStringLiteral("schema/views.sql")));
        for (const TableSource& source : shippedTables) {
            const QString file = QString::fromLatin1(source.file);
            if (QFile::exists(QStringLiteral(":/shipped/") + file))
                loadCsvIntoTable(connection, QString::fromLatin1(source.table), shippedText(file));
        }
    });
}

void createDataFileTemplate(const QString& path) {
    createFile(path, [](engine::Connection& connection) {
        createRecordAndLabelTables(connection);
        connection.setPassword(deriveDatabasePassword());
    });
}

} // namespace corvalis::records
