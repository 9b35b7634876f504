// test-kind: core
#include "records/CodeTables.h"
#include "records/FieldRules.h"
#include "records/PageNotes.h"
#include "records/RecordValidation.h"

#include <QtTest>

using namespace corvalis;
using namespace corvalis::records;

namespace {
// A cover page that passes every test, and lookups that know its codes.
struct Cover {
    TMenuItemDataArray levels{{1, QStringLiteral("单独基层工会")}, {2, QStringLiteral("联合基层工会")}};
    TMenuItemDataArray industries{{13, QStringLiteral("农副食品加工业")}};
    TMenuItemDataArray economics{{110, QStringLiteral("国有企业")},
                                 {169, QStringLiteral("其他股份有限公司")}};
    TMenuItemDataArray states{{1, QStringLiteral("正常填报")}, {3, QStringLiteral("本年度撤销")}};
    CoverValues values;
    qint64 storedWithCode = 0;
    int domainLookups = 0;

    Cover() {
        values.c901Text = QStringLiteral("110101000001");
        values.c902 = QStringLiteral("某某公司工会");
        values.c903 = 110101;
        values.c904 = 1;
        values.c905 = 13;
        values.c906 = 110;
        values.c912 = 1;
        values.c910 = QStringLiteral("张 三");
        values.c911 = QStringLiteral("01088886666");
        values.c907 = QStringLiteral("A01");
    }

    ValidationLookups lookups() {
        ValidationLookups l;
        l.levels = &levels;
        l.industries = &industries;
        l.economics = &economics;
        l.states = &states;
        l.divisionName = [](qint64 code) {
            return code == 110101 ? QStringLiteral("北京市东城区") : QString();
        };
        l.unionDomainName = [this](const QString& code) {
            ++domainLookups;
            return code == QLatin1String("A01") ? QStringLiteral("农业") : QString();
        };
        l.recordsWithCode = [this](UnionCode code) { return code == storedWithCode ? 1 : 0; };
        return l;
    }

    std::optional<ValidationFailure> validate(EntryMode mode = EntryMode::Add, UnionCode current = 0) {
        return validateRecord(values, mode, current, lookups());
    }
};

bool enabledIn(const FieldSwitches& switches, const QString& field, bool* found = nullptr) {
    bool enabled = true;
    bool seen = false;
    for (const FieldSwitch& change : switches)
        if (change.field == field) {
            enabled = change.enabled;
            seen = true;
        }
    if (found)
        *found = seen;
    return enabled;
}
} // namespace

class EntryRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void coverTestsRunInOrderWithTheirMessagesAndFocus_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("code empty") << QStringLiteral("c901") << QStringLiteral("")
                                    << ValidationText::CodeMissing << QStringLiteral("c901");
        QTest::newRow("code of 11 digits") << QStringLiteral("c901") << QStringLiteral("11010100000")
                                           << ValidationText::CodeTooShort << QStringLiteral("c901");
        QTest::newRow("name blank") << QStringLiteral("c902") << QStringLiteral("   ")
                                    << ValidationText::NameMissing << QStringLiteral("c902");
        QTest::newRow("division unknown") << QStringLiteral("c903") << QStringLiteral("999999")
                                          << ValidationText::DivisionInvalid << QStringLiteral("c903");
        QTest::newRow("organisation type blank counts as 10")
            << QStringLiteral("c904") << QStringLiteral("10") << ValidationText::LevelInvalid
            << QStringLiteral("c904");
        QTest::newRow("industry 0") << QStringLiteral("c905") << QStringLiteral("0")
                                    << ValidationText::IndustryInvalid << QStringLiteral("c905");
        QTest::newRow("unit category 0") << QStringLiteral("c906") << QStringLiteral("0")
                                         << ValidationText::EconomicInvalid << QStringLiteral("c906");
        QTest::newRow("filing state 0") << QStringLiteral("c912") << QStringLiteral("0")
                                        << ValidationText::StateInvalid << QStringLiteral("c912");
        QTest::newRow("holding needed for 169") << QStringLiteral("c906") << QStringLiteral("169")
                                                << ValidationText::HoldMissing << QStringLiteral("c909");
        QTest::newRow("filler blank") << QStringLiteral("c910") << QStringLiteral(" ")
                                      << ValidationText::FillerMissing << QStringLiteral("c910");
        QTest::newRow("telephone blank") << QStringLiteral("c911") << QStringLiteral("  ")
                                         << ValidationText::TelephoneMissing << QStringLiteral("c911");
        QTest::newRow("telephone of 6 digits") << QStringLiteral("c911") << QStringLiteral("123456")
                                               << ValidationText::TelephoneInvalid << QStringLiteral("c911");
        QTest::newRow("telephone of 14 with hyphen")
            << QStringLiteral("c911") << QStringLiteral("010-1234567890") << ValidationText::TelephoneInvalid
            << QStringLiteral("c911");
        QTest::newRow("category of two characters")
            << QStringLiteral("c907") << QStringLiteral("A0") << ValidationText::DomainInvalid
            << QStringLiteral("C907");
        QTest::newRow("category unknown") << QStringLiteral("c907") << QStringLiteral("Q99")
                                          << ValidationText::DomainInvalid << QStringLiteral("C907");
    }

    void coverTestsRunInOrderWithTheirMessagesAndFocus() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        Cover cover;
        QVERIFY(!cover.validate());
        CoverValues& v = cover.values;
        QHash<QString, std::function<void()>> set{
            {QStringLiteral("c901"), [&] { v.c901Text = value; }},
            {QStringLiteral("c902"), [&] { v.c902 = value; }},
            {QStringLiteral("c903"), [&] { v.c903 = value.toLongLong(); }},
            {QStringLiteral("c904"), [&] { v.c904 = value.toLongLong(); }},
            {QStringLiteral("c905"), [&] { v.c905 = value.toLongLong(); }},
            {QStringLiteral("c906"), [&] { v.c906 = value.toLongLong(); }},
            {QStringLiteral("c912"), [&] { v.c912 = value.toLongLong(); }},
            {QStringLiteral("c910"), [&] { v.c910 = value; }},
            {QStringLiteral("c911"), [&] { v.c911 = value; }},
            {QStringLiteral("c907"), [&] { v.c907 = value; }}};
        set.value(field)();
        const auto failure = cover.validate();
        QVERIFY(failure);
        QCOMPARE(failure->message, message);
        QCOMPARE(failure->focusField, focus);
        QVERIFY(!failure->duplicateCode);
    }

    void firstFailureWins() {
        Cover cover;
        cover.values.c902.clear();
        cover.values.c911 = QStringLiteral("1");
        QCOMPARE(cover.validate()->focusField, QStringLiteral("c902"));
    }

    void codeOfTwelveCharactersPassesWhateverItsValue() {
        Cover cover;
        cover.values.c901Text = QStringLiteral("000000000001");
        QVERIFY(!cover.validate());
        cover.values.c901Text = QStringLiteral("1234567890123"); // 13 digits, large enough
        QVERIFY(!cover.validate());
    }

    void duplicateCodeDependsOnModeAndCurrentCode() {
        Cover cover;
        cover.storedWithCode = 110101000001;
        auto failure = cover.validate(EntryMode::Add, 0);
        QVERIFY(failure && failure->duplicateCode);
        QCOMPARE(
            failure->message,
            QStringLiteral(
                "在增加数据时，填写的工会顺序编码为110101000001，该编码的数据已经存在，请改用其它编码。"));
        QCOMPARE(failure->focusField, QStringLiteral("c901"));
        failure = cover.validate(EntryMode::Modify, 110101000999);
        QVERIFY(failure && failure->duplicateCode);
        QCOMPARE(failure->message,
                 QStringLiteral(
                     "在修改数据时，将工会顺序编码改为110101000001，该编码的数据已经存在，请改用其它编码。"));
        // The record that already has the code may keep it.
        QVERIFY(!cover.validate(EntryMode::Modify, 110101000001));
        QVERIFY(!cover.validate(EntryMode::Add, 110101000001));
        // The largest codes are told apart from their neighbours.
        cover.storedWithCode = 659004499999;
        cover.values.c901Text = QStringLiteral("659004499999");
        QVERIFY(!cover.validate(EntryMode::Modify, 659004499999));
        failure = cover.validate(EntryMode::Modify, 659004499998);
        QVERIFY(failure && failure->duplicateCode);
    }

    void telephoneFormats() {
        for (const char* good :
             {"010-8888666", "13912345678", "1234567", "12345678", "0755-88886666", "010888866661"})
            QVERIFY2(telephoneFormatValid(QString::fromLatin1(good)), good);
        for (const char* bad : {"123456", "123456789", "010-1234567890", "010-12345", "1234567890123"})
            QVERIFY2(!telephoneFormatValid(QString::fromLatin1(bad)), bad);
    }

    void holdingNameOnlyRequiredForFourCategories() {
        Cover cover;
        cover.values.holdName.clear();
        QVERIFY(!cover.validate()); // 110 needs none
        for (qint64 category : {140, 159, 190, 169}) {
            QVERIFY(holdingSituationRequired(category));
            cover.economics.push_back({category, QStringLiteral("x")});
        }
        cover.values.c906 = 140;
        QCOMPARE(cover.validate()->message, ValidationText::HoldMissing);
        cover.values.holdName = QStringLiteral("国有控股");
        QVERIFY(!cover.validate());
    }

    void blankCategoryPassesWithoutLookup() {
        Cover cover;
        cover.values.c907.clear();
        QVERIFY(!cover.validate());
        QCOMPARE(cover.domainLookups, 0);
    }

    void unitCategorySwitchesFollowTheFillingScope() {
        // 500: tables 3 to 6 and b001 ... b009 off; b010, b011 untouched.
        FieldSwitches s = unitCategorySwitches(500, 1);
        for (const char* off : {"b001", "b005", "b009", "h001", "h017", "l001", "l011", "f008", "j016"})
            QVERIFY2(!enabledIn(s, QString::fromLatin1(off)), off);
        bool found = true;
        enabledIn(s, QStringLiteral("b010"), &found);
        QVERIFY(!found);
        enabledIn(s, QStringLiteral("z001"), &found);
        QVERIFY(!found);
        // 110: only h001 ... h005 of table 3; b004 ... b009 follow the organisation type.
        s = unitCategorySwitches(110, 1);
        QVERIFY(enabledIn(s, QStringLiteral("h005")));
        QVERIFY(!enabledIn(s, QStringLiteral("h006")));
        QVERIFY(!enabledIn(s, QStringLiteral("h017")));
        QVERIFY(enabledIn(s, QStringLiteral("b004")));
        QVERIFY(enabledIn(s, QStringLiteral("b001")));
        QVERIFY(!enabledIn(unitCategorySwitches(110, 2), QStringLiteral("b009")));
        // 401: b001 and b004 ... b009 off, b002 and b003 and tables 4 to 6 on.
        s = unitCategorySwitches(401, 1);
        QVERIFY(!enabledIn(s, QStringLiteral("b001")));
        QVERIFY(!enabledIn(s, QStringLiteral("b004")));
        QVERIFY(enabledIn(s, QStringLiteral("b002")));
        QVERIFY(enabledIn(s, QStringLiteral("j001")));
        QVERIFY(!enabledIn(s, QStringLiteral("h010")));
        // 170: everything on.
        s = unitCategorySwitches(170, 1);
        for (const FieldSwitch& change : s)
            QVERIFY2(change.enabled, qPrintable(change.field));
    }

    void unitCategoryRulesAreTheOnesTheSwitchesFollow() {
        // The categories the rules name, and neighbours they do not.
        struct Scope {
            qint64 category;
            bool enterpriseTables, unionContracts, boardQuestions;
        };
        const Scope scopes[] = {
            {100, true, true, true},    {110, true, true, false},   {170, true, true, true},
            {401, true, false, false},  {402, true, false, false},  {499, true, true, true},
            {500, false, false, false}, {600, true, true, false},   {700, true, true, true},
            {701, false, false, false}, {702, false, false, false}, {703, false, false, false},
            {704, false, false, false}, {705, true, true, true}};
        for (const Scope& scope : scopes) {
            const qint64 k = scope.category;
            const QByteArray label = QByteArray::number(k);
            QVERIFY2(fillsEnterpriseTables(k) == scope.enterpriseTables, label);
            QVERIFY2(answersUnionContracts(k) == scope.unionContracts, label);
            QVERIFY2(answersBoardQuestions(k) == scope.boardQuestions, label);
            const FieldSwitches s = unitCategorySwitches(k, 1);
            QVERIFY2(enabledIn(s, QStringLiteral("j001")) == scope.enterpriseTables, label);
            QVERIFY2(enabledIn(s, QStringLiteral("h001")) == scope.enterpriseTables, label);
            QVERIFY2(enabledIn(s, QStringLiteral("b001")) == scope.unionContracts, label);
            QVERIFY2(enabledIn(s, QStringLiteral("b009")) == scope.unionContracts, label);
            QVERIFY2(enabledIn(s, QStringLiteral("h006")) == scope.boardQuestions, label);
            QVERIFY2(enabledIn(organisationTypeEffect(1, k, 1).switches, QStringLiteral("b004")) ==
                         scope.unionContracts,
                     label);
        }
    }

    void organisationTypeSetsCoveredUnitsAndContracts() {
        OrganisationTypeEffect single = organisationTypeEffect(1, 110, 1);
        QVERIFY(single.setsZ001);
        QCOMPARE(single.z001, 1);
        QVERIFY(enabledIn(single.switches, QStringLiteral("b004")));
        QVERIFY(!enabledIn(organisationTypeEffect(1, 402, 1).switches, QStringLiteral("b006")));
        OrganisationTypeEffect joint = organisationTypeEffect(2, 110, 1);
        QCOMPARE(joint.z001, 0);
        QVERIFY(!enabledIn(joint.switches, QStringLiteral("b009")));
        // A union that does not file keeps its survey boxes off.
        OrganisationTypeEffect closed = organisationTypeEffect(1, 110, 3);
        QVERIFY(!closed.setsZ001);
        QVERIFY(closed.switches.empty());
    }

    void holdingSituationTable() {
        auto check = [](qint64 k, bool r140, bool r159, HoldList list, bool enabled, HoldValue value,
                        qint64 fixed, bool after140, bool after159) {
            const HoldDecision d = holdDecision(k, r140, r159);
            QCOMPARE(int(d.list), int(list));
            QCOMPARE(d.enabled, enabled);
            QCOMPARE(int(d.value), int(value));
            if (value == HoldValue::Set)
                QCOMPARE(d.fixedValue, fixed);
            QCOMPARE(d.resetOn140, after140);
            QCOMPARE(d.resetOn159, after159);
        };
        check(600, false, false, HoldList::Unchanged, false, HoldValue::Set, 3, true, true);
        check(140, true, false, HoldList::Unchanged, true, HoldValue::Set, 0, true, true);
        check(140, false, true, HoldList::Standard, true, HoldValue::Keep, 0, false, true);
        check(159, false, true, HoldList::Unchanged, true, HoldValue::Set, 0, true, true);
        check(159, true, false, HoldList::Standard, true, HoldValue::Keep, 0, true, false);
        check(402, false, false, HoldList::Unchanged, false, HoldValue::Set, 0, true, true);
        check(151, false, false, HoldList::Standard, false, HoldValue::Set, 1, true, true);
        check(130, false, false, HoldList::Unchanged, false, HoldValue::Set, 2, true, true);
        check(169, false, false, HoldList::WithoutState, true, HoldValue::KeepWhenNamed, 0, true, true);
        check(170, false, false, HoldList::Unchanged, false, HoldValue::Set, 3, true, true);
        check(300, false, false, HoldList::Standard, true, HoldValue::Set, 3, true, true);
        check(180, false, false, HoldList::Standard, true, HoldValue::Keep, 0, false, false);
        const ResetFlags loaded140 = resetFlagsForLoadedCategory(140);
        QVERIFY(!loaded140.on140 && loaded140.on159);
        const ResetFlags loaded159 = resetFlagsForLoadedCategory(159);
        QVERIFY(loaded159.on140 && !loaded159.on159);
    }

    void exitTestsOfSingleFields() {
        QVERIFY(!holdingSituationValid(169, 1));
        QVERIFY(holdingSituationValid(169, 2) && holdingSituationValid(169, 3) &&
                holdingSituationValid(169, 0));
        QVERIFY(holdingSituationValid(110, 1));
        QVERIFY(!holdingSituationValid(110, 4));

        QCOMPARE(int(domainFormat(QString())), int(DomainFormat::Empty));
        QCOMPARE(int(domainFormat(QStringLiteral("A0"))), int(DomainFormat::WrongLength));
        QCOMPARE(int(domainFormat(QStringLiteral("AB1"))), int(DomainFormat::NotDigits));
        QCOMPARE(int(domainFormat(QStringLiteral("B05"))), int(DomainFormat::Valid));
        QCOMPARE(domainSlot(QStringLiteral("B05")), 205);
        QCOMPARE(domainOfSlot(205), QStringLiteral("B05"));
        QCOMPARE(domainOfSlot(-1), QString());

        QCOMPARE(fillerExitMessage(QStringLiteral("张3")), RuleText::FillerNotChinese);
        QCOMPARE(fillerExitMessage(QStringLiteral("张 三")), QString());
        QCOMPARE(fillerExitMessage(QStringLiteral("  ")), ValidationText::FillerMissing);
        QCOMPARE(telephoneExitMessage(QStringLiteral("12345")), ValidationText::TelephoneInvalid);
        QCOMPARE(codeExitMessage(QString()), ValidationText::CodeMissing);
        QCOMPARE(codeExitMessage(QStringLiteral("99")), ValidationText::CodeTooShort);
        QVERIFY(!fillerKeyAccepted(QLatin1Char('.')) && !fillerKeyAccepted(QLatin1Char('7')));
        QVERIFY(fillerKeyAccepted(QChar(u'张')) && fillerKeyAccepted(QLatin1Char(' ')));
        QVERIFY(telephoneKeyAccepted(QLatin1Char('-')) && !telephoneKeyAccepted(QLatin1Char('a')));
    }

    void notesReadTheRtfSubset() {
        const QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fnil \\'cb\\'ce\\'cc\\'e5;}}"
                               "{\\colortbl ;\\red255\\green0\\blue0;}{\\*\\generator Writer;}"
                               "\\f0\\fs24 \\b \\'cc\\'ee\\'b1\\'ed\\b0 \\cf1 red\\cf0\\par "
                               "\\u20013?x\\line y\\par}";
        const QString html = rtfToHtml(rtf);
        QVERIFY2(html.contains(QStringLiteral("font-weight:bold;font-size:12pt\">填表")), qPrintable(html));
        QVERIFY(html.contains(QStringLiteral("color:#ff0000\">red")));
        QVERIFY2(html.contains(QStringLiteral(">中</span><span style=\"font-size:12pt\">x</span><br/>")),
                 qPrintable(html));
        QVERIFY(!html.contains(QStringLiteral("宋体")));
        QVERIFY(!html.contains(QStringLiteral("Writer")));
        QCOMPARE(rtfToHtml("{\\rtf1 unterminated \\'"), QStringLiteral("<p>unterminated </p>"));
    }
};

QTEST_GUILESS_MAIN(EntryRulesTest)
#include "tst_entryrules.moc"
