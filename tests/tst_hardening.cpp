// test-kind: core
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/GbkText.h"
#include "app/ReceivedFile.h"
#include "app/engine/Connection.h"
#include "app/engine/EngineFailure.h"
#include "checks/CheckRunner.h"
#include "exchange/ConflictReport.h"
#include "exchange/DataFile.h"
#include "exchange/DataImport.h"
#include "exchange/Maintenance.h"
#include "exchange/MultiImport.h"
#include "exchange/NetworkExport.h"
#include "exchange/ReportExport.h"
#include "support/OpenSession.h"
#include "support/ScriptedUiServices.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>

using namespace corvalis;
using namespace corvalis::exchange;
using corvalis::testing::OpenSession;
using corvalis::testing::ScriptedUiServices;

namespace {

struct Site : OpenSession {
    qint64 count(const QString& sql = QStringLiteral("select count(*) from dt_data")) {
        return db().scalar(sql).toLongLong();
    }
    // A plain database file in the folder holding records with the given codes.
    QString fileWith(const QString& name, const QList<qint64>& codes) {
        const QString path = folder.makeDatabase(name);
        engine::Connection file(path);
        for (qint64 code : codes)
            file.execute(QStringLiteral("insert into dt_data (c901, c902, RecordState) values (?1, '甲', 1)"),
                         {code});
        return path;
    }
    // A scrambled data file at path holding records with the given codes.
    void reportFileWith(const QString& path, const QList<qint64>& codes) {
        Site lower;
        for (qint64 code : codes)
            lower.db().execute(
                QStringLiteral("insert into dt_data (c901, c902, RecordState) values (?1, '乙', 1)"), {code});
        writeReportFile(lower.session, path, QStringLiteral("下级"));
    }
};

// A recursive query that never ends, as a view.
const QString EndlessView =
    QStringLiteral("create view %1 as with recursive n(x) as (select 1 union all select x+1 from n) "
                   "select x as db_name from n where x < 0");

// Overwrites the end of the root page of an index of the file, which the integrity check notices.
void damageIndex(const QString& path) {
    qint64 page = 0, pageSize = 0;
    {
        engine::Connection db(path);
        db.executeScript(QStringLiteral("create index if not exists damaged_ix on dt_data(c902)"));
        page = db.scalar(QStringLiteral("select rootpage from sqlite_master where name='damaged_ix'"))
                   .toLongLong();
        pageSize = db.scalar(QStringLiteral("pragma page_size")).toLongLong();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(page * pageSize - 64));
    file.write(QByteArray(64, '\x7f'));
}

} // namespace

class HardeningTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A row that another connection commits while the compaction waits is in the compacted file.
    void compactionHoldsTheFileSoAConcurrentCommitIsKept() {
        Site site;
        site.session.close();
        engine::Connection other(site.folder.defaultDatabase());
        other.begin();
        other.execute(QStringLiteral("insert into dt_data (c901, c902) values (100000000001, '并发')"));
        std::thread committer([&other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            other.commit();
        });
        const bool compacted = compactDatabase(site.folder.defaultDatabase(), site.ui);
        committer.join();
        other.close();
        QVERIFY2(compacted, qPrintable(site.ui.messageTexts().join(u'|')));
        engine::Connection after(site.folder.defaultDatabase());
        QCOMPARE(after.scalar(QStringLiteral("select count(*) from dt_data where c901=100000000001")).toInt(),
                 1);
    }

    // While another connection keeps its write open, compaction gives up after the busy timeout
    // with a message naming the file, and the other connection's rows are kept.
    void compactionOfABusyDatabaseIsRefusedInChinese() {
        Site site;
        site.session.close();
        engine::Connection other(site.folder.defaultDatabase());
        other.begin();
        other.execute(QStringLiteral("insert into dt_data (c901, c902) values (100000000002, '并发')"));
        QVERIFY(!compactDatabase(site.folder.defaultDatabase(), site.ui));
        other.commit();
        QVERIFY(site.ui.lastMessage().contains(QStringLiteral("正被其他程序使用")));
        QVERIFY(site.ui.lastMessage().contains(site.folder.defaultDatabase()));
        QVERIFY(!site.ui.lastMessage().contains(QLatin1String("locked")));
        QCOMPARE(other.scalar(QStringLiteral("select count(*) from dt_data where c901=100000000002")).toInt(),
                 1);
    }

    // A locked database makes an import say so, not "import file format error".
    void importIntoABusyDatabaseSaysItIsBusy() {
        Site site;
        const QString file = site.fileWith(QStringLiteral("in.mdb"), {100000000003});
        engine::Connection other(site.folder.defaultDatabase());
        other.begin();
        other.execute(QStringLiteral("update ct_label set db_name='x'"));
        site.ui.answerYes();
        QCOMPARE(importDataFileFrom(site.session, site.ui, file), ImportOutcome::Failed);
        other.rollback();
        QVERIFY2(site.ui.lastMessage().contains(QStringLiteral("正被其他程序使用")),
                 qPrintable(site.ui.lastMessage()));
        QVERIFY(!site.ui.messageTexts().contains(ImportFormatError));
    }

    void environmentFailuresHaveChineseTextsNamingTheFile() {
        for (int code : {SQLITE_BUSY, SQLITE_LOCKED, SQLITE_FULL, SQLITE_READONLY, SQLITE_IOERR_WRITE}) {
            QVERIFY(engine::isEnvironmentFailure(code));
            const QString text = engine::engineFailureText(nullptr, code);
            QVERIFY2(text.contains(QStringLiteral("数据库文件")), qPrintable(text));
        }
        QVERIFY(engine::engineFailureText(nullptr, SQLITE_FULL).contains(QStringLiteral("磁盘空间不足")));
        QVERIFY(!engine::isEnvironmentFailure(SQLITE_CONSTRAINT_UNIQUE));

        // Files written on a full disk (/dev/full answers every write so) say so.
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("source.bin"));
        QFile(source).open(QIODevice::WriteOnly);
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(1 << 16, 'x'));
        }
        try {
            copyFileContents(source, QStringLiteral("/dev/full"));
            QFAIL("a write to a full disk succeeded");
        } catch (const FileError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("磁盘空间不足")), qPrintable(error.text()));
        }
        try {
            GbkTextWriter writer(QStringLiteral("/dev/full"));
            writer.writeLine(QStringLiteral("记录"));
            writer.flush();
            QFAIL("a write to a full disk succeeded");
        } catch (const FileError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("磁盘空间不足")), qPrintable(error.text()));
        }
    }

    // Two chosen files of the same name in different folders both get imported, each under its name.
    void sameNamedFilesFromTwoFoldersBothImport() {
        Site site;
        QDir(site.folder.path()).mkpath(QStringLiteral("a"));
        QDir(site.folder.path()).mkpath(QStringLiteral("b"));
        const QString a = site.folder.file(QStringLiteral("a/x.dat"));
        const QString b = site.folder.file(QStringLiteral("b/x.dat"));
        site.reportFileWith(a, {100000000011, 100000000012});
        site.reportFileWith(b, {100000000021});
        QVERIFY(multiImportCopyPath(site.folder.folder(), a) != multiImportCopyPath(site.folder.folder(), b));
        QVERIFY(prepareImportFiles(site.folder.folder(), {a, b}, 0, site.ui));
        const MultiImportResult result = importMultipleFiles(site.session, site.ui, {a, b});
        QCOMPARE(result.imported, 2);
        QCOMPARE(result.failed, 0);
        QCOMPARE(site.count(), 3);
    }

    // A view where the label table belongs, running forever, is refused at once: import, opening.
    void viewsWhereTablesBelongAreRefusedWithoutHanging() {
        Site site;
        const QString file = site.fileWith(QStringLiteral("view.mdb"), {100000000031});
        {
            engine::Connection db(file);
            db.executeScript(QStringLiteral("drop table ct_label"));
            db.executeScript(EndlessView.arg(QStringLiteral("ct_label")));
        }
        QElapsedTimer timer;
        timer.start();
        site.ui.answerYes();
        QCOMPARE(importDataFileFrom(site.session, site.ui, file), ImportOutcome::Ended);
        QVERIFY(site.ui.lastMessage().contains(QStringLiteral("不是普通的数据表")));
        QCOMPARE(site.count(), 0);

        ScriptedUiServices ui;
        DbSession other(site.folder.folder(), ui);
        QCOMPARE(other.openDatabase(file), OpenOutcome::NotUsable);
        QVERIFY(ui.lastMessage().contains(QStringLiteral("不是普通的数据表")));
        QVERIFY(timer.elapsed() < 20000);
    }

    // Any statement over a received file ends once it has done far more work than the file needs.
    void theWorkLimitEndsAnEndlessStatementWithAMessage() {
        Site site;
        const QString file = site.fileWith(QStringLiteral("small.mdb"), {});
        engine::Attachment attached(site.db(), file, QStringLiteral("incoming"));
        bool ended = false;
        try {
            underWorkLimit(site.db(), file, QStringLiteral("收到的文件"), [&] {
                return site.db().scalar(
                    QStringLiteral("with recursive n(x) as (select 1 union all select x+1 from n) "
                                   "select count(*) from n, incoming.ct_label"));
            });
        } catch (const EngineError& error) {
            ended = true;
            QVERIFY(error.text().contains(QStringLiteral("收到的文件")));
            QCOMPARE(error.code(), RefusedFileCode);
        }
        QVERIFY(ended);
        // The connection is usable afterwards, without the limit.
        QCOMPARE(site.db().scalar(QStringLiteral("select count(*) from incoming.dt_data")).toInt(), 0);
    }

    // A file the integrity check finds damaged is refused before any record is used: import,
    // multi-file import, restore.
    void damagedFilesAreRefused() {
        Site site;
        QList<qint64> codes;
        for (qint64 i = 0; i < 300; ++i)
            codes << 100000001000 + i;
        const QString file = site.fileWith(QStringLiteral("damaged.mdb"), codes);
        damageIndex(file);
        site.ui.answerYes();
        QCOMPARE(importDataFileFrom(site.session, site.ui, file), ImportOutcome::Ended);
        QVERIFY2(site.ui.lastMessage().contains(QStringLiteral("已损坏")), qPrintable(site.ui.lastMessage()));
        QCOMPARE(site.count(), 0);

        QVERIFY(!prepareImportFiles(site.folder.folder(), {file}, 0, site.ui));
        QVERIFY(site.ui.lastMessage().contains(QStringLiteral("已损坏")));

        site.db().execute(QStringLiteral("insert into dt_data (c901, c902) values (100000000041, '留')"));
        QVERIFY(!restoreDatabaseFrom(site.session, site.ui, file));
        QVERIFY(site.ui.lastMessage().contains(QStringLiteral("已损坏")));
        QCOMPARE(site.count(), 1);
    }

    // The label part of the result file name is shortened so that the name fits 255 bytes.
    void aLongLabelStillGivesAUsableResultFileName() {
        const QString label = QString(200, QChar(0x5DE5)); // 200 × "工"
        const QString path = checks::resultFilePath(label);
        const QString name = QFileInfo(path).fileName();
        QVERIFY(fileNameBytes(name) <= MaxFileNameBytes);
        QVERIFY(name.startsWith(QStringLiteral("2020基层-工工工")));
        QVERIFY(name.endsWith(QStringLiteral("-逻辑检查结果.txt")));
        QVERIFY(checks::resultFilePath(label + QStringLiteral("乙")) != path);
        GbkTextWriter writer(path); // the file system takes it
        writer.writeLine(QStringLiteral("ok"));
        writer.close();
        QVERIFY(QFile::remove(path));
        QCOMPARE(checks::resultFilePath(QStringLiteral("短")),
                 tempFolder() + QStringLiteral("/2020基层-短-逻辑检查结果.txt"));
    }

    // Result and conflict files go to a folder of the user's own, 0700, files 0600.
    void temporaryFilesAreTheUsersOwn() {
        const QString folder = tempFolder();
        QVERIFY(QFileInfo(folder).fileName().startsWith(QLatin1String("corvalis-survey-")));
        QCOMPARE(QFileInfo(folder).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0700);
        QCOMPARE(QFileInfo(conflictReportPath()).absolutePath(), folder);
        writeConflictReport({{QStringLiteral("100000000001"), QStringLiteral("甲")}});
        QCOMPARE(::lstat(QFile::encodeName(conflictReportPath()).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0600);
    }

    // A link planted where the user's temporary folder belongs is never followed.
    void aPlantedLinkForTheTemporaryFolderIsRefused() {
        const QByteArray saved = qgetenv("TMPDIR");
        QTemporaryDir shared;
        QTemporaryDir victim;
        qputenv("TMPDIR", QFile::encodeName(shared.path()));
        const QString expected = tempFolder(); // made once, to learn the name
        QVERIFY(QDir(expected).removeRecursively());
        QVERIFY(QFile::link(victim.path(), expected));
        QVERIFY_THROWS_EXCEPTION(FileError, tempFolder());
        QVERIFY_THROWS_EXCEPTION(FileError,
                                 writeConflictReport({{QStringLiteral("1"), QStringLiteral("x")}}));
        QVERIFY(QDir(victim.path()).isEmpty());
        qputenv("TMPDIR", saved);
    }

    // Leftovers of killed runs go at the next run; files in use by a running program stay.
    void staleLeftoversAreRemovedButFilesInUseStay() {
        const QString stale = tempFolder() + QStringLiteral("/~SMstale1.tmp");
        QFile(stale).open(QIODevice::WriteOnly);
        QFile(stale + QStringLiteral("-journal")).open(QIODevice::WriteOnly);
        const LockedTempFile inUse;
        Site site;
        QVERIFY(site.session.compact());
        QVERIFY(!QFile::exists(stale));
        QVERIFY(!QFile::exists(stale + QStringLiteral("-journal")));
        QVERIFY(QFile::exists(inUse.path()));

        // A killed report export left its hidden partial file and journal beside the target.
        const QString partial = site.folder.file(QStringLiteral(".old.dat.partial"));
        QFile(partial).open(QIODevice::WriteOnly);
        QFile(partial + QStringLiteral("-journal")).open(QIODevice::WriteOnly);
        site.db().execute(
            QStringLiteral("insert into dt_data (c901, c902, RecordState) values (100000000051, '甲', 1)"));
        writeReportFile(site.session, site.folder.file(QStringLiteral("new.dat")), QStringLiteral("某"));
        QVERIFY(!QFile::exists(partial));
        QVERIFY(!QFile::exists(partial + QStringLiteral("-journal")));

        // A killed network export left its plain text beside the target; the next export leaves
        // no plain text anywhere.
        const QString target = site.folder.file(QStringLiteral("net.dat"));
        const NetworkExportNames names = networkExportNames(target);
        QFile(names.temporary).open(QIODevice::WriteOnly);
        const QString plain = tempFolder() + QStringLiteral("/~NTkilled.tmp");
        QFile(plain).open(QIODevice::WriteOnly);
        QVERIFY(exportNetworkFileTo(site.session, site.ui, target));
        QVERIFY(!QFile::exists(names.temporary));
        QVERIFY(!QFile::exists(plain));
        QVERIFY(QDir(tempFolder()).entryList({QStringLiteral("~NT*")}, QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(HardeningTest)
#include "tst_hardening.moc"
