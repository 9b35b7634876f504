#include "CommandInstall.h"

#include "MainWindow.h"
#include "summary/ui/SummaryCommands.h"

namespace corvalis {

void installCommands(MainWindow& window) {
    // One line per subsystem.
    summary::installSummaryCommands(window);
}

} // namespace corvalis
