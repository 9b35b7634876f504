// test-kind: shell
#include "app/ProgressEstimate.h"
#include "app/Settings.h"
#include "app/engine/Connection.h"
#include "app/ui/CodePopup.h"
#include "app/ui/ProgressForms.h"
#include "app/ui/QtUiServices.h"
#include "app/ui/QuestionDialog.h"
#include "app/ui/WheelTranslator.h"
#include "records/RecordGenerator.h"
#include "shell/AboutDialog.h"
#include "shell/CommandTable.h"
#include "shell/FieldChoiceDialog.h"
#include "support/ProgramWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {
void addRecords(const QString& database, int count) {
    engine::Connection connection(database);
    records::GeneratorOptions options;
    options.count = count;
    records::generateRecords(connection, options);
}

struct Shell {
    TestFolder folder;
    QTemporaryDir settingsDir;
    ScriptedUiServices ui;
    std::unique_ptr<MainWindow> window;

    explicit Shell(int records = 0) {
        if (records > 0)
            addRecords(folder.defaultDatabase(), records);
        StartOptions options;
        options.splash = false;
        options.settingsFile = settingsDir.filePath(QStringLiteral("settings.ini"));
        options.clock = std::make_shared<FixedClock>(QDateTime(QDate(2021, 3, 5), QTime(9, 30)));
        options.ui = &ui;
        window = makeProgramWindow(folder.folder(), options);
    }
    bool start() { return window->startUp(); }
    QAction* action(const char* name) const { return window->action(QString::fromLatin1(name)); }
    QStringList visibleTexts(const QMenu* menu) const {
        QStringList texts;
        for (QAction* item : menu->actions())
            texts << (item->isSeparator()
                          ? QStringLiteral("-")
                          : (item->isVisible() ? item->text() : QStringLiteral("(%1)").arg(item->text())));
        return texts;
    }
};
} // namespace

class ShellTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startUpShowsCaptionStatusAndCommandConfiguration() {
        Shell shell;
        QVERIFY(shell.start());
        MainWindow& window = *shell.window;
        QCOMPARE(window.windowTitle(),
                 QStringLiteral("2020年度全国Corvalis--基层工会调查表（离线工具） - 默认数据库"));
        QVERIFY(window.statusVersion()->text().startsWith(
            QStringLiteral("开发单位：Orvanteq　软件版本：1.0 (Build ")));
        QCOMPARE(statusVersionText(-1), QStringLiteral("开发单位：Orvanteq　软件版本：1.0 (Build -1)"));
        QCOMPARE(window.clockStatus()->text(), QStringLiteral("2021年03月05日"));

        // Groups: 数据操作 open, the other two closed; items in order with the hidden ones hidden.
        auto* first = window.findChild<QToolButton*>(QStringLiteral("RzGroup1"));
        QVERIFY(first && first->isChecked());
        QVERIFY(!window.findChild<QToolButton*>(QStringLiteral("RzGroup2"))->isChecked());
        QVERIFY(!window.findChild<QToolButton*>(QStringLiteral("RzGroup3"))->isChecked());
        QWidget* backup = window.findChild<QWidget*>(QStringLiteral("RzGroup2Items"));
        QStringList shown;
        for (QToolButton* button : backup->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly))
            if (!button->isHidden())
                shown << button->text();
        QCOMPARE(shown, (QStringList{QStringLiteral("数据导入"), QStringLiteral("导入预览"),
                                     QStringLiteral("导入记录"), QStringLiteral("数据备份"),
                                     QStringLiteral("上报到离线版"), QStringLiteral("上报到网络版")}));
        QWidget* tools = window.findChild<QWidget*>(QStringLiteral("RzGroup3Items"));
        shown.clear();
        for (QToolButton* button : tools->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly))
            if (!button->isHidden())
                shown << button->text();
        QCOMPARE(shown, (QStringList{QStringLiteral("压缩数据库文件"), QStringLiteral("参数设置"),
                                     QStringLiteral("自定义列表显示")}));
        for (const char* hidden :
             {"actOpenDB", "actOpenDefault", "actLabel", "actImport", "itemMultiImport", "itemRestore",
              "itemTidy", "itemImportCsv", "itemConvert", "itemExportLogic"})
            QVERIFY2(!shell.action(hidden)->isVisible(), hidden);
        QCOMPARE(shell.action("actExport")->text(), QStringLiteral("数据上报"));

        // Menus in order; 文件 and 导入导出 hidden; 关于 and 退出 at the top level.
        QStringList menus;
        for (QAction* item : window.menuBar()->actions())
            menus << (item->isVisible() ? item->text() : QStringLiteral("(%1)").arg(item->text()));
        QCOMPARE(
            menus,
            (QStringList{QStringLiteral("(文件)"), QStringLiteral("数据记录"), QStringLiteral("查找"),
                         QStringLiteral("逻辑检查"), QStringLiteral("数据处理"), QStringLiteral("(导入导出)"),
                         QStringLiteral("工具"), QStringLiteral("关于"), QStringLiteral("退出")}));
        const QMenu* toolsMenu = window.menuBar()->actions().at(6)->menu();
        QCOMPARE(shell.visibleTexts(toolsMenu),
                 (QStringList{QStringLiteral("(修改数据库标识)"), QStringLiteral("参数设置"),
                              QStringLiteral("压缩数据库文件"), QStringLiteral("自定义列表显示")}));
        const auto* popup = window.findChild<QMenu*>(QStringLiteral("GridPopupMenu"));
        QCOMPARE(shell.visibleTexts(popup),
                 (QStringList{QStringLiteral("添加新记录"), QStringLiteral("修改选中的记录"),
                              QStringLiteral("删除记录"), QStringLiteral("-"),
                              QStringLiteral("按条件查找定位数据"), QStringLiteral("按编号范围查找数据"),
                              QStringLiteral("-"), QStringLiteral("检查选中数据的逻辑"), QStringLiteral("-"),
                              QStringLiteral("自定义列表显示"), QStringLiteral("打印选中记录的年报表")}));
        // Every command of the table exists as an action.
        for (const CommandInfo& command : commandTable())
            QVERIFY2(window.action(QString::fromLatin1(command.name)), command.name);
    }

    void aMissingDatabaseEndsTheStart() {
        Shell shell;
        QFile::remove(shell.folder.defaultDatabase());
        QVERIFY(!shell.start());
        QCOMPARE(shell.ui.lastMessage(), QStringLiteral("没有找到系统数据文件，请重新安装。"));
    }

    void commandsFollowTheListAndKeysRunTheirHandlers() {
        Shell empty;
        QVERIFY(empty.start());
        int adds = 0, modifies = 0, deletes = 0, locates = 0, finds = 0;
        MainWindow& window = *empty.window;
        window.setHandler(QStringLiteral("actAddNew"), [&] { ++adds; });
        window.setHandler(QStringLiteral("actModify"), [&] { ++modifies; });
        window.setHandler(QStringLiteral("actDelete"), [&] { ++deletes; });
        window.setHandler(QStringLiteral("actLocate"), [&] { ++locates; });
        window.setHandler(QStringLiteral("actConditionSearch"), [&] { ++finds; });
        for (const char* name : {"actModify", "actDelete", "actLocate", "actSearch", "actPrint"})
            QVERIFY2(!empty.action(name)->isEnabled(), name);
        QVERIFY(empty.action("actAddNew")->isEnabled());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
        QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(locates + finds, 0);
        // The list's keys call their handlers whatever the enabled state: the handler decides.
        RecordList& list = window.recordList();
        QTest::keyClick(&list, Qt::Key_Insert);
        QTest::keyClick(&list, Qt::Key_Return);
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(adds, 1);
        QCOMPARE(modifies, 1);
        QCOMPARE(deletes, 1);

        Shell full(30);
        QVERIFY(full.start());
        for (const char* name :
             {"actModify", "actDelete", "actLocate", "actSearch", "actPrint", "actRecordGrid"})
            QVERIFY2(full.action(name)->isEnabled(), name);
        int fullFinds = 0;
        full.window->setHandler(QStringLiteral("actConditionSearch"), [&] { ++fullFinds; });
        full.window->show();
        QVERIFY(QTest::qWaitForWindowActive(full.window.get()));
        QTest::keyClick(full.window.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(fullFinds, 1);
        // A command without a handler says so instead of doing nothing silently.
        full.ui.clear();
        full.window->setHandler(QStringLiteral("actSum"), {});
        full.action("actSum")->trigger();
        QVERIFY(full.ui.lastMessage().contains(QStringLiteral("数据汇总")));
    }

    void theWheelMovesTheCurrentRowOneRowPerNotch() {
        Shell shell(10);
        QVERIFY(shell.start());
        WheelTranslator translator;
        qApp->installEventFilter(&translator);
        RecordList& list = shell.window->recordList();
        shell.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(shell.window.get()));
        list.setCurrentRow(5);
        const auto turn = [&list](int delta) {
            QWheelEvent wheel(QPointF(10, 10), list.viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                              QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list.viewport(), &wheel);
        };
        turn(120);
        QCOMPARE(list.currentRow(), 4);
        turn(-120);
        turn(-120);
        QCOMPARE(list.currentRow(), 6);
        qApp->removeEventFilter(&translator);
    }

    void theListIsStripedAndSortsByTitleClicks() {
        Shell shell(20);
        QVERIFY(shell.start());
        RecordList& list = shell.window->recordList();
        RecordListModel& model = list.model();
        QCOMPARE(model.data(model.index(0, 0), Qt::BackgroundRole).value<QColor>(), QColor(249, 251, 231));
        QCOMPARE(model.data(model.index(1, 0), Qt::BackgroundRole).value<QColor>(), QColor(219, 219, 241));
        const TFieldDataArray& dictionary = shell.window->fieldDictionary();
        int codeColumn = -1, stateColumn = -1, nameColumn = -1;
        for (size_t i = 0; i < dictionary.size(); ++i) {
            if (dictionary[i].showName == QLatin1String("c901"))
                codeColumn = int(i);
            if (dictionary[i].showName == QLatin1String("RecordState"))
                stateColumn = int(i);
            if (dictionary[i].showName == QLatin1String("c902"))
                nameColumn = int(i);
        }
        QCOMPARE(model.data(model.index(0, stateColumn), Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter,
                 int(Qt::AlignHCenter));
        QCOMPARE(model.data(model.index(0, codeColumn), Qt::TextAlignmentRole).toInt() & Qt::AlignLeft,
                 int(Qt::AlignLeft));
        // Fields not shown in lists keep their (hidden) column, so entries and columns stay aligned.
        QCOMPARE(model.columnCount(), int(dictionary.size()));
        QVERIFY(list.isColumnHidden(int(dictionary.size()) - 1) || !dictionary.back().visible);

        const QString codeTitle = model.title(codeColumn);
        const double lowest = model.keyAt(0).toDouble();
        list.sortByTitleClick(codeColumn); // the list starts ascending: the first click sorts descending
        QCOMPARE(model.title(codeColumn), codeTitle + QStringLiteral("▼"));
        QVERIFY(model.keyAt(0).toDouble() > lowest);
        QCOMPARE(model.headerData(codeColumn, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(),
                 QColor(0, 255, 0));
        list.sortByTitleClick(codeColumn);
        QCOMPARE(model.title(codeColumn), codeTitle + QStringLiteral("▲"));
        QCOMPARE(model.keyAt(0).toDouble(), lowest);
        // Another column continues the alternation; the first loses its mark and colour.
        const QString nameTitle = model.title(nameColumn);
        list.sortByTitleClick(nameColumn);
        QCOMPARE(model.title(nameColumn), nameTitle + QStringLiteral("▼"));
        QCOMPARE(model.title(codeColumn), codeTitle);
        QVERIFY(model.headerData(codeColumn, Qt::Horizontal, Qt::ForegroundRole).value<QColor>() !=
                QColor(0, 255, 0));
        QVERIFY(model.data(model.index(0, nameColumn), Qt::DisplayRole).toString() >=
                model.data(model.index(1, nameColumn), Qt::DisplayRole).toString());
        // Rebuilding the list resets the order and the marks.
        shell.window->reloadDictionary();
        QCOMPARE(list.sortState(), SortState::Ascending);
        QCOMPARE(model.title(nameColumn), nameTitle);
        QCOMPARE(model.keyAt(0).toDouble(), lowest);
    }

    void positionIsKeptAcrossARerunAndFallsOnANeighbour() {
        Shell shell(12);
        QVERIFY(shell.start());
        RecordList& list = shell.window->recordList();
        list.setCurrentRow(4);
        const UnionCode code = *list.currentCode();
        auto& db = shell.window->session().connection();
        db.execute(QStringLiteral("delete from dt_data where c901 = (select min(c901) from dt_data)"));
        shell.window->refreshList();
        QCOMPARE(*list.currentCode(), code); // same record, one row higher now
        QCOMPARE(list.currentRow(), 3);
        db.execute(QStringLiteral("delete from dt_data where c901 = ?1"), {code});
        shell.window->refreshList();
        QCOMPARE(list.currentRow(), 3); // the record that took its place
        QVERIFY(*list.currentCode() > code);
        list.setCurrentRow(list.recordCount() - 1);
        db.execute(QStringLiteral("delete from dt_data where c901 = (select max(c901) from dt_data)"));
        shell.window->refreshList();
        QCOMPARE(list.currentRow(), list.recordCount() - 1);
        QCOMPARE(list.selectedCodes().size(), 1);
    }

    void choosingNoFieldLeavesNoVisibleColumn() {
        Shell shell(3);
        QVERIFY(shell.start());
        FieldChoiceDialog dialog(shell.window->session(), shell.ui,
                                 [&] { shell.window->reloadDictionary(); });
        auto* pages = dialog.findChild<QTabWidget*>(QStringLiteral("DataPage"));
        QCOMPARE(pages->count(), 8);
        QCOMPARE(pages->tabText(0), QStringLiteral("封面"));
        const QList<QCheckBox*> boxes = dialog.findChildren<QCheckBox*>();
        QCOMPARE(boxes.size(), 11 + 84);
        auto* code = dialog.findChild<QCheckBox*>(QStringLiteral("field_c901"));
        QVERIFY(code->isChecked());
        QCOMPARE(code->text(), QStringLiteral("c901--基层工会统计编码"));
        for (QCheckBox* box : boxes)
            box->setChecked(false);
        auto* save = dialog.findChild<QPushButton*>(QStringLiteral("tbSave"));
        save->click();
        QCOMPARE(shell.ui.lastMessage(), QStringLiteral("保存成功"));
        QVERIFY(!save->isEnabled());
        // id and RecordState belong to no page and keep their state; every page field is hidden now.
        int visible = 0;
        for (const TFieldData& field : shell.window->fieldDictionary())
            visible += field.visible && field.pageId >= 0 ? 1 : 0;
        QCOMPARE(visible, 0);
        RecordList& list = shell.window->recordList();
        for (int c = 0; c < list.model().columnCount(); ++c)
            if (shell.window->fieldDictionary()[size_t(c)].pageId >= 0)
                QVERIFY(list.isColumnHidden(c));
    }

    void settingsInitialiseOnFirstAndLaterRuns() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("s.ini"));
        {
            Settings settings(file);
            settings.setText(Setting::ImePrefer, QStringLiteral("pinyin"));
            settings.initSettings(QStringLiteral("/opt/prog"));
            QCOMPARE(settings.text(Setting::ServicePack), QStringLiteral("None"));
            QCOMPARE(settings.text(Setting::FilePath), QStringLiteral("/opt/prog/"));
            QCOMPARE(settings.integer(Setting::AppType), 0);
            QCOMPARE(settings.preferredInputMethod, QString());     // first run: nothing read
            QCOMPARE(settings.text(Setting::ImePrefer), QString()); // and written empty again
        }
        {
            Settings settings(file);
            settings.setText(Setting::Version, QStringLiteral("1.0"));
            settings.setText(Setting::ImePrefer, QStringLiteral("pinyin"));
            settings.setInteger(Setting::InputWndStyle, 1);
            settings.initSettings(QStringLiteral("/elsewhere"));
            QCOMPARE(settings.preferredInputMethod, QStringLiteral("pinyin"));
            QVERIFY(settings.simpleInputWindow);
            QCOMPARE(settings.text(Setting::FilePath), QStringLiteral("/opt/prog/"));
        }
        Settings settings(file);
        QCOMPARE(settings.integer(Setting::ShowGrid), 1);
        QCOMPARE(settings.integer(Setting::AppLastCity), 0);
        settings.store().setValue(QStringLiteral("Options/EnvSetting/AppLastCity"),
                                  QStringLiteral("not a number"));
        QCOMPARE(settings.integer(Setting::AppLastCity), 0);
        settings.setText(Setting::FillerName, QStringLiteral("张三"));
        QCOMPARE(Settings(file).text(Setting::FillerName), QStringLiteral("张三"));
        QVERIFY(Settings(file).store().contains(QStringLiteral("Data/c910")));
    }

    void askQuestionShowsTheMaskedButtonsAndReturnsTheirResults() {
        QuestionDialog some(QStringLiteral("您确定要删除当前所选择的记录吗?"), AskShowNo | AskShowYesToAll);
        QStringList shown;
        for (const char* name : {"tbOK", "tbCopyAll", "tbCancel", "tbNotToAll"})
            if (!some.findChild<QPushButton*>(QString::fromLatin1(name))->isHidden())
                shown << QString::fromLatin1(name);
        QCOMPARE(shown, (QStringList{QStringLiteral("tbCopyAll"), QStringLiteral("tbCancel")}));
        QuestionDialog all(QStringLiteral("您确定要删除当前所选择的记录吗?"), 15);
        QVERIFY(some.width() < all.width());
        QCOMPARE(some.windowTitle(), QStringLiteral("提示信息"));

        const auto press = [](int mask, const char* button) {
            QuestionDialog dialog(QStringLiteral("?"), mask);
            QTimer::singleShot(0, &dialog, [&dialog, button] {
                if (button)
                    dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click();
                else
                    dialog.reject();
            });
            return dialog.ask();
        };
        QCOMPARE(press(15, "tbOK"), 6);
        QCOMPARE(press(15, "tbCancel"), 7);
        QCOMPARE(press(15, "tbNotToAll"), 9);
        QCOMPARE(press(15, "tbCopyAll"), 10);
        QCOMPARE(press(15, nullptr), 2);
    }

    void theProgressEstimateAppearsAfterFiveSeconds() {
        ProgressEstimate estimate;
        estimate.start(200, 0);
        for (int tick = 1; tick <= 50; ++tick) {
            if (tick % 5 == 0)
                estimate.step(10); // 20 items per second
            estimate.tick();
        }
        QCOMPARE(estimate.doneText(), QStringLiteral("已完成 100"));
        QCOMPARE(estimate.remainingText(), QStringLiteral("待完成 100"));
        estimate.tick(); // tick 51
        QCOMPARE(estimate.estimate(), 51);
        QCOMPARE(estimate.doneText(), QStringLiteral("已完成 100 用时5秒"));
        QCOMPARE(estimate.remainingText(), QStringLiteral("待完成 100 尚需6秒"));

        ProgressBarForm form;
        form.startProgress(200, 0);
        for (int i = 0; i < 60; ++i)
            form.tick();
        form.hideProgress();
        form.startProgress(200, 0); // a restart forgets the ticks
        form.stepProgress(10);
        form.tick();
        QCOMPARE(form.findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("已完成 10"));
        QCOMPARE(form.percent(), 5);
        form.stepProgress(190);
        QCOMPARE(form.percent(), 100);
    }

    void theAboutBoxClosesByItselfAndRunsTheMaintenanceGesture() {
        AboutDialog splash(101, true);
        for (int i = 0; i < 49; ++i)
            splash.tick();
        QVERIFY(splash.result() != QDialog::Accepted);
        splash.tick();
        QCOMPARE(splash.result(), int(QDialog::Accepted));

        Shell shell(5);
        QVERIFY(shell.start());
        AboutDialog about(101, false);
        bool ran = false;
        about.setMaintenanceAction([&] { ran = true; });
        about.nameDoubleClicked(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
        QVERIFY(!ran);
        about.nameDoubleClicked(Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(ran);
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("VersionLabel"))->text(),
                 QStringLiteral("版本：1.0 (Build 101)"));
    }

    void compactionFromTheWindowKeepsTheList() {
        Shell shell(15);
        QVERIFY(shell.start());
        RecordList& list = shell.window->recordList();
        list.setCurrentRow(7);
        const UnionCode code = *list.currentCode();
        const int columns = list.model().columnCount();
        shell.action("actCompress")->trigger();
        QCOMPARE(shell.ui.lastMessage(), QStringLiteral("压缩操作成功"));
        QCOMPARE(list.model().columnCount(), columns);
        QCOMPARE(*list.currentCode(), code);
        QCOMPARE(list.recordCount(), 15);
    }

    void codePopupChecksTheCurrentEntryAndFillsTheBox() {
        CodeNameBox box;
        box.setCode(2);
        qint64 chosen = -1;
        showCodePopup(&box, {{1, QStringLiteral("单独基层工会")}, {2, QStringLiteral(" 联合基层工会 ")}},
                      [&](qint64 c) { chosen = c; });
        QMenu& menu = CodePopup::of(&box).menu();
        QCOMPARE(menu.actions().size(), 2);
        QVERIFY(!menu.actions().at(0)->isChecked());
        QVERIFY(menu.actions().at(1)->isChecked());
        CodePopup::of(&box).itemClicked(menu.actions().at(1));
        QCOMPARE(box.text(), QStringLiteral("联合基层工会"));
        QCOMPARE(box.code(), 2);
        QCOMPARE(chosen, 2);
        menu.hide();
        showCodePopup(&box, {});
        QVERIFY(menu.actions().isEmpty());
        menu.hide();
    }

    // Each window has its own pop-up, which goes with the window, so none outlives the application.
    void codePopupBelongsToTheWindowOfItsBox() {
        auto* first = new QWidget;
        auto* firstBox = new CodeNameBox(first);
        QWidget second;
        auto* secondBox = new CodeNameBox(&second);
        showCodePopup(firstBox, {{1, QStringLiteral("甲")}});
        QPointer<CodePopup> firstPopup = &CodePopup::of(firstBox);
        QCOMPARE(firstPopup->parent(), first);
        QCOMPARE(&CodePopup::of(firstBox), firstPopup.data());
        QVERIFY(&CodePopup::of(secondBox) != firstPopup.data());
        firstPopup->hide();
        delete first;
        QVERIFY(firstPopup.isNull());
        QVERIFY(CodePopup::of(secondBox).actions().isEmpty());
    }

    void filtersTranslateToQtForm() {
        QCOMPARE(qtFilters(QStringLiteral("数据加密文件(*.dat)|*.dat|数据备份文件(*.mdb)|*.mdb")),
                 (QStringList{QStringLiteral("数据加密文件(*.dat)"), QStringLiteral("数据备份文件(*.mdb)")}));
        QCOMPARE(qtFilters(QStringLiteral("Excel 文件|*.xlsx")),
                 QStringList{QStringLiteral("Excel 文件 (*.xlsx)")});
        QCOMPARE(displayText(QStringLiteral("a\n\rb")), QStringLiteral("a\nb"));
    }
};

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
