#pragma once

#include <QString>

namespace corvalis {
class DbSession;
class UiServices;
} // namespace corvalis

namespace corvalis::exchange {

// The record-by-record import ("逐条导入"): copies the records of a plain database file one insert
// per record and names the union that already uses the code of a record that fails. With
// skipFaulty false (the shipped setting) a failed record abandons the whole run; with it true the
// user may skip the record and go on. Values are bound, so texts with apostrophes arrive intact.
// True when the run was committed.
bool importRecordByRecord(DbSession& session, UiServices& ui, bool skipFaulty);
bool importRecordByRecordFrom(DbSession& session, UiServices& ui, const QString& path, bool skipFaulty);

} // namespace corvalis::exchange
