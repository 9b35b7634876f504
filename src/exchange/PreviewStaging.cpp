#include "PreviewStaging.h"

#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"
#include "records/CodeTables.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <vector>

namespace corvalis::exchange {

namespace {

QString quotedName(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

struct TextColumn {
    QString name;
    bool text = false;
};

// The columns the header names, matched to dt_data; empty when the header is not acceptable: an
// unknown or repeated column, or no c901.
std::vector<TextColumn> headerColumns(engine::Connection& connection, const QString& header) {
    QStringList names = header.split(QLatin1Char(','));
    if (!names.isEmpty() && names.last().trimmed().isEmpty())
        names.removeLast();
    engine::Statement info(connection, QStringLiteral("select name, type from pragma_table_info('dt_data')"));
    QHash<QString, TextColumn> known;
    while (info.step())
        known.insert(info.text(0).toLower(), {info.text(0), engine::columnTypeFromDeclaration(info.text(1)) ==
                                                                engine::ColumnType::Text});
    std::vector<TextColumn> columns;
    QSet<QString> seen;
    for (const QString& raw : names) {
        const QString name = raw.trimmed().toLower();
        if (!known.contains(name) || seen.contains(name))
            return {};
        seen.insert(name);
        columns.push_back(known.value(name));
    }
    if (!seen.contains(QStringLiteral("c901")))
        return {};
    return columns;
}

void bindNumber(engine::Statement& insert, int position, const QString& part, int line,
                const QString& column) {
    const QString text = part.trimmed();
    bool ok = false;
    const qint64 whole = text.toLongLong(&ok);
    if (ok) {
        insert.bindInt64(position, whole);
        return;
    }
    const double value = text.toDouble(&ok);
    if (!ok)
        throw EngineError(QStringLiteral("第 %1 行“%2”的值“%3”不是数字。").arg(line).arg(column, part));
    insert.bindDouble(position, value);
}

QList<QByteArray> linesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("无法打开文件“%1”：%2").arg(path, file.errorString()));
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

} // namespace

void createStagedTable(engine::Connection& connection, const QString& table) {
    engine::Statement info(connection, QStringLiteral("select name, type from pragma_table_info('dt_data')"));
    QStringList columns;
    while (info.step())
        columns << quotedName(info.text(0)) + QLatin1Char(' ') + info.text(1);
    connection.execute(QStringLiteral("drop table if exists %1").arg(table));
    connection.execute(QStringLiteral("create table %1 (%2)").arg(table, columns.join(QStringLiteral(", "))));
}

bool stageCsvText(engine::Connection& connection, const QString& table, const QString& path) {
    const QList<QByteArray> lines = linesOf(path);
    const std::vector<TextColumn> columns =
        lines.isEmpty() ? std::vector<TextColumn>() : headerColumns(connection, fromGbk(lines.first()));
    if (columns.empty())
        return false;
    QStringList names, marks;
    int stampColumn = -1;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name.compare(QLatin1String("c900"), Qt::CaseInsensitive) == 0) {
            stampColumn = int(i);
            continue;
        }
        names << quotedName(columns[i].name);
        marks << QStringLiteral("?");
    }
    names << QStringLiteral("c900");
    marks << QStringLiteral("?");
    const QByteArray stamp = records::machineStamp().toUtf8();
    engine::Transaction transaction(connection);
    engine::Statement insert(connection,
                             QStringLiteral("insert into %1 (%2) values (%3)")
                                 .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const QString line = fromGbk(lines[n]);
        if (line.trimmed().isEmpty())
            continue;
        QStringList parts = line.split(QLatin1Char(','));
        // Every value is followed by ",", so one empty part more is the exported form.
        if (parts.size() == qsizetype(columns.size()) + 1 && parts.last().isEmpty())
            parts.removeLast();
        if (parts.size() != qsizetype(columns.size()))
            throw EngineError(QStringLiteral("第 %1 行有 %2 个值，标题行有 %3 列。")
                                  .arg(n + 1)
                                  .arg(parts.size())
                                  .arg(columns.size()));
        int position = 1;
        for (size_t i = 0; i < columns.size(); ++i) {
            if (int(i) == stampColumn)
                continue;
            if (columns[i].text) {
                const QByteArray text = parts[qsizetype(i)].toUtf8();
                insert.bindText(position++, text.constData(), int(text.size()));
            } else
                bindNumber(insert, position++, parts[qsizetype(i)], int(n + 1), columns[i].name);
        }
        insert.bindText(position, stamp.constData(), int(stamp.size()));
        insert.run();
        insert.reset();
    }
    transaction.commit();
    return true;
}

} // namespace corvalis::exchange
