#pragma once

#include "SummaryQueries.h"

#include "app/workbook/WorkbookLayout.h"

#include <QString>
#include <QVariant>
#include <map>
#include <memory>
#include <vector>

namespace corvalis {
class Clock;
class ProgramFolder;
class UiServices;
namespace engine {
class Connection;
}
namespace workbook {
class Sheet;
class Workbook;
} // namespace workbook
} // namespace corvalis

namespace corvalis::summary {

// What to summarise: the classification, the group for classification 5, and the sheets (1 to 16).
struct SummaryRequest {
    int classification = ByIndustry;
    qint64 groupId = 0;
    std::vector<int> sheets;
};

// The rows of one table sheet in the order they stand on the sheet: label, then the values of the
// sheet's select list (null for a class without records).
struct SummaryRow {
    QString label;
    std::vector<QVariant> values;
    int level = 0; // indentation of the label: the depth of the row in the summary by division
};

enum class SheetChoice { Nothing, OnlyCover, Usable };
// Nothing ticked, only the cover ticked, or at least one table sheet.
SheetChoice checkSheetChoice(const std::vector<int>& sheets);

inline const QString OnlyCoverMessage = QStringLiteral("除去封面，请至少选择一个表格进行汇总");
inline const QString TemplateErrorMessage =
    QStringLiteral("打开汇总模版文件时发生错误，可能是没有安装MS Office或者WPS Office中的Excel");

// Reads the rows of a table sheet (2 to 16): the classes of classifications 0 to 4 in ascending
// code order, or the items of a custom group in the group's own order.
std::vector<SummaryRow> summaryRows(engine::Connection& connection, int sheet, int classification,
                                    qint64 groupId);
// The rows of several table sheets read in one pass: each row's values are the sheets' values one
// after the other, in the order of the sheets.
std::vector<SummaryRow> summaryRows(engine::Connection& connection, const std::vector<int>& sheets,
                                    int classification, qint64 groupId);
// Cuts rows of several sheets into the rows of each sheet.
std::map<int, std::vector<SummaryRow>> splitBySheet(const std::vector<SummaryRow>& rows,
                                                    const std::vector<int>& sheets);

// A name in the temporary folder for a summary workbook made now.
QString temporarySummaryPath(const QString& stem, const Clock& clock);

// Fills the summary workbook (SummaryBuilder): the layout of the classification, every chosen sheet
// in order (unchosen sheets are left out), one row per class from row 9. The two-bar progress window
// counts sheets and cells.
class SummaryBuilder {
public:
    SummaryBuilder(engine::Connection& connection, const ProgramFolder& folder, UiServices& ui);
    ~SummaryBuilder();

    // Writes the workbook to the path. False, after telling the user why, when no workbook was
    // written (no table sheet chosen, no layout, an engine or file error).
    bool build(const SummaryRequest& request, const QString& outputPath);

    // The steps of build: PrepareSummary reads the classification's layout and starts the workbook
    // (false, after the message, when the layout is missing or not a 16-sheet summary layout);
    // FillSummarySheet adds a sheet (1 to 16) and fills it unless it is the cover; FinishSummary
    // writes the file. Engine and file errors are raised.
    bool prepareSummary(int classification, const QString& outputPath);
    void fillSummarySheet(int sheet, int classification, qint64 groupId);
    void finishSummary();
    // Reads the rows of several table sheets in one pass over the records; fillSummarySheet then
    // takes them from there instead of reading each sheet on its own.
    void gatherRows(const std::vector<int>& sheets, int classification, qint64 groupId);

    // The sheets of the last workbook in order, with the number of class rows each table sheet got.
    struct WrittenSheet {
        QString name;
        int rows = 0;
    };
    const std::vector<WrittenSheet>& writtenSheets() const { return m_written; }

private:
    // gatherRows with the windows kept painted while the statements run.
    void readRowsResponsively(const std::vector<int>& sheets, int classification, qint64 groupId);
    // Fills a table sheet; the width it gave column A, in characters.
    double fillSheet(workbook::Sheet& sheet, const workbook::SheetLayout& layout, int sheetNumber,
                     int classification, qint64 groupId);

    engine::Connection& m_connection;
    const ProgramFolder& m_folder;
    UiServices& m_ui;
    workbook::WorkbookLayout m_layout;
    std::unique_ptr<workbook::Workbook> m_book;
    std::map<int, std::vector<SummaryRow>> m_gathered;
    std::pair<int, qint64> m_gatheredFor{-1, 0};
    std::vector<WrittenSheet> m_written;
};

} // namespace corvalis::summary
