// test-kind: cli
#include "app/engine/Connection.h"
#include "cli/CliApplication.h"
#include "exchange/ConflictReport.h"
#include "exchange/DataFile.h"
#include "records/RecordGenerator.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

namespace {

void addRecords(const QString& database, int count, qint64 firstCode, int state) {
    engine::Connection db(database);
    records::GeneratorOptions options;
    options.count = count;
    options.firstCode = firstCode;
    records::generateRecords(db, options);
    db.execute(QStringLiteral("update dt_data set RecordState=?1"), {state});
}

qint64 recordCount(const QString& database) {
    return engine::Connection(database).scalar(QStringLiteral("select count(*) from dt_data")).toLongLong();
}
} // namespace

class ExchangeCliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exportImportBackupRestoreTidy() {
        TestFolder sender(true, true);
        const QString home = sender.path();
        addRecords(sender.defaultDatabase(), 12, 320100000001, 0);
        const QString out = sender.file(QStringLiteral("report"));

        CliRun run =
            runCli({QStringLiteral("--home"), home, QStringLiteral("export-report"),
                    QStringLiteral("--label"), QStringLiteral("某工会"), QStringLiteral("--output"), out});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("不能上报")));
        QVERIFY(!QFile::exists(out + QStringLiteral(".dat")));

        engine::Connection(sender.defaultDatabase())
            .execute(QStringLiteral("update dt_data set RecordState=1"));
        QCOMPARE(runCli({QStringLiteral("--home"), home, QStringLiteral("export-report"),
                         QStringLiteral("--output"), out})
                     .code,
                 2);
        QCOMPARE(
            runCli({QStringLiteral("--home"), home, QStringLiteral("export-report"),
                    QStringLiteral("--label"), QStringLiteral("默认数据库"), QStringLiteral("--output"), out})
                .code,
            2);
        run = runCli({QStringLiteral("--home"), home, QStringLiteral("export-report"),
                      QStringLiteral("--label"), QStringLiteral("某工会"), QStringLiteral("--output"), out});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains(QStringLiteral("数据已经被正确导出到")));
        const QString dataFile = out + QStringLiteral(".dat");
        QCOMPARE(exchange::firstByteOf(dataFile), int(exchange::ScrambledFirstByte));

        TestFolder receiver(true, true);
        const QString home2 = receiver.path();
        run = runCli({QStringLiteral("--home"), home2, QStringLiteral("import"), dataFile});
        QCOMPARE(run.code, 0);
        QCOMPARE(recordCount(receiver.defaultDatabase()), qint64(12));
        run = runCli({QStringLiteral("--home"), home2, QStringLiteral("import"), dataFile});
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.contains(exchange::conflictReportPath()));
        QCOMPARE(recordCount(receiver.defaultDatabase()), qint64(12));
        QCOMPARE(runCli({QStringLiteral("--home"), home2, QStringLiteral("import")}).code, 2);
        QCOMPARE(runCli({QStringLiteral("--home"), home2, QStringLiteral("import"),
                         receiver.file(QStringLiteral("none.dat"))})
                     .code,
                 1);

        const QString backup = receiver.file(QStringLiteral("keep.mdb"));
        QCOMPARE(runCli({QStringLiteral("--home"), home2, QStringLiteral("backup")}).code, 2);
        QCOMPARE(runCli({QStringLiteral("--home"), home2, QStringLiteral("backup"),
                         QStringLiteral("--output"), backup})
                     .code,
                 0);
        QCOMPARE(recordCount(backup), qint64(12));

        const QString empty = receiver.makeDatabase(QStringLiteral("empty.mdb"));
        QCOMPARE(runCli({QStringLiteral("--home"), home2, QStringLiteral("restore"), empty}).code, 0);
        QCOMPARE(recordCount(receiver.defaultDatabase()), qint64(0));
        QCOMPARE(runCli({QStringLiteral("--home"), home2, QStringLiteral("restore"), backup}).code, 0);
        QCOMPARE(recordCount(receiver.defaultDatabase()), qint64(12));

        engine::Connection(receiver.defaultDatabase()).execute(QStringLiteral("update dt_data set c912=0"));
        run = runCli({QStringLiteral("--home"), home2, QStringLiteral("tidy")});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains(QStringLiteral("数据整理完成")));
        QCOMPARE(engine::Connection(receiver.defaultDatabase())
                     .scalar(QStringLiteral("select count(*) from dt_data where c912=0"))
                     .toLongLong(),
                 qint64(0));
    }

    void networkExportCsvImportAndSeveralFiles() {
        TestFolder sender(true, true);
        addRecords(sender.defaultDatabase(), 8, 320100000001, 1);
        const QString out = sender.file(QStringLiteral("net"));
        CliRun run = runCli({QStringLiteral("--home"), sender.path(), QStringLiteral("export-network"),
                             QStringLiteral("--output"), out});
        QCOMPARE(run.code, 0);
        QVERIFY(QFile::exists(out + QStringLiteral(".dat")));
        QVERIFY(!QFile::exists(out + QStringLiteral("temp.dat")));
        const QString csv = sender.file(QStringLiteral("net.csv"));
        run = runCli({QStringLiteral("decrypt-network"), out + QStringLiteral(".dat"),
                      QStringLiteral("--output"), csv});
        QCOMPARE(run.code, 0);
        QCOMPARE(runCli({QStringLiteral("decrypt-network"), csv, QStringLiteral("--output"),
                         csv + QStringLiteral("2")})
                     .code,
                 1);

        TestFolder receiver(true, true);
        run = runCli({QStringLiteral("--home"), receiver.path(), QStringLiteral("import-csv"), csv});
        QCOMPARE(run.code, 0);
        QCOMPARE(recordCount(receiver.defaultDatabase()), qint64(8));
        run = runCli({QStringLiteral("--home"), receiver.path(), QStringLiteral("import-csv"), csv});
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.contains(exchange::conflictReportPath()));

        // Several files: each on its own; the conflicting one fails the run.
        const QString a = receiver.makeDatabase(QStringLiteral("a.mdb"));
        const QString b = receiver.makeDatabase(QStringLiteral("b.mdb"));
        addRecords(a, 2, 500000000001, 1);
        addRecords(b, 2, 320100000001, 1);
        run = runCli({QStringLiteral("--home"), receiver.path(), QStringLiteral("import"), a, b});
        QCOMPARE(run.code, 1);
        QCOMPARE(recordCount(receiver.defaultDatabase()), qint64(10));
    }
};

QTEST_GUILESS_MAIN(ExchangeCliTest)
#include "tst_exchange_cli.moc"
