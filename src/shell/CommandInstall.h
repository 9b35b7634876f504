#pragma once

#include "records/ui/EntryFormServices.h"

namespace corvalis {

class MainWindow;

// The entry form's services joined to the main window's logic checks, their error list and printing.
records::EntryFormServices entryFormServices(MainWindow& window);

// Attaches the commands of every subsystem to the main window. Each subsystem offers one function
// in its ui/ folder (installXxxCommands) that sets the handlers of its commands.
void installCommands(MainWindow& window);

} // namespace corvalis
