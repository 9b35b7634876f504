#pragma once

#include "EntryFormServices.h"

#include <QString>
#include <QVariant>
#include <functional>

namespace corvalis {
class CommandHost;
class RecordList;

// Attaches the commands of the survey records: adding a record (actAddNew) and modifying the
// current one (actModify) in the entry form, which works with those services.
void installRecordsCommands(CommandHost& window, records::EntryFormServices services);

// Opens the entry form in modify mode on the current record of another list (a query result), whose
// records the form then walks. Does nothing when the list is empty.
void editInEntryForm(CommandHost& window, RecordList& list);

// Where the entry form opens a record: a page (0 the cover) and the box that takes the focus.
struct EntryFormPlace {
    int page = 0;
    QString field;
};
using RecordWrittenHandler = std::function<void(const QVariant& previousCode, UnionCode code)>;

// The same, opening on a page with the focus in a box; onWritten hears of every record the form
// writes while it is open (its code before, none for a record added, and its code now).
void editInEntryForm(CommandHost& window, RecordList& list, const EntryFormPlace& place,
                     const RecordWrittenHandler& onWritten);

} // namespace corvalis
