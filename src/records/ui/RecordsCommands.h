#pragma once

namespace corvalis {
class CommandHost;

// Attaches the commands of the survey records: adding a record (actAddNew) and modifying the
// current one (actModify) in the entry form.
void installRecordsCommands(CommandHost& window);

} // namespace corvalis
