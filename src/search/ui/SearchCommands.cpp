#include "SearchCommands.h"

#include "DataSearchForm.h"
#include "DeleteForm.h"
#include "LocateForm.h"
#include "QueryListForm.h"
#include "SaveListForm.h"
#include "SearchForm.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "app/ui/RecordList.h"
#include "records/ui/RecordsCommands.h"

namespace corvalis::search {

void installSearchCommands(CommandHost& window) {
    window.setHandler(QStringLiteral("actConditionSearch"), [&window] {
        DataSearchForm form(window);
        form.exec();
    });
    window.setHandler(QStringLiteral("actLocate"), [&window] {
        LocateForm form(window);
        form.exec();
    });
    window.setHandler(QStringLiteral("actSearch"), [&window] {
        SearchForm form(window);
        form.exec();
    });
    window.setHandler(QStringLiteral("actDelete"), [&window] {
        DeleteForm form(window);
        form.exec();
    });
    window.setHandler(QStringLiteral("actSaveList"), [&window] {
        SaveListForm form(window);
        form.exec();
    });
}

bool showQueryList(CommandHost& window, const Condition& condition, const ListPresenter& present) {
    auto form =
        std::make_unique<QueryListForm>(window.session(), window.ui(), window.clock(), window.dialogParent());
    // The entry form walks the result the user edits from, not the whole main list.
    RecordList& result = form->list();
    form->setEditHandler([&window, &result](UnionCode) { editInEntryForm(window, result); });
    try {
        form->runQuery(condition);
    } catch (const Error& error) {
        showRunError(window.ui(), error.text());
        return false;
    }
    if (present)
        present(*form);
    else
        form->exec();
    form.reset();
    // The list may have changed under the result list; a failure here only leaves it where it is.
    try {
        window.refreshList();
    } catch (const Error&) {
    }
    return true;
}

void editRecord(CommandHost& window, UnionCode code) {
    RecordList& list = window.recordList();
    int row = list.model().rowOfKey(QVariant(code));
    if (row < 0) {
        // The record may have come in after the main list was last read.
        list.refreshKeepingPosition();
        row = list.model().rowOfKey(QVariant(code));
    }
    if (row < 0)
        return;
    list.setCurrentRow(row);
    window.runCommand(QStringLiteral("actModify"));
}

} // namespace corvalis::search
