// test-kind: shell
#include "app/engine/Connection.h"
#include "records/RecordGenerator.h"
#include "records/RecordPrint.h"
#include "records/ui/PrintCommands.h"
#include "records/ui/PrintPreview.h"
#include "support/ProgramWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPrintPreviewWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {
struct Shell {
    TestFolder folder;
    QTemporaryDir settingsDir;
    ScriptedUiServices ui;
    std::unique_ptr<MainWindow> window;

    explicit Shell(int records) {
        QFile::copy(QStringLiteral(CORVALIS_SOURCE_DIR "/data/program/") + records::PrintLayoutStem +
                        QStringLiteral(".json"),
                    records::printLayoutPath(folder.folder()));
        if (records > 0) {
            engine::Connection connection(folder.defaultDatabase());
            records::GeneratorOptions options;
            options.count = records;
            records::generateRecords(connection, options);
        }
        StartOptions options;
        options.splash = false;
        options.settingsFile = settingsDir.filePath(QStringLiteral("settings.ini"));
        options.clock = std::make_shared<FixedClock>(QDateTime(QDate(2021, 3, 5), QTime(9, 30)));
        options.ui = &ui;
        window = makeProgramWindow(folder.folder(), options);
        window->startUp();
        window->updateCommandStates();
    }
    QAction* action(const char* name) const { return window->action(QString::fromLatin1(name)); }
    QString currentCode() const { return records::codeText(*window->recordList().currentCode()); }
};
} // namespace

class PrintGuiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void printCommandOpensTheFilledWorkbookOfTheCurrentRecord() {
        Shell shell(4);
        QVERIFY(shell.action("actPrint")->isEnabled());
        const QString code = shell.currentCode();
        shell.action("actPrint")->trigger();
        QCOMPARE(shell.ui.openedFiles().size(), 1);
        XlsxReader book(shell.ui.openedFiles().front());
        QCOMPARE(book.cell(1, QStringLiteral("B7")), code);

        // The entry form's print button goes through the same printing.
        shell.ui.clear();
        printRecordOf(*shell.window, shell.window->recordList().currentCode().value());
        QCOMPARE(shell.ui.openedFiles().size(), 1);
        QCOMPARE(XlsxReader(shell.ui.openedFiles().front()).cell(1, QStringLiteral("B7")), code);
        QVERIFY(shell.ui.messages().empty());
    }

    void previewSitsBesidePrintAndFollowsItsState() {
        Shell shell(0);
        QAction* print = shell.action("actPrint");
        auto* preview = shell.window->findChild<QAction*>(QStringLiteral("actPrintPreview"));
        QVERIFY(preview);
        QCOMPARE(preview->text(), QStringLiteral("打印预览"));
        // Right after actPrint in the 数据记录 menu; the record list's pop-up keeps its fixed entries.
        QMenu* records = nullptr;
        for (QAction* item : shell.window->menuBar()->actions())
            if (item->text() == QStringLiteral("数据记录"))
                records = item->menu();
        QVERIFY(records);
        const QList<QAction*> actions = records->actions();
        QVERIFY(actions.indexOf(print) >= 0);
        QCOMPARE(actions.indexOf(preview), actions.indexOf(print) + 1);
        auto* popup = shell.window->findChild<QMenu*>(QStringLiteral("GridPopupMenu"));
        QVERIFY(popup && !popup->actions().contains(preview));
        QVERIFY(!print->isEnabled());
        QVERIFY(!preview->isEnabled());
        print->setEnabled(true);
        QVERIFY(preview->isEnabled());
    }

    void previewShowsEveryPageAndSavesAPdf() {
        Shell shell(2);
        QTemporaryDir out;
        const QString pdf = out.filePath(QStringLiteral("preview.pdf"));
        shell.ui.answerFile(pdf);
        int pages = -1;
        bool saved = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<records::PrintPreviewDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            auto* view = dialog->findChild<QPrintPreviewWidget*>();
            if (view)
                pages = view->pageCount();
            if (auto* save = dialog->findChild<QAction*>(QStringLiteral("actSavePdf"))) {
                save->trigger();
                saved = true;
            }
            dialog->reject();
        });
        auto* preview = shell.window->findChild<QAction*>(QStringLiteral("actPrintPreview"));
        preview->trigger();
        QCOMPARE(pages, 8);
        QVERIFY(saved);
        QVERIFY(QFile::exists(pdf));
        QCOMPARE(shell.ui.questions().size(), size_t(1));
        QVERIFY(shell.ui.questions().front().request.proposedName.endsWith(QLatin1String(".pdf")));
        QVERIFY(shell.ui.messages().empty());
    }
};

QTEST_MAIN(PrintGuiTest)
#include "tst_print_gui.moc"
