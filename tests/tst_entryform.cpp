// test-kind: shell
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/ui/CodePopup.h"
#include "app/ui/RecordList.h"
#include "records/RecordGenerator.h"
#include "records/ui/CityNameForm.h"
#include "records/ui/EntryFormServices.h"
#include "records/ui/KvValidEdit.h"
#include "records/ui/NumericEdit.h"
#include "records/ui/SurveyDataForm.h"
#include "records/ui/UnionTypeForm.h"
#include "support/ProgramWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QApplication>
#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::records;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {
QString s(const char* text) {
    return QString::fromUtf8(text);
}

// Types text key by key; unlike QTest::keyClicks it also takes characters outside ASCII.
void typeText(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, c.unicode() < 128 ? QTest::asciiToKey(char(c.unicode())) : 0,
                        Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, press.key(), Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

// A main window on a database of its own, and the entry form over its record list.
struct Bench {
    TestFolder folder;
    QTemporaryDir settingsDir;
    ScriptedUiServices ui;
    std::unique_ptr<MainWindow> window;
    TdlgSurveyDataForm* form = nullptr;

    // The form gets the services given, none by default: it is tested on its own here, without the
    // main window's real logic checks and printing.
    explicit Bench(int records = 0, EntryFormServices services = {}) {
        if (records > 0) {
            engine::Connection connection(folder.defaultDatabase());
            GeneratorOptions options;
            options.count = records;
            options.firstCode = 110101000100;
            generateRecords(connection, options);
        }
        StartOptions options;
        options.splash = false;
        options.settingsFile = settingsDir.filePath(QStringLiteral("settings.ini"));
        options.ui = &ui;
        window = makeProgramWindow(folder.folder(), options);
        window->startUp();
        form = new TdlgSurveyDataForm(window->session(), window->settings(), ui, std::move(services),
                                      window->fieldDictionary(), window.get());
    }

    engine::Connection& db() { return window->session().connection(); }
    void open(EntryMode mode) {
        form->open(mode, &window->recordList());
        QVERIFY(QTest::qWaitForWindowActive(form));
    }
    template <typename T = QWidget> T* find(const char* name) const {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    NumericEdit* number(const char* name) const { return find<NumericEdit>(name); }
    QLineEdit* text(const char* name) const { return find<QLineEdit>(name); }
    QToolButton* button(const char* name) const { return find<QToolButton>(name); }
    int page() const { return find<QTabWidget>("DataPage")->currentIndex(); }

    // Types into a box as a user would and leaves it with Enter.
    void type(const char* name, const QString& typed) {
        QLineEdit* box = find<QLineEdit>(name);
        box->setFocus();
        box->selectAll();
        typeText(box, typed);
        QTest::keyClick(box, Qt::Key_Return);
    }
    void fillValidCover(const QString& code = QStringLiteral("110101000001")) {
        type("c901", code);
        type("c902", s("测试公司工会"));
        type("c903", QStringLiteral("110101"));
        type("c904", QStringLiteral("1"));
        type("c905", QStringLiteral("1"));
        type("c906", QStringLiteral("110"));
        type("C907", QStringLiteral("A01"));
        // c909 is fixed by category 110, so Enter went on to c912.
        type("c912", QStringLiteral("1"));
        type("c910", s("张三"));
        type("c911", QStringLiteral("01088886666"));
    }
    QVariant stored(double code, const char* column) {
        return db().scalar(QStringLiteral("select %1 from dt_data where c901=?").arg(QLatin1String(column)),
                           {code});
    }
    qint64 rowCount() { return db().scalar(QStringLiteral("select count(*) from dt_data")).toLongLong(); }
};

// An error list of the test's own: the page check finds an error when z002 is above 50.
struct FakeErrorList {
    bool errors = false;
    int pageChecks = 0;
    EntryFormServices services() {
        EntryFormServices services;
        services.pageCheck = [this](const PageCheckRequest& request) {
            ++pageChecks;
            if (request.clearFirst)
                errors = false;
            if (request.page == 1 && request.valueOf(QStringLiteral("z002")).value_or(0) > 50)
                errors = true;
        };
        services.logicList.clear = [this] { errors = false; };
        services.logicList.isEmpty = [this] { return !errors; };
        return services;
    }
};
} // namespace

class EntryFormTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void numericBoxTakesWholeNumbersAndSettlesWithinBounds() {
        NumericEdit box;
        box.show();
        box.setFocus();
        QTest::keyClicks(&box, QStringLiteral("12a-3.4"));
        QCOMPARE(box.text(), QStringLiteral("1234"));
        QCOMPARE(box.value(), 1234);
        box.setMaximum(2);
        box.settle();
        QCOMPARE(box.value(), 2);
        box.setMaximum(999);
        box.setMinimum(5);
        box.setText(QStringLiteral("3"));
        box.settle();
        QCOMPARE(box.value(), 5);

        // Blank boxes count as their blank value.
        box.setBlank();
        QCOMPARE(box.value(), 0);
        box.setBlankValue(10);
        QCOMPARE(box.value(), 10);

        // The digit limit holds for typing.
        NumericEdit code;
        code.setMaxDigits(12);
        code.show();
        code.setFocus();
        QTest::keyClicks(&code, QStringLiteral("1234567890123"));
        QCOMPARE(code.digits(), QStringLiteral("123456789012"));
    }

    void numericBoxStyles() {
        NumericEdit survey;
        survey.setSurveyStyle(true);
        survey.setValue(1234567);
        QCOMPARE(survey.text(), QStringLiteral("1,234,567"));
        QCOMPARE(survey.value(), 1234567);
        survey.setValue(0);
        QCOMPARE(survey.text(), QString());
        QCOMPARE(survey.value(), 0);

        NumericEdit division;
        division.setZeroPadding(6);
        division.setValue(10100);
        QCOMPARE(division.text(), QStringLiteral("010100"));

        // A change of value is reported once; showing the same value again is none.
        NumericEdit plain;
        int changes = 0;
        connect(&plain, &NumericEdit::valueChanged, this, [&changes] { ++changes; });
        plain.setValue(7);
        plain.setValue(7);
        QCOMPARE(changes, 1);
    }

    void validatingBoxFiltersTypedCharactersOnly() {
        TKvValidEdit digits;
        digits.setCheckType(TKvValidEdit::tcValidate);
        digits.setValidChars(QStringLiteral("0123456789"));
        digits.show();
        digits.setFocus();
        QTest::keyClicks(&digits, QStringLiteral("1a2 3"));
        QCOMPARE(digits.text(), QStringLiteral("123"));
        QTest::keyClick(&digits, Qt::Key_Backspace);
        QCOMPARE(digits.text(), QStringLiteral("12"));

        TKvValidEdit quotes;
        quotes.setForbidChars(TKvValidEdit::quoteCharacters());
        quotes.setMaxBytes(6);
        quotes.show();
        quotes.setFocus();
        typeText(&quotes, s("a'工\"`b会c"));
        QCOMPARE(quotes.text(), s("a工b会")); // cut at 6 GBK bytes
        quotes.setText(QStringLiteral("it's"));
        QCOMPARE(quotes.text(), QStringLiteral("it's"));
    }

    void codePopupChecksTheCurrentEntry() {
        CodeNameBox box;
        box.setCode(2);
        int chosen = -1;
        const TMenuItemDataArray codes{{1, s("单独基层工会")}, {2, s(" 联合基层工会 ")}};
        showCodePopup(&box, codes, [&chosen](qint64 code) { chosen = int(code); });
        QMenu& menu = CodePopup::of(&box).menu();
        QCOMPARE(menu.actions().size(), 2);
        QVERIFY(!menu.actions()[0]->isChecked());
        QVERIFY(menu.actions()[1]->isChecked());
        CodePopup::of(&box).itemClicked(menu.actions()[1]);
        menu.close();
        QCOMPARE(box.text(), s("联合基层工会"));
        QCOMPARE(chosen, 2);
        showCodePopup(&box, {});
        QVERIFY(CodePopup::of(&box).menu().actions().isEmpty());
        CodePopup::of(&box).menu().close();
    }

    void divisionPickerOpensAtItsCodeAndFallsBackToTheProvince() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        {
            TCityNameForm picker(connection);
            picker.prepare();
            QCOMPARE(picker.province(), 11);
            QCOMPARE(picker.prefecture(), 1);
            QCOMPARE(picker.county(), 0);
            picker.confirm();
            QCOMPARE(picker.selectedId(), 110100);
            QCOMPARE(picker.selectedName(), s("北京市"));
        }
        {
            TCityNameForm picker(connection);
            picker.setSelectedId(320102);
            picker.prepare();
            QCOMPARE(picker.province(), 32);
            QCOMPARE(picker.prefecture(), 1);
            QCOMPARE(picker.county(), 2);
            auto* counties = picker.findChild<QTableWidget*>(QStringLiteral("CityName3"));
            QCOMPARE(counties->item(counties->currentRow(), 0)->text(), s("玄武区"));
            picker.confirm();
            QCOMPARE(picker.selectedName(), s("江苏省南京市玄武区"));
        }
        // A province whose prefecture 1 has no rows: confirming gives the province.
        connection.execute(QStringLiteral("delete from CT_CityName where Code1=46 and Code2=1"));
        TCityNameForm picker(connection);
        picker.prepare();
        auto* provinces = picker.findChild<QTableWidget*>(QStringLiteral("CityName1"));
        for (int row = 0; row < provinces->rowCount(); ++row)
            if (provinces->item(row, 0)->text() == s("海南省"))
                provinces->setCurrentCell(row, 0);
        QCOMPARE(picker.province(), 46);
        QCOMPARE(picker.findChild<QTableWidget*>(QStringLiteral("CityName3"))->rowCount(), 0);
        picker.confirm();
        QCOMPARE(picker.selectedId(), 460000);
        QCOMPARE(picker.selectedName(), s("海南省"));
    }

    void categoryPickerOpensAtItsCode() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        TUnionTypeForm picker(connection);
        picker.prepare();
        QCOMPARE(picker.letter(), QStringLiteral("A"));
        QCOMPARE(picker.number(), 1);
        picker.setSelectedCode(QStringLiteral("B05"));
        picker.prepare();
        auto* entries = picker.findChild<QTableWidget*>(QStringLiteral("TypeList2"));
        QCOMPARE(entries->currentRow(), 4);
        picker.confirm();
        QCOMPARE(picker.selectedCode(), QStringLiteral("B05"));
        QCOMPARE(picker.selectedName(), s("地质"));
    }

    void addModeSavesTypedRecordAndStartsTheNext() {
        Bench bench;
        bench.open(EntryMode::Add);
        QCOMPARE(bench.number("c901")->digits(), QStringLiteral("0"));
        QVERIFY(bench.button("tbAdd")->isVisible());
        QVERIFY(!bench.button("tbSave")->isVisible());
        QVERIFY(!bench.button("tbPrint")->isEnabled());
        QCOMPARE(bench.number("z001")->value(), 1);

        bench.fillValidCover();
        QCOMPARE(bench.text("CityNameCtrl")->text(), s("北京市东城区"));
        QCOMPARE(bench.text("EconomicName")->text(), s("国有企业"));
        QCOMPARE(bench.text("TypeName")->text(), s("农业"));
        QCOMPARE(bench.number("c909")->value(), 1);
        QVERIFY(!bench.number("c909")->isEnabled());
        QCOMPARE(bench.text("HoldSituation")->text(), s("国有控股"));
        // Enter in the last cover box went on to table 1.
        QTRY_COMPARE(bench.page(), 1);
        QVERIFY(bench.ui.messageTexts().isEmpty());
        QVERIFY(!bench.number("h006")->isEnabled());
        bench.type("z002", QStringLiteral("20"));
        bench.button("tbAdd")->click();

        QCOMPARE(bench.ui.lastMessage(), FormText::SavedCleanMessage);
        const double code = 110101000001.0;
        QCOMPARE(bench.rowCount(), 1);
        QCOMPARE(bench.stored(code, "c902").toString(), s("测试公司工会"));
        QCOMPARE(bench.stored(code, "c907").toString(), QStringLiteral("A01"));
        QCOMPARE(bench.stored(code, "c909").toLongLong(), 1);
        QCOMPARE(bench.stored(code, "z002").toLongLong(), 20);
        QCOMPARE(bench.stored(code, "RecordState").toLongLong(), 1);
        QCOMPARE(bench.stored(code, "c900").toString().size(), 32);
        QVERIFY(!bench.stored(code, "id").isNull());
        // A blank record with the next code and the remembered division and filler.
        QCOMPARE(bench.number("c901")->digits(), QStringLiteral("110101000002"));
        QCOMPARE(bench.number("c903")->value(), 110101);
        QCOMPARE(bench.text("c910")->text(), s("张三"));
        QCOMPARE(bench.page(), 0);
        QVERIFY(!bench.button("tbAdd")->isEnabled());
    }

    void temporaryThenFormalSaveWritesOneRow() {
        FakeErrorList errors;
        Bench bench(0, errors.services());
        bench.open(EntryMode::Add);
        bench.fillValidCover();
        bench.type("z002", QStringLiteral("80"));
        QTest::keyClick(bench.number("z003"), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(bench.ui.lastMessage(), FormText::HeldMessage);
        QVERIFY(!bench.button("tbHold")->isEnabled());
        QVERIFY(bench.button("tbPrint")->isEnabled());
        QCOMPARE(bench.stored(110101000001.0, "RecordState").toLongLong(), 0);

        bench.type("z003", QStringLiteral("10"));
        bench.button("tbAdd")->click();
        QCOMPARE(bench.ui.lastMessage(), FormText::SavedWithErrorsMessage);
        QCOMPARE(bench.rowCount(), 1);
        QCOMPARE(bench.stored(110101000001.0, "RecordState").toLongLong(), 2);
        QCOMPARE(bench.stored(110101000001.0, "z003").toLongLong(), 10);
    }

    void duplicateCodeInModifyModeDisablesSaving() {
        Bench bench(3);
        RecordList& list = bench.window->recordList();
        list.setCurrentRow(1);
        bench.open(EntryMode::Modify);
        QCOMPARE(bench.find<QLabel>("ItemNo")->text(), s("第2条/共3条"));
        QVERIFY(bench.button("tbSave")->isVisible());
        QVERIFY(bench.button("tbPrint")->isEnabled());
        const QString own = bench.number("c901")->digits();
        const QString other = QString::number(qint64(list.model().keyAt(0).toDouble()));
        QVERIFY(own != other);
        bench.type("c901", other);
        QVERIFY(bench.button("tbSave")->isEnabled());
        QVERIFY(!bench.button("tbPrint")->isEnabled());
        bench.form->formalSave();
        QCOMPARE(bench.ui.lastMessage(),
                 s("在修改数据时，将工会顺序编码改为%1，该编码的数据已经存在，请改用其它编码。").arg(other));
        QVERIFY(!bench.button("tbSave")->isEnabled());
        QVERIFY(!bench.button("tbHold")->isEnabled());
        QCOMPARE(bench.page(), 0);
    }

    void modifiedCodeUpdatesTheSameRow() {
        Bench bench(3);
        bench.window->recordList().setCurrentRow(0);
        const double oldCode = *bench.window->recordList().currentCode();
        const qint64 id = bench.stored(oldCode, "id").toLongLong();
        bench.open(EntryMode::Modify);
        QCOMPARE(bench.number("z002")->value(), bench.stored(oldCode, "z002").toLongLong());
        QCOMPARE(bench.text("c902")->text(), bench.stored(oldCode, "c902").toString());
        bench.type("c901", QStringLiteral("110101999999"));
        bench.button("tbSave")->click();
        QCOMPARE(bench.rowCount(), 3);
        QVERIFY(bench.stored(oldCode, "id").isNull());
        QCOMPARE(bench.stored(110101999999.0, "id").toLongLong(), id);
        QCOMPARE(bench.form->currentCode(), UnionCode(110101999999));
        // The list follows the record to its new code.
        QCOMPARE(*bench.window->recordList().currentCode(), 110101999999.0);
    }

    void navigationMovesWithoutAskingWhenNothingChanged() {
        Bench bench(3);
        bench.window->recordList().setCurrentRow(0);
        bench.open(EntryMode::Modify);
        QVERIFY(bench.find<QToolBar>("NavBar")->isVisible());
        QAction* next = bench.form->findChild<QAction*>(QStringLiteral("actNext"));
        QAction* first = bench.form->findChild<QAction*>(QStringLiteral("actFirst"));
        QVERIFY(!first->isEnabled());
        next->trigger();
        QCOMPARE(bench.find<QLabel>("ItemNo")->text(), s("第2条/共3条"));
        QCOMPARE(bench.number("c901")->value(), qint64(*bench.window->recordList().currentCode()));
        QVERIFY(bench.ui.questions().empty());
        QVERIFY(first->isEnabled());
        // With a change the question comes first; No drops the change.
        bench.type("z002", QStringLiteral("5"));
        bench.ui.answerNo();
        next->trigger();
        QCOMPARE(bench.ui.questions().size(), size_t(1));
        QCOMPARE(bench.ui.questions().back().text, FormText::UnsavedQuestion);
        QCOMPARE(bench.find<QLabel>("ItemNo")->text(), s("第3条/共3条"));
        QVERIFY(!next->isEnabled());
    }

    void recordGoneBehindTheListKeepsTheFormOnItsRecord() {
        Bench bench(2);
        bench.window->recordList().setCurrentRow(0);
        const double shown = *bench.window->recordList().currentCode();
        bench.open(EntryMode::Modify);
        bench.db().execute(QStringLiteral("delete from dt_data where c901<>?"), {shown});
        bench.form->findChild<QAction*>(QStringLiteral("actNext"))->trigger();
        QVERIFY(bench.ui.lastMessage().startsWith(RunErrorPrefix));
        QCOMPARE(bench.form->currentCode(), UnionCode(shown));
        QVERIFY(bench.form->updatesEnabled());
        QVERIFY(bench.form->isLoaded());
        bench.type("z002", QStringLiteral("3"));
        QVERIFY(bench.form->hasUnsavedChanges());
    }

    void organisationTypeAndFilingStateSwitchSurveyBoxes() {
        Bench bench;
        bench.open(EntryMode::Add);
        bench.fillValidCover();
        bench.type("b004", QStringLiteral("1"));
        bench.type("c904", QStringLiteral("2"));
        QCOMPARE(bench.number("z001")->value(), 0);
        QVERIFY(!bench.number("b004")->isEnabled());
        QCOMPARE(bench.number("b004")->value(), 0);
        QVERIFY(!bench.number("b009")->isEnabled());
        bench.type("c904", QStringLiteral("1"));
        QCOMPARE(bench.number("z001")->value(), 1);
        QVERIFY(bench.number("b004")->isEnabled());

        bench.type("z002", QStringLiteral("30"));
        bench.type("c912", QStringLiteral("3"));
        QVERIFY(!bench.number("z002")->isEnabled());
        QCOMPARE(bench.number("z002")->value(), 0);
        QVERIFY(!bench.number("s004")->isEnabled());
        QVERIFY(!bench.button("tbCheck")->isEnabled());
        QVERIFY(!bench.button("tbHold")->isEnabled());
        bench.type("c912", QStringLiteral("1"));
        QVERIFY(bench.number("z002")->isEnabled());
        QVERIFY(!bench.number("h006")->isEnabled()); // category 110 applies again
        QVERIFY(bench.button("tbCheck")->isEnabled());

        // Category 500 switches off tables 3 to 6 and b001 ... b009.
        bench.type("c906", QStringLiteral("500"));
        for (const char* off : {"b001", "b009", "h001", "L005", "f001", "j016"})
            QVERIFY2(!bench.number(off)->isEnabled(), off);
        for (const char* on : {"b010", "b011", "z002", "w001", "s001"})
            QVERIFY2(bench.number(on)->isEnabled(), on);
    }

    void nonFilingRecordIsSavedCleanWithoutCheck() {
        FakeErrorList errors;
        Bench bench(0, errors.services());
        bench.open(EntryMode::Add);
        bench.fillValidCover();
        bench.type("c912", QStringLiteral("3"));
        errors.pageChecks = 0;
        bench.button("tbAdd")->click();
        QCOMPARE(errors.pageChecks, 0);
        QCOMPARE(bench.stored(110101000001.0, "RecordState").toLongLong(), 1);
        QCOMPARE(bench.stored(110101000001.0, "z001").toLongLong(), 0);
    }

    void exitRulesRefuseBadCodesAndKeepTheFocus() {
        Bench bench;
        bench.open(EntryMode::Add);
        bench.fillValidCover();
        bench.type("c906", QStringLiteral("169"));
        bench.type("c909", QStringLiteral("1"));
        QCOMPARE(bench.ui.lastMessage(), RuleText::HoldInvalid);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bench.number("c909")));
        bench.type("c909", QStringLiteral("2"));
        QCOMPARE(bench.text("HoldSituation")->text(), s("集体控股"));

        bench.ui.clear();
        bench.type("C907", QStringLiteral("A0"));
        QCOMPARE(bench.ui.lastMessage(), RuleText::DomainLength);
        bench.type("C907", QStringLiteral("AB1"));
        QCOMPARE(bench.ui.lastMessage(), RuleText::DomainDigits);
        bench.type("C907", QStringLiteral("B05"));
        QCOMPARE(bench.text("TypeName")->text(), s("地质"));

        bench.ui.clear();
        bench.type("c910", s("张3"));
        QCOMPARE(bench.text("c910")->text(), s("张")); // the digit was not even typed
        bench.text("c910")->setText(s("张3"));
        bench.type("c910", QString());
        QCOMPARE(bench.ui.lastMessage(), RuleText::FillerNotChinese);
    }

    void twoInvalidBoxesDoNotSendTheFocusBackAndForth() {
        Bench bench;
        bench.open(EntryMode::Add);
        bench.type("c901", QStringLiteral("110101000001"));
        bench.type("c902", s("测试公司工会"));
        NumericEdit* division = bench.number("c903");
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(division));
        QVERIFY(bench.ui.messageTexts().isEmpty());
        QTest::keyClicks(division, QStringLiteral("999999"));
        // c905 still holds the invalid 0 of a new record.
        bench.number("c905")->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(division));
        QTest::qWait(50);
        QCOMPARE(bench.ui.messageTexts(), QStringList{RuleText::DivisionInvalid});
    }

    void pickersFillTheCoverAndRunTheRules() {
        Bench bench;
        bench.open(EntryMode::Add);
        bench.fillValidCover();
        // The unit-category list: choosing 500 runs the unit category rule.
        auto* economic = bench.find<CodeNameBox>("EconomicName");
        Q_EMIT economic->dropDownRequested();
        QMenu& menu = CodePopup::of(economic).menu();
        QAction* social = nullptr;
        for (QAction* item : menu.actions()) {
            QCOMPARE(item->isChecked(), item->data().toLongLong() == 110);
            if (item->data().toLongLong() == 500)
                social = item;
        }
        QVERIFY(social);
        CodePopup::of(economic).itemClicked(social);
        menu.close();
        QCOMPARE(bench.number("c906")->value(), 500);
        QCOMPARE(economic->text(), s("社会团体"));
        QVERIFY(!bench.number("b001")->isEnabled());
        QVERIFY(bench.button("tbAdd")->isEnabled());

        // The division picker opens at the remembered code and hands back its choice.
        bool picked = false;
        QTimer::singleShot(0, this, [&] {
            auto* picker = qobject_cast<TCityNameForm*>(QApplication::activeModalWidget());
            QVERIFY(picker);
            QCOMPARE(picker->province(), 11);
            QCOMPARE(picker->county(), 1);
            picker->confirm();
            picked = true;
        });
        Q_EMIT bench.find<CodeNameBox>("CityNameCtrl")->dropDownRequested();
        QVERIFY(picked);
        QCOMPARE(bench.number("c903")->value(), 110101);
        QCOMPARE(bench.text("CityNameCtrl")->text(), s("北京市东城区"));
    }

    void closingWithChangesSavesHeldWhenTheCheckFindsErrors() {
        FakeErrorList errors;
        Bench bench(0, errors.services());
        bench.open(EntryMode::Add);
        bench.fillValidCover();
        bench.type("z002", QStringLiteral("99"));
        bench.ui.answerYes();
        bench.form->reject();
        QVERIFY(!bench.form->isVisible());
        QCOMPARE(bench.stored(110101000001.0, "RecordState").toLongLong(), 0);
    }

    void keyboardRunsAcrossPages() {
        FakeErrorList errors;
        Bench bench(0, errors.services());
        bench.open(EntryMode::Add);
        bench.fillValidCover();
        // Up in c901 goes round to the last box of table 8.
        QVERIFY(bench.form->changePage(0));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bench.number("c901")));
        QTest::keyClick(bench.number("c901"), Qt::Key_Up);
        QCOMPARE(bench.page(), 7);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bench.number("s004")));
        // Enter in the last box saves the record formally.
        QTest::keyClick(bench.number("s004"), Qt::Key_Return);
        QCOMPARE(bench.ui.lastMessage(), FormText::SavedCleanMessage);
        QCOMPARE(bench.rowCount(), 1);
    }

    void leavingTheCoverRequiresAValidCover() {
        Bench bench;
        bench.open(EntryMode::Add);
        bench.form->changePage(2);
        QCOMPARE(bench.page(), 0);
        QCOMPARE(bench.ui.lastMessage(), s("本级工会编码必须大于100000000000且必须为12位!"));
    }

    void mainWindowCommandsOpenTheFormModally() {
        Bench bench(2);
        bench.window->show();
        bench.window->recordList().setCurrentRow(1);
        const double before = *bench.window->recordList().currentCode();
        bool sawForm = false;
        QTimer::singleShot(0, this, [&] {
            auto* form = qobject_cast<TdlgSurveyDataForm*>(QApplication::activeModalWidget());
            QVERIFY(form);
            sawForm = true;
            QCOMPARE(form->mode(), EntryMode::Add);
            form->findChild<NumericEdit*>(QStringLiteral("c901"))->setValue(110101000001);
            form->findChild<QToolButton*>(QStringLiteral("tbReturn"))->click();
        });
        bench.window->runCommand(QStringLiteral("actAddNew"));
        QVERIFY(sawForm);
        QCOMPARE(*bench.window->recordList().currentCode(), before);
        QCOMPARE(bench.rowCount(), 2);

        sawForm = false;
        QTimer::singleShot(0, this, [&] {
            auto* form = qobject_cast<TdlgSurveyDataForm*>(QApplication::activeModalWidget());
            QVERIFY(form);
            sawForm = true;
            QCOMPARE(form->mode(), EntryMode::Modify);
            QCOMPARE(form->currentCode(), UnionCode(before));
            form->close();
        });
        bench.window->runCommand(QStringLiteral("actModify"));
        QVERIFY(sawForm);
    }

    void failedWriteKeepsTheFormModified() {
        Bench bench;
        bench.db().execute(QStringLiteral(
            "CREATE TRIGGER refuse BEFORE INSERT ON dt_data BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
        bench.open(EntryMode::Add);
        bench.fillValidCover();
        bench.button("tbAdd")->click();
        QCOMPARE(bench.ui.lastMessage(), s("保存过程中遇到错误：disk is full数据没有被保存。"));
        QCOMPARE(bench.rowCount(), 0);
        QVERIFY(bench.form->hasUnsavedChanges());
        QVERIFY(bench.button("tbAdd")->isEnabled());
        QCOMPARE(bench.number("c901")->digits(), QStringLiteral("110101000001"));
    }

    void loadingKeepsStoredValuesAndTheHoldingOf140() {
        Bench bench(1);
        const double code = *bench.window->recordList().currentCode();
        bench.db().execute(
            QStringLiteral("update dt_data set c904=1, c906=140, c909=2, c912=1, z001=7 where c901=?"),
            {code});
        bench.open(EntryMode::Modify);
        QCOMPARE(bench.number("z001")->value(), 7);
        QCOMPARE(bench.number("c909")->value(), 2);
        QVERIFY(bench.number("c909")->isEnabled());
        QCOMPARE(bench.text("HoldSituation")->text(), s("集体控股"));
        QVERIFY(!bench.button("tbSave")->isEnabled());
        // Leaving the category unchanged keeps the holding; coming back to 140 clears it.
        bench.type("c906", QStringLiteral("140"));
        QCOMPARE(bench.number("c909")->value(), 2);
        bench.type("c906", QStringLiteral("170"));
        QCOMPARE(bench.number("c909")->value(), 3);
        QVERIFY(!bench.number("c909")->isEnabled());
        bench.type("c906", QStringLiteral("140"));
        QCOMPARE(bench.number("c909")->value(), 0);
        QVERIFY(bench.number("c909")->isEnabled());
        QCOMPARE(bench.text("HoldSituation")->text(), QString());
    }

    void emptyDictionaryStillSavesEveryColumn() {
        Bench bench;
        static const TFieldDataArray none;
        delete bench.form;
        bench.form = new TdlgSurveyDataForm(bench.window->session(), bench.window->settings(), bench.ui, {},
                                            none, bench.window.get());
        bench.open(EntryMode::Add);
        bench.fillValidCover();
        bench.type("z002", QStringLiteral("12"));
        bench.button("tbAdd")->click();
        QCOMPARE(bench.stored(110101000001.0, "c902").toString(), s("测试公司工会"));
        QCOMPARE(bench.stored(110101000001.0, "z002").toLongLong(), 12);
        QCOMPARE(bench.stored(110101000001.0, "c912").toLongLong(), 1);
    }

    void savesKeepTheListInStepWithTheDatabase() {
        Bench bench(4);
        RecordList& list = bench.window->recordList();
        const auto listedCodes = [&list] {
            QList<qint64> codes;
            for (int row = 0; row < list.recordCount(); ++row)
                codes << list.model().keyAt(row).toLongLong();
            return codes;
        };
        const auto storedCodes = [&bench] {
            QList<qint64> codes;
            engine::Statement rows(bench.db(), QStringLiteral("select c901 from view_data order by c901"));
            while (rows.step())
                codes << rows.value(0).toLongLong();
            return codes;
        };
        // A changed code moves the record to its new place; the list follows it.
        list.setCurrentRow(1);
        bench.open(EntryMode::Modify);
        bench.type("c901", QStringLiteral("110101999999"));
        bench.button("tbSave")->click();
        QCOMPARE(listedCodes(), storedCodes());
        QCOMPARE(list.currentRow(), 3);
        // The rows shown are read afresh, not from the pages cached before the save.
        QCOMPARE(list.model().value(3, QStringLiteral("c901")).toLongLong(), 110101999999);
        bench.form->returnWithoutSaving();

        // Adding: held, then saved under another code, then the next blank record; one row each time.
        list.setCurrentRow(0);
        const double current = *bench.window->recordList().currentCode();
        bench.open(EntryMode::Add);
        bench.fillValidCover(QStringLiteral("110101000050"));
        bench.button("tbHold")->click();
        QCOMPARE(listedCodes(), storedCodes());
        QCOMPARE(list.recordCount(), 5);
        QCOMPARE(*bench.window->recordList().currentCode(), current);
        bench.type("c901", QStringLiteral("110101000001"));
        bench.button("tbAdd")->click();
        QCOMPARE(listedCodes(), storedCodes());
        QCOMPARE(list.recordCount(), 5);
        QCOMPARE(*bench.window->recordList().currentCode(), current);
        bench.form->returnWithoutSaving();

        // A list sorted by another column is read again in its own order.
        list.sortByTitleClick(2);
        list.setCurrentRow(2);
        const double code = *bench.window->recordList().currentCode();
        bench.open(EntryMode::Modify);
        bench.type("c901", QStringLiteral("110101777777"));
        bench.button("tbSave")->click();
        QCOMPARE(list.recordCount(), 5);
        QCOMPARE(list.model().rowOfKey(code), -1);
        QCOMPARE(*bench.window->recordList().currentCode(), 110101777777.0);
    }

    void eachFormUsesOnlyTheServicesItWasMadeWith() {
        FakeErrorList errors;
        Bench bench(0, errors.services());
        // A second form made without services checks nothing; the first keeps its own checks.
        auto* plain = new TdlgSurveyDataForm(bench.window->session(), bench.window->settings(), bench.ui, {},
                                             bench.window->fieldDictionary(), bench.window.get());
        plain->prepare(EntryMode::Add, &bench.window->recordList());
        plain->runWholeRecordCheck();
        QCOMPARE(errors.pageChecks, 0);
        bench.form->prepare(EntryMode::Add, &bench.window->recordList());
        bench.form->runWholeRecordCheck();
        QCOMPARE(errors.pageChecks, 7);
        delete plain;
    }

    void printServiceGetsTheStoredCode() {
        UnionCode printed = 0;
        EntryFormServices services;
        services.print = [&printed](QWidget*, UnionCode code) { printed = code; };
        Bench bench(1, std::move(services));
        bench.open(EntryMode::Modify);
        bench.button("tbPrint")->click();
        QCOMPARE(printed, UnionCode(*bench.window->recordList().currentCode()));
    }
};

QTEST_MAIN(EntryFormTest)
#include "tst_entryform.moc"
