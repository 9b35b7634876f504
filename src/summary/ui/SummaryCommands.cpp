#include "SummaryCommands.h"

#include "GroupListDialog.h"
#include "SumDialog.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "summary/GroupTransfer.h"

namespace corvalis::summary {

void installSummaryCommands(CommandHost& window) {
    window.setHandler(QStringLiteral("actSum"), [&window] {
        TdlgSumForm dialog(window.session(), window.ui(), window.clock(), window.dialogParent());
        dialog.exec();
    });
    window.setHandler(QStringLiteral("actGroup"), [&window] {
        TdlgGroupListForm dialog(window.session(), window.ui(), groupTableList(), window.dialogParent());
        dialog.exec();
    });
    window.setHandler(QStringLiteral("actGroupExport"), [&window] {
        exportGroupTables(window.session().programFolder().defaultDatabase(), groupTableList(), window.ui());
    });
    window.setHandler(QStringLiteral("actGroupImport"), [&window] {
        importGroupTables(window.session().connection(), groupTableList(), window.ui());
    });
}

} // namespace corvalis::summary
