#pragma once

#include "CellAddress.h"
#include "CellStyle.h"

#include <QString>
#include <map>
#include <vector>

namespace corvalis::workbook {

// A fixed text of a layout: one cell, or a merged range showing one text.
struct LayoutCell {
    CellRange range;
    QString text;
    CellStyle style;
    bool isMerged() const { return !(range.first == range.last); }
};

// One sheet of a layout: what stands on it before any value is written.
struct SheetLayout {
    QString name;
    std::vector<LayoutCell> cells;
    std::map<int, double> columnWidths; // column (from 1) -> width in characters
    std::map<int, double> rowHeights;   // row (from 1) -> height in points
    bool landscape = false;
    double defaultFontSize = 0;

    // The fixed cell that covers the position, or null.
    const LayoutCell* cellAt(const CellPosition& position) const;
};

// A workbook layout: the sheets of a summary, print or export workbook in their order. Layouts are
// shipped as JSON files beside the program and stand where spreadsheet templates used to:
//   {"sheets": [{"name": "封面", "landscape": false, "columnWidths": {"A": 12},
//                "rowHeights": {"1": 30},
//                "cells": [{"cell": "A1:F1", "text": "标题", "bold": true, "size": 16,
//                           "align": "center", "valign": "center", "border": true, "wrap": true,
//                           "format": "@"}]}]}
struct WorkbookLayout {
    QString name;
    std::vector<SheetLayout> sheets;

    // Reads a layout file; throws FileError naming the file and the fault.
    static WorkbookLayout load(const QString& path);
    static WorkbookLayout parse(const QByteArray& json, const QString& name);

    int sheetIndex(const QString& sheetName) const; // -1 when absent
};

} // namespace corvalis::workbook
