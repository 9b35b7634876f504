#pragma once

#include "app/Errors.h"
#include "records/Roster.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::exchange {

// Why a roster was refused: one line per fault, each naming its line of the file (or the unit's
// code, for a database, which has no lines).
class RosterRefused : public Error {
public:
    explicit RosterRefused(const QStringList& faults) : Error(messageFor(faults)), m_faults(faults) {}
    const QStringList& faults() const { return m_faults; }

private:
    // A heading and the first faults.
    static QString messageFor(const QStringList& faults);
    QStringList m_faults;
};

// The CSV header a roster file must start with.
inline const QString RosterCsvHeader = QStringLiteral("c901,c902,c903");

// Reads a roster CSV (UTF-8 or GBK; header c901,c902,c903). Division codes are checked against the
// sorted codes given. Raises RosterRefused listing every faulty line.
std::vector<records::RosterUnit> parseRosterCsv(const QByteArray& bytes,
                                                const std::vector<qint64>& divisions);

// Reads the roster from a file: last year's database or a data file (its dt_data's codes, names,
// divisions and industry categories), or a CSV. Nothing in the open database changes. Raises
// RosterRefused for faulty content and Error when the file cannot be read.
std::vector<records::RosterUnit> readRosterFile(engine::Connection& connection, const QString& path);

// Reads the roster from the file and replaces the stored one with it; returns the number of units.
qint64 importRoster(engine::Connection& connection, const QString& path);

} // namespace corvalis::exchange
