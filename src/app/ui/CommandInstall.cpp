#include "CommandInstall.h"

#include "MainWindow.h"
#include "exchange/ui/ExchangeCommands.h"

namespace corvalis {

void installCommands(MainWindow& window) {
    // One line per subsystem.
    installExchangeCommands(window);
}

} // namespace corvalis
