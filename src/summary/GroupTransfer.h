#pragma once

#include <QString>
#include <QStringList>

namespace corvalis {
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::summary {

// The tables a group transfer carries, in order.
QStringList groupTableList();

// The transfer file name as typed, with ".mdb" appended when the name is longer than four characters
// and does not end in ".mdb" exactly.
QString transferFileName(const QString& typed);

// Copies the group tables of a database file (the default database) into a file the user names,
// replacing tables of those names that it holds. True when the tables were written.
bool exportGroupTables(const QString& source, const QStringList& tables, UiServices& ui);

// Replaces the group tables of the open database with those of a file the user picks, all or
// nothing. A table the file lacks is named and left as it was. True when the import was committed.
bool importGroupTables(engine::Connection& connection, const QStringList& tables, UiServices& ui);

inline const QString TransferFilter = QStringLiteral("Access文件(*.mdb)|*.mdb");
inline const QString TransferErrorSuffix = QStringLiteral(",请与软件发行者联系。");
inline const QString ImportDoneMessage = QStringLiteral("数据分组导入操作完成！");
inline const QString ImportFileMissingMessage = QStringLiteral("您选择的文件并不存在，请选择其它文件。");

} // namespace corvalis::summary
