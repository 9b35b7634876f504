#pragma once

namespace corvalis {

class CommandHost;

// Attaches the data exchange commands to the main window: exports, imports, backup and restore,
// data tidy, and switching the open database.
void installExchangeCommands(CommandHost& window);

} // namespace corvalis
