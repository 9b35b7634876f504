#include "CommandInstall.h"

#include "MainWindow.h"
#include "records/ui/RecordsCommands.h"

namespace corvalis {

void installCommands(MainWindow& window) {
    // One line per subsystem.
    installRecordsCommands(window);
}

} // namespace corvalis
