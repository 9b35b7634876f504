#include "SummaryCommands.h"

#include "GroupListDialog.h"
#include "SumDialog.h"
#include "app/ui/MainWindow.h"
#include "summary/GroupTransfer.h"

namespace corvalis::summary {

void installSummaryCommands(MainWindow& window) {
    window.setHandler(QStringLiteral("actSum"), [&window] {
        TdlgSumForm dialog(window.session(), window.ui(), window.clock(), window.dialogParent());
        dialog.exec();
    });
    window.setHandler(QStringLiteral("actGroup"), [&window] {
        TdlgGroupListForm dialog(window.session(), window.ui(), window.groupTableList(),
                                 window.dialogParent());
        dialog.exec();
    });
    window.setHandler(QStringLiteral("actGroupExport"), [&window] {
        exportGroupTables(window.programFolder().defaultDatabase(), window.groupTableList(), window.ui());
    });
    window.setHandler(QStringLiteral("actGroupImport"), [&window] {
        importGroupTables(window.session().connection(), window.groupTableList(), window.ui());
    });
}

} // namespace corvalis::summary
