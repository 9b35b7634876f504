#include "ImportPreviewCommands.h"

#include "CliUiServices.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "checks/StagedRecordCheck.h"
#include "exchange/ImportHistory.h"
#include "exchange/ImportPreview.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

namespace corvalis::cli {

namespace {

const QString DryRunOption = QStringLiteral("dry-run");
const QString ResolveOption = QStringLiteral("resolve");

// A value as JSON: numbers as numbers, texts as strings, empty as null.
QJsonValue jsonValue(const QVariant& value) {
    if (value.isNull())
        return QJsonValue::Null;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return QJsonValue(value.toLongLong());
    case QMetaType::Double:
        return QJsonValue(value.toDouble());
    default:
        return QJsonValue(value.toString());
    }
}

QString codeText(UnionCode code) {
    return QStringLiteral("%1").arg(code, 12, 10, QLatin1Char('0'));
}

QJsonObject fileJson(const exchange::FilePreview& file) {
    QJsonArray conflicts;
    for (const exchange::ConflictingRecord& conflict : file.conflicts) {
        QJsonArray fields;
        for (const exchange::FieldDifference& field : conflict.fields)
            fields.append(QJsonObject{{QStringLiteral("field"), field.field},
                                      {QStringLiteral("ours"), jsonValue(field.ours)},
                                      {QStringLiteral("theirs"), jsonValue(field.theirs)}});
        conflicts.append(QJsonObject{{QStringLiteral("c901"), codeText(conflict.code)},
                                     {QStringLiteral("fields"), fields}});
    }
    QJsonObject object{
        {QStringLiteral("file"), file.file},           {QStringLiteral("label"), file.label},
        {QStringLiteral("records"), file.records},     {QStringLiteral("new"), file.added},
        {QStringLiteral("identical"), file.identical}, {QStringLiteral("conflicting"), file.conflicting},
        {QStringLiteral("repeated"), file.repeated},   {QStringLiteral("failing_check"), file.failingCheck},
        {QStringLiteral("conflicts"), conflicts}};
    if (!file.refusal.isEmpty())
        object.insert(QStringLiteral("refusal"), file.refusal);
    return object;
}

QString shownValue(const QVariant& value) {
    return value.isNull() ? QStringLiteral("（空）") : value.toString();
}

void sayFile(CliContext& context, const exchange::FilePreview& file) {
    context.say(QStringLiteral("文件：%1（%2）").arg(file.file, file.label));
    if (!file.refusal.isEmpty())
        return;
    context.say(
        QStringLiteral("  记录 %1 条：新增 %2，相同 %3，冲突 %4，文件内重复的编号 %5，未通过逻辑检查 %6")
            .arg(file.records)
            .arg(file.added)
            .arg(file.identical)
            .arg(file.conflicting)
            .arg(file.repeated)
            .arg(file.failingCheck));
    for (const exchange::ConflictingRecord& conflict : file.conflicts) {
        QStringList fields;
        for (const exchange::FieldDifference& field : conflict.fields)
            fields << QStringLiteral("%1：%2 → %3")
                          .arg(field.field, shownValue(field.ours), shownValue(field.theirs));
        context.say(QStringLiteral("  冲突 %1 %2：%3")
                        .arg(codeText(conflict.code), conflict.name, fields.join(QStringLiteral("，"))));
    }
}

// Refusals go to standard error; true when no file was refused.
bool reportRefusals(CliContext& context, const exchange::ImportPreview& preview) {
    bool none = true;
    for (const exchange::FilePreview& file : preview.files()) {
        if (!file.refusal.isEmpty()) {
            context.err << QStringLiteral("%1：%2").arg(file.file, file.refusal) << Qt::endl;
            none = false;
        }
    }
    return none;
}

int dryRun(CliContext& context, exchange::ImportPreview& preview) {
    QJsonArray files;
    for (const exchange::FilePreview& file : preview.files()) {
        files.append(fileJson(file));
        if (!context.json)
            sayFile(context, file);
    }
    const bool clean = reportRefusals(context, preview);
    if (context.json)
        context.printJson({{QStringLiteral("files"), files}});
    return clean ? ExitSuccess : ExitFailure;
}

int resolvedImport(CliContext& context, engine::Connection& connection, exchange::ImportPreview& preview,
                   exchange::Resolution resolution) {
    const bool clean = reportRefusals(context, preview);
    const qint64 id = preview.apply({}, resolution);
    for (const exchange::ImportLogEntry& entry : exchange::importLog(connection)) {
        if (entry.id != id)
            continue;
        context.say(QStringLiteral("导入编号 %1：新增 %2 条，替换 %3 条，跳过 %4 条。")
                        .arg(id)
                        .arg(entry.added)
                        .arg(entry.replaced)
                        .arg(entry.skipped));
        if (context.json)
            context.printJson({{QStringLiteral("id"), id},
                               {QStringLiteral("added"), entry.added},
                               {QStringLiteral("replaced"), entry.replaced},
                               {QStringLiteral("skipped"), entry.skipped}});
    }
    return clean ? ExitSuccess : ExitFailure;
}

} // namespace

void PreviewingImportCommand::addOptions(QCommandLineParser& parser) const {
    ImportCommand::addOptions(parser);
    parser.addOption({DryRunOption, QStringLiteral("只比较文件与数据库中的记录（新增、相同、冲突、重复、"
                                                   "未通过逻辑检查），不写入数据库。")});
    parser.addOption({ResolveOption,
                      QStringLiteral("导入时对编号相同而内容不同的记录：theirs 用文件中的记录替换，ours "
                                     "保留数据库中的记录。导入记入导入记录，可以撤销。"),
                      QStringLiteral("theirs|ours")});
}

int PreviewingImportCommand::run(CliContext& context, const QCommandLineParser& parser) {
    const bool dry = parser.isSet(DryRunOption);
    const bool resolve = parser.isSet(ResolveOption);
    if (!dry && !resolve)
        return ImportCommand::run(context, parser);
    const QString choice = parser.value(ResolveOption).trimmed().toLower();
    if (dry && resolve) {
        context.err << QStringLiteral("--dry-run 与 --resolve 不能同时使用。") << Qt::endl;
        return ExitUsage;
    }
    if (resolve && choice != QLatin1String("theirs") && choice != QLatin1String("ours")) {
        context.err << QStringLiteral("--resolve 的值只能是 theirs 或 ours。") << Qt::endl;
        return ExitUsage;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        context.err << QStringLiteral("%1 需要至少一个文件名。").arg(name()) << Qt::endl;
        return ExitUsage;
    }
    QStringList files;
    for (const QString& file : positional)
        files << QFileInfo(file).absoluteFilePath();
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    try {
        exchange::ImportPreview preview(session.connection(), context.ui, files, checks::countFailingRecords);
        return dry ? dryRun(context, preview)
                   : resolvedImport(context, session.connection(), preview,
                                    choice == QLatin1String("ours") ? exchange::Resolution::Ours
                                                                    : exchange::Resolution::Theirs);
    } catch (const Error& error) {
        context.err << RunErrorPrefix + error.text() << Qt::endl;
        return ExitFailure;
    }
}

int ImportsCommand::run(CliContext& context, const QCommandLineParser&) {
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    QJsonArray imports;
    try {
        for (const exchange::ImportLogEntry& entry : exchange::importLog(session.connection())) {
            const QString at = entry.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            imports.append(QJsonObject{{QStringLiteral("id"), entry.id},
                                       {QStringLiteral("at"), entry.at.toString(Qt::ISODate)},
                                       {QStringLiteral("file"), entry.file},
                                       {QStringLiteral("label"), entry.label},
                                       {QStringLiteral("added"), entry.added},
                                       {QStringLiteral("replaced"), entry.replaced},
                                       {QStringLiteral("skipped"), entry.skipped},
                                       {QStringLiteral("undone"), entry.undone}});
            context.say(
                QStringLiteral("%1  %2  新增 %3  替换 %4  跳过 %5%6  %7（%8）")
                    .arg(entry.id)
                    .arg(at)
                    .arg(entry.added)
                    .arg(entry.replaced)
                    .arg(entry.skipped)
                    .arg(entry.undone ? QStringLiteral("  已撤销") : QString(), entry.file, entry.label));
        }
    } catch (const Error& error) {
        context.err << RunErrorPrefix + error.text() << Qt::endl;
        return ExitFailure;
    }
    if (context.json)
        context.printJson({{QStringLiteral("imports"), imports}});
    return ExitSuccess;
}

void UndoImportCommand::addOptions(QCommandLineParser& parser) const {
    parser.addPositionalArgument(QStringLiteral("ID"), QStringLiteral("导入记录的编号（见 imports）。"));
}

int UndoImportCommand::run(CliContext& context, const QCommandLineParser& parser) {
    const QStringList positional = parser.positionalArguments();
    bool ok = false;
    const qint64 id = positional.size() == 1 ? positional.front().toLongLong(&ok) : 0;
    if (!ok || id <= 0) {
        context.err << QStringLiteral("undo-import 需要一个导入记录的编号。") << Qt::endl;
        return ExitUsage;
    }
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    try {
        exchange::undoImport(session.connection(), id);
    } catch (const Error& error) {
        context.err << error.text() << Qt::endl;
        return ExitFailure;
    }
    context.say(QStringLiteral("已撤销编号为 %1 的导入。").arg(id));
    return ExitSuccess;
}

} // namespace corvalis::cli
