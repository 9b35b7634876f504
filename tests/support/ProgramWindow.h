#pragma once

// The whole program as its composition root builds it, for the tests and benchmarks that drive the
// main window: the window with every subsystem's commands attached.

#include "shell/CommandInstall.h"
#include "shell/MainWindow.h"

#include <memory>

namespace corvalis {

inline std::unique_ptr<MainWindow> makeProgramWindow(const ProgramFolder& folder,
                                                     const StartOptions& options = StartOptions()) {
    auto window = std::make_unique<MainWindow>(folder, options);
    installCommands(*window);
    return window;
}

} // namespace corvalis
