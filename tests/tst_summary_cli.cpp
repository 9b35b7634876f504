// test-kind: cli
#include "app/engine/Connection.h"
#include "cli/CliApplication.h"
#include "cli/SummaryCommand.h"
#include "summary/CustomGroups.h"
#include "summary/SummaryQueries.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
        QCOMPARE(cli::parseSummaryBy(QStringLiteral("division"))->classification, int(summary::ByDivision));
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

    void summaryByDivisionSubtotalsUpTheHierarchy() {
        TestFolder folder;
        copyProgramFiles(folder);
        {
            engine::Connection connection(folder.defaultDatabase());
            connection.execute(QStringLiteral("insert into dt_data (c901, c903, z001) values (1, 130102, 2), "
                                              "(2, 130202, 3), (3, 110101, 4)"));
        }
        const QString output = folder.file(QStringLiteral("division.xlsx"));
        const QString home = folder.path();
        CliRun run =
            runCli({QStringLiteral("--home"), home, QStringLiteral("summary"), QStringLiteral("--by"),
                    QStringLiteral("division"), QStringLiteral("--sheets"), QStringLiteral("2,16"),
                    QStringLiteral("--output"), output, QStringLiteral("--json")});
        QCOMPARE(run.code, 0);
        // 合计, 北京市, 市辖区, 东城区, 河北省, 石家庄市, 长安区, 唐山市, 路南区
        const QJsonArray sheets =
            QJsonDocument::fromJson(run.out.toUtf8()).object().value(QLatin1String("sheets")).toArray();
        QCOMPARE(sheets.size(), 2);
        QCOMPARE(sheets[0].toObject().value(QLatin1String("rows")).toInt(), 9);
        QCOMPARE(sheets[1].toObject().value(QLatin1String("rows")).toInt(), 9);
        XlsxReader book(output);
        QCOMPARE(book.sheetNames().size(), 2);
        QCOMPARE(book.cell(1, QStringLiteral("A3")), QStringLiteral("行政区划"));
        QCOMPARE(book.cell(1, QStringLiteral("A9")), QStringLiteral("合计"));
        QCOMPARE(book.cell(1, QStringLiteral("E9")), QStringLiteral("9")); // sum_z001 of every record
        QCOMPARE(book.cell(2, QStringLiteral("A15")), QStringLiteral("长安区"));

        run = runCli({QStringLiteral("help"), QStringLiteral("summary")});
        QVERIFY(run.out.contains(QStringLiteral("division")));
        QFile completion(QStringLiteral(CORVALIS_SOURCE_DIR "/packaging/corvalis-survey-cli.bash"));
        QVERIFY(completion.open(QIODevice::ReadOnly));
        QVERIFY(completion.readAll().contains("state division group:"));
    }
};

QTEST_GUILESS_MAIN(SummaryCliTest)
#include "tst_summary_cli.moc"
