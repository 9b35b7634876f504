#pragma once

#include "app/FieldDictionary.h"

#include <QString>
#include <QVariantList>

namespace corvalis {
class Clock;
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::search {

// A select statement with its bound values, run afresh by each export.
struct QuerySource {
    QString sql;
    QVariantList params;
};

// SaveQueryAsExcel: asks for a file and writes the rows of the query to a workbook whose first sheet
// is named after the export: "导出日期:" and the date in row 2, the titles of the exported columns
// (QueryShow) in row 3, one record per row from row 5. Returns the written path; empty when refused,
// cancelled or failed (the user has been told).
QString saveQueryAsExcel(engine::Connection& connection, const QuerySource& query, const QString& name,
                         const TFieldDataArray& columns, UiServices& ui, const Clock& clock);

// SaveQueryAsAccess: asks for a database file (created when missing) and writes every column of the
// query into the table named after the export, replacing a table of that name and keeping the
// file's other tables, in one transaction. Returns the written path; empty when refused, cancelled
// or failed (the error and the failing statement have been shown; nothing of it stays in the file).
QString saveQueryAsAccess(engine::Connection& connection, const QuerySource& query, const QString& name,
                          UiServices& ui, const Clock& clock);

// The file name with its extension appended when it lacks it (names of up to four characters are
// kept as they are).
QString withExtension(const QString& fileName, const QString& extension);

inline const QString ExportFailureSuffix = QStringLiteral(",请与系统管理员或软件发行者联系。");
inline const QString ExcelEmptyMessage = QStringLiteral("SaveQueryAsExcel出错:数据表为空，不能导出！");
// %1 records, %2 the most a sheet holds below its head rows.
inline const QString ExcelTooManyMessage =
    QStringLiteral("查询结果共%1条记录，超过Excel工作表最多可容纳的%2条，请缩小查询范围后再导出。");
inline const QString AccessEmptyMessage = QStringLiteral("SaveQueryAsAccess:：出错:数据表为空，不能导出！");
inline const QString ExportProgressCaption = QStringLiteral("数据导出...");

} // namespace corvalis::search
