// test-kind: shell
#include "app/DbSession.h"
#include "app/engine/Connection.h"
#include "app/ui/RecordList.h"
#include "checks/ui/ChecksCommands.h"
#include "checks/ui/MessageListWindow.h"
#include "records/PageNotes.h"
#include "records/RecordGenerator.h"
#include "records/RecordPrint.h"
#include "records/ui/NumericEdit.h"
#include "records/ui/SurveyDataForm.h"
#include "support/ProgramWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::records;
using corvalis::checks::TMessageListWinForm;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

// The entry form as the main window opens it: with the real logic checks, their error list and the
// print commands that the main window installs. The codes handed to the print preview are noted.
struct Shell {
    TestFolder folder;
    QTemporaryDir settingsDir;
    ScriptedUiServices ui;
    std::unique_ptr<MainWindow> window;
    TdlgSurveyDataForm* form = nullptr;
    QList<UnionCode> previewedCodes;

    explicit Shell(int records) {
        engine::Connection connection(folder.defaultDatabase());
        GeneratorOptions options;
        options.count = records;
        options.firstCode = 110101000100;
        generateRecords(connection, options);
        connection.close();
        StartOptions start;
        start.splash = false;
        start.settingsFile = settingsDir.filePath(QStringLiteral("settings.ini"));
        start.ui = &ui;
        window = makeProgramWindow(folder.folder(), start);
        window->startUp();
        EntryFormServices services = entryFormServices(*window);
        services.printPreview = [this, preview = services.printPreview](QWidget* shown, UnionCode code) {
            previewedCodes << code;
            preview(shown, code);
        };
        form = new TdlgSurveyDataForm(window->session(), window->settings(), ui, std::move(services),
                                      window->fieldDictionary(), window.get());
    }

    engine::Connection& db() { return window->session().connection(); }
    TMessageListWinForm& errors() { return logicMessageList(*window); }
    QTabWidget* pages() const { return form->findChild<QTabWidget*>(QStringLiteral("DataPage")); }
    void open(EntryMode mode) {
        form->open(mode, &window->recordList());
        QVERIFY(QTest::qWaitForWindowActive(form));
    }
    void set(const char* field, qint64 value) {
        NumericEdit* box = form->numericBox(QString::fromLatin1(field));
        QVERIFY(box);
        box->setValue(value);
    }
    QStringList listedRules() {
        QStringList rules;
        QTableWidget* grid = errors().grid();
        for (int row = 0; row < grid->rowCount() && !errors().messagesEmpty(); ++row)
            rules << grid->item(row, 0)->text();
        return rules;
    }
    QVariant stored(double code, const char* column) {
        return db().scalar(QStringLiteral("select %1 from dt_data where c901=?").arg(QLatin1String(column)),
                           {code});
    }
    // Types into a box as a user would and leaves it with Enter.
    void type(const char* name, const QString& typed) {
        auto* box = form->findChild<QLineEdit*>(QString::fromLatin1(name));
        QVERIFY(box);
        box->setFocus();
        box->selectAll();
        // Chinese text comes as the input method delivers it: key events that carry only text.
        for (QChar c : typed) {
            const int key = c.unicode() < 128 ? QTest::asciiToKey(char(c.unicode())) : 0;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &press);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &release);
        }
        QTest::keyClick(box, Qt::Key_Return);
    }
    void fillValidCover(const QString& code) {
        type("c901", code);
        type("c902", QStringLiteral("测试公司工会"));
        type("c903", QStringLiteral("110101"));
        type("c904", QStringLiteral("1"));
        type("c905", QStringLiteral("1"));
        type("c906", QStringLiteral("110"));
        type("C907", QStringLiteral("A01"));
        type("c912", QStringLiteral("1"));
        type("c910", QStringLiteral("张三"));
        type("c911", QStringLiteral("01088886666"));
    }
};

// Clicks the tool button that shows an action of a tool bar.
void clickAction(QWidget* form, const char* action) {
    auto* shown = form->findChild<QAction*>(QString::fromLatin1(action));
    QVERIFY(shown);
    for (QToolBar* bar : form->findChildren<QToolBar*>())
        if (QWidget* button = bar->widgetForAction(shown))
            QTest::mouseClick(button, Qt::LeftButton);
}

// The global rectangle a widget covers on the screen; none while it is hidden.
QRect globalRect(const QWidget* widget) {
    return widget->isVisible() ? QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()) : QRect();
}

// What the test saw while the modal entry form was open; asserted once the form has closed.
struct ModalSight {
    bool formModal = false;
    bool listShown = false;
    bool listInsideScreen = false;
    bool listClearOfControls = false;
    QString pageAfterClick;
    bool focusOnField = false;
    bool focusAfterEnter = false;
    int activations = 0; // of the form and the list, as the test asked for them
};

// Rules of the shipped dt_logic: z002 must be above z001; s004 only with s003.
const QString OfferedIsAboveMembers = QStringLiteral("z002>z001");
const QString CommitteeRule = QStringLiteral("(s003=1) or (s003<>1 and s004<>1)");

} // namespace

class EntryFormChecksTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pageChangeRunsTheRulesOfBothPages() {
        Shell shell(2);
        shell.open(EntryMode::Modify);
        QVERIFY(shell.form->changePage(1));
        QVERIFY(shell.errors().messagesEmpty());
        // A page-1 violation is found when leaving page 1, by the check of the old page.
        const qint64 offered = shell.form->valueOf(QStringLiteral("z002")).value();
        shell.set("z002", 0);
        QVERIFY(shell.form->changePage(2));
        QCOMPARE(shell.pages()->currentIndex(), 2);
        QVERIFY(shell.listedRules().contains(OfferedIsAboveMembers));
        QVERIFY(shell.errors().isVisible());
        // Mended, the next change clears the list again.
        shell.set("z002", offered);
        QVERIFY(shell.form->changePage(3));
        QVERIFY(shell.errors().messagesEmpty());
        QVERIFY(shell.ui.messages().empty());
    }

    void doubleClickInTheErrorListLandsOnTheFieldOfTheRule() {
        Shell shell(1);
        shell.open(EntryMode::Modify);
        shell.set("s003", 2);
        shell.set("s004", 1);
        shell.form->checkLogic();
        QVERIFY(shell.errors().isVisible());
        QTableWidget* grid = shell.errors().grid();
        int row = 0;
        while (row < grid->rowCount() && grid->item(row, 0)->text() != CommitteeRule)
            ++row;
        QVERIFY(row < grid->rowCount());
        QCOMPARE(grid->item(row, 3)->text(), QStringLiteral("s003"));
        QCOMPARE(shell.pages()->currentIndex(), 0);

        // A double-click as the mouse makes it: the first click's press, then the double-click.
        const QPoint cell = grid->visualItemRect(grid->item(row, 0)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
        QCOMPARE(shell.pages()->tabText(shell.pages()->currentIndex()), QStringLiteral("表7&&表8"));
        QCOMPARE(QApplication::focusWidget(), shell.form->control(QStringLiteral("s003")));
        QVERIFY(!shell.errors().navigating());
        // Landing ran page 7's rules again, so the finding is still listed.
        QVERIFY(shell.listedRules().contains(CommitteeRule));
    }

    void errorListTakesClicksAndKeysWhileTheFormIsModal() {
        Shell shell(1);
        shell.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(shell.window.get()));
        ModalSight sight;
        QTimer::singleShot(0, [&] {
            auto* form = qobject_cast<TdlgSurveyDataForm*>(QApplication::activeModalWidget());
            if (!form)
                return;
            sight.formModal = true;
            // The form itself, not only through a window of its own.
            const auto formActive = [form] {
                return QTest::qWaitFor([form] { return QApplication::activeWindow() == form; });
            };
            // The form takes most of the screen, as at 1366×768.
            const QRect screen = form->screen()->availableGeometry();
            form->setGeometry(
                QRect(screen.topLeft(), QSize(screen.width() * 72 / 100, screen.height() * 9 / 10))
                    .translated(screen.width() * 14 / 100, 0));
            sight.activations += formActive();
            form->numericBox(QStringLiteral("s003"))->setValue(2);
            form->numericBox(QStringLiteral("s004"))->setValue(1);
            QTest::mouseClick(form->findChild<QToolButton*>(QStringLiteral("tbCheck")), Qt::LeftButton);

            TMessageListWinForm& list = shell.errors();
            sight.listShown = list.isVisible();
            sight.listInsideScreen = screen.contains(list.frameGeometry());
            const QTabBar* tabs = form->findChild<QTabWidget*>(QStringLiteral("DataPage"))->tabBar();
            const QRect listRect = list.frameGeometry();
            sight.listClearOfControls =
                !listRect.intersects(globalRect(tabs)) &&
                !listRect.intersects(globalRect(form->findChild<QToolBar*>(QStringLiteral("ToolBar")))) &&
                !listRect.intersects(globalRect(form->findChild<QToolBar*>(QStringLiteral("NavBar"))));

            // The window manager activates the list when it is clicked; the click goes through the
            // window system, where modality applies.
            list.activateWindow();
            sight.activations += QTest::qWaitForWindowActive(&list);
            QTableWidget* grid = list.grid();
            int row = 0;
            while (row < grid->rowCount() && grid->item(row, 0)->text() != CommitteeRule)
                ++row;
            if (row < grid->rowCount()) {
                const QPoint cell =
                    grid->viewport()->mapTo(&list, grid->visualItemRect(grid->item(row, 0)).center());
                QTest::mouseDClick(list.windowHandle(), Qt::LeftButton, {}, cell);
            }
            sight.pageAfterClick =
                form->findChild<QTabWidget*>(QStringLiteral("DataPage"))
                    ->tabText(form->findChild<QTabWidget*>(QStringLiteral("DataPage"))->currentIndex());
            sight.activations += formActive();
            sight.focusOnField = QApplication::focusWidget() == form->control(QStringLiteral("s003"));

            // Enter on a message does what the double-click does.
            form->changePage(1);
            list.activateWindow();
            sight.activations += QTest::qWaitForWindowActive(&list);
            row = 0;
            while (row < grid->rowCount() && grid->item(row, 3)->text() != QStringLiteral("s003"))
                ++row;
            grid->setCurrentCell(row, 0);
            QTest::keyClick(grid, Qt::Key_Return);
            sight.activations += formActive();
            sight.focusAfterEnter = QApplication::focusWidget() == form->control(QStringLiteral("s003"));
            QTest::mouseClick(form->findChild<QToolButton*>(QStringLiteral("tbReturn")), Qt::LeftButton);
        });
        shell.window->runCommand(QStringLiteral("actModify"));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(sight.formModal);
        QVERIFY(sight.listShown);
        QCOMPARE(sight.pageAfterClick, QStringLiteral("表7&&表8"));
        QVERIFY(sight.focusOnField);
        QVERIFY(sight.focusAfterEnter);
        QVERIFY(sight.listInsideScreen);
        QVERIFY(sight.listClearOfControls);
        QCOMPARE(sight.activations, 5);
        QVERIFY(!shell.errors().isVisible());
    }

    void errorListFollowsTheRecordShown() {
        Shell shell(2);
        // Moving to the next record drops the findings of the one left.
        shell.window->recordList().setCurrentRow(0);
        shell.open(EntryMode::Modify);
        shell.set("z002", 0);
        QTest::mouseClick(shell.form->findChild<QToolButton*>(QStringLiteral("tbCheck")), Qt::LeftButton);
        QVERIFY(!shell.errors().messagesEmpty());
        shell.ui.answerNo();
        clickAction(shell.form, "actNext");
        QCOMPARE(shell.form->findChild<QLabel*>(QStringLiteral("ItemNo"))->text(),
                 QStringLiteral("第2条/共2条"));
        QVERIFY(shell.errors().messagesEmpty());
        shell.form->returnWithoutSaving();

        // A formal save in add mode stores the record with its findings and starts a blank one,
        // which has none yet.
        shell.open(EntryMode::Add);
        shell.fillValidCover(QStringLiteral("110101000001"));
        QTest::mouseClick(shell.form->findChild<QToolButton*>(QStringLiteral("tbAdd")), Qt::LeftButton);
        QCOMPARE(shell.ui.lastMessage(), FormText::SavedWithErrorsMessage);
        QCOMPARE(shell.stored(110101000001.0, "RecordState").toLongLong(), 2);
        QCOMPARE(shell.form->currentCode(), UnionCode(0));
        QVERIFY(shell.errors().messagesEmpty());
        QVERIFY(!shell.errors().isVisible());
        shell.form->returnWithoutSaving();
    }

    void closingWithUnsavedViolationsStoresTheRecordHeld() {
        Shell shell(2);
        const double code = *shell.window->recordList().currentCode();
        shell.open(EntryMode::Modify);
        QCOMPARE(shell.form->valueOf(QStringLiteral("c912")).value(), 1);
        const qint64 offered = shell.form->valueOf(QStringLiteral("z002")).value();
        shell.set("z002", 0);
        QVERIFY(shell.form->hasUnsavedChanges());
        shell.ui.answerYes();
        shell.form->reject();
        QVERIFY(!shell.form->isVisible());
        QCOMPARE(shell.stored(code, "RecordState").toLongLong(), 0);
        QCOMPARE(shell.stored(code, "z002").toLongLong(), 0);
        QVERIFY(!shell.errors().isVisible());

        // The same close without a violation saves formally.
        shell.open(EntryMode::Modify);
        shell.set("z002", offered);
        shell.ui.answerYes();
        shell.form->reject();
        QCOMPARE(shell.stored(code, "RecordState").toLongLong(), 1);
    }

    void hintsFollowTheOpenDatabase() {
        Shell shell(1);
        QTemporaryDir other;
        const QString copy = other.filePath(QStringLiteral("other.mdb"));
        QVERIFY(QFile::copy(shell.window->session().path(), copy));
        {
            engine::Connection connection(copy);
            connection.execute(QStringLiteral("update dt_fieldlist set Hint=? where FieldName='z002'"),
                               {QStringLiteral("其中：另一个库的提示")});
        }
        const auto explanationOfFirstRow = [&shell] {
            shell.open(EntryMode::Modify);
            shell.set("z002", 0);
            shell.form->checkLogic();
            const QString text = shell.errors().grid()->item(0, 1)->text();
            shell.form->returnWithoutSaving();
            return text;
        };
        QVERIFY(!explanationOfFirstRow().contains(QStringLiteral("另一个库的提示")));
        shell.window->session().openDatabase(copy);
        shell.window->refreshList();
        QVERIFY(explanationOfFirstRow().contains(QStringLiteral("另一个库的提示")));
    }

    void printPreviewShowsTheStoredRecord() {
        Shell shell(3);
        QToolBar* bar = shell.form->findChild<QToolBar*>(QStringLiteral("ToolBar"));
        QToolButton* print = shell.form->findChild<QToolButton*>(QStringLiteral("tbPrint"));
        QToolButton* preview = shell.form->findChild<QToolButton*>(QStringLiteral("tbPrintPreview"));
        QVERIFY(bar && print && preview);
        const QList<QAction*> actions = bar->actions();
        QCOMPARE(actions.indexOf(bar->findChild<QAction*>(QStringLiteral("tbPrintPreviewShown"))),
                 actions.indexOf(bar->findChild<QAction*>(QStringLiteral("tbPrintShown"))) + 1);

        QVERIFY(QFile::copy(QStringLiteral(CORVALIS_SOURCE_DIR "/data/program/") + PrintLayoutStem +
                                QStringLiteral(".json"),
                            printLayoutPath(shell.folder.folder())));
        shell.open(EntryMode::Add);
        QVERIFY(!preview->isEnabled());
        shell.form->returnWithoutSaving();

        shell.window->recordList().setCurrentRow(0);
        shell.open(EntryMode::Modify);
        shell.form->moveTo(RecordStep::Next);
        QVERIFY(preview->isEnabled());
        // A change not yet saved is not what the stored record shows.
        shell.set("z002", 1);
        QVERIFY(!preview->isEnabled());
        shell.set("z002", 0);
        shell.form->temporarySave();
        QVERIFY(preview->isEnabled());

        // The main window's preview opens on the record shown, the second of the list.
        QString previewed;
        QTimer::singleShot(0, [&previewed] {
            if (auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget())) {
                previewed = dialog->objectName();
                dialog->reject();
            }
        });
        preview->click();
        QCOMPARE(previewed, QStringLiteral("PrintPreviewDialog"));
        QVERIFY(shell.ui.messages().size() == 1); // only the temporary save's
        QCOMPARE(shell.previewedCodes,
                 QList<UnionCode>{shell.window->recordList().model().keyAt(1).toLongLong()});
    }

    void everyPageHasItsNotesAndTheBoxesTheirInputHints() {
        // The notes shipped with the program folder: one readable file per page, titled by its page.
        const QString folder = QStringLiteral(CORVALIS_SOURCE_DIR "/data/program/notes/");
        const char* titles[] = {"封面", "表1", "表2", "表3", "表4", "表5", "表6", "表7"};
        for (int page = 0; page < 8; ++page) {
            QTextDocument notes;
            notes.setHtml(readPageNotes(
                folder + QStringLiteral("TableNotesVQ-%1.rtf").arg(page, 2, 10, QLatin1Char('0'))));
            QVERIFY2(notes.toPlainText().startsWith(QString::fromUtf8(titles[page])),
                     qPrintable(notes.toPlainText()));
        }
        Shell shell(0);
        QCOMPARE(shell.form->numericBox(QStringLiteral("z001"))->inputMethodHints(), Qt::ImhDigitsOnly);
        QCOMPARE(shell.form->control(QStringLiteral("c911"))->inputMethodHints(),
                 Qt::ImhDialableCharactersOnly);
        QVERIFY(shell.form->control(QStringLiteral("c902"))->testAttribute(Qt::WA_InputMethodEnabled));
    }
};

QTEST_MAIN(EntryFormChecksTest)
#include "tst_entryform_checks.moc"
