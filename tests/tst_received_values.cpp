// test-kind: core
#include "app/DbSession.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "exchange/ConflictReport.h"
#include "exchange/CsvImport.h"
#include "exchange/DataFile.h"
#include "exchange/DataImport.h"
#include "exchange/Maintenance.h"
#include "exchange/MultiImport.h"
#include "records/ReceivedValues.h"
#include "records/RecordGenerator.h"
#include "support/FileBytes.h"
#include "support/OpenSession.h"

#include <QFile>
#include <QtTest>
#include <limits>

using namespace corvalis;
using namespace corvalis::exchange;
using corvalis::testing::OpenSession;
using corvalis::testing::TestMachineStamp;
using corvalis::testing::writeAll;

namespace {

struct Site : OpenSession {
    // A database file of generated, checked records: what a lower level sends.
    QString sentFile(const QString& name, int records, qint64 firstCode) {
        const QString path = folder.makeDatabase(name);
        engine::Connection file(path);
        records::GeneratorOptions options;
        options.count = records;
        options.firstCode = firstCode;
        records::generateRecords(file, options);
        file.execute(QStringLiteral("update dt_data set RecordState=1"));
        return path;
    }
};

// Sets one value of one record of a file, bound as given (a text stays a text, a blob a blob).
void plant(const QString& path, qint64 code, const QString& column, const QVariant& value) {
    engine::Connection file(path);
    file.execute(QStringLiteral("update dt_data set %1=?1 where c901=?2").arg(column), {value, double(code)});
}

// Whether the engine's own condition takes every record of the file.
bool conditionTakesAll(engine::Connection& db) {
    return db.scalar(QStringLiteral("select count(*) from dt_data where not (%1)")
                         .arg(records::receivedRecordCondition(db)))
               .toInt() == 0;
}

QStringList reportRows() {
    return readGbkTextFile(conflictReportPath()).mid(2);
}

} // namespace

class ReceivedValuesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void generatedRecordsPassEveryRule() {
        Site site;
        const QString file = site.sentFile(QStringLiteral("clean.mdb"), 300, 110000000001);
        engine::Connection db(file);
        QVERIFY(records::refusedRecords(db, QStringLiteral("dt_data")).empty());
    }

    void importRefusesValuesNoEntryPathWrites() {
        Site site;
        const QString file = site.sentFile(QStringLiteral("bad.mdb"), 12, 110000000001);
        plant(file, 110000000001, QStringLiteral("c901"), 1);
        plant(file, 110000000002, QStringLiteral("c901"), 12.5);
        plant(file, 110000000003, QStringLiteral("c901"), 1e20);
        plant(file, 110000000004, QStringLiteral("c901"), QStringLiteral("abc"));
        plant(file, 110000000005, QStringLiteral("z002"), QStringLiteral("many"));
        plant(file, 110000000006, QStringLiteral("RecordState"), 99);
        plant(file, 110000000007, QStringLiteral("z003"), -5);
        plant(file, 110000000008, QStringLiteral("c902"), QString(5000, QChar(0x7532)));
        plant(file, 110000000009, QStringLiteral("z006"), QByteArray("\x01\x02", 2));
        plant(file, 110000000010, QStringLiteral("c909"), 7);
        // Not filing, yet with counts: the entry form zeroes the tables of such a union.
        plant(file, 110000000011, QStringLiteral("c912"), 5);
        plant(file, 110000000012, QStringLiteral("z002"), 9223372036854775807LL);

        site.ui.answerFile(file, 2);
        site.ui.answerYes();
        QCOMPARE(importDataFile(site.session, site.ui), ImportOutcome::Failed);
        QCOMPARE(site.count(), qint64(0));
        QCOMPARE(site.ui.openedFiles(), QStringList{conflictReportPath()});
        QCOMPARE(site.ui.lastMessage(), refusalMessage(QStringLiteral("导入")));
        const QStringList rows = reportRows();
        QCOMPARE(rows.size(), 12);
        const QStringList expected = {
            QStringLiteral("(1,c901)"),
            QStringLiteral("(12.5,c901)"),
            QStringLiteral("(1.0e+20,c901)"),
            QStringLiteral("('abc',c901)"),
            QStringLiteral("(110000000005,z002)"),
            QStringLiteral("(110000000006,RecordState)"),
            QStringLiteral("(110000000007,z003)"),
            QStringLiteral("(110000000008,c902)"),
            QStringLiteral("(110000000009,z006)"),
            QStringLiteral("(110000000010,c909)"),
            QStringLiteral("(110000000011,c912)"),
            QStringLiteral("(110000000012,z002)"),
        };
        for (const QString& line : expected)
            QVERIFY2(rows.contains(line),
                     qPrintable(line + QStringLiteral(" in ") + rows.join(QLatin1Char('|'))));
    }

    // Nulls, non-filing unions with their tables zeroed, and answers past 2 (which the logic check
    // reports, as in the generator's faulty records) all arrive.
    void nullsAndNonFilingUnionsAreTaken() {
        Site site;
        const QString file = site.sentFile(QStringLiteral("ok.mdb"), 3, 110000000001);
        plant(file, 110000000001, QStringLiteral("c902"), QVariant());
        plant(file, 110000000003, QStringLiteral("z014"), 3);
        plant(file, 110000000002, QStringLiteral("c912"), 3);
        {
            engine::Connection db(file);
            QStringList zeroes;
            for (const QString& column : tableColumns(db, QStringLiteral("dt_data")))
                if (column.size() == 4 && QStringLiteral("zbhlfjws").contains(column.at(0)))
                    zeroes << column + QStringLiteral("=0");
            db.execute(QStringLiteral("update dt_data set %1 where c901=110000000002")
                           .arg(zeroes.join(QLatin1Char(','))));
        }
        site.ui.answerFile(file, 2);
        site.ui.answerYes();
        QCOMPARE(importDataFile(site.session, site.ui), ImportOutcome::Imported);
        QCOMPARE(site.count(), qint64(3));
    }

    void restoreRefusesAndKeepsTheRecords() {
        Site site;
        const QString own = site.sentFile(QStringLiteral("own.mdb"), 5, 120000000001);
        site.ui.answerYes();
        QVERIFY(restoreDatabaseFrom(site.session, site.ui, own));
        QCOMPARE(site.count(), qint64(5));

        const QString bad = site.sentFile(QStringLiteral("bad.mdb"), 5, 130000000001);
        plant(bad, 130000000003, QStringLiteral("c912"), QStringLiteral("二"));
        site.ui.clear();
        site.ui.answerYes();
        QVERIFY(!restoreDatabaseFrom(site.session, site.ui, bad));
        QCOMPARE(site.ui.lastMessage(), refusalMessage(QStringLiteral("恢复")));
        QCOMPARE(reportRows(), QStringList{QStringLiteral("(130000000003,c912)")});
        QCOMPARE(site.count(QStringLiteral("dt_data where c901<130000000000")), qint64(5));
        QCOMPARE(site.count(), qint64(5));
    }

    void multiImportNamesTheRefusedFile() {
        Site site;
        const QString good = site.sentFile(QStringLiteral("good.mdb"), 4, 140000000001);
        const QString bad = site.sentFile(QStringLiteral("bad.mdb"), 4, 150000000001);
        plant(bad, 150000000002, QStringLiteral("h002"), 2.5);
        const MultiImportResult result = importMultipleFiles(site.session, site.ui, {good, bad}, {});
        QCOMPARE(result.imported, 1);
        QCOMPARE(result.failed, 1);
        QCOMPARE(site.count(), qint64(4));
        const QStringList report = readGbkTextFile(conflictReportPath());
        QVERIFY(report.first().contains(bad));
        QVERIFY(report.contains(QStringLiteral("(150000000002,h002)")));
    }

    // The quick look passes only what the engine's condition passes, whichever way a value is stored;
    // the records it cannot pass are decided by the condition, so the verdict is the condition's.
    void theQuickLookGivesTheConditionsVerdict_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QVariant>("value");
        const QString name = QStringLiteral("c902");
        QTest::newRow("name of 60 characters") << name << QVariant(QString(60, QChar(0x7532)));
        QTest::newRow("name of 61 characters") << name << QVariant(QString(61, QChar(0x7532)));
        // Stray continuation bytes count as characters in the engine's length().
        QTest::newRow("61 stray bytes") << name << QVariant(QByteArray(61, '\x80'));
        QTest::newRow("text cut at a NUL")
            << name << QVariant(QString(QStringLiteral("甲")) + QChar(0) + QString(70, QLatin1Char('x')));
        QTest::newRow("name as a number") << name << QVariant(12345);
        QTest::newRow("code as a fraction") << QStringLiteral("c901") << QVariant(110000000002.5);
        QTest::newRow("code as text") << QStringLiteral("c901") << QVariant(QStringLiteral("110000000002"));
        QTest::newRow("count as a whole real") << QStringLiteral("z001") << QVariant(7.0);
        QTest::newRow("count as a fraction") << QStringLiteral("z001") << QVariant(7.5);
        QTest::newRow("count past the largest") << QStringLiteral("z001") << QVariant(99999999999999LL + 1);
        QTest::newRow("largest count") << QStringLiteral("z001") << QVariant(99999999999999LL);
        QTest::newRow("negative count") << QStringLiteral("z001") << QVariant(-1);
        // Whole numbers of every stored width, each side of the limits.
        QTest::newRow("count of three bytes") << QStringLiteral("z001") << QVariant(8388607);
        QTest::newRow("count of eight bytes") << QStringLiteral("z001") << QVariant(140737488355328LL);
        QTest::newRow("negative count of eight bytes")
            << QStringLiteral("z001") << QVariant(std::numeric_limits<qint64>::min());
        QTest::newRow("code below the least") << QStringLiteral("c901") << QVariant(99999999999LL);
        QTest::newRow("code past the largest") << QStringLiteral("c901") << QVariant(1000000000000LL);
        QTest::newRow("largest code") << QStringLiteral("c901") << QVariant(999999999999LL);
        QTest::newRow("negative id") << QStringLiteral("id") << QVariant(-1);
        QTest::newRow("count as text") << QStringLiteral("z001") << QVariant(QStringLiteral("7"));
        QTest::newRow("state 2") << QStringLiteral("c912") << QVariant(2);
        QTest::newRow("state as a real") << QStringLiteral("c912") << QVariant(2.0);
        QTest::newRow("filing state with counts") << QStringLiteral("c912") << QVariant(3);
        QTest::newRow("state unknown") << QStringLiteral("c912") << QVariant(9);
        QTest::newRow("no state") << QStringLiteral("RecordState") << QVariant();
    }

    void theQuickLookGivesTheConditionsVerdict() {
        QFETCH(QString, column);
        QFETCH(QVariant, value);
        Site site;
        const QString file = site.sentFile(QStringLiteral("one.mdb"), 2, 110000000001);
        plant(file, 110000000002, column, value);
        engine::Connection db(file);
        const bool expected = conditionTakesAll(db);
        QCOMPARE(records::newRecordsHold(db, 0), expected);
        QCOMPARE(records::refusedRecords(db, QStringLiteral("dt_data")).empty(), expected);
        // Only the rows past the given one are looked at.
        QVERIFY(records::newRecordsHold(db, 2));
        db.close();
        // The look beside the copy, which reads the file's pages, passes only what the condition passes.
        engine::Attachment attached(site.db(), file, QStringLiteral("incoming"));
        records::QuickLookBeside look(site.db(), QStringLiteral("incoming"));
        if (look.recordsPlainlyHold(2))
            QVERIFY(expected);
    }

    // A file whose dt_data declares a column otherwise (here id as the rowid itself, stored as null in
    // the record) holds records its pages do not show as the open database will hold them: the
    // engine judges them, and a negative id is refused.
    void aFileDeclaringItsColumnsOtherwiseIsJudgedByTheEngine() {
        Site site;
        const QString file = site.sentFile(QStringLiteral("declared.mdb"), 3, 110000000001);
        {
            engine::Connection db(file);
            const QString declared =
                db.scalar(QStringLiteral("select sql from sqlite_master where name='dt_data'")).toString();
            QVERIFY(declared.contains(QStringLiteral("id INTEGER,")));
            engine::Transaction transaction(db);
            db.execute(QStringLiteral("alter table dt_data rename to sent"));
            db.executeScript(QString(declared).replace(QStringLiteral("id INTEGER,"),
                                                       QStringLiteral("id INTEGER PRIMARY KEY,")));
            db.execute(QStringLiteral("insert into dt_data select * from sent"));
            db.execute(QStringLiteral("update dt_data set id=-5 where c901=110000000002"));
            db.execute(QStringLiteral("drop table sent"));
            transaction.commit();
        }
        site.ui.answerFile(file, 2);
        site.ui.answerYes();
        QCOMPARE(importDataFile(site.session, site.ui), ImportOutcome::Failed);
        QCOMPARE(site.count(), qint64(0));
        QCOMPARE(reportRows(), QStringList{QStringLiteral("(110000000002,id)")});
    }

    // Generated records, long Chinese names among them, pass the look beside the copy outright, so
    // that the engine's condition is not run over them again.
    void generatedRecordsPassTheQuickLookBeside() {
        Site site;
        const QString file = site.sentFile(QStringLiteral("sent.mdb"), 400, 110000000001);
        {
            engine::Attachment attached(site.db(), file, QStringLiteral("incoming"));
            records::QuickLookBeside look(site.db(), QStringLiteral("incoming"));
            QVERIFY(look.recordsPlainlyHold(400));
        }
        plant(file, 110000000300, QStringLiteral("z005"), 2.5);
        engine::Attachment attached(site.db(), file, QStringLiteral("incoming"));
        records::QuickLookBeside look(site.db(), QStringLiteral("incoming"));
        QVERIFY(!look.recordsPlainlyHold(400));
    }

    // The look counts the records it read: one copy with another count than the file's fails it.
    void theLookFailsWhenTheCopyTookOtherRecords() {
        Site site;
        const QString file = site.sentFile(QStringLiteral("sent.mdb"), 50, 110000000001);
        engine::Attachment attached(site.db(), file, QStringLiteral("incoming"));
        records::QuickLookBeside look(site.db(), QStringLiteral("incoming"));
        QVERIFY(!look.recordsPlainlyHold(49));
        QVERIFY(look.recordsPlainlyHold(50));
    }

    void csvImportRefusesValuesOutsideTheForm() {
        Site site;
        const QString path = site.folder.file(QStringLiteral("in.csv"));
        auto run = [&](const QString& lines) {
            writeAll(path, toGbk(QStringLiteral("c901,c902,z001,c912,RecordState,\r\n") + lines));
            site.ui.clear();
            return importCsvFile(site.session, site.ui, path, TestMachineStamp);
        };
        QCOMPARE(run(QStringLiteral("330000000001,甲,1,1,1,\r\n330000000002,乙,1e20,1,1,\r\n")),
                 CsvImportOutcome::Refused);
        QCOMPARE(reportRows(), QStringList{QStringLiteral("(330000000002,z001)")});
        QCOMPARE(run(QStringLiteral("12.5,甲,1,1,1,\r\n330000000003,乙,1,1,99,\r\n")),
                 CsvImportOutcome::Refused);
        QCOMPARE(reportRows(),
                 (QStringList{QStringLiteral("(12.5,c901)"), QStringLiteral("(330000000003,RecordState)")}));
        QCOMPARE(run(QStringLiteral("330000000004,%1,1,1,1,\r\n").arg(QString(61, QLatin1Char('x')))),
                 CsvImportOutcome::Refused);
        QCOMPARE(site.ui.lastMessage(), refusalMessage(QStringLiteral("导入")));
        QCOMPARE(site.count(), qint64(0));
        QCOMPARE(run(QStringLiteral("330000000005,甲,3,2,1,\r\n")), CsvImportOutcome::Imported);
        QCOMPARE(site.count(), qint64(1));
    }
};

QTEST_GUILESS_MAIN(ReceivedValuesTest)
#include "tst_received_values.moc"
