#include "CommandInstall.h"

#include "MainWindow.h"

namespace corvalis {

void installCommands(MainWindow& window) {
    // One line per subsystem.
    Q_UNUSED(window)
}

} // namespace corvalis
