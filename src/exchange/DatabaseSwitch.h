#pragma once

#include <QString>

namespace corvalis {
class DbSession;
class UiServices;
} // namespace corvalis

namespace corvalis::exchange {

// "打开其它数据库": opens a chosen database or data file; a scrambled file is opened through a
// working copy in the program folder. When the chosen file cannot be opened, the database open
// before stays open. True when another database is now open.
bool openOtherDatabase(DbSession& session, UiServices& ui);
bool openOtherDatabaseFrom(DbSession& session, UiServices& ui, const QString& chosenPath);

// "打开默认数据库": opens the default database again and removes the working copies.
bool openDefaultDatabase(DbSession& session, UiServices& ui);

// "修改数据库标识": asks for a new label and stores it. True when a label was stored.
bool changeDatabaseLabel(DbSession& session, UiServices& ui);

} // namespace corvalis::exchange
