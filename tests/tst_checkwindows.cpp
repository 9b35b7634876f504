// test-kind: shell
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "checks/CheckRunner.h"
#include "checks/RuleListing.h"
#include "checks/ui/CheckDialog.h"
#include "checks/ui/ChecksCommands.h"
#include "checks/ui/MessageListWindow.h"
#include "records/RecordGenerator.h"
#include "support/ProgramWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::checks;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

struct Shell {
    TestFolder folder;
    QTemporaryDir settingsDir;
    ScriptedUiServices ui;
    std::unique_ptr<MainWindow> window;

    explicit Shell(int records, double faulty) {
        {
            engine::Connection connection(folder.defaultDatabase());
            records::GeneratorOptions options;
            options.count = records;
            options.faultyShare = faulty;
            options.firstCode = 110000000001;
            records::generateRecords(connection, options);
        }
        StartOptions options;
        options.splash = false;
        options.settingsFile = settingsDir.filePath(QStringLiteral("settings.ini"));
        options.clock = std::make_shared<FixedClock>(QDateTime(QDate(2021, 3, 5), QTime(9, 30)));
        options.ui = &ui;
        window = makeProgramWindow(folder.folder(), options);
        window->startUp();
    }
    qint64 count(const QString& where) {
        return window->session()
            .connection()
            .scalar(QStringLiteral("select count(*) from dt_data where ") + where)
            .toLongLong();
    }
};

template <typename T> T* child(QWidget* parent, const char* name) {
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    Q_ASSERT(found);
    return found;
}

// The height a cell needs to show its whole text, wrapped at the cell's width as the grid paints it.
int neededHeight(QTableWidget* grid, int row, int column) {
    QStyleOptionViewItem option;
    option.initFrom(grid->viewport());
    option.font = grid->font();
    option.features |= QStyleOptionViewItem::WrapText;
    option.rect = QRect(0, 0, grid->columnWidth(column) - 1, grid->rowHeight(row));
    return grid->itemDelegate()->sizeHint(option, grid->model()->index(row, column)).height();
}

// Rows too low for their text, as (row, column) pairs.
QList<QPair<int, int>> cutRows(QTableWidget* grid) {
    QList<QPair<int, int>> cut;
    for (int row = 0; row < grid->rowCount(); ++row)
        for (int column : {0, 1})
            if (grid->rowHeight(row) < neededHeight(grid, row, column))
                cut << qMakePair(row, column);
    return cut;
}

// Runs an action whose dialog is modal; `script` acts on the dialog once it is shown.
void withDialog(QAction* action, const std::function<void(TdlgCheckForm&)>& script) {
    QTimer::singleShot(0, [script] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        auto* form = dynamic_cast<TdlgCheckForm*>(dialog);
        QVERIFY(form);
        script(*form);
    });
    action->trigger();
}

} // namespace

class CheckWindowsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void messageListGrowsByRowsAndNavigates() {
        TMessageListWinForm list;
        QTableWidget* grid = list.grid();
        QCOMPARE(list.windowTitle(), QStringLiteral("逻辑错误列表"));
        QVERIFY(list.messagesEmpty());
        QCOMPARE(grid->rowCount(), 1);

        list.addMessage({QStringLiteral("z002>z001"), QStringLiteral("说明"), 1, QStringLiteral("z002")});
        QVERIFY(!list.messagesEmpty());
        QCOMPARE(grid->rowCount(), 1);
        const QString longText = QString(200, QChar(0x4E2D));
        list.addMessage({QStringLiteral("s004<=2"), longText, 7, QStringLiteral("s003")});
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->item(1, 2)->text(), QStringLiteral("7"));
        QCOMPARE(grid->item(1, 3)->text(), QStringLiteral("s003"));
        const QFontMetrics metrics(grid->font());
        QVERIFY(grid->rowHeight(1) >= 3 * metrics.height() + 8);
        QCOMPARE(grid->rowHeight(0),
                 std::max(18, metrics.boundingRect(QRect(0, 0, 321, 1000), Qt::TextWordWrap,
                                                   QStringLiteral("说明"))
                                      .height() +
                                  8));

        list.showList();
        QVERIFY(list.isVisible());
        QCOMPARE(list.pos(), QPoint(150, 500));
        QList<QPair<int, QString>> visits;
        bool flagDuringVisit = false;
        list.setNavigate([&](int page, const QString& field) {
            visits << qMakePair(page, field);
            flagDuringVisit = list.navigating();
            // The page change runs the page rules again, which refill the list.
            list.clearMessages();
            list.addMessage({QStringLiteral("a"), QString(), 2, QStringLiteral("b002")});
            list.addMessage({QStringLiteral("b"), QString(), 2, QStringLiteral("b003")});
        });
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const QPoint second = grid->visualItemRect(grid->item(1, 0)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, second);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(visits, (QList<QPair<int, QString>>{{7, QStringLiteral("s003")}}));
        QVERIFY(flagDuringVisit);
        QVERIFY(!list.navigating());
        QCOMPARE(grid->currentRow(), 0);

        list.clearMessages();
        QVERIFY(!list.isVisible());
        QCOMPARE(grid->rowCount(), 1);
        list.navigateFromRow(0);
        QCOMPARE(visits.size(), 1); // nothing to go to
    }

    void everyMessageCanBeReadInFull() {
        TMessageListWinForm list;
        QTableWidget* grid = list.grid();
        // Texts of every length up to several lines: some fill a line of the column but not of the
        // cell's text area inside its margins.
        for (int length = 1; length <= 60; ++length)
            list.addMessage({QString(length, QChar(0x56FD)), QString(length * 2, QChar(0x4E2D)), 1,
                             QStringLiteral("z001")});
        QCOMPARE(cutRows(grid), (QList<QPair<int, int>>{}));

        // The user narrows the explanation column: the rows grow to keep the texts whole.
        grid->horizontalHeader()->resizeSection(1, 150);
        QCOMPARE(cutRows(grid), (QList<QPair<int, int>>{}));

        // Alone, the list stays on the screen, giving up size rather than running off it.
        list.showList();
        QVERIFY(list.screen()->availableGeometry().contains(list.frameGeometry()));
        QVERIFY(list.width() > 100 && list.height() > 40);
    }

    void checkDialogMovesThroughItsStates() {
        TdlgCheckForm::Actions actions;
        QStringList messages;
        actions.showMessage = [&](const QString& text) { messages << text; };
        int refreshes = 0;
        actions.refreshList = [&] { ++refreshes; };
        TdlgCheckForm* form = nullptr;
        bool closedEarly = true;
        actions.checkSelection = [&](const CheckSelection&, CheckControl* control) {
            // Preparing: everything disabled and the "preparing" label shown.
            QVERIFY(!child<QPushButton>(form, "tbCheck")->isEnabled());
            QVERIFY(!child<QPushButton>(form, "tbReturn")->isEnabled());
            QVERIFY(!child<QRadioButton>(form, "AllRecord")->isEnabled());
            QVERIFY(child<QLabel>(form, "Label1")->isVisible());
            control->start(4);
            QVERIFY(!child<QLabel>(form, "Label1")->isVisible());
            QCOMPARE(child<QLabel>(form, "Label2")->text(), QStringLiteral("已完成 0"));
            QCOMPARE(child<QLabel>(form, "Label3")->text(), QStringLiteral("待完成 4"));
            QVERIFY(child<QPushButton>(form, "tbPause")->isEnabled());
            QVERIFY(child<QPushButton>(form, "tbReturn")->isEnabled());
            control->step();
            for (int i = 0; i < 51; ++i)
                form->tick();
            QCOMPARE(child<QLabel>(form, "Label2")->text(), QStringLiteral("已完成 1 用时5秒"));
            QCOMPARE(child<QLabel>(form, "Label3")->text(), QStringLiteral("待完成 3 尚需16秒"));
            QTest::mouseClick(child<QPushButton>(form, "tbPause"), Qt::LeftButton);
            QVERIFY(control->paused());
            QVERIFY(child<QPushButton>(form, "tbResume")->isEnabled());
            QVERIFY(!child<QPushButton>(form, "tbPause")->isEnabled());
            QTest::mouseClick(child<QPushButton>(form, "tbResume"), Qt::LeftButton);
            QVERIFY(!control->paused());
            QTest::mouseClick(child<QPushButton>(form, "tbReturn"), Qt::LeftButton);
            QVERIFY(control->stopRequested());
            closedEarly = !form->isVisible();
        };
        TdlgCheckForm dialog(actions);
        form = &dialog;
        dialog.show();
        QVERIFY(child<QRadioButton>(form, "Selected")->isChecked());
        QVERIFY(!child<QGroupBox>(form, "ProgressGroup")->isVisible());

        // An incomplete range: the message, "0" in the empty edit, and the dialog ready again.
        child<QRadioButton>(form, "Range")->setChecked(true);
        QTest::keyClicks(child<QLineEdit>(form, "c901_2"), QStringLiteral("12ab3"));
        QCOMPARE(child<QLineEdit>(form, "c901_2")->text(), QStringLiteral("123"));
        QTest::mouseClick(child<QPushButton>(form, "tbCheck"), Qt::LeftButton);
        QCOMPARE(messages, QStringList{IncompleteRangeMessage});
        QCOMPARE(child<QLineEdit>(form, "c901_1")->text(), QStringLiteral("0"));
        QVERIFY(child<QPushButton>(form, "tbCheck")->isEnabled());
        QVERIFY(child<QRadioButton>(form, "Range")->isEnabled());
        QVERIFY(!child<QGroupBox>(form, "ProgressGroup")->isVisible());

        // A reversed range becomes a one-record range; 返回 during the run closes after it.
        QTest::keyClicks(child<QLineEdit>(form, "c901_1"), QStringLiteral("500"));
        QCOMPARE(child<QLineEdit>(form, "c901_1")->text(), QStringLiteral("0500"));
        QTest::mouseClick(child<QPushButton>(form, "tbCheck"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(form, "c901_2")->text(), QStringLiteral("0500"));
        QVERIFY(!closedEarly);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(refreshes, 1);
    }

    void checkCommandsRunOnTheOpenDatabase() {
        Shell shell(30, 0.2);
        MainWindow& window = *shell.window;
        withDialog(window.action(QStringLiteral("actCheck")), [](TdlgCheckForm& form) {
            child<QRadioButton>(&form, "AllRecord")->setChecked(true);
            QTest::mouseClick(child<QPushButton>(&form, "tbCheck"), Qt::LeftButton);
            QVERIFY(child<QPushButton>(&form, "tbCheck")->isEnabled());
            QTest::mouseClick(child<QPushButton>(&form, "tbReturn"), Qt::LeftButton);
        });
        QCOMPARE(shell.count(QStringLiteral("RecordState=2")), 6);
        QCOMPARE(shell.count(QStringLiteral("RecordState=1")), 24);
        const QString report = resultFilePath(QStringLiteral("默认数据库"));
        QCOMPARE(shell.ui.openedFiles(), QStringList{report});
        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(fromGbk(file.readAll()).contains(QStringLiteral("共有6个单位的数据存在逻辑错误！\r\n")));

        // The selected rows from the menu: only they change.
        window.session().connection().execute(QStringLiteral("update dt_data set RecordState=0"));
        RecordList& list = window.recordList();
        list.selectionModel()->clearSelection();
        list.selectionModel()->select(list.model().index(2, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list.selectionModel()->select(list.model().index(4, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        window.action(QStringLiteral("actCheckSelected"))->trigger();
        QCOMPARE(shell.count(QStringLiteral("RecordState<>0")), 2);
        QCOMPARE(shell.count(QStringLiteral("RecordState<>0 and c901 in (110000000003, 110000000005)")), 2);

        // The hidden rule listing goes to the documents folder and is opened.
        window.action(QStringLiteral("itemExportLogic"))->trigger();
        QCOMPARE(shell.ui.openedFiles().last(), ruleListingPath());
        QFile listing(ruleListingPath());
        QVERIFY(listing.open(QIODevice::ReadOnly));
        QVERIFY(listing.readAll().startsWith("if not (z002>z001) then\r\n"));
    }

    void pageCheckFillsTheListAndFocusesFields() {
        Shell shell(0, 0);
        MainWindow& window = *shell.window;
        PageLogicCheck check;
        installPageLogicCheck(window, [&](PageLogicCheck hook) { check = std::move(hook); });
        QVERIFY(check);
        QHash<QString, qint64> form{{QStringLiteral("z001"), 5}, {QStringLiteral("z002"), 5}};
        const FieldValueReader valueOf = [&](const QString& name) -> std::optional<qint64> {
            if (name.size() == 4 && name.at(0).isLetter())
                return form.value(name.toLower(), 0);
            return std::nullopt;
        };
        QList<QPair<int, QString>> focused;
        const FieldFocuser focus = [&](int page, const QString& field) { focused << qMakePair(page, field); };
        QVERIFY(!check(&window, 1, true, valueOf, focus));
        TMessageListWinForm& list = logicMessageList(window);
        QVERIFY(list.isVisible());
        QCOMPARE(list.grid()->item(0, 0)->text(), QStringLiteral("z002>z001"));
        list.navigateFromRow(0);
        QCOMPARE(focused.value(0), qMakePair(1, QStringLiteral("z002")));

        form[QStringLiteral("z002")] = 9;
        form[QStringLiteral("z003")] = 1;
        // The whole-record check clears first and looks at every page.
        const bool clean = check(&window, AllRulePages, true, valueOf, focus);
        QCOMPARE(clean, list.messagesEmpty());
        for (int row = 0; row < list.grid()->rowCount() && !clean; ++row)
            QVERIFY(list.grid()->item(row, 0)->text() != QStringLiteral("z002>z001"));
        QVERIFY(shell.ui.messages().empty());
    }
};

QTEST_MAIN(CheckWindowsTest)
#include "tst_checkwindows.moc"
