#include "CommandInstall.h"

#include "MainWindow.h"
#include "checks/StagedRecordCheck.h"
#include "checks/ui/ChecksCommands.h"
#include "checks/ui/MessageListWindow.h"
#include "exchange/RosterImport.h"
#include "exchange/ui/ExchangeCommands.h"
#include "records/ui/PrintCommands.h"
#include "records/ui/RecordsCommands.h"
#include "search/ui/SearchCommands.h"
#include "summary/ui/CompletenessCommands.h"
#include "summary/ui/SummaryCommands.h"

namespace corvalis {

// The entry form knows the logic checks and printing only through its services; this joins them.
records::EntryFormServices entryFormServices(MainWindow& window) {
    records::EntryFormServices services;
    installPageLogicCheck(window, [&services](PageLogicCheck check) {
        services.pageCheck = [check](const records::PageCheckRequest& request) {
            check(request.form, request.page, request.clearFirst, request.valueOf, request.focusField);
        };
    });
    // The list is looked up on each use: it belongs to the entry form it is attached to.
    records::LogicListHooks& hooks = services.logicList;
    hooks.attach = [&window](QWidget* form) { logicMessageList(window).attachTo(form); };
    // Clearing hides the window too, except while a double-click on it is being handled.
    hooks.clear = [&window] { logicMessageList(window).clearMessages(); };
    hooks.isEmpty = [&window] { return logicMessageList(window).messagesEmpty(); };
    hooks.show = [&window] { logicMessageList(window).showList(); };
    hooks.hide = [&window] { logicMessageList(window).hide(); };
    hooks.navigating = [&window] { return logicMessageList(window).navigating(); };
    services.print = [&window](QWidget*, UnionCode code) { printRecordOf(window, code); };
    services.printPreview = [&window](QWidget*, UnionCode code) { showRecordPrintPreview(window, code); };
    return services;
}

void installCommands(MainWindow& window) {
    // One line per subsystem.
    installRecordsCommands(window, entryFormServices(window));
    installChecksCommands(window);
    installExchangeCommands(window, checks::countFailingRecords);
    installPrintCommands(window);
    search::installSearchCommands(window);
    summary::installSummaryCommands(window);
    summary::installCompletenessCommands(window, [&window](const QString& path) {
        return exchange::importRoster(window.session().connection(), path);
    });
}

} // namespace corvalis
