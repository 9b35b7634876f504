#include "RecordImport.h"

#include "DataFile.h"
#include "DataImport.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

#include <QFileInfo>

namespace corvalis::exchange {

namespace {

const QString RecordAlias = QStringLiteral("single");
const QString LineBreak = QStringLiteral("\n\r");

// How a blank value of a column is written: numbers become 0, dates null, texts stay empty.
QVariant valueFor(const engine::Statement& row, int column) {
    const engine::ColumnType type = engine::columnTypeFromDeclaration(row.declaredType(column));
    const QVariant value = row.value(column);
    const bool blank = value.isNull() || engine::textOf(value).trimmed().isEmpty();
    if (!blank)
        return value;
    switch (type) {
    case engine::ColumnType::Integer:
    case engine::ColumnType::Float:
    case engine::ColumnType::Boolean:
        return qint64(0);
    case engine::ColumnType::DateTime:
        return QVariant();
    default:
        return value.isNull() ? QVariant(QString()) : value;
    }
}

QString failureMessage(engine::Connection& db, const QString& code, const QString& name, bool skipFaulty) {
    QString text = QStringLiteral("请做好记录:因为编号为[") + code + QStringLiteral("]的单位 [") + name +
                   QStringLiteral("] 的数据出错。") + LineBreak + LineBreak;
    engine::Statement holder(db, QStringLiteral("select c902 from dt_data where c901=?1"));
    holder.bind(1, code.trimmed().toDouble());
    if (holder.step())
        text += QStringLiteral("现在已经存在使用相同编号的单位：") + LineBreak + LineBreak +
                QStringLiteral("    ") + holder.text(0) + LineBreak + QStringLiteral("请核实。");
    text += LineBreak + LineBreak +
            (skipFaulty ? QStringLiteral("该数据没有被导入。要继续处理下一条么？")
                        : QStringLiteral("所以没有导入任何数据。"));
    return text;
}

} // namespace

bool importRecordByRecord(DbSession& session, UiServices& ui, bool skipFaulty) {
    const std::optional<FileChoice> choice = ui.chooseOpenFile(
        FileRequest{ChooseImportTitle, AccessFilter, 1, Settings::documentsFolder(), QString()});
    if (!choice || choice->path.trimmed().isEmpty())
        return false;
    return importRecordByRecordFrom(session, ui, choice->path.trimmed(), skipFaulty);
}

bool importRecordByRecordFrom(DbSession& session, UiServices& ui, const QString& path, bool skipFaulty) {
    if (!QFileInfo(path).isFile()) {
        ui.showMessage(FileMissingMessage, QString(), MessageIcon::Warning);
        return false;
    }
    engine::Connection& db = session.connection();
    std::optional<engine::Attachment> attachment;
    try {
        attachment.emplace(db, path, RecordAlias);
        if (!db.tableExists(QStringLiteral("dt_data"), RecordAlias)) {
            ui.showMessage(FileHasNoDataTable, QString(), MessageIcon::Warning);
            return false;
        }
        if (!db.tableExists(QStringLiteral("dt_data"))) {
            ui.showMessage(SystemHasNoDataTable, QString(), MessageIcon::Warning);
            return false;
        }
    } catch (const EngineError& error) {
        showRunError(ui, error.text(), ContactSuffix);
        return false;
    }

    const qint64 total =
        db.scalar(QStringLiteral("select count(*) from %1.dt_data").arg(RecordAlias)).toLongLong();
    if (total == 0) {
        ui.showMessage(QStringLiteral("准备导入的数据表是空的。"), QString(), MessageIcon::Warning);
        return false;
    }
    ProgressReporter& progress = ui.progress();
    progress.start(QString(), total, 0);
    bool committed = false;
    try {
        engine::Statement rows(db, QStringLiteral("select * from %1.dt_data").arg(RecordAlias));
        QStringList names, marks;
        for (int c = 0; c < rows.columnCount(); ++c) {
            names << QLatin1Char('"') + rows.columnName(c) + QLatin1Char('"');
            marks << QStringLiteral("?%1").arg(c + 1);
        }
        const int codeColumn = rows.columnIndex(QStringLiteral("c901"));
        const int nameColumn = rows.columnIndex(QStringLiteral("c902"));
        engine::Transaction transaction(db);
        engine::Statement insert(db, QStringLiteral("INSERT INTO dt_data (%1) Values(%2)")
                                         .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        bool abandoned = false;
        while (!abandoned && rows.step()) {
            for (int c = 0; c < rows.columnCount(); ++c)
                insert.bind(c + 1, valueFor(rows, c));
            try {
                insert.run();
            } catch (const EngineError&) {
                const QString code = codeColumn >= 0 ? engine::textOf(rows.value(codeColumn)) : QString();
                const QString name = nameColumn >= 0 ? rows.text(nameColumn) : QString();
                const bool goOn = ui.askYesNo(failureMessage(db, code, name, skipFaulty),
                                              QStringLiteral("提示："), MessageIcon::Warning, false);
                abandoned = !skipFaulty || !goOn;
            }
            insert.reset();
            progress.step();
            ui.keepResponsive();
        }
        if (!abandoned) {
            transaction.commit();
            committed = true;
        }
    } catch (const Error& error) {
        // Rolled back by the transaction guard: nothing of this run stays.
        showRunError(ui, error.text(), ContactSuffix);
    }
    progress.finish();
    if (committed)
        ui.showMessage(QStringLiteral("导入操作已经完成。"));
    return committed;
}

} // namespace corvalis::exchange
