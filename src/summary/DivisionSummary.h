#pragma once

#include "SummaryBuilder.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <map>
#include <vector>

namespace corvalis::summary {

// Depth of a row of the summary by division, shown as the indentation of its label.
enum DivisionLevel { TotalLevel = 0, ProvinceLevel = 1, PrefectureLevel = 2, CountyLevel = 3 };

inline const QString DivisionTotalLabel = QStringLiteral("合计");
inline const QString UnknownDivisionLabel = QStringLiteral("行政区划代码无效");
// Appended to a province's or prefecture's name for the records filed at that level itself.
inline const QString OwnLevelSuffix = QStringLiteral("本级");

// The statement of several table sheets by division code: c903 twice (label and key), then the sheets'
// select lists; one row per code that records hold, in no particular order.
QString divisionStatement(const std::vector<int>& sheets);

// Division codes (CT_CityName ID) and their short names.
using DivisionNames = std::map<qint64, QString>;

// Turns the sums per division code (label: the code as text, values: the select lists' columns) into
// the rows of the sheet: the total, then every province with its subtotal, each prefecture with its
// subtotal below it and the counties below that, in code order. Records filed under a province or
// prefecture code itself get a row of their own ("本级") at the top of it; records whose code is not
// a division end in one row after the provinces. A subtotal adds the rows under it column by column;
// a percentage is worked out again from the subtotal's own counts.
std::vector<SummaryRow> rollUpDivisions(const std::vector<SummaryRow>& sumsByCode, const DivisionNames& names,
                                        const QStringList& columns);

// Adds two sums as the engine's sum() does: empty values are left out, whole numbers stay whole until
// they would overflow, then the total goes over to floating point.
QVariant addSums(const QVariant& a, const QVariant& b);

} // namespace corvalis::summary
