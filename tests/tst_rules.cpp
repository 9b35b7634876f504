// test-kind: core
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "checks/BuiltInRules.h"
#include "checks/Explanation.h"
#include "checks/PageRules.h"
#include "checks/RuleExpression.h"
#include "checks/RuleListing.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QHash>
#include <QRandomGenerator>
#include <QtTest>
#include <functional>
#include <limits>

using namespace corvalis;
using namespace corvalis::checks;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

// A logic error list without a window.
class PlainList : public LogicMessageList {
public:
    void clearMessages() override {
        messages.clear();
        ++clears;
    }
    void addMessage(const LogicMessage& message) override { messages.push_back(message); }
    bool messagesEmpty() const override { return messages.empty(); }
    void showList() override { ++shows; }

    std::vector<LogicMessage> messages;
    int clears = 0;
    int shows = 0;
};

// A record of the rule set's fields; the values not given are 0.
std::vector<qint64> recordOf(const QHash<QString, qint64>& values) {
    const CompiledRuleSet& rules = CompiledRuleSet::builtIn();
    std::vector<qint64> record(size_t(rules.fields().size()), 0);
    for (auto it = values.begin(); it != values.end(); ++it) {
        const int slot = int(rules.fields().indexOf(it.key()));
        Q_ASSERT(slot >= 0);
        record[size_t(slot)] = it.value();
    }
    return record;
}

QList<int> violatedRules(const std::vector<qint64>& record) {
    QList<int> numbers;
    const CompiledRuleSet& rules = CompiledRuleSet::builtIn();
    rules.check(record.data(), [&](int index) { numbers << rules.rule(index).number; });
    return numbers;
}

qint64 evaluateText(const QString& text, const QHash<QString, int>& slots = {},
                    const qint64* values = nullptr) {
    return RuleExpression::compile(text, [&](const QString& name) { return slots.value(name, -1); })
        .evaluate(values);
}

QString hintOf(engine::Connection& db, const char* field) {
    return QLatin1Char('[') +
           db.scalar(QStringLiteral("select Hint from dt_fieldlist where FieldName=?1"),
                     {QString::fromLatin1(field)})
               .toString() +
           QLatin1Char(']');
}

} // namespace

class RulesTest : public QObject {
    Q_OBJECT

private:
    TestFolder m_folder;
    engine::Connection m_db;

private Q_SLOTS:
    void initTestCase() { m_db.open(m_folder.defaultDatabase()); }

    void expressionsFollowSqlPrecedence() {
        QCOMPARE(evaluateText(QStringLiteral("1 + 2 * 3")), 7);
        QCOMPARE(evaluateText(QStringLiteral("(1 + 2) * 3")), 9);
        QCOMPARE(evaluateText(QStringLiteral("7 - 2 - 1")), 4);
        QCOMPARE(evaluateText(QStringLiteral("7 / 2")), 3);
        QCOMPARE(evaluateText(QStringLiteral("7 / 0")), 0);
        QCOMPARE(evaluateText(QStringLiteral("-3 + 1")), -2);
        QCOMPARE(evaluateText(QStringLiteral("NOT 1 = 2")), 1); // NOT binds looser than =
        QCOMPARE(evaluateText(QStringLiteral("1 < 2 = 1")), 1); // < binds tighter than =
        QCOMPARE(evaluateText(QStringLiteral("1 or 0 and 0")), 1);
        QCOMPARE(evaluateText(QStringLiteral("(1 or 0) and 0")), 0);
        QCOMPARE(evaluateText(QStringLiteral("2 <> 3 AND 3 >= 3 And 2 <= 1")), 0);
        const qint64 values[] = {5, 0};
        const QHash<QString, int> slots{{QStringLiteral("z010"), 0}, {QStringLiteral("z012"), 1}};
        QCOMPARE(evaluateText(QStringLiteral("z010 + z012 <= 0"), slots, values), 0);
        QCOMPARE(evaluateText(QStringLiteral("z010+z012>0 and z010+z012<6"), slots, values), 1);
    }

    // Logical operators give 1 or 0 whatever values they join, also when the left side decides.
    void logicalOperatorsYieldOneOrZero() {
        const QHash<QString, int> slots{{QStringLiteral("a"), 0}, {QStringLiteral("b"), 1}};
        const qint64 values[] = {3, 7};
        QCOMPARE(evaluateText(QStringLiteral("a or 0"), slots, values), 1);
        QCOMPARE(evaluateText(QStringLiteral("0 or b"), slots, values), 1);
        QCOMPARE(evaluateText(QStringLiteral("a and b"), slots, values), 1);
        QCOMPARE(evaluateText(QStringLiteral("(0 and b) + (a or b) * 10"), slots, values), 10);
        QCOMPARE(evaluateText(QStringLiteral("not (a and 0) and b > a"), slots, values), 1);
        QCOMPARE(evaluateText(QStringLiteral("(a or b) = 1 and (a = 3 or b = 3)"), slots, values), 1);
    }

    // Random expressions of every operator but division (which the engine answers with null for a
    // zero divisor) give what the database engine gives.
    void randomExpressionsAgreeWithTheEngine() {
        QRandomGenerator random(42);
        const QStringList names{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")};
        const QHash<QString, int> slots{{names[0], 0}, {names[1], 1}, {names[2], 2}};
        const QStringList binary{QStringLiteral("+"),   QStringLiteral("-"),  QStringLiteral("*"),
                                 QStringLiteral("="),   QStringLiteral("<>"), QStringLiteral("<"),
                                 QStringLiteral("<="),  QStringLiteral(">"),  QStringLiteral(">="),
                                 QStringLiteral("and"), QStringLiteral("or")};
        std::function<QString(int)> expression = [&](int depth) -> QString {
            const int kind = depth == 0 ? int(random.bounded(2)) : int(random.bounded(6));
            switch (kind) {
            case 0:
                return names[int(random.bounded(3))];
            case 1:
                return QString::number(random.bounded(4));
            case 2:
                return QStringLiteral("(not (%1))").arg(expression(depth - 1));
            default:
                return QStringLiteral("(%1 %2 %3)")
                    .arg(expression(depth - 1), binary[int(random.bounded(binary.size()))],
                         expression(depth - 1));
            }
        };
        for (int sample = 0; sample < 400; ++sample) {
            const qint64 values[] = {random.bounded(4), random.bounded(4), random.bounded(4)};
            const QString text = expression(4);
            QString literal = text;
            for (int i = 0; i < 3; ++i)
                literal.replace(names[i], QString::number(values[i]));
            const qint64 engineSays = m_db.scalar(QStringLiteral("select ") + literal).toLongLong();
            QVERIFY2(evaluateText(text, slots, values) == engineSays, qPrintable(text));
        }
    }

    // The batch evaluation only sorts out the records that surely pass: it must never pass one that
    // fails or overflows, and with small values (no overflow anywhere) it must pass every other one.
    void batchEvaluationPassesExactlyTheRecordsThatHold() {
        QRandomGenerator random(7);
        const QStringList names{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")};
        const QHash<QString, int> slots{{names[0], 0}, {names[1], 1}, {names[2], 2}};
        const QStringList binary{QStringLiteral("+"),  QStringLiteral("-"),   QStringLiteral("*"),
                                 QStringLiteral("/"),  QStringLiteral("="),   QStringLiteral("<>"),
                                 QStringLiteral("<"),  QStringLiteral("<="),  QStringLiteral(">"),
                                 QStringLiteral(">="), QStringLiteral("and"), QStringLiteral("or")};
        std::function<QString(int)> expression = [&](int depth) -> QString {
            switch (depth == 0 ? int(random.bounded(2)) : int(random.bounded(7))) {
            case 0:
                return names[int(random.bounded(3))];
            case 1:
                return QString::number(random.bounded(4));
            case 2:
                return QStringLiteral("(not (%1))").arg(expression(depth - 1));
            case 3:
                return QStringLiteral("(-%1)").arg(expression(depth - 1));
            default:
                return QStringLiteral("(%1 %2 %3)")
                    .arg(expression(depth - 1), binary[int(random.bounded(binary.size()))],
                         expression(depth - 1));
            }
        };
        const qint64 extremes[] = {0,
                                   1,
                                   -1,
                                   3,
                                   std::numeric_limits<qint64>::max(),
                                   std::numeric_limits<qint64>::min(),
                                   qint64(1) << 62};
        constexpr size_t Records = 50;
        RuleExpression::BatchScratch scratch;
        for (int sample = 0; sample < 300; ++sample) {
            const QString text = expression(4);
            const RuleExpression rule =
                RuleExpression::compile(text, [&](const QString& name) { return slots.value(name, -1); });
            const bool small = sample % 2 == 0;
            std::vector<qint64> columns(3 * Records);
            for (qint64& value : columns)
                value = small ? qint64(random.bounded(4)) : extremes[random.bounded(7)];
            const qint64* columnStarts[] = {columns.data(), columns.data() + Records,
                                            columns.data() + 2 * Records};
            std::vector<unsigned char> doubtful(Records, 0);
            rule.markDoubtful(columnStarts, Records, scratch, doubtful.data());
            for (size_t i = 0; i < Records; ++i) {
                const qint64 values[] = {columns[i], columns[Records + i], columns[2 * Records + i]};
                bool overflowed = false;
                const bool holds = rule.evaluate(values, &overflowed) != 0;
                const QByteArray where = text.toUtf8() + " at " + QByteArray::number(qulonglong(i));
                if (!holds || overflowed)
                    QVERIFY2(doubtful[i], where.constData());
                if (small)
                    QVERIFY2(bool(doubtful[i]) == !holds, where.constData());
            }
        }

        // The built-in rules over a batch: a record is doubtful exactly when it violates a rule.
        const CompiledRuleSet& rules = CompiledRuleSet::builtIn();
        const size_t fieldCount = size_t(rules.fields().size());
        const std::vector<qint64> clean = recordOf({{QStringLiteral("c904"), 1},
                                                    {QStringLiteral("z001"), 1},
                                                    {QStringLiteral("z002"), 10},
                                                    {QStringLiteral("z003"), 5},
                                                    {QStringLiteral("z004"), 5},
                                                    {QStringLiteral("z005"), 2},
                                                    {QStringLiteral("z006"), 5},
                                                    {QStringLiteral("z007"), 5},
                                                    {QStringLiteral("z008"), 3},
                                                    {QStringLiteral("z009"), 2},
                                                    {QStringLiteral("z010"), 1},
                                                    {QStringLiteral("z011"), 1},
                                                    {QStringLiteral("z012"), 1},
                                                    {QStringLiteral("z013"), 1},
                                                    {QStringLiteral("z014"), 1},
                                                    {QStringLiteral("z015"), 1}});
        QVERIFY(violatedRules(clean).isEmpty());
        // Clean records, each with one value changed at random: some still pass, some not.
        std::vector<qint64> values(fieldCount * Records);
        for (size_t i = 0; i < Records; ++i) {
            const size_t changed = size_t(random.bounded(int(fieldCount)));
            for (size_t slot = 0; slot < fieldCount; ++slot)
                values[slot * Records + i] = slot == changed ? qint64(random.bounded(12)) : clean[slot];
        }
        std::vector<const qint64*> columnStarts;
        for (size_t slot = 0; slot < fieldCount; ++slot)
            columnStarts.push_back(values.data() + slot * Records);
        std::vector<unsigned char> doubtful;
        rules.markDoubtful(columnStarts.data(), Records, scratch, doubtful);
        int failing = 0;
        for (size_t i = 0; i < Records; ++i) {
            std::vector<qint64> record;
            for (size_t slot = 0; slot < fieldCount; ++slot)
                record.push_back(columnStarts[slot][i]);
            const bool violates = !violatedRules(record).isEmpty();
            QCOMPARE(bool(doubtful[i]), violates);
            failing += violates ? 1 : 0;
        }
        QVERIFY(failing > 0 && failing < int(Records));
    }

    void malformedRulesAreRefused() {
        const QHash<QString, int> slots{{QStringLiteral("z001"), 0}};
        for (const char* text : {"z001 >", "(z001", "z001)", "z001 z001", "", "and", "z001 ,z002", "c999 > 1",
                                 "z001 > 'a'", "z001 >> 1", "99999999999999999999 > 1"}) {
            bool refused = false;
            try {
                evaluateText(QString::fromUtf8(text), slots);
            } catch (const RuleSyntaxError&) {
                refused = true;
            }
            QVERIFY2(refused, text);
        }
    }

    // Nesting is bounded: a moderate depth compiles, a text nested beyond the limit is refused
    // instead of recursing until the stack runs out.
    void deepNestingIsRefusedNotOverflowed() {
        const int moderate = 40;
        QCOMPARE(evaluateText(QString(moderate, QLatin1Char('(')) + QStringLiteral("7") +
                              QString(moderate, QLatin1Char(')'))),
                 7);
        QCOMPARE(evaluateText(QStringLiteral("not ").repeated(moderate) + QStringLiteral("0")), 0);
        QCOMPARE(evaluateText(QStringLiteral("- ").repeated(moderate - 1) + QStringLiteral("5")), -5);
        const int deep = 200000;
        for (const QString& text :
             {QString(deep, QLatin1Char('(')) + QStringLiteral("1") + QString(deep, QLatin1Char(')')),
              QStringLiteral("not ").repeated(deep) + QStringLiteral("1"),
              QString(deep, QLatin1Char('-')) + QStringLiteral("1"),
              QString(deep, QLatin1Char('+')) + QStringLiteral("1")})
            QVERIFY_THROWS_EXCEPTION(RuleSyntaxError, evaluateText(text));
    }

    // Every rule against the database engine as an independent judge, on records drawn from a small
    // range so that every rule is both kept and broken.
    void everyBuiltInRuleAgreesWithTheEngine() {
        const CompiledRuleSet& rules = CompiledRuleSet::builtIn();
        QCOMPARE(rules.ruleCount(), 90);
        QCOMPARE(int(builtInRules().size()), 90);
        for (int i = 0; i < rules.ruleCount(); ++i)
            QCOMPARE(rules.rule(i).number, i + 1);
        QRandomGenerator random(20);
        std::vector<int> kept(size_t(rules.ruleCount()), 0), broken(size_t(rules.ruleCount()), 0);
        std::vector<qint64> record(size_t(rules.fields().size()));
        for (int sample = 0; sample < 300; ++sample) {
            for (qint64& value : record)
                value = random.bounded(4);
            for (int i = 0; i < rules.ruleCount(); ++i) {
                const QString text =
                    substituteValues(QString::fromUtf8(rules.rule(i).ruleText), [&](const QString& name) {
                        const int slot = int(rules.fields().indexOf(name.toLower()));
                        return slot < 0 ? name : QString::number(record[size_t(slot)]);
                    });
                const bool engineSays = m_db.scalar(QStringLiteral("select ") + text).toLongLong() != 0;
                const bool holds = rules.holds(i, record.data());
                QVERIFY2(holds == engineSays, qPrintable(text));
                ++(holds ? kept : broken)[size_t(i)];
            }
        }
        for (int i = 0; i < rules.ruleCount(); ++i)
            QVERIFY2(kept[size_t(i)] > 0 && broken[size_t(i)] > 0, rules.rule(i).ruleText);
    }

    void knownRecordsBreakExactlyTheirRules() {
        // A single union with nothing filled in.
        QCOMPARE(violatedRules(recordOf({{QStringLiteral("c904"), 1}})),
                 (QList<int>{1, 2, 7, 12, 14, 57, 71, 81, 82}));
        // Rule 49 repeats rule 34.
        const QList<int> h001 =
            violatedRules(recordOf({{QStringLiteral("c904"), 1}, {QStringLiteral("h001"), 3}}));
        QVERIFY(h001.contains(34) && h001.contains(49));
        // An empty organisation type breaks rule 1 whatever z001 is.
        QVERIFY(violatedRules(recordOf({{QStringLiteral("z001"), 5}})).contains(1));

        // Rule 6: z006 below z002 is enough; equal needs z007..z009 equal to z003..z005; above breaks it.
        const CompiledRuleSet& rules = CompiledRuleSet::builtIn();
        auto rule6 = [&](const QHash<QString, qint64>& values) {
            return rules.holds(5, recordOf(values).data());
        };
        const QHash<QString, qint64> below{
            {QStringLiteral("z002"), 10}, {QStringLiteral("z006"), 9}, {QStringLiteral("z007"), 7}};
        QVERIFY(rule6(below));
        QHash<QString, qint64> equal{{QStringLiteral("z002"), 10}, {QStringLiteral("z006"), 10},
                                     {QStringLiteral("z003"), 4},  {QStringLiteral("z007"), 4},
                                     {QStringLiteral("z004"), 3},  {QStringLiteral("z008"), 3}};
        QVERIFY(rule6(equal));
        equal[QStringLiteral("z009")] = 1;
        QVERIFY(!rule6(equal));
        QVERIFY(!rule6({{QStringLiteral("z002"), 10}, {QStringLiteral("z006"), 11}}));

        // Rule 17 and 19: z014 of 1 or 2 only with people in z015 + z016, 0 only without.
        auto rule17 = [&](qint64 z014, qint64 z015) {
            return rules.holds(
                16, recordOf({{QStringLiteral("z014"), z014}, {QStringLiteral("z015"), z015}}).data());
        };
        QVERIFY(rule17(1, 2) && rule17(2, 1) && rule17(0, 0));
        QVERIFY(!rule17(1, 0) && !rule17(0, 1) && !rule17(3, 1));
        QVERIFY(violatedRules(recordOf({{QStringLiteral("z014"), 3}})).contains(19));
    }

    void explanationsRenderFieldsAndOperators() {
        ScriptedUiServices ui;
        ExplanationRenderer renderer(m_db, ui);
        QCOMPARE(renderer.render(QStringLiteral("z002[>]z001")),
                 hintOf(m_db, "z002") + QStringLiteral("必须大于") + hintOf(m_db, "z001"));
        QCOMPARE(renderer.render(QStringLiteral("z005[<=]z004并且[<=]z003")),
                 hintOf(m_db, "z005") + QStringLiteral("不能大于") + hintOf(m_db, "z004") +
                     QStringLiteral("并且不能大于") + hintOf(m_db, "z003"));
        QCOMPARE(renderer.render(QStringLiteral("如果b005[=1],那么b008不能等于1")),
                 QStringLiteral("如果") + hintOf(m_db, "b005") + QStringLiteral("=1,那么") +
                     hintOf(m_db, "b008") + QStringLiteral("不能等于1"));
        QCOMPARE(renderer.render(QStringLiteral("h005<=2")), hintOf(m_db, "h005") + QStringLiteral("<=2"));
        QCOMPARE(renderer.render(QStringLiteral("j013[<>]1")), hintOf(m_db, "j013") + QStringLiteral("<>1"));
        QCOMPARE(renderer.render(QStringLiteral("[abc]")), QStringLiteral("abc"));
        QCOMPARE(renderer.render(QStringLiteral("z001[>=]0 (z014 [<] 2)")),
                 hintOf(m_db, "z001") + QStringLiteral("不能小于0 (") + hintOf(m_db, "z014") +
                     QStringLiteral(" 必须小于 2)"));
        QVERIFY(ui.messages().empty());

        // The lookup is kept until marked stale: a new hint shows only afterwards.
        const QString oldHint = hintOf(m_db, "z001");
        m_db.execute(QStringLiteral("update dt_fieldlist set Hint='新提示' where FieldName='z001'"));
        QCOMPARE(renderer.render(QStringLiteral("z001")), oldHint);
        renderer.markStale();
        QCOMPARE(renderer.render(QStringLiteral("z001")), QStringLiteral("[新提示]"));

        // A dictionary that cannot be read: the term renders empty after the error message.
        engine::Connection closed;
        ExplanationRenderer broken(closed, ui);
        QCOMPARE(broken.render(QStringLiteral("z001[>]0")), QStringLiteral("必须大于0"));
        QCOMPARE(ui.messages().size(), size_t(1));
        QVERIFY(ui.lastMessage().startsWith(RunErrorPrefix));
        QVERIFY(ui.lastMessage().endsWith(QStringLiteral(",当前的Key为z001")));
    }

    void valuesReplaceNamesAndNothingElseReachesTheEngine() {
        const QHash<QString, qint64> form{{QStringLiteral("h001"), 0},
                                          {QStringLiteral("h002"), 1},
                                          {QStringLiteral("z001"), 5},
                                          {QStringLiteral("z002"), -3}};
        const FieldValueReader valueOf = [&](const QString& name) -> std::optional<qint64> {
            const auto it = form.find(name.toLower());
            return it == form.end() ? std::nullopt : std::optional<qint64>(*it);
        };
        ScriptedUiServices ui;
        ExplanationRenderer renderer(m_db, ui);
        PlainList list;
        PageRuleRunner runner(m_db, ui, renderer, list);
        auto substitute = [&](const QString& expression) {
            return substituteValues(expression,
                                    [&](const QString& name) { return runner.resolveName(name, valueOf); });
        };
        QCOMPARE(substitute(QStringLiteral("h001 <> 0 or (h001 = 0 and h002 <> 1)")),
                 QStringLiteral("0 <> 0 or (0 = 0 and 1 <> 1)"));
        QVERIFY(!runner.evaluateRule(QStringLiteral("h001 <> 0 or (h001 = 0 and h002 <> 1)"), valueOf));
        QCOMPARE(substitute(QStringLiteral("H001=1 and not z001<2 OR z001>=10")),
                 QStringLiteral("0=1 and not 5<2 OR 5>=10"));
        // A negative value never forms "--", which would comment out the rest of the statement.
        QCOMPARE(substitute(QStringLiteral("z001-z002")), QStringLiteral("5-(-3)"));
        QVERIFY(runner.evaluateRule(QStringLiteral("z001-z002 = 8"), valueOf));
        // Division keeps its fraction; division by zero is an error, not a silent pass.
        QVERIFY(runner.evaluateRule(QStringLiteral("z001 / 2 > 2"), valueOf));
        QVERIFY(!runner.evaluateRule(QStringLiteral("z001 / 2 > 3"), valueOf));
        QVERIFY_THROWS_EXCEPTION(Error, runner.evaluateRule(QStringLiteral("z001 / h001 > 1"), valueOf));
        QVERIFY(ui.messages().empty());

        // A name with a comma or period is one name.
        QCOMPARE(substitute(QStringLiteral("z001,z002 > 1")), QStringLiteral(" > 1"));
        QCOMPARE(ui.lastMessage(), QStringLiteral("Control name parse error : z001,z002"));

        // Only numbers, operators and the logical words reach the engine.
        QCOMPARE(engineExpression(QStringLiteral("5--3<>2")), QStringLiteral("5 - - 3 <> 2"));
        for (const char* text : {"1; drop table dt_data", "1 or '1'='1'", "1 union select 2", "x'00'",
                                 "1.5 > 1", "random()", "   "}) {
            bool refused = false;
            try {
                engineExpression(QString::fromUtf8(text));
            } catch (const Error&) {
                refused = true;
            }
            QVERIFY2(refused, text);
        }
        QVERIFY(m_db.tableExists(QStringLiteral("dt_data")));
    }

    void pageRulesFillTheListAndStopAtAFaultyRule() {
        m_db.execute(QStringLiteral("delete from dt_logic"));
        const QString insert = QStringLiteral("insert into dt_logic (id, page_id, expression, rule, explain, "
                                              "focus) values (?1,?2,?3,?4,?5,?6)");
        m_db.execute(insert, {1, 2, QStringLiteral("b002 > z002"), QStringLiteral("b002<=z002"),
                              QStringLiteral("b002[<=]z002"), QStringLiteral("b002")});
        m_db.execute(insert, {2, 2, QStringLiteral("b003 > 0"), QStringLiteral("b003=0"),
                              QStringLiteral("b003[=]0"), QStringLiteral("b003")});
        m_db.execute(insert, {3, 3, QStringLiteral("h001 > 2"), QStringLiteral("h001<=2"),
                              QStringLiteral("h001[<=]2"), QStringLiteral("h001")});
        m_db.execute(insert, {4, 5, QStringLiteral("f001 > 2 or"), QStringLiteral("f001<=2"), QString(),
                              QStringLiteral("f001")});
        m_db.execute(insert, {5, 6, QStringLiteral("j001 > 0"), QStringLiteral("j001=0"), QString(),
                              QStringLiteral("j001")});
        QHash<QString, qint64> form{{QStringLiteral("b002"), 9}, {QStringLiteral("z002"), 5},
                                    {QStringLiteral("b003"), 1}, {QStringLiteral("h001"), 1},
                                    {QStringLiteral("f001"), 3}, {QStringLiteral("j001"), 1}};
        const FieldValueReader valueOf = [&](const QString& name) -> std::optional<qint64> {
            const auto it = form.find(name.toLower());
            return it == form.end() ? std::nullopt : std::optional<qint64>(*it);
        };
        ScriptedUiServices ui;
        ExplanationRenderer renderer(m_db, ui);
        PlainList list;
        PageRuleRunner runner(m_db, ui, renderer, list);

        list.messages.push_back({QStringLiteral("old"), QString(), 1, QString()});
        QVERIFY(!runner.runPageRules(0, true, valueOf));
        QVERIFY(!runner.runPageRules(8, true, valueOf));
        QCOMPARE(list.messages.size(), size_t(1)); // untouched
        QCOMPARE(list.clears, 0);

        QVERIFY(runner.runPageRules(4, true, valueOf)); // a page without rules, cleared
        QCOMPARE(list.shows, 0);

        QVERIFY(!runner.runPageRules(2, true, valueOf));
        QCOMPARE(list.messages.size(), size_t(2));
        QCOMPARE(list.messages[0].rule, QStringLiteral("b002<=z002"));
        QCOMPARE(list.messages[0].explanation,
                 hintOf(m_db, "b002") + QStringLiteral("不能大于") + hintOf(m_db, "z002"));
        QCOMPARE(list.messages[0].page, 2);
        QCOMPARE(list.messages[0].focus, QStringLiteral("b002"));
        QCOMPARE(list.shows, 1);

        // Page 5's rule is malformed: its expression is shown, page 6 still runs under the whole check.
        QVERIFY(!runner.runAllPageRules(valueOf));
        QCOMPARE(ui.lastMessage(), QStringLiteral("f001 > 2 or"));
        QStringList rules;
        for (const LogicMessage& message : list.messages)
            rules << message.rule;
        QCOMPARE(rules, (QStringList{QStringLiteral("b002<=z002"), QStringLiteral("b003=0"),
                                     QStringLiteral("j001=0")}));

        form[QStringLiteral("b002")] = 1;
        form[QStringLiteral("b003")] = 0;
        QVERIFY(runner.runPageRules(2, true, valueOf));
    }

    // The shipped dt_logic rules say the same as the built-in rules they come from.
    void shippedPageRulesAgreeWithTheBuiltInRules() {
        TestFolder folder;
        engine::Connection db(folder.defaultDatabase());
        const CompiledRuleSet& rules = CompiledRuleSet::builtIn();
        ScriptedUiServices ui;
        ExplanationRenderer renderer(db, ui);
        PlainList list;
        PageRuleRunner runner(db, ui, renderer, list);
        QRandomGenerator random(7);
        std::vector<qint64> record(size_t(rules.fields().size()));
        const FieldValueReader valueOf = [&](const QString& name) -> std::optional<qint64> {
            const int slot = int(rules.fields().indexOf(name.toLower()));
            return slot < 0 ? std::nullopt : std::optional<qint64>(record[size_t(slot)]);
        };
        engine::Statement shipped(db, QStringLiteral("select expression, rule from dt_logic order by id"));
        int count = 0;
        while (shipped.step()) {
            ++count;
            const QString expression = shipped.text(0);
            const QString rule = shipped.text(1);
            int builtIn = -1;
            for (int i = 0; i < rules.ruleCount() && builtIn < 0; ++i)
                if (QString::fromUtf8(rules.rule(i).ruleText).simplified() == rule)
                    builtIn = i;
            QVERIFY2(builtIn >= 0, qPrintable(rule));
            for (int sample = 0; sample < 40; ++sample) {
                for (qint64& value : record)
                    value = random.bounded(4);
                QCOMPARE(runner.evaluateRule(expression, valueOf), !rules.holds(builtIn, record.data()));
            }
        }
        QVERIFY(count > 80);
        QVERIFY(ui.messages().empty());
    }

    void ruleListingWritesThreeLinesPerRulePageByPage() {
        TestFolder folder;
        engine::Connection db(folder.defaultDatabase());
        db.execute(QStringLiteral("delete from dt_logic"));
        const QString insert = QStringLiteral("insert into dt_logic (id, page_id, expression, rule, explain, "
                                              "focus) values (?1,?2,?3,?4,?5,?6)");
        db.execute(insert, {1, 3, QStringLiteral("h001>2"), QStringLiteral("h001<=2"),
                            QStringLiteral("职工's h001"), QStringLiteral("h001")});
        db.execute(insert, {2, 1, QStringLiteral("z002<=z001"), QStringLiteral("z002>z001"),
                            QStringLiteral("z002[>]z001"), QStringLiteral("z002")});
        const QString path = folder.file(QStringLiteral("导出逻辑.txt"));
        writeRuleListing(db, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), toGbk(QStringLiteral("if z002<=z001 then\r\nWriteString('z002>z001',\r\n"
                                                      "Parse('z002[>]z001'),1,'z002');\r\n"
                                                      "if h001>2 then\r\nWriteString('h001<=2',\r\n"
                                                      "Parse('职工's h001'),3,'h001');\r\n")));
        QVERIFY(ruleListingPath().endsWith(QStringLiteral("/导出逻辑.txt")));
        QVERIFY_THROWS_EXCEPTION(FileError,
                                 writeRuleListing(db, folder.file(QStringLiteral("missing/x.txt"))));
    }
};

QTEST_GUILESS_MAIN(RulesTest)
#include "tst_rules.moc"
