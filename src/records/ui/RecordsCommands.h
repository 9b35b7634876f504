#pragma once

#include "EntryFormServices.h"

namespace corvalis {
class CommandHost;
class RecordList;

// Attaches the commands of the survey records: adding a record (actAddNew) and modifying the
// current one (actModify) in the entry form, which works with those services.
void installRecordsCommands(CommandHost& window, records::EntryFormServices services);

// Opens the entry form in modify mode on the current record of another list (a query result), whose
// records the form then walks. Does nothing when the list is empty.
void editInEntryForm(CommandHost& window, RecordList& list);

} // namespace corvalis
