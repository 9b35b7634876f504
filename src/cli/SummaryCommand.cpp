#include "SummaryCommand.h"

#include "CliUiServices.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "summary/CustomGroups.h"
#include "summary/SummaryBuilder.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>

namespace corvalis::cli {

namespace {
const char* const ByNames[] = {"industry", "unit", "type", "domain", "state"};
}

std::optional<SummaryBy> parseSummaryBy(const QString& text) {
    for (int i = 0; i < summary::ByCustomGroup; ++i)
        if (text == QLatin1String(ByNames[i]))
            return SummaryBy{i, 0};
    if (text == QLatin1String("division"))
        return SummaryBy{summary::ByDivision, 0};
    if (text.startsWith(QLatin1String("group:"))) {
        bool ok = false;
        const qint64 id = text.mid(6).toLongLong(&ok);
        if (ok)
            return SummaryBy{summary::ByCustomGroup, id};
    }
    return std::nullopt;
}

std::optional<std::vector<int>> parseSheetList(const QString& text) {
    std::vector<int> sheets;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int sheet = part.trimmed().toInt(&ok);
        if (!ok || sheet < 1 || sheet > summary::SummarySheetCount)
            return std::nullopt;
        sheets.push_back(sheet);
    }
    std::sort(sheets.begin(), sheets.end());
    sheets.erase(std::unique(sheets.begin(), sheets.end()), sheets.end());
    if (sheets.empty())
        return std::nullopt;
    return sheets;
}

void SummaryCommand::addOptions(QCommandLineParser& parser) const {
    parser.addOption(
        {QStringLiteral("by"),
         QStringLiteral(
             "汇总方式：industry 行业分类、unit 单位类别、type 组织类型、domain 产业类别、"
             "state 填报状态、division 按行政区划（省、市、县逐级小计），或 group:ID 自定义分组。"),
         QStringLiteral("HOW")});
    parser.addOption({QStringLiteral("sheets"),
                      QStringLiteral("要汇总的表号（1 为封面，2 到 16 为各表），默认全部。"),
                      QStringLiteral("N,N,...")});
    parser.addOption(
        {QStringLiteral("output"), QStringLiteral("汇总工作簿的文件名（.xlsx）。"), QStringLiteral("FILE")});
}

int SummaryCommand::run(CliContext& context, const QCommandLineParser& parser) {
    const std::optional<SummaryBy> by = parseSummaryBy(parser.value(QStringLiteral("by")));
    if (!by) {
        context.err << QStringLiteral("summary 需要 --by industry|unit|type|domain|state|division|group:ID。")
                    << Qt::endl;
        return ExitUsage;
    }
    if (parser.value(QStringLiteral("output")).isEmpty()) {
        context.err << QStringLiteral("summary 需要 --output FILE。") << Qt::endl;
        return ExitUsage;
    }
    summary::SummaryRequest request;
    request.classification = by->classification;
    request.groupId = by->groupId;
    for (int sheet = 1; sheet <= summary::SummarySheetCount; ++sheet)
        request.sheets.push_back(sheet);
    if (parser.isSet(QStringLiteral("sheets"))) {
        const std::optional<std::vector<int>> sheets = parseSheetList(parser.value(QStringLiteral("sheets")));
        if (!sheets) {
            context.err << QStringLiteral("--sheets 须是 1 到 16 之间以逗号分隔的表号。") << Qt::endl;
            return ExitUsage;
        }
        request.sheets = *sheets;
    }
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    if (request.classification == summary::ByCustomGroup &&
        !summary::findGroup(session.connection(), request.groupId)) {
        context.err << QStringLiteral("没有编号为 %1 的自定义分组。").arg(request.groupId) << Qt::endl;
        return ExitFailure;
    }
    const QString output = QFileInfo(parser.value(QStringLiteral("output"))).absoluteFilePath();
    summary::SummaryBuilder builder(session.connection(), context.folder, context.ui);
    if (!builder.build(request, output))
        return ExitFailure;
    if (context.json) {
        QJsonArray sheets;
        for (const auto& sheet : builder.writtenSheets())
            sheets.append(
                QJsonObject{{QStringLiteral("name"), sheet.name}, {QStringLiteral("rows"), sheet.rows}});
        context.printJson({{QStringLiteral("file"), output},
                           {QStringLiteral("bytes"), QFileInfo(output).size()},
                           {QStringLiteral("sheets"), sheets}});
    }
    context.say(QStringLiteral("已写出汇总表：%1").arg(output));
    return ExitSuccess;
}

} // namespace corvalis::cli
