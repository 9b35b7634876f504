#include "DataImport.h"

#include "DataFile.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/Passwords.h"
#include "app/ReceivedFile.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/EngineFailure.h"
#include "app/engine/Statement.h"
#include "app/engine/WritebackAhead.h"
#include "records/ReceivedValues.h"
#include "records/RowNumbering.h"
#include "records/TransferCopy.h"

#include <QFile>
#include <QFileInfo>

namespace corvalis::exchange {

namespace {

// Runs the conflict check after a failed insert; a failure of the check itself means the file's
// records do not fit the scratch table.
FileImportResult checkConflicts(engine::Connection& connection, const QString& alias, const QString& error) {
    FileImportResult result;
    result.error = error;
    try {
        stageConflicts(connection, alias);
    } catch (const EngineError&) {
        result.status = FileImportStatus::BadFormat;
        return result;
    }
    result.status = FileImportStatus::Conflicts;
    result.conflicts = readScratchConflicts(connection);
    return result;
}

// The records of the attached file that hold values no entry path writes.
FileImportResult refusedValues(engine::Connection& connection, const QString& alias) {
    FileImportResult result;
    result.refused = records::refusedRecords(connection, alias + QStringLiteral(".dt_data"));
    if (!result.refused.empty())
        result.status = FileImportStatus::BadValues;
    return result;
}

// Copies the records of the attached file into dt_data inside the caller's transaction; false when a
// record holds a value no entry path writes, and the transaction must not be committed.
bool copyReceivedRecords(engine::Connection& connection, const QString& alias) {
    const QString source = alias + QStringLiteral(".dt_data");
    if (!records::TransferCopy::newRowsFollowOld(connection)) {
        // New rows would land at random rowids: the value rules ride along with a row-by-row copy.
        const qint64 sent =
            connection.scalar(QStringLiteral("select count(*) from %1").arg(source)).toLongLong();
        const qint64 taken = records::insertWithoutNumberingTrigger(
            connection, QStringLiteral("insert into dt_data select * from %1 where %2")
                            .arg(source, records::receivedRecordCondition(connection)));
        return taken == sent;
    }
    // The records are moved as stored while a second connection looks at their values in the file;
    // only records that look cannot pass are checked again by the engine, where they now lie.
    // Into an empty table the file's indexes come along too, once they are found to match its rows.
    const std::optional<std::vector<records::SimpleIndex>> indexes =
        records::TransferCopy::indexesToTake(connection, alias);
    records::QuickLookBeside look(connection, alias, indexes);
    records::TransferCopy copy(connection, source,
                               indexes ? records::TransferCopy::Indexes::TakenFromSource
                                       : records::TransferCopy::Indexes::Rebuilt);
    copy.finish(indexes && look.indexesMatchRows());
    if (!look.recordsPlainlyHold(copy.copied()) && !records::newRecordsHold(connection, copy.lastOldRow()))
        return false;
    return true;
}

} // namespace

FileImportResult importAttachedRecords(engine::Connection& connection, const QString& alias,
                                       const std::function<void()>& beforeCommit) {
    // A file of another layout would fill the wrong columns through "select *": refuse it whole.
    if (!sameRecordLayout(connection, alias)) {
        FileImportResult result;
        result.error = QStringLiteral("数据表的列与系统中的不一致。");
        return result;
    }
    const QString file = databaseFileOf(connection, alias);
    return underWorkLimit(connection, file, file, [&] {
        try {
            engine::Transaction transaction(connection);
            const engine::WritebackAhead writeback(connection);
            // A record left out refuses the file, and the transaction ends without a commit.
            if (!copyReceivedRecords(connection, alias))
                return refusedValues(connection, alias);
            if (beforeCommit)
                beforeCommit();
            transaction.commit();
            return FileImportResult{FileImportStatus::Imported, {}, {}, {}};
        } catch (const EngineError& error) {
            // A busy, full or read-only database says nothing about the file's records.
            // Nor does a refusal of the whole file.
            if (engine::isEnvironmentFailure(error.code()) || engine::isInterruption(error.code()) ||
                error.code() == RefusedFileCode)
                throw;
            FileImportResult refusal = refusedValues(connection, alias);
            return refusal.refused.empty() ? checkConflicts(connection, alias, error.text()) : refusal;
        }
    });
}

bool attachReceivedFile(engine::Connection& connection, const QString& path, const QString& alias,
                        std::optional<engine::Attachment>& attachment) {
    for (const QString& password : {QString(), deriveDatabasePassword()}) {
        try {
            attachment.emplace(connection, path, alias, password);
            return true;
        } catch (const EngineError&) {
        }
    }
    return false;
}

ImportOutcome importDataFile(DbSession& session, UiServices& ui) {
    FileRequest request{ChooseImportTitle, ImportFilter, 1, Settings::documentsFolder(), QString()};
    const std::optional<FileChoice> choice = ui.chooseOpenFile(request);
    if (!choice)
        return ImportOutcome::Ended;
    QString chosen = choice->path.trimmed();
    if (chosen.isEmpty())
        return ImportOutcome::Ended;
    chosen = withExtensionIfLong(chosen,
                                 choice->filterIndex == 2 ? QStringLiteral(".mdb") : QStringLiteral(".dat"));
    return importDataFileFrom(session, ui, chosen);
}

namespace {
struct WorkingCopyRemoval {
    QString path;
    ~WorkingCopyRemoval() {
        if (!path.isEmpty())
            QFile::remove(path);
    }
};
} // namespace

ImportOutcome importDataFileFrom(DbSession& session, UiServices& ui, const QString& chosen) {
    if (!QFileInfo(chosen).isFile()) {
        ui.showMessage(FileMissingMessage, QString(), MessageIcon::Warning);
        return ImportOutcome::Ended;
    }
    if (tooShortForDataFile(chosen)) {
        ui.showMessage(UnreadableFileMessage, QString(), MessageIcon::Warning);
        return ImportOutcome::Ended;
    }
    engine::Connection& db = session.connection();
    const QString copyPath = workingCopyPath(session.programFolder(), chosen, session.path());
    const QString openPath = prepareDataFileCopy(chosen, copyPath);
    const bool madeCopy = openPath != chosen;
    // The working copy goes however the import ends (after the file is detached, declared below).
    const WorkingCopyRemoval removal{madeCopy ? openPath : QString()};

    std::optional<engine::Attachment> attachment;
    if (!attachReceivedFile(db, openPath, ImportAlias, attachment)) {
        ui.showMessage(UnreadableFileMessage, QString(), MessageIcon::Warning);
        return ImportOutcome::Ended;
    }

    // Whether the file is intact is checked beside the work that follows; nothing of the file is kept
    // before the check has passed, and a damaged file is named so, whatever else went wrong with it.
    std::optional<IntactCheckBeside> intact;
    const auto refusedAsDamaged = [&] {
        try {
            if (intact)
                intact->require();
            return false;
        } catch (const EngineError& error) {
            ui.showMessage(error.text(), QString(), MessageIcon::Warning);
            return true;
        }
    };
    QString label;
    try {
        intact.emplace(db, ImportAlias, chosen);
        // A file with views where its tables belong is refused before use.
        underWorkLimit(db, openPath, chosen, [&] {
            requirePlainTables(db, ImportAlias, {QStringLiteral("dt_data"), QStringLiteral("ct_label")},
                               chosen);
        });
    } catch (const EngineError& error) {
        if (!refusedAsDamaged())
            ui.showMessage(error.text(), QString(), MessageIcon::Warning);
        return ImportOutcome::Ended;
    }
    try {
        if (!db.tableExists(QStringLiteral("dt_data"), ImportAlias)) {
            ui.showMessage(FileHasNoDataTable, QString(), MessageIcon::Warning);
            return ImportOutcome::Ended;
        }
        if (!db.tableExists(QStringLiteral("dt_data"))) {
            ui.showMessage(SystemHasNoDataTable, QString(), MessageIcon::Warning);
            return ImportOutcome::Ended;
        }
    } catch (const EngineError& error) {
        if (!refusedAsDamaged())
            showRunError(ui, error.text(), QStringLiteral("请与软件发行者联系。"));
        return ImportOutcome::Ended;
    }
    try {
        label = readLabelOf(db, ImportAlias);
    } catch (const EngineError& error) {
        if (!refusedAsDamaged())
            showRunError(ui, error.text());
        return ImportOutcome::Ended;
    }

    if (!ui.askYesNo(QStringLiteral("确认准备导入标记声明为【") + label + QStringLiteral("】的数据么？"),
                     QStringLiteral("提示："), MessageIcon::Warning, false))
        return ImportOutcome::Declined;

    FileImportResult result;
    std::optional<QString> failure;
    try {
        result = importAttachedRecords(db, ImportAlias, [&] { intact->require(); });
    } catch (const EngineError& error) {
        failure = error.text();
    }
    if (refusedAsDamaged())
        return ImportOutcome::Ended;
    if (failure) {
        showRunError(ui, *failure);
        return ImportOutcome::Failed;
    }
    attachment.reset();
    if (madeCopy)
        QFile::remove(openPath);

    switch (result.status) {
    case FileImportStatus::Imported:
        ui.showMessage(QStringLiteral("数据已经被正确地从'") + chosen + QStringLiteral("'导入！"));
        return ImportOutcome::Imported;
    case FileImportStatus::Conflicts:
        if (!result.conflicts.empty())
            ui.openWithShell(writeConflictReport(result.conflicts));
        ui.showMessage(conflictMessage(), QString(), MessageIcon::Warning);
        return ImportOutcome::Failed;
    case FileImportStatus::BadValues:
        ui.openWithShell(writeRefusalReport(result.refused));
        ui.showMessage(refusalMessage(QStringLiteral("导入")), QString(), MessageIcon::Warning);
        return ImportOutcome::Failed;
    case FileImportStatus::BadFormat:
        break;
    }
    ui.showMessage(ImportFormatError, QString(), MessageIcon::Warning);
    return ImportOutcome::Failed;
}

} // namespace corvalis::exchange
