#include "CsvImport.h"

#include "ConflictReport.h"
#include "DataFile.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

#include <QFileInfo>

namespace corvalis::exchange {

namespace {

struct CsvColumn {
    QString name; // as dt_data names it
    bool text = false;
};

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// The columns the header names, matched to dt_data; empty when the header is not acceptable.
std::vector<CsvColumn> headerColumns(engine::Connection& db, const QString& header) {
    QStringList names = header.split(QLatin1Char(','));
    if (!names.isEmpty() && names.last().trimmed().isEmpty())
        names.removeLast();
    engine::Statement info(db, QStringLiteral("select name, type from pragma_table_info('dt_data')"));
    QHash<QString, CsvColumn> known;
    while (info.step()) {
        const engine::ColumnType type = engine::columnTypeFromDeclaration(info.text(1));
        known.insert(info.text(0).toLower(), {info.text(0), type == engine::ColumnType::Text});
    }
    std::vector<CsvColumn> columns;
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

// Binds a number column's value: a whole number when it is one, else a decimal number.
void bindNumber(engine::Statement& insert, int position, QStringView part, int line, const QString& column) {
    const QStringView text = part.trimmed();
    bool ok = false;
    const qint64 whole = text.toLongLong(&ok);
    if (ok) {
        insert.bindInt64(position, whole);
        return;
    }
    const double value = text.toDouble(&ok);
    if (!ok)
        throw EngineError(
            QStringLiteral("第 %1 行“%2”的值“%3”不是数字。").arg(line).arg(column, part.toString()));
    insert.bindDouble(position, value);
}

// Stages the lines in the scratch table in one transaction.
void stageLines(engine::Connection& db, const QStringList& lines, const std::vector<CsvColumn>& columns,
                const QString& machineStamp, const std::function<void(int)>& percent) {
    QStringList names, marks;
    int stampColumn = -1;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name.compare(QLatin1String("c900"), Qt::CaseInsensitive) == 0) {
            stampColumn = int(i);
            continue;
        }
        names << quoted(columns[i].name);
        marks << QStringLiteral("?");
    }
    names << QStringLiteral("c900");
    marks << QStringLiteral("?");
    const QByteArray stamp = machineStamp.toUtf8();
    engine::Transaction transaction(db);
    engine::Statement insert(db, QStringLiteral("insert into dt_data_dt_data(%1) values (%2)")
                                     .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    const int total = lines.size();
    int shown = -1;
    for (int n = 1; n < total; ++n) {
        const QString& line = lines.at(n);
        if (line.trimmed().isEmpty())
            continue;
        QList<QStringView> parts = QStringView(line).split(QLatin1Char(','));
        // Every value is followed by ",", so one empty part more is the exported form.
        if (parts.size() == int(columns.size()) + 1 && parts.last().isEmpty())
            parts.removeLast();
        if (parts.size() != int(columns.size()))
            throw EngineError(QStringLiteral("第 %1 行有 %2 个值，标题行有 %3 列。")
                                  .arg(n + 1)
                                  .arg(parts.size())
                                  .arg(columns.size()));
        int position = 1;
        for (size_t i = 0; i < columns.size(); ++i) {
            if (int(i) == stampColumn)
                continue;
            if (columns[i].text) {
                const QByteArray utf8 = parts.at(int(i)).toUtf8();
                insert.bindText(position++, utf8.constData(), int(utf8.size()));
            } else {
                bindNumber(insert, position++, parts.at(int(i)), n + 1, columns[i].name);
            }
        }
        insert.bindText(position, stamp.constData(), int(stamp.size()));
        insert.run();
        insert.reset();
        const int now = int(qint64(n + 1) * 100 / total);
        if (percent && now != shown)
            percent(shown = now);
    }
    transaction.commit();
}

ConflictRows stagedConflicts(engine::Connection& db) {
    engine::Statement statement(
        db, QStringLiteral("select c901,c902 from dt_data_dt_data where c901 in "
                           "(select c901 from dt_data) or c901 in (select c901 from "
                           "dt_data_dt_data group by c901 having count(*) > 1) order by c901"));
    ConflictRows rows;
    while (statement.step())
        rows.push_back({engine::codeTextOf(statement.value(0)), statement.text(1)});
    return rows;
}

} // namespace

QString checkedCsvPath(const QString& chosen, UiServices& ui) {
    QString path = chosen.trimmed();
    if (!path.endsWith(QLatin1String(".csv"), Qt::CaseSensitive))
        path += QStringLiteral(".csv");
    if (QFileInfo(path).isFile())
        return path;
    ui.showMessage(QStringLiteral("您选择的文件名为【") + path +
                       QStringLiteral("】的文件并不存在，请选择其它文件。"),
                   QString(), MessageIcon::Warning);
    return QString();
}

CsvImportOutcome importCsvFile(DbSession& session, UiServices& ui, const QString& path,
                               const QString& machineStamp, const std::function<void(int)>& percent) {
    if (path.isEmpty()) {
        ui.showMessage(QStringLiteral("请选择要导入的csv文件"), QString(), MessageIcon::Warning);
        return CsvImportOutcome::Refused;
    }
    engine::Connection& db = session.connection();
    try {
        db.execute(QStringLiteral("delete from dt_data_dt_data"));
        const QStringList lines = readGbkTextFile(path);
        const std::vector<CsvColumn> columns =
            lines.isEmpty() ? std::vector<CsvColumn>() : headerColumns(db, lines.front());
        if (columns.empty()) {
            ui.showMessage(CsvFormatRefusal, QString(), MessageIcon::Warning);
            return CsvImportOutcome::Refused;
        }
        stageLines(db, lines, columns, machineStamp, percent);
        const records::RefusedRecords refused =
            records::refusedRecords(db, QStringLiteral("main.dt_data_dt_data"));
        if (!refused.empty()) {
            ui.openWithShell(writeRefusalReport(refused));
            ui.showMessage(refusalMessage(QStringLiteral("导入")), QString(), MessageIcon::Warning);
            return CsvImportOutcome::Refused;
        }
        const ConflictRows conflicts = stagedConflicts(db);
        if (!conflicts.empty()) {
            ui.openWithShell(writeConflictReport(conflicts));
            return CsvImportOutcome::Conflicts;
        }
        const QString all = tableColumns(db, QStringLiteral("dt_data")).join(QLatin1Char(','));
        db.execute(QStringLiteral("insert into dt_data (%1) select %1 from dt_data_dt_data").arg(all));
    } catch (const Error& error) {
        showRunError(ui, error.text(), ContactSuffix);
        return CsvImportOutcome::Refused;
    }
    if (percent)
        percent(100);
    ui.showMessage(QStringLiteral("数据已经被正确地导入!"));
    return CsvImportOutcome::Imported;
}

} // namespace corvalis::exchange
