#include "TableListFile.h"

#include "SummaryQueries.h"
#include "app/GbkText.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace corvalis::summary {

namespace {

const char* const ShippedTexts[] = {
    "封面",
    "//表一 工会基层组织建设状况",
    "工会基层组织建设状况统计表1",
    "工会基层组织建设状况统计表2",
    "//表二 工会权益保障工作",
    "工会权益保障工作统计表1",
    "工会权益保障工作统计表2",
    "工会权益保障工作统计表3",
    "//表三 工会民主管理工作",
    "工会民主管理工作统计表1",
    "工会民主管理工作统计表2",
    "工会民主管理工作统计表3",
    "//表四 工会劳动保护工作",
    "工会劳动保护工作统计表1",
    "工会劳动保护工作统计表2",
    "//表五 工会法律工作",
    "工会法律工作统计表",
    "//表六 工会经济技术工作",
    "工会经济技术工作统计表1",
    "工会经济技术工作统计表2",
    "//表七 职工文化体育工作",
    "职工文化体育工作统计表",
    "//表八 工会财务和经费审查工作",
    "工会财务和经费审查工作统计表",
};

} // namespace

std::vector<TableListEntry> TableListFile::shippedEntries() {
    std::vector<TableListEntry> entries;
    for (const char* text : ShippedTexts) {
        TableListEntry entry;
        entry.text = QString::fromUtf8(text);
        entry.enabled = !entry.isHeader();
        entry.state = entry.enabled ? CheckState::Ticked : CheckState::Unticked;
        entries.push_back(entry);
    }
    return entries;
}

std::vector<TableListEntry> TableListFile::parse(const QStringList& lines) {
    static const QRegularExpression stored(QStringLiteral("^&([01]) ([012]) (.*)$"));
    std::vector<TableListEntry> entries;
    for (const QString& line : lines) {
        if (line.isEmpty())
            continue;
        TableListEntry entry;
        const QRegularExpressionMatch match = stored.match(line);
        if (match.hasMatch()) {
            entry.enabled = match.captured(1) == QLatin1String("1");
            entry.state = CheckState(match.captured(2).toInt());
            entry.text = match.captured(3);
        } else {
            entry.text = line;
        }
        if (entry.isHeader())
            entry.enabled = false;
        entries.push_back(entry);
    }
    return entries;
}

QStringList TableListFile::format(const std::vector<TableListEntry>& entries) {
    QStringList lines;
    for (const TableListEntry& entry : entries) {
        const bool enabled = entry.enabled && !entry.isHeader();
        lines << QStringLiteral("&%1 %2 %3").arg(enabled ? 1 : 0).arg(int(entry.state)).arg(entry.text);
    }
    return lines;
}

bool TableListFile::isComplete(const std::vector<TableListEntry>& entries) {
    int sheets = 0;
    for (const TableListEntry& entry : entries)
        if (entry.enabled)
            ++sheets;
    return sheets == SummarySheetCount;
}

std::vector<TableListEntry> TableListFile::load(const QString& path) {
    if (!QFileInfo(path).isFile())
        return shippedEntries();
    try {
        std::vector<TableListEntry> entries = parse(readGbkTextFile(path));
        // The sheet numbers follow the enabled entries: a list that does not name 16 sheets would
        // put values onto the wrong sheets, so it is replaced by the shipped one.
        return isComplete(entries) ? entries : shippedEntries();
    } catch (const std::exception&) {
        return shippedEntries();
    }
}

void TableListFile::save(const QString& path, const std::vector<TableListEntry>& entries) {
    writeGbkTextFile(path, format(entries));
}

std::vector<int> TableListFile::tickedSheets(const std::vector<TableListEntry>& entries) {
    std::vector<int> sheets;
    int sheet = 1;
    for (const TableListEntry& entry : entries) {
        if (!entry.enabled)
            continue;
        if (entry.isTicked() && sheet <= SummarySheetCount)
            sheets.push_back(sheet);
        ++sheet;
    }
    return sheets;
}

} // namespace corvalis::summary
