#include "RecordsCommands.h"

#include "SurveyDataForm.h"
#include "app/DbSession.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "app/ui/RecordList.h"

#include <QPointer>
#include <QTimer>
#include <memory>

namespace corvalis {

namespace {
// The one entry form of the run, created when it is first needed, and the services it is made with.
// It lives with the window, which finds it by name.
struct EntryFormSlot : QObject {
    using QObject::QObject;
    records::EntryFormServices services;
    QPointer<records::TdlgSurveyDataForm> form;
};
const QString EntryFormSlotName = QStringLiteral("EntryFormSlot");

records::TdlgSurveyDataForm& entryForm(CommandHost& window, EntryFormSlot& slot) {
    if (!slot.form)
        slot.form =
            new records::TdlgSurveyDataForm(window.session(), window.settings(), window.ui(), slot.services,
                                            window.fieldDictionary(), window.dialogParent());
    return *slot.form;
}

void openEntryForm(CommandHost& window, EntryFormSlot& slot, records::EntryMode mode) {
    RecordList& list = window.recordList();
    records::TdlgSurveyDataForm& dialog = entryForm(window, slot);
    dialog.openModal(mode, &list);
    // Back in the main window: the list is read again where the form left it (current row,
    // selection, scroll position); after an add it shows the record added last.
    list.refreshKeepingPosition();
    if (const auto added = dialog.lastAddedCode())
        list.goTo({QVariant(*added), list.currentRow()});
}
} // namespace

void installRecordsCommands(CommandHost& window, records::EntryFormServices services) {
    auto* slot = new EntryFormSlot(window.dialogParent());
    slot->setObjectName(EntryFormSlotName);
    slot->services = std::move(services);
    window.setHandler(QStringLiteral("actAddNew"),
                      [&window, slot] { openEntryForm(window, *slot, records::EntryMode::Add); });
    window.setHandler(QStringLiteral("actModify"), [&window, slot] {
        if (window.recordList().isEmpty())
            return;
        openEntryForm(window, *slot, records::EntryMode::Modify);
    });
}

void editInEntryForm(CommandHost& window, RecordList& list) {
    auto* slot =
        window.dialogParent()->findChild<EntryFormSlot*>(EntryFormSlotName, Qt::FindDirectChildrenOnly);
    if (!slot || list.isEmpty())
        return;
    entryForm(window, *slot).openModal(records::EntryMode::Modify, &list);
}

void editInEntryForm(CommandHost& window, RecordList& list, const EntryFormPlace& place,
                     const RecordWrittenHandler& onWritten) {
    auto* slot =
        window.dialogParent()->findChild<EntryFormSlot*>(EntryFormSlotName, Qt::FindDirectChildrenOnly);
    if (!slot || list.isEmpty())
        return;
    records::TdlgSurveyDataForm& form = entryForm(window, *slot);
    const QMetaObject::Connection written =
        QObject::connect(&form, &records::TdlgSurveyDataForm::recordWritten, &form,
                         [onWritten](const QVariant& previous, UnionCode code) {
                             if (onWritten)
                                 onWritten(previous, code);
                         });
    // The place is taken once the form shows, through its own page change.
    QTimer::singleShot(0, &form, [&form, place] { form.focusField(place.page, place.field); });
    form.openModal(records::EntryMode::Modify, &list);
    QObject::disconnect(written);
}

} // namespace corvalis
