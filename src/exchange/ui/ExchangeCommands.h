#pragma once

#include "exchange/ImportPreview.h"

namespace corvalis {

class CommandHost;

// Attaches the data exchange commands to the main window: exports, imports, backup and restore,
// data tidy, and switching the open database.
// countFailing counts the incoming records that fail the built-in check in the import preview (the
// checks subsystem's counter, which the shell hands in).
void installExchangeCommands(CommandHost& window, exchange::FailingRecordCounter countFailing = {});

} // namespace corvalis
