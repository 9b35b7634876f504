#include "Completeness.h"

#include "app/workbook/Workbook.h"

namespace corvalis::summary {

namespace {

workbook::CellStyle headingStyle() {
    workbook::CellStyle style;
    style.bold = true;
    style.border = true;
    style.align = workbook::HAlign::Center;
    return style;
}

workbook::CellStyle cellStyle(bool text) {
    workbook::CellStyle style;
    style.border = true;
    if (text)
        style.numberFormat = QStringLiteral("@");
    return style;
}

void writeTitles(workbook::Sheet& sheet, const QStringList& titles) {
    for (int column = 0; column < titles.size(); ++column)
        sheet.writeText(1, column + 1, titles.at(column), headingStyle());
}

// The name indented by its level, as the window's tree shows it.
QString indentedName(const CompletenessRow& row) {
    return QString(qMax(0, row.level - 1) * 2, QChar(0x3000)) + row.name;
}

} // namespace

QStringList completenessTitles() {
    return {QStringLiteral("代码"), QStringLiteral("名称"),     QStringLiteral("应报"),
            QStringLiteral("已报"), QStringLiteral("审核通过"), QStringLiteral("有逻辑错误"),
            QStringLiteral("暂存"), QStringLiteral("未报"),     QStringLiteral("名单外")};
}

QStringList missingUnitTitles() {
    return {QStringLiteral("统计编码"), QStringLiteral("单位名称"), QStringLiteral("行政区划代码"),
            QStringLiteral("行政区划")};
}

void exportCompleteness(const QString& path, CompletenessBy by, const std::vector<CompletenessRow>& rows) {
    workbook::Workbook book(path);
    workbook::Sheet& sheet = book.addSheet(by == CompletenessBy::Division ? QStringLiteral("按行政区划")
                                                                          : QStringLiteral("按产业类别"));
    writeTitles(sheet, completenessTitles());
    const workbook::CellStyle text = cellStyle(true);
    const workbook::CellStyle number = cellStyle(false);
    int line = 2;
    for (const CompletenessRow& row : rows) {
        sheet.writeText(line, 1, row.code, text);
        sheet.writeText(line, 2, indentedName(row), text);
        const qint64 values[] = {row.expected, row.received, row.passed,    row.failing,
                                 row.held,     row.missing,  row.unexpected};
        for (int i = 0; i < 7; ++i)
            sheet.writeNumber(line, 3 + i, double(values[i]), number);
        ++line;
    }
    sheet.fitColumns();
    sheet.fitToPage(1, 0);
    book.save();
}

void exportMissingUnits(const QString& path, const std::vector<MissingUnit>& units) {
    workbook::Workbook book(path);
    workbook::Sheet& sheet = book.addSheet(QStringLiteral("未报单位"));
    writeTitles(sheet, missingUnitTitles());
    const workbook::CellStyle text = cellStyle(true);
    const workbook::CellStyle number = cellStyle(false);
    int line = 2;
    for (const MissingUnit& unit : units) {
        sheet.writeText(line, 1, unionCodeText(unit.code), text);
        sheet.writeText(line, 2, unit.name, text);
        sheet.writeNumber(line, 3, double(unit.division), number);
        sheet.writeText(line, 4, unit.divisionName, text);
        ++line;
    }
    sheet.fitColumns();
    sheet.fitToPage(1, 0);
    book.save();
}

} // namespace corvalis::summary
