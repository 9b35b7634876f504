#pragma once

namespace corvalis {
class CommandHost;
}

namespace corvalis::summary {

// Attaches 数据汇总 (actSum), 数据分组 (actGroup) and the hidden group transfer commands
// (actGroupExport, actGroupImport) to the main window.
void installSummaryCommands(CommandHost& window);

} // namespace corvalis::summary
