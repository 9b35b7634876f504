#include "GroupTransfer.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace corvalis::summary {

namespace {

const QString TransferAlias = QStringLiteral("grouptransfer");

// Table names become part of statements; they come from the program's own list, and this makes sure.
QString tableName(const QString& name) {
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!identifier.match(name).hasMatch())
        throw EngineError(QStringLiteral("无效的数据表名：%1").arg(name));
    return name;
}

FileRequest transferRequest(const QString& title) {
    FileRequest request;
    request.title = title;
    request.filter = TransferFilter;
    request.folder = Settings::groupTransferFolder();
    if (!request.folder.isEmpty())
        QDir().mkpath(request.folder);
    return request;
}

void showTransferError(UiServices& ui, const QString& text) {
    showRunError(ui, text, TransferErrorSuffix);
}

bool samePath(const QString& a, const QString& b) {
    const QString left = QFileInfo(a).canonicalFilePath();
    return !left.isEmpty() && left == QFileInfo(b).canonicalFilePath();
}

void copyTable(engine::Connection& target, const QString& table) {
    const QVariant create = target.scalar(
        QStringLiteral("select sql from %1.sqlite_master where type='table' and name=?1 collate nocase")
            .arg(TransferAlias),
        {table});
    if (create.isNull())
        throw EngineError(QStringLiteral("找不到输入表或查询“%1”。").arg(table));
    target.execute(create.toString());
    target.execute(QStringLiteral("insert into main.%1 select * from %2.%1").arg(table, TransferAlias));
}

} // namespace

QStringList groupTableList() {
    return {QStringLiteral("CT_Group"), QStringLiteral("DT_GroupItem")};
}

QString transferFileName(const QString& typed) {
    if (typed.size() > 4 && !typed.endsWith(QLatin1String(".mdb")))
        return typed + QStringLiteral(".mdb");
    return typed;
}

bool exportGroupTables(const QString& source, const QStringList& tables, UiServices& ui) {
    try {
        engine::Connection probe(source);
    } catch (const Error& error) {
        showTransferError(ui, error.text());
        return false;
    }
    const std::optional<FileChoice> choice =
        ui.chooseSaveFile(transferRequest(QStringLiteral("导出文件存放为")));
    if (!choice || choice->path.trimmed().isEmpty())
        return false;
    const QString target = transferFileName(choice->path);
    // Dropping the tables of the source itself would lose every group before they are copied.
    if (samePath(target, source)) {
        showTransferError(ui, QStringLiteral("导出文件不能是数据库文件本身"));
        return false;
    }
    if (!QFileInfo::exists(target)) {
        try {
            engine::Connection::createDatabase(target);
        } catch (const Error& error) {
            ui.showMessage(error.text(), QString(), MessageIcon::Critical);
            return false;
        }
    }
    ProgressReporter& progress = ui.progress();
    try {
        engine::Connection connection(target);
        engine::Attachment from(connection, source, TransferAlias);
        progress.start(QString(), tables.size(), 0, false);
        engine::Transaction transaction(connection);
        for (const QString& table : tables) {
            const QString name = tableName(table);
            if (connection.tableExists(name)) {
                try {
                    connection.execute(QStringLiteral("drop table ") + name);
                } catch (const EngineError&) {
                    // A table that cannot be dropped makes the copy fail below, with its own message.
                }
            }
            copyTable(connection, name);
            progress.step();
            ui.keepResponsive();
        }
        transaction.commit();
    } catch (const Error& error) {
        progress.finish();
        showTransferError(ui, error.text());
        return false;
    }
    progress.finish();
    ui.showMessage(QStringLiteral("数据已经被正确导出到：'") + target + QStringLiteral("'！"));
    return true;
}

bool importGroupTables(engine::Connection& connection, const QStringList& tables, UiServices& ui) {
    const std::optional<FileChoice> choice =
        ui.chooseOpenFile(transferRequest(QStringLiteral("选择导入文件")));
    if (!choice || choice->path.trimmed().isEmpty())
        return false;
    const QString file = transferFileName(choice->path);
    if (!QFileInfo::exists(file)) {
        ui.showMessage(ImportFileMissingMessage);
        return false;
    }
    ProgressReporter& progress = ui.progress();
    try {
        engine::Attachment from(connection, file, TransferAlias);
        engine::Transaction transaction(connection);
        progress.start(QString(), tables.size(), 0, false);
        for (const QString& table : tables) {
            const QString name = tableName(table);
            if (!connection.tableExists(name, TransferAlias)) {
                ui.showMessage(QStringLiteral("您选择的文件中不存在名字为\"") + table +
                               QStringLiteral("\"的数据表"));
                continue;
            }
            connection.execute(QStringLiteral("delete from main.") + name);
            connection.execute(
                QStringLiteral("insert into main.%1 select * from %2.%1").arg(name, TransferAlias));
            progress.step();
            ui.keepResponsive();
        }
        transaction.commit();
    } catch (const Error& error) {
        progress.finish();
        showTransferError(ui, error.text());
        return false;
    }
    progress.finish();
    ui.showMessage(ImportDoneMessage);
    return true;
}

} // namespace corvalis::summary
