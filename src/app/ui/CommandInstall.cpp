#include "CommandInstall.h"

#include "MainWindow.h"
#include "records/ui/PrintCommands.h"

namespace corvalis {

void installCommands(MainWindow& window) {
    // One line per subsystem.
    installPrintCommands(window);
}

} // namespace corvalis
