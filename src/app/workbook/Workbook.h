#pragma once

#include "CellAddress.h"
#include "CellStyle.h"
#include "ColumnWidths.h"
#include "PageSetup.h"
#include "WorkbookLayout.h"

#include <QHash>
#include <QString>
#include <memory>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace corvalis::workbook {

class Workbook;

// One sheet being written. Rows and columns count from 1.
class Sheet {
public:
    const QString& name() const { return m_name; }

    void writeText(int row, int column, const QString& text, const CellStyle& style);
    void writeNumber(int row, int column, double value, const CellStyle& style);
    // Cells in the column's own format (or none): the per-cell calls of long exports, which look up
    // no style and make no allocation for the cell.
    void writeText(int row, int column, const QString& text);
    void writeNumber(int row, int column, double value);
    void writeBlank(int row, int column, const CellStyle& style);
    // Writes a text into a cell named like "B12"; throws Error for an address that names no cell.
    void writeText(const QString& address, const QString& text, const CellStyle& style = CellStyle());
    void merge(const CellRange& range, const QString& text, const CellStyle& style = CellStyle());

    void setColumnWidth(int column, double width);
    void setColumnFormat(int column, const CellStyle& style);
    void setRowHeight(int row, double height);
    void setLandscape();
    // Scales the printout to fit the sheet on so many pages across and down, centred across.
    void fitToPage(int wide, int tall);
    // Orientation, scaling and repeated titles as the setup says, centred across the page.
    void applyPageSetup(const PageSetup& setup);
    // Widens every column written so far to its longest text (a CJK character counts twice),
    // unless a width was set for it explicitly.
    void fitColumns(double minimum = 6, double maximum = 80);

    int lastRow() const { return m_lastRow; }

private:
    friend class Workbook;
    Sheet(Workbook& owner, lxw_worksheet* sheet, const QString& name);
    void noteRow(int row);
    void putText(int row, int column, const QString& text, lxw_format* format, bool noteItsWidth);
    void putNumber(int row, int column, double value, lxw_format* format);

    Workbook& m_owner;
    lxw_worksheet* m_sheet;
    QString m_name;
    ContentWidths m_contentWidths;
    // The UTF-8 bytes of the text being written, kept between cells so that it is allocated once.
    QByteArray m_textBytes;
    QHash<int, double> m_setWidths;
    QHash<int, lxw_format*> m_columnFormats;
    int m_lastRow = 0;
};

// An xlsx file being written. Nothing reaches the disk before save(); a workbook that is destroyed
// without save() leaves no file behind.
class Workbook {
public:
    // Long exports of one sheet go through StreamedWorkbook instead.
    explicit Workbook(const QString& path);
    ~Workbook();
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    const QString& path() const { return m_path; }

    Sheet& addSheet(const QString& name);
    // Adds a sheet with the fixed cells, widths and heights of a layout sheet.
    Sheet& addSheet(const SheetLayout& layout);
    Sheet& sheet(int index) { return *m_sheets.at(size_t(index)); }
    int sheetCount() const { return int(m_sheets.size()); }

    // Writes the file; throws FileError with the writer's reason. The file is written beside its
    // final name and moved into place, so a failed save never leaves a half-written workbook.
    void save();

private:
    friend class Sheet;
    lxw_format* format(const CellStyle& style);

    QString m_path;
    QString m_partialPath;
    lxw_workbook* m_book = nullptr;
    std::vector<std::unique_ptr<Sheet>> m_sheets;
    QHash<QString, lxw_format*> m_formats;
    bool m_saved = false;
};

} // namespace corvalis::workbook
