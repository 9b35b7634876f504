#include "SearchCommands.h"

#include "CliUiServices.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "search/ListExport.h"

#include <QFileInfo>
#include <QJsonObject>

namespace corvalis::cli {

namespace {
// The number of records the list export wrote: the rows of its statement.
qint64 listedRecords(DbSession& session, const QString& letters, search::ListChoice choice, UiServices& ui) {
    const auto query = search::listQuery(session.connection(), letters, choice, ui);
    if (!query)
        return 0;
    return session.connection()
        .scalar(QStringLiteral("select count(*) from (%1)").arg(query->sql), query->params)
        .toLongLong();
}
} // namespace

void ExportListCommand::addOptions(QCommandLineParser& parser) const {
    parser.addOption({QStringLiteral("tables"),
                      QStringLiteral("要加入的调查表的字母：z b h l f j w s（表一到表八），例如 zb。"),
                      QStringLiteral("LETTERS")});
    parser.addOption({QStringLiteral("range"),
                      QStringLiteral("只导出编码从 LOW 到 HIGH 的记录（HIGH 跟在 LOW 之后）。"),
                      QStringLiteral("LOW")});
    parser.addOption({QStringLiteral("group-item"),
                      QStringLiteral("只导出自定义分组中这一范围（DT_GroupItem 的 id）的记录。"),
                      QStringLiteral("ID")});
    parser.addOption(
        {QStringLiteral("output"), QStringLiteral("要写入的 Excel 文件。"), QStringLiteral("FILE")});
    parser.addPositionalArgument(QStringLiteral("HIGH"), QStringLiteral("--range 的上限。"),
                                 QStringLiteral("[HIGH]"));
}

int ExportListCommand::run(CliContext& context, const QCommandLineParser& parser) {
    if (!parser.isSet(QStringLiteral("output"))) {
        context.err << QStringLiteral("export-list 需要 --output FILE。") << Qt::endl;
        return ExitUsage;
    }
    const bool byRange = parser.isSet(QStringLiteral("range"));
    const bool byGroup = parser.isSet(QStringLiteral("group-item"));
    const QStringList positional = parser.positionalArguments();
    if ((byRange && byGroup) || positional.size() != (byRange ? 1 : 0)) {
        context.err << QStringLiteral("用法：export-list %1").arg(arguments()) << Qt::endl;
        return ExitUsage;
    }
    const QString letters = parser.value(QStringLiteral("tables")).toLower();
    for (const QChar letter : letters) {
        if (!QStringLiteral("zbhlfjws").contains(letter)) {
            context.err << QStringLiteral("--tables 只能包含字母 z b h l f j w s：%1").arg(letters)
                        << Qt::endl;
            return ExitUsage;
        }
    }
    search::ListChoice choice;
    qint64 groupItem = 0;
    if (byRange) {
        choice.kind = search::ListChoice::Range;
        choice.low = parser.value(QStringLiteral("range"));
        choice.high = positional.front();
        for (const QString& code : {choice.low, choice.high}) {
            bool ok = false;
            code.trimmed().toLongLong(&ok);
            if (!ok) {
                context.err << QStringLiteral("--range 需要两个编码：%1").arg(code) << Qt::endl;
                return ExitUsage;
            }
        }
    } else if (byGroup && !readIntegerOption(parser, QStringLiteral("group-item"), groupItem, context.err)) {
        return ExitUsage;
    }

    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    if (byGroup) {
        const auto range = search::findGroupRange(session.connection(), groupItem);
        if (!range) {
            context.err << QStringLiteral("没有 id 为 %1 的自定义分组范围。").arg(groupItem) << Qt::endl;
            return ExitFailure;
        }
        choice.kind = search::ListChoice::Group;
        choice.group = *range;
    }
    context.ui.queueFile(QFileInfo(parser.value(QStringLiteral("output"))).absoluteFilePath());
    const SystemClock clock;
    const QString written = search::exportRecordList(session, letters, choice, context.ui, clock);
    context.ui.progress().finish();
    if (written.isEmpty()) {
        if (!context.ui.reportedProblem())
            context.err << QStringLiteral("没有写入任何文件。") << Qt::endl;
        return ExitFailure;
    }
    if (context.json)
        context.printJson({{QStringLiteral("file"), written},
                           {QStringLiteral("records"), listedRecords(session, letters, choice, context.ui)},
                           {QStringLiteral("bytes"), QFileInfo(written).size()}});
    return ExitSuccess;
}

} // namespace corvalis::cli
