#include "PrintCommands.h"

#include "PrintPreview.h"
#include "app/DbSession.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "app/ui/RecordList.h"
#include "records/RecordPrint.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

namespace corvalis {

namespace {

// The window whose database the entry form prints from, when the form is not one of its children.
QPointer<QWidget> printingWindow;

CommandHost* windowOf(QWidget* widget) {
    for (QWidget* candidate = widget; candidate; candidate = candidate->parentWidget())
        if (auto* window = dynamic_cast<CommandHost*>(candidate))
            return window;
    return dynamic_cast<CommandHost*>(printingWindow.data());
}

void printCode(CommandHost& window, UnionCode code) {
    records::printRecord(window.session().connection(), window.session().programFolder(), window.ui(),
                         records::codeText(code));
}

// Puts the preview right after actPrint in the menus of the menu bar that show actPrint. The record
// list's pop-up menu keeps its fixed set of entries.
void placeAfterPrint(QAction* print, QAction* preview) {
    for (QObject* holder : print->associatedObjects()) {
        auto* menu = qobject_cast<QMenu*>(holder);
        if (!menu || menu->objectName() == QLatin1String("GridPopupMenu"))
            continue;
        const QList<QAction*> actions = menu->actions();
        const qsizetype at = actions.indexOf(print);
        if (at + 1 < actions.size())
            menu->insertAction(actions[at + 1], preview);
        else
            menu->addAction(preview);
    }
}

} // namespace

void installPrintCommands(CommandHost& window) {
    printingWindow = window.dialogParent();
    window.setHandler(QStringLiteral("actPrint"), [&window] {
        if (const auto code = window.recordList().currentCode())
            printCode(window, *code);
    });

    QAction* print = window.action(QStringLiteral("actPrint"));
    auto* preview = new QAction(QIcon::fromTheme(QStringLiteral("document-print-preview")),
                                QStringLiteral("打印预览"), window.dialogParent());
    preview->setObjectName(QStringLiteral("actPrintPreview"));
    QObject::connect(preview, &QAction::triggered, preview, [&window] {
        if (const auto code = window.recordList().currentCode())
            showRecordPrintPreview(window, *code);
    });
    if (!print)
        return;
    placeAfterPrint(print, preview);
    // The preview is available exactly when printing is.
    preview->setEnabled(print->isEnabled());
    QObject::connect(print, &QAction::enabledChanged, preview, &QAction::setEnabled);
}

void printRecordFromForm(QWidget* form, UnionCode code) {
    if (CommandHost* window = windowOf(form))
        printCode(*window, code);
}

void previewRecordFromForm(QWidget* form, UnionCode code) {
    if (CommandHost* window = windowOf(form))
        showRecordPrintPreview(*window, code);
}

void showRecordPrintPreview(CommandHost& window, UnionCode code) {
    const QString text = records::codeText(code);
    auto filled = records::filledPrintLayout(window.session().connection(), window.session().programFolder(),
                                             window.ui(), text);
    if (!filled)
        return;
    records::PrintPreviewDialog dialog(
        std::move(*filled), window.ui(),
        records::PrintLayoutStem + QLatin1Char('_') + text + QStringLiteral(".pdf"), window.dialogParent());
    dialog.exec();
}

} // namespace corvalis
