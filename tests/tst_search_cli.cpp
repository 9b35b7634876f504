// test-kind: cli
#include "app/engine/Connection.h"
#include "cli/CliApplication.h"
#include "records/RecordGenerator.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

class SearchCliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exportListWritesTheChosenRecordsAndColumns() {
        TestFolder folder;
        {
            engine::Connection connection(folder.defaultDatabase());
            records::GeneratorOptions options;
            options.count = 10;
            options.firstCode = 100000000001;
            records::generateRecords(connection, options);
            connection.execute(
                QStringLiteral("insert into DT_GroupItem (id, GroupID, Title, LowBoundary, HighBoundary, "
                               "LowSymbol, HighSymbol) values (7, 1, 'g', 100000000002, 100000000004, "
                               "'>=', '<=')"));
        }
        QTemporaryDir dir;
        const QStringList base = {QStringLiteral("--home"), folder.path(), QStringLiteral("export-list")};
        const QString all = dir.filePath(QStringLiteral("all.xlsx"));
        CliRun run = runCli(base + QStringList{QStringLiteral("--tables"), QStringLiteral("zw"),
                                               QStringLiteral("--output"), all});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains(all));
        XlsxReader book(all);
        QCOMPARE(book.cell(1, QStringLiteral("M3")), QStringLiteral("z001"));
        QCOMPARE(book.cell(1, QStringLiteral("AC3")), QStringLiteral("w001"));
        QCOMPARE(book.cell(1, QStringLiteral("A14")), QStringLiteral("100000000010"));

        const QString range = dir.filePath(QStringLiteral("range.xlsx"));
        run = runCli(base + QStringList{QStringLiteral("--range"), QStringLiteral("100000000009"),
                                        QStringLiteral("100000000003"), QStringLiteral("--output"), range});
        QCOMPARE(run.code, 0);
        QCOMPARE(XlsxReader(range).cell(1, QStringLiteral("A5")), QStringLiteral("100000000009"));
        QCOMPARE(XlsxReader(range).cell(1, QStringLiteral("A6")), QString());

        const QString group = dir.filePath(QStringLiteral("group.xlsx"));
        run = runCli(base + QStringList{QStringLiteral("--group-item"), QStringLiteral("7"),
                                        QStringLiteral("--output"), group});
        QCOMPARE(run.code, 0);
        QCOMPARE(XlsxReader(group).cell(1, QStringLiteral("A7")), QStringLiteral("100000000004"));
        QCOMPARE(XlsxReader(group).cell(1, QStringLiteral("A8")), QString());

        // Refusals and usage errors.
        run = runCli(base + QStringList{QStringLiteral("--range"), QStringLiteral("0"), QStringLiteral("5"),
                                        QStringLiteral("--output"), range});
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.contains(QStringLiteral("请输入单位编号的范围")));
        run = runCli(base + QStringList{QStringLiteral("--range"), QStringLiteral("999999999990"),
                                        QStringLiteral("999999999999"), QStringLiteral("--output"), range});
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.contains(QStringLiteral("数据表为空")));
        QCOMPARE(runCli(base + QStringList{QStringLiteral("--group-item"), QStringLiteral("8"),
                                           QStringLiteral("--output"), group})
                     .code,
                 1);
        QCOMPARE(runCli(base).code, 2);
        QCOMPARE(runCli(base + QStringList{QStringLiteral("--tables"), QStringLiteral("zq"),
                                           QStringLiteral("--output"), all})
                     .code,
                 2);
        QCOMPARE(runCli(base + QStringList{QStringLiteral("--range"), QStringLiteral("1"),
                                           QStringLiteral("--output"), all})
                     .code,
                 2);
    }
};

QTEST_GUILESS_MAIN(SearchCliTest)
#include "tst_search_cli.moc"
