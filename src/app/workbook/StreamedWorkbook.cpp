#include "StreamedWorkbook.h"

#include "CellAddress.h"
#include "ParallelDeflater.h"
#include "SheetRows.h"
#include "SheetXml.h"
#include "ZipWriter.h"
#include "app/Errors.h"
#include "app/FileOps.h"

#include <QFileInfo>
#include <charconv>
#include <cmath>
#include <cstring>

namespace corvalis::workbook {

namespace {

// The sheet goes to the compressing threads in pieces of about this many bytes.
constexpr size_t PieceSize = 1 << 20;
// Fast compression: an export of a million rows is gigabytes of XML.
constexpr int SheetLevel = 1;
constexpr double DefaultWidth = 8.43;
constexpr double MaxWidth = 255;
constexpr int FirstCustomFormat = 164;
// The longest text a cell holds, in UTF-16 units.
constexpr qsizetype MaxCellText = 32767;

const char* const XmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char* const MainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const RelationshipNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// The number formats every spreadsheet knows by number.
int builtInFormat(const QString& code) {
    static const QHash<QString, int> known = {
        {QStringLiteral("General"), 0}, {QStringLiteral("0"), 1},         {QStringLiteral("0.00"), 2},
        {QStringLiteral("#,##0"), 3},   {QStringLiteral("#,##0.00"), 4},  {QStringLiteral("0%"), 9},
        {QStringLiteral("0.00%"), 10},  {QStringLiteral("0.00E+00"), 11}, {QStringLiteral("@"), 49},
    };
    return code.isEmpty() ? 0 : known.value(code, -1);
}

QByteArray escaped(const QString& text) {
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QStringLiteral("&apos;")).toUtf8();
}

// Column width as stored: whole pixels of a 7-pixel digit with 5 pixels of padding.
double storedWidth(double width) {
    if (width <= 0)
        return 0;
    const double pixels = width < 1 ? int(width * 12 + 0.5) : int(width * 7 + 0.5) + 5;
    return std::floor(pixels / 7 * 256) / 256;
}

} // namespace

StreamedWorkbook::StreamedWorkbook(const QString& path, const QString& sheetName)
    : m_path(QFileInfo(path).absoluteFilePath()), m_sheetName(sheetName),
      m_body(QFileInfo(path).absolutePath() + QStringLiteral("/.xlsx-body-XXXXXX")) {
    m_partialPath = m_path + QStringLiteral(".partial");
    if (!isValidSheetName(sheetName))
        throw Error(QStringLiteral("工作表名“%1”无效。").arg(sheetName));
    if (!m_body.open())
        throw FileError(QStringLiteral("无法创建工作簿“%1”：%2").arg(m_path, m_body.errorString()));
    m_deflater = std::make_unique<ParallelDeflater>(m_body, SheetLevel);
    m_styles.push_back(CellStyle());
    m_styleAttributes.emplace_back();
    m_styleIndexes.insert(CellStyle().key(), 0);
    m_buffer.reserve(PieceSize + PieceSize / 8);
}

StreamedWorkbook::~StreamedWorkbook() {
    // The compressing threads may still be making rows that note their widths here.
    m_deflater.reset();
}

int StreamedWorkbook::styleIndex(const CellStyle& style) {
    const QString key = style.key();
    const auto known = m_styleIndexes.constFind(key);
    if (known != m_styleIndexes.constEnd())
        return *known;
    m_styles.push_back(style);
    m_styleAttributes.push_back(" s=\"" + std::to_string(m_styles.size() - 1) + "\"");
    m_styleIndexes.insert(key, int(m_styles.size()) - 1);
    return int(m_styles.size()) - 1;
}

StreamedWorkbook::Column& StreamedWorkbook::column(int number) {
    checkedColumnIndex(number);
    if (size_t(number) >= m_columns.size())
        m_columns.resize(size_t(number) + 1);
    return m_columns[size_t(number)];
}

void StreamedWorkbook::setColumnFormat(int number, const CellStyle& style) {
    column(number).style = style == CellStyle() ? 0 : styleIndex(style);
}

void StreamedWorkbook::setColumnWidth(int number, double width) {
    Column& target = column(number);
    target.width = std::clamp(width, 0.0, MaxWidth);
    target.widthSet = true;
}

void StreamedWorkbook::fitColumns(double minimum, double maximum) {
    // The rows still being made on the compressing threads count too.
    if (m_deflater)
        m_deflater->finish();
    {
        std::lock_guard<std::mutex> lock(m_rowsWidthsMutex);
        m_contentWidths.merge(m_rowsWidths);
        m_rowsWidths = ContentWidths();
    }
    for (int number = 1; number < m_contentWidths.columnCount(); ++number) {
        const std::optional<double> width = m_contentWidths.fitted(number, minimum, maximum);
        if (width && !(size_t(number) < m_columns.size() && m_columns[size_t(number)].widthSet))
            column(number).width = *width;
    }
}

void StreamedWorkbook::beginCell(int row, int columnNumber, int style) {
    if (m_state != State::Writing)
        throw Error(QStringLiteral("工作簿“%1”已经写完，不能再写入单元格。").arg(m_path));
    checkedRowIndex(row);
    checkedColumnIndex(columnNumber);
    if (row < m_row || (row == m_row && (!m_rowOpen || columnNumber <= m_lastColumn)))
        throw Error(QStringLiteral("单元格%1未按行、列的顺序写入。").arg(cellAddress(row, columnNumber)));
    // A row or cell that follows the one before it goes without its reference: readers take the
    // next row and the next column then, and the sheet is shorter by a third.
    int previousColumn = m_lastColumn;
    if (row != m_row) {
        if (m_rowOpen)
            append("</row>");
        m_rowText = std::to_string(row);
        if (row == m_row + 1) {
            append("<row>");
        } else {
            append("<row r=\"");
            m_buffer += m_rowText;
            append("\">");
        }
        if (m_row == 0)
            m_firstRow = row;
        m_row = row;
        m_rowOpen = true;
        previousColumn = 0;
    }
    m_lastColumn = columnNumber;
    m_firstColumn = m_firstColumn == 0 ? columnNumber : std::min(m_firstColumn, columnNumber);
    m_lastColumnAll = std::max(m_lastColumnAll, columnNumber);
    if (columnNumber == previousColumn + 1) {
        append("<c");
    } else {
        while (m_letters.size() <= size_t(columnNumber))
            m_letters.push_back(columnLetters(int(m_letters.size())).toStdString());
        append("<c r=\"");
        m_buffer += m_letters[size_t(columnNumber)];
        m_buffer += m_rowText;
        m_buffer += '"';
    }
    const std::string& styleAttribute = m_styleAttributes[size_t(style)];
    append(styleAttribute.data(), styleAttribute.size());
}

void StreamedWorkbook::putText(int row, int columnNumber, const QString& text, int style, bool noteWidth) {
    if (text.size() > MaxCellText)
        throw Error(QStringLiteral("单元格%1的文字超过%2个字符。")
                        .arg(cellAddress(row, columnNumber))
                        .arg(MaxCellText));
    beginCell(row, columnNumber, style);
    m_buffer += needsPreservedSpace(text) ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                                          : " t=\"inlineStr\"><is><t>";
    appendEscapedText(m_buffer, text);
    m_buffer += "</t></is></c>";
    if (noteWidth)
        m_contentWidths.noteText(columnNumber, text);
    flushIfFull();
}

void StreamedWorkbook::putNumber(int row, int columnNumber, double value, int style) {
    if (!std::isfinite(value)) {
        // A sheet holds no infinite or undefined numbers: such a value is shown as it reads.
        putText(row, columnNumber, QString::number(value), style, true);
        return;
    }
    beginCell(row, columnNumber, style);
    m_buffer += "><v>";
    appendNumber(m_buffer, value);
    m_buffer += "</v></c>";
    m_contentWidths.noteNumber(columnNumber, value);
    flushIfFull();
}

void StreamedWorkbook::writeText(int row, int columnNumber, const QString& text) {
    const int style = size_t(columnNumber) < m_columns.size() ? m_columns[size_t(columnNumber)].style : 0;
    putText(row, columnNumber, text, style, true);
}

void StreamedWorkbook::writeText(int row, int columnNumber, const QString& text, const CellStyle& style) {
    putText(row, columnNumber, text, styleIndex(style), !style.wrap);
}

void StreamedWorkbook::writeNumber(int row, int columnNumber, double value) {
    const int style = size_t(columnNumber) < m_columns.size() ? m_columns[size_t(columnNumber)].style : 0;
    putNumber(row, columnNumber, value, style);
}

void StreamedWorkbook::writeInteger(int row, int columnNumber, qint64 value) {
    // From 10^15 on, appendNumber() writes the floating-point form.
    constexpr qint64 WholeLimit = 1000000000000000;
    if (value <= -WholeLimit || value >= WholeLimit) {
        writeNumber(row, columnNumber, double(value));
        return;
    }
    const int style = size_t(columnNumber) < m_columns.size() ? m_columns[size_t(columnNumber)].style : 0;
    beginCell(row, columnNumber, style);
    char text[32] = "><v>";
    constexpr size_t Open = 4;
    char* const digits = text + Open;
    char* const end = std::to_chars(digits, text + sizeof text, value).ptr;
    const size_t length = size_t(end - digits);
    std::memcpy(end, "</v></c>", 8);
    append(text, Open + length + 8);
    m_contentWidths.noteNumberText(columnNumber, qsizetype(length));
    flushIfFull();
}

void StreamedWorkbook::writeNumber(int row, int columnNumber, double value, const CellStyle& style) {
    putNumber(row, columnNumber, value, styleIndex(style));
}

void StreamedWorkbook::writeRows(SheetRows& rows) {
    if (m_state != State::Writing)
        throw Error(QStringLiteral("工作簿“%1”已经写完，不能再写入单元格。").arg(m_path));
    if (rows.isEmpty())
        return;
    if (rows.firstRow() <= m_row)
        throw Error(QStringLiteral("单元格%1未按行、列的顺序写入。")
                        .arg(cellAddress(rows.firstRow(), rows.firstCellColumn())));
    if (m_rowOpen)
        append("</row>");
    m_rowOpen = false;
    if (!m_buffer.empty())
        handOverBuffer();

    auto styles = std::make_shared<std::vector<std::string>>(size_t(rows.lastColumn()) + 1);
    for (size_t number = 1; number < styles->size() && number < m_columns.size(); ++number)
        (*styles)[number] = m_styleAttributes[size_t(m_columns[number].style)];
    m_contentWidths.merge(rows.notedWidths());
    if (m_row == 0)
        m_firstRow = rows.firstRow();
    m_firstColumn = m_firstColumn == 0 ? rows.firstColumn() : std::min(m_firstColumn, rows.firstColumn());
    m_lastColumnAll = std::max(m_lastColumnAll, rows.lastColumn());
    const int previousRow = m_row;
    m_row = rows.lastRow();
    m_lastColumn = rows.lastCellColumn();

    auto block = std::make_shared<SheetRows>(std::move(rows));
    {
        // Storage of rows already made into XML serves the next ones: no fresh pages for every block.
        std::lock_guard<std::mutex> lock(m_rowsWidthsMutex);
        if (m_spareRows.empty()) {
            rows = SheetRows();
        } else {
            rows = std::move(m_spareRows.back());
            m_spareRows.pop_back();
        }
    }
    m_deflater->add([this, block, styles, previousRow](std::string& xml) {
        ContentWidths widths;
        block->appendXml(previousRow, *styles, xml, widths);
        block->clear();
        std::lock_guard<std::mutex> lock(m_rowsWidthsMutex);
        m_rowsWidths.merge(widths);
        m_spareRows.push_back(std::move(*block));
    });
}

void StreamedWorkbook::flushIfFull() {
    if (m_buffer.size() >= PieceSize)
        handOverBuffer();
}

void StreamedWorkbook::handOverBuffer() {
    m_deflater->add(std::move(m_buffer));
    m_buffer = std::string();
    m_buffer.reserve(PieceSize + PieceSize / 8);
}

QByteArray StreamedWorkbook::sheetHead() const {
    QByteArray xml(XmlDeclaration);
    xml +=
        QByteArray("<worksheet xmlns=\"") + MainNamespace + "\" xmlns:r=\"" + RelationshipNamespace + "\">";
    xml += sheetPropertiesXml(m_pageSetup);
    QString dimension = QStringLiteral("A1");
    if (m_row != 0) {
        dimension = cellAddress(m_firstRow, m_firstColumn);
        if (m_firstRow != m_row || m_firstColumn != m_lastColumnAll)
            dimension += QLatin1Char(':') + cellAddress(m_row, m_lastColumnAll);
    }
    xml += "<dimension ref=\"" + dimension.toLatin1() + "\"/>";
    xml += "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews>";
    xml += "<sheetFormatPr defaultRowHeight=\"15\"/>";
    QByteArray columns;
    for (size_t number = 1; number < m_columns.size(); ++number) {
        const Column& column = m_columns[number];
        if (column.style == 0 && column.width < 0)
            continue;
        const double width = column.width < 0 ? DefaultWidth : column.width;
        columns += "<col min=\"" + QByteArray::number(qulonglong(number)) + "\" max=\"" +
                   QByteArray::number(qulonglong(number)) + "\" width=\"" +
                   QByteArray::number(storedWidth(width), 'g', 16) + "\"";
        if (column.style != 0)
            columns += " style=\"" + QByteArray::number(column.style) + "\"";
        if (width != DefaultWidth)
            columns += " customWidth=\"1\"";
        columns += "/>";
    }
    if (!columns.isEmpty())
        xml += "<cols>" + columns + "</cols>";
    xml += "<sheetData>";
    return xml;
}

QByteArray StreamedWorkbook::sheetTail() const {
    return "</sheetData>" + pageSetupXml(m_pageSetup) + "</worksheet>";
}

std::vector<double> StreamedWorkbook::columnWidths() const {
    std::vector<double> widths;
    for (int number = 1; number <= m_lastColumnAll; ++number) {
        const double width = size_t(number) < m_columns.size() ? m_columns[size_t(number)].width : -1;
        widths.push_back(width < 0 ? DefaultWidth : width);
    }
    return widths;
}

QByteArray StreamedWorkbook::styleSheet() const {
    QList<QPair<bool, double>> fonts = {{false, 11}};
    QList<QString> customFormats;
    QByteArray cellFormats;
    for (const CellStyle& style : m_styles) {
        const QPair<bool, double> font(style.bold, style.fontSize > 0 ? style.fontSize : 11);
        if (!fonts.contains(font))
            fonts << font;
        int format = builtInFormat(style.numberFormat);
        if (format < 0) {
            if (!customFormats.contains(style.numberFormat))
                customFormats << style.numberFormat;
            format = FirstCustomFormat + int(customFormats.indexOf(style.numberFormat));
        }
        const int fontId = int(fonts.indexOf(font));
        cellFormats += "<xf numFmtId=\"" + QByteArray::number(format) + "\" fontId=\"" +
                       QByteArray::number(fontId) + "\" fillId=\"0\" borderId=\"" +
                       QByteArray::number(style.border ? 1 : 0) + "\" xfId=\"0\"";
        if (format != 0)
            cellFormats += " applyNumberFormat=\"1\"";
        if (fontId != 0)
            cellFormats += " applyFont=\"1\"";
        if (style.border)
            cellFormats += " applyBorder=\"1\"";
        QByteArray alignment;
        if (style.align != HAlign::General)
            alignment += style.align == HAlign::Left     ? " horizontal=\"left\""
                         : style.align == HAlign::Center ? " horizontal=\"center\""
                                                         : " horizontal=\"right\"";
        if (style.valign != VAlign::Bottom && &style != &m_styles.front())
            alignment += style.valign == VAlign::Top ? " vertical=\"top\"" : " vertical=\"center\"";
        if (style.wrap)
            alignment += " wrapText=\"1\"";
        if (alignment.isEmpty())
            cellFormats += "/>";
        else
            cellFormats += " applyAlignment=\"1\"><alignment" + alignment + "/></xf>";
    }

    QByteArray xml(XmlDeclaration);
    xml += QByteArray("<styleSheet xmlns=\"") + MainNamespace + "\">";
    if (!customFormats.isEmpty()) {
        xml += "<numFmts count=\"" + QByteArray::number(customFormats.size()) + "\">";
        for (qsizetype i = 0; i < customFormats.size(); ++i)
            xml += "<numFmt numFmtId=\"" + QByteArray::number(FirstCustomFormat + i) + "\" formatCode=\"" +
                   escaped(customFormats[i]) + "\"/>";
        xml += "</numFmts>";
    }
    xml += "<fonts count=\"" + QByteArray::number(fonts.size()) + "\">";
    for (const auto& [bold, size] : fonts)
        xml += QByteArray("<font>") + (bold ? "<b/>" : "") + "<sz val=\"" + QByteArray::number(size) +
               "\"/><name val=\"Calibri\"/><family val=\"2\"/></font>";
    xml += "</fonts><fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
           "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
           "<borders count=\"2\"><border><left/><right/><top/><bottom/><diagonal/></border>"
           "<border><left style=\"thin\"><color auto=\"1\"/></left><right style=\"thin\"><color auto=\"1\"/>"
           "</right><top style=\"thin\"><color auto=\"1\"/></top><bottom style=\"thin\"><color auto=\"1\"/>"
           "</bottom><diagonal/></border></borders>"
           "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
           "borderId=\"0\"/></cellStyleXfs>";
    xml += "<cellXfs count=\"" + QByteArray::number(qsizetype(m_styles.size())) + "\">" + cellFormats +
           "</cellXfs>";
    xml += "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
           "<dxfs count=\"0\"/><tableStyles count=\"0\"/></styleSheet>";
    return xml;
}

QByteArray StreamedWorkbook::workbookPart() const {
    QByteArray xml(XmlDeclaration);
    xml += QByteArray("<workbook xmlns=\"") + MainNamespace + "\" xmlns:r=\"" + RelationshipNamespace + "\">";
    xml += "<bookViews><workbookView xWindow=\"240\" yWindow=\"15\" windowWidth=\"16095\" "
           "windowHeight=\"9660\"/></bookViews>";
    xml += "<sheets><sheet name=\"" + escaped(m_sheetName) + "\" sheetId=\"1\" r:id=\"rId1\"/></sheets>";
    xml += printTitlesXml({{m_sheetName, m_pageSetup}});
    xml += "<calcPr calcId=\"124519\" fullCalcOnLoad=\"1\"/></workbook>";
    return xml;
}

void StreamedWorkbook::save() {
    if (m_state == State::Saved)
        return;
    if (m_state == State::Failed)
        throw FileError(m_failure);
    m_state = State::Failed; // until the file is in place
    try {
        writePackage();
    } catch (const Error& error) {
        saveFailed(QStringLiteral("无法写入工作簿“%1”：%2").arg(m_path, error.text()));
    } catch (const std::exception& error) {
        saveFailed(
            QStringLiteral("无法写入工作簿“%1”：%2").arg(m_path, QString::fromLocal8Bit(error.what())));
    }
    m_body.remove();
    if (!moveIntoPlace(m_partialPath, m_path))
        saveFailed(QStringLiteral("无法写入工作簿“%1”，文件可能正被其它程序打开。").arg(m_path));
    m_state = State::Saved;
}

void StreamedWorkbook::saveFailed(const QString& text) {
    QFile::remove(m_partialPath);
    m_failure = text;
    throw FileError(text);
}

void StreamedWorkbook::writePackage() {
    if (m_rowOpen)
        m_buffer += "</row>";
    if (!m_buffer.empty())
        m_deflater->add(std::move(m_buffer));
    m_buffer = std::string();
    m_deflater->finish();
    const DeflatedSummary body = m_deflater->summary();
    m_deflater.reset();
    if (!m_body.flush() || !m_body.seek(0))
        throw FileError(m_body.errorString());

    RawDeflater deflater(6);
    const QByteArray head = sheetHead();
    const QByteArray tail = sheetTail();
    const QByteArray headDeflated = deflater.piece(head.constData(), head.size(), false);
    const QByteArray tailDeflated = deflater.piece(tail.constData(), tail.size(), true);
    DeflatedSummary sheet;
    appendToSummary(sheet, crcOf(head.constData(), head.size()), quint64(head.size()),
                    quint64(headDeflated.size()));
    appendToSummary(sheet, body.crc, body.size, body.compressedSize);
    appendToSummary(sheet, crcOf(tail.constData(), tail.size()), quint64(tail.size()),
                    quint64(tailDeflated.size()));

    ZipWriter zip(m_partialPath, m_large64);
    zip.addMember(QStringLiteral("[Content_Types].xml"),
                  QByteArray(XmlDeclaration) +
                      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                      "<Default Extension=\"rels\" "
                      "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                      "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
                      "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                      "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/"
                      "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
                      "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/"
                      "vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/></Types>");
    zip.addMember(QStringLiteral("_rels/.rels"),
                  QByteArray(XmlDeclaration) +
                      "<Relationships "
                      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                      "<Relationship Id=\"rId1\" Type=\"" +
                      RelationshipNamespace +
                      "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    zip.addMember(QStringLiteral("xl/workbook.xml"), workbookPart());
    zip.addMember(QStringLiteral("xl/_rels/workbook.xml.rels"),
                  QByteArray(XmlDeclaration) +
                      "<Relationships "
                      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                      "<Relationship Id=\"rId1\" Type=\"" +
                      RelationshipNamespace +
                      "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
                      RelationshipNamespace + "/styles\" Target=\"styles.xml\"/></Relationships>");
    zip.addMember(QStringLiteral("xl/styles.xml"), styleSheet());
    zip.beginMember(QStringLiteral("xl/worksheets/sheet1.xml"), sheet);
    zip.writeData(headDeflated);
    zip.copyData(m_body);
    zip.writeData(tailDeflated);
    zip.endMember();
    zip.finish();
}

} // namespace corvalis::workbook
