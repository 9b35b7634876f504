// test-kind: core
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "exchange/ConflictReport.h"
#include "exchange/CsvImport.h"
#include "records/ReceivedValues.h"
#include "records/SurveyColumns.h"
#include "support/FileBytes.h"
#include "support/OpenSession.h"

#include <QDir>
#include <QtTest>
#include <functional>

using namespace corvalis;
using namespace corvalis::exchange;
using corvalis::testing::OpenSession;
using corvalis::testing::TestMachineStamp;
using corvalis::testing::writeAll;

namespace {

// The two tables of records and dt_data's indexes as a file holding nothing else, copied out by the
// engine: records and entries as they stand, in order. The schema's change count is left out.
QByteArray storedRecords(engine::Connection& db, const QString& stem) {
    const QString whole = stem + QStringLiteral(".whole"), records = stem + QStringLiteral(".records");
    QFile::remove(whole);
    QFile::remove(records);
    db.execute(QStringLiteral("vacuum into ?1"), {whole});
    engine::Connection copy(whole);
    QStringList drops;
    engine::Statement others(
        copy, QStringLiteral("select type, name from sqlite_master where type not in "
                             "('table', 'index') or tbl_name not in ('dt_data', 'dt_data_dt_data')"));
    while (others.step())
        if (!others.text(1).startsWith(QLatin1String("sqlite_")))
            drops << QStringLiteral("drop %1 if exists \"%2\"").arg(others.text(0), others.text(1));
    for (const QString& drop : drops)
        copy.execute(drop);
    copy.execute(QStringLiteral("vacuum into ?1"), {records});
    return corvalis::testing::readAll(records).replace(40, 4, QByteArray(4, '\0'));
}

struct Site : OpenSession {
    CsvImportOutcome import(const QString& text) {
        const QString path = folder.file(QStringLiteral("in.csv"));
        writeAll(path, toGbk(text));
        ui.clear();
        return importCsvFile(session, ui, path, TestMachineStamp);
    }
    // The whole table as the engine shows it, ids and stamps included.
    QStringList rows(const QString& table = QStringLiteral("dt_data")) {
        QStringList all;
        engine::Statement read(db(), QStringLiteral("select * from %1 order by rowid").arg(table));
        while (read.step()) {
            QStringList values;
            for (int i = 0; i < read.columnCount(); ++i)
                values << read.value(i).toString() + QLatin1Char('/') + QString::number(int(read.isNull(i)));
            all << values.join(QLatin1Char(','));
        }
        return all;
    }
    // The ids the row-numbering trigger gives the staged records when they are inserted in front of
    // it, worked out in a transaction that is then rolled back.
    QVariantList idsByTrigger(qint64 lastOldRow) {
        engine::Transaction transaction(db());
        db().execute(QStringLiteral("delete from dt_data where rowid > ?1"), {lastOldRow});
        db().execute(QStringLiteral("insert into dt_data select * from dt_data_dt_data"));
        return idsAfter(lastOldRow);
    }
    // Whether the records past lastOldRow hold the scratch table's values, id aside, row for row.
    bool holdStagedValues(qint64 lastOldRow) {
        QStringList columns;
        engine::Statement info(
            db(), QStringLiteral("select name from pragma_table_info('dt_data') where name <> 'id'"));
        while (info.step())
            columns << info.text(0);
        const QString list = columns.join(QLatin1Char(','));
        const QString mine = QStringLiteral("select row_number() over (order by rowid), %1 from dt_data "
                                            "where rowid > %2")
                                 .arg(list)
                                 .arg(lastOldRow);
        const QString staged =
            QStringLiteral("select row_number() over (order by rowid), %1 from dt_data_dt_data").arg(list);
        const QString typed = QStringLiteral("select count(*) from (%1 except %2)");
        return db().scalar(typed.arg(mine, staged)).toInt() == 0 &&
               db().scalar(typed.arg(staged, mine)).toInt() == 0 &&
               db().scalar(QStringLiteral("select count(*) from dt_data where rowid > ?1"), {lastOldRow})
                       .toLongLong() == count(QStringLiteral("dt_data_dt_data"));
    }
    // Imports the file and compares the stored records with those of the engine's own way: the lines
    // stored by statements, then copied into dt_data by the numbering insert.
    void importAsTheEngine(const QString& file) {
        const QString before = folder.file(QStringLiteral("before.mdb"));
        QFile::remove(before);
        db().execute(QStringLiteral("vacuum into ?1"), {before});
        QCOMPARE(import(file), CsvImportOutcome::Imported);
        // The engine's own check finds each index entry where the order puts it; a copy does not.
        QCOMPARE(db().scalar(QStringLiteral("pragma integrity_check")).toString(), QStringLiteral("ok"));
        engine::Connection engineWay(before);
        engineWay.execute(QStringLiteral("delete from dt_data_dt_data"));
        QVERIFY(stageCsvFile(engineWay, QStringLiteral("dt_data_dt_data"),
                             folder.file(QStringLiteral("in.csv")), TestMachineStamp, {}));
        engineWay.execute(QStringLiteral("insert into dt_data select * from dt_data_dt_data"));
        QCOMPARE(storedRecords(db(), folder.file(QStringLiteral("imported"))),
                 storedRecords(engineWay, folder.file(QStringLiteral("engine"))));
    }
    // Makes dt_data again with a column declared otherwise, its indexes and trigger as they were.
    void remakeDataTable(const QString& from, const QString& to) {
        QStringList others;
        engine::Statement list(
            db(), QStringLiteral("select sql from sqlite_master where tbl_name = 'dt_data' and "
                                 "type in ('index', 'trigger') and sql is not null order by rowid"));
        while (list.step())
            others << list.text(0);
        QString made =
            db().scalar(QStringLiteral("select sql from sqlite_master where name = 'dt_data'")).toString();
        QVERIFY(made.contains(from));
        db().execute(QStringLiteral("drop view if exists dt_data1"));
        db().execute(QStringLiteral("drop table dt_data"));
        db().execute(made.replace(from, to));
        for (const QString& other : others)
            db().execute(other);
    }
    QVariantList idsAfter(qint64 lastOldRow) {
        QVariantList ids;
        engine::Statement read(db(),
                               QStringLiteral("select id from dt_data where rowid > ?1 order by rowid"));
        read.bindInt64(1, lastOldRow);
        while (read.step())
            ids << read.value(0);
        return ids;
    }
};

QStringList reportRows() {
    return readGbkTextFile(conflictReportPath()).mid(2);
}

QString manyLines(qint64 firstCode, int count) {
    QString text = QStringLiteral("c901,c902,z001,RecordState,\r\n");
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("%1,工会%2,%3,1,\r\n").arg(firstCode + i).arg(i).arg(i % 9);
    return text;
}

} // namespace

class CsvImportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The values are judged while the file is read; a record goes in exactly when the engine's own
    // condition takes it as stored in the scratch table, on either side of every limit.
    void valuesReadAreJudgedAsTheEngineJudgesThem() {
        struct Case {
            const char* line; // c901,c902,c907,c912,z001,RecordState
            bool taken;
        };
        const Case cases[] = {
            {"330000000001,甲,A01,1,5,1", true},
            {"99999999999,甲,A01,1,5,1", false},
            {"100000000000,甲,A01,1,5,1", true},
            {"999999999999,甲,A01,1,5,1", true},
            {"1000000000000,甲,A01,1,5,1", false},
            {"330000000002.5,甲,A01,1,5,1", false},
            {"3.3e11,甲,A01,1,5,1", true},
            {"330000000001,甲,A012,1,5,1", false},
            {"330000000001,甲,,1,5,1", true},
            {"330000000001,甲,A01,3,0,1", true},  // a union that does not file, zeroes only
            {"330000000001,甲,A01,3,5,1", false}, // and one with a count
            {"330000000001,甲,A01,9,0,1", false}, // no such state
            {"330000000001,甲,A01,2.0,5,1", true},
            {"330000000001,甲,A01,0,5,1", true},
            {"330000000001,甲,A01,1,-1,1", false},
            {"330000000001,甲,A01,1,99999999999999,1", true},
            {"330000000001,甲,A01,1,100000000000000,1", false},
            {"330000000001,甲,A01,1, +7 ,1", true},
            {"330000000001,甲,A01,1,5,3", false},
            {"330000000001,甲,A01,1,5,2", true},
        };
        Site site;
        const QString header = QStringLiteral("c901,c902,c907,c912,z001,RecordState,\r\n");
        for (const Case& c : cases) {
            const QString line = QString::fromUtf8(c.line);
            const CsvImportOutcome outcome = site.import(header + line + QStringLiteral(",\r\n"));
            const bool engineTakes =
                site.db()
                    .scalar(QStringLiteral("select count(*) from dt_data_dt_data where not (%1)")
                                .arg(records::receivedRecordCondition(site.db())))
                    .toInt() == 0;
            QVERIFY2(engineTakes == c.taken, c.line);
            QVERIFY2((outcome == CsvImportOutcome::Imported) == c.taken, c.line);
            site.db().execute(QStringLiteral("delete from dt_data"));
        }
        // Names are counted in characters, up to the limit and not past it.
        const QString name60(60, QChar(0x5DE5));
        QCOMPARE(site.import(header + QStringLiteral("330000000001,%1,A01,1,5,1,\r\n").arg(name60)),
                 CsvImportOutcome::Imported);
        QCOMPARE(site.import(header + QStringLiteral("330000000002,%1会,A01,1,5,1,\r\n").arg(name60)),
                 CsvImportOutcome::Refused);
        QCOMPARE(reportRows(), QStringList{QStringLiteral("(330000000002,c902)")});
        QCOMPARE(site.count(), qint64(1));
    }

    // A scratch table that keeps a value in another form than dt_data (here a class code as a
    // number, so that "1e5" becomes 100000, too long) is judged by the engine as it stands, not by
    // what the file said.
    void aScratchTableOfAnotherMakeIsJudgedByTheEngine() {
        Site site;
        const QString made =
            site.db()
                .scalar(QStringLiteral("select sql from sqlite_master where name='dt_data_dt_data'"))
                .toString();
        QVERIFY(made.contains(QLatin1String("c907 TEXT")));
        site.db().execute(QStringLiteral("drop table dt_data_dt_data"));
        site.db().execute(QString(made).replace(QLatin1String("c907 TEXT"), QLatin1String("c907 INT")));
        QCOMPARE(site.import(
                     QStringLiteral("c901,c902,c907,\r\n330000000001,甲,A01,\r\n330000000002,乙,1e5,\r\n")),
                 CsvImportOutcome::Refused);
        QCOMPARE(reportRows(), QStringList{QStringLiteral("(330000000002,c907)")});
        QCOMPARE(site.count(), qint64(0));
    }

    // Codes already present or twice in the file are found in any order of the file; codes beside
    // those present are not taken for them. A file refused keeps its records in the scratch table.
    void codesThatClashAreFoundWhereverTheyLie() {
        Site site;
        site.addRecords(3, 330000000010); // 330000000010 to 330000000012
        const QStringList before = site.rows();
        auto file = [](std::initializer_list<qint64> codes) {
            QString text = QStringLiteral("c901,c902,\r\n");
            for (const qint64 code : codes)
                text += QStringLiteral("%1,单位%1,\r\n").arg(code);
            return text;
        };
        QCOMPARE(site.import(file({330000000005, 330000000011, 330000000020})), CsvImportOutcome::Conflicts);
        QCOMPARE(reportRows(), QStringList{QStringLiteral("(330000000011,单位330000000011)")});
        QCOMPARE(site.count(QStringLiteral("dt_data_dt_data")), qint64(3));
        QCOMPARE(site.import(file({330000000041, 330000000040, 330000000041})), CsvImportOutcome::Conflicts);
        QCOMPARE(reportRows().size(), 2);
        QCOMPARE(site.import(file({330000000050, 330000000050})), CsvImportOutcome::Conflicts);
        QCOMPARE(site.import(file({330000000060, 330000000012})), CsvImportOutcome::Conflicts);
        QCOMPARE(reportRows(), QStringList{QStringLiteral("(330000000012,单位330000000012)")});
        QCOMPARE(site.rows(), before);

        QCOMPARE(site.import(file({330000000001, 330000000009, 330000000013})), CsvImportOutcome::Imported);
        QCOMPARE(site.import(file({330000000031, 330000000030})), CsvImportOutcome::Imported);
        QCOMPARE(site.count(), qint64(8));
        QCOMPARE(site.count(QStringLiteral("dt_data_dt_data")), qint64(2));
    }

    // The new records are numbered as the trigger numbers them: after the largest id present, a
    // floating one included, and a file's own ids are kept.
    void newRecordsAreNumberedAsTheTriggerWould() {
        Site site;
        QCOMPARE(site.import(manyLines(330000000001, 700)), CsvImportOutcome::Imported);
        QCOMPARE(site.idsAfter(0), site.idsByTrigger(0));
        QCOMPARE(site.idsAfter(0).back().toLongLong(), 700);
        QVERIFY(site.holdStagedValues(0));
        QCOMPARE(QDir(tempFolder()).entryList({QStringLiteral("csv*")}, QDir::Files), QStringList());

        site.db().execute(QStringLiteral("update dt_data set id = 5000 where c901 = 330000000002"));
        QCOMPARE(site.import(manyLines(330000001001, 300)), CsvImportOutcome::Imported);
        QCOMPARE(site.idsAfter(700), site.idsByTrigger(700));
        QCOMPARE(site.idsAfter(700).front().toLongLong(), 5001);

        site.db().execute(QStringLiteral("update dt_data set id = 9000.5 where c901 = 330000000003"));
        QCOMPARE(site.import(manyLines(330000002001, 3)), CsvImportOutcome::Imported);
        QCOMPARE(site.idsAfter(1000), site.idsByTrigger(1000));
        QCOMPARE(site.idsAfter(1000).front().toDouble(), 9001.5);
        QVERIFY(site.holdStagedValues(1000));

        QCOMPARE(site.import(QStringLiteral("c901,id,c902,\r\n330000003001,77,甲,\r\n330000003002,,乙,\r\n")),
                 CsvImportOutcome::Refused); // an empty number is a bad line
        QCOMPARE(
            site.import(QStringLiteral("c901,id,c902,\r\n330000003001,77,甲,\r\n330000003002,78,乙,\r\n")),
            CsvImportOutcome::Imported);
        QCOMPARE(site.idsAfter(1003), (QVariantList{77, 78}));
        QVERIFY(site.holdStagedValues(1003));

        // Without the trigger the records keep no id, as an insert would leave them.
        site.db().execute(QStringLiteral("drop trigger dt_data_row_number"));
        QCOMPARE(site.import(manyLines(330000004001, 2)), CsvImportOutcome::Imported);
        QCOMPARE(site.idsAfter(1005), (QVariantList{QVariant(), QVariant()}));
    }

    // The stored records are byte for byte those of the engine's own way, the lines stored by
    // statements and copied into dt_data by the numbering insert: into an empty and a populated
    // database, and for a file with a value only the engine writes (a code as a decimal), which
    // then takes the engine's way from the start.
    void theStoredRecordsAreTheEnginesOwn() {
        const char* const forms[] = {
            "甲", "", "Ab",
            "工会工会工会工会工会工会工会工会工会工会工会工会工会工会工会工会工会工会工会工会"};
        const qint64 counts[] = {0, 1, 2, 127, 128, 32768, 8388608, 2147483648, 99999999999999};
        const auto fileOf = [&](const std::function<qint64(int)>& codeOf) {
            QString text = QStringLiteral("c901,c902,c907,c912,z001,RecordState,\r\n");
            for (int i = 0; i < 300; ++i)
                text += QStringLiteral("%1,%2,A0%3,%4,%5,%6,\r\n")
                            .arg(codeOf(i))
                            .arg(QString::fromUtf8(forms[i % 4]))
                            .arg(i % 10)
                            .arg(i % 3)
                            .arg(counts[i % 9])
                            .arg(i % 2 + 1);
            return text;
        };
        const QString lines = fileOf([](int i) { return 330000000001 + i; });
        QString decimal = lines;
        decimal.replace(QStringLiteral("\r\n330000000101,"), QStringLiteral("\r\n330000000101.0,"));
        // The codes stop ascending half-way, and stand in no order from there on.
        const QString unordered =
            fileOf([](int i) { return i < 150 ? 330000000001 + i : 320000000001 + (i * 37) % 150; });
        for (const int populated : {0, 40}) {
            for (const QString& file : {lines, decimal, unordered}) {
                Site site;
                if (populated > 0)
                    site.addRecords(populated, 110000000001);
                site.importAsTheEngine(file);
            }
        }
        // A record too long for a page of its own file is left to the engine, which stages every
        // line once and refuses the name.
        Site site;
        QString tooLong = lines;
        tooLong.replace(QStringLiteral("\r\n330000000199,Ab,"),
                        QStringLiteral("\r\n330000000199,%1,").arg(QString(30000, QChar(0x5DE5))));
        QCOMPARE(site.import(tooLong), CsvImportOutcome::Refused);
        QCOMPARE(reportRows(), QStringList{QStringLiteral("(330000000199,c902)")});
        QCOMPARE(site.count(QStringLiteral("dt_data_dt_data")), qint64(300));
    }

    // Tables that judge their rows (a CHECK constraint, a column refusing nulls that the file leaves
    // out) get them through the engine, which refuses what they refuse.
    void tablesThatJudgeTheirRowsAreFilledByTheEngine() {
        const QString file = QStringLiteral("c901,c902,z001,RecordState,\r\n330000000001,甲,50,1,\r\n"
                                            "330000000002,乙,500,1,\r\n");
        const auto remade = [](Site& site, const QString& from, const QString& to) {
            QString made =
                site.db()
                    .scalar(QStringLiteral("select sql from sqlite_master where name='dt_data_dt_data'"))
                    .toString();
            QVERIFY(made.contains(from));
            site.db().execute(QStringLiteral("drop table dt_data_dt_data"));
            site.db().execute(made.replace(from, to));
        };
        for (const auto& [from, to] :
             {std::pair{QStringLiteral("z001 INT"), QStringLiteral("z001 INT CHECK (z001 < 100)")},
              std::pair{QStringLiteral("c903 INT"), QStringLiteral("c903 INT NOT NULL")}}) {
            Site site;
            remade(site, from, to);
            QCOMPARE(site.import(file), CsvImportOutcome::Refused);
            QVERIFY(site.ui.lastMessage().startsWith(RunErrorPrefix));
            QCOMPARE(site.count(), qint64(0));
            QCOMPARE(site.count(QStringLiteral("dt_data_dt_data")), qint64(0));
        }
    }

    // A dt_data of another make, whose id keeps its numbers as texts or is the rowid itself, gets the
    // records the engine's way gives it.
    void aDataTableOfAnotherMakeGetsTheEnginesRecords() {
        const QString file = QStringLiteral("c901,c902,z001,RecordState,\r\n330000000001,甲,5,1,\r\n"
                                            "330000000002,乙,6,1,\r\n");
        for (const QString& id :
             {QStringLiteral("id VARCHAR(10),"), QStringLiteral("id INTEGER PRIMARY KEY,")}) {
            for (const int populated : {0, 3}) {
                Site site;
                site.remakeDataTable(QStringLiteral("id INTEGER,"), id);
                if (populated > 0)
                    site.db().execute(
                        QStringLiteral("insert into dt_data (c901, c902) values (110000000001, 'a'), "
                                       "(110000000002, 'b'), (110000000003, 'c')"));
                site.importAsTheEngine(file);
            }
        }
    }

    // A scratch table of another make that gives a column the file leaves out a default passes it
    // on to dt_data, as the copy from it does, whichever way the records are stored.
    void aDefaultOfTheScratchTableReachesTheRecords() {
        for (const QString& code : {QStringLiteral("330000000002"), QStringLiteral("330000000002.0")}) {
            Site site;
            QString made =
                site.db()
                    .scalar(QStringLiteral("select sql from sqlite_master where name='dt_data_dt_data'"))
                    .toString();
            QVERIFY(made.contains(QLatin1String("z002 INT,")));
            site.db().execute(QStringLiteral("drop table dt_data_dt_data"));
            site.db().execute(made.replace(QLatin1String("z002 INT,"), QLatin1String("z002 INT DEFAULT 7,")));
            QCOMPARE(site.import(QStringLiteral(
                                     "c901,c902,z001,RecordState,\r\n330000000001,甲,5,1,\r\n%1,乙,6,1,\r\n")
                                     .arg(code)),
                     CsvImportOutcome::Imported);
            QCOMPARE(site.count(QStringLiteral("dt_data where z002 = 7")), qint64(2));
            QCOMPARE(site.count(QStringLiteral("dt_data_dt_data where z002 = 7")), qint64(2));
        }
    }

    // A failure of the engine while the reading thread is ahead ends the import at once: nothing
    // reaches dt_data, the scratch table is as before the file, and the next import runs.
    void aFailureWhileStoringEndsTheReadingToo() {
        Site site;
        site.addRecords(2, 110000000001);
        const QStringList before = site.rows();
        site.db().execute(QStringLiteral(
            "create trigger refuse_one before insert on dt_data_dt_data when new.c901 = 330000001500 "
            "begin select raise(abort, '存不下'); end"));
        QCOMPARE(site.import(manyLines(330000000001, 6000)), CsvImportOutcome::Refused);
        QVERIFY(site.ui.lastMessage().startsWith(RunErrorPrefix));
        QVERIFY(site.ui.lastMessage().contains(QStringLiteral("存不下")));
        QCOMPARE(site.rows(), before);
        QCOMPARE(site.count(QStringLiteral("dt_data_dt_data")), qint64(0));

        // A bad line far into the file, past many batches.
        QString bad = manyLines(330000000001, 6000);
        bad.replace(QStringLiteral("330000004000,"),
                    QStringLiteral("330000004000,工会,x,1,\r\n330000004000,"));
        site.db().execute(QStringLiteral("drop trigger refuse_one"));
        QCOMPARE(site.import(bad), CsvImportOutcome::Refused);
        QVERIFY(site.ui.lastMessage().contains(QStringLiteral("第 4001 行“z001”的值“x”不是数字。")));
        QCOMPARE(site.rows(), before);

        QCOMPARE(site.import(manyLines(330000000001, 6000)), CsvImportOutcome::Imported);
        QCOMPARE(site.count(), qint64(6002));
        QCOMPARE(site.count(QStringLiteral("dt_data d join dt_data_dt_data s on s.c901 = d.c901 and "
                                           "s.c902 = d.c902 and s.z001 = d.z001 and d.c900 = '%1'")
                                .arg(TestMachineStamp)),
                 qint64(6000));
    }

    // Whatever way an import ends, the records' second copy in the temporary folder goes with it.
    void noCopyIsLeftBehindWhateverTheOutcome() {
        Site site;
        site.addRecords(2, 110000000001);
        const QDir temporary(tempFolder());
        const auto leftovers = [&temporary] {
            return temporary.entryList({QStringLiteral("~SM*")}, QDir::Files);
        };
        const QStringList before = leftovers();
        QString clash = manyLines(330000000001, 600);
        clash += QStringLiteral("110000000002,又一个,1,1,\r\n");
        QCOMPARE(site.import(clash), CsvImportOutcome::Conflicts);
        QCOMPARE(leftovers(), before);
        QCOMPARE(site.import(QStringLiteral("c901,c902,z001,RecordState,\r\n330000000001,甲,-1,1,\r\n")),
                 CsvImportOutcome::Refused);
        QCOMPARE(leftovers(), before);
        QCOMPARE(site.import(manyLines(330000000001, 600)), CsvImportOutcome::Imported);
        QCOMPARE(leftovers(), before);
    }

    // A database whose dt_data lacks a survey column cannot judge filing states: the engine's
    // condition fails on it, and the quick look must not pass the records in its stead.
    void aTableWithoutEverySurveyColumnIsLeftToTheEngine() {
        Site site;
        site.addRecords(2, 110000000001);
        const QString survey = QString::fromLatin1(records::surveyColumns().back().name);
        for (const QString& table : {QStringLiteral("dt_data"), QStringLiteral("dt_data_dt_data")})
            site.db().execute(QStringLiteral("alter table %1 drop column %2").arg(table, survey));
        const QStringList before = site.rows();
        QCOMPARE(site.import(QStringLiteral("c901,c902,c912,RecordState,\r\n330000000001,甲,1,1,\r\n")),
                 CsvImportOutcome::Refused);
        QVERIFY(site.ui.lastMessage().startsWith(RunErrorPrefix));
        QCOMPARE(site.rows(), before);
    }
};

QTEST_GUILESS_MAIN(CsvImportTest)
#include "tst_csv_import.moc"
