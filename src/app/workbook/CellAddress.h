#pragma once

#include <QString>
#include <optional>

namespace corvalis::workbook {

// A cell position counted from 1, as spreadsheet users name rows and columns.
struct CellPosition {
    int row = 1;
    int column = 1;
    bool operator==(const CellPosition& other) const { return row == other.row && column == other.column; }
};

// A rectangle of cells, both corners included.
struct CellRange {
    CellPosition first;
    CellPosition last;
};

// "A" for 1, "Z" for 26, "AA" for 27 ... any column number.
QString columnLetters(int column);
// "B12" for row 12, column 2.
QString cellAddress(int row, int column);
// Reads "B12" or "$B$12" (letters in any case); empty for anything else.
std::optional<CellPosition> parseCellAddress(const QString& address);
// Reads "A1:C3" or a single address (a one-cell range).
std::optional<CellRange> parseCellRange(const QString& address);

// The size of a sheet; the writers reject cells outside it with a message naming the row or column.
constexpr int MaxRows = 1048576;
constexpr int MaxColumns = 16384;
// Whether a sheet may carry the name: 1 to 31 units, none of []:*?/\ nor control characters nor half
// characters, no apostrophe at either end.
bool isValidSheetName(const QString& name);
// The name made valid: unfit characters replaced by "_", cut at 31 units without splitting a
// character, apostrophes at the ends dropped; "Sheet1" when nothing is left.
QString fittedSheetName(const QString& name);

// The row or column counted from 0; throws Error when it lies outside the sheet.
int checkedRowIndex(int row);
int checkedColumnIndex(int column);

} // namespace corvalis::workbook
