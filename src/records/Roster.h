#pragma once

#include "app/UnionCode.h"

#include <QString>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// The roster: the units a collecting office expects returns from. It lives in a table of its own in
// the open database, made when a roster is first stored, so databases without one stay as shipped.
inline const QString RosterTable = QStringLiteral("ct_roster");

struct RosterUnit {
    UnionCode code = 0;
    QString name;
    qint64 division = 0; // c903
    QString domain;      // c907 when the source knew it, else empty
};

bool hasRoster(engine::Connection& connection);
// The units in code order; empty when the database has no roster.
std::vector<RosterUnit> loadRoster(engine::Connection& connection);
qint64 rosterSize(engine::Connection& connection);
// Replaces the whole roster in one transaction, making the table when it is missing.
void replaceRoster(engine::Connection& connection, const std::vector<RosterUnit>& units);

// The division codes of CT_CityName, ascending, for checking codes in bulk without a query each.
std::vector<qint64> divisionCodes(engine::Connection& connection);
bool isKnownDivision(const std::vector<qint64>& codes, qint64 code);

} // namespace corvalis::records
