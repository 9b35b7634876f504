// test-kind: cli
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "checks/CheckRunner.h"
#include "cli/CliApplication.h"
#include "records/RecordGenerator.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

class CheckCliTest : public QObject {
    Q_OBJECT

private:
    TestFolder m_folder;
    QString m_db;

    qint64 count(const QString& where) {
        engine::Connection connection(m_db);
        return connection.scalar(QStringLiteral("select count(*) from dt_data where ") + where).toLongLong();
    }
    CliRun check(const QStringList& options) {
        return runCli(QStringList{QStringLiteral("--db"), m_db, QStringLiteral("check")} + options);
    }

private Q_SLOTS:
    void initTestCase() {
        m_db = m_folder.defaultDatabase();
        engine::Connection connection(m_db);
        records::GeneratorOptions options;
        options.count = 50;
        options.faultyShare = 0.2;
        options.firstCode = 110000000001;
        records::generateRecords(connection, options);
    }

    void checksCodesAndRangesAndWritesTheReport() {
        const QString report = m_folder.file(QStringLiteral("r.txt"));
        CliRun run = check({QStringLiteral("--codes"), QStringLiteral("110000000001,110000000002"),
                            QStringLiteral("--report"), report});
        QCOMPARE(run.code, 0);
        QCOMPARE(count(QStringLiteral("RecordState<>0")), 2);
        QVERIFY(run.out.contains(QStringLiteral("已检查 2 条记录")));
        QVERIFY(run.out.contains(report));

        // A reversed range checks the lower code alone.
        run = check({QStringLiteral("--range"), QStringLiteral("110000000010"),
                     QStringLiteral("110000000003"), QStringLiteral("--report"), report});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains(QStringLiteral("已检查 1 条记录")));
        // An upper end past 64 bits is taken, and still lies above every code.
        run = check({QStringLiteral("--range"), QStringLiteral("110000000048"),
                     QStringLiteral("99999999999999999999"), QStringLiteral("--report"), report});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains(QStringLiteral("已检查 3 条记录")));

        run = check({});
        QCOMPARE(run.code, 0);
        QCOMPARE(count(QStringLiteral("RecordState=2")), 10);
        QCOMPARE(count(QStringLiteral("RecordState=1")), 40);
        QVERIFY(run.out.contains(QStringLiteral("10 个单位的数据存在逻辑错误")));
        const QString temporary = checks::resultFilePath(QStringLiteral("默认数据库"));
        QVERIFY(run.out.contains(temporary));
        QVERIFY(QFile::exists(temporary));
    }

    void badOptionsAreUsageErrors() {
        QCOMPARE(check({QStringLiteral("--all"), QStringLiteral("--codes"), QStringLiteral("1")}).code, 2);
        QCOMPARE(check({QStringLiteral("--codes"), QStringLiteral("1,x")}).code, 2);
        QCOMPARE(check({QStringLiteral("--range"), QStringLiteral("5")}).code, 2);
        QCOMPARE(check({QStringLiteral("--range"), QStringLiteral("-5"), QStringLiteral("7")}).code, 2);
        QCOMPARE(check({QStringLiteral("stray")}).code, 2);
        const CliRun range = check({QStringLiteral("--range"), QStringLiteral("0"), QStringLiteral("7")});
        QCOMPARE(range.code, 2);
        QVERIFY(range.err.contains(checks::IncompleteRangeMessage));
        // A report that cannot be written fails the command.
        const CliRun unwritable =
            check({QStringLiteral("--report"), m_folder.file(QStringLiteral("no/such/folder/r.txt"))});
        QCOMPARE(unwritable.code, 1);
        QVERIFY(!unwritable.err.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CheckCliTest)
#include "tst_checkcli.moc"
