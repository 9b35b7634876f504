#include "CommandInstall.h"

#include "MainWindow.h"
#include "checks/ui/ChecksCommands.h"
#include "checks/ui/MessageListWindow.h"
#include "exchange/ui/ExchangeCommands.h"
#include "records/ui/EntryFormHooks.h"
#include "records/ui/PrintCommands.h"
#include "records/ui/RecordsCommands.h"
#include "search/ui/SearchCommands.h"
#include "summary/ui/SummaryCommands.h"

namespace corvalis {

namespace {

// The entry form knows the logic checks only through its hooks; this joins the two.
void connectEntryFormToLogicChecks(MainWindow& window) {
    installPageLogicCheck(window, [](PageLogicCheck check) {
        records::setPageLogicCheck([check](const records::PageCheckRequest& request) {
            check(request.form, request.page, request.clearFirst, request.valueOf, request.focusField);
        });
    });
    checks::TMessageListWinForm* list = &logicMessageList(window);
    records::LogicListHooks hooks;
    hooks.clear = [list] {
        list->clearMessages();
        list->hide();
    };
    hooks.isEmpty = [list] { return list->messagesEmpty(); };
    hooks.show = [list] { list->showList(); };
    hooks.hide = [list] { list->hide(); };
    hooks.navigating = [list] { return list->navigating(); };
    records::setLogicListHooks(std::move(hooks));
}

} // namespace

void installCommands(MainWindow& window) {
    // One line per subsystem.
    installRecordsCommands(window);
    installChecksCommands(window);
    connectEntryFormToLogicChecks(window);
    installExchangeCommands(window);
    installPrintCommands(window);
    records::setPrintHook(&printRecordFromForm);
    records::setPrintPreviewHook(&previewRecordFromForm);
    search::installSearchCommands(window);
    summary::installSummaryCommands(window);
}

} // namespace corvalis
