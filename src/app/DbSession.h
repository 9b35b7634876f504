#pragma once

#include "ProgramFolder.h"
#include "UiServices.h"
#include "engine/Connection.h"

#include <QString>

namespace corvalis {

enum class OpenOutcome {
    Opened,
    FileMissing, // the file does not exist
    NotUsable,   // neither without nor with the program's password could it be opened
};

// The open database of the program: its one connection, its path and its label.
class DbSession {
public:
    DbSession(const ProgramFolder& folder, UiServices& ui);

    // Opens a database file (the default database when the path is empty). A protected file is
    // opened with the program's password, which is then removed from it. On failure the user is told
    // why, and the database open before, if any, stays open. The caller ends the program when the
    // start-up open fails.
    OpenOutcome openDatabase(const QString& path = QString());

    bool isOpen() const { return m_connection.isOpen(); }
    engine::Connection& connection() { return m_connection; }
    const QString& path() const { return m_path; }
    const QString& label() const { return m_label; }
    // Stores a new label in ct_label; the caption follows the returned value.
    void setLabel(const QString& label);

    // Closes the connection and opens the same file again, as compaction and backup need.
    void close();
    void reopen();

    // Compacts the open database in place ("压缩数据库文件"): true and "压缩操作成功" on success;
    // the database is open again afterwards in every case.
    bool compact();

    // Counts the opens, so that caches built from the database know when to read it again.
    quint64 generation() const { return m_generation; }

    const ProgramFolder& programFolder() const { return m_folder; }
    UiServices& ui() { return m_ui; }

private:
    ProgramFolder m_folder;
    UiServices& m_ui;
    engine::Connection m_connection;
    QString m_path;
    QString m_label;
    quint64 m_generation = 0;
};

// Compacts a closed database file in place. Errors are shown as "运行中发生错误：" + text; the
// file is replaced only after a successful compaction.
bool compactDatabase(const QString& path, UiServices& ui);

// Reads the label of an open database: db_name of the first row of ct_label, empty without a row.
QString readDatabaseLabel(engine::Connection& connection);
// The same for the database attached under `schema`, which may be a file made elsewhere: its
// ct_label must be a plain table and is read under a work limit.
QString readLabelOf(engine::Connection& connection, const QString& schema);

// The messages of opening the default database.
inline const QString MissingDatabaseMessage = QStringLiteral("没有找到系统数据文件，请重新安装。");
inline const QString BadInstallationMessage = QStringLiteral("软件安装不正确，请与软件提供者联系！");

} // namespace corvalis
