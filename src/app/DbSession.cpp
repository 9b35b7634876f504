#include "DbSession.h"

#include "Errors.h"
#include "FileOps.h"
#include "Passwords.h"
#include "ReceivedFile.h"
#include "UiServices.h"
#include "engine/EngineFailure.h"
#include "engine/Statement.h"

#include <QFile>
#include <QFileInfo>

namespace corvalis {

DbSession::DbSession(const ProgramFolder& folder, UiServices& ui) : m_folder(folder), m_ui(ui) {}

QString readLabelOf(engine::Connection& connection, const QString& schema) {
    const QString path = databaseFileOf(connection, schema);
    // The label table may come from a file made elsewhere: read it only as a plain table, with a
    // work limit.
    requirePlainTables(connection, schema, {QStringLiteral("ct_label")}, path);
    return underWorkLimit(connection, path, path, [&] {
        engine::Statement statement(connection, QStringLiteral("select * from %1.ct_label").arg(schema));
        if (!statement.step())
            return QString();
        const int column = statement.columnIndex(QStringLiteral("db_name"));
        if (column < 0)
            throw EngineError(QStringLiteral("在集合中找不到与请求的名称“db_name”对应的项目。"));
        return statement.text(column);
    });
}

QString readDatabaseLabel(engine::Connection& connection) {
    const QString main = QStringLiteral("main");
    requirePlainTables(connection, main, {QStringLiteral("dt_data")}, databaseFileOf(connection, main));
    return readLabelOf(connection, main);
}

namespace {
// Compaction copies and export texts of runs killed before they finished; an unusable temporary
// folder is reported by the command that needs it, not here.
void removeStaleLeftovers() {
    try {
        removeStaleTempFiles(QStringLiteral("~SM"));
        removeStaleTempFiles(QStringLiteral("~NT"));
    } catch (const FileError&) {
    }
}

// Opens the file as it is, or else with the program's password, which it then removes.
engine::Connection connectRemovingPassword(const QString& path) {
    try {
        return engine::Connection(path);
    } catch (const EngineError&) {
        engine::Connection protectedFile(path, deriveDatabasePassword());
        protectedFile.removePassword();
        protectedFile.close();
        return engine::Connection(path);
    }
}
} // namespace

OpenOutcome DbSession::openDatabase(const QString& path) {
    const QString target = path.isEmpty() ? m_folder.defaultDatabase() : path;
    if (!QFileInfo(target).isFile()) {
        m_ui.showMessage(MissingDatabaseMessage, QString(), MessageIcon::Warning);
        return OpenOutcome::FileMissing;
    }
    engine::Connection connection;
    QString label;
    try {
        connection = connectRemovingPassword(target);
        label = readDatabaseLabel(connection);
    } catch (const EngineError& error) {
        // A busy, read-only or full file, or one refused by the checks of received files, says so.
        if (engine::isEnvironmentFailure(error.code()) || error.code() == RefusedFileCode) {
            m_ui.showMessage(error.text(), QString(), MessageIcon::Warning);
            return OpenOutcome::NotUsable;
        }
        const bool installed = QFileInfo(m_folder.defaultDatabase()).isFile();
        m_ui.showMessage(installed ? BadInstallationMessage : MissingDatabaseMessage, QString(),
                         MessageIcon::Warning);
        return OpenOutcome::NotUsable;
    } catch (const Error&) {
        const bool installed = QFileInfo(m_folder.defaultDatabase()).isFile();
        m_ui.showMessage(installed ? BadInstallationMessage : MissingDatabaseMessage, QString(),
                         MessageIcon::Warning);
        return OpenOutcome::NotUsable;
    }
    removeStaleLeftovers();
    m_connection = std::move(connection);
    m_path = target;
    m_label = label;
    ++m_generation;
    return OpenOutcome::Opened;
}

void DbSession::setLabel(const QString& label) {
    m_connection.execute(QStringLiteral("update ct_label set db_name = ?1"), {label});
    m_label = label;
}

void DbSession::close() {
    m_connection.close();
}

void DbSession::reopen() {
    if (m_path.isEmpty())
        throw EngineError(QStringLiteral("没有打开的数据库。"));
    m_connection.open(m_path);
    ++m_generation;
}

bool DbSession::compact() {
    close();
    const bool compacted = compactDatabase(m_path, m_ui);
    reopen();
    if (compacted)
        m_ui.showMessage(QStringLiteral("压缩操作成功"));
    return compacted;
}

bool compactDatabase(const QString& path, UiServices& ui) {
    try {
        if (!QFileInfo(path).isWritable())
            throw FileError(QStringLiteral("无法覆盖文件“%1”。").arg(path));
        removeStaleTempFiles();
        engine::Connection database(path);
        // Nobody else may read or write the file from before the copy until its content is
        // replaced: a row another process committed in between would be lost with the old content.
        database.holdExclusively();
        const LockedTempFile compacted;
        database.compactInto(compacted.path());
        database.replaceContentsFrom(compacted.path());
        return true;
    } catch (const Error& error) {
        showRunError(ui, error.text());
        return false;
    }
}

} // namespace corvalis
