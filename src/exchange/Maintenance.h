#pragma once

#include <QString>

namespace corvalis {
class DbSession;
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::exchange {

// "数据备份": copies the open database file to a plain database file. The database is closed for the
// copy and open again afterwards in every case; the copy replaces the target only when complete.
// True when the backup was written.
bool backupDatabase(DbSession& session, UiServices& ui);
bool backupDatabaseTo(DbSession& session, UiServices& ui, const QString& chosenPath);

// "数据恢复": replaces all records of the open database by those of a plain database file, in one
// transaction. True when the records were replaced.
bool restoreDatabase(DbSession& session, UiServices& ui);
bool restoreDatabaseFrom(DbSession& session, UiServices& ui, const QString& chosenPath);

// "数据整理": records whose filing state c912 is unset (0) file this year.
void tidyData(engine::Connection& connection, UiServices& ui);

// "10年导11年": moves records of the previous-year table into dt_data. All three statements run in
// one transaction, so a database without that layout fails with the engine's error and keeps
// everything as it was. Raises EngineError.
void convertPreviousYear(engine::Connection& connection, UiServices& ui);
// The insert statement of the conversion.
QString previousYearInsertStatement();

} // namespace corvalis::exchange
