#include "CompletenessCommands.h"

#include "app/ui/CommandHost.h"

namespace corvalis::summary {

void installCompletenessCommands(CommandHost& window, TdlgCompletenessForm::RosterImporter importer) {
    window.setHandler(QStringLiteral("actCompleteness"), [&window, importer] {
        TdlgCompletenessForm dialog(window.session(), window.ui(), importer, window.dialogParent());
        dialog.exec();
    });
}

} // namespace corvalis::summary
