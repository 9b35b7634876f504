#include "Workbook.h"

#include "app/Errors.h"
#include "app/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <xlsxwriter.h>

namespace corvalis::workbook {

namespace {

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

uint8_t horizontal(HAlign align) {
    switch (align) {
    case HAlign::Left:
        return LXW_ALIGN_LEFT;
    case HAlign::Center:
        return LXW_ALIGN_CENTER;
    case HAlign::Right:
        return LXW_ALIGN_RIGHT;
    case HAlign::General:
        break;
    }
    return LXW_ALIGN_NONE;
}

uint8_t vertical(VAlign align) {
    switch (align) {
    case VAlign::Top:
        return LXW_ALIGN_VERTICAL_TOP;
    case VAlign::Center:
        return LXW_ALIGN_VERTICAL_CENTER;
    case VAlign::Bottom:
        break;
    }
    return LXW_ALIGN_VERTICAL_BOTTOM;
}

void check(lxw_error error, const QString& what) {
    if (error != LXW_NO_ERROR)
        throw Error(QStringLiteral("%1：%2").arg(what, QString::fromUtf8(lxw_strerror(error))));
}

// The message is put together only when a cell could not be written, never for the cells that were.
[[noreturn]] void cellFailed(lxw_error error, int row, int column) {
    throw Error(QStringLiteral("写入单元格%1：%2")
                    .arg(cellAddress(row, column), QString::fromUtf8(lxw_strerror(error))));
}

lxw_row_t rowIndex(int row) {
    return lxw_row_t(checkedRowIndex(row));
}

lxw_col_t columnIndex(int column) {
    return lxw_col_t(checkedColumnIndex(column));
}

} // namespace

QString CellStyle::key() const {
    QString key = QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                      .arg(int(bold))
                      .arg(fontSize)
                      .arg(int(align))
                      .arg(int(valign))
                      .arg(int(border))
                      .arg(int(wrap))
                      .arg(numberFormat);
    if (indent > 0)
        key += QStringLiteral("|%1").arg(indent);
    return key;
}

Sheet::Sheet(Workbook& owner, lxw_worksheet* sheet, const QString& name)
    : m_owner(owner), m_sheet(sheet), m_name(name) {}

void Sheet::noteRow(int row) {
    m_lastRow = std::max(m_lastRow, row);
}

void Sheet::putText(int row, int column, const QString& text, lxw_format* format, bool noteItsWidth) {
    // UTF-8 takes at most three bytes for each UTF-16 unit.
    const qsizetype room = text.size() * 3 + 1;
    if (m_textBytes.size() < room)
        m_textBytes.resize(room);
    QStringEncoder encoder(QStringEncoder::Utf8);
    char* end = encoder.appendToBuffer(m_textBytes.data(), text);
    *end = '\0';
    const lxw_error error =
        worksheet_write_string(m_sheet, rowIndex(row), columnIndex(column), m_textBytes.constData(), format);
    if (error != LXW_NO_ERROR)
        cellFailed(error, row, column);
    if (noteItsWidth)
        m_contentWidths.noteText(column, text);
    noteRow(row);
}

void Sheet::putNumber(int row, int column, double value, lxw_format* format) {
    const lxw_error error =
        worksheet_write_number(m_sheet, rowIndex(row), columnIndex(column), value, format);
    if (error != LXW_NO_ERROR)
        cellFailed(error, row, column);
    m_contentWidths.noteNumber(column, value);
    noteRow(row);
}

void Sheet::writeText(int row, int column, const QString& text, const CellStyle& style) {
    putText(row, column, text, m_owner.format(style), !style.wrap);
}

void Sheet::writeText(int row, int column, const QString& text) {
    putText(row, column, text, nullptr, true);
}

void Sheet::writeText(const QString& address, const QString& text, const CellStyle& style) {
    const auto position = parseCellAddress(address);
    if (!position)
        throw Error(QStringLiteral("“%1”不是有效的单元格地址。").arg(address));
    writeText(position->row, position->column, text, style);
}

void Sheet::writeNumber(int row, int column, double value, const CellStyle& style) {
    putNumber(row, column, value, m_owner.format(style));
}

void Sheet::writeNumber(int row, int column, double value) {
    putNumber(row, column, value, nullptr);
}

void Sheet::writeBlank(int row, int column, const CellStyle& style) {
    const lxw_error error =
        worksheet_write_blank(m_sheet, rowIndex(row), columnIndex(column), m_owner.format(style));
    if (error != LXW_NO_ERROR)
        cellFailed(error, row, column);
    noteRow(row);
}

void Sheet::merge(const CellRange& range, const QString& text, const CellStyle& style) {
    if (range.first == range.last) {
        writeText(range.first.row, range.first.column, text, style);
        return;
    }
    const QByteArray bytes = utf8(text);
    lxw_format* format = m_owner.format(style);
    check(worksheet_merge_range(m_sheet, rowIndex(range.first.row), columnIndex(range.first.column),
                                rowIndex(range.last.row), columnIndex(range.last.column), bytes.constData(),
                                format),
          QStringLiteral("合并单元格%1").arg(cellAddress(range.first.row, range.first.column)));
    noteRow(range.last.row);
}

void Sheet::setColumnWidth(int column, double width) {
    m_setWidths[column] = width;
    check(worksheet_set_column(m_sheet, columnIndex(column), columnIndex(column), width,
                               m_columnFormats.value(column)),
          QStringLiteral("设置列宽"));
}

void Sheet::setColumnFormat(int column, const CellStyle& style) {
    lxw_format* format = m_owner.format(style);
    m_columnFormats[column] = format;
    const double width = m_setWidths.value(column, LXW_DEF_COL_WIDTH);
    check(worksheet_set_column(m_sheet, columnIndex(column), columnIndex(column), width, format),
          QStringLiteral("设置列格式"));
}

void Sheet::setRowHeight(int row, double height) {
    check(worksheet_set_row(m_sheet, rowIndex(row), height, nullptr), QStringLiteral("设置行高"));
}

void Sheet::setLandscape() {
    worksheet_set_landscape(m_sheet);
}

void Sheet::fitToPage(int wide, int tall) {
    worksheet_fit_to_pages(m_sheet, uint16_t(wide), uint16_t(tall));
    worksheet_center_horizontally(m_sheet);
}

void Sheet::applyPageSetup(const PageSetup& setup) {
    if (setup.landscape)
        worksheet_set_landscape(m_sheet);
    else
        worksheet_set_portrait(m_sheet);
    if (setup.scaled())
        worksheet_fit_to_pages(m_sheet, uint16_t(setup.fitWide), uint16_t(setup.fitTall));
    worksheet_center_horizontally(m_sheet);
    // The writer names the repeated rows and columns in the workbook's _xlnm.Print_Titles.
    if (setup.titleLastRow > 0)
        check(worksheet_repeat_rows(m_sheet, rowIndex(setup.titleFirstRow), rowIndex(setup.titleLastRow)),
              QStringLiteral("设置打印标题行"));
    if (setup.titleColumns > 0)
        check(worksheet_repeat_columns(m_sheet, 0, columnIndex(setup.titleColumns)),
              QStringLiteral("设置打印标题列"));
}

void Sheet::fitColumns(double minimum, double maximum) {
    for (int column = 1; column < m_contentWidths.columnCount(); ++column) {
        const std::optional<double> width = m_contentWidths.fitted(column, minimum, maximum);
        if (!width || m_setWidths.contains(column))
            continue;
        check(worksheet_set_column(m_sheet, columnIndex(column), columnIndex(column), *width,
                                   m_columnFormats.value(column)),
              QStringLiteral("设置列宽"));
    }
}

Workbook::Workbook(const QString& path) : m_path(QFileInfo(path).absoluteFilePath()) {
    m_partialPath = m_path + QStringLiteral(".partial");
    QFile::remove(m_partialPath);
    const QByteArray file = QFile::encodeName(m_partialPath);
    const QByteArray temporary = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options{};
    options.tmpdir = const_cast<char*>(temporary.constData());
    options.use_zip64 = LXW_TRUE;
    m_book = workbook_new_opt(file.constData(), &options);
    if (!m_book)
        throw FileError(QStringLiteral("无法创建工作簿“%1”。").arg(m_path));
}

Workbook::~Workbook() {
    if (m_book && !m_saved) {
        // libxlsxwriter frees a workbook only by writing it: write the partial file and drop it.
        workbook_close(m_book);
        QFile::remove(m_partialPath);
    }
}

Sheet& Workbook::addSheet(const QString& name) {
    const QByteArray bytes = utf8(name);
    check(workbook_validate_sheet_name(m_book, bytes.constData()), QStringLiteral("工作表名“%1”").arg(name));
    lxw_worksheet* sheet = workbook_add_worksheet(m_book, bytes.constData());
    if (!sheet)
        throw Error(QStringLiteral("无法添加工作表“%1”。").arg(name));
    worksheet_set_paper(sheet, 9); // A4
    m_sheets.push_back(std::unique_ptr<Sheet>(new Sheet(*this, sheet, name)));
    return *m_sheets.back();
}

Sheet& Workbook::addSheet(const SheetLayout& layout) {
    Sheet& target = addSheet(layout.name);
    for (const auto& [column, width] : layout.columnWidths)
        target.setColumnWidth(column, width);
    for (const auto& [row, height] : layout.rowHeights)
        target.setRowHeight(row, height);
    if (layout.landscape)
        target.setLandscape();
    for (const LayoutCell& cell : layout.cells) {
        CellStyle style = cell.style;
        if (style.fontSize == 0)
            style.fontSize = layout.defaultFontSize;
        target.merge(cell.range, cell.text, style);
    }
    return target;
}

lxw_format* Workbook::format(const CellStyle& style) {
    if (style == CellStyle())
        return nullptr;
    const QString key = style.key();
    if (lxw_format* known = m_formats.value(key))
        return known;
    lxw_format* created = workbook_add_format(m_book);
    if (style.bold)
        format_set_bold(created);
    if (style.fontSize > 0)
        format_set_font_size(created, style.fontSize);
    if (style.align != HAlign::General)
        format_set_align(created, horizontal(style.align));
    format_set_align(created, vertical(style.valign));
    if (style.border)
        format_set_border(created, LXW_BORDER_THIN);
    if (style.wrap)
        format_set_text_wrap(created);
    if (!style.numberFormat.isEmpty()) {
        const QByteArray bytes = utf8(style.numberFormat);
        format_set_num_format(created, bytes.constData());
    }
    if (style.indent > 0)
        format_set_indent(created, uint8_t(style.indent));
    m_formats.insert(key, created);
    return created;
}

void Workbook::save() {
    if (m_saved)
        return;
    if (m_sheets.empty())
        addSheet(QStringLiteral("Sheet1"));
    m_saved = true;
    const lxw_error error = workbook_close(m_book);
    m_book = nullptr;
    if (error != LXW_NO_ERROR) {
        QFile::remove(m_partialPath);
        throw FileError(
            QStringLiteral("无法写入工作簿“%1”：%2").arg(m_path, QString::fromUtf8(lxw_strerror(error))));
    }
    if (!moveIntoPlace(m_partialPath, m_path)) {
        throw FileError(QStringLiteral("无法写入工作簿“%1”，文件可能正被其它程序打开。").arg(m_path));
    }
}

} // namespace corvalis::workbook
