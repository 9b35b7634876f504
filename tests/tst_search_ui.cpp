// test-kind: shell
#include "app/Settings.h"
#include "app/engine/Connection.h"
#include "app/ui/CodePopup.h"
#include "records/RecordGenerator.h"
#include "search/RecordLocator.h"
#include "search/ui/DataSearchForm.h"
#include "search/ui/DeleteForm.h"
#include "search/ui/ListDeletion.h"
#include "search/ui/LocateForm.h"
#include "search/ui/QueryListForm.h"
#include "search/ui/SaveListForm.h"
#include "search/ui/SearchCommands.h"
#include "search/ui/SearchForm.h"
#include "support/ProgramWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::search;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {
constexpr qint64 FirstCode = 100000000001;

struct Shell {
    TestFolder folder;
    QTemporaryDir settingsDir;
    ScriptedUiServices ui;
    std::unique_ptr<MainWindow> window;

    explicit Shell(int records) {
        {
            engine::Connection connection(folder.defaultDatabase());
            records::GeneratorOptions options;
            options.count = records;
            options.firstCode = FirstCode;
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
    engine::Connection& db() { return window->session().connection(); }
    qint64 count(const QString& where = QString()) {
        return db().scalar(QStringLiteral("select count(*) from dt_data ") + where).toLongLong();
    }
    std::optional<UnionCode> current() const { return window->recordList().currentCode(); }
};

template <typename T> T* child(QWidget* parent, const char* name) {
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

void selectRows(RecordList& list, const QList<int>& rows) {
    list.clearSelection();
    for (int row : rows)
        list.selectionModel()->select(list.model().index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
}
} // namespace

class SearchUiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandsOpenTheirDialogs() {
        Shell shell(3);
        const QStringList commands = {QStringLiteral("actConditionSearch"), QStringLiteral("actLocate"),
                                      QStringLiteral("actSearch"), QStringLiteral("actDelete"),
                                      QStringLiteral("actSaveList")};
        const QStringList dialogs = {QStringLiteral("TdlgDataSearchForm"), QStringLiteral("TdlgLocateForm"),
                                     QStringLiteral("TdlgSearchForm"), QStringLiteral("TdlgDeleteForm"),
                                     QStringLiteral("TdlgSaveListForm")};
        for (int i = 0; i < commands.size(); ++i) {
            QString opened;
            QTimer::singleShot(0, [&opened] {
                if (QWidget* modal = QApplication::activeModalWidget()) {
                    opened = modal->objectName();
                    modal->close();
                }
            });
            shell.window->runCommand(commands.at(i));
            QCOMPARE(opened, dialogs.at(i));
        }
        for (const QString& text : shell.ui.messageTexts())
            QVERIFY2(!text.contains(QStringLiteral("尚未提供")), qPrintable(text));
    }

    void theListHandsOnTheLargestCodesExactly() {
        Shell shell(3);
        shell.db().execute(QStringLiteral("update dt_data set c901=c901+?"), {659004499997 - FirstCode});
        shell.window->refreshList();
        RecordList& list = shell.window->recordList();
        list.selectAll();
        QCOMPARE(list.selectedCodes(), (QList<UnionCode>{659004499997, 659004499998, 659004499999}));
        list.setCurrentRow(2);
        QCOMPARE(list.currentCode(), std::optional<UnionCode>(659004499999));
        list.clearSelection();
        QCOMPARE(list.selectedCodes(), QList<UnionCode>{659004499999});

        // The deletion takes the same keys and finds their rows again.
        RecordListDeletion deletion(list);
        list.selectAll();
        QCOMPARE(deletion.selectedKeys(), list.selectedCodes());
        QVERIFY(deletion.showKey(659004499998));
        QCOMPARE(list.currentRow(), 1);
        QVERIFY(!deletion.showKey(659004499996));
    }

    void locateByCodeAndByName() {
        Shell shell(30);
        LocateForm form(*shell.window);
        auto* code = child<QLineEdit>(&form, "c901");
        QTest::keyClicks(code, QStringLiteral("10000000002"));
        QVERIFY(!form.locate());
        QCOMPARE(shell.ui.lastMessage(), CodeDigitsMessage);
        QTest::keyClicks(code, QStringLiteral("1"));
        QVERIFY(form.locate());
        QCOMPARE(shell.current(), std::optional<UnionCode>(FirstCode + 20));

        code->setText(QStringLiteral("999999999999"));
        QVERIFY(!form.locate());
        QCOMPARE(shell.ui.lastMessage(), NotFoundMessage);

        shell.db().execute(QStringLiteral("update dt_data set c902='河东机械厂工会' where c901 in (?, ?)"),
                           {FirstCode + 25, FirstCode + 7});
        auto* name = child<QLineEdit>(&form, "c902");
        QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, QStringLiteral("机械"), Qt::NoModifier);
        QVERIFY(child<QRadioButton>(&form, "rad902")->isChecked());
        QVERIFY(form.locate());
        QCOMPARE(shell.current(), std::optional<UnionCode>(FirstCode + 7));
        // The name field refuses the quote characters.
        QTest::keyClicks(name, QStringLiteral("'\"`"));
        QCOMPARE(name->text(), QStringLiteral("机械"));
    }

    void rangeSearchShowsTheMatchesInTheResultList() {
        Shell shell(20);
        SearchForm form(*shell.window);
        QCOMPARE(child<CodeNameBox>(&form, "lc1")->text(), QStringLiteral("="));
        QCOMPARE(child<CodeNameBox>(&form, "lc2")->text(), QStringLiteral("和"));
        int shown = -1;
        form.setListPresenter([&shown](QueryListForm& list) { shown = list.resultCount(); });
        QVERIFY(!form.search());
        QCOMPARE(shell.ui.lastMessage(), QStringLiteral("请至少输入一个条件"));

        child<CodeNameBox>(&form, "lc1")->showName(3, QStringLiteral("<"));
        child<CodeNameBox>(&form, "lc2")->showName(2, QStringLiteral("或"));
        child<CodeNameBox>(&form, "lc3")->showName(4, QStringLiteral(">="));
        child<QLineEdit>(&form, "number1")->setText(QString::number(FirstCode + 3));
        child<QLineEdit>(&form, "number2")->setText(QString::number(FirstCode + 17));
        QVERIFY(form.search());
        QCOMPARE(shown, 3 + 3);
    }

    void indicatorQueryAndItsPicker() {
        Shell shell(40);
        DataSearchCodeForm picker(shell.db());
        picker.show();
        auto* fields = child<QListWidget>(&picker, "TypeList2");
        QCOMPARE(picker.currentPage(), 0);
        QCOMPARE(fields->item(0)->text(), QStringLiteral("c901"));
        picker.choosePage(2);
        QCOMPARE(fields->item(0)->text(), QStringLiteral("b001"));
        fields->setCurrentRow(1);
        picker.confirm();
        QCOMPARE(picker.chosen(), QStringLiteral("b002"));
        picker.hide();
        picker.show();
        QCOMPARE(picker.currentPage(), 0);

        DataSearchForm form(*shell.window);
        int shown = -1;
        QString countText;
        form.setListPresenter([&](QueryListForm& list) {
            shown = list.list().recordCount();
            countText = child<QLabel>(&list, "CountLabel")->text();
        });
        QVERIFY(!form.search());
        QCOMPARE(shell.ui.lastMessage(), QStringLiteral("请选择指标"));
        form.setIndicator(QStringLiteral("z002"));
        child<CodeNameBox>(&form, "lc1")->showName(4, QStringLiteral(">="));
        child<QLineEdit>(&form, "Number1")->setText(QStringLiteral("100"));
        QVERIFY(form.search());
        QCOMPARE(qint64(shown), shell.count(QStringLiteral("where z002>=100")));
        QCOMPARE(countText, QString::number(shown));

        // A number typed after an unchosen operator is refused, not handed to the engine.
        child<QLineEdit>(&form, "Number2")->setText(QStringLiteral("5"));
        QVERIFY(!form.search());
        QCOMPARE(shell.ui.lastMessage(), QStringLiteral("请为输入的数值选择比较符"));
    }

    void resultListDeletesAndExports() {
        Shell shell(12);
        QueryListForm list(shell.window->session(), shell.ui, shell.window->clock());
        list.runQuery({QStringLiteral("where c901>=?"), {FirstCode + 4}});
        QCOMPARE(list.resultCount(), 8);
        const TFieldDataArray columns = list.buildExportColumns();
        QVERIFY(!columns.empty());
        QCOMPARE(columns.at(1).hint, QStringLiteral("基层工会统计编码"));
        QVERIFY(list.list().model().title(0).endsWith(QStringLiteral("▲")));

        selectRows(list.list(), {1, 3});
        shell.ui.answerAsk(AskYesToAll);
        list.deleteSelected();
        QCOMPARE(shell.count(), 10);
        QCOMPARE(shell.count(QStringLiteral("where c901 in (100000000006, 100000000008)")), 0);
        QCOMPARE(list.list().recordCount(), 6);
        QCOMPARE(list.resultCount(), 8); // the count of the search stays

        QTemporaryDir dir;
        shell.ui.answerFile(dir.filePath(QStringLiteral("result")));
        list.saveAsExcel();
        XlsxReader book(dir.filePath(QStringLiteral("result.xlsx")));
        QVERIFY(book.isValid());
        QCOMPARE(book.sheetNames(), QStringList{QueryListForm::exportName()});
        QCOMPARE(book.cell(1, QStringLiteral("B3")), QStringLiteral("基层工会统计编码"));
        QCOMPARE(book.cell(1, QStringLiteral("B5")), QString::number(FirstCode + 4));
        QCOMPARE(book.cell(1, QStringLiteral("B10")), QString::number(FirstCode + 11));
        QCOMPARE(book.cell(1, QStringLiteral("B11")), QString());

        // The workbook follows the list's order after a title click.
        list.list().sortByTitleClick(1); // descending
        shell.ui.answerFile(dir.filePath(QStringLiteral("sorted.xlsx")));
        list.saveAsExcel();
        XlsxReader sorted(dir.filePath(QStringLiteral("sorted.xlsx")));
        QCOMPARE(sorted.cell(1, QStringLiteral("B5")), QString::number(FirstCode + 11));
        QCOMPARE(sorted.cell(1, QStringLiteral("B3")), QStringLiteral("基层工会统计编码"));

        shell.ui.answerFile(dir.filePath(QStringLiteral("detail.mdb")));
        list.saveAsAccess();
        engine::Connection detail(dir.filePath(QStringLiteral("detail.mdb")));
        QCOMPARE(
            detail.scalar(QStringLiteral("select count(*) from \"Corvalis_基层工会（离线工具）查询结果\""))
                .toInt(),
            6);

        // Editing hands the current record's code on.
        UnionCode edited = 0;
        list.setEditHandler([&edited](UnionCode code) { edited = code; });
        list.list().setCurrentRow(2);
        list.editCurrent();
        QCOMPARE(edited, FirstCode + 9); // rows, descending: ...12, ...11, ...10
    }

    void editingFromTheResultListWalksTheResult() {
        Shell shell(15);
        shell.window->recordList().setCurrentRow(0);
        // What the entry form showed, read while it was open and asserted after it closed.
        QStringList counters;
        QStringList codes;
        bool nextAtEnd = true;
        auto readForm = [&counters, &codes](QWidget* form) {
            counters << child<QLabel>(form, "ItemNo")->text();
            codes << form->findChild<QLineEdit*>(QStringLiteral("c901"))->text();
        };
        const bool shown = showQueryList(
            *shell.window, {QStringLiteral("where c901>?"), {FirstCode + 12}}, [&](QueryListForm& list) {
                list.show();
                QVERIFY(QTest::qWaitForWindowExposed(&list));
                QTimer::singleShot(0, [&] {
                    QWidget* form = QApplication::activeModalWidget();
                    if (!form || form->objectName() != QStringLiteral("TdlgSurveyDataForm"))
                        return;
                    readForm(form);
                    auto* next = child<QAction>(form, "actNext");
                    QTest::mouseClick(child<QToolBar>(form, "NavBar")->widgetForAction(next), Qt::LeftButton);
                    readForm(form);
                    nextAtEnd = next->isEnabled();
                    QTest::mouseClick(child<QToolButton>(form, "tbReturn"), Qt::LeftButton);
                });
                RecordList& result = list.list();
                const QPoint first = result.visualRect(result.model().index(0, 1)).center();
                QTest::mouseClick(result.viewport(), Qt::LeftButton, {}, first);
                QTest::mouseDClick(result.viewport(), Qt::LeftButton, {}, first);
                // The result list stays on the record the form was left on.
                QCOMPARE(result.currentCode(), std::optional<UnionCode>(FirstCode + 14));
            });
        QVERIFY(shown);
        QCOMPARE(counters, (QStringList{QStringLiteral("第1条/共2条"), QStringLiteral("第2条/共2条")}));
        QCOMPARE(codes, (QStringList{QString::number(FirstCode + 13), QString::number(FirstCode + 14)}));
        QVERIFY(!nextAtEnd);
        // The main list was not walked.
        QCOMPARE(shell.current(), std::optional<UnionCode>(FirstCode));

        // A condition the engine rejects shows its error and no list.
        bool presented = false;
        QVERIFY(!showQueryList(*shell.window, {QStringLiteral("where nosuchcolumn=?"), {1}},
                               [&presented](QueryListForm&) { presented = true; }));
        QVERIFY(!presented);
        QVERIFY(shell.ui.lastMessage().startsWith(QStringLiteral("运行中发生错误：")));
    }

    void deleteDialogBySelectionRangeAndAll() {
        Shell shell(10);
        DeleteForm form(*shell.window);
        RecordList& main = shell.window->recordList();
        selectRows(main, {2, 5});
        shell.ui.answerAsk(AskYesToAll);
        form.deleteRecords();
        QCOMPARE(shell.count(), 8);
        QCOMPARE(main.recordCount(), 8);

        child<QRadioButton>(&form, "Range")->setChecked(true);
        child<QLineEdit>(&form, "c901_1")->setText(QString::number(FirstCode + 8));
        child<QLineEdit>(&form, "c901_2")->setText(QString::number(FirstCode + 1));
        shell.ui.answerYes();
        form.deleteRecords();
        QCOMPARE(child<QLineEdit>(&form, "c901_2")->text(), QString::number(FirstCode + 8));
        QCOMPARE(shell.count(), 7);

        child<QLineEdit>(&form, "c901_2")->clear();
        form.deleteRecords();
        QCOMPARE(shell.ui.lastMessage(), QStringLiteral("请输入删除的范围"));
        QCOMPARE(child<QLineEdit>(&form, "c901_2")->text(), QStringLiteral("0"));

        child<QRadioButton>(&form, "AllRecord")->setChecked(true);
        shell.ui.answerYes();
        form.deleteRecords();
        QCOMPARE(shell.count(), 0);
        QVERIFY(main.isEmpty());
        QVERIFY(!shell.window->action(QStringLiteral("actDelete"))->isEnabled());
        QVERIFY(!shell.window->action(QStringLiteral("actLocate"))->isEnabled());
    }

    void listExportDialog() {
        Shell shell(6);
        QFile::copy(QStringLiteral(CORVALIS_SOURCE_DIR) + QStringLiteral("/data/program/exporttable.vq"),
                    shell.folder.file(QStringLiteral("exporttable.vq")));
        SaveListForm form(*shell.window);
        form.show();
        auto* tables = child<QListWidget>(&form, "TableList");
        QCOMPARE(tables->count(), 8);
        QVERIFY(!child<QToolButton>(&form, "tbGroup")->isEnabled());
        QVERIFY(!child<QRadioButton>(&form, "radioGroup")->isEnabled());
        QCOMPARE(child<QToolButton>(&form, "tbGroup")->text(), QStringLiteral("     选择自定义分组"));
        QVERIFY(child<QCheckBox>(&form, "CheckBox1")->isHidden());

        tables->item(7)->setCheckState(Qt::Checked);
        QTemporaryDir dir;
        shell.ui.answerFile(dir.filePath(QStringLiteral("list.xlsx")));
        QCOMPARE(form.exportList(), dir.filePath(QStringLiteral("list.xlsx")));
        XlsxReader book(dir.filePath(QStringLiteral("list.xlsx")));
        QCOMPARE(book.cell(1, QStringLiteral("A3")), QStringLiteral("c901"));
        QCOMPARE(book.cell(1, QStringLiteral("L3")), QStringLiteral("RecordState"));
        QCOMPARE(book.cell(1, QStringLiteral("P3")), QStringLiteral("s004"));
        QCOMPARE(book.cell(1, QStringLiteral("Q3")), QString());
        QCOMPARE(book.cell(1, QStringLiteral("A10")), QString::number(FirstCode + 5));
        QVERIFY(child<QPushButton>(&form, "tbSave")->isEnabled());

        shell.window->settings().setFlag(Setting::ListExportOnlyShown, true);
        form.finish();
        QVERIFY(!shell.window->settings().flag(Setting::ListExportOnlyShown));
    }

    void listExportByGroupRange() {
        Shell shell(8);
        shell.db().execute(
            QStringLiteral("insert into DT_GroupItem (GroupID, Title, LowBoundary, HighBoundary, "
                           "LowSymbol, HighSymbol) values (1, '前段', ?, ?, '>=', '<'), "
                           "(1, '后段', ?, ?, '>', '<=')"),
            {FirstCode, FirstCode + 3, FirstCode + 3, FirstCode + 7});
        SaveListForm form(*shell.window);
        form.show();
        auto* button = child<QToolButton>(&form, "tbGroup");
        QCOMPARE(button->text(), QStringLiteral("前段"));
        QCOMPARE(button->menu()->actions().size(), 2);
        button->menu()->actions().at(1)->trigger();
        QCOMPARE(button->text(), QStringLiteral("后段"));
        QVERIFY(child<QRadioButton>(&form, "AllRecord")->isChecked());
        child<QRadioButton>(&form, "radioGroup")->setChecked(true);
        QTemporaryDir dir;
        shell.ui.answerFile(dir.filePath(QStringLiteral("group.xlsx")));
        QVERIFY(!form.exportList().isEmpty());
        XlsxReader book(dir.filePath(QStringLiteral("group.xlsx")));
        QCOMPARE(book.cell(1, QStringLiteral("A5")), QString::number(FirstCode + 4));
        QCOMPARE(book.cell(1, QStringLiteral("A8")), QString::number(FirstCode + 7));
        QCOMPARE(book.cell(1, QStringLiteral("A9")), QString());
    }
};

QTEST_MAIN(SearchUiTest)
#include "tst_search_ui.moc"
