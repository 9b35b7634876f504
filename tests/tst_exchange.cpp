// test-kind: core
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/GbkText.h"
#include "app/Passwords.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "exchange/ConflictReport.h"
#include "exchange/DataFile.h"
#include "exchange/DataImport.h"
#include "exchange/DatabaseSwitch.h"
#include "exchange/Maintenance.h"
#include "exchange/ReportExport.h"
#include "records/RecordGenerator.h"
#include "support/FileBytes.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::exchange;
using corvalis::testing::readAll;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;
using corvalis::testing::writeAll;

namespace {

void addRecords(engine::Connection& db, int count, qint64 firstCode, int state = 1) {
    records::GeneratorOptions options;
    options.count = count;
    options.firstCode = firstCode;
    records::generateRecords(db, options);
    db.execute(QStringLiteral("update dt_data set RecordState=?1 where c901>=?2"), {state, firstCode});
}

qint64 count(engine::Connection& db, const QString& sql = QStringLiteral("select count(*) from dt_data")) {
    return db.scalar(sql).toLongLong();
}

// Every column of the records in c901 order, in the engine's literal form, so that a text "1" and a
// number 1 or 1.0 and 1 differ.
QStringList recordDump(engine::Connection& db, const QString& condition) {
    QStringList quoted;
    for (const QString& column : tableColumns(db, QStringLiteral("dt_data")))
        quoted << QStringLiteral("quote(%1)").arg(column);
    engine::Statement rows(db, QStringLiteral("select %1 from dt_data where %2 order by c901")
                                   .arg(quoted.join(QStringLiteral("||'|'||")), condition));
    QStringList dump;
    while (rows.step())
        dump << rows.text(0);
    return dump;
}

// One installation: a program folder with its template, an open session and scripted answers.
struct Site {
    TestFolder folder{true, true};
    ScriptedUiServices ui;
    DbSession session{folder.folder(), ui};
    FixedClock clock{QDateTime(QDate(2021, 3, 5), QTime(10, 0))};

    Site() { session.openDatabase(); }
    engine::Connection& db() { return session.connection(); }

    // Exports the checked records under a label; returns the file's path.
    QString exportTo(const QString& name, const QString& label = QStringLiteral("某某工会")) {
        ui.answerText(label);
        const QString target = folder.file(name);
        ui.answerFile(target);
        if (!exportReportFile(session, ui, clock))
            return QString();
        return withExtension(target, QStringLiteral(".dat"));
    }
    ImportOutcome importFile(const QString& path, bool confirm = true) {
        ui.answerFile(path, path.endsWith(QLatin1String(".mdb")) ? 2 : 1);
        if (confirm)
            ui.answerYes();
        return importDataFile(session, ui);
    }
};

} // namespace

class ExchangeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scrambleAndRestoreBothHeadForms() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.dat"));
        QVERIFY(QFile::copy(testing::shippedDatabaseMaster(), path));
        const QByteArray plain = readAll(path);
        QVERIFY(plain.size() > 4096);

        scrambleDataFile(path);
        const QByteArray scrambled = readAll(path);
        QCOMPARE(quint8(scrambled.at(0)), quint8(0x52));
        QCOMPARE(scrambled.mid(ScrambledHeadSize), plain.mid(ScrambledHeadSize));
        QVERIFY(scrambled.left(ScrambledHeadSize) != plain.left(ScrambledHeadSize));
        for (int p = 0; p < 256; ++p)
            QCOMPARE(unscrambleByte(scrambleByte(quint8(p))), quint8(p));

        unscrambleDataFile(path);
        QCOMPARE(readAll(path), plain);
        unscrambleDataFile(path); // already plain: nothing changes
        QCOMPARE(readAll(path), plain);

        QByteArray older = plain;
        older.replace(0, 16, QByteArray(16, 'f'));
        writeAll(path, older);
        unscrambleDataFile(path);
        QCOMPARE(readAll(path), plain);
        engine::Connection opened(path); // the restored head makes it a database again

        const QByteArray other = QByteArray("\x01") + plain.mid(1);
        writeAll(path, other);
        unscrambleDataFile(path);
        QCOMPARE(readAll(path), other);

        scrambleDataFile(dir.filePath(QStringLiteral("missing.dat")));
        unscrambleDataFile(dir.filePath(QStringLiteral("missing.dat")));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing.dat"))));
    }

    void workingCopiesNeverReplaceTheChosenOrOpenFile() {
        TestFolder folder;
        const QString plain = folder.makeDatabase(QStringLiteral("plain.mdb"));
        const QString copy = folder.folder().workingCopy();
        QCOMPARE(prepareDataFileCopy(plain, copy), plain);
        QVERIFY(!QFile::exists(copy));

        const QString scrambled = folder.makeDatabase(QStringLiteral("s.dat"));
        scrambleDataFile(scrambled);
        const QByteArray before = readAll(scrambled);
        QCOMPARE(prepareDataFileCopy(scrambled, copy), copy);
        QCOMPARE(readAll(scrambled), before);
        QCOMPARE(quint8(readAll(copy).at(0)), PlainFirstByte);
        QVERIFY_THROWS_EXCEPTION(FileError,
                                 prepareDataFileCopy(copy + QStringLiteral("x"), copy + QStringLiteral("x")));

        QCOMPARE(workingCopyPath(folder.folder(), scrambled, folder.defaultDatabase()), copy);
        QVERIFY(workingCopyPath(folder.folder(), scrambled, copy) != copy);
        QVERIFY(workingCopyPath(folder.folder(), copy, QString()) != copy);
    }

    void extensionsAndSuggestedName() {
        QCOMPARE(withExtension(QStringLiteral("abc"), QStringLiteral(".dat")), QStringLiteral("abc.dat"));
        QCOMPARE(withExtension(QStringLiteral("report.DAT"), QStringLiteral(".dat")),
                 QStringLiteral("report.DAT.dat"));
        QCOMPARE(withExtension(QStringLiteral("x.dat"), QStringLiteral(".dat")), QStringLiteral("x.dat"));
        QCOMPARE(withExtension(QStringLiteral(".dat"), QStringLiteral(".dat")), QStringLiteral(".dat.dat"));
        QCOMPARE(withExtensionIfLong(QStringLiteral("abc"), QStringLiteral(".mdb")), QStringLiteral("abc"));
        QCOMPARE(withExtensionIfLong(QStringLiteral("backup"), QStringLiteral(".mdb")),
                 QStringLiteral("backup.mdb"));
        QCOMPARE(suggestedReportName(QStringLiteral("某某工会"), QDate(2021, 3, 5)),
                 QStringLiteral("某某工会-2021-03-05(离线版)"));
    }

    void exportRefusesUncheckedRecordsAndHonoursCancel() {
        Site site;
        addRecords(site.db(), 3, 110000000001, 1);
        site.db().execute(QStringLiteral("update dt_data set RecordState=2 where c901=110000000002"));
        QVERIFY(!exportReportFile(site.session, site.ui, site.clock));
        QCOMPARE(site.ui.messageTexts(), QStringList{ReportRefusal});
        QVERIFY(site.ui.questions().empty());

        site.db().execute(QStringLiteral("update dt_data set RecordState=null where c901=110000000002"));
        QVERIFY(!exportReportFile(site.session, site.ui, site.clock)); // no state is not checked either

        site.db().execute(QStringLiteral("update dt_data set RecordState=1"));
        site.ui.clear();
        site.ui.answerText(QStringLiteral("默认数据库"));
        site.ui.answerText(QStringLiteral("默认数据库"));
        site.ui.answerCancelText();
        QVERIFY(!exportReportFile(site.session, site.ui, site.clock));
        QCOMPARE(site.ui.messageTexts(), (QStringList{DefaultLabelRefusal, DefaultLabelRefusal}));
        QCOMPARE(site.ui.questions().size(), size_t(3));
    }

    // The report file carries the checked records only, numbered as a copy of just those would be:
    // a record without an id follows the checked ones before it, not the others.
    void reportFileHoldsCheckedRecordsNumberedAmongThemselves() {
        Site site;
        addRecords(site.db(), 4, 110000000001, 1);
        site.db().execute(QStringLiteral("update dt_data set id = c901 - 110000000000"));
        site.db().execute(QStringLiteral("update dt_data set RecordState=2 where c901=110000000002"));
        site.db().execute(QStringLiteral("update dt_data set RecordState=null where c901=110000000003"));
        site.db().execute(QStringLiteral("update dt_data set id=null where c901=110000000004"));
        const QString file = site.folder.file(QStringLiteral("checked.dat"));
        writeReportFile(site.session, file, QStringLiteral("某工会"));
        unscrambleDataFile(file);
        engine::Connection written(file, deriveDatabasePassword());
        QStringList rows;
        engine::Statement read(
            written, QStringLiteral("select cast(c901 as integer) || ':' || id from dt_data order by rowid"));
        while (read.step())
            rows << read.text(0);
        QCOMPARE(rows, (QStringList{QStringLiteral("110000000001:1"), QStringLiteral("110000000004:2")}));
        QCOMPARE(written.scalar(QStringLiteral("select db_name from ct_label")).toString(),
                 QStringLiteral("某工会"));
    }

    void exportThenImportRoundTripAndDuplicateReport() {
        Site sender;
        addRecords(sender.db(), 25, 320100000001);
        const QByteArray before = readAll(sender.folder.defaultDatabase());
        const QString label = QStringLiteral("某某工会 O'Brien");
        const QString file = sender.exportTo(QStringLiteral("out"), label);
        QCOMPARE(file, sender.folder.file(QStringLiteral("out.dat")));
        QCOMPARE(sender.ui.lastMessage(),
                 QStringLiteral("数据已经被正确导出到：'") + file + QStringLiteral("'！"));
        const testing::AskedQuestion& save = sender.ui.questions().back();
        QCOMPARE(save.request.proposedName, suggestedReportName(label, QDate(2021, 3, 5)));
        QCOMPARE(save.request.filter, DataFileFilter);
        QCOMPARE(quint8(readAll(file).at(0)), ScrambledFirstByte);
        QCOMPARE(sender.session.label(), QStringLiteral("默认数据库"));
        QCOMPARE(readAll(sender.folder.defaultDatabase()), before);
        QVERIFY(!QFile::exists(sender.folder.file(QStringLiteral(".out.dat.partial"))));

        Site receiver;
        addRecords(receiver.db(), 2, 110000000001, 1);
        const ImportOutcome firstOutcome = receiver.importFile(file);
        QVERIFY2(firstOutcome == ImportOutcome::Imported, qPrintable(receiver.ui.messageTexts().join(u'|')));
        QCOMPARE(receiver.ui.questions().back().text,
                 QStringLiteral("确认准备导入标记声明为【") + label + QStringLiteral("】的数据么？"));
        QCOMPARE(count(receiver.db()), qint64(27));
        QCOMPARE(
            count(receiver.db(), QStringLiteral("select count(*) from dt_data where c901>=320100000001 and "
                                                "c902 is not null and RecordState=1")),
            qint64(25));
        QCOMPARE(recordDump(receiver.db(), QStringLiteral("c901>=320100000001")),
                 recordDump(sender.db(), QStringLiteral("1=1")));
        QVERIFY(!QFile::exists(receiver.folder.folder().workingCopy()));
        QCOMPARE(quint8(readAll(file).at(0)), ScrambledFirstByte); // the received file is never changed

        // The second time every record is a conflict and nothing is added.
        receiver.ui.clear();
        QCOMPARE(receiver.importFile(file), ImportOutcome::Failed);
        QCOMPARE(count(receiver.db()), qint64(27));
        QCOMPARE(receiver.ui.lastMessage(), conflictMessage());
        QCOMPARE(receiver.ui.openedFiles(), QStringList{conflictReportPath()});
        QByteArray expected = toGbk(ConflictHeading) + "\r\n" + QByteArray(80, '-') + "\r\n";
        engine::Statement rows(sender.db(), QStringLiteral("select c901, c902 from dt_data order by c901"));
        while (rows.step())
            expected += toGbk(QStringLiteral("(%1,%2)").arg(rows.integer(0)).arg(rows.text(1))) + "\r\n";
        QCOMPARE(readAll(conflictReportPath()), expected);
        QVERIFY(!QFile::exists(receiver.folder.folder().workingCopy()));
    }

    void oneConflictingRecordBlocksTheWholeFile() {
        Site sender;
        addRecords(sender.db(), 5, 320100000001);
        const QString file = sender.exportTo(QStringLiteral("five.dat"));
        Site receiver;
        receiver.db().execute(
            QStringLiteral("insert into dt_data (c901, c902, RecordState) values (320100000005, '甲', 1)"));
        QCOMPARE(receiver.importFile(file), ImportOutcome::Failed);
        QCOMPARE(count(receiver.db()), qint64(1));
        const QStringList report = readGbkTextFile(conflictReportPath());
        QCOMPARE(report.size(), 3);
        QVERIFY(report.at(2).startsWith(QStringLiteral("(320100000005,")));

        receiver.ui.clear();
        QCOMPARE(receiver.importFile(file, false), ImportOutcome::Declined);
        QVERIFY(!QFile::exists(receiver.folder.folder().workingCopy()));
        QVERIFY(!refreshesList(ImportOutcome::Declined));
    }

    void damagedOrForeignFilesLeaveTheDatabaseUntouched() {
        Site sender;
        addRecords(sender.db(), 200, 320100000001);
        const QString good = sender.exportTo(QStringLiteral("good.dat"));
        const QByteArray bytes = readAll(good);

        Site receiver;
        addRecords(receiver.db(), 3, 110000000001);
        const QByteArray before = readAll(receiver.folder.defaultDatabase());
        const QStringList recordsBefore = recordDump(receiver.db(), QStringLiteral("1=1"));
        const QString dir = sender.folder.path() + QLatin1Char('/');

        // Shorter than a scrambled head: refused before any byte is transformed.
        writeAll(dir + QStringLiteral("one.dat"), bytes.left(1));
        writeAll(dir + QStringLiteral("short.dat"), bytes.left(ScrambledHeadSize - 1));
        // A scrambled first byte in front of something that is no database.
        writeAll(dir + QStringLiteral("scrambledtext.dat"), char(ScrambledFirstByte) + QByteArray(4000, 'x'));
        {
            const QString locked = sender.folder.makeDatabase(QStringLiteral("locked.mdb"));
            engine::Connection(locked).setPassword(QStringLiteral("another"));
            const QString noLabel = sender.folder.makeDatabase(QStringLiteral("nolabel.mdb"));
            engine::Connection(noLabel).execute(QStringLiteral("drop table ct_label"));
        }

        writeAll(dir + QStringLiteral("truncated.dat"), bytes.left(bytes.size() / 2));
        writeAll(dir + QStringLiteral("garbage.dat"), QByteArray(5000, '\x37'));
        writeAll(dir + QStringLiteral("empty.dat"), QByteArray());
        writeAll(dir + QStringLiteral("renamed.dat"),
                 toGbk(QStringLiteral("这不是数据文件\r\n")).repeated(200));
        {
            // A newer layout: one column more in dt_data.
            const QString newer = sender.folder.makeDatabase(QStringLiteral("newer.mdb"));
            engine::Connection db(newer);
            db.execute(QStringLiteral("alter table dt_data add column z099 INTEGER"));
            db.execute(QStringLiteral("insert into dt_data (c901, c902) values (440100000001, '新')"));
        }
        {
            // Same number of columns, another order: "select *" would shift the values.
            const QString shuffled = sender.folder.file(QStringLiteral("shuffled.mdb"));
            engine::Connection::createDatabase(shuffled);
            engine::Connection db(shuffled);
            engine::Connection source(sender.folder.defaultDatabase());
            QStringList columns = tableColumns(source, QStringLiteral("dt_data"));
            columns.swapItemsAt(3, 4);
            db.executeScript(QStringLiteral("create table dt_data (%1); create table ct_label (db_name text);"
                                            "insert into dt_data (c901) values (440100000002);")
                                 .arg(columns.join(QLatin1Char(','))));
        }
        {
            const QString noTable = sender.folder.file(QStringLiteral("notable.mdb"));
            engine::Connection::createDatabase(noTable);
            engine::Connection(noTable).executeScript(QStringLiteral("create table other (x)"));
        }

        const struct {
            const char* name;
            QString message;
        } cases[] = {
            // A truncated file is refused when attached or when its records are read.
            {"truncated.dat", QStringLiteral("%1|%2").arg(ImportFormatError, UnreadableFileMessage)},
            {"garbage.dat", UnreadableFileMessage},
            {"empty.dat", UnreadableFileMessage},
            {"one.dat", UnreadableFileMessage},
            {"short.dat", UnreadableFileMessage},
            {"scrambledtext.dat", UnreadableFileMessage},
            {"locked.mdb", UnreadableFileMessage},
            {"nolabel.mdb", RunErrorPrefix},
            {"renamed.dat", UnreadableFileMessage},
            {"newer.mdb", ImportFormatError},
            {"shuffled.mdb", ImportFormatError},
            {"notable.mdb", FileHasNoDataTable},
            {"absent.dat", FileMissingMessage},
        };
        for (const auto& c : cases) {
            receiver.ui.clear();
            receiver.importFile(dir + QLatin1String(c.name));
            const QStringList shown = receiver.ui.messageTexts();
            QVERIFY2(std::any_of(shown.begin(), shown.end(),
                                 [&](const QString& m) {
                                     return c.message.split(u'|').contains(m) ||
                                            (c.message == RunErrorPrefix && m.startsWith(RunErrorPrefix));
                                 }),
                     qPrintable(QLatin1String(c.name) + QLatin1String(": ") +
                                receiver.ui.messageTexts().join(u'|')));
            QCOMPARE(recordDump(receiver.db(), QStringLiteral("1=1")), recordsBefore);
            QCOMPARE(count(receiver.db(), QStringLiteral("select count(*) from pragma_database_list")),
                     qint64(1));
            QVERIFY(!QFile::exists(receiver.folder.folder().workingCopy()));
        }
        QCOMPARE(receiver.db().scalar(QStringLiteral("pragma integrity_check")).toString(),
                 QStringLiteral("ok"));
        receiver.session.close();
        QCOMPARE(readAll(receiver.folder.defaultDatabase()).size(), before.size());
    }

    void duplicatesInsideTheFileAreReported() {
        Site receiver;
        const QString file = receiver.folder.makeDatabase(QStringLiteral("dups.mdb"));
        {
            engine::Connection db(file);
            db.executeScript(QStringLiteral("drop index dt_data_c901;"
                                            "insert into dt_data (c901, c902) values (330100000001, '甲');"
                                            "insert into dt_data (c901, c902) values (330100000001, '乙');"
                                            "insert into dt_data (c901, c902) values (330100000002, '丙');"));
        }
        QCOMPARE(receiver.importFile(file), ImportOutcome::Failed);
        QCOMPARE(count(receiver.db()), qint64(0));
        QCOMPARE(readGbkTextFile(conflictReportPath()).mid(2),
                 (QStringList{QStringLiteral("(330100000001,甲)"), QStringLiteral("(330100000001,乙)")}));
    }

    void backupRestoreAndTidy() {
        Site site;
        addRecords(site.db(), 10, 110000000001);
        const QString backup = site.folder.file(QStringLiteral("backup"));
        site.ui.answerFile(backup);
        QVERIFY(backupDatabase(site.session, site.ui));
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("备份成功"));
        QVERIFY(QFile::exists(backup + QStringLiteral(".mdb")));
        QCOMPARE(count(site.db()), qint64(10)); // open again after the copy

        // A backup to the open file itself would empty it.
        QVERIFY(!backupDatabaseTo(site.session, site.ui, site.folder.defaultDatabase()));
        QCOMPARE(count(site.db()), qint64(10));

        // Importing one's own backup: every record conflicts, as a plain .mdb opened in place.
        QCOMPARE(site.importFile(backup + QStringLiteral(".mdb")), ImportOutcome::Failed);
        QCOMPARE(readGbkTextFile(conflictReportPath()).size(), 12);

        // Restore from a file with no records empties the database, after the confirmation.
        const QString empty = site.folder.makeDatabase(QStringLiteral("empty.mdb"));
        site.ui.answerFile(empty);
        site.ui.answerNo();
        QVERIFY(!restoreDatabase(site.session, site.ui));
        QCOMPARE(count(site.db()), qint64(10));
        site.ui.answerFile(empty);
        site.ui.answerYes();
        QVERIFY(restoreDatabase(site.session, site.ui));
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("数据恢复操作完成！"));
        QCOMPARE(count(site.db()), qint64(0));

        // A restore whose insert fails keeps every record (delete and insert are one transaction).
        site.ui.answerYes();
        QVERIFY(restoreDatabaseFrom(site.session, site.ui, backup + QStringLiteral(".mdb")));
        QCOMPARE(count(site.db()), qint64(10));
        const QString dups = site.folder.makeDatabase(QStringLiteral("dups.mdb"));
        {
            engine::Connection db(dups);
            db.executeScript(QStringLiteral("drop index dt_data_c901;"
                                            "insert into dt_data (c901) values (110000000001);"
                                            "insert into dt_data (c901) values (110000000001);"));
        }
        site.ui.answerYes();
        QVERIFY(!restoreDatabaseFrom(site.session, site.ui, dups));
        QVERIFY(site.ui.lastMessage().startsWith(RunErrorPrefix));
        QVERIFY(site.ui.lastMessage().endsWith(ContactSuffix));
        QCOMPARE(count(site.db()), qint64(10));
        QVERIFY(!site.db().inTransaction());

        site.db().execute(QStringLiteral("update dt_data set c912=0 where c901<=110000000003"));
        site.db().execute(QStringLiteral("update dt_data set c912=2 where c901>=110000000004"));
        tidyData(site.db(), site.ui);
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("数据整理完成"));
        QCOMPARE(count(site.db(), QStringLiteral("select count(*) from dt_data where c912=0")), qint64(0));
        QCOMPARE(count(site.db(), QStringLiteral("select count(*) from dt_data where c912=2")), qint64(7));
    }

    void conversionFailsWithoutTheOldLayoutAndChangesNothing() {
        const QString insert = previousYearInsertStatement();
        const QString columns = insert.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0);
        QCOMPARE(columns.split(QLatin1Char(',')).size(), 144);
        QVERIFY(insert.contains(QLatin1String("c912,recordstate,z001")));
        QVERIFY(insert.contains(QLatin1String(",1,0,z001,")));
        QVERIFY(insert.contains(QLatin1String("j015,j016,j017,w001")));

        Site site;
        addRecords(site.db(), 2, 110000000001);
        site.db().executeScript(
            QStringLiteral("create table dt_data_2010 (c901); insert into dt_data_2010 values (5);"
                           "create table dt_data_dt_data_2010 (c901);"));
        QVERIFY_THROWS_EXCEPTION(EngineError, convertPreviousYear(site.db(), site.ui));
        QCOMPARE(count(site.db()), qint64(2));
        QCOMPARE(count(site.db(), QStringLiteral("select count(*) from dt_data_2010")), qint64(1));
        QVERIFY(site.ui.messages().empty());
    }

    void switchingDatabasesAndTheLabel() {
        Site site;
        addRecords(site.db(), 4, 110000000001);
        const QString file = site.exportTo(QStringLiteral("switch.dat"), QStringLiteral("下级工会"));
        site.ui.clear();

        QVERIFY(openOtherDatabaseFrom(site.session, site.ui, file));
        QCOMPARE(site.session.path(), site.folder.folder().workingCopy());
        QCOMPARE(site.session.label(), QStringLiteral("下级工会"));
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("已经打开您选择的数据库--下级工会"));
        QCOMPARE(count(site.db()), qint64(4));

        // While temp.dat is open, another scrambled file goes to a copy of its own.
        QVERIFY(openOtherDatabaseFrom(site.session, site.ui, file));
        QVERIFY(site.session.path() != site.folder.folder().workingCopy());

        // A file the engine cannot open keeps the current database.
        const QString bad = site.folder.file(QStringLiteral("bad.mdb"));
        writeAll(bad, QByteArray(3000, 'x'));
        const QString current = site.session.path();
        QVERIFY(!openOtherDatabaseFrom(site.session, site.ui, bad));
        QCOMPARE(site.ui.lastMessage(), BadInstallationMessage);
        QCOMPARE(site.session.path(), current);
        QVERIFY(site.session.isOpen());

        QVERIFY(openDefaultDatabase(site.session, site.ui));
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("已经打开软件默认数据库--默认数据库"));
        QVERIFY(!QFile::exists(site.folder.folder().workingCopy()));
        QVERIFY(QDir(site.folder.path()).entryList({QStringLiteral("temp-*.dat")}).isEmpty());

        site.ui.answerText(QStringLiteral("市总工会 'A'"));
        QVERIFY(changeDatabaseLabel(site.session, site.ui));
        QCOMPARE(readDatabaseLabel(site.db()), QStringLiteral("市总工会 'A'"));
        site.ui.answerCancelText();
        QVERIFY(changeDatabaseLabel(site.session, site.ui));
        QCOMPARE(site.session.label(), QStringLiteral("市总工会 'A'"));
        site.ui.answerText(QString());
        QVERIFY(!changeDatabaseLabel(site.session, site.ui));
        QCOMPARE(readDatabaseLabel(site.db()), QStringLiteral("市总工会 'A'"));
    }
};

QTEST_GUILESS_MAIN(ExchangeTest)
#include "tst_exchange.moc"
