#include "PrintCommands.h"

#include "PrintPreview.h"
#include "app/DbSession.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "app/ui/RecordList.h"
#include "records/RecordPrint.h"

#include <QAction>
#include <QMenu>

namespace corvalis {

namespace {

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

void printRecordOf(CommandHost& window, UnionCode code) {
    records::printRecord(window.session().connection(), window.session().programFolder(), window.ui(),
                         records::codeText(code));
}

void installPrintCommands(CommandHost& window) {
    window.setHandler(QStringLiteral("actPrint"), [&window] {
        if (const auto code = window.recordList().currentCode())
            printRecordOf(window, *code);
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
