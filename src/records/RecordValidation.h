#pragma once

#include "CodeTables.h"
#include "app/UnionCode.h"

#include <QString>
#include <functional>
#include <optional>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// Whether the entry form edits a new record or a stored one.
enum class EntryMode { Add, Modify };

// What the cover page of the entry form holds, as the validation reads it: texts as typed and the
// integer values of the numeric boxes (blank boxes already counted as their blank value).
struct CoverValues {
    QString c901Text;
    QString c902;
    qint64 c903 = 0;
    qint64 c904 = 0;
    qint64 c905 = 0;
    qint64 c906 = 0;
    qint64 c912 = 0;
    QString holdName; // the holding-situation name shown beside c909
    QString c910;
    QString c911;
    QString c907;
};

// Where the validation looks codes up. The lists are the entry form's; the functions reach the
// open database (tests give their own).
struct ValidationLookups {
    const TMenuItemDataArray* levels = nullptr;
    const TMenuItemDataArray* industries = nullptr;
    const TMenuItemDataArray* economics = nullptr;
    const TMenuItemDataArray* states = nullptr;
    std::function<QString(qint64 division)> divisionName;
    std::function<QString(const QString& domain)> unionDomainName;
    std::function<qint64(UnionCode code)> recordsWithCode;
};

// The first failing test of the cover page: the message, the control that gets the focus, and
// whether it was a duplicate code (which also disables the save buttons and shows the cover page).
struct ValidationFailure {
    QString message;
    QString focusField;
    bool duplicateCode = false;
};

// The tests that guard every write of the entry form, in their fixed order; empty when all pass.
// currentCode is the stored c901 of the record being edited (0 for a new record not yet written).
std::optional<ValidationFailure> validateRecord(const CoverValues& values, EntryMode mode,
                                                UnionCode currentCode, const ValidationLookups& lookups);

// The telephone format: with "-" 11 to 13 GBK bytes, otherwise 7, 8, 11 or 12.
bool telephoneFormatValid(const QString& telephone);

// The number of records of dt_data with that code.
qint64 countRecordsWithCode(engine::Connection& connection, UnionCode code);

// Unit categories whose holding situation must be filled in.
bool holdingSituationRequired(qint64 unitCategory);

namespace ValidationText {
inline const QString CodeMissing = QStringLiteral("必须输入基层工会统计编码");
inline const QString CodeTooShort = QStringLiteral("本级工会编码必须大于100000000000且必须为12位!");
inline const QString NameMissing = QStringLiteral("必须输入基层工会名称");
inline const QString DivisionInvalid = QStringLiteral("输入的行政区划代码错误，请重新输入，或用对话框选择");
inline const QString LevelInvalid = QStringLiteral("输入的工会组织类型代码不合法，请重新输入或通过列表选择");
inline const QString IndustryInvalid =
    QStringLiteral("输入的国民经济行业分类代码不合法，请重新输入或通过列表选择");
inline const QString EconomicInvalid =
    QStringLiteral("输入的基层工会所在单位（或单位主体）的单位类别代码不合法，请重新输入或通过列表选择");
inline const QString StateInvalid =
    QStringLiteral("输入的基层工会本年度的填报状态代码不合法，请重新输入或通过列表选择");
inline const QString HoldMissing = QStringLiteral("必须填写控股情况");
inline const QString FillerMissing = QStringLiteral("必须输入填表人");
inline const QString TelephoneMissing = QStringLiteral("必须输入联系电话");
inline const QString TelephoneInvalid = QStringLiteral("联系电话必须是真实有效的7位、8位(可加区号)或11位!");
inline const QString DomainInvalid = QStringLiteral("输入的单位产业类别代码不合法，请重新输入或通过列表选择");
} // namespace ValidationText

} // namespace corvalis::records
