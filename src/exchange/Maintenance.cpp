#include "Maintenance.h"

#include "ConflictReport.h"
#include "DataFile.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/ReceivedFile.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"

#include <QDir>
#include <QFileInfo>

namespace corvalis::exchange {

namespace {

const QString RestoreAlias = QStringLiteral("restored");

QString trimmedChoice(const std::optional<FileChoice>& choice) {
    return choice ? choice->path.trimmed() : QString();
}

QStringList numbered(const QString& prefix, int from, int to) {
    QStringList names;
    for (int n = from; n <= to; ++n)
        names << prefix + QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
    return names;
}

// One range of columns of the conversion: target names and the source names they take.
struct ColumnRange {
    QString prefix;
    int from;
    int to;
    int sourceFrom; // the source number of the first column
};

} // namespace

bool backupDatabase(DbSession& session, UiServices& ui) {
    const QString documents = Settings::documentsFolder();
    QDir().mkpath(documents);
    const QString chosen = trimmedChoice(ui.chooseSaveFile(
        FileRequest{QStringLiteral("备份文件存放为"), AccessFilter, 1, documents, QString()}));
    if (chosen.isEmpty())
        return false;
    return backupDatabaseTo(session, ui, withExtensionIfLong(chosen, QStringLiteral(".mdb")));
}

bool backupDatabaseTo(DbSession& session, UiServices& ui, const QString& target) {
    // Copying a file onto itself would empty it first.
    if (isSameFile(target, session.path())) {
        ui.showMessage(QStringLiteral("不能把数据库备份到它自己。"), QString(), MessageIcon::Warning);
        return false;
    }
    session.close();
    try {
        // A read transaction keeps other processes from committing while the bytes are copied, so
        // the copy is one consistent state of the database.
        engine::Connection reader(session.path());
        reader.executeScript(QStringLiteral("begin; select count(*) from sqlite_master"));
        replaceFileContents(session.path(), target);
        reader.executeScript(QStringLiteral("rollback"));
    } catch (...) {
        session.reopen();
        throw;
    }
    session.reopen();
    ui.showMessage(QStringLiteral("备份成功"));
    return true;
}

bool restoreDatabase(DbSession& session, UiServices& ui) {
    const QString chosen = trimmedChoice(ui.chooseOpenFile(
        FileRequest{ChooseImportTitle, AccessFilter, 1, Settings::documentsFolder(), QString()}));
    if (chosen.isEmpty())
        return false;
    return restoreDatabaseFrom(session, ui, withExtensionIfLong(chosen, QStringLiteral(".mdb")));
}

bool restoreDatabaseFrom(DbSession& session, UiServices& ui, const QString& path) {
    if (!QFileInfo(path).isFile()) {
        ui.showMessage(FileMissingMessage, QString(), MessageIcon::Warning);
        return false;
    }
    engine::Connection& db = session.connection();
    try {
        if (isSameFile(path, session.path()))
            throw EngineError(QStringLiteral("不能用打开的数据库恢复它自己。"));
        engine::Attachment file(db, path, RestoreAlias);
        vetReceivedDatabase(db, RestoreAlias, path);
        if (!db.tableExists(QStringLiteral("dt_data"), RestoreAlias)) {
            ui.showMessage(FileHasNoDataTable, QString(), MessageIcon::Warning);
            return false;
        }
        if (!sameRecordLayout(db, RestoreAlias))
            throw EngineError(QStringLiteral("数据表的列与系统中的不一致。"));
        if (!ui.askYesNo(
                QStringLiteral("此操作将覆盖默认库中的数据，确定要覆盖吗?按【是】确定。按【否】取消"),
                QStringLiteral("提示："), MessageIcon::Warning, true))
            return false;
        const bool restored = underWorkLimit(db, path, path, [&] {
            engine::Transaction transaction(db);
            db.execute(QStringLiteral("delete from dt_data"));
            // The value rules ride along with the copy; a record left out refuses the file, and the
            // transaction ends without a commit, so the records stay as they were.
            const qint64 sent =
                db.scalar(QStringLiteral("select count(*) from %1.dt_data").arg(RestoreAlias)).toLongLong();
            const qint64 taken =
                db.execute(QStringLiteral("insert into dt_data select * from %1.dt_data where %2")
                               .arg(RestoreAlias, records::receivedRecordCondition(db)));
            if (taken != sent) {
                const records::RefusedRecords refused =
                    records::refusedRecords(db, RestoreAlias + QStringLiteral(".dt_data"));
                transaction.rollback();
                ui.openWithShell(writeRefusalReport(refused));
                ui.showMessage(refusalMessage(QStringLiteral("恢复")), QString(), MessageIcon::Warning);
                return false;
            }
            transaction.commit();
            return true;
        });
        if (!restored)
            return false;
    } catch (const EngineError& error) {
        showRunError(ui, error.text(), ContactSuffix);
        return false;
    }
    ui.showMessage(QStringLiteral("数据恢复操作完成！"));
    return true;
}

void tidyData(engine::Connection& connection, UiServices& ui) {
    connection.execute(QStringLiteral("update dt_data set c912=1 where c912=0"));
    ui.showMessage(QStringLiteral("数据整理完成"));
}

QString previousYearInsertStatement() {
    QStringList target{QStringLiteral("c901"), QStringLiteral("c902"), QStringLiteral("c903"),
                       QStringLiteral("c904"), QStringLiteral("c905"), QStringLiteral("c906"),
                       QStringLiteral("c907"), QStringLiteral("c909"), QStringLiteral("c910"),
                       QStringLiteral("c911")};
    QStringList source = target;
    target << QStringLiteral("c912") << QStringLiteral("recordstate");
    source << QStringLiteral("1") << QStringLiteral("0");
    const ColumnRange ranges[] = {
        {QStringLiteral("z"), 1, 24, 1}, {QStringLiteral("b"), 1, 29, 1},   {QStringLiteral("h"), 1, 22, 1},
        {QStringLiteral("l"), 1, 10, 1}, {QStringLiteral("f"), 3, 22, 1},   {QStringLiteral("f"), 24, 26, 21},
        {QStringLiteral("j"), 1, 15, 1}, {QStringLiteral("j"), 22, 23, 16}, {QStringLiteral("w"), 1, 5, 1},
        {QStringLiteral("s"), 2, 3, 1},
    };
    for (const ColumnRange& range : ranges) {
        target << numbered(range.prefix, range.from, range.to);
        source << numbered(range.prefix, range.sourceFrom, range.sourceFrom + range.to - range.from);
    }
    return QStringLiteral("insert into dt_data(") + target.join(QLatin1Char(',')) +
           QStringLiteral(") select ") + source.join(QLatin1Char(',')) + QStringLiteral(" from dt_data_2010");
}

void convertPreviousYear(engine::Connection& connection, UiServices& ui) {
    engine::Transaction transaction(connection);
    connection.execute(previousYearInsertStatement());
    connection.execute(QStringLiteral("delete from dt_data_2010"));
    connection.execute(QStringLiteral("delete from dt_data_dt_data_2010"));
    transaction.commit();
    ui.showMessage(QStringLiteral("数据已经转换成功!"));
}

} // namespace corvalis::exchange
