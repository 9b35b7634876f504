#include "EngineFailure.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace corvalis::engine {

namespace {

QString databaseFileOf(sqlite3* db) {
    const char* name = db ? sqlite3_db_filename(db, "main") : nullptr;
    return name && *name ? QFile::decodeName(name) : QStringLiteral("（内存数据库）");
}

QString readOnlyText(const QString& file) {
    const QFileInfo info(file);
    if (info.exists() && !info.isWritable())
        return QStringLiteral("数据库文件“%1”是只读的，无法写入。").arg(file);
    return QStringLiteral("数据库文件“%1”所在的文件夹是只读的（或无法在其中创建临时文件），无法写入。")
        .arg(file);
}

} // namespace

bool isEnvironmentFailure(int code) {
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_IOERR:
        return true;
    default:
        return false;
    }
}

bool isInterruption(int code) {
    return (code & 0xFF) == SQLITE_INTERRUPT;
}

QString engineFailureText(sqlite3* db, int code) {
    const QString file = databaseFileOf(db);
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("数据库文件“%1”正被其他程序使用，等待 %2 秒后仍未释放，请稍后再试。")
            .arg(file)
            .arg(BusyTimeoutMs / 1000);
    case SQLITE_FULL:
        return QStringLiteral("磁盘空间不足，无法写入数据库文件“%1”（或它的临时文件）。").arg(file);
    case SQLITE_READONLY:
        return readOnlyText(file);
    case SQLITE_IOERR:
        return QStringLiteral("读写数据库文件“%1”时发生磁盘错误（磁盘可能已满或已被移除）。").arg(file);
    default:
        break;
    }
    if (db)
        return QString::fromUtf8(sqlite3_errmsg(db));
    return QString::fromUtf8(sqlite3_errstr(code));
}

} // namespace corvalis::engine
