#include "ReportExport.h"

#include "DataFile.h"

#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/Passwords.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/QuestionBeside.h"
#include "records/RowNumbering.h"
#include "records/ShippedDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace corvalis::exchange {

namespace {

const QString SourceAlias = QStringLiteral("source");

QString partialPathFor(const QString& target) {
    const QFileInfo info(target);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".partial");
}

// Whether every record of the attached source is in state 1, asked beside the copy of the same
// records. The exporting connection holds the source locked from its transaction on, so both read
// the same records when the question starts after it.
bool allRecordsChecked(engine::Connection& reader, const std::atomic<bool>&) {
    return !reader
                .scalar(QStringLiteral(
                    "select exists(select 1 from main.dt_data where (RecordState=1) is not 1)"))
                .toBool();
}

void fillDataFile(const QString& path, const QString& sourceDatabase, const QString& label) {
    engine::Connection target(path, deriveDatabasePassword());
    {
        engine::Attachment source(target, sourceDatabase, SourceAlias);
        if (!sameRecordLayout(target, SourceAlias))
            throw EngineError(QStringLiteral("数据文件模板的数据表与系统中的不一致。"));
        engine::Transaction transaction(target);
        // A plain "select *" lets SQLite copy the pages of the records; a report is exported only
        // when every record passed the check, so the records are looked at beside the copy and
        // the delete runs only when one is not in state 1.
        records::NumberingTriggerSetAside setAside(target);
        engine::QuestionBeside allChecked(target, SourceAlias, allRecordsChecked);
        target.execute(QStringLiteral("insert into dt_data select * from %1.dt_data").arg(SourceAlias));
        if (!allChecked.answer())
            target.execute(QStringLiteral("delete from dt_data where (RecordState=1) is not 1"));
        setAside.finish();
        // The label is bound, so any text the user typed is stored as it stands.
        if (target.execute(QStringLiteral("update ct_label set db_name = ?1"), {label}) == 0)
            target.execute(QStringLiteral("insert into ct_label (db_name) values (?1)"), {label});
        transaction.commit();
    }
    target.close();
}

} // namespace

QString suggestedReportName(const QString& label, const QDate& date) {
    return safeFileNamePart(label) + QLatin1Char('-') + date.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral("(离线版)");
}

bool readyForReport(DbSession& session, UiServices& ui, const QString& refusal) {
    // A record without a state has not passed the check either; it must not slip out of the report.
    const qint64 unready =
        session.connection()
            .scalar(QStringLiteral("select count(*) as cnt from dt_data where coalesce(RecordState, 0)<>1"))
            .toLongLong();
    if (unready > 0) {
        ui.showMessage(refusal, QString(), MessageIcon::Warning);
        return false;
    }
    return true;
}

std::optional<QString> askExportLabel(const QString& current, UiServices& ui) {
    const QString caption = QStringLiteral("设置数据库标识");
    const QString prompt = QStringLiteral("请输入提供数据的单位的名称，长度不要超过200个汉字");
    std::optional<QString> answer = ui.promptText(caption, prompt, current);
    while (answer && *answer == records::DefaultDatabaseLabel) {
        ui.showMessage(DefaultLabelRefusal, QString(), MessageIcon::Warning);
        answer = ui.promptText(caption, prompt, *answer);
    }
    return answer;
}

void writeReportFile(DbSession& session, const QString& target, const QString& label) {
    const QString partial = partialPathFor(target);
    // Partial files (and their journals) of exports killed before they finished go first: a stale
    // journal would otherwise be rolled back into the new partial file.
    removeUnclaimedFiles(QFileInfo(partial).absolutePath(), QStringLiteral(".*.partial"),
                         {QStringLiteral("-journal")});
    QFile::remove(partial + QStringLiteral("-journal"));
    copyFileContents(session.programFolder().dataFileTemplate(), partial);
    try {
        const FileClaim claim(partial);
        fillDataFile(partial, session.path(), label);
        scrambleDataFile(partial);
        if (!moveIntoPlace(partial, target))
            throw FileError(QStringLiteral("无法创建文件“%1”。").arg(target));
    } catch (...) {
        QFile::remove(partial);
        throw;
    }
}

bool exportReportFileTo(DbSession& session, UiServices& ui, const QString& label, const QString& chosen) {
    const QString target = withExtension(chosen, QStringLiteral(".dat"));
    if (isSameFile(target, session.path()) ||
        isSameFile(target, session.programFolder().dataFileTemplate())) {
        ui.showMessage(QStringLiteral("不能用导出文件覆盖文件“%1”。").arg(target), QString(),
                       MessageIcon::Warning);
        return false;
    }
    try {
        writeReportFile(session, target, label);
    } catch (const Error& error) {
        showRunError(ui, error.text(), ContactSuffix);
        return false;
    }
    ui.showMessage(QStringLiteral("数据已经被正确导出到：'") + target + QStringLiteral("'！"));
    return true;
}

bool exportReportFile(DbSession& session, UiServices& ui, const Clock& clock) {
    if (!readyForReport(session, ui, ReportRefusal))
        return false;
    const std::optional<QString> label = askExportLabel(session.label(), ui);
    if (!label)
        return false;
    const QString documents = Settings::documentsFolder();
    QDir().mkpath(documents);
    const FileRequest request{QStringLiteral("导出文件存放为"), DataFileFilter, 1, documents,
                              suggestedReportName(*label, clock.today())};
    const std::optional<FileChoice> choice = ui.chooseSaveFile(request);
    if (!choice || choice->path.trimmed().isEmpty())
        return false;
    return exportReportFileTo(session, ui, *label, choice->path.trimmed());
}

} // namespace corvalis::exchange
