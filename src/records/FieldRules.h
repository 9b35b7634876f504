#pragma once

#include <QString>
#include <vector>

namespace corvalis::records {

// A survey box switched on (its value stays) or off (its value becomes 0).
struct FieldSwitch {
    QString field;
    bool enabled = true;
};
using FieldSwitches = std::vector<FieldSwitch>;

// The survey columns from first to last of one letter ("b", 4, 9: b004 ... b009).
QStringList columnRange(const char* prefix, int first, int last);

// Whether a filing state means the union files this year (its survey tables apply).
inline bool isFiling(qint64 filingState) {
    return filingState <= 2;
}

// The organisation type rule: z001 (1 for a single grassroots union, else 0) and b004 ... b009.
// A union that does not file this year keeps its survey boxes off and at 0.
struct OrganisationTypeEffect {
    bool setsZ001 = false;
    qint64 z001 = 0;
    FieldSwitches switches;
};
OrganisationTypeEffect organisationTypeEffect(qint64 c904, qint64 c906, qint64 c912);

// The survey boxes that the unit category switches while the union files this year.
FieldSwitches unitCategorySwitches(qint64 unitCategory, qint64 c904);

// What the unit category asks of a union that files this year. The switches above, the organisation
// type rule and the record generator all follow these.
// Tables 3 to 6 and b001 ... b009: not for organisations outside enterprises (500, 701 to 704).
bool fillsEnterpriseTables(qint64 unitCategory);
// b001 and the single-union contracts b004 ... b009: neither for those nor for organs and
// institutions (401, 402).
bool answersUnionContracts(qint64 unitCategory);
// h006 ... h017 of table 3: where table 3 applies, except for 110, 401, 402 and 600.
bool answersBoardQuestions(qint64 unitCategory);

// Which holding-situation list the unit category needs.
enum class HoldList { Unchanged, Standard, WithoutState };
// What happens to c909.
enum class HoldValue { Set, Keep, KeepWhenNamed };

// The holding situation that a unit category fixes, and the reset flags afterwards.
struct HoldDecision {
    HoldList list = HoldList::Unchanged;
    bool enabled = true;
    HoldValue value = HoldValue::Keep;
    qint64 fixedValue = 0; // for HoldValue::Set
    bool resetOn140 = true;
    bool resetOn159 = true;
};
HoldDecision holdDecision(qint64 unitCategory, bool resetOn140, bool resetOn159);

// The reset flags after loading a stored record with this unit category: a stored 140 or 159
// keeps its holding situation until the category is changed.
struct ResetFlags {
    bool on140 = true;
    bool on159 = true;
};
ResetFlags resetFlagsForLoadedCategory(qint64 unitCategory);

// The exit test of c909: at most 3, and not 1 (state holding) for unit category 169.
bool holdingSituationValid(qint64 unitCategory, qint64 holdingSituation);

// The format test of an industry category text ("A01").
enum class DomainFormat { Empty, WrongLength, NotDigits, Valid };
DomainFormat domainFormat(const QString& text);
// The remembered code of a category: (letter − 64) × 100 + number.
qint64 domainSlot(const QString& text);
// The category text of a remembered code of 100 or more ("A01" for 101); empty below 100.
QString domainOfSlot(qint64 slot);

// Exit messages of the cover fields; empty when the text passes.
QString codeExitMessage(const QString& c901Text);
QString fillerExitMessage(const QString& c910Text);
QString telephoneExitMessage(const QString& c911Text);
QString unionNameExitMessage(const QString& c902Text);

// Characters the key filters of the form filler's and telephone boxes accept.
bool fillerKeyAccepted(QChar typed);
bool telephoneKeyAccepted(QChar typed);

namespace RuleText {
inline const QString DivisionInvalid = QStringLiteral("输入的行政区划代码错误，请重新输入，或用对话框选择");
inline const QString LevelInvalid =
    QStringLiteral("输入的基层工会组织类型代码不合法，请重新输入或通过列表选择");
inline const QString IndustryInvalid =
    QStringLiteral("输入的国民经济行业分类代码不合法，请重新输入或通过列表选择");
inline const QString EconomicInvalid = QStringLiteral("输入的单位类别代码不合法，请重新输入或通过列表选择");
inline const QString StateInvalid = QStringLiteral("输入的填报状态代码不合法，请重新输入或通过列表选择");
inline const QString HoldInvalid = QStringLiteral("输入的控股情况类型代码不合法，请重新输入或通过列表选择");
inline const QString DomainLength = QStringLiteral("请注意,长度应该是3");
inline const QString DomainDigits = QStringLiteral("后二位应该是数字");
inline const QString DomainInvalid = QStringLiteral("输入的单位产业类别代码不合法，请重新输入或通过列表选择");
inline const QString FillerNotChinese = QStringLiteral("填表人必须为汉字");
// Leaving c902 empty; the cover validation words its own message differently.
inline const QString NameMissing = QStringLiteral("必须输入本级工会名称");
} // namespace RuleText

} // namespace corvalis::records
