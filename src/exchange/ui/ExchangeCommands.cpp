#include "ExchangeCommands.h"

#include "ImportDialogs.h"
#include "ImportHistoryDialog.h"
#include "ImportPreviewDialog.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "exchange/DataImport.h"
#include "exchange/DatabaseSwitch.h"
#include "exchange/Maintenance.h"
#include "exchange/NetworkExport.h"
#include "exchange/RecordImport.h"
#include "exchange/ReportExport.h"

namespace corvalis {

namespace {

// After the open database changed: caption, dictionary and list from the new file.
void showNewDatabase(CommandHost& window) {
    window.updateCaption();
    window.reloadDictionary();
}

} // namespace

void installExchangeCommands(CommandHost& window, exchange::FailingRecordCounter countFailing) {
    CommandHost* w = &window;
    window.setHandler(QStringLiteral("actExport"),
                      [w] { exchange::exportReportFile(w->session(), w->ui(), w->clock()); });
    window.setHandler(QStringLiteral("actFastImport"), [w] {
        if (exchange::refreshesList(exchange::importDataFile(w->session(), w->ui())))
            w->refreshList();
    });
    window.setHandler(QStringLiteral("actBackup"), [w] {
        // The list follows the database through its closing and reopening in every case.
        try {
            exchange::backupDatabase(w->session(), w->ui());
        } catch (...) {
            w->refreshList();
            throw;
        }
        w->refreshList();
    });
    window.setHandler(QStringLiteral("itemRestore"), [w] {
        if (exchange::restoreDatabase(w->session(), w->ui()))
            w->refreshList();
    });
    window.setHandler(QStringLiteral("itemTidy"), [w] {
        exchange::tidyData(w->session().connection(), w->ui());
        w->refreshList();
    });
    window.setHandler(QStringLiteral("itemConvert"), [w] {
        exchange::convertPreviousYear(w->session().connection(), w->ui());
        w->refreshList();
    });
    window.setHandler(QStringLiteral("itemNetworkExport"),
                      [w] { exchange::exportNetworkFile(w->session(), w->ui(), w->clock()); });
    window.setHandler(QStringLiteral("itemImportCsv"), [w] {
        TdlgImportCSVForm dialog(w->session(), w->ui(), w->dialogParent());
        dialog.exec();
        w->refreshList();
    });
    window.setHandler(QStringLiteral("itemMultiImport"), [w] {
        TdlgMultiExportForm dialog(w->session(), w->ui(), w->dialogParent());
        dialog.exec();
        w->refreshList();
    });
    window.setHandler(QStringLiteral("itemImportPreview"), [w, countFailing] {
        ImportPreviewDialog dialog(w->session(), w->ui(), w->dialogParent());
        dialog.setFailingCounter(countFailing);
        dialog.setClock(w->clock());
        dialog.exec();
        if (dialog.changedDatabase())
            w->refreshList();
    });
    window.setHandler(QStringLiteral("itemImportHistory"), [w] {
        ImportHistoryDialog dialog(w->session(), w->ui(), w->dialogParent());
        dialog.exec();
        if (dialog.changedDatabase())
            w->refreshList();
    });
    window.setHandler(QStringLiteral("actImport"), [w] {
        exchange::importRecordByRecord(w->session(), w->ui(), w->settings().importPrinciple);
        w->refreshList();
    });
    window.setHandler(QStringLiteral("actOpenDB"), [w] {
        if (exchange::openOtherDatabase(w->session(), w->ui()))
            showNewDatabase(*w);
    });
    window.setHandler(QStringLiteral("actOpenDefault"), [w] {
        if (exchange::openDefaultDatabase(w->session(), w->ui()))
            showNewDatabase(*w);
    });
    window.setHandler(QStringLiteral("actLabel"), [w] {
        if (exchange::changeDatabaseLabel(w->session(), w->ui()))
            w->updateCaption();
    });
}

} // namespace corvalis
