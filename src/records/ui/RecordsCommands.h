#pragma once

#include "EntryFormServices.h"

namespace corvalis {
class CommandHost;

// Attaches the commands of the survey records: adding a record (actAddNew) and modifying the
// current one (actModify) in the entry form, which works with those services.
void installRecordsCommands(CommandHost& window, records::EntryFormServices services);

} // namespace corvalis
