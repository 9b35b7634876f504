#include "RecordsCommands.h"

#include "SurveyDataForm.h"
#include "app/DbSession.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "app/ui/RecordList.h"

#include <QPointer>
#include <memory>

namespace corvalis {

namespace {
// The one entry form of the run, created when it is first needed.
records::TdlgSurveyDataForm& entryForm(CommandHost& window, QPointer<records::TdlgSurveyDataForm>& form) {
    if (!form)
        form = new records::TdlgSurveyDataForm(window.session(), window.settings(), window.ui(),
                                               window.fieldDictionary(), window.dialogParent());
    return *form;
}

void openEntryForm(CommandHost& window, QPointer<records::TdlgSurveyDataForm>& form,
                   records::EntryMode mode) {
    RecordList& list = window.recordList();
    const ListPosition before = list.position();
    records::TdlgSurveyDataForm& dialog = entryForm(window, form);
    dialog.openModal(mode, &list);
    // Back in the main window: the list is read again at the record that was current.
    list.requery();
    list.goTo(mode == records::EntryMode::Add ? before : list.position());
}
} // namespace

void installRecordsCommands(CommandHost& window) {
    auto form = std::make_shared<QPointer<records::TdlgSurveyDataForm>>();
    window.setHandler(QStringLiteral("actAddNew"),
                      [&window, form] { openEntryForm(window, *form, records::EntryMode::Add); });
    window.setHandler(QStringLiteral("actModify"), [&window, form] {
        if (window.recordList().isEmpty())
            return;
        openEntryForm(window, *form, records::EntryMode::Modify);
    });
}

} // namespace corvalis
