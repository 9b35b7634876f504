#pragma once

#include <QString>

namespace corvalis::workbook {

enum class HAlign { General, Left, Center, Right };
enum class VAlign { Bottom, Center, Top };

// How a cell looks. Cells with equal styles share one format in the written file.
struct CellStyle {
    bool bold = false;
    double fontSize = 0; // 0: the workbook's default size
    HAlign align = HAlign::General;
    VAlign valign = VAlign::Center;
    bool border = false; // thin frame on all four sides
    bool wrap = false;
    QString numberFormat; // e.g. "@", "#,##0_ ", "yyyy-mm"; empty: general
    int indent = 0;       // steps of indentation of the text

    bool operator==(const CellStyle& other) const {
        return bold == other.bold && fontSize == other.fontSize && align == other.align &&
               valign == other.valign && border == other.border && wrap == other.wrap &&
               numberFormat == other.numberFormat && indent == other.indent;
    }
    QString key() const;
};

} // namespace corvalis::workbook
