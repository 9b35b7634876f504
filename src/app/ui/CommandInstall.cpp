#include "CommandInstall.h"

#include "MainWindow.h"
#include "search/ui/SearchCommands.h"

namespace corvalis {

void installCommands(MainWindow& window) {
    // One line per subsystem.
    search::installSearchCommands(window);
}

} // namespace corvalis
