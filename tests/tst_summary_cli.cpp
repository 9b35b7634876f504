// test-kind: cli
#include "app/engine/Connection.h"
#include "cli/CliApplication.h"
#include "cli/SummaryCommand.h"
#include "summary/CustomGroups.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

namespace {

void copyProgramFiles(const TestFolder& folder) {
    const QString sources = QStringLiteral(CORVALIS_SOURCE_DIR "/data/program");
    for (const QString& name : QDir(sources).entryList(QDir::Files))
        QFile::copy(sources + QLatin1Char('/') + name, folder.file(name));
}

} // namespace

class SummaryCliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void optionsAreReadStrictly() {
        QCOMPARE(cli::parseSummaryBy(QStringLiteral("domain"))->classification, 3);
        QCOMPARE(cli::parseSummaryBy(QStringLiteral("group:12"))->groupId, 12);
        QVERIFY(!cli::parseSummaryBy(QStringLiteral("group:x")));
        QVERIFY(!cli::parseSummaryBy(QStringLiteral("Industry")));
        QCOMPARE(*cli::parseSheetList(QStringLiteral("5,2,5")), (std::vector<int>{2, 5}));
        QVERIFY(!cli::parseSheetList(QStringLiteral("0,2")));
        QVERIFY(!cli::parseSheetList(QStringLiteral("17")));
        QVERIFY(!cli::parseSheetList(QStringLiteral(",")));
    }

    void summaryWritesTheWorkbookOfTheWindow() {
        TestFolder folder;
        copyProgramFiles(folder);
        qint64 group = 0;
        {
            engine::Connection connection(folder.defaultDatabase());
            connection.execute(
                QStringLiteral("insert into dt_data (c901, c912, z001) values (1, 1, 2), (2, 2, 3)"));
            group = summary::addGroup(connection, QStringLiteral("g"));
        }
        const QString output = folder.file(QStringLiteral("state.xlsx"));
        const QString home = folder.path();
        CliRun run = runCli({QStringLiteral("--home"), home, QStringLiteral("summary"),
                             QStringLiteral("--by"), QStringLiteral("state"), QStringLiteral("--sheets"),
                             QStringLiteral("2"), QStringLiteral("--output"), output});
        QCOMPARE(run.code, 0);
        XlsxReader book(output);
        QCOMPARE(book.sheetNames(), QStringList{QStringLiteral("表一(1)")});
        QCOMPARE(book.cell(1, QStringLiteral("A3")), QStringLiteral("填报状态"));
        QCOMPARE(book.cell(1, QStringLiteral("A9")), QStringLiteral("正常填报"));
        QCOMPARE(book.cell(1, QStringLiteral("E9")), QStringLiteral("2")); // sum_z001
        QCOMPARE(book.cell(1, QStringLiteral("E10")), QStringLiteral("3"));

        run = runCli({QStringLiteral("--home"), home, QStringLiteral("summary"), QStringLiteral("--by"),
                      QStringLiteral("group:%1").arg(group), QStringLiteral("--output"), output});
        QCOMPARE(run.code, 0);
        QCOMPARE(XlsxReader(output).sheetNames().size(), 16);

        run = runCli({QStringLiteral("--home"), home, QStringLiteral("summary"), QStringLiteral("--by"),
                      QStringLiteral("group:999"), QStringLiteral("--output"), output});
        QCOMPARE(run.code, 1);
        run = runCli({QStringLiteral("--home"), home, QStringLiteral("summary"), QStringLiteral("--by"),
                      QStringLiteral("unit"), QStringLiteral("--sheets"), QStringLiteral("1"),
                      QStringLiteral("--output"), output});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("除去封面")) || run.out.contains(QStringLiteral("除去封面")));
        QCOMPARE(runCli({QStringLiteral("--home"), home, QStringLiteral("summary"), QStringLiteral("--by"),
                         QStringLiteral("weather"), QStringLiteral("--output"), output})
                     .code,
                 2);
        QCOMPARE(runCli({QStringLiteral("--home"), home, QStringLiteral("summary"), QStringLiteral("--by"),
                         QStringLiteral("unit")})
                     .code,
                 2);
    }
};

QTEST_GUILESS_MAIN(SummaryCliTest)
#include "tst_summary_cli.moc"
