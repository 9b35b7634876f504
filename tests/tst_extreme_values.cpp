// test-kind: core
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"
#include "checks/BuiltInRules.h"
#include "checks/CheckRunner.h"
#include "checks/Explanation.h"
#include "exchange/ConflictReport.h"
#include "exchange/NetworkExport.h"
#include "records/RecordGenerator.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryQueries.h"
#include "support/OpenSession.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QtTest>
#include <limits>

using namespace corvalis;
using corvalis::testing::OpenSession;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

constexpr qint64 Largest = std::numeric_limits<qint64>::max();
constexpr qint64 Smallest = std::numeric_limits<qint64>::min();

struct Site : OpenSession {
    // A record with the given columns, bound as given; every other column keeps its default.
    void insert(const QVariantMap& values) {
        QStringList marks;
        QVariantList params;
        for (auto it = values.begin(); it != values.end(); ++it) {
            marks << QStringLiteral("?%1").arg(params.size() + 1);
            params << it.value();
        }
        db().execute(QStringLiteral("insert into dt_data (%1) values (%2)")
                         .arg(values.keys().join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                     params);
    }
    // One summary column of one statement over dt_data.
    QVariant selectListValue(int list, const QString& column) {
        engine::Statement statement(db(), QStringLiteral("select ") + summary::summarySelectList(list));
        statement.step();
        return statement.value(statement.columnIndex(column));
    }
};

QVariantMap record(qint64 code, const QString& name = QStringLiteral("甲工会")) {
    return {{QStringLiteral("c901"), double(code)},
            {QStringLiteral("c902"), name},
            {QStringLiteral("c912"), 1},
            {QStringLiteral("RecordState"), 1}};
}

QVariantMap with(QVariantMap values, const QString& column, const QVariant& value) {
    values.insert(column, value);
    return values;
}

} // namespace

class ExtremeValuesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void summaryTotalsPastSixtyFourBitsGoFloating() {
        Site site;
        site.insert(
            with(with(record(110000000001), QStringLiteral("z002"), Largest), QStringLiteral("z003"), 2));
        site.insert(with(with(record(110000000002), QStringLiteral("z002"), 5), QStringLiteral("z003"), 3));
        // By filing state: the class of state 1 holds both records.
        const std::vector<summary::SummaryRow> rows = summary::summaryRows(site.db(), 2, 4, 0);
        const auto filing = std::find_if(
            rows.begin(), rows.end(), [](const summary::SummaryRow& row) { return !row.values[0].isNull(); });
        QVERIFY(filing != rows.end());
        const QStringList names = summary::selectListColumns(1);
        const QVariant employees = filing->values[size_t(names.indexOf(QStringLiteral("sum_z002")))];
        QCOMPARE(employees.typeId(), QMetaType::Double);
        QCOMPARE(employees.toDouble(), 9223372036854775812.0);
        // Totals that fit stay exact whole numbers.
        const QVariant women = filing->values[size_t(names.indexOf(QStringLiteral("sum_z003")))];
        QCOMPARE(women.typeId(), QMetaType::LongLong);
        QCOMPARE(women.toLongLong(), qint64(5));

        // A custom group's items run the same way.
        site.db().execute(
            QStringLiteral("insert into ct_group (ID, Name, orderstr) values (7, 'g', 'id ASC')"));
        site.db().execute(
            QStringLiteral("insert into DT_GroupItem (GroupID, Title, LowBoundary, HighBoundary, "
                           "LowSymbol, HighSymbol) values (7, 'all', 100000000000, 999999999999, "
                           "'>=', '<=')"));
        const std::vector<summary::SummaryRow> items = summary::summaryRows(site.db(), 2, 5, 7);
        QCOMPARE(items.size(), size_t(1));
        QCOMPARE(items.front().values[size_t(names.indexOf(QStringLiteral("sum_z002")))].toDouble(),
                 9223372036854775812.0);
    }

    void halvedAnswersAreFloored() {
        Site site;
        site.insert(with(with(record(110000000001), QStringLiteral("b001"), -1), QStringLiteral("s001"), -1));
        // int(-1/2) is the largest whole number not above -0.5: -1, where the engine's division gives 0.
        QCOMPARE(site.selectListValue(3, QStringLiteral("sum_b001_2")).toLongLong(), qint64(-1 + 3));
        QCOMPARE(site.selectListValue(15, QStringLiteral("sum_s001_2")).toLongLong(), qint64(-1));
        site.db().execute(QStringLiteral("update dt_data set b001=2, s001=2"));
        QCOMPARE(site.selectListValue(3, QStringLiteral("sum_b001_2")).toLongLong(), qint64(1));
        QCOMPARE(site.selectListValue(15, QStringLiteral("sum_s001_2")).toLongLong(), qint64(1));
    }

    void networkTextWritesTheMostNegativeNumberInGeneralFormat() {
        Site site;
        site.insert(with(record(110000000001), QStringLiteral("z002"), Smallest));
        const QString path = site.folder.file(QStringLiteral("plain.csv"));
        exchange::writeNetworkText(site.db(), path);
        const QStringList lines = readGbkTextFile(path);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[1].contains(QStringLiteral(",-9.22337203685478E+18,")), qPrintable(lines[1]));
    }

    void networkTextReplacesLineBreaksAndAsksBeforeLosingCharacters() {
        Site site;
        site.insert(
            with(record(110000000001, QStringLiteral("甲\r\n乙") + QChar(0) + QStringLiteral("丙,丁")),
                 QStringLiteral("c910"), QStringLiteral("张😀")));
        site.insert(record(110000000002, QStringLiteral("戊\t己")));
        const QString chosen = site.folder.file(QStringLiteral("out.dat"));

        site.ui.answerNo();
        QVERIFY(!exchange::exportNetworkFileTo(site.session, site.ui, chosen));
        QVERIFY(!QFile::exists(chosen));
        QVERIFY(!QFile::exists(site.folder.file(QStringLiteral("outtemp.dat"))));
        const QString question = site.ui.questions().back().text;
        QVERIFY2(question.contains(QStringLiteral("110000000001 c910")), qPrintable(question));
        QVERIFY(!question.contains(QStringLiteral("110000000002")));

        site.ui.clear();
        site.ui.answerYes();
        QVERIFY(exchange::exportNetworkFileTo(site.session, site.ui, chosen));
        QVERIFY(site.ui.lastMessage().startsWith(QStringLiteral("导出上报数据成功\n")));
        QVERIFY(site.ui.lastMessage().contains(QStringLiteral("4个换行符或控制字符已替换为空格")));
        const QString plain = site.folder.file(QStringLiteral("plain.csv"));
        exchange::decryptFileAes128(chosen, plain, exchange::deriveExportKey());
        const QStringList lines = readGbkTextFile(plain);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[1].contains(QStringLiteral(",甲  乙 丙，丁,")), qPrintable(lines[1]));
        QVERIFY(lines[1].contains(QStringLiteral(",张?,")));
        QVERIFY(lines[2].contains(QStringLiteral(",戊 己,")));

        // Ordinary texts: the message as it always was, and no question.
        Site plainSite;
        plainSite.insert(record(110000000003));
        QVERIFY(exchange::exportNetworkFileTo(plainSite.session, plainSite.ui, chosen));
        QCOMPARE(plainSite.ui.lastMessage(), QStringLiteral("导出上报数据成功"));
        QVERIFY(plainSite.ui.questions().empty());
    }

    void conflictLinesStayOneLineEach() {
        const QStringList lines = exchange::conflictReportLines(
            {{QStringLiteral("110000000001"), QStringLiteral("甲\n乙\r丙") + QChar(0)}});
        QCOMPARE(lines.last(), QStringLiteral("(110000000001,甲 乙 丙 )"));
    }

    void codesAreWrittenAsWholeNumbers() {
        QCOMPARE(engine::codeTextOf(110000000001.4), QStringLiteral("110000000001"));
        QCOMPARE(engine::codeTextOf(110000000001.5), QStringLiteral("110000000002"));
        QCOMPARE(engine::codeTextOf(qint64(110000000001)), QStringLiteral("110000000001"));

        // The result file of the bulk check names a record with a fractional code by a whole number.
        TestFolder folder;
        engine::Connection db(folder.defaultDatabase());
        ScriptedUiServices ui;
        FixedClock clock{QDateTime(QDate(2021, 3, 5), QTime(9, 30))};
        checks::ExplanationRenderer renderer{db, ui};
        checks::CheckRunner runner{db, ui, clock, renderer};
        db.execute(QStringLiteral("insert into dt_data (c901, c902, c912, c904, z001, h001) values "
                                  "(120000000001.5, '甲工会', 1, 1, 1, 3)"));
        const QString report = folder.file(QStringLiteral("report.txt"));
        const checks::CheckOutcome outcome =
            runner.checkRecords(checks::CheckSelection::allRecords(), report);
        QVERIFY(outcome.errorUnits == 1);
        const QStringList lines = readGbkTextFile(report);
        QCOMPARE(lines.at(4), QStringLiteral("120000000002  甲工会的数据有错误"));
    }

    void checkComparesHugeValuesAsTheEngineDoes() {
        // A clean record but for a count of 1e20: every rule holds, as the engine compares it.
        TestFolder folder;
        engine::Connection db(folder.defaultDatabase());
        ScriptedUiServices ui;
        FixedClock clock{QDateTime(QDate(2021, 3, 5), QTime(9, 30))};
        checks::ExplanationRenderer renderer{db, ui};
        checks::CheckRunner runner{db, ui, clock, renderer};
        db.execute(QStringLiteral("insert into dt_data (c901, c902, RecordState, c904, z001, z002, z003, "
                                  "z004, z005, z006, z007, z008, "
                                  "z009, z010, z011, z012, z013, c912) values (110000000001, '甲工会', 0, 1, "
                                  "1, 1e20, 5, 5, 2, 5, 3, 3, "
                                  "2, 3, 1, 1, 1, 1)"));
        const checks::CheckOutcome outcome =
            runner.checkRecords(checks::CheckSelection::allRecords(), folder.file(QStringLiteral("r.txt")));
        QCOMPARE(outcome.errorUnits, qint64(0));
        QCOMPARE(ui.lastMessage(), checks::NoLogicErrorsMessage);

        // Sums past 64 bits go over to floating point instead of wrapping to a negative number.
        const checks::CompiledRuleSet rules({{1, 1, "z010 + z012 > 0", ""},
                                             {2, 1, "z010 * 2 > z012", ""},
                                             {3, 1, "0 - z010 - z012 - 2 < 0", ""}});
        const qint64 values[] = {Largest, 1};
        QStringList violated;
        rules.check(values, [&](int rule) { violated << QString::number(rule); });
        QCOMPARE(violated, QStringList());
    }

    void generatorRefusesRowNumbersPastTheRange() {
        TestFolder folder;
        engine::Connection db(folder.defaultDatabase());
        db.execute(QStringLiteral("insert into dt_data (id, c901, c902) values (?1, 110000000001, '甲')"),
                   {Largest});
        records::GeneratorOptions options;
        options.count = 3;
        options.firstCode = 120000000001;
        QVERIFY_THROWS_EXCEPTION(Error, records::generateRecords(db, options));
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from dt_data")).toLongLong(), qint64(1));
        db.execute(QStringLiteral("update dt_data set id=41"));
        records::generateRecords(db, options);
        QCOMPARE(
            db.scalar(QStringLiteral("select min(id) from dt_data where c901>=120000000001")).toLongLong(),
            qint64(42));
    }
};

QTEST_GUILESS_MAIN(ExtremeValuesTest)
#include "tst_extreme_values.moc"
