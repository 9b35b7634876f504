#pragma once

#include <QDate>
#include <QString>
#include <optional>

namespace corvalis {
class Clock;
class DbSession;
class UiServices;
} // namespace corvalis

namespace corvalis::exchange {

// The suggested name of a report file: label, "-", the date as yyyy-MM-dd and "(离线版)".
QString suggestedReportName(const QString& label, const QDate& date);

// Whether every record of the open database passed the logic check; otherwise says so.
bool readyForReport(DbSession& session, UiServices& ui, const QString& refusal);

// Asks for the label of an exported file until it is not "默认数据库"; empty optional on cancel.
std::optional<QString> askExportLabel(const QString& current, UiServices& ui);

// Writes a data file at the target: a copy of the template holding the records in state 1 and the
// label, with its head scrambled last. The file is built beside the target and moved into place only
// when complete, so a failure never leaves a half-written data file behind. Raises FileError or
// EngineError.
void writeReportFile(DbSession& session, const QString& target, const QString& label);

// The report export ("上报到离线版"); true when a file was written.
bool exportReportFile(DbSession& session, UiServices& ui, const Clock& clock);

// The export with the label and target given (the command-line tool); the target gets ".dat" as in
// the dialog.
bool exportReportFileTo(DbSession& session, UiServices& ui, const QString& label, const QString& target);

inline const QString ReportRefusal = QStringLiteral("存在临时保存或逻辑错误的数据，不能上报!");
inline const QString DefaultLabelRefusal = QStringLiteral("必须修改默认的名称！");

} // namespace corvalis::exchange
