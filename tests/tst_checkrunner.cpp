// test-kind: core
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "checks/CheckResults.h"
#include "checks/CheckRunner.h"
#include "checks/Explanation.h"
#include "records/RecordGenerator.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::checks;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

// A record that keeps every rule; tests change single values to break some.
const QHash<QString, qint64> cleanRecord{
    {QStringLiteral("c904"), 1}, {QStringLiteral("z001"), 1}, {QStringLiteral("z002"), 10},
    {QStringLiteral("z003"), 5}, {QStringLiteral("z004"), 5}, {QStringLiteral("z005"), 2},
    {QStringLiteral("z006"), 5}, {QStringLiteral("z007"), 3}, {QStringLiteral("z008"), 3},
    {QStringLiteral("z009"), 2}, {QStringLiteral("z010"), 3}, {QStringLiteral("z011"), 1},
    {QStringLiteral("z012"), 1}, {QStringLiteral("z013"), 1}, {QStringLiteral("c912"), 1}};

void insertRecord(engine::Connection& db, qint64 code, const QString& name,
                  QHash<QString, qint64> changes = {}) {
    QHash<QString, qint64> values = cleanRecord;
    for (auto it = changes.begin(); it != changes.end(); ++it)
        values[it.key()] = it.value();
    QStringList columns{QStringLiteral("c901"), QStringLiteral("c902"), QStringLiteral("RecordState")};
    QVariantList params{double(code), name, 0};
    for (auto it = values.begin(); it != values.end(); ++it) {
        columns << it.key();
        params << it.value();
    }
    QStringList marks;
    for (int i = 1; i <= params.size(); ++i)
        marks << QStringLiteral("?%1").arg(i);
    db.execute(QStringLiteral("insert into dt_data (%1) values (%2)")
                   .arg(columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
               params);
}

// The dialog's side of a run, scripted: stops after a number of records, or stays paused for a while.
class ScriptedControl : public CheckControl {
public:
    void start(qint64 total) override { started = total; }
    void step() override {
        ++steps;
        if (stopAfter > 0 && steps >= stopAfter)
            stop = true;
    }
    bool paused() const override { return pausedChecks-- > 0; }
    bool stopRequested() const override { return stop; }

    qint64 started = -1;
    qint64 steps = 0;
    qint64 stopAfter = 0;
    mutable int pausedChecks = 0;
    bool stop = false;
};

QByteArray crlf(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return toGbk(text);
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class CheckRunnerTest : public QObject {
    Q_OBJECT

private:
    struct Fixture {
        TestFolder folder;
        engine::Connection db{folder.defaultDatabase()};
        ScriptedUiServices ui;
        FixedClock clock{QDateTime(QDate(2021, 3, 5), QTime(9, 30))};
        ExplanationRenderer renderer{db, ui};
        CheckRunner runner{db, ui, clock, renderer};
        QString report = folder.file(QStringLiteral("report.txt"));

        qint64 state(qint64 code) {
            return db.scalar(QStringLiteral("select RecordState from dt_data where c901=?1"), {double(code)})
                .toLongLong();
        }
        QString hint(const char* field) {
            return QLatin1Char('[') +
                   db.scalar(QStringLiteral("select Hint from dt_fieldlist where FieldName=?1"),
                             {QString::fromLatin1(field)})
                       .toString() +
                   QLatin1Char(']');
        }
        void generate(int count, double faulty) {
            records::GeneratorOptions options;
            options.count = count;
            options.faultyShare = faulty;
            options.firstCode = 120000000001;
            records::generateRecords(db, options);
        }
        // The run keeps its journal between commits; afterwards the database is as it was before.
        bool journalAsBefore() {
            return db.scalar(QStringLiteral("pragma main.journal_mode")).toString() ==
                       QLatin1String("delete") &&
                   !QFileInfo::exists(db.path() + QStringLiteral("-journal"));
        }
        QList<qint64> checkedCodes() {
            QList<qint64> codes;
            engine::Statement read(
                db, QStringLiteral("select c901 from dt_data where RecordState<>0 order by c901"));
            while (read.step())
                codes << qint64(read.real(0));
            return codes;
        }
    };

private Q_SLOTS:
    void reportListsViolationsAndTotalsAsGbkLines() {
        Fixture f;
        insertRecord(f.db, 110000000001, QStringLiteral("甲工会"));
        insertRecord(f.db, 110000000002, QStringLiteral("乙工会"), {{QStringLiteral("h001"), 3}});
        insertRecord(f.db, 110000000003, QStringLiteral("丙工会"), {{QStringLiteral("s001"), 3}});
        insertRecord(f.db, 110000000004, QStringLiteral("丁工会"),
                     {{QStringLiteral("c912"), 3}, {QStringLiteral("h001"), 3}});
        f.db.execute(QStringLiteral("update dt_data set RecordState=2 where c901=110000000001"));

        const CheckOutcome outcome = f.runner.checkRecords(CheckSelection::allRecords(), f.report);
        QCOMPARE(outcome.examined, 3);
        QCOMPARE(outcome.errorUnits, 2);
        QCOMPARE(outcome.errorItems, 3);
        QVERIFY(!outcome.stopped);

        const QString dashes(80, QLatin1Char('-'));
        const QString h001 = QStringLiteral("  规则说明：") + f.hint("h001") + QStringLiteral("不能大于2");
        QCOMPARE(fileBytes(f.report),
                 crlf({QStringLiteral("#2020基层调查表逻辑检查结果"),
                       QStringLiteral("#检查时间：2021年03月05日 09:30"),
                       QString(),
                       QString(),
                       QStringLiteral("110000000002  乙工会的数据有错误"),
                       dashes,
                       QStringLiteral("  判断规则：h001<=2"),
                       h001,
                       QString(),
                       QStringLiteral("  判断规则：h001<=2"),
                       h001,
                       QString(),
                       QStringLiteral("110000000003  丙工会的数据有错误"),
                       dashes,
                       QStringLiteral("  判断规则：s001<=2"),
                       QStringLiteral("  规则说明：") + f.hint("s001") + QStringLiteral("只能填写0、1或2"),
                       QString(),
                       QString(49, QLatin1Char('=')),
                       QStringLiteral("共有2个单位的数据存在逻辑错误！"),
                       QStringLiteral("共有3个逻辑错误项！")}));
        QCOMPARE(f.ui.openedFiles(), QStringList{f.report});
        QVERIFY(f.ui.messages().empty());
        QCOMPARE(f.state(110000000001), 1);
        QCOMPARE(f.state(110000000002), 2);
        QCOMPARE(f.state(110000000003), 2);
        QCOMPARE(f.state(110000000004), 0); // not filing this year: neither examined nor changed
    }

    void cleanRunsCongratulateAndKeepOnlyTheHead() {
        Fixture f;
        CheckOutcome outcome = f.runner.checkRecords(CheckSelection::allRecords(), f.report);
        QCOMPARE(outcome.examined, 0);
        const QByteArray head =
            crlf({QStringLiteral("#2020基层调查表逻辑检查结果"),
                  QStringLiteral("#检查时间：2021年03月05日 09:30"), QString(), QString()});
        QCOMPARE(fileBytes(f.report), head);
        QCOMPARE(f.ui.lastMessage(), NoLogicErrorsMessage);
        QVERIFY(f.ui.openedFiles().isEmpty());

        // A held record without violations passes.
        insertRecord(f.db, 110000000001, QStringLiteral("甲工会"));
        outcome = f.runner.checkRecords(CheckSelection::allRecords(), f.report);
        QCOMPARE(outcome.examined, 1);
        QCOMPARE(f.state(110000000001), 1);
        QCOMPARE(fileBytes(f.report), head);
    }

    void generatedRecordsFailExactlyWhenFaulty() {
        Fixture f;
        f.generate(400, 0.1);
        f.runner.setBatchSize(64);
        const CheckOutcome outcome = f.runner.checkRecords(CheckSelection::allRecords(), f.report);
        QCOMPARE(outcome.examined, 400);
        QCOMPARE(outcome.errorUnits, 40);
        QCOMPARE(f.db.scalar(QStringLiteral("select count(*) from dt_data where RecordState=2")).toLongLong(),
                 40);
        QCOMPARE(f.db.scalar(QStringLiteral("select count(*) from dt_data where RecordState=1")).toLongLong(),
                 360);
        for (qint64 i = 0; i < 400; ++i)
            QCOMPARE(f.state(120000000001 + i), records::isFaultyRecord(i, 0.1) ? 2 : 1);
    }

    void theLargestCodesAreSelectedAndNamedExactly() {
        Fixture f;
        for (qint64 code = 659004499996; code <= 659004499999; ++code)
            insertRecord(f.db, code, QStringLiteral("工会"), {{QStringLiteral("h001"), 3}});
        f.runner.checkRecords(CheckSelection::codes({659004499999, 659004499997}), f.report);
        QCOMPARE(f.checkedCodes(), (QList<qint64>{659004499997, 659004499999}));
        f.db.execute(QStringLiteral("update dt_data set RecordState=0"));
        // Both ends of a range belong to it, their neighbours do not.
        const CheckRange range =
            checkRangeFromTexts(QStringLiteral("659004499998"), QStringLiteral("659004499997"));
        QCOMPARE(range.low, 659004499998LL);
        QCOMPARE(range.high, 659004499998LL);
        f.runner.checkRecords(CheckSelection::range(659004499997, 659004499998), f.report);
        QCOMPARE(f.checkedCodes(), (QList<qint64>{659004499997, 659004499998}));
        // One record a read: each read goes on right after the last code of the one before.
        f.runner.setBatchSize(1);
        const CheckOutcome outcome = f.runner.checkRecords(CheckSelection::allRecords(), f.report);
        QCOMPARE(outcome.examined, 4);
        const QString report = fromGbk(fileBytes(f.report));
        QVERIFY(report.contains(QStringLiteral("\r\n659004499996  工会的数据有错误\r\n")));
        QVERIFY(report.contains(QStringLiteral("\r\n659004499999  工会的数据有错误\r\n")));
    }

    void selectionsTakeCodesAndRanges() {
        Fixture f;
        for (qint64 code = 110000000001; code <= 110000000006; ++code)
            insertRecord(f.db, code, QStringLiteral("工会"), {{QStringLiteral("h001"), 3}});
        f.runner.checkRecords(CheckSelection::codes({110000000002, 110000000005, 999}), f.report);
        QCOMPARE(f.checkedCodes(), (QList<qint64>{110000000002, 110000000005}));
        f.runner.checkRecords(CheckSelection::range(110000000003, 110000000004), f.report);
        QCOMPARE(f.checkedCodes(), (QList<qint64>{110000000002, 110000000003, 110000000004, 110000000005}));

        CheckRange range = checkRangeFromTexts(QString(), QStringLiteral("5"));
        QVERIFY(!range.complete);
        QCOMPARE(range.lowText, QStringLiteral("0"));
        range = checkRangeFromTexts(QStringLiteral("110000000006"), QStringLiteral("110000000005"));
        QVERIFY(range.complete);
        QCOMPARE(range.high, 110000000006LL);
        QCOMPARE(range.highText, QStringLiteral("110000000006"));
        f.runner.checkRecords(CheckSelection::range(range.low, range.high), f.report);
        QCOMPARE(f.checkedCodes().size(), 5);
        QCOMPARE(f.state(110000000006), 2);
    }

    void aStoppedRunKeepsTheStatesOfWhatItExamined() {
        Fixture f;
        f.generate(100, 0.3);
        f.runner.setBatchSize(3);
        ScriptedControl control;
        control.stopAfter = 10;
        const CheckOutcome outcome = f.runner.checkRecords(CheckSelection::allRecords(), f.report, &control);
        QVERIFY(outcome.stopped);
        QCOMPARE(control.started, 100);
        QCOMPARE(outcome.examined, 10);
        QList<qint64> first10;
        for (qint64 i = 0; i < 10; ++i)
            first10 << 120000000001 + i;
        QCOMPARE(f.checkedCodes(), first10);
        const QString report = fromGbk(fileBytes(f.report));
        QVERIFY(!report.contains(QStringLiteral("共有")));
        int listed = 0;
        for (qint64 i = 0; i < 100; ++i) {
            const bool shown = report.contains(QString::number(120000000001 + i) + QStringLiteral("  "));
            QCOMPARE(shown, i < 10 && records::isFaultyRecord(i, 0.3));
            listed += shown ? 1 : 0;
        }
        QVERIFY(listed > 0);
        QVERIFY(f.ui.openedFiles().isEmpty());
        QVERIFY(f.ui.messages().empty());
        QVERIFY(!f.db.inTransaction());
        QVERIFY(f.journalAsBefore());
    }

    void aFailingRunKeepsEveryStateItReported() {
        Fixture f;
        f.generate(20, 1.0);
        f.db.execute(
            QStringLiteral("create trigger refuse before update on dt_data when new.c901=120000000006 "
                           "begin select raise(abort, 'refused by trigger'); end"));
        f.runner.setBatchSize(4);
        bool failed = false;
        try {
            f.runner.checkRecords(CheckSelection::allRecords(), f.report);
        } catch (const EngineError& error) {
            failed = error.text().contains(QStringLiteral("refused by trigger"));
        }
        QVERIFY(failed);
        QCOMPARE(f.checkedCodes(),
                 (QList<qint64>{120000000001, 120000000002, 120000000003, 120000000004, 120000000005}));
        const QString report = fromGbk(fileBytes(f.report));
        QVERIFY(report.contains(QStringLiteral("120000000005  ")));
        QVERIFY(!report.contains(QStringLiteral("120000000006  ")));
        QVERIFY(!f.db.inTransaction());
        QVERIFY(f.journalAsBefore());

        // A report that cannot be created stops the run before any record changes.
        f.db.execute(QStringLiteral("drop trigger refuse"));
        f.db.execute(QStringLiteral("update dt_data set RecordState=0"));
        QVERIFY_THROWS_EXCEPTION(FileError,
                                 f.runner.checkRecords(CheckSelection::allRecords(),
                                                       f.folder.file(QStringLiteral("no/such/r.txt"))));
        QVERIFY(f.checkedCodes().isEmpty());
    }

    // The records are read on a second connection: it needs no password of its own, and a run is
    // refused inside a caller's transaction, whose rows that connection could not see.
    // The states are written by a walk over the row ids when the records lie close together in the
    // file, and by lists of row ids when they are scattered; either way exactly the records of the
    // run are written, whatever order their row ids have, and the report keeps the code order.
    void statesReachTheRecordsOfTheRunWhereverTheyLie() {
        for (const qint64 spread : {1, 1000}) {
            Fixture f;
            for (qint64 code = 110000000001; code <= 110000000012; ++code) {
                QHash<QString, qint64> changes;
                if ((code - 110000000000) % 3 == 0)
                    changes.insert(QStringLiteral("h001"), 3);
                if (code == 110000000005)
                    changes.insert(QStringLiteral("c912"), 3);
                insertRecord(f.db, code, QStringLiteral("工会%1").arg(code % 100), changes);
            }
            f.db.execute(QStringLiteral("update dt_data set RecordState=1 where c901=110000000004"));
            f.db.execute(QStringLiteral("update dt_data set RecordState=7 where c901=110000000008"));
            // Row ids in the opposite order of the codes, spread apart.
            f.db.execute(QStringLiteral("update dt_data set rowid=-rowid"));
            f.db.execute(QStringLiteral("update dt_data set rowid=(100+rowid)*?1"), {spread});
            f.db.execute(QStringLiteral("create table rewritten (code)"));
            f.db.execute(QStringLiteral("create trigger log_rewrite after update on dt_data "
                                        "begin insert into rewritten values (new.c901); end"));
            f.runner.setBatchSize(3);
            const QList<UnionCode> codes{110000000002, 110000000003, 110000000004, 110000000005,
                                         110000000006, 110000000008, 110000000009, 110000000011};
            const CheckOutcome outcome = f.runner.checkRecords(CheckSelection::codes(codes), f.report);
            QCOMPARE(outcome.examined, 7);
            QCOMPARE(outcome.errorUnits, 3);
            const QHash<qint64, qint64> expected{{110000000002, 1}, {110000000003, 2}, {110000000004, 1},
                                                 {110000000005, 0}, {110000000006, 2}, {110000000008, 1},
                                                 {110000000009, 2}, {110000000011, 1}, {110000000001, 0},
                                                 {110000000007, 0}, {110000000012, 0}};
            for (auto it = expected.begin(); it != expected.end(); ++it)
                QCOMPARE(f.state(it.key()), it.value());
            // Only records whose state changed were written, each once.
            QCOMPARE(f.db.scalar(QStringLiteral("select group_concat(cast(code as integer), ' ') from "
                                                "(select code from rewritten order by code)"))
                         .toString(),
                     QStringLiteral("110000000002 110000000003 110000000006 110000000008 110000000009 "
                                    "110000000011"));
            const QString report = fromGbk(fileBytes(f.report));
            const qsizetype third = report.indexOf(QStringLiteral("110000000003  工会3的数据有错误"));
            const qsizetype sixth = report.indexOf(QStringLiteral("110000000006  工会6的数据有错误"));
            const qsizetype ninth = report.indexOf(QStringLiteral("110000000009  工会9的数据有错误"));
            QVERIFY(third > 0 && third < sixth && sixth < ninth);
        }
        // Row ids at both ends of their range, farther apart than the largest whole number.
        Fixture f;
        insertRecord(f.db, 110000000001, QStringLiteral("甲"));
        insertRecord(f.db, 110000000002, QStringLiteral("乙"), {{QStringLiteral("h001"), 3}});
        f.db.execute(QStringLiteral("update dt_data set rowid=-9000000000000000000 where c901=110000000001"));
        f.db.execute(QStringLiteral("update dt_data set rowid=9000000000000000000 where c901=110000000002"));
        f.runner.checkRecords(CheckSelection::allRecords(), f.report);
        QCOMPARE(f.state(110000000001), 1);
        QCOMPARE(f.state(110000000002), 2);
    }

    // Values stored as floating numbers, texts, blobs or nulls are judged as the engine holds them,
    // beside whole-number records in the same reads: the run finds what judging each record alone
    // finds, and names each record as that does, whatever form its name is stored in.
    void verdictsHoldWhateverFormTheValuesAreStoredIn() {
        Fixture f;
        f.generate(60, 0.3);
        for (const char* change :
             {"z003 = z003 + 0.5 where rowid % 4 = 0", "z005 = null where rowid % 5 = 0",
              "z006 = 'x' where rowid % 7 = 0", "h001 = x'01' where rowid % 9 = 0",
              "z002 = 1e20 where rowid % 11 = 0", "c902 = 12345 where rowid % 6 = 0",
              "c902 = null where rowid % 8 = 0", "c902 = x'e794b2' where rowid % 13 = 0"})
            f.db.execute(QStringLiteral("update dt_data set ") + QLatin1String(change));
        f.runner.setBatchSize(7);
        CheckResultSet results;
        f.runner.collectInto(&results);
        f.runner.checkRecords(CheckSelection::allRecords(), f.report);
        QStringList found;
        for (const Violation& v : results.violations)
            found << QStringLiteral("%1:%2:%3").arg(v.code).arg(v.rule).arg(v.unionName);

        QList<UnionCode> codes;
        engine::Statement read(f.db, QStringLiteral("select c901 from dt_data order by c901"));
        while (read.step())
            codes << read.code(0).value_or(0);
        read.reset();
        QStringList alone;
        for (const UnionCode code : codes)
            for (const Violation& v : recheckRecord(f.db, code))
                alone << QStringLiteral("%1:%2:%3").arg(v.code).arg(v.rule).arg(v.unionName);
        QCOMPARE(found, alone);
        QVERIFY(alone.size() > 20);
    }

    void aRunReadsProtectedFilesAndRefusesOpenTransactions() {
        Fixture f;
        f.generate(30, 0.5);
        f.db.setPassword(QStringLiteral("secret"));
        f.runner.setBatchSize(7);
        const CheckOutcome outcome = f.runner.checkRecords(CheckSelection::allRecords(), f.report);
        QCOMPARE(outcome.examined, 30);
        QCOMPARE(outcome.errorUnits, 15);
        QCOMPARE(f.checkedCodes().size(), 30);

        f.db.execute(QStringLiteral("update dt_data set RecordState=0"));
        engine::Transaction open(f.db);
        QVERIFY_THROWS_EXCEPTION(Error, f.runner.checkRecords(CheckSelection::allRecords(), f.report));
        QVERIFY(f.db.inTransaction());
        open.rollback();
        QVERIFY(f.checkedCodes().isEmpty());
    }

    void aPausedRunWaitsWithoutTouchingRecords() {
        Fixture f;
        f.generate(5, 0);
        ScriptedControl control;
        control.pausedChecks = 3;
        const CheckOutcome outcome = f.runner.checkRecords(CheckSelection::allRecords(), f.report, &control);
        QCOMPARE(outcome.examined, 5);
        QCOMPARE(control.steps, 5);
        QVERIFY(f.ui.responsiveCalls() >= 3);
    }

    // Input the window lets in during a run may save a record: it must never land in the run's
    // own transaction, where a failure later in the run would roll it back.
    void inputDuringARunFindsNoTransactionOpen() {
        Fixture f;
        f.generate(300, 0.2);
        f.runner.setBatchSize(20);
        struct SlowControl : ScriptedControl {
            void step() override {
                ScriptedControl::step();
                QThread::usleep(400);
            }
        } control;
        int calls = 0, withTransaction = 0;
        f.ui.setOnResponsive([&] {
            ++calls;
            withTransaction += f.db.inTransaction() ? 1 : 0;
            f.db.execute(QStringLiteral("update dt_data set c902='改名' where c901=120000000001"));
        });
        const CheckOutcome outcome = f.runner.checkRecords(CheckSelection::allRecords(), f.report, &control);
        QCOMPARE(outcome.examined, 300);
        QVERIFY(calls > 1);
        QCOMPARE(withTransaction, 0);
        QCOMPARE(f.checkedCodes().size(), 300);
        QCOMPARE(f.db.scalar(QStringLiteral("select c902 from dt_data where c901=120000000001")).toString(),
                 QStringLiteral("改名"));
    }

    // A statement of the caller still running when the run ends keeps the engine from dropping the
    // run's function; called afterwards, the function must still find what it reads.
    void aRunEndingBesideARunningStatementLeavesNothingDangling() {
        Fixture f;
        f.generate(50, 0.2);
        engine::Statement reading(f.db, QStringLiteral("select c901 from dt_data"));
        QVERIFY(reading.step());
        const CheckOutcome outcome = f.runner.checkRecords(CheckSelection::allRecords(), f.report);
        QCOMPARE(outcome.examined, 50);
        reading.reset();
        QVERIFY(
            f.db.scalar(QStringLiteral("select corvalis_check_state(rowid) from dt_data limit 1")).isValid());
        QCOMPARE(f.checkedCodes().size(), 50);
    }

    void resultFileStaysInTheTemporaryFolder() {
        // The user's own folder in the temporary folder.
        QCOMPARE(resultFilePath(QStringLiteral("默认数据库")),
                 tempFolder() + QStringLiteral("/2020基层-默认数据库-逻辑检查结果.txt"));
        const QFileInfo escaped(resultFilePath(QStringLiteral("../../etc/x\\y")));
        QCOMPARE(escaped.absolutePath(), tempFolder());
        QCOMPARE(escaped.fileName(), QStringLiteral("2020基层-.._.._etc_x_y-逻辑检查结果.txt"));
    }
};

QTEST_GUILESS_MAIN(CheckRunnerTest)
#include "tst_checkrunner.moc"
