// test-kind: core
#include "checks/BuiltInRules.h"
#include "checks/ResultsTable.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include "app/engine/Connection.h"

#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::checks;

namespace {

// Rule indexes (rule number − 1) on different pages.
constexpr int Rule1 = 0;   // page 1, "(c904 = 1 and z001 = 1) or ..."
constexpr int Rule20 = 19; // page 2, "b002<=z002"
constexpr int Rule34 = 33; // page 3, "h001<=2"
constexpr int Rule87 = 86; // page 7, "s001<=2"

Violation violation(UnionCode code, const char* name, const char* division, int rule) {
    return {code, QString::number(code), QString::fromUtf8(name), QString::fromLatin1(division), rule};
}

// Three records in two provinces, in the order a run lists them (code, then rule).
std::vector<Violation> sampleRun() {
    return {violation(110101000001, "北京甲工会", "110101", Rule1),
            violation(110101000001, "北京甲工会", "110101", Rule34),
            violation(110101000002, "北京乙工会", "110102", Rule20),
            violation(110101000002, "北京乙工会", "110102", Rule34),
            violation(110101000002, "北京乙工会", "110102", Rule87),
            violation(320101000001, "南京丙工会", "320102", Rule34)};
}

QStringList strings(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* text : texts)
        list << QString::fromUtf8(text);
    return list;
}

QStringList explanations() {
    QStringList texts;
    for (const BuiltInRule& rule : builtInRules())
        texts << QStringLiteral("说明%1").arg(rule.number);
    return texts;
}

QStringList column(const ResultsTable& table, ResultColumn which) {
    QStringList cells;
    for (int row = 0; row < table.rowCount(); ++row)
        cells << table.cellText(row, which);
    return cells;
}

// Whether the rows of each group stand together and the group numbers count up without gaps.
bool groupsContiguous(const ResultsTable& table, ResultColumn key) {
    QSet<QString> closed;
    QString current;
    for (int row = 0; row < table.rowCount(); ++row) {
        const QString value = table.cellText(row, key);
        if (value == current)
            continue;
        if (closed.contains(value))
            return false;
        if (row > 0 && table.groupOf(row) != table.groupOf(row - 1) + 1)
            return false;
        closed.insert(current);
        current = value;
    }
    return true;
}

} // namespace

class ResultsTableTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filtersNarrowTheRowsAndTheCountsFollow() {
        ResultsTable table(explanations());
        table.setViolations(sampleRun());
        QCOMPARE(table.rowCount(), 6);
        QCOMPARE(table.shownRecordCount(), 3);

        ResultFilter filter;
        filter.page = 3;
        table.setFilter(filter);
        QCOMPARE(column(table, ResultColumn::Rule), (strings({"34", "34", "34"})));
        QCOMPARE(table.shownRecordCount(), 3);

        filter = {};
        filter.rule = Rule87;
        table.setFilter(filter);
        QCOMPARE(column(table, ResultColumn::Code), strings({"110101000002"}));
        QCOMPARE(column(table, ResultColumn::Page), strings({"7"}));
        QCOMPARE(column(table, ResultColumn::FocusField), strings({"s001"}));

        filter = {};
        filter.province = QStringLiteral("32");
        table.setFilter(filter);
        QCOMPARE(column(table, ResultColumn::UnionName), QStringList{QStringLiteral("南京丙工会")});

        // Text is looked for in the names, the codes, the rule texts and the explanations.
        filter = {};
        filter.text = QStringLiteral("乙");
        table.setFilter(filter);
        QCOMPARE(table.rowCount(), 3);
        QCOMPARE(table.shownRecordCount(), 1);
        filter.text = QStringLiteral("B002");
        table.setFilter(filter);
        QCOMPARE(column(table, ResultColumn::Rule), strings({"20"}));
        filter.text = QStringLiteral("说明87");
        table.setFilter(filter);
        QCOMPARE(column(table, ResultColumn::Explanation), QStringList{QStringLiteral("说明87")});
        filter.text = QStringLiteral("320101");
        table.setFilter(filter);
        QCOMPARE(table.rowCount(), 1);

        // Conditions combine.
        filter = {};
        filter.page = 3;
        filter.province = QStringLiteral("11");
        table.setFilter(filter);
        QCOMPARE(table.rowCount(), 2);
        QCOMPARE(table.shownRecordCount(), 2);
        QCOMPARE(table.recordsInOrder(), (std::vector<UnionCode>{110101000001, 110101000002}));
    }

    void groupsStayTogetherWhateverTheSort() {
        ResultsTable table(explanations());
        table.setViolations(sampleRun());

        // By record, sorted by rule number descending: records in the order of their highest rule.
        table.setSort(ResultColumn::Rule, false);
        QVERIFY(groupsContiguous(table, ResultColumn::Code));
        QCOMPARE(column(table, ResultColumn::Rule), (strings({"87", "34", "20", "34", "1", "34"})));
        QCOMPARE(table.recordsInOrder(), (std::vector<UnionCode>{110101000002, 110101000001, 320101000001}));

        // By rule, sorted by name descending: within each rule the names run backwards.
        table.setGrouping(ResultGrouping::ByRule);
        table.setSort(ResultColumn::UnionName, true);
        QVERIFY(groupsContiguous(table, ResultColumn::Rule));
        QCOMPARE(column(table, ResultColumn::Rule), (strings({"20", "34", "34", "34", "87", "1"})));
        table.setSort(ResultColumn::UnionName, false);
        QVERIFY(groupsContiguous(table, ResultColumn::Rule));
        const QStringList names = column(table, ResultColumn::UnionName);
        QCOMPARE(names.mid(0, 3), (QStringList{QStringLiteral("南京丙工会"), QStringLiteral("北京甲工会"),
                                               QStringLiteral("北京乙工会")}));

        // Sorting by a text column orders by that text: "(c904 …" < "b002…" < "h001…" < "s001…".
        table.setSort(ResultColumn::RuleText, true);
        QCOMPARE(column(table, ResultColumn::Rule), (strings({"1", "20", "34", "34", "34", "87"})));
    }

    void aRecordCheckedAgainReplacesItsRows() {
        ResultsTable table(explanations());
        table.setViolations(sampleRun());

        // Fixed: its rows go.
        table.replaceRecord(110101000002, 110101000002, {});
        QCOMPARE(table.rowCount(), 3);
        QCOMPARE(table.firstRowOf(110101000002), -1);

        // Still wrong, under a new code: the rows of the old code give way to the new ones in place.
        table.replaceRecord(110101000001, 110101000009,
                            {violation(110101000009, "北京甲工会", "110101", Rule87)});
        QCOMPARE(column(table, ResultColumn::Code), (strings({"110101000009", "320101000001"})));
        QCOMPARE(column(table, ResultColumn::Rule), (strings({"87", "34"})));

        // A record without rows before gets them at its place in the sort.
        table.replaceRecord(110101000005, 110101000005,
                            {violation(110101000005, "北京丁工会", "110105", Rule20)});
        QCOMPARE(column(table, ResultColumn::Code),
                 (strings({"110101000005", "110101000009", "320101000001"})));
    }

    void theOverviewCountsRulesAndPagesAndNamesTheTopTen() {
        std::vector<Violation> run = sampleRun();
        // Rule 34 fails most; its example is the lowest code even when listed later.
        run.insert(run.begin(), violation(320101000005, "南京戊工会", "320102", Rule87));
        const ResultsOverview overview = summarizeResults(run);
        QCOMPARE(overview.perRule[size_t(Rule34)], qint64(3));
        QCOMPARE(overview.perRule[size_t(Rule87)], qint64(2));
        QCOMPARE(overview.perPage[1], qint64(1));
        QCOMPARE(overview.perPage[3], qint64(3));
        QCOMPARE(overview.perPage[7], qint64(2));
        QCOMPARE(overview.perPage[5], qint64(0));
        QCOMPARE(int(overview.mostFailing.size()), 4);
        QCOMPARE(overview.mostFailing[0].rule, Rule34);
        QCOMPARE(overview.mostFailing[1].rule, Rule87);
        QCOMPARE(overview.mostFailing[1].example.code, UnionCode(110101000002));
        // Equal counts keep rule order.
        QCOMPARE(overview.mostFailing[2].rule, Rule1);
        QCOMPARE(overview.mostFailing[3].rule, Rule20);

        std::vector<Violation> many;
        for (int rule = 0; rule < 30; ++rule)
            many.push_back(violation(110101000001, "甲", "110101", rule));
        QCOMPARE(int(summarizeResults(many).mostFailing.size()), 10);
    }

    void theExportHoldsTheShownRowsInTheirOrder() {
        ResultsTable table(explanations());
        table.setViolations(sampleRun());
        ResultFilter filter;
        filter.rule = Rule34;
        table.setFilter(filter);
        table.setSort(ResultColumn::Code, false);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("结果.xlsx"));
        exportResults(table, path);
        XlsxReader book(path);
        QVERIFY(book.isValid());
        QCOMPARE(book.cell(1, QStringLiteral("A1")), QStringLiteral("单位编号"));
        QCOMPARE(book.cell(1, QStringLiteral("F1")), QStringLiteral("规则说明"));
        QCOMPARE(book.cell(1, QStringLiteral("A2")), QStringLiteral("320101000001"));
        QCOMPARE(book.cell(1, QStringLiteral("A3")), QStringLiteral("110101000002"));
        QCOMPARE(book.cell(1, QStringLiteral("A4")), QStringLiteral("110101000001"));
        QCOMPARE(book.cell(1, QStringLiteral("D4")), QStringLiteral("34"));
        QCOMPARE(book.cell(1, QStringLiteral("E4")), QStringLiteral("h001<=2"));
        QCOMPARE(book.cell(1, QStringLiteral("G4")), QStringLiteral("h001"));
        QVERIFY(book.cell(1, QStringLiteral("A5")).isEmpty());
    }

    void provincesCountTheirRecordsByState() {
        testing::TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        const char* insert =
            "insert into dt_data(c901, c902, c903, c912, RecordState) values (?, ?, ?, ?, ?)";
        connection.execute(QString::fromLatin1(insert), {110101000001LL, QStringLiteral("a"), 110101, 1, 1});
        connection.execute(QString::fromLatin1(insert), {110101000002LL, QStringLiteral("b"), 110102, 1, 2});
        connection.execute(QString::fromLatin1(insert), {110101000003LL, QStringLiteral("c"), 110102, 1, 2});
        connection.execute(QString::fromLatin1(insert), {320101000001LL, QStringLiteral("d"), 320102, 2, 0});
        // Not filing: left out.
        connection.execute(QString::fromLatin1(insert), {320101000002LL, QStringLiteral("e"), 320102, 3, 2});
        testing::ScriptedUiServices ui;
        const std::vector<ProvinceStates> provinces = recordStatesByProvince(connection, ui);
        QCOMPARE(int(provinces.size()), 2);
        QCOMPARE(provinces[0].province, QStringLiteral("11"));
        QCOMPARE(provinces[0].records, (std::array<qint64, 3>{0, 1, 2}));
        QCOMPARE(provinces[1].province, QStringLiteral("32"));
        QCOMPARE(provinces[1].records, (std::array<qint64, 3>{1, 0, 0}));
        QVERIFY(!provinces[0].name.isEmpty());
        QVERIFY(provinces[0].name != QStringLiteral("11"));
    }
};

QTEST_GUILESS_MAIN(ResultsTableTest)
#include "tst_resultstable.moc"
