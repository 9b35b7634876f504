// test-kind: cli
#include "app/engine/Connection.h"
#include "cli/CliApplication.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

class CliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void helpListsEveryCommandAndUsageErrorsExitTwo() {
        const CliRun help = runCli({QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        for (const char* command : {"init", "info", "generate"})
            QVERIFY2(help.out.contains(QLatin1String(command)), command);
        QCOMPARE(runCli({}).code, 2);
        QCOMPARE(runCli({QStringLiteral("frobnicate")}).code, 2);
        QCOMPARE(runCli({QStringLiteral("--bogus"), QStringLiteral("info")}).code, 2);
        QCOMPARE(runCli({QStringLiteral("--db")}).code, 2);
        QCOMPARE(runCli({QStringLiteral("info"), QStringLiteral("--nonsense")}).code, 2);
        const CliRun commandHelp = runCli({QStringLiteral("generate"), QStringLiteral("--help")});
        QCOMPARE(commandHelp.code, 0);
        QVERIFY(commandHelp.out.contains(QLatin1String("--faulty")));
    }

    void initCreatesAndRefusesToOverwrite() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("x.mdb"));
        CliRun run = runCli({QStringLiteral("init"), file});
        QCOMPARE(run.code, 0);
        QVERIFY(QFile::exists(file));
        QVERIFY(!QFile::exists(file + QStringLiteral(".partial")));
        engine::Connection(file).execute(QStringLiteral("insert into dt_data (c901) values (100000000001)"));

        run = runCli({QStringLiteral("init"), file});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QLatin1String("--force")));
        QCOMPARE(engine::Connection(file).scalar(QStringLiteral("select count(*) from dt_data")).toInt(), 1);

        run = runCli({QStringLiteral("init"), QStringLiteral("--force"), file});
        QCOMPARE(run.code, 0);
        QCOMPARE(engine::Connection(file).scalar(QStringLiteral("select count(*) from dt_data")).toInt(), 0);

        // Without a file, init makes the default database of the program folder.
        run = runCli({QStringLiteral("--home"), dir.path(), QStringLiteral("init")});
        QCOMPARE(run.code, 0);
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("2020NB_vq_20200819.mdb"))));
        QCOMPARE(runCli({QStringLiteral("init"), dir.filePath(QStringLiteral("no/such/dir/y.mdb"))}).code, 1);
    }

    void generateThenInfoCountsRecordsByState() {
        TestFolder folder;
        CliRun run = runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("generate"),
                             QStringLiteral("--count"), QStringLiteral("25"), QStringLiteral("--seed"),
                             QStringLiteral("3"), QStringLiteral("--faulty"), QStringLiteral("0.2")});
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.contains(QLatin1String("25")), qPrintable(run.out));
        run = runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("info")});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains(folder.defaultDatabase()));
        QVERIFY(run.out.contains(QStringLiteral("标识：默认数据库")));
        QVERIFY(run.out.contains(QStringLiteral("记录数：25")));
        QVERIFY(run.out.contains(QStringLiteral("RecordState 0：25")));

        QCOMPARE(runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("generate")}).code, 2);
        QCOMPARE(runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("generate"),
                         QStringLiteral("--count"), QStringLiteral("ten")})
                     .code,
                 2);
        QCOMPARE(runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("generate"),
                         QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--faulty"),
                         QStringLiteral("2")})
                     .code,
                 2);
    }

    void unusableDatabasesExitOneWithTheMessageOnStandardError() {
        TestFolder folder;
        CliRun run =
            runCli({QStringLiteral("--db"), folder.file(QStringLiteral("none.mdb")), QStringLiteral("info")});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("没有找到系统数据文件，请重新安装。")));

        QFile junk(folder.file(QStringLiteral("junk.mdb")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(3000, 'j'));
        junk.close();
        run = runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("--db"), junk.fileName(),
                      QStringLiteral("info")});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("软件安装不正确，请与软件提供者联系！")));
        run = runCli({QStringLiteral("--db"), junk.fileName(), QStringLiteral("generate"),
                      QStringLiteral("--count"), QStringLiteral("1")});
        QCOMPARE(run.code, 1);

        TestFolder empty(false);
        run = runCli({QStringLiteral("--home"), empty.path(), QStringLiteral("info")});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("没有找到系统数据文件，请重新安装。")));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
