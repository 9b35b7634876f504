#include "WorkbookLayout.h"

#include "app/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace corvalis::workbook {

namespace {

[[noreturn]] void fail(const QString& name, const QString& fault) {
    throw FileError(QStringLiteral("布局文件“%1”有误：%2").arg(name, fault));
}

HAlign horizontalFrom(const QString& text) {
    if (text == QLatin1String("left"))
        return HAlign::Left;
    if (text == QLatin1String("center"))
        return HAlign::Center;
    if (text == QLatin1String("right"))
        return HAlign::Right;
    return HAlign::General;
}

VAlign verticalFrom(const QString& text) {
    if (text == QLatin1String("top"))
        return VAlign::Top;
    if (text == QLatin1String("bottom"))
        return VAlign::Bottom;
    return VAlign::Center;
}

CellStyle styleFrom(const QJsonObject& object) {
    CellStyle style;
    style.bold = object.value(QLatin1String("bold")).toBool();
    style.fontSize = object.value(QLatin1String("size")).toDouble();
    style.align = horizontalFrom(object.value(QLatin1String("align")).toString());
    style.valign = verticalFrom(object.value(QLatin1String("valign")).toString());
    style.border = object.value(QLatin1String("border")).toBool();
    style.wrap = object.value(QLatin1String("wrap")).toBool();
    style.numberFormat = object.value(QLatin1String("format")).toString();
    return style;
}

SheetLayout sheetFrom(const QJsonObject& object, const QString& layoutName) {
    SheetLayout sheet;
    sheet.name = object.value(QLatin1String("name")).toString();
    if (sheet.name.isEmpty())
        fail(layoutName, QStringLiteral("工作表没有名称。"));
    sheet.landscape = object.value(QLatin1String("landscape")).toBool();
    sheet.defaultFontSize = object.value(QLatin1String("size")).toDouble();
    const QJsonObject widths = object.value(QLatin1String("columnWidths")).toObject();
    for (auto it = widths.begin(); it != widths.end(); ++it) {
        const auto position = parseCellAddress(it.key() + QStringLiteral("1"));
        if (!position)
            fail(layoutName, QStringLiteral("“%1”不是列名。").arg(it.key()));
        sheet.columnWidths[position->column] = it.value().toDouble();
    }
    const QJsonObject heights = object.value(QLatin1String("rowHeights")).toObject();
    for (auto it = heights.begin(); it != heights.end(); ++it) {
        bool ok = false;
        const int row = it.key().toInt(&ok);
        if (!ok || row < 1)
            fail(layoutName, QStringLiteral("“%1”不是行号。").arg(it.key()));
        sheet.rowHeights[row] = it.value().toDouble();
    }
    for (const QJsonValue& value : object.value(QLatin1String("cells")).toArray()) {
        const QJsonObject cell = value.toObject();
        const QString address = cell.value(QLatin1String("cell")).toString();
        const auto range = parseCellRange(address);
        if (!range)
            fail(layoutName, QStringLiteral("“%1”不是单元格地址。").arg(address));
        sheet.cells.push_back(
            LayoutCell{*range, cell.value(QLatin1String("text")).toString(), styleFrom(cell)});
    }
    return sheet;
}

bool covers(const CellRange& range, const CellPosition& position) {
    return position.row >= range.first.row && position.row <= range.last.row &&
           position.column >= range.first.column && position.column <= range.last.column;
}

} // namespace

const LayoutCell* SheetLayout::cellAt(const CellPosition& position) const {
    for (const LayoutCell& cell : cells)
        if (covers(cell.range, position))
            return &cell;
    return nullptr;
}

WorkbookLayout WorkbookLayout::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("无法打开布局文件“%1”。").arg(path));
    return parse(file.readAll(), QFileInfo(path).completeBaseName());
}

WorkbookLayout WorkbookLayout::parse(const QByteArray& json, const QString& name) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        fail(name, error.errorString());
    WorkbookLayout layout;
    layout.name = name;
    for (const QJsonValue& value : document.object().value(QLatin1String("sheets")).toArray())
        layout.sheets.push_back(sheetFrom(value.toObject(), name));
    if (layout.sheets.empty())
        fail(name, QStringLiteral("没有工作表。"));
    return layout;
}

int WorkbookLayout::sheetIndex(const QString& sheetName) const {
    for (size_t i = 0; i < sheets.size(); ++i)
        if (sheets[i].name == sheetName)
            return int(i);
    return -1;
}

} // namespace corvalis::workbook
