#pragma once

#include "CellStyle.h"
#include "ColumnWidths.h"
#include "PageSetup.h"
#include "SheetRows.h"

#include <QHash>
#include <QString>
#include <QTemporaryFile>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corvalis::workbook {

class ParallelDeflater;

// An xlsx file of one sheet written as its cells come, for exports of any length: rows go out in
// ascending order and cells in ascending columns within a row. The sheet is compressed on worker
// threads while the cells are produced, memory stays flat, and nothing reaches the final name before
// save(); a workbook destroyed without save() leaves no file behind.
class StreamedWorkbook {
public:
    StreamedWorkbook(const QString& path, const QString& sheetName);
    ~StreamedWorkbook();
    StreamedWorkbook(const StreamedWorkbook&) = delete;
    StreamedWorkbook& operator=(const StreamedWorkbook&) = delete;

    const QString& path() const { return m_path; }

    // Cells without a style of their own take the format of their column, as set before they are
    // written. Each throws Error for a cell outside the sheet or out of order.
    void writeText(int row, int column, const QString& text);
    void writeText(int row, int column, const QString& text, const CellStyle& style);
    void writeNumber(int row, int column, double value);
    void writeNumber(int row, int column, double value, const CellStyle& style);
    // writeNumber() of a whole number, the bulk of long exports, without the detour through
    // floating point.
    void writeInteger(int row, int column, qint64 value);
    // Takes rows gathered apart, all after the rows written so far, their cells taking their columns'
    // formats; their XML is made on the compressing threads. Leaves `rows` empty, with the storage
    // of rows taken earlier, to gather the next ones. Throws Error when they do not follow.
    void writeRows(SheetRows& rows);

    void setColumnFormat(int column, const CellStyle& style);
    void setColumnWidth(int column, double width);
    // Widens every column written so far to its longest content (a CJK character counts twice),
    // unless a width was set for it explicitly.
    void fitColumns(double minimum = 6, double maximum = 80);

    // How the sheet prints; by default portrait, unscaled, without repeated titles.
    void setPageSetup(const PageSetup& setup) { m_pageSetup = setup; }
    // The widths of the columns up to the last one written, in characters, as the file will hold them.
    std::vector<double> columnWidths() const;

    // Writes the file; throws FileError with the reason, again on every later call once it failed.
    // The file is written beside its final name and moved into place in one step, so a failed save
    // never leaves a half-written workbook nor loses the file it was to replace.
    void save();

    // Sizes from this on take the zip's 64-bit fields; only tests lower it.
    void setLarge64ForTesting(quint64 size) { m_large64 = size; }

private:
    struct Column {
        int style = 0;
        double width = -1;     // negative: the default width
        bool widthSet = false; // set explicitly, so never fitted
    };
    enum class State { Writing, Saved, Failed };
    int styleIndex(const CellStyle& style);
    Column& column(int number);
    void beginCell(int row, int column, int style);
    void append(const char* text, size_t size) { m_buffer.append(text, size); }
    template <size_t N> void append(const char (&literal)[N]) { m_buffer.append(literal, N - 1); }
    void putText(int row, int column, const QString& text, int style, bool noteWidth);
    void putNumber(int row, int column, double value, int style);
    void flushIfFull();
    void handOverBuffer();
    QByteArray sheetHead() const;
    QByteArray sheetTail() const;
    QByteArray styleSheet() const;
    QByteArray workbookPart() const;
    void writePackage();
    [[noreturn]] void saveFailed(const QString& text);

    QString m_path;
    QString m_partialPath;
    QString m_sheetName;
    QTemporaryFile m_body;
    std::unique_ptr<ParallelDeflater> m_deflater;
    std::string m_buffer;
    std::vector<std::string> m_letters;         // column letters by index, made as columns are reached
    std::vector<CellStyle> m_styles;            // by index in the file; 0 is the default
    std::vector<std::string> m_styleAttributes; // ` s="N"` by index, empty for the default
    QHash<QString, int> m_styleIndexes;
    std::vector<Column> m_columns; // by column number
    ContentWidths m_contentWidths;
    std::mutex m_rowsWidthsMutex;
    ContentWidths m_rowsWidths;         // of the rows given to writeRows(), noted on the compressing threads
    std::vector<SheetRows> m_spareRows; // taken rows whose XML has been made; under m_rowsWidthsMutex
    int m_row = 0;                      // the last row begun; 0 before the first
    bool m_rowOpen = false;             // whether cells may still follow in m_row
    std::string m_rowText;              // its number as written
    int m_lastColumn = 0;               // the last column written in the open row
    int m_firstRow = 0, m_firstColumn = 0, m_lastColumnAll = 0; // the rows end at m_row
    quint64 m_large64 = 0xFFFFFFFFull;
    PageSetup m_pageSetup;
    State m_state = State::Writing;
    QString m_failure;
};

} // namespace corvalis::workbook
