// test-kind: cli
#include "BuildInfo.h"
#include "app/engine/Connection.h"
#include "cli/CliApplication.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
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
        const QString none = folder.file(QStringLiteral("none.mdb"));
        CliRun run = runCli({QStringLiteral("--db"), none, QStringLiteral("info")});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QStringLiteral("数据库文件“%1”不存在。").arg(none)), qPrintable(run.err));

        QFile junk(folder.file(QStringLiteral("junk.mdb")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(3000, 'j'));
        junk.close();
        run = runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("--db"), junk.fileName(),
                      QStringLiteral("info")});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QStringLiteral("文件“%1”不是数据库文件。").arg(junk.fileName())),
                 qPrintable(run.err));
        QVERIFY(!run.err.contains(QStringLiteral("软件安装不正确")));
        run = runCli({QStringLiteral("--db"), junk.fileName(), QStringLiteral("generate"),
                      QStringLiteral("--count"), QStringLiteral("1")});
        QCOMPARE(run.code, 1);

        // An SQLite file without the program's tables is named too.
        const QString foreign = folder.file(QStringLiteral("foreign.db"));
        engine::Connection::createDatabase(foreign);
        engine::Connection(foreign).execute(QStringLiteral("create table t (x)"));
        run = runCli({QStringLiteral("--db"), foreign, QStringLiteral("info")});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(foreign), qPrintable(run.err));

        // Without --db the program folder's own database is missing: the program's message.
        TestFolder empty(false);
        run = runCli({QStringLiteral("--home"), empty.path(), QStringLiteral("info")});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("没有找到系统数据文件，请重新安装。")));
    }

    void versionAndCommandHelpSpeakChinese() {
        const CliRun version = runCli({QStringLiteral("--version")});
        QCOMPARE(version.code, 0);
        QVERIFY2(
            version.out.startsWith(QStringLiteral("corvalis-survey-cli 1.0 (Build %1)").arg(BuildNumber)),
            qPrintable(version.out));

        for (const QStringList& arguments :
             {QStringList{QStringLiteral("help"), QStringLiteral("check")},
              QStringList{QStringLiteral("check"), QStringLiteral("--help")}}) {
            const CliRun help = runCli(arguments);
            QCOMPARE(help.code, 0);
            // The usage line names the tool and the command, never a path.
            QVERIFY2(help.out.startsWith(QStringLiteral("用法：corvalis-survey-cli check [选项]")),
                     qPrintable(help.out));
            QVERIFY(help.out.contains(QStringLiteral("选项：")));
            QVERIFY(help.out.contains(QStringLiteral("参数：")));
            QVERIFY(help.out.contains(QLatin1String("--report")));
            QVERIFY(help.out.contains(QLatin1String("--json")));
            for (const char* english : {"Usage", "Options:", "Arguments:", "Displays"})
                QVERIFY2(!help.out.contains(QLatin1String(english)), english);
            QVERIFY(!help.out.section(QLatin1Char('\n'), 0, 0).contains(QLatin1Char('/')));
        }
        // Commands without results to report take no --json.
        QVERIFY(!runCli({QStringLiteral("help"), QStringLiteral("generate")})
                     .out.contains(QLatin1String("--json")));
        QCOMPARE(runCli({QStringLiteral("help"), QStringLiteral("frobnicate")}).code, 2);
        QCOMPARE(runCli({QStringLiteral("help")}).code, 0);

        // The parser's own errors in Chinese, with the command's usage.
        CliRun run = runCli({QStringLiteral("info"), QStringLiteral("--nonsense")});
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.startsWith(QStringLiteral("未知的选项：nonsense")), qPrintable(run.err));
        run = runCli({QStringLiteral("generate"), QStringLiteral("--count")});
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.startsWith(QStringLiteral("选项 --count 缺少参数。")), qPrintable(run.err));
        QVERIFY(run.err.contains(QStringLiteral("用法：corvalis-survey-cli generate --count N")));
    }

    void quietVerboseAndJson() {
        TestFolder folder;
        const QStringList home{QStringLiteral("--home"), folder.path()};
        CliRun run = runCli(home + QStringList{QStringLiteral("-q"), QStringLiteral("generate"),
                                               QStringLiteral("--count"), QStringLiteral("3")});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err, QString());
        // Problems are still said under -q.
        run = runCli(home + QStringList{QStringLiteral("generate"), QStringLiteral("--quiet"),
                                        QStringLiteral("--count"), QStringLiteral("-1")});
        QCOMPARE(run.code, 2);
        QVERIFY(!run.err.isEmpty());

        run = runCli(home + QStringList{QStringLiteral("info"), QStringLiteral("-v")});
        QCOMPARE(run.code, 0);
        QVERIFY(run.err.contains(QStringLiteral("数据库：%1").arg(folder.defaultDatabase())));
        QVERIFY(run.err.contains(QStringLiteral("用时")));
        QVERIFY(run.out.contains(QStringLiteral("记录数：3")));

        run = runCli(home + QStringList{QStringLiteral("info"), QStringLiteral("--json")});
        QCOMPARE(run.code, 0);
        QJsonParseError error;
        const QJsonObject info = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(info.value(QStringLiteral("database")).toString(), folder.defaultDatabase());
        QCOMPARE(info.value(QStringLiteral("label")).toString(), QStringLiteral("默认数据库"));
        QCOMPARE(info.value(QStringLiteral("records")).toInt(), 3);
        QCOMPARE(info.value(QStringLiteral("states")).toObject().value(QStringLiteral("0")).toInt(), 3);
        QCOMPARE(run.out.count(QLatin1Char('\n')), 1);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
