#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace corvalis::workbook {

// How a sheet prints on A4: orientation, scaling, and the rows and columns repeated on every page.
struct PageSetup {
    bool landscape = false;
    int fitWide = 0; // pages across that the sheet is scaled to fit; 0: no scaling
    int fitTall = 0; // pages down when scaled; 0: as many as the rows take
    int titleFirstRow = 0;
    int titleLastRow = 0; // rows repeated at the top of every page; 0: none
    int titleColumns = 0; // columns from A repeated at the left of every page; 0: none

    bool scaled() const { return fitWide > 0 || fitTall > 0; }
};

// The width of a column no width was set for, in characters.
inline constexpr double DefaultColumnWidth = 8.43;

// The printable width of an A4 page with the default margins (0.7 inch left and right), in points.
double printableWidthPoints(bool landscape);

// The printed width of columns of so many characters each, in points.
double columnsWidthPoints(const std::vector<double>& widths);

// A table's page setup from its column widths: portrait when it fits across a portrait page, else
// landscape; scaled to one page wide unless that would shrink it below half its size, where it
// prints across several pages instead, repeating its first keyColumns columns. The first titleRows
// rows are repeated on every page.
PageSetup tablePageSetup(const std::vector<double>& columnWidths, int titleRows, int keyColumns);

// The pieces of SpreadsheetML that carry a page setup, for writers of their own:
// the <sheetPr> that goes first in a worksheet, before <dimension> (empty when not scaled);
QByteArray sheetPropertiesXml(const PageSetup& setup);
// the <printOptions>, <pageMargins> and <pageSetup> that follow the sheet data;
QByteArray pageSetupXml(const PageSetup& setup);
// the workbook's <definedNames> naming the repeated rows and columns of its sheets, given by their
// names and positions from 0 (empty when no sheet repeats any).
QByteArray printTitlesXml(const std::vector<std::pair<QString, PageSetup>>& sheets);

} // namespace corvalis::workbook
