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
    if (m_openRowHasCells) {
        m_lastColumn = std::max(m_lastColumn, m_lastColumnInRow);
        m_lastCellColumn = m_lastColumnInRow;
    }
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
    m_firstColumn = m_firstColumn == 0 ? column : std::min(m_firstColumn, column);
}

SheetRows::Cell& SheetRows::newCell(int column, Kind kind) {
    beginCell(column);
    Cell& cell = m_cells.emplace_back();
    cell.place = column;
    cell.kind = kind;
    return cell;
}

void SheetRows::addCheckedInteger(int column, qint64 value) {
    if (value <= -WholeLimit || value >= WholeLimit) {
        addNumber(column, double(value));
        return;
    }
    newCell(column, Kind::Integer).integer = value;
}

void SheetRows::addNumber(int column, double value) {
    if (!std::isfinite(value)) {
        // A sheet holds no infinite or undefined numbers: such a value is shown as it reads.
        addText(column, QString::number(value));
        return;
    }
    newCell(column, Kind::Number).number = value;
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
    newCell(column, kind).text = {quint32(m_texts.size()), quint32(size)};
    m_texts.append(data, size);
}

bool SheetRows::isFull() const {
    return m_cells.size() * CellXmlEstimate + m_texts.size() >= PieceXml;
}

namespace {

// Writes the XML of the rows through a pointer into a string made long enough beforehand: the bulk
// of a long export is tiny pieces of markup, which appending one by one would cost more than the
// characters themselves.
class XmlOut {
public:
    explicit XmlOut(std::string& out) : m_out(out), m_used(out.size()) {
        m_out.resize(std::max(m_out.capacity(), m_used + (std::size_t(1) << 16)));
    }
    ~XmlOut() { m_out.resize(m_used); }
    XmlOut(const XmlOut&) = delete;
    XmlOut& operator=(const XmlOut&) = delete;

    // Room for `need` more bytes; valid until the next call.
    char* room(std::size_t need) {
        if (m_out.size() - m_used < need)
            m_out.resize(std::max(m_out.size() * 2, m_used + need));
        return m_out.data() + m_used;
    }
    void wrote(const char* end) { m_used = std::size_t(end - m_out.data()); }

private:
    std::string& m_out;
    std::size_t m_used;
};

template <std::size_t N> char* put(char* at, const char (&literal)[N]) {
    std::memcpy(at, literal, N - 1);
    return at + N - 1;
}

char* put(char* at, const std::string& text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

// The most a cell's markup around its value takes: reference, style and inline-string frame.
constexpr std::size_t CellFrame = 96;
constexpr std::size_t RowFrame = 32;
constexpr std::size_t NumberText = 40;

} // namespace

void SheetRows::appendXml(int previousRow, const std::vector<std::string>& styles, std::string& out,
                          ContentWidths& widths) const {
    std::size_t styleRoom = 0;
    for (const std::string& style : styles)
        styleRoom = std::max(styleRoom, style.size());
    XmlOut xml(out);
    // The longest whole number of each column, noted once at the end.
    std::vector<std::size_t> digits;
    std::vector<std::string> letters;
    std::string rowText;
    int row = 0;
    int previousColumn = 0;
    for (const Cell& cell : m_cells) {
        if (cell.kind == Kind::Row) {
            char* at = xml.room(RowFrame);
            if (row != 0)
                at = put(at, "</row>");
            row = cell.place;
            rowText.clear();
            if (row == previousRow + 1) {
                at = put(at, "<row>");
            } else {
                rowText = std::to_string(row);
                at = put(put(put(at, "<row r=\""), rowText), "\">");
            }
            xml.wrote(at);
            previousRow = row;
            previousColumn = 0;
            continue;
        }
        const int column = cell.place;
        const bool isText =
            cell.kind == Kind::Utf8Text || cell.kind == Kind::XmlText || cell.kind == Kind::XmlTextPreserved;
        const std::size_t valueRoom = isText ? std::size_t(cell.text.size) * EscapedUtf8Growth : NumberText;
        char* at = xml.room(CellFrame + styleRoom + valueRoom);
        // A cell that follows the one before it goes without its reference, as in the workbook.
        if (column == previousColumn + 1) {
            at = put(at, "<c");
        } else {
            if (letters.size() <= std::size_t(column))
                letters.resize(std::size_t(column) + 1);
            if (letters[std::size_t(column)].empty())
                letters[std::size_t(column)] = columnLetters(column).toStdString();
            if (rowText.empty())
                rowText = std::to_string(row);
            at = put(put(put(put(at, "<c r=\""), letters[std::size_t(column)]), rowText), "\"");
        }
        previousColumn = column;
        if (std::size_t(column) < styles.size())
            at = put(at, styles[std::size_t(column)]);
        switch (cell.kind) {
        case Kind::Integer: {
            at = put(at, "><v>");
            char* const end = std::to_chars(at, at + NumberText, cell.integer).ptr;
            if (digits.size() <= std::size_t(column))
                digits.resize(std::size_t(column) + 1, 0);
            digits[std::size_t(column)] = std::max(digits[std::size_t(column)], std::size_t(end - at));
            at = put(end, "</v></c>");
            break;
        }
        case Kind::Number: {
            at = put(at, "><v>");
            std::string number;
            appendNumber(number, cell.number);
            at = put(put(at, number), "</v></c>");
            widths.noteNumber(column, cell.number);
            break;
        }
        case Kind::Utf8Text: {
            const char* data = m_texts.data() + cell.text.offset;
            const std::size_t size = cell.text.size;
            at = put(at, " t=\"inlineStr\"><is>");
            char* const textStart = at;
            at = needsPreservedSpace(data, size) ? put(at, "<t xml:space=\"preserve\">") : put(at, "<t>");
            double width = 0;
            char* const end = writeEscapedUtf8(at, data, size, width);
            if (end) {
                at = end;
            } else {
                const QString text = QString::fromUtf8(data, qsizetype(size));
                std::string escaped(needsPreservedSpace(text) ? "<t xml:space=\"preserve\">" : "<t>");
                appendEscapedText(escaped, text);
                xml.wrote(textStart);
                at = put(xml.room(escaped.size() + CellFrame), escaped);
                width = displayWidth(text);
            }
            at = put(at, "</t></is></c>");
            widths.note(column, width);
            break;
        }
        case Kind::XmlText:
        case Kind::XmlTextPreserved:
            at = cell.kind == Kind::XmlText ? put(at, " t=\"inlineStr\"><is><t>")
                                            : put(at, " t=\"inlineStr\"><is><t xml:space=\"preserve\">");
            std::memcpy(at, m_texts.data() + cell.text.offset, cell.text.size);
            at = put(at + cell.text.size, "</t></is></c>");
            break;
        case Kind::Row:
            break;
        }
        xml.wrote(at);
    }
    if (row != 0)
        xml.wrote(put(xml.room(RowFrame), "</row>"));
    for (std::size_t column = 0; column < digits.size(); ++column) {
        if (digits[column] != 0)
            widths.noteNumberText(int(column), qsizetype(digits[column]));
    }
}

void SheetRows::clear() {
    m_cells.clear();
    m_texts.clear();
    m_notedWidths = ContentWidths();
    m_openRow = 0;
    m_openRowHasCells = false;
    m_lastColumnInRow = 0;
    m_firstRow = m_lastRow = m_firstColumn = m_lastColumn = 0;
    m_firstCellColumn = m_lastCellColumn = 0;
}

} // namespace corvalis::workbook
