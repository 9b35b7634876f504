#pragma once

#include "ConflictReport.h"

#include "app/engine/Connection.h"

#include <QString>
#include <functional>
#include <optional>

namespace corvalis {
class DbSession;
class UiServices;
} // namespace corvalis

namespace corvalis::exchange {

// What became of the records of one received file.
enum class FileImportStatus {
    Imported,  // every record was added
    Conflicts, // nothing was added; the conflict check ran (its rows may be empty)
    BadFormat, // nothing was added; the file's records could not even be copied aside
    BadValues, // nothing was added; records hold values no entry path can produce
};

struct FileImportResult {
    FileImportStatus status = FileImportStatus::BadFormat;
    ConflictRows conflicts;
    QString error; // the engine's text of the failed insert
    records::RefusedRecords refused;
};

// The alias under which a received file is attached to the open database.
inline const QString ImportAlias = QStringLiteral("incoming");

// Adds every record of the attached file's dt_data to the open database in one transaction, or none;
// none when any record holds a value the entry form cannot write.
// When the insert fails, the conflict check leaves the conflicting records in dt_data_dt_data.
// beforeCommit runs when every record is in, before the commit; what it throws ends the import
// with nothing added.
FileImportResult importAttachedRecords(engine::Connection& connection, const QString& alias,
                                       const std::function<void()>& beforeCommit = {});

// Attaches a received file for the attachment's lifetime: first without a password, then with the
// program's. False when neither works (not a database, or protected by another password).
bool attachReceivedFile(engine::Connection& connection, const QString& path, const QString& alias,
                        std::optional<engine::Attachment>& attachment);

enum class ImportOutcome {
    Imported, // every record of the file was added
    Ended,    // cancelled, or the file was missing or unreadable: nothing changed
    Declined, // the user said No at the confirmation
    Failed,   // the insert failed; nothing was added
};

// Whether the record list should be re-run after an import ended so: not when the user declined or
// the import failed.
inline bool refreshesList(ImportOutcome outcome) {
    return outcome == ImportOutcome::Imported || outcome == ImportOutcome::Ended;
}

// The data import ("数据导入"): asks for a file, confirms its label and imports all its records or
// none.
ImportOutcome importDataFile(DbSession& session, UiServices& ui);

// The same for a file given by the caller (the command-line tool); the confirmation is still asked.
ImportOutcome importDataFileFrom(DbSession& session, UiServices& ui, const QString& chosenPath);

inline const QString UnreadableFileMessage = QStringLiteral("文件格式错误,请重新选择！");

} // namespace corvalis::exchange
