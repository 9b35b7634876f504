// test-kind: gui
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/engine/Connection.h"
#include "app/ui/CodePopup.h"
#include "summary/CustomGroups.h"
#include "summary/GroupTransfer.h"
#include "summary/SummaryBuilder.h"
#include "summary/TableListFile.h"
#include "summary/ui/GroupItemDialog.h"
#include "summary/ui/GroupListDialog.h"
#include "summary/ui/SumDialog.h"
#include "summary/ui/SummaryCommands.h"
#include "support/ScriptedUiServices.h"
#include "support/TestCommandHost.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::summary;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

const QString ProgramSources = QStringLiteral(CORVALIS_SOURCE_DIR "/data/program");

// A program folder with the shipped layouts and list, and its database open.
struct Session {
    TestFolder folder;
    ScriptedUiServices ui;
    DbSession session{folder.folder(), ui};
    FixedClock clock{QDateTime(QDate(2021, 3, 5), QTime(9, 30))};

    Session() {
        for (const QString& name : QDir(ProgramSources).entryList(QDir::Files))
            QFile::copy(ProgramSources + QLatin1Char('/') + name, folder.file(name));
        session.openDatabase();
    }
    engine::Connection& connection() { return session.connection(); }
};

template <typename T> T* child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

} // namespace

class SummaryUiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void itemButtonsFollowTheEditsAndStoreRanges() {
        Session s;
        const qint64 group = addGroup(s.connection(), QStringLiteral("组"));
        TdlgGroupItemForm dialog(s.session, s.ui, group, QStringLiteral("组"));
        auto* add = child<QPushButton>(dialog, "tbAdd");
        auto* edit = child<QPushButton>(dialog, "tbEdit");
        auto* name = child<QLineEdit>(dialog, "name");
        auto* low = child<QLineEdit>(dialog, "LowBoundary");
        auto* high = child<QLineEdit>(dialog, "HighBoundary");
        QCOMPARE(child<CodeNameBox>(dialog, "LeftSymbol")->text(), QStringLiteral(">="));
        QCOMPARE(child<CodeNameBox>(dialog, "RightSymbol")->text(), QStringLiteral("<"));
        QVERIFY(!child<QPushButton>(dialog, "tbSave")->isEnabled());
        QVERIFY(!add->isEnabled());

        QTest::keyClicks(name, QStringLiteral("north"));
        low->setText(QStringLiteral("100"));
        high->setText(QStringLiteral("100"));
        QVERIFY2(!add->isEnabled(), "equal codes cannot be stored");
        high->setText(QStringLiteral("200"));
        QVERIFY(add->isEnabled());
        QVERIFY(!edit->isEnabled());
        add->click();
        QCOMPARE(int(dialog.items().size()), 1);
        QCOMPARE(child<QTableWidget>(dialog, "DBGrid1")->item(0, 1)->text(), QStringLiteral(">=100"));
        QVERIFY(edit->isEnabled());

        name->clear();
        QVERIFY(!add->isEnabled() && !edit->isEnabled());
        QVERIFY(child<QPushButton>(dialog, "tbRemove")->isEnabled());
        s.ui.answerNo();
        QTest::keyRelease(child<QTableWidget>(dialog, "DBGrid1"), Qt::Key_Delete);
        QCOMPARE(int(loadItems(s.connection(), group).size()), 1);
        s.ui.answerYes();
        child<QPushButton>(dialog, "tbRemove")->click();
        QVERIFY(loadItems(s.connection(), group).empty());
        QVERIFY(!child<QPushButton>(dialog, "tbRemove")->isEnabled());
    }

    void titleClicksStoreTheSortOrder() {
        Session s;
        const qint64 group = addGroup(s.connection(), QStringLiteral("组"));
        for (const char* title : {"b", "a", "c"}) {
            GroupItem item;
            item.groupId = group;
            item.title = QString::fromLatin1(title);
            item.highBoundary = 10;
            addItem(s.connection(), item);
        }
        TdlgGroupItemForm dialog(s.session, s.ui, group, QStringLiteral("组"));
        auto* grid = child<QTableWidget>(dialog, "DBGrid1");
        QCOMPARE(child<QLineEdit>(dialog, "name")->text(), QStringLiteral("b"));
        grid->horizontalHeader()->sectionClicked(0);
        QCOMPARE(findGroup(s.connection(), group)->orderstr, QStringLiteral("title DESC"));
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("c"));
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("数据项目名称 ▼"));
        grid->horizontalHeader()->sectionClicked(0);
        QCOMPARE(findGroup(s.connection(), group)->orderstr, QStringLiteral("title ASC"));
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("数据项目名称 ▲"));
        grid->horizontalHeader()->sectionClicked(1);
        QCOMPARE(findGroup(s.connection(), group)->orderstr, QStringLiteral("LowValue DESC"));
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("数据项目名称"));

        auto* groupName = child<QLineEdit>(dialog, "GroupName");
        groupName->setText(QStringLiteral("新名"));
        QVERIFY(child<QPushButton>(dialog, "tbSave")->isEnabled());
        child<QPushButton>(dialog, "tbSave")->click();
        QCOMPARE(findGroup(s.connection(), group)->name, QStringLiteral("新名"));
    }

    void groupListAddsRemovesAndAsksAgainForAName() {
        Session s;
        TdlgGroupListForm dialog(s.session, s.ui, groupTableList());
        QStringList edited;
        dialog.setItemEditor([&](qint64, const QString& name) { edited << name; });
        QVERIFY(!child<QPushButton>(dialog, "tbEdit")->isEnabled());

        s.ui.answerCancelText();
        child<QPushButton>(dialog, "tbAdd")->click();
        QVERIFY(dialog.groups().empty());

        s.ui.answerText(QString());
        s.ui.answerText(QStringLiteral("按地区"));
        child<QPushButton>(dialog, "tbAdd")->click();
        QCOMPARE(int(dialog.groups().size()), 1);
        QCOMPARE(edited, QStringList{QStringLiteral("按地区")});
        QVERIFY(child<QPushButton>(dialog, "tbRemove")->isEnabled());

        s.ui.answerNo();
        child<QPushButton>(dialog, "tbRemove")->click();
        QCOMPARE(int(dialog.groups().size()), 1);
        s.ui.answerYes();
        child<QPushButton>(dialog, "tbRemove")->click();
        QVERIFY(dialog.groups().empty());
        QVERIFY(!child<QPushButton>(dialog, "tbRemove")->isEnabled());
    }

    void sumDialogTicksSectionsAndWritesTheWorkbook() {
        Session s;
        insertRecordsAndGroup(s);
        QString saved;
        {
            TdlgSumForm dialog(s.session, s.ui, s.clock);
            auto* list = child<QListWidget>(dialog, "TableList");
            QCOMPARE(list->count(), 24);
            QVERIFY(child<QToolButton>(dialog, "tbGroup")->isEnabled());
            QCOMPARE(child<QToolButton>(dialog, "tbGroup")->text(), QStringLiteral("地区"));
            QVERIFY(child<QRadioButton>(dialog, "SumType0")->isChecked());
            QVERIFY(child<QRadioButton>(dialog, "SumType5")->isEnabled());
            const QList<QAction*> groups = child<QMenu>(dialog, "GroupMenu")->actions();
            QCOMPARE(groups.size(), 2);
            QVERIFY(groups[0]->isEnabled());
            QVERIFY2(!groups[1]->isEnabled(), "a group without ranges cannot be chosen");

            child<QPushButton>(dialog, "Button2")->click();
            s.ui.clear();
            QVERIFY(dialog.runSummary().isEmpty()); // nothing ticked: nothing happens
            QVERIFY(s.ui.messages().empty());
            list->item(0)->setCheckState(Qt::Checked);
            QVERIFY(dialog.runSummary().isEmpty());
            QCOMPARE(s.ui.lastMessage(), OnlyCoverMessage);

            dialog.tickSection(4); // "//表二 ...": its three sheets
            QCOMPARE(TableListFile::tickedSheets(dialog.entries()), (std::vector<int>{1, 4, 5, 6}));
            child<QToolButton>(dialog, "tbGroup")->click();
            QCOMPARE(dialog.classification(), int(ByCustomGroup));
            const QString path = dialog.runSummary();
            QVERIFY(!path.isEmpty());
            QCOMPARE(s.ui.openedFiles(), QStringList{path});
            XlsxReader book(path);
            QCOMPARE(book.sheetNames().size(), 4);
            QCOMPARE(book.cell(2, QStringLiteral("A3")), QStringLiteral("分    组"));
            QCOMPARE(book.cell(2, QStringLiteral("A9")), QStringLiteral("一区"));
            QFile::remove(path);
            dialog.reject();
            saved = s.folder.file(TableListFile::fileName());
        }
        QCOMPARE(TableListFile::tickedSheets(TableListFile::load(saved)), (std::vector<int>{1, 4, 5, 6}));
    }

    void summaryKeepsTheWindowPaintedAndItsCommandsDisabled() {
        Session s;
        insertRecordsAndGroup(s);
        // Enough records for the reading statement to run a while.
        s.connection().execute(
            QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < 500) "
                           "insert into dt_data (c901, c905, z001) select 1000 + i, 1 + i % 5, i from n"));
        TdlgSumForm dialog(s.session, s.ui, s.clock);
        dialog.show();
        child<QPushButton>(dialog, "Button1")->click(); // tick all
        auto* sum = child<QPushButton>(dialog, "tbSum");
        auto* byGroup = child<QRadioButton>(dialog, "SumType5");
        auto* list = child<QListWidget>(dialog, "TableList");
        int insideStatement = 0;
        bool anyEnabled = false;
        s.ui.setOnResponsive([&] {
            if (s.connection().isInsideCallback())
                ++insideStatement;
            anyEnabled = anyEnabled || sum->isEnabled() || byGroup->isEnabled() || list->isEnabled();
            dialog.reject(); // closing waits for the summary
        });
        const QString path = dialog.runSummary();
        s.ui.setOnResponsive({});
        QVERIFY(!path.isEmpty());
        QVERIFY2(insideStatement > 0, "repainted from inside the reading statement");
        QVERIFY(!anyEnabled);
        QVERIFY(dialog.isVisible());
        QVERIFY(sum->isEnabled() && byGroup->isEnabled() && list->isEnabled());
        QFile::remove(path);
        dialog.reject();
        QVERIFY(!dialog.isVisible());
    }

    // The summary commands need only a host: no main window is built.
    void summaryCommandsOpenTheirDialogsOnAnyHost() {
        TestFolder folder;
        testing::TestCommandHost host(folder.folder());
        installSummaryCommands(host);
        for (const char* name : {"actSum", "actGroup"}) {
            QVERIFY2(host.hasHandler(QString::fromLatin1(name)), name);
            bool shown = false;
            bool closedByEscape = false;
            QWidget* parent = nullptr;
            QTimer::singleShot(0, [&] {
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    shown = true;
                    parent = dialog->parentWidget();
                    // Escape as a person presses it, to the control that has the focus.
                    QWidget* focus = QApplication::focusWidget();
                    QTest::keyClick(focus && dialog->isAncestorOf(focus) ? focus : dialog, Qt::Key_Escape);
                    closedByEscape = !dialog->isVisible();
                    if (!closedByEscape)
                        dialog->reject(); // never leave a modal open behind a failed check
                }
            });
            host.runCommand(QString::fromLatin1(name));
            QVERIFY2(shown, name);
            QVERIFY2(closedByEscape, name);
            QCOMPARE(parent, host.dialogParent());
        }
        ScriptedUiServices& ui = host.uiServices;
        ui.answerCancelFile();
        host.runCommand(QStringLiteral("actGroupImport"));
        QCOMPARE(ui.questions().back().request.title, QStringLiteral("选择导入文件"));
        ui.answerCancelFile();
        host.runCommand(QStringLiteral("actGroupExport"));
        QCOMPARE(ui.questions().back().request.title, QStringLiteral("导出文件存放为"));
    }

private:
    void insertRecordsAndGroup(Session& s) {
        s.connection().execute(
            QStringLiteral("insert into dt_data (c901, c905, z001) values (101, 1, 4), (102, 2, 6)"));
        const qint64 group = addGroup(s.connection(), QStringLiteral("地区"));
        GroupItem item;
        item.groupId = group;
        item.title = QStringLiteral("一区");
        item.lowBoundary = 100;
        item.highBoundary = 102;
        addItem(s.connection(), item);
        addGroup(s.connection(), QStringLiteral("空组"));
    }
};

QTEST_MAIN(SummaryUiTest)
#include "tst_summary_ui.moc"
