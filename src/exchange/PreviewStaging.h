#pragma once

#include <QString>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::exchange {

// Creates a table with the columns and declared types of the open database's dt_data (no
// constraints, no defaults), so that values keep the form they would have there.
void createStagedTable(engine::Connection& connection, const QString& table);

// Reads a text in the layout of the network version (GBK; a header naming columns of dt_data, c901
// among them; one value per column on each line, each followed by ",") into a staged table, with
// this machine's stamp in c900 as the CSV import gives it. False when the header is not acceptable;
// Error naming the line when a line is not.
bool stageCsvText(engine::Connection& connection, const QString& table, const QString& path);

} // namespace corvalis::exchange
