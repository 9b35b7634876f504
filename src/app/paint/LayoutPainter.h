#pragma once

#include "app/workbook/WorkbookLayout.h"

#include <QString>

class QPagedPaintDevice;

namespace corvalis::workbook {

// Paints the sheets of a layout, one sheet per page, from the same description the workbook writer
// uses (cells, merged ranges, frames, fonts, column widths and row heights), so the printout of a
// written workbook and the painted pages agree. A sheet wider or taller than the page is scaled down
// to fit; it is centred across the page. Needs a running QGuiApplication (fonts).
void paintWorkbook(QPagedPaintDevice& device, const WorkbookLayout& layout);

// Writes the sheets of a layout as an A4 PDF file; throws FileError when it cannot be written and
// Error when no QGuiApplication runs. Works headless (the offscreen platform).
void writePdf(const WorkbookLayout& layout, const QString& path);

// Sheet geometry in points: a column width in characters as a spreadsheet shows it, and the default
// row height.
double columnWidthPoints(double characters);
inline constexpr double DefaultColumnCharacters = 8.43;
inline constexpr double DefaultRowHeightPoints = 15.0;

} // namespace corvalis::workbook
