#pragma once

#include "CellAddress.h"
#include "ColumnWidths.h"

#include <QString>
#include <algorithm>
#include <string>
#include <vector>

namespace corvalis::workbook {

// Consecutive rows of cells that an export gathers and hands to StreamedWorkbook::writeRows() in one
// go: their sheet XML is then made on the compressing threads while the caller reads the next rows.
// Cells are checked as they are added, so a fault is reported where it happens; the sheet comes out
// exactly as the workbook's own writeX() calls would have written it.
class SheetRows {
public:
    // Starts the next row; rows ascend, not necessarily one by one. Throws Error for a row outside
    // the sheet or out of order. A row that gets no cells is left out of the sheet.
    void beginRow(int row);
    // Cells of the open row, in ascending columns; each throws Error, as writeX() do, for a cell
    // outside the sheet or out of order, or a text longer than a cell holds.
    void addInteger(int column, qint64 value) {
        // The bulk of a long export: a whole number after the first cell of its row.
        if (m_openRowHasCells && column > m_lastColumnInRow && column <= MaxColumns && value > -WholeLimit &&
            value < WholeLimit) {
            m_lastColumnInRow = column;
            m_cells.push_back(Cell{column, Kind::Integer, {value}});
            return;
        }
        addCheckedInteger(column, value);
    }
    void addNumber(int column, double value);
    void addText(int column, const QString& text);
    // Text as the engine keeps it, in UTF-8. Bytes that are no UTF-8 are read as QString::fromUtf8()
    // reads them.
    void addText(int column, const char* utf8, qsizetype size);

    // Forgets every row, keeping the storage for the next ones.
    void clear();

    bool isEmpty() const { return m_cells.empty(); }
    // Whether enough has been gathered to make one compressed piece of the sheet.
    bool isFull() const;

    // The span of the rows that have cells; valid unless isEmpty().
    int firstRow() const { return m_firstRow; }
    int lastRow() const { return m_lastRow; }
    int firstColumn() const { return m_firstColumn; }
    int lastColumn() const { return std::max(m_lastColumn, m_lastColumnInRow); }
    // The first cell's column and the last cell's column of the last row.
    int firstCellColumn() const { return m_firstCellColumn; }
    int lastCellColumn() const { return m_openRowHasCells ? m_lastColumnInRow : m_lastCellColumn; }

    // The widths of the texts given as QString, measured as they came.
    const ContentWidths& notedWidths() const { return m_notedWidths; }

    // The rows as sheet XML appended to out. previousRow is the last row written before them (0 for
    // none); styles holds the style attribute (` s="N"`, or empty) of each column by number. The
    // widths of the contents are noted into widths.
    void appendXml(int previousRow, const std::vector<std::string>& styles, std::string& out,
                   ContentWidths& widths) const;

private:
    // From 10^15 on, whole numbers are written in their floating-point form.
    static constexpr qint64 WholeLimit = 1000000000000000;
    enum class Kind : unsigned char { Row, Integer, Number, Utf8Text, XmlText, XmlTextPreserved };
    struct TextSpan {
        quint32 offset; // in m_texts
        quint32 size;
    };
    struct Cell {
        int place; // the column; the row number for a Row
        Kind kind;
        union {
            qint64 integer;
            double number;
            TextSpan text;
        };
    };
    void addCheckedInteger(int column, qint64 value);
    void beginCell(int column);
    // A cell of the kind at the column, in its place after the cells before; its value is the caller's.
    Cell& newCell(int column, Kind kind);
    void addTextBytes(int column, Kind kind, const char* data, std::size_t size);

    std::vector<Cell> m_cells;
    std::string m_texts; // the bytes of the text cells, one after the other
    ContentWidths m_notedWidths;
    int m_openRow = 0; // the row begun last; 0 before the first
    bool m_openRowHasCells = false;
    int m_lastColumnInRow = 0;
    int m_firstRow = 0, m_lastRow = 0, m_firstColumn = 0, m_lastColumn = 0;
    int m_firstCellColumn = 0, m_lastCellColumn = 0;
};

} // namespace corvalis::workbook
