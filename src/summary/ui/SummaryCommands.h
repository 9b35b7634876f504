#pragma once

namespace corvalis {
class MainWindow;
}

namespace corvalis::summary {

// Attaches 数据汇总 (actSum), 数据分组 (actGroup) and the hidden group transfer commands
// (actGroupExport, actGroupImport) to the main window.
void installSummaryCommands(MainWindow& window);

} // namespace corvalis::summary
