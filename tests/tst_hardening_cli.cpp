// test-kind: cli
#include "app/engine/Connection.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

class HardeningCliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // generate waits the common busy timeout for another process's write, then says it is busy,
    // in Chinese and naming the file.
    void generateOnALockedDatabaseWaitsThenSaysBusy() {
        TestFolder folder;
        engine::Connection other(folder.defaultDatabase());
        other.begin();
        other.execute(QStringLiteral("update ct_label set db_name='占用'"));
        QElapsedTimer timer;
        timer.start();
        const CliRun run = runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("generate"),
                                   QStringLiteral("--count"), QStringLiteral("5")});
        other.rollback();
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QStringLiteral("正被其他程序使用")), qPrintable(run.err));
        QVERIFY(run.err.contains(folder.defaultDatabase()));
        QVERIFY(!run.err.contains(QLatin1String("locked")));
        QVERIFY(timer.elapsed() >= 4000);
    }

    // --db FILE info on a file whose record table is an endless view ends with a clear refusal.
    void infoOnAFileWithViewsForTablesIsRefused() {
        TestFolder folder;
        const QString file = folder.makeDatabase(QStringLiteral("hostile.mdb"));
        {
            engine::Connection db(file);
            db.executeScript(QStringLiteral("drop table dt_data"));
            db.executeScript(QStringLiteral(
                "create view dt_data as with recursive n(x) as (select 1 union all select x+1 from n) "
                "select x as RecordState from n"));
        }
        const CliRun run = runCli(
            {QStringLiteral("--home"), folder.path(), QStringLiteral("--db"), file, QStringLiteral("info")});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.out.contains(QStringLiteral("不是普通的数据表")) ||
                     run.err.contains(QStringLiteral("不是普通的数据表")),
                 qPrintable(run.out + run.err));
    }

    // A label of 200 characters still lets check --all write its result file.
    void checkAllWorksWithTheLongestLabel() {
        TestFolder folder;
        {
            engine::Connection db(folder.defaultDatabase());
            db.execute(QStringLiteral("update ct_label set db_name=?1"), {QString(200, QChar(0x5DE5))});
        }
        QCOMPARE(runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("generate"),
                         QStringLiteral("--count"), QStringLiteral("3")})
                     .code,
                 0);
        const CliRun run = runCli(
            {QStringLiteral("--home"), folder.path(), QStringLiteral("check"), QStringLiteral("--all")});
        QVERIFY2(run.code == 0, qPrintable(run.out + run.err));
        QVERIFY(run.out.contains(QStringLiteral("逻辑检查结果.txt")));
    }
};

QTEST_GUILESS_MAIN(HardeningCliTest)
#include "tst_hardening_cli.moc"
