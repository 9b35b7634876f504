#include "DatabaseSwitch.h"

#include "DataFile.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/Passwords.h"
#include "app/ReceivedFile.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "records/Roster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace corvalis::exchange {

namespace {

// temp.dat and the numbered working copies made while temp.dat itself was open.
void removeWorkingCopies(const ProgramFolder& folder, const QString& openDatabase) {
    const QDir dir(folder.path());
    const QStringList names = dir.entryList({WorkingCopyName, QStringLiteral("temp-*.dat")}, QDir::Files);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        if (!isSameFile(path, openDatabase))
            QFile::remove(path);
    }
}

// The tables and views the main window reads besides the records.
const QStringList& programObjects() {
    static const QStringList names{QStringLiteral("dt_data"), QStringLiteral("ct_label"),
                                   QStringLiteral("dt_fieldlist"), QStringLiteral("view_data")};
    return names;
}

QStringList objectNames(engine::Connection& db, const QString& schema) {
    engine::Statement statement(
        db, QStringLiteral("select lower(name) from %1.sqlite_master where type in ('table','view')")
                .arg(schema));
    QStringList names;
    while (statement.step())
        names << statement.text(0);
    return names;
}

// A data file holds only the records and the label. Its working copy, which belongs to the program,
// gets the dictionary, views and code tables of the default database, so that the main window can
// show it like any database.
void completeWorkingCopy(const QString& copyPath, const QString& defaultDatabase) {
    engine::Connection copy(copyPath, deriveDatabasePassword());
    engine::Attachment shipped(copy, defaultDatabase, QStringLiteral("shipped"));
    const QStringList present = objectNames(copy, QStringLiteral("main"));
    engine::Statement objects(
        copy, QStringLiteral("select type, name, tbl_name, sql from shipped.sqlite_master "
                             "where sql is not null and name not like 'sqlite\\_%' escape '\\' "
                             "order by case type when 'table' then 0 when 'index' then 1 "
                             "when 'trigger' then 2 else 3 end"));
    QStringList addedTables;
    engine::Transaction transaction(copy);
    while (objects.step()) {
        const QString type = objects.text(0);
        const QString name = objects.text(1);
        // The roster belongs to the collecting office's own database, not to a file it received.
        if (name == engine::Connection::passwordTableName() ||
            name.compare(records::RosterTable, Qt::CaseInsensitive) == 0)
            continue;
        if (type == QLatin1String("table") || type == QLatin1String("view")) {
            if (present.contains(name.toLower()))
                continue;
            copy.executeScript(objects.text(3));
            if (type == QLatin1String("table")) {
                copy.execute(
                    QStringLiteral("insert into main.\"%1\" select * from shipped.\"%1\"").arg(name));
                addedTables << objects.text(2).toLower();
            }
        } else if (addedTables.contains(objects.text(2).toLower())) {
            copy.executeScript(objects.text(3));
        }
    }
    transaction.commit();
}

engine::Connection openEitherWay(const QString& path) {
    engine::Connection db;
    try {
        db.open(path);
    } catch (const EngineError&) {
        db.open(path, deriveDatabasePassword());
    }
    return db;
}

// The first table or view the main window needs that the file lacks, or an empty text.
QString firstMissingObject(const QString& path) {
    engine::Connection db = openEitherWay(path);
    const QStringList present = objectNames(db, QStringLiteral("main"));
    for (const QString& name : programObjects())
        if (!present.contains(name))
            return name;
    return QString();
}

} // namespace

bool openOtherDatabase(DbSession& session, UiServices& ui) {
    const std::optional<FileChoice> choice = ui.chooseOpenFile(FileRequest{
        QStringLiteral("选择数据库文件"), ImportFilter, 1, Settings::documentsFolder(), QString()});
    if (!choice || choice->path.trimmed().isEmpty())
        return false;
    return openOtherDatabaseFrom(session, ui, choice->path.trimmed());
}

bool openOtherDatabaseFrom(DbSession& session, UiServices& ui, const QString& chosen) {
    if (!QFileInfo(chosen).isFile()) {
        ui.showMessage(FileMissingMessage, QString(), MessageIcon::Warning);
        return false;
    }
    const QString copyPath = workingCopyPath(session.programFolder(), chosen, session.path());
    const QString openPath = prepareDataFileCopy(chosen, copyPath);
    QString missing;
    try {
        if (openPath != chosen)
            completeWorkingCopy(openPath, session.programFolder().defaultDatabase());
    } catch (const EngineError&) {
        // Without the default database to complete it from, the check below refuses the copy.
    }
    try {
        // A damaged file, or one with views where its tables belong, is refused before use.
        engine::Connection db = openEitherWay(openPath);
        vetReceivedDatabase(db, QStringLiteral("main"), chosen);
    } catch (const EngineError& error) {
        if (error.code() == RefusedFileCode) {
            ui.showMessage(error.text(), QString(), MessageIcon::Warning);
            return false;
        }
    }
    try {
        missing = firstMissingObject(openPath);
    } catch (const EngineError&) {
        // Not a database the engine can read: the session's open below says so.
    }
    // A file the main window cannot show is refused before the open database is given up.
    if (!missing.isEmpty()) {
        ui.showMessage(QStringLiteral("您选择的文件中不存在名字为\"%1\"的数据表").arg(missing), QString(),
                       MessageIcon::Warning);
        return false;
    }
    if (session.openDatabase(openPath) != OpenOutcome::Opened)
        return false;
    ui.showMessage(QStringLiteral("已经打开您选择的数据库--") + session.label());
    return true;
}

bool openDefaultDatabase(DbSession& session, UiServices& ui) {
    if (session.openDatabase() != OpenOutcome::Opened)
        return false;
    removeWorkingCopies(session.programFolder(), session.path());
    ui.showMessage(QStringLiteral("已经打开软件默认数据库--") + session.label());
    return true;
}

bool changeDatabaseLabel(DbSession& session, UiServices& ui) {
    // A cancelled prompt gives back the preset, so the label is stored unchanged.
    const QString label =
        ui.promptText(QStringLiteral("设置数据库标识"),
                      QStringLiteral("请输入数据库的标识，长度不要超过200个汉字"), session.label())
            .value_or(session.label());
    if (label.isEmpty())
        return false;
    session.setLabel(label);
    return true;
}

} // namespace corvalis::exchange
