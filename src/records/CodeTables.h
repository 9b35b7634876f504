#pragma once

#include "app/CodeList.h"

#include <QString>
#include <vector>

namespace corvalis {
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::records {

// Reads ID and Name of every row of a code table whose ID is not 0, in ascending ID order. The table
// name is one of the program's own code tables, never user text.
TMenuItemDataArray loadCodeList(engine::Connection& connection, const QString& table);

// The name of the first entry with that code; empty when there is none, which means "invalid code".
QString codeName(const TMenuItemDataArray& list, qint64 code);
// The code of the first entry whose name equals the text exactly; 0 when there is none.
qint64 codeForText(const TMenuItemDataArray& list, const QString& text);

// The combined name of a division code from CT_CityName; empty for codes of 99999 or less (without
// asking the database) and for unknown codes. A database error is shown and gives empty text.
QString divisionName(engine::Connection& connection, qint64 code, UiServices& ui);

// The name of an industry category code ("A01") from CT_UnionDomain; empty unless the code has
// exactly three characters, and for unknown codes. A database error is shown and gives empty text.
QString unionDomainName(engine::Connection& connection, const QString& code, UiServices& ui);

struct DivisionParts {
    int province = 0;
    int prefecture = 0;
    int county = 0;
};
DivisionParts splitDivisionCode(qint64 code);

struct DomainParts {
    QString letter;
    int number = 0;
};
// "A01" gives "A" and 1; a blank code gives empty text and 0.
DomainParts splitDomainCode(const QString& code);

// 32 upper-case hexadecimal digits that identify this machine.
QString machineStamp();

// The program's code tables, by name.
namespace CodeTable {
inline const QString City = QStringLiteral("CT_CityName");
inline const QString UnionDomain = QStringLiteral("CT_UnionDomain");
inline const QString Level = QStringLiteral("CT_LevelCode");
inline const QString Industry = QStringLiteral("CT_Industry");
inline const QString Economic = QStringLiteral("CT_Economic");
inline const QString Hold = QStringLiteral("CT_HoldSituation");
inline const QString HoldWithoutState = QStringLiteral("CT_HoldSituation1");
inline const QString FilingState = QStringLiteral("CT_state");
} // namespace CodeTable

} // namespace corvalis::records
