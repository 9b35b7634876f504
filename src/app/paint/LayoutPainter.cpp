#include "LayoutPainter.h"

#include "app/Errors.h"
#include "app/FileOps.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <vector>

namespace corvalis::workbook {

namespace {

constexpr double DefaultFontPoints = 11.0;
constexpr double CellPaddingPoints = 2.0;

// Where the grid lines of a sheet lie, in points from its top-left corner: edges[k] is the left
// (top) edge of column (row) k + 1.
struct SheetGrid {
    std::vector<double> columnEdges;
    std::vector<double> rowEdges;
    double width() const { return columnEdges.back(); }
    double height() const { return rowEdges.back(); }
};

SheetGrid gridOf(const SheetLayout& sheet) {
    int columns = 1;
    int rows = 1;
    for (const LayoutCell& cell : sheet.cells) {
        columns = std::max(columns, cell.range.last.column);
        rows = std::max(rows, cell.range.last.row);
    }
    if (!sheet.columnWidths.empty())
        columns = std::max(columns, sheet.columnWidths.rbegin()->first);
    if (!sheet.rowHeights.empty())
        rows = std::max(rows, sheet.rowHeights.rbegin()->first);
    SheetGrid grid;
    grid.columnEdges.push_back(0);
    for (int column = 1; column <= columns; ++column) {
        const auto width = sheet.columnWidths.find(column);
        grid.columnEdges.push_back(
            grid.columnEdges.back() +
            columnWidthPoints(width != sheet.columnWidths.end() ? width->second : DefaultColumnCharacters));
    }
    grid.rowEdges.push_back(0);
    for (int row = 1; row <= rows; ++row) {
        const auto height = sheet.rowHeights.find(row);
        grid.rowEdges.push_back(grid.rowEdges.back() +
                                (height != sheet.rowHeights.end() ? height->second : DefaultRowHeightPoints));
    }
    return grid;
}

int alignmentFlags(const CellStyle& style) {
    int flags = 0;
    switch (style.align) {
    case HAlign::Center:
        flags |= Qt::AlignHCenter;
        break;
    case HAlign::Right:
        flags |= Qt::AlignRight;
        break;
    default:
        flags |= Qt::AlignLeft; // general alignment puts text on the left
        break;
    }
    switch (style.valign) {
    case VAlign::Top:
        flags |= Qt::AlignTop;
        break;
    case VAlign::Center:
        flags |= Qt::AlignVCenter;
        break;
    case VAlign::Bottom:
        flags |= Qt::AlignBottom;
        break;
    }
    if (style.wrap)
        flags |= Qt::TextWordWrap;
    return flags;
}

QFont cellFont(const CellStyle& style, const SheetLayout& sheet, double scale) {
    QFont font;
    // Latin letters and digits from a Latin font: the CJK font's shaped digits lose their text in
    // PDF files (a copied "z001" reads "z"). Chinese characters come from a font that gives each
    // character a glyph of its own: where one glyph serves a radical (U+2F2F) and the character
    // (工, U+5DE5), as in Noto Sans CJK, the PDF's text layer names the radical, and searching or
    // copying the printed record fails. Noto stays as the fallback for characters the first lacks.
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Droid Sans Fallback"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Sans Serif")});
    const double size = style.fontSize > 0          ? style.fontSize
                        : sheet.defaultFontSize > 0 ? sheet.defaultFontSize
                                                    : DefaultFontPoints;
    font.setPointSizeF(size * scale);
    font.setBold(style.bold);
    return font;
}

// How wide a single line may run from its cell, aligned as it is, before it leaves the sheet.
double roomOnSheet(const QRectF& inner, int flags, double sheetLeft, double sheetRight) {
    if (flags & Qt::AlignRight)
        return inner.right() - sheetLeft;
    if (flags & Qt::AlignHCenter)
        return 2 * std::min(inner.center().x() - sheetLeft, sheetRight - inner.center().x());
    return sheetRight - inner.left();
}

// A single line longer than the room it has (a long union name in the last column) is set smaller
// instead of running off the sheet and the page.
void shrinkToRoom(QFont& font, const QString& text, double room, QPaintDevice* device) {
    const double width = QFontMetricsF(font, device).horizontalAdvance(text);
    if (room > 0 && width > room)
        font.setPointSizeF(font.pointSizeF() * room / width);
}

// Paints one sheet into the device's paintable area. Positions are device pixels; fonts are given in
// points of the device, shrunk by the same factor as the grid when the sheet must be scaled to fit.
void paintSheet(QPainter& painter, const SheetLayout& sheet, const QSizeF& area, double dotsPerPoint) {
    const SheetGrid grid = gridOf(sheet);
    const double fit = std::min(
        {1.0, area.width() / (grid.width() * dotsPerPoint), area.height() / (grid.height() * dotsPerPoint)});
    const double scale = dotsPerPoint * fit;
    const double left = std::max(0.0, (area.width() - grid.width() * scale) / 2);
    const double sheetRight = left + grid.width() * scale;
    auto rectOf = [&](const CellRange& range) {
        const double x = left + grid.columnEdges[size_t(range.first.column - 1)] * scale;
        const double y = grid.rowEdges[size_t(range.first.row - 1)] * scale;
        return QRectF(
            x, y,
            (grid.columnEdges[size_t(range.last.column)] - grid.columnEdges[size_t(range.first.column - 1)]) *
                scale,
            (grid.rowEdges[size_t(range.last.row)] - grid.rowEdges[size_t(range.first.row - 1)]) * scale);
    };

    QPen frame(Qt::black);
    frame.setWidthF(0.6 * scale);
    const double padding = CellPaddingPoints * scale;
    for (const LayoutCell& cell : sheet.cells) {
        const QRectF rect = rectOf(cell.range);
        if (cell.style.border) {
            painter.setPen(frame);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect);
        }
        if (cell.text.isEmpty())
            continue;
        painter.setPen(Qt::black);
        QFont font = cellFont(cell.style, sheet, fit);
        const QRectF inner = rect.adjusted(padding, 0, -padding, 0);
        // Wrapped texts stay inside their cell; single lines may run on, as in a spreadsheet, but
        // not past the sheet's edge.
        const int flags = alignmentFlags(cell.style) | (cell.style.wrap ? 0 : int(Qt::TextDontClip));
        if (!cell.style.wrap)
            shrinkToRoom(font, cell.text, roomOnSheet(inner, flags, left + padding, sheetRight - padding),
                         painter.device());
        painter.setFont(font);
        painter.save();
        if (cell.style.wrap)
            painter.setClipRect(rect);
        painter.drawText(inner, flags, cell.text);
        painter.restore();
    }
}

void setOrientation(QPagedPaintDevice& device, const SheetLayout& sheet) {
    device.setPageOrientation(sheet.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

} // namespace

double columnWidthPoints(double characters) {
    // A spreadsheet column of n characters is n digit widths (7 pixels) plus 5 pixels of margin.
    const double pixels = characters <= 0 ? 0 : characters * 7 + 5;
    return pixels * 0.75;
}

void paintWorkbook(QPagedPaintDevice& device, const WorkbookLayout& layout) {
    if (layout.sheets.empty())
        return;
    setOrientation(device, layout.sheets.front());
    QPainter painter;
    if (!painter.begin(&device))
        throw FileError(QStringLiteral("无法开始打印“%1”。").arg(layout.name));
    for (size_t i = 0; i < layout.sheets.size(); ++i) {
        if (i > 0) {
            setOrientation(device, layout.sheets[i]);
            device.newPage();
        }
        const double dotsPerPoint = device.logicalDpiX() / 72.0;
        paintSheet(painter, layout.sheets[i], QSizeF(device.width(), device.height()), dotsPerPoint);
    }
    painter.end();
}

void writePdf(const WorkbookLayout& layout, const QString& path) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw Error(QStringLiteral("生成PDF文件需要图形界面的程序环境。"));
    const QString target = QFileInfo(path).absoluteFilePath();
    const QString partial = target + QStringLiteral(".partial");
    {
        QFile probe(partial);
        if (!probe.open(QIODevice::WriteOnly))
            throw FileError(QStringLiteral("无法写入文件“%1”。").arg(target));
    }
    try {
        QPdfWriter writer(partial);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(layout.name);
        writer.setCreator(QStringLiteral("corvalis-survey"));
        paintWorkbook(writer, layout);
    } catch (...) {
        QFile::remove(partial);
        throw;
    }
    if (!moveIntoPlace(partial, target)) {
        throw FileError(QStringLiteral("无法写入文件“%1”。").arg(target));
    }
}

} // namespace corvalis::workbook
