#include "RosterCommands.h"

#include "CliUiServices.h"
#include "app/DbSession.h"
#include "exchange/RosterImport.h"
#include "records/Roster.h"
#include "summary/Completeness.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace corvalis::cli {

namespace {

int importRoster(CliContext& context, DbSession& session, const QString& file) {
    const QString path = QFileInfo(file).absoluteFilePath();
    qint64 units = 0;
    try {
        units = exchange::importRoster(session.connection(), path);
    } catch (const exchange::RosterRefused& refused) {
        context.err << refused.text() << Qt::endl;
        return ExitFailure;
    }
    if (context.json)
        context.printJson({{QStringLiteral("file"), path}, {QStringLiteral("units"), units}});
    context.say(QStringLiteral("已导入应报单位名单：%1 个单位。").arg(units));
    return ExitSuccess;
}

int listRoster(CliContext& context, DbSession& session) {
    const std::vector<records::RosterUnit> units = records::loadRoster(session.connection());
    if (context.json) {
        QJsonArray array;
        for (const records::RosterUnit& unit : units)
            array.append(QJsonObject{
                {QStringLiteral("c901"), unionCodeText(unit.code)},
                {QStringLiteral("c902"), unit.name},
                {QStringLiteral("c903"), unit.division},
                {QStringLiteral("c907"), unit.domain.isEmpty() ? QJsonValue() : QJsonValue(unit.domain)}});
        context.printJson(
            {{QStringLiteral("count"), qint64(units.size())}, {QStringLiteral("units"), array}});
        return ExitSuccess;
    }
    if (units.empty() && !records::hasRoster(session.connection())) {
        context.say(QStringLiteral("尚未导入应报单位名单。"));
        return ExitSuccess;
    }
    for (const records::RosterUnit& unit : units)
        context.out << unionCodeText(unit.code) << '\t' << unit.name << '\t' << unit.division << '\t'
                    << unit.domain << '\n';
    context.out.flush();
    return ExitSuccess;
}

} // namespace

int RosterCommand::run(CliContext& context, const QCommandLineParser& parser) {
    const QStringList arguments = parser.positionalArguments();
    const QString action = arguments.value(0);
    const bool importing = action == QLatin1String("import") && arguments.size() == 2;
    const bool listing = action == QLatin1String("list") && arguments.size() == 1;
    if (!importing && !listing) {
        context.err << QStringLiteral("用法：roster import FILE 或 roster list。") << Qt::endl;
        return ExitUsage;
    }
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    return importing ? importRoster(context, session, arguments.at(1)) : listRoster(context, session);
}

void CompletenessCommand::addOptions(QCommandLineParser& parser) const {
    parser.addOption({QStringLiteral("by"),
                      QStringLiteral("分类方式：division 行政区划，industry 产业类别。"),
                      QStringLiteral("HOW")});
}

int CompletenessCommand::run(CliContext& context, const QCommandLineParser& parser) {
    const QString byText = parser.value(QStringLiteral("by"));
    if (byText != QLatin1String("division") && byText != QLatin1String("industry")) {
        context.err << QStringLiteral("completeness 需要 --by division|industry。") << Qt::endl;
        return ExitUsage;
    }
    if (!parser.positionalArguments().isEmpty()) {
        context.err << QStringLiteral("completeness 不带文件参数。") << Qt::endl;
        return ExitUsage;
    }
    const summary::CompletenessBy by = byText == QLatin1String("division")
                                           ? summary::CompletenessBy::Division
                                           : summary::CompletenessBy::Industry;
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    const std::vector<summary::CompletenessRow> rows = summary::countCompleteness(session.connection(), by);
    if (context.json) {
        context.printJson(summary::completenessJson(by, rows));
        return ExitSuccess;
    }
    const QStringList titles = summary::completenessTitles();
    context.out << QStringLiteral("级次\t") << titles.join(QLatin1Char('\t')) << '\n';
    for (const summary::CompletenessRow& row : rows)
        context.out << row.level << '\t' << row.code << '\t' << row.name << '\t' << row.expected << '\t'
                    << row.received << '\t' << row.passed << '\t' << row.failing << '\t' << row.held << '\t'
                    << row.missing << '\t' << row.unexpected << '\n';
    context.out.flush();
    return ExitSuccess;
}

} // namespace corvalis::cli
