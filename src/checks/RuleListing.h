#pragma once

#include <QString>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::checks {

// "导出逻辑.txt" in the user's documents folder.
QString ruleListingPath();

// Writes every rule of dt_logic, page by page in the order of ct_sheetName, three lines each, in the
// shape of a rule of the built-in set. Values are written as stored. Raises FileError or EngineError.
void writeRuleListing(engine::Connection& connection, const QString& path);

} // namespace corvalis::checks
