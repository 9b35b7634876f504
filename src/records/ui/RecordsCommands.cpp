#include "RecordsCommands.h"

#include "SurveyDataForm.h"
#include "app/ui/MainWindow.h"

#include <QPointer>
#include <memory>

namespace corvalis {

namespace {
// The one entry form of the run, created when it is first needed, and the services it is made with.
struct EntryFormSlot {
    records::EntryFormServices services;
    QPointer<records::TdlgSurveyDataForm> form;
};

records::TdlgSurveyDataForm& entryForm(MainWindow& window, EntryFormSlot& slot) {
    if (!slot.form)
        slot.form = new records::TdlgSurveyDataForm(window.session(), window.settings(), window.ui(),
                                                    slot.services, window.fieldDictionary(), &window);
    return *slot.form;
}

void openEntryForm(MainWindow& window, EntryFormSlot& slot, records::EntryMode mode) {
    RecordList& list = window.recordList();
    const ListPosition before = list.position();
    records::TdlgSurveyDataForm& dialog = entryForm(window, slot);
    dialog.openModal(mode, &list);
    // Back in the main window: the list is read again at the record that was current.
    list.requery();
    list.goTo(mode == records::EntryMode::Add ? before : list.position());
}
} // namespace

void installRecordsCommands(MainWindow& window, records::EntryFormServices services) {
    auto slot = std::make_shared<EntryFormSlot>();
    slot->services = std::move(services);
    window.setHandler(QStringLiteral("actAddNew"),
                      [&window, slot] { openEntryForm(window, *slot, records::EntryMode::Add); });
    window.setHandler(QStringLiteral("actModify"), [&window, slot] {
        if (window.listIsEmpty())
            return;
        openEntryForm(window, *slot, records::EntryMode::Modify);
    });
}

} // namespace corvalis
