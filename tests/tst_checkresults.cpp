// test-kind: core
#include "app/Clock.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "checks/CheckResults.h"
#include "checks/CheckRunner.h"
#include "checks/Explanation.h"
#include "records/RecordGenerator.h"
#include "support/ResultFileBlocks.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QtEndian>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::checks;
using corvalis::testing::ResultBlock;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

struct Fixture {
    TestFolder folder;
    engine::Connection db{folder.defaultDatabase()};
    ScriptedUiServices ui;
    FixedClock clock{QDateTime(QDate(2021, 3, 5), QTime(9, 30))};
    ExplanationRenderer renderer{db, ui};
    CheckRunner runner{db, ui, clock, renderer};
    QString report = folder.file(QStringLiteral("report.txt"));

    void generate(int count, double faulty, UnionCode first = 120000000001) {
        records::GeneratorOptions options;
        options.count = count;
        options.faultyShare = faulty;
        options.firstCode = first;
        records::generateRecords(db, options);
    }
    qint64 state(UnionCode code) {
        return db.scalar(QStringLiteral("select RecordState from dt_data where c901=?1"), {code})
            .toLongLong();
    }
    QString division(UnionCode code) {
        return db.scalar(QStringLiteral("select c903 from dt_data where c901=?1"), {code}).toString();
    }
    CheckResultSet run(const CheckSelection& selection = CheckSelection::allRecords()) {
        CheckResultSet set;
        set.databaseLabel = QStringLiteral("测试库");
        runner.collectInto(&set);
        runner.checkRecords(selection, report);
        runner.collectInto(nullptr);
        return set;
    }
    // The set's violations written as the result file writes them.
    std::vector<ResultBlock> blocksOf(const std::vector<Violation>& violations) {
        std::vector<ResultBlock> blocks;
        for (const Violation& v : violations)
            blocks.push_back({v.codeText, v.unionName, ruleTextOf(v.rule), explanationOf(renderer, v.rule)});
        return blocks;
    }
};

std::vector<Violation> violationsOf(const std::vector<Violation>& all, UnionCode code) {
    std::vector<Violation> of;
    std::copy_if(all.begin(), all.end(), std::back_inserter(of),
                 [code](const Violation& v) { return v.code == code; });
    return of;
}

} // namespace

class CheckResultsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rulesNameTheirPageAndField() {
        QCOMPARE(ruleNumberOf(1), 2);
        QCOMPARE(pageOfRule(1), 1);
        QCOMPARE(focusFieldOfRule(1), QStringLiteral("z002"));
        QCOMPARE(ruleTextOf(1), QStringLiteral("z002>z001"));
        // Rule 1 names c904 first, which the first page carries.
        QCOMPARE(focusFieldOfRule(0), QStringLiteral("c904"));
        QCOMPARE(pageOfRule(63), 5);
        QCOMPARE(focusFieldOfRule(63), QStringLiteral("f001"));
        QCOMPARE(pageOfRule(89), 7);
        QCOMPARE(focusFieldOfRule(89), QStringLiteral("s004"));
        QCOMPARE(pageOfRule(90), 0);
        QVERIFY(ruleTextOf(-1).isEmpty());
    }

    void resultsAreKeptBesideTheResultFileWithinTheTemporaryFolder() {
        const QString label = QStringLiteral("../工会").repeated(40);
        const QFileInfo kept(lastResultsPath(label));
        QCOMPARE(kept.absolutePath(), QFileInfo(resultFilePath(label)).absolutePath());
        QCOMPARE(kept.absolutePath(), QDir(tempFolder()).absolutePath());
        QVERIFY(kept.fileName().endsWith(QStringLiteral(".results")));
        QVERIFY(fileNameBytes(kept.fileName()) <= MaxFileNameBytes);
        QVERIFY(lastResultsPath(QStringLiteral("甲")) != lastResultsPath(QStringLiteral("乙")));
    }

    void collectedViolationsAgreeWithTheResultFile() {
        Fixture f;
        f.generate(300, 0.15);
        f.runner.setBatchSize(40); // several batches, so collection crosses commits
        const CheckResultSet set = f.run();

        QCOMPARE(set.checked, 300);
        QCOMPARE(set.failed, 45);
        QVERIFY(!set.stopped);
        QCOMPARE(set.checkedAt, f.clock.now());
        const std::vector<ResultBlock> file = testing::resultBlocks(f.report);
        QVERIFY(file.size() >= 45);
        QVERIFY(f.blocksOf(set.violations) == file);

        QSet<UnionCode> failed;
        for (const Violation& v : set.violations) {
            failed.insert(v.code);
            QCOMPARE(unionCodeText(v.code), v.codeText);
            QCOMPARE(v.division, f.division(v.code));
            QCOMPARE(f.state(v.code), 2);
        }
        QCOMPARE(failed.size(), 45);

        // The run kept the set beside the text file.
        const std::optional<CheckResultSet> kept = loadCheckResults(lastResultsPath(set.databaseLabel));
        QVERIFY(kept);
        QCOMPARE(kept->checked, 300);
        QCOMPARE(kept->failed, 45);
        QCOMPARE(kept->databaseLabel, set.databaseLabel);
        QVERIFY(kept->violations == set.violations);
        QCOMPARE(QFileInfo(lastResultsPath(set.databaseLabel)).absolutePath(),
                 QFileInfo(resultFilePath(set.databaseLabel)).absolutePath());
    }

    void aStoppedRunKeepsWhatTheFileLists() {
        struct StopAfter : CheckControl {
            qint64 steps = 0;
            void start(qint64) override {}
            void step() override { ++steps; }
            bool paused() const override { return false; }
            bool stopRequested() const override { return steps >= 30; }
        } control;
        Fixture f;
        f.generate(100, 0.5);
        f.runner.setBatchSize(7);
        CheckResultSet set;
        f.runner.collectInto(&set);
        f.runner.checkRecords(CheckSelection::allRecords(), f.report, &control);
        QVERIFY(set.stopped);
        QCOMPARE(set.checked, 30);
        qint64 faultyFirst30 = 0;
        for (int i = 0; i < 30; ++i)
            faultyFirst30 += records::isFaultyRecord(i, 0.5) ? 1 : 0;
        QCOMPARE(set.failed, faultyFirst30);
        QVERIFY(f.blocksOf(set.violations) == testing::resultBlocks(f.report));
        // A set filled before is replaced, not added to.
        f.runner.checkRecords(CheckSelection::codes({120000000002}), f.report);
        QCOMPARE(set.checked, 1);
        QVERIFY(!set.stopped);
        QVERIFY(f.blocksOf(set.violations) == testing::resultBlocks(f.report));
    }

    void aFailedRunLeavesNoResultsOfAnEarlierOne() {
        Fixture f;
        f.generate(20, 0.5);
        CheckResultSet set = f.run();
        const QString kept = lastResultsPath(set.databaseLabel);
        QVERIFY(QFile::exists(kept));
        f.db.execute(QStringLiteral("update dt_data set RecordState=0"));
        f.db.execute(
            QStringLiteral("create trigger refuse before update on dt_data when new.c901=120000000006 "
                           "begin select raise(abort, 'refused by trigger'); end"));
        f.runner.collectInto(&set);
        QVERIFY_THROWS_EXCEPTION(Error, f.runner.checkRecords(CheckSelection::allRecords(), f.report));
        QVERIFY(!QFile::exists(kept));
        QVERIFY(!loadCheckResults(kept));
    }

    void recheckStoresTheStateAndReturnsWhatTheBulkCheckWould() {
        Fixture f;
        f.generate(60, 0.25);
        const CheckResultSet set = f.run();
        f.db.execute(QStringLiteral("update dt_data set RecordState=0"));
        for (UnionCode code = 120000000001; code <= 120000000060; ++code) {
            const std::vector<Violation> now = recheckRecord(f.db, code);
            QVERIFY2(now == violationsOf(set.violations, code), qPrintable(unionCodeText(code)));
            QCOMPARE(f.state(code), now.empty() ? 1 : 2);
        }

        // A record broken and mended again in the form.
        const UnionCode faulty = 120000000001;
        QVERIFY(violationsOf(set.violations, faulty).empty());
        const QVariant h001 = f.db.scalar(QStringLiteral("select h001 from dt_data where c901=?1"), {faulty});
        f.db.execute(QStringLiteral("update dt_data set h001=3 where c901=?1"), {faulty});
        std::vector<Violation> now = recheckRecord(f.db, faulty);
        QCOMPARE(f.state(faulty), 2);
        QVERIFY(std::any_of(now.begin(), now.end(), [](const Violation& v) { return v.rule == 33; }));
        QCOMPARE(std::count_if(now.begin(), now.end(), [](const Violation& v) { return v.rule == 48; }), 1);
        f.db.execute(QStringLiteral("update dt_data set h001=?2 where c901=?1"), {faulty, h001});
        QVERIFY(recheckRecord(f.db, faulty).empty());
        QCOMPARE(f.state(faulty), 1);

        // A record that does not file this year is left as it is, as the bulk check leaves it.
        f.db.execute(QStringLiteral("update dt_data set c912=3, RecordState=0 where c901=?1"), {faulty});
        QVERIFY(recheckRecord(f.db, faulty).empty());
        QCOMPARE(f.state(faulty), 0);
        f.db.execute(QStringLiteral("update dt_data set c912=null where c901=?1"), {faulty});
        QVERIFY(recheckRecord(f.db, faulty).empty());
        QCOMPARE(f.state(faulty), 0);
        // A deleted record has nothing to report.
        QVERIFY(recheckRecord(f.db, 999999999999).empty());
    }

    void recheckReadsValuesAsTheRunDoes() {
        Fixture f;
        f.generate(1, 0);
        // A text and a fraction where numbers belong are judged as the bulk check judges them.
        f.db.execute(QStringLiteral("update dt_data set h001='3', s001=2.5 where c901=120000000001"));
        const CheckResultSet set = f.run();
        QVERIFY(!set.violations.empty());
        QVERIFY(recheckRecord(f.db, 120000000001) == set.violations);
    }

    void savedResultsLoadAsTheyWere() {
        TestFolder folder;
        CheckResultSet set;
        set.checkedAt = QDateTime(QDate(2021, 3, 5), QTime(9, 30, 12));
        set.databaseLabel = QStringLiteral("某市总工会");
        set.checked = 5;
        set.failed = 2;
        set.stopped = true;
        set.violations = {{110101000001, QStringLiteral("110101000001"), QStringLiteral("甲工会"),
                           QStringLiteral("110101"), 0},
                          {110101000001, QStringLiteral("110101000001"), QStringLiteral("甲工会"),
                           QStringLiteral("110101"), 89},
                          {110101000009, QStringLiteral("110101000009"), QString(), QString(), 33},
                          {110101000009, QStringLiteral("110101000009"), QString(), QString(), 48}};
        const QString path = folder.file(QStringLiteral("a.results"));
        saveCheckResults(set, path);
        std::optional<CheckResultSet> loaded = loadCheckResults(path);
        QVERIFY(loaded);
        QCOMPARE(loaded->checkedAt, set.checkedAt);
        QCOMPARE(loaded->databaseLabel, set.databaseLabel);
        QCOMPARE(loaded->checked, 5);
        QCOMPARE(loaded->failed, 2);
        QVERIFY(loaded->stopped);
        QVERIFY(loaded->violations == set.violations);

        saveCheckResults(CheckResultSet(), path);
        loaded = loadCheckResults(path);
        QVERIFY(loaded);
        QVERIFY(loaded->violations.empty());

        QVERIFY_THROWS_EXCEPTION(
            FileError, saveCheckResults(set, folder.file(QStringLiteral("no/such/folder/a.results"))));
    }

    void unreadableResultsLoadAsNothing() {
        TestFolder folder;
        const QString path = folder.file(QStringLiteral("b.results"));
        QVERIFY(!loadCheckResults(path)); // absent
        CheckResultSet set;
        set.checked = 1;
        set.failed = 1;
        set.violations = {{110101000001, QStringLiteral("110101000001"), QStringLiteral("甲"), QString(), 5},
                          {110101000001, QStringLiteral("110101000001"), QStringLiteral("甲"), QString(), 6}};
        saveCheckResults(set, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();
        auto loadsFrom = [&](const QByteArray& content) {
            QFile out(path);
            out.open(QIODevice::WriteOnly | QIODevice::Truncate);
            out.write(content);
            out.close();
            return loadCheckResults(path).has_value();
        };
        QVERIFY(loadsFrom(bytes));
        QVERIFY(!loadsFrom(QByteArray()));
        QVERIFY(!loadsFrom(QByteArrayLiteral("#2020基层调查表逻辑检查结果\r\n")));
        for (qsizetype cut = 1; cut < bytes.size(); cut += 3)
            QVERIFY2(!loadsFrom(bytes.left(cut)), qPrintable(QString::number(cut)));
        QVERIFY(!loadsFrom(bytes + QByteArray(1, '\0')));
        // A rule past the set (the last two bytes hold the last rule).
        QByteArray badRule = bytes;
        badRule[badRule.size() - 1] = char(90);
        QVERIFY(!loadsFrom(badRule));
        // A record count far beyond the file reserves nothing and loads nothing.
        QByteArray hugeCount = bytes;
        // The counts of records and violations come just before the first record's code.
        const qint64 code = qToBigEndian(qint64(110101000001));
        const qsizetype countAt = bytes.indexOf(QByteArray(reinterpret_cast<const char*>(&code), 8)) - 16;
        QVERIFY(countAt > 0);
        QCOMPARE(bytes.mid(countAt, 16), QByteArray::fromHex("00000000000000010000000000000002"));
        hugeCount.replace(countAt, 8, QByteArray::fromHex("7fffffffffffffff"));
        QVERIFY(!loadsFrom(hugeCount));
        QByteArray hugeViolations = bytes;
        hugeViolations.replace(countAt + 8, 8, QByteArray::fromHex("7fffffffffffffff"));
        QVERIFY(!loadsFrom(hugeViolations));
    }

    void aHundredThousandViolationsLoadBack() {
        TestFolder folder;
        CheckResultSet set;
        for (int i = 0; i < 100000; ++i) {
            const UnionCode code = 110101000001 + i / 3;
            set.violations.push_back({code, unionCodeText(code), QStringLiteral("第%1工会").arg(i / 3),
                                      QStringLiteral("110101"), i % 90});
        }
        const QString path = folder.file(QStringLiteral("c.results"));
        saveCheckResults(set, path);
        QElapsedTimer timer;
        timer.start();
        const std::optional<CheckResultSet> loaded = loadCheckResults(path);
        const qint64 ms = timer.elapsed();
        QVERIFY(loaded);
        QCOMPARE(loaded->violations.size(), size_t(100000));
        // A figure only: the time depends on the machine's load; bench/ measures it.
        qInfo() << "loaded 100000 violations in" << ms << "ms," << QFileInfo(path).size() << "bytes";
        QCOMPARE(loaded->violations.back().unionName, set.violations.back().unionName);
    }
};

QTEST_GUILESS_MAIN(CheckResultsTest)
#include "tst_checkresults.moc"
