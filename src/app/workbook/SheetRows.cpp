#include "SheetRows.h"

#include "CellAddress.h"
#include "SheetXml.h"
#include "app/Errors.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace corvalis::workbook {

namespace {

// About the XML of one cell of a whole number with its style, and the XML that makes a piece worth
// compressing on its own (pieces much smaller cost more in their joins, larger ones more memory).
constexpr std::size_t CellXmlEstimate = 24;
constexpr std::size_t PieceXml = 1 << 20;
// The longest text a cell holds, in UTF-16 units.
constexpr qsizetype MaxCellText = 32767;
// From 10^15 on, whole numbers are written in their floating-point form.
constexpr qint64 WholeLimit = 1000000000000000;

[[noreturn]] void refuseOrder(int row, int column) {
    throw Error(QStringLiteral("单元格%1未按行、列的顺序写入。").arg(cellAddress(row, column)));
}

[[noreturn]] void refuseLength(int row, int column) {
    throw Error(
        QStringLiteral("单元格%1的文字超过%2个字符。").arg(cellAddress(row, column)).arg(MaxCellText));
}

} // namespace

void SheetRows::beginRow(int row) {
    checkedRowIndex(row);
    if (row <= m_openRow)
        refuseOrder(row, 1);
    m_openRow = row;
    m_openRowHasCells = false;
    m_lastColumnInRow = 0;
}

void SheetRows::beginCell(int column) {
    checkedColumnIndex(column);
    if (m_openRow == 0 || column <= m_lastColumnInRow)
        refuseOrder(std::max(m_openRow, 1), column);
    if (!m_openRowHasCells) {
        Cell row{};
        row.place = m_openRow;
        row.kind = Kind::Row;
        m_cells.push_back(row);
        m_openRowHasCells = true;
        if (m_firstRow == 0) {
            m_firstRow = m_openRow;
            m_firstCellColumn = column;
        }
        m_lastRow = m_openRow;
    }
    m_lastColumnInRow = column;
    m_lastCellColumn = column;
    m_firstColumn = m_firstColumn == 0 ? column : std::min(m_firstColumn, column);
    m_lastColumn = std::max(m_lastColumn, column);
}

void SheetRows::addInteger(int column, qint64 value) {
    if (value <= -WholeLimit || value >= WholeLimit) {
        addNumber(column, double(value));
        return;
    }
    beginCell(column);
    Cell cell{};
    cell.place = column;
    cell.kind = Kind::Integer;
    cell.integer = value;
    m_cells.push_back(cell);
}

void SheetRows::addNumber(int column, double value) {
    if (!std::isfinite(value)) {
        // A sheet holds no infinite or undefined numbers: such a value is shown as it reads.
        addText(column, QString::number(value));
        return;
    }
    beginCell(column);
    Cell cell{};
    cell.place = column;
    cell.kind = Kind::Number;
    cell.number = value;
    m_cells.push_back(cell);
}

void SheetRows::addText(int column, const QString& text) {
    if (text.size() > MaxCellText)
        refuseLength(std::max(m_openRow, 1), column);
    std::string xml;
    appendEscapedText(xml, text);
    addTextBytes(column, needsPreservedSpace(text) ? Kind::XmlTextPreserved : Kind::XmlText, xml.data(),
                 xml.size());
    m_notedWidths.noteText(column, text);
}

void SheetRows::addText(int column, const char* utf8, qsizetype size) {
    // A text has no more UTF-16 units than UTF-8 bytes: only long ones need counting.
    if (size > MaxCellText && QString::fromUtf8(utf8, size).size() > MaxCellText)
        refuseLength(std::max(m_openRow, 1), column);
    addTextBytes(column, Kind::Utf8Text, utf8, std::size_t(size));
}

void SheetRows::addTextBytes(int column, Kind kind, const char* data, std::size_t size) {
    // Texts are found by 32-bit offsets; a caller that hands the rows over when isFull() never
    // comes near the limit.
    if (size > UINT32_MAX - m_texts.size())
        throw Error(QStringLiteral("一次交给工作簿的行过多。"));
    beginCell(column);
    Cell cell{};
    cell.place = column;
    cell.kind = kind;
    cell.text.offset = quint32(m_texts.size());
    cell.text.size = quint32(size);
    m_texts.append(data, size);
    m_cells.push_back(cell);
}

bool SheetRows::isFull() const {
    return m_cells.size() * CellXmlEstimate + m_texts.size() >= PieceXml;
}

void SheetRows::appendXml(int previousRow, const std::vector<std::string>& styles, std::string& out,
                          ContentWidths& widths) const {
    out.reserve(out.size() + m_cells.size() * CellXmlEstimate + m_texts.size() * 2);
    // The longest whole number of each column, noted once at the end.
    std::vector<std::size_t> digits;
    std::vector<std::string> letters;
    std::string rowText;
    int row = 0;
    int previousColumn = 0;
    for (const Cell& cell : m_cells) {
        if (cell.kind == Kind::Row) {
            if (row != 0)
                out += "</row>";
            row = cell.place;
            rowText.clear();
            if (row == previousRow + 1) {
                out += "<row>";
            } else {
                rowText = std::to_string(row);
                out += "<row r=\"";
                out += rowText;
                out += "\">";
            }
            previousRow = row;
            previousColumn = 0;
            continue;
        }
        const int column = cell.place;
        // A cell that follows the one before it goes without its reference, as in the workbook.
        if (column == previousColumn + 1) {
            out += "<c";
        } else {
            if (letters.size() <= std::size_t(column))
                letters.resize(std::size_t(column) + 1);
            if (letters[std::size_t(column)].empty())
                letters[std::size_t(column)] = columnLetters(column).toStdString();
            if (rowText.empty())
                rowText = std::to_string(row);
            out += "<c r=\"";
            out += letters[std::size_t(column)];
            out += rowText;
            out += '"';
        }
        previousColumn = column;
        if (std::size_t(column) < styles.size())
            out += styles[std::size_t(column)];
        switch (cell.kind) {
        case Kind::Integer: {
            char text[40] = "><v>";
            constexpr std::size_t Open = 4;
            char* const end = std::to_chars(text + Open, text + sizeof text, cell.integer).ptr;
            const std::size_t length = std::size_t(end - text) - Open;
            std::memcpy(end, "</v></c>", 8);
            out.append(text, Open + length + 8);
            if (digits.size() <= std::size_t(column))
                digits.resize(std::size_t(column) + 1, 0);
            digits[std::size_t(column)] = std::max(digits[std::size_t(column)], length);
            break;
        }
        case Kind::Number:
            out += "><v>";
            appendNumber(out, cell.number);
            out += "</v></c>";
            widths.noteNumber(column, cell.number);
            break;
        case Kind::Utf8Text: {
            const char* data = m_texts.data() + cell.text.offset;
            const std::size_t size = cell.text.size;
            out += " t=\"inlineStr\"><is>";
            const std::size_t textStart = out.size();
            out += needsPreservedSpace(data, size) ? "<t xml:space=\"preserve\">" : "<t>";
            double width = 0;
            if (!appendEscapedUtf8(out, data, size, width)) {
                out.resize(textStart);
                const QString text = QString::fromUtf8(data, qsizetype(size));
                out += needsPreservedSpace(text) ? "<t xml:space=\"preserve\">" : "<t>";
                appendEscapedText(out, text);
                width = displayWidth(text);
            }
            out += "</t></is></c>";
            widths.note(column, width);
            break;
        }
        case Kind::XmlText:
        case Kind::XmlTextPreserved:
            out += cell.kind == Kind::XmlText ? " t=\"inlineStr\"><is><t>"
                                              : " t=\"inlineStr\"><is><t xml:space=\"preserve\">";
            out.append(m_texts.data() + cell.text.offset, cell.text.size);
            out += "</t></is></c>";
            break;
        case Kind::Row:
            break;
        }
    }
    if (row != 0)
        out += "</row>";
    for (std::size_t column = 0; column < digits.size(); ++column) {
        if (digits[column] != 0)
            widths.noteNumberText(int(column), qsizetype(digits[column]));
    }
}

} // namespace corvalis::workbook
