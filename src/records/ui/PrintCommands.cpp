#include "PrintCommands.h"

#include "PrintPreview.h"
#include "app/ui/MainWindow.h"
#include "records/RecordPrint.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

namespace corvalis {

namespace {

// The window whose database the entry form prints from, when the form is not one of its children.
QPointer<MainWindow> printingWindow;

MainWindow* windowOf(QWidget* widget) {
    for (QWidget* candidate = widget; candidate; candidate = candidate->parentWidget())
        if (auto* window = dynamic_cast<MainWindow*>(candidate))
            return window;
    return printingWindow.data();
}

void printCode(MainWindow& window, UnionCode code) {
    records::printRecord(window.session().connection(), window.programFolder(), window.ui(),
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

void installPrintCommands(MainWindow& window) {
    printingWindow = &window;
    window.setHandler(QStringLiteral("actPrint"), [&window] {
        if (const auto code = window.currentCode())
            printCode(window, *code);
    });

    QAction* print = window.action(QStringLiteral("actPrint"));
    auto* preview = new QAction(QIcon::fromTheme(QStringLiteral("document-print-preview")),
                                QStringLiteral("打印预览"), &window);
    preview->setObjectName(QStringLiteral("actPrintPreview"));
    QObject::connect(preview, &QAction::triggered, &window, [&window] {
        if (const auto code = window.currentCode())
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
    if (MainWindow* window = windowOf(form))
        printCode(*window, code);
}

void previewRecordFromForm(QWidget* form, UnionCode code) {
    if (MainWindow* window = windowOf(form))
        showRecordPrintPreview(*window, code);
}

void showRecordPrintPreview(MainWindow& window, UnionCode code) {
    const QString text = records::codeText(code);
    auto filled =
        records::filledPrintLayout(window.session().connection(), window.programFolder(), window.ui(), text);
    if (!filled)
        return;
    records::PrintPreviewDialog dialog(
        std::move(*filled), window.ui(),
        records::PrintLayoutStem + QLatin1Char('_') + text + QStringLiteral(".pdf"), window.dialogParent());
    dialog.exec();
}

} // namespace corvalis
