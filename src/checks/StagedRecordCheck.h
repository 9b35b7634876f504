#pragma once

#include <QString>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::checks {

// How many filing records (c912 of 2 or less, those the bulk check examines) of a table with
// dt_data's columns break at least one built-in rule. Judges only: no state is stored.
qint64 countFailingRecords(engine::Connection& connection, const QString& table);

} // namespace corvalis::checks
