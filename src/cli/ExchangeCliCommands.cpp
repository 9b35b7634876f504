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
        context.out << QStringLiteral("报告文件：%1").arg(file) << Qt::endl;
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
    return exchange::exportReportFileTo(session, context.ui, label, output) ? ExitSuccess : ExitFailure;
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
    if (files.size() > 1) {
        const std::optional<exchange::ChosenFiles> chosen =
            exchange::prepareImportFiles(session.programFolder(), files, 0, context.ui);
        if (!chosen)
            return ExitFailure;
        const exchange::MultiImportResult result =
            exchange::importMultipleFiles(session, context.ui, chosen->paths);
        printShownFiles(context);
        return result.failed == 0 && !result.ended ? ExitSuccess : ExitFailure;
    }
    const exchange::ImportOutcome outcome = exchange::importDataFileFrom(session, context.ui, files.front());
    printShownFiles(context);
    return outcome == exchange::ImportOutcome::Imported ? ExitSuccess : ExitFailure;
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
    context.out << exchange::networkExportNames(output).target << Qt::endl;
    return ExitSuccess;
}

void DecryptNetworkCommand::addOptions(QCommandLineParser& parser) const {
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("网络版数据文件。"),
                                 QStringLiteral("FILE"));
    addOutputOption(parser, QStringLiteral("解密后的 csv 文本的文件名。"));
}

int DecryptNetworkCommand::run(CliContext& context, const QCommandLineParser& parser) {
    QStringList files;
    QString output;
    if (!readFiles(context, parser, name(), false, files) || !readOutput(context, parser, name(), output))
        return ExitUsage;
    exchange::decryptFileAes128(files.front(), output, exchange::deriveExportKey());
    context.out << output << Qt::endl;
    return ExitSuccess;
}

void ImportCsvCommand::addOptions(QCommandLineParser& parser) const {
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("csv 文件。"),
                                 QStringLiteral("FILE"));
}

int ImportCsvCommand::run(CliContext& context, const QCommandLineParser& parser) {
    QStringList files;
    if (!readFiles(context, parser, name(), false, files))
        return ExitUsage;
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    const QString path = exchange::checkedCsvPath(files.front(), context.ui);
    if (path.isEmpty())
        return ExitFailure;
    const exchange::CsvImportOutcome outcome =
        exchange::importCsvFile(session, context.ui, path, records::machineStamp());
    printShownFiles(context);
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
