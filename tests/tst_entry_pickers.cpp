// test-kind: shell
// The code pickers of the entry form's cover as a clerk reaches them on a new record, whose codes are
// still invalid: F4 and Alt+Down in the code box, or the drop-down button beside it.
#include "app/ui/CodePopup.h"
#include "records/FieldRules.h"
#include "records/ui/CityNameForm.h"
#include "records/ui/NumericEdit.h"
#include "records/ui/SurveyDataForm.h"
#include "support/ProgramWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::records;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {
// The entry form in add mode over the main window of an empty database.
struct NewRecord {
    TestFolder folder;
    QTemporaryDir settingsDir;
    ScriptedUiServices ui;
    std::unique_ptr<MainWindow> window;
    TdlgSurveyDataForm* form = nullptr;

    NewRecord() {
        StartOptions options;
        options.splash = false;
        options.settingsFile = settingsDir.filePath(QStringLiteral("settings.ini"));
        options.ui = &ui;
        window = makeProgramWindow(folder.folder(), options);
        window->startUp();
        form = new TdlgSurveyDataForm(window->session(), window->settings(), ui, {},
                                      window->fieldDictionary(), window.get());
        form->open(EntryMode::Add, &window->recordList());
    }
    // The form active again (the offscreen platform leaves that to the program after a modal picker),
    // so that focus changes send their events.
    void activate() {
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
    }
    NumericEdit* number(const char* name) const { return form->numericBox(QString::fromLatin1(name)); }
    // Puts the focus into a box as the form's keyboard navigation does, without running an exit rule.
    void enter(const char* name) {
        activate();
        QWidget* box = form->control(QString::fromLatin1(name));
        box->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), box);
        // What leaving the boxes before said is not this test's concern.
        ui.clear();
    }
};

// Confirms the division picker with Enter once it is up.
void confirmDivisionPicker(QObject* context, bool& picked) {
    QTimer::singleShot(0, context, [&picked] {
        auto* picker = qobject_cast<TCityNameForm*>(QApplication::activeModalWidget());
        if (!picker)
            return;
        picked = true;
        QTest::keyClick(picker, Qt::Key_Return);
    });
}
} // namespace

class EntryPickersTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keysOpenThePickerOfAnInvalidCode() {
        NewRecord record;
        QVERIFY(QTest::qWaitForWindowActive(record.form));
        record.enter("c903");
        QCOMPARE(record.number("c903")->value(), 0);
        bool picked = false;
        confirmDivisionPicker(this, picked);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F4);
        QVERIFY(picked);
        QCOMPARE(record.number("c903")->value(), 110100);
        // The focus is back in the box, and leaving it now passes its exit rule.
        QTRY_COMPARE(record.form->focusWidget(), static_cast<QWidget*>(record.number("c903")));
        record.activate();
        QTest::keyClick(record.form->focusWidget(), Qt::Key_Return);
        QVERIFY(record.ui.messageTexts().isEmpty());

        // Alt+Down opens a code list; a choice made with the keys fills the box.
        record.enter("c905");
        QCOMPARE(record.number("c905")->value(), 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down, Qt::AltModifier);
        QMenu& menu = CodePopup::of(record.number("c905")).menu();
        QTRY_VERIFY(menu.isVisible());
        QTest::keyClick(&menu, Qt::Key_Down);
        QTest::keyClick(&menu, Qt::Key_Return);
        QTRY_VERIFY(!menu.isVisible());
        QVERIFY(record.number("c905")->value() > 0);
        QTRY_COMPARE(record.form->focusWidget(), static_cast<QWidget*>(record.number("c905")));
        record.activate();
        QTest::keyClick(record.form->focusWidget(), Qt::Key_Return);
        QVERIFY(record.ui.messageTexts().isEmpty());
    }

    void theDropDownButtonOpensThePickerOfAnInvalidCode() {
        NewRecord record;
        QVERIFY(QTest::qWaitForWindowActive(record.form));
        record.enter("c903");
        auto* names = record.form->findChild<CodeNameBox*>(QStringLiteral("CityNameCtrl"));
        QToolButton* dropDown = names->findChild<QToolButton*>();
        QVERIFY(dropDown && dropDown->isVisible());
        bool picked = false;
        confirmDivisionPicker(this, picked);
        QTest::mouseClick(dropDown, Qt::LeftButton);
        QTRY_VERIFY(picked);
        // No refusal stood between the box and its picker.
        QVERIFY2(record.ui.messageTexts().isEmpty(),
                 qPrintable(record.ui.messageTexts().join(QLatin1Char('|'))));
        QCOMPARE(record.number("c903")->value(), 110100);
        QCOMPARE(names->text(), QStringLiteral("北京市"));
        QTRY_COMPARE(record.form->focusWidget(), static_cast<QWidget*>(record.number("c903")));
    }

    void anEmptyNameIsRefusedInTheWordsOfItsExitRule() {
        NewRecord record;
        QVERIFY(QTest::qWaitForWindowActive(record.form));
        record.enter("c902");
        QTest::keyClick(record.form->focusWidget(), Qt::Key_Return);
        QCOMPARE(record.ui.messageTexts(), QStringList{QStringLiteral("必须输入本级工会名称")});
        QCOMPARE(unionNameExitMessage(QStringLiteral("  ")), RuleText::NameMissing);
    }
};

QTEST_MAIN(EntryPickersTest)
#include "tst_entry_pickers.moc"
