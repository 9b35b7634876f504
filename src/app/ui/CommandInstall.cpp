#include "CommandInstall.h"

#include "MainWindow.h"
#include "checks/ui/ChecksCommands.h"

namespace corvalis {

void installCommands(MainWindow& window) {
    // One line per subsystem.
    installChecksCommands(window);
}

} // namespace corvalis
