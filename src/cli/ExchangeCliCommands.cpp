#include "ExchangeCliCommands.h"

#include "CliUiServices.h"
#include "app/DbSession.h"
#include "exchange/ConflictReport.h"
#include "exchange/CsvImport.h"
#include "exchange/DataFile.h"
#include "exchange/DataImport.h"
#include "exchange/Maintenance.h"
#include "exchange/MultiImport.h"
#include "exchange/NetworkExport.h"
#include "exchange/ReportExport.h"
#include "records/CodeTables.h"
#include "records/ShippedDatabase.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>

namespace corvalis::cli {

namespace {

const QString OutputOption = QStringLiteral("output");

void addOutputOption(QCommandLineParser& parser, const QString& description) {
    parser.addOption({OutputOption, description, QStringLiteral("FILE")});
}

// The --output path made absolute; a usage error when it is missing.
bool readOutput(CliContext& context, const QCommandLineParser& parser, const QString& command,
                QString& path) {
    if (!parser.isSet(OutputOption) || parser.value(OutputOption).trimmed().isEmpty()) {
        context.err << QStringLiteral("%1 需要 --output FILE。").arg(command) << Qt::endl;
        return false;
    }
    path = QFileInfo(parser.value(OutputOption).trimmed()).absoluteFilePath();
    return true;
}

// Exactly the given number of file arguments (at least one when many are allowed), made absolute.
bool readFiles(CliContext& context, const QCommandLineParser& parser, const QString& command, bool many,
               QStringList& files) {
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty() || (!many && positional.size() > 1)) {
        context.err << QStringLiteral("%1 需要%2文件名。")
                           .arg(command, many ? QStringLiteral("至少一个") : QStringLiteral("一个"))
                    << Qt::endl;
        return false;
    }
    for (const QString& file : positional)
        files << QFileInfo(file).absoluteFilePath();
    return true;
}

void printShownFiles(CliContext& context) {
    for (const QString& file : context.ui.shownFiles())
        context.say(QStringLiteral("报告文件：%1").arg(file));
}

qint64 recordCount(DbSession& session) {
    return session.connection().scalar(QStringLiteral("select count(*) from dt_data")).toLongLong();
}

// The JSON result of an export: the file written, its records and its size.
void printExportJson(CliContext& context, const QString& file, qint64 records) {
    context.printJson({{QStringLiteral("file"), file},
                       {QStringLiteral("records"), records},
                       {QStringLiteral("bytes"), QFileInfo(file).size()}});
}

// The JSON result of an import: the files read, the records they added and the records now held.
void printImportJson(CliContext& context, const QStringList& files, qint64 before, qint64 after,
                     bool imported) {
    context.printJson({{QStringLiteral("files"), QJsonArray::fromStringList(files)},
                       {QStringLiteral("imported"), imported},
                       {QStringLiteral("records"), after - before},
                       {QStringLiteral("total"), after}});
}

// Feeds a percentage callback of the import logic into the progress line.
std::function<void(int)> percentProgress(CliContext& context, const QString& caption) {
    ProgressReporter& progress = context.ui.progress();
    progress.start(caption, 100);
    return [&progress](int percent) { progress.setDone(percent); };
}

} // namespace

void ExportReportCommand::addOptions(QCommandLineParser& parser) const {
    parser.addOption({QStringLiteral("label"), QStringLiteral("提供数据的单位的名称（不能是“默认数据库”）。"),
                      QStringLiteral("TEXT")});
    addOutputOption(parser, QStringLiteral("数据文件的文件名（不以 .dat 结尾时加上 .dat）。"));
}

int ExportReportCommand::run(CliContext& context, const QCommandLineParser& parser) {
    QString output;
    if (!readOutput(context, parser, name(), output))
        return ExitUsage;
    if (!parser.isSet(QStringLiteral("label"))) {
        context.err << QStringLiteral("export-report 需要 --label TEXT。") << Qt::endl;
        return ExitUsage;
    }
    const QString label = parser.value(QStringLiteral("label"));
    if (label == records::DefaultDatabaseLabel) {
        context.err << exchange::DefaultLabelRefusal << Qt::endl;
        return ExitUsage;
    }
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    if (!exchange::readyForReport(session, context.ui, exchange::ReportRefusal))
        return ExitFailure;
    if (!exchange::exportReportFileTo(session, context.ui, label, output))
        return ExitFailure;
    if (context.json)
        printExportJson(context, exchange::withExtension(output, QStringLiteral(".dat")),
                        session.connection()
                            .scalar(QStringLiteral("select count(*) from dt_data where RecordState=1"))
                            .toLongLong());
    return ExitSuccess;
}

void ImportCommand::addOptions(QCommandLineParser& parser) const {
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("要导入的数据文件或备份文件。"),
                                 QStringLiteral("FILE [FILE...]"));
}

int ImportCommand::run(CliContext& context, const QCommandLineParser& parser) {
    QStringList files;
    if (!readFiles(context, parser, name(), true, files))
        return ExitUsage;
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    const qint64 before = recordCount(session);
    bool imported = false;
    if (files.size() > 1) {
        const std::optional<exchange::ChosenFiles> chosen =
            exchange::prepareImportFiles(session.programFolder(), files, 0, context.ui);
        if (!chosen)
            return ExitFailure;
        const exchange::MultiImportResult result = exchange::importMultipleFiles(
            session, context.ui, chosen->paths, percentProgress(context, QStringLiteral("正在导入...")));
        context.ui.progress().finish();
        imported = result.failed == 0 && !result.ended;
    } else {
        imported = exchange::importDataFileFrom(session, context.ui, files.front()) ==
                   exchange::ImportOutcome::Imported;
    }
    printShownFiles(context);
    if (context.json)
        printImportJson(context, files, before, recordCount(session), imported);
    return imported ? ExitSuccess : ExitFailure;
}

void BackupCommand::addOptions(QCommandLineParser& parser) const {
    addOutputOption(parser, QStringLiteral("备份文件的文件名。"));
}

int BackupCommand::run(CliContext& context, const QCommandLineParser& parser) {
    QString output;
    if (!readOutput(context, parser, name(), output))
        return ExitUsage;
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    return exchange::backupDatabaseTo(session, context.ui,
                                      exchange::withExtensionIfLong(output, QStringLiteral(".mdb")))
               ? ExitSuccess
               : ExitFailure;
}

void RestoreCommand::addOptions(QCommandLineParser& parser) const {
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("备份文件（.mdb）。"),
                                 QStringLiteral("FILE"));
}

int RestoreCommand::run(CliContext& context, const QCommandLineParser& parser) {
    QStringList files;
    if (!readFiles(context, parser, name(), false, files))
        return ExitUsage;
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    return exchange::restoreDatabaseFrom(session, context.ui, files.front()) ? ExitSuccess : ExitFailure;
}

void ExportNetworkCommand::addOptions(QCommandLineParser& parser) const {
    addOutputOption(parser, QStringLiteral("网络版数据文件的文件名（不以 .dat 结尾时加上 .dat）。"));
}

int ExportNetworkCommand::run(CliContext& context, const QCommandLineParser& parser) {
    QString output;
    if (!readOutput(context, parser, name(), output))
        return ExitUsage;
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    if (!exchange::readyForReport(session, context.ui, exchange::NetworkRefusal))
        return ExitFailure;
    if (!exchange::exportNetworkFileTo(session, context.ui, output))
        return ExitFailure;
    const QString target = exchange::networkExportNames(output).target;
    if (context.json)
        printExportJson(context, target, recordCount(session));
    else
        context.say(target);
    return ExitSuccess;
}

void DecryptNetworkCommand::addOptions(QCommandLineParser& parser) const {
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("网络版数据文件。"),
                                 QStringLiteral("FILE"));
    addOutputOption(parser, QStringLiteral("解密后的 csv 文本的文件名；- 为标准输出。"));
}

int DecryptNetworkCommand::run(CliContext& context, const QCommandLineParser& parser) {
    QStringList files;
    QString output;
    if (!readFiles(context, parser, name(), false, files) || !readOutput(context, parser, name(), output))
        return ExitUsage;
    if (parser.value(OutputOption).trimmed() == StandardOutputName) {
        QTemporaryDir scratch;
        const QString plain = scratch.filePath(QStringLiteral("network.csv"));
        exchange::decryptFileAes128(files.front(), plain, exchange::deriveExportKey());
        return context.copyToStandardOutput(plain) ? ExitSuccess : ExitFailure;
    }
    exchange::decryptFileAes128(files.front(), output, exchange::deriveExportKey());
    context.say(output);
    return ExitSuccess;
}

void ImportCsvCommand::addOptions(QCommandLineParser& parser) const {
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("网络版格式的 csv 文本（扩展名不限）。"),
                                 QStringLiteral("FILE"));
}

int ImportCsvCommand::run(CliContext& context, const QCommandLineParser& parser) {
    QStringList files;
    if (!readFiles(context, parser, name(), false, files))
        return ExitUsage;
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    // The file named is read whatever its extension: ".csv" is only the file dialog's filter, and the
    // text decrypt-network writes may be named anything.
    const QString path = files.front();
    if (!QFileInfo(path).isFile()) {
        context.err << QStringLiteral("文件“%1”不存在。").arg(path) << Qt::endl;
        return ExitFailure;
    }
    const qint64 before = recordCount(session);
    const exchange::CsvImportOutcome outcome =
        exchange::importCsvFile(session, context.ui, path, records::machineStamp(),
                                percentProgress(context, QStringLiteral("正在导入...")));
    context.ui.progress().finish();
    printShownFiles(context);
    if (context.json)
        printImportJson(context, {path}, before, recordCount(session),
                        outcome == exchange::CsvImportOutcome::Imported);
    if (outcome == exchange::CsvImportOutcome::Conflicts)
        context.err << exchange::conflictMessage().replace(QLatin1String("\n\r"), QLatin1String("\n"))
                    << Qt::endl;
    return outcome == exchange::CsvImportOutcome::Imported ? ExitSuccess : ExitFailure;
}

int TidyCommand::run(CliContext& context, const QCommandLineParser&) {
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    exchange::tidyData(session.connection(), context.ui);
    return ExitSuccess;
}

} // namespace corvalis::cli
