// test-kind: core
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/Passwords.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"
#include "checks/StagedRecordCheck.h"
#include "exchange/CsvImport.h"
#include "exchange/DataFile.h"
#include "exchange/ImportHistory.h"
#include "exchange/ImportPreview.h"
#include "exchange/NetworkExport.h"
#include "exchange/ReportExport.h"
#include "records/CodeTables.h"
#include "records/RecordGenerator.h"
#include "support/FileBytes.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::exchange;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

constexpr UnionCode First = 110101000001LL;
constexpr UnionCode Fresh = 120101000001LL;

void generate(engine::Connection& db, int count, UnionCode firstCode, double faultyShare = 0) {
    records::GeneratorOptions options;
    options.count = count;
    options.firstCode = firstCode;
    options.faultyShare = faultyShare;
    records::generateRecords(db, options);
}

// Every column of every record in c901 order, in the engine's literal form, so that a text "1" and a
// number 1, or 1.0 and 1, differ.
QStringList dump(engine::Connection& db) {
    QStringList quoted;
    for (const QString& column : tableColumns(db, QStringLiteral("dt_data")))
        quoted << QStringLiteral("quote(\"%1\")").arg(column);
    engine::Statement rows(
        db,
        QStringLiteral("select %1 from dt_data order by c901").arg(quoted.join(QStringLiteral("||'|'||"))));
    QStringList lines;
    while (rows.step())
        lines << rows.text(0);
    return lines;
}

QStringList tablesOf(engine::Connection& db) {
    QStringList names = db.tableNames();
    names.sort();
    return names;
}

// Our database with five records, and a received file that started as a copy of it.
struct Collection {
    TestFolder folder;
    ScriptedUiServices ui;
    QString ourPath = folder.defaultDatabase();
    QString theirPath = folder.file(QStringLiteral("received.mdb"));
    engine::Connection db;

    Collection() {
        {
            engine::Connection ours(ourPath);
            generate(ours, 5, First);
        }
        QVERIFY(QFile::copy(ourPath, theirPath));
        db.open(ourPath);
    }

    // Runs statements on the received file.
    void changeTheirs(const QStringList& statements) {
        engine::Connection theirs(theirPath);
        for (const QString& statement : statements)
            theirs.execute(statement);
    }
};

} // namespace

class ImportPreviewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void countsEveryKindOfRecordAndWritesNothing() {
        Collection site;
        {
            engine::Connection theirs(site.theirPath);
            generate(theirs, 4, Fresh, 0.5); // four new codes, two of which break rules
            theirs.execute(QStringLiteral("drop index dt_data_c901"));
            theirs.execute(
                QStringLiteral("update dt_data set z002 = z002 + 5, c902 = '改名工会' where c901 = ?1"),
                {double(First + 1)});
            theirs.execute(
                QStringLiteral("update dt_data set id = id + 100, c900 = 'ELSEWHERE' where c901 = ?1"),
                {double(First + 2)});
            // A code given twice, one of them the conflicting one's.
            theirs.execute(QStringLiteral("insert into dt_data select * from dt_data where c901 in (?1, ?2)"),
                           {double(First + 3), double(Fresh + 3)});
        }
        const QStringList before = dump(site.db);
        const QStringList tablesBefore = tablesOf(site.db);

        ImportPreview preview(site.db, site.ui, {site.theirPath}, checks::countFailingRecords);
        QCOMPARE(preview.files().size(), size_t(1));
        const FilePreview& file = preview.files().front();
        QVERIFY2(file.refusal.isEmpty(), qPrintable(file.refusal));
        QCOMPARE(file.records, 11);
        QCOMPARE(file.added, 3);     // Fresh .. Fresh+2; Fresh+3 is repeated
        QCOMPARE(file.identical, 3); // First, First+2 (row number and stamp only), First+4
        QCOMPARE(file.conflicting, 1);
        QCOMPARE(file.repeated, 2);
        QCOMPARE(file.repeatedCodes, (QList<UnionCode>{First + 3, Fresh + 3}));
        QCOMPARE(file.failingCheck, 2 + 1); // Fresh+3 counts twice: both its records fail

        QCOMPARE(file.conflicts.size(), size_t(1));
        const ConflictingRecord& conflict = file.conflicts.front();
        QCOMPARE(conflict.code, First + 1);
        QCOMPARE(conflict.name, QStringLiteral("改名工会"));
        QCOMPARE(conflict.fields.size(), size_t(2));
        QCOMPARE(conflict.fields[0].field, QStringLiteral("c902"));
        QCOMPARE(conflict.fields[1].field, QStringLiteral("z002"));
        QCOMPARE(conflict.fields[1].theirs.toLongLong(), conflict.fields[1].ours.toLongLong() + 5);

        // The side-by-side view marks exactly the differing fields, and has captions.
        const std::vector<FieldComparison> rows = preview.compare(0, First + 1);
        QStringList marked;
        for (const FieldComparison& row : rows) {
            QVERIFY(!row.caption.isEmpty());
            if (row.differs)
                marked << row.field;
        }
        QCOMPARE(marked, (QStringList{QStringLiteral("c902"), QStringLiteral("z002")}));
        QVERIFY(preview.compare(0, 999999999999LL).empty());

        QCOMPARE(dump(site.db), before);
        QCOMPARE(tablesOf(site.db), tablesBefore);
    }

    void appliesTheChosenSideAndUndoRestoresEveryColumn() {
        Collection site;
        site.db.execute(QStringLiteral("update dt_data set s001 = null, c910 = 'x' where c901 = ?1"),
                        {double(First + 2)});
        const QStringList before = dump(site.db);
        {
            engine::Connection theirs(site.theirPath);
            generate(theirs, 2, Fresh);
            for (const UnionCode code : {First + 1, First + 2, First + 3})
                theirs.execute(
                    QStringLiteral(
                        "update dt_data set z002 = z002 + 7, s001 = 3, c900 = 'B' where c901 = ?1"),
                    {double(code)});
        }
        ImportPreview preview(site.db, site.ui, {site.theirPath});
        QCOMPARE(preview.files().front().conflicting, 3);
        FixedClock clock(QDateTime(QDate(2026, 3, 5), QTime(9, 30)));
        preview.setClock(clock);
        const qint64 id = preview.apply({{First + 2, Resolution::Ours}}, Resolution::Theirs);

        QCOMPARE(site.db.scalar(QStringLiteral("select count(*) from dt_data")).toLongLong(), 7);
        const auto z002 = [&](UnionCode code) {
            return site.db.scalar(QStringLiteral("select s001 from dt_data where c901 = ?1"), {double(code)});
        };
        QCOMPARE(z002(First + 1).toLongLong(), 3);
        QVERIFY(z002(First + 2).isNull()); // ours kept
        QCOMPARE(z002(First + 3).toLongLong(), 3);
        const std::vector<ImportLogEntry> log = importLog(site.db);
        QCOMPARE(log.size(), size_t(1));
        QCOMPARE(log[0].id, id);
        QCOMPARE(log[0].at, clock.now());
        QCOMPARE(log[0].file, site.theirPath);
        QCOMPARE(log[0].added, 2);
        QCOMPARE(log[0].replaced, 2);
        QCOMPARE(log[0].skipped, 3); // two identical records and the conflict kept as ours
        QVERIFY(!log[0].undone);

        undoImport(site.db, id);
        QCOMPARE(dump(site.db), before);
        QVERIFY(importLog(site.db)[0].undone);
        QVERIFY_THROWS_EXCEPTION(Error, undoImport(site.db, id));
        QCOMPARE(dump(site.db), before);
        QVERIFY_THROWS_EXCEPTION(Error, undoImport(site.db, id + 1));
    }

    void oursForEveryConflictAddsOnlyTheNewRecords() {
        Collection site;
        site.changeTheirs({QStringLiteral("update dt_data set z002 = z002 + 1")});
        {
            engine::Connection theirs(site.theirPath);
            generate(theirs, 1, Fresh);
        }
        const QStringList before = dump(site.db);
        ImportPreview preview(site.db, site.ui, {site.theirPath});
        QCOMPARE(preview.files().front().conflicting, 5);
        preview.apply({}, Resolution::Ours);
        QStringList after = dump(site.db);
        QCOMPARE(after.size(), 6);
        after.removeLast();
        QCOMPARE(after, before);
    }

    void undoIsRefusedWhenARecordChangedSinceTheImport() {
        for (const QString& change : {QStringLiteral("update dt_data set c902 = '改过' where c901 = %1"),
                                      QStringLiteral("update dt_data set id = 777 where c901 = %1"),
                                      QStringLiteral("delete from dt_data where c901 = %1")}) {
            for (const UnionCode touched : {First + 1, Fresh}) {
                Collection site;
                site.changeTheirs(
                    {QStringLiteral("update dt_data set z002 = z002 + 1 where c901 = %1").arg(First + 1)});
                {
                    engine::Connection theirs(site.theirPath);
                    generate(theirs, 1, Fresh);
                }
                ImportPreview preview(site.db, site.ui, {site.theirPath});
                const qint64 id = preview.apply({}, Resolution::Theirs);
                site.db.execute(change.arg(touched));
                const QStringList edited = dump(site.db);
                QVERIFY_THROWS_EXCEPTION(Error, undoImport(site.db, id));
                QCOMPARE(dump(site.db), edited);
                QVERIFY(!importLog(site.db)[0].undone);
            }
        }
    }

    void laterImportMustBeUndoneFirst() {
        Collection site;
        const QStringList before = dump(site.db);
        site.changeTheirs({QStringLiteral("update dt_data set z002 = z002 + 1 where c901 = %1").arg(First)});
        ImportPreview first(site.db, site.ui, {site.theirPath});
        const qint64 one = first.apply({}, Resolution::Theirs);
        site.changeTheirs({QStringLiteral("update dt_data set z002 = z002 + 1 where c901 = %1").arg(First)});
        ImportPreview second(site.db, site.ui, {site.theirPath});
        const qint64 two = second.apply({}, Resolution::Theirs);
        QVERIFY_THROWS_EXCEPTION(Error, undoImport(site.db, one));
        undoImport(site.db, two);
        undoImport(site.db, one);
        QCOMPARE(dump(site.db), before);
    }

    void scrambledCsvAndNetworkFilesArePreviewed() {
        Collection site;
        site.changeTheirs({QStringLiteral("update dt_data set z002 = z002 + 1 where c901 = %1").arg(First)});
        const QString scrambled = site.folder.file(QStringLiteral("received.dat"));
        QVERIFY(QFile::copy(site.theirPath, scrambled));
        scrambleDataFile(scrambled);

        // The network text of the received records: the header and values the CSV import reads.
        engine::Connection theirs(site.theirPath);
        const QStringList columns = tableColumns(theirs, QStringLiteral("dt_data"));
        QStringList lines{columns.join(QLatin1Char(',')) + QLatin1Char(',')};
        engine::Statement rows(theirs, QStringLiteral("select * from dt_data order by c901"));
        while (rows.step()) {
            QString line;
            for (int i = 0; i < columns.size(); ++i)
                line += (rows.isNull(i) ? QStringLiteral("0") : engine::codeTextOf(rows.value(i))) +
                        QLatin1Char(',');
            lines << line;
        }
        const QString csv = site.folder.file(QStringLiteral("received.csv"));
        QFile out(csv);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(toGbk(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
        out.close();
        const QString network = site.folder.file(QStringLiteral("network.dat"));
        encryptFileAes128(csv, network, deriveExportKey());

        ImportPreview preview(site.db, site.ui, {scrambled, csv, network});
        for (const FilePreview& file : preview.files()) {
            QVERIFY2(file.refusal.isEmpty(), qPrintable(file.file + QLatin1Char(' ') + file.refusal));
            QCOMPARE(file.records, 5);
            QCOMPARE(file.conflicting, 1);
            QCOMPARE(file.conflicts.front().code, First);
            QCOMPARE(file.conflicts.front().fields.front().field, QStringLiteral("z002"));
        }
    }

    void hostileFilesAreRefusedAndNothingIsWritten() {
        Collection site;
        const QString view = site.folder.file(QStringLiteral("view.mdb"));
        QVERIFY(QFile::copy(site.theirPath, view));
        {
            engine::Connection hostile(view);
            hostile.execute(QStringLiteral("alter table dt_data rename to dt_real"));
            hostile.execute(QStringLiteral("create view dt_data as select * from dt_real"));
        }
        const QString values = site.folder.file(QStringLiteral("values.mdb"));
        QVERIFY(QFile::copy(site.theirPath, values));
        {
            engine::Connection hostile(values);
            generate(hostile, 1, Fresh);
            hostile.execute(QStringLiteral("update dt_data set z002 = 'abc' where c901 = %1").arg(Fresh));
        }
        const QString damaged = site.folder.file(QStringLiteral("damaged.mdb"));
        QByteArray bytes = testing::readAll(site.theirPath);
        for (qsizetype i = 4096; i < bytes.size(); i += 7)
            bytes[i] = char(0x5a);
        testing::writeAll(damaged, bytes);
        const QString missing = site.folder.file(QStringLiteral("missing.dat"));
        const QString csv = site.folder.file(QStringLiteral("bad.csv"));
        testing::writeAll(csv, "c901,nonsense,\r\n1,2,\r\n");

        const QStringList before = dump(site.db);
        const QStringList tablesBefore = tablesOf(site.db);
        ImportPreview preview(site.db, site.ui, {view, values, damaged, missing, csv});
        for (const FilePreview& file : preview.files()) {
            QVERIFY2(!file.refusal.isEmpty(), qPrintable(file.file));
            QCOMPARE(file.records, 0);
        }
        QVERIFY(preview.files()[0].refusal.contains(QStringLiteral("不是普通的数据表")));
        QVERIFY(preview.files()[1].refusal.contains(QStringLiteral("不合法的值")));
        QCOMPARE(preview.files()[3].refusal, FileMissingMessage);
        QCOMPARE(preview.files()[4].refusal, CsvFormatRefusal);
        QVERIFY_THROWS_EXCEPTION(Error, preview.apply({}, Resolution::Theirs));
        QCOMPARE(dump(site.db), before);
        QCOMPARE(tablesOf(site.db), tablesBefore);
    }

    // The log and the kept rows belong to this database: a report handed on carries the records only.
    void reportExportCarriesNoImportLog() {
        TestFolder folder(true, true);
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        session.openDatabase();
        generate(session.connection(), 3, First);
        const QString received = folder.file(QStringLiteral("received.mdb"));
        QVERIFY(QFile::copy(folder.defaultDatabase(), received));
        {
            engine::Connection theirs(received);
            generate(theirs, 2, Fresh);
        }
        ImportPreview preview(session.connection(), ui, {received});
        preview.apply({}, Resolution::Theirs);
        QVERIFY(session.connection().tableExists(ImportReplacedTable));
        session.connection().execute(QStringLiteral("update dt_data set RecordState = 1"));

        const QString report = folder.file(QStringLiteral("report.dat"));
        QVERIFY(exportReportFileTo(session, ui, QStringLiteral("某某工会"), report));
        const QString plain = folder.file(QStringLiteral("report-plain.dat"));
        QCOMPARE(prepareDataFileCopy(report, plain), plain);
        engine::Connection exported(plain, deriveDatabasePassword());
        QCOMPARE(exported.scalar(QStringLiteral("select count(*) from dt_data")).toLongLong(), 5);
        for (const QString& table : {ImportLogTable, ImportTouchedTable, ImportReplacedTable})
            QVERIFY(!exported.tableExists(table));
    }

    // A bad CSV line is refused with the words the CSV import uses for it.
    void csvRefusalIsTheCsvImportsMessage() {
        TestFolder folder;
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        session.openDatabase();
        const QString csv = folder.file(QStringLiteral("short.csv"));
        testing::writeAll(csv, "c901,c902,z002,\r\n110101000001,甲,1,\r\n110101000002,乙,\r\n");
        QCOMPARE(importCsvFile(session, ui, csv, records::machineStamp()), CsvImportOutcome::Refused);
        const QString plainMessage = ui.lastMessage();
        QVERIFY(plainMessage.startsWith(RunErrorPrefix));

        ImportPreview preview(session.connection(), ui, {csv});
        QCOMPARE(preview.files().front().refusal, plainMessage);
        QCOMPARE(session.connection().scalar(QStringLiteral("select count(*) from dt_data")).toLongLong(), 0);
    }

    // Two files with the same new code: the first adds it, the second replaces it, and the undo of
    // the one import removes it again.
    void sameCodeInTwoFilesIsAddedOnceAndUndoneWhole() {
        Collection site;
        const QStringList before = dump(site.db);
        const QString second = site.folder.file(QStringLiteral("second.mdb"));
        QVERIFY(QFile::copy(site.theirPath, second));
        for (const QString& path : {site.theirPath, second}) {
            engine::Connection theirs(path);
            generate(theirs, 1, Fresh);
        }
        engine::Connection(second).execute(
            QStringLiteral("update dt_data set z002 = 4321 where c901 = %1").arg(Fresh));
        ImportPreview preview(site.db, site.ui, {site.theirPath, second});
        QCOMPARE(preview.files()[0].added, 1);
        QCOMPARE(preview.files()[1].added, 1);
        const qint64 id = preview.apply({}, Resolution::Theirs);
        QCOMPARE(site.db.scalar(QStringLiteral("select z002 from dt_data where c901 = %1").arg(Fresh))
                     .toLongLong(),
                 4321);
        QCOMPARE(site.db.scalar(QStringLiteral("select count(*) from dt_data")).toLongLong(), 6);
        QCOMPARE(importLog(site.db)[0].file, site.theirPath + QStringLiteral("; ") + second);
        undoImport(site.db, id);
        QCOMPARE(dump(site.db), before);
    }
};

QTEST_GUILESS_MAIN(ImportPreviewTest)
#include "tst_import_preview.moc"
