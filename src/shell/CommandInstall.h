#pragma once

namespace corvalis {

class MainWindow;

// Attaches the commands of every subsystem to the main window. Each subsystem offers one function
// in its ui/ folder (installXxxCommands) that sets the handlers of its commands.
void installCommands(MainWindow& window);

} // namespace corvalis
