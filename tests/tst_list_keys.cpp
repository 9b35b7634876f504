// test-kind: shell
// The record lists as a clerk uses them with the keyboard: Enter, Insert and Delete act only on a key
// whose press the list received; the main list keeps its place across the entry form; customising the
// list leaves the fields it does not offer alone.
#include "app/engine/Connection.h"
#include "app/ui/RecordList.h"
#include "records/RecordGenerator.h"
#include "records/ui/NumericEdit.h"
#include "records/ui/SurveyDataForm.h"
#include "search/ui/QueryListForm.h"
#include "shell/FieldChoiceDialog.h"
#include "support/ProgramWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {
constexpr qint64 FirstCode = 110101000100;

struct Program {
    TestFolder folder;
    QTemporaryDir settingsDir;
    ScriptedUiServices ui;
    std::unique_ptr<MainWindow> window;

    explicit Program(int records) {
        if (records > 0) {
            engine::Connection connection(folder.defaultDatabase());
            records::GeneratorOptions options;
            options.count = records;
            options.firstCode = FirstCode;
            records::generateRecords(connection, options);
        }
        StartOptions options;
        options.splash = false;
        options.settingsFile = settingsDir.filePath(QStringLiteral("settings.ini"));
        options.ui = &ui;
        window = makeProgramWindow(folder.folder(), options);
        window->startUp();
        window->resize(1000, 600);
        window->show();
        window->activateWindow();
    }
    RecordList& list() const { return window->recordList(); }
};

// A message box over the list, closed by an Enter press that the box takes; the release of that key
// then reaches the list, which has the focus again, as it does on a desktop.
void closeMessageBoxWithEnter(QWidget* list, const std::function<void()>& showBox) {
    QTimer::singleShot(0, list, [] {
        QWidget* box = QApplication::activeModalWidget();
        if (box)
            QTest::keyPress(box, Qt::Key_Return);
    });
    showBox();
    QTest::keyRelease(list, Qt::Key_Return);
}

// Answers the entry form, once it is up, by clicking 返回.
void returnFromTheForm(QObject* context, bool& sawForm) {
    QTimer::singleShot(0, context, [&sawForm] {
        auto* form = qobject_cast<records::TdlgSurveyDataForm*>(QApplication::activeModalWidget());
        if (!form)
            return;
        sawForm = true;
        QTest::mouseClick(form->findChild<QToolButton*>(QStringLiteral("tbReturn")), Qt::LeftButton);
    });
}
} // namespace

class ListKeysTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void enterThatClosedADialogDoesNotReachTheList() {
        Program program(20);
        int modifies = 0;
        program.window->setHandler(QStringLiteral("actModify"), [&] { ++modifies; });
        RecordList& list = program.list();
        list.setFocus();
        QtUiServices boxes(program.window.get());
        closeMessageBoxWithEnter(&list, [&] { boxes.showMessage(QStringLiteral("检查完毕"), {}, {}); });
        QCOMPARE(modifies, 0);
        // Its own Enter still opens the record.
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(modifies, 1);

        // The query result list behaves the same way.
        search::QueryListForm results(program.window->session(), program.ui, program.window->clock(),
                                      program.window.get());
        results.runQuery({QStringLiteral("where c901>?"), {FirstCode + 9}});
        QList<UnionCode> edited;
        results.setEditHandler([&](UnionCode code) { edited << code; });
        results.show();
        QVERIFY(QTest::qWaitForWindowActive(&results));
        RecordList& found = results.list();
        found.setFocus();
        QtUiServices overResults(&results);
        closeMessageBoxWithEnter(&found,
                                 [&] { overResults.showMessage(QStringLiteral("导出完毕"), {}, {}); });
        QVERIFY(edited.isEmpty());
        found.setCurrentRow(2);
        QTest::keyClick(&found, Qt::Key_Return);
        QCOMPARE(edited, QList<UnionCode>{FirstCode + 12});
        // Delete, too, needs its own press.
        QTest::keyRelease(&found, Qt::Key_Delete);
        QVERIFY(program.ui.questions().empty());
        QVERIFY(program.ui.messageTexts().isEmpty());
    }

    void theListKeepsItsPlaceAcrossTheForm() {
        Program program(200);
        RecordList& list = program.list();
        QVERIFY(QTest::qWaitForWindowExposed(program.window.get()));
        list.setFocus();
        list.setCurrentRow(50);
        list.selectionModel()->select(list.model().index(52, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const int scroll = list.verticalScrollBar()->value();
        QVERIFY(scroll > 0);

        bool sawForm = false;
        returnFromTheForm(this, sawForm);
        QTest::keyClick(&list, Qt::Key_Return);
        QVERIFY(sawForm);
        QCOMPARE(list.currentRow(), 50);
        QCOMPARE(list.verticalScrollBar()->value(), scroll);
        QCOMPARE(list.selectedCount(), 2);
        QCOMPARE(list.selectedCodes(), (QList<UnionCode>{FirstCode + 50, FirstCode + 52}));

        // After an add the list shows the record added.
        sawForm = false;
        QTimer::singleShot(0, this, [&sawForm] {
            auto* form = qobject_cast<records::TdlgSurveyDataForm*>(QApplication::activeModalWidget());
            if (!form)
                return;
            sawForm = true;
            const auto number = [form](const char* name, qint64 value) {
                form->numericBox(QString::fromLatin1(name))->setValue(value);
            };
            const auto text = [form](const char* name, const QString& value) {
                qobject_cast<QLineEdit*>(form->control(QString::fromLatin1(name)))->setText(value);
            };
            number("c901", 110101000001);
            text("c902", QStringLiteral("新建机械厂工会"));
            number("c903", 110101);
            number("c904", 1);
            number("c905", 1);
            number("c906", 110);
            text("c907", QStringLiteral("A01"));
            number("c912", 1);
            text("c910", QStringLiteral("张三"));
            text("c911", QStringLiteral("01088886666"));
            form->formalSave(false);
            QTest::mouseClick(form->findChild<QToolButton*>(QStringLiteral("tbReturn")), Qt::LeftButton);
        });
        QTest::keyClick(&list, Qt::Key_Insert);
        QVERIFY(sawForm);
        QCOMPARE(list.currentCode(), std::optional<UnionCode>(110101000001));
        QCOMPARE(list.currentRow(), 0);
        QCOMPARE(list.recordCount(), 201);
    }

    void customisingTheListKeepsTheFieldsItDoesNotOffer() {
        Program program(3);
        const auto visibleOf = [&](const char* name) {
            for (const TFieldData& field : program.window->fieldDictionary())
                if (field.fieldName.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                    return field.visible;
            return false;
        };
        QVERIFY(visibleOf("id"));
        QVERIFY(visibleOf("RecordState"));
        FieldChoiceDialog dialog(
            program.window->session(), program.ui, [&] { program.window->reloadDictionary(); },
            program.window.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* name = dialog.findChild<QCheckBox*>(QStringLiteral("field_c902"));
        QVERIFY(name->isChecked());
        QTest::mouseClick(name, Qt::LeftButton, {}, QPoint(6, name->height() / 2));
        QVERIFY(!name->isChecked());
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("tbSave")), Qt::LeftButton);
        QCOMPARE(program.ui.lastMessage(), QStringLiteral("保存成功"));
        QVERIFY(!visibleOf("c902"));
        QVERIFY(visibleOf("c901"));
        QVERIFY(visibleOf("id"));
        QVERIFY(visibleOf("RecordState"));
        const RecordList& list = program.list();
        for (int column = 0; column < list.model().columnCount(); ++column) {
            const TFieldData& field = program.window->fieldDictionary()[size_t(column)];
            QCOMPARE(list.isColumnHidden(column), !field.visible);
        }
    }
};

QTEST_MAIN(ListKeysTest)
#include "tst_list_keys.moc"
