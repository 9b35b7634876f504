#pragma once

#include "app/ProgramFolder.h"
#include "app/UnionCode.h"
#include "app/workbook/WorkbookLayout.h"

#include <QString>
#include <optional>

namespace corvalis {
class ProgressReporter;
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::records {

// The print layout stands where the printed form's spreadsheet template stood and keeps its stem.
inline const QString PrintLayoutStem = QStringLiteral("2020打印表");
inline const QString PrintLayoutOpenFailed =
    QStringLiteral("打开汇总模版文件时发生错误，可能是没有安装MS Office或wps Office中的Excel");

// The print layout file of a program folder.
QString printLayoutPath(const ProgramFolder& folder);

// Reads the print layout; a missing or unreadable layout gives the message above and no layout.
std::optional<workbook::WorkbookLayout> loadPrintLayout(const ProgramFolder& folder, UiServices& ui);

// Fills a copy of the print layout with one record of view_data: sheet n (counting from 1) takes the
// fields whose printPageID is n, each value as text in the cell printplace. A code without a record
// leaves the cells empty. Fixed texts may name a column in braces ("{c901}"), which takes the
// record's value too, so every printed page identifies its union. Throws Error when a field names a
// column the record lacks, a sheet the layout lacks or a cell address that names no cell.
workbook::WorkbookLayout fillPrintLayout(engine::Connection& connection,
                                         const workbook::WorkbookLayout& layout, const QString& code,
                                         ProgressReporter& progress);

// Writes a filled layout as a workbook, one sheet per printed page, each fitted to one A4 page.
void writePrintWorkbook(const workbook::WorkbookLayout& filled, const QString& path);

// Where PrintRecord leaves the filled workbook of a record: the temporary folder.
QString printWorkbookPath(const QString& code);

// PrintRecord: fills the print layout with the record of that code, writes the workbook to the
// temporary folder and hands it to the desktop, where the user prints it. Failures are shown; the
// path of the workbook on success.
std::optional<QString> printRecord(engine::Connection& connection, const ProgramFolder& folder,
                                   UiServices& ui, const QString& code);

// The filled layout of a record for the preview and the PDF; failures are shown.
std::optional<workbook::WorkbookLayout> filledPrintLayout(engine::Connection& connection,
                                                          const ProgramFolder& folder, UiServices& ui,
                                                          const QString& code);

// The text form of a record code: the whole number without decimals.
QString codeText(UnionCode code);

} // namespace corvalis::records
