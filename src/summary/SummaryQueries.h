#pragma once

#include "app/UnionCode.h"

#include <QString>
#include <QVariantList>
#include <optional>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::summary {

// How the records are classed into the rows of a summary sheet (the summary dialog's radio items).
enum Classification {
    ByIndustry = 0,         // CT_Industry by c905
    ByUnitCategory = 1,     // CT_Economic by c906
    ByOrganisationType = 2, // CT_LevelCode by c904
    ByIndustryCategory = 3, // CT_UnionDomain by c907
    ByFilingState = 4,      // CT_state by c912
    ByCustomGroup = 5,      // one row per item of a custom group
    ByDivision = 6,         // c903: counties with prefecture and province subtotals above them
};
constexpr int ClassificationCount = 7;
constexpr int SummarySheetCount = 16;
constexpr int SelectListCount = 15;

bool isValidClassification(int classification);

// Title of sheet k + 1 (k: 0 to 15); sheet 1 is the cover.
QString sheetTitle(int k);
// The aggregate select list k (1 to 15), ending with "from dt_data"; sheet n uses list n - 1.
QString summarySelectList(int k);
// The result column names of select list k, in order (cnt, sum_c904_1, ...).
QStringList selectListColumns(int k);

// Caption written into the class column of every table sheet.
QString classificationCaption(int classification);
// The stem of the workbook layout a classification fills.
QString summaryTemplateStem(int classification);

// The statement of a table sheet (2 to 16) for classifications 0 to 4: column 0 the class label,
// column 1 the grouping key, then the select list; classes in descending code order.
QString classificationStatement(int sheet, int classification);
// The same for several table sheets at once: their select lists' expressions one after the other, so
// that one pass over the records serves them all. For one sheet it is the statement above.
QString classificationStatement(const std::vector<int>& sheets, int classification);
// The select list of several table sheets, ending with "from dt_data".
QString sheetsSelectList(const std::vector<int>& sheets);

// The order clause for reading a group's items: the group's orderstr reversed, "id desc" when it is
// empty or not a plain "column ASC|DESC" over view_group_item.
QString reversedItemOrder(const QString& orderstr);
QString groupItemOrder(engine::Connection& connection, qint64 groupId);
// "select * from view_group_item where groupid=?1 order by " + groupItemOrder.
QString groupItemsStatement(const QString& order);

// A comparison with c901 as view_group_item gives it ("<=123"): a symbol and a whole number.
struct CodeBound {
    QString symbol;
    UnionCode value = 0;
};
// Reads a LowValue or HighValue text; nothing when it is not a comparison symbol followed by a
// whole number, so that no stored text becomes part of a statement.
std::optional<CodeBound> parseCodeBound(const QString& text);

struct BoundStatement {
    QString sql;
    QVariantList params;
};
// The statement of one group item (position from 1) on a table sheet: ItemName, sid, select list,
// restricted to the item's code range. The title and the codes are bound; raises Error when a bound
// is not a comparison.
BoundStatement groupItemStatement(int sheet, const QString& title, int position, const QString& lowValue,
                                  const QString& highValue);
BoundStatement groupItemStatement(const std::vector<int>& sheets, const QString& title, int position,
                                  const QString& lowValue, const QString& highValue);

// The same statement with every sum() as widesum(), which goes over to floating point where the
// engine's sum stops with "integer overflow"; for a summary run again after that error.
QString withWideSums(const QString& sql);
// Whether an engine error is the overflow of sum().
bool isSumOverflow(const QString& engineText);

} // namespace corvalis::summary
