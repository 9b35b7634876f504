// test-kind: cli
#include "app/engine/Connection.h"
#include "cli/CliApplication.h"
#include "cli/CliProgress.h"
#include "records/RecordGenerator.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

void copyProgramFiles(const TestFolder& folder) {
    const QString sources = QStringLiteral(CORVALIS_SOURCE_DIR "/data/program");
    for (const QString& name : QDir(sources).entryList(QDir::Files))
        QFile::copy(sources + QLatin1Char('/') + name, folder.file(name));
}

// The run's standard output as the one JSON object it must be.
QJsonObject jsonOf(const CliRun& run) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qWarning().noquote() << "not one JSON object:" << run.out << run.err;
        return QJsonObject();
    }
    return document.object();
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString Tool = QStringLiteral(CORVALIS_PROGRAM_DIR "/corvalis-survey-cli");

} // namespace

class CliResultsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void jsonResultsOfCheckSummaryExportsAndImports() {
        TestFolder sender(true, true);
        copyProgramFiles(sender);
        const QStringList home{QStringLiteral("--home"), sender.path()};
        addRecords(sender.defaultDatabase(), 6, 320100000001, 0);

        CliRun run = runCli(home + QStringList{QStringLiteral("check"), QStringLiteral("--json")});
        QCOMPARE(run.code, 0);
        QJsonObject result = jsonOf(run);
        QCOMPARE(result.value(QStringLiteral("examined")).toInt(), 6);
        QVERIFY(result.contains(QStringLiteral("errorUnits")));
        QVERIFY(result.contains(QStringLiteral("errorItems")));
        engine::Connection(sender.defaultDatabase())
            .execute(QStringLiteral("update dt_data set RecordState=1"));

        const QString workbook = sender.file(QStringLiteral("by-state.xlsx"));
        run = runCli(home + QStringList{QStringLiteral("summary"), QStringLiteral("--by"),
                                        QStringLiteral("state"), QStringLiteral("--sheets"),
                                        QStringLiteral("1,2,3"), QStringLiteral("--output"), workbook,
                                        QStringLiteral("--json")});
        QCOMPARE(run.code, 0);
        result = jsonOf(run);
        QCOMPARE(result.value(QStringLiteral("file")).toString(), workbook);
        QCOMPARE(result.value(QStringLiteral("bytes")).toInteger(), QFileInfo(workbook).size());
        const QJsonArray sheets = result.value(QStringLiteral("sheets")).toArray();
        QCOMPARE(sheets.size(), 3);
        QCOMPARE(sheets.at(0).toObject().value(QStringLiteral("rows")).toInt(), 0); // the cover
        QVERIFY(sheets.at(1).toObject().value(QStringLiteral("rows")).toInt() > 0);
        QVERIFY(!sheets.at(1).toObject().value(QStringLiteral("name")).toString().isEmpty());

        const QString report = sender.file(QStringLiteral("up"));
        run = runCli(home + QStringList{QStringLiteral("export-report"), QStringLiteral("--label"),
                                        QStringLiteral("某工会"), QStringLiteral("--output"), report,
                                        QStringLiteral("--json")});
        QCOMPARE(run.code, 0);
        result = jsonOf(run);
        QCOMPARE(result.value(QStringLiteral("file")).toString(), report + QStringLiteral(".dat"));
        QCOMPARE(result.value(QStringLiteral("records")).toInt(), 6);
        QCOMPARE(result.value(QStringLiteral("bytes")).toInteger(),
                 QFileInfo(report + QStringLiteral(".dat")).size());
        // The export's own message stays off standard output.
        QVERIFY(run.err.contains(QStringLiteral("数据已经被正确导出到")));

        const QString network = sender.file(QStringLiteral("net.dat"));
        run = runCli(home + QStringList{QStringLiteral("export-network"), QStringLiteral("--output"), network,
                                        QStringLiteral("--json")});
        QCOMPARE(run.code, 0);
        QCOMPARE(jsonOf(run).value(QStringLiteral("records")).toInt(), 6);
        QCOMPARE(jsonOf(run).value(QStringLiteral("file")).toString(), network);

        const QString list = sender.file(QStringLiteral("list.xlsx"));
        run = runCli(home + QStringList{QStringLiteral("export-list"), QStringLiteral("--range"),
                                        QStringLiteral("320100000002"), QStringLiteral("320100000004"),
                                        QStringLiteral("--output"), list, QStringLiteral("--json")});
        QCOMPARE(run.code, 0);
        result = jsonOf(run);
        QCOMPARE(result.value(QStringLiteral("records")).toInt(), 3);
        QCOMPARE(result.value(QStringLiteral("bytes")).toInteger(), QFileInfo(list).size());

        TestFolder receiver(true, true);
        run = runCli({QStringLiteral("--home"), receiver.path(), QStringLiteral("import"),
                      report + QStringLiteral(".dat"), QStringLiteral("--json")});
        QCOMPARE(run.code, 0);
        result = jsonOf(run);
        QCOMPARE(result.value(QStringLiteral("imported")).toBool(), true);
        QCOMPARE(result.value(QStringLiteral("records")).toInt(), 6);
        QCOMPARE(result.value(QStringLiteral("total")).toInt(), 6);
        QCOMPARE(result.value(QStringLiteral("files")).toArray().size(), 1);
    }

    void standardOutputStreamsAndAnyCsvName() {
        TestFolder sender(true, true);
        addRecords(sender.defaultDatabase(), 4, 320100000001, 1);
        const QString network = sender.file(QStringLiteral("net.dat"));
        QCOMPARE(runCli({QStringLiteral("--home"), sender.path(), QStringLiteral("export-network"),
                         QStringLiteral("--output"), network})
                     .code,
                 0);
        const QString text = sender.file(QStringLiteral("net.txt"));
        QCOMPARE(runCli({QStringLiteral("decrypt-network"), network, QStringLiteral("--output"), text}).code,
                 0);

        // "-" is standard output, byte for byte the text the file would hold; no file named "-" appears.
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(sender.path());
        const CliRun streamed = runCli(
            {QStringLiteral("decrypt-network"), network, QStringLiteral("--output"), QStringLiteral("-")});
        QDir::setCurrent(cwd);
        QCOMPARE(streamed.code, 0);
        QVERIFY(!QFile::exists(sender.file(QStringLiteral("-"))));
        QVERIFY(!streamed.bytes.isEmpty());
        QCOMPARE(streamed.bytes, fileBytes(text));
        QCOMPARE(streamed.out, QString());

        // The text of decrypt-network imports under whatever name it was given.
        TestFolder receiver(true, true);
        CliRun run = runCli({QStringLiteral("--home"), receiver.path(), QStringLiteral("import-csv"), text,
                             QStringLiteral("--json")});
        QCOMPARE(run.code, 0);
        QCOMPARE(recordCount(receiver.defaultDatabase()), qint64(4));
        QCOMPARE(jsonOf(run).value(QStringLiteral("records")).toInt(), 4);
        QVERIFY(!QFile::exists(text + QStringLiteral(".csv")));
        run = runCli({QStringLiteral("--home"), receiver.path(), QStringLiteral("import-csv"),
                      receiver.file(QStringLiteral("none.txt"))});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(receiver.file(QStringLiteral("none.txt"))));

        // The check report on standard output, the counts beside it on standard error.
        {
            engine::Connection db(receiver.defaultDatabase());
            records::GeneratorOptions options;
            options.count = 2;
            options.firstCode = 330100000001;
            options.faultyShare = 1;
            records::generateRecords(db, options);
        }
        run = runCli({QStringLiteral("--home"), receiver.path(), QStringLiteral("check"),
                      QStringLiteral("--report"), QStringLiteral("-")});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString());
        QVERIFY(run.err.contains(QStringLiteral("已检查")));
        QVERIFY2(run.bytes.contains("330100000002"), run.bytes.constData());
        QVERIFY(run.err.contains(QStringLiteral("2 个单位的数据存在逻辑错误")));
    }

    void printingACodeWithoutARecordFails() {
        TestFolder folder;
        copyProgramFiles(folder);
        addRecords(folder.defaultDatabase(), 1, 110101000123, 0);
        const QString output = folder.file(QStringLiteral("none.xlsx"));
        CliRun run = runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("print"),
                             QStringLiteral("110101000999"), QStringLiteral("--output"), output});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QStringLiteral("110101000999")), qPrintable(run.err));
        QVERIFY(!QFile::exists(output));
        run = runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("print"), QStringLiteral("abc"),
                      QStringLiteral("--output"), output});
        QCOMPARE(run.code, 1);
        QVERIFY(!QFile::exists(output));
        QCOMPARE(runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("print"),
                         QStringLiteral("110101000123"), QStringLiteral("--output"), output})
                     .code,
                 0);
        QVERIFY(QFile::exists(output));
    }

    void progressLineShowsCountShareRateAndTimeLeft() {
        QCOMPARE(cli::progressLine(QStringLiteral("正在检查记录..."), 250, 1000, 50),
                 QStringLiteral("正在检查记录... 250/1000 25% 50/秒 剩余 0:15"));
        QCOMPARE(cli::progressLine(QString(), 0, 1000, 0), QStringLiteral("0/1000 0%"));
        QCOMPARE(cli::progressLine(QString(), 3, 0, 1.5), QStringLiteral("3 1.5/秒"));
        QCOMPARE(cli::progressLine(QString(), 1, 7201, 1), QStringLiteral("1/7201 0% 1.0/秒 剩余 2:00:00"));
        QCOMPARE(cli::progressLine(QString(), 1000, 1000, 1000), QStringLiteral("1000/1000 100% 1000/秒"));
        QCOMPARE(cli::progressLine(QString(), 2000, 1000, 10), QStringLiteral("2000/1000 100% 10/秒"));

        // Off, nothing reaches standard error.
        QString text;
        QTextStream err(&text);
        cli::CliProgress off(err);
        off.start(QStringLiteral("x"), 10);
        off.step(5);
        off.finish();
        QCOMPARE(text, QString());
        // On, the line is drawn in place and erased at the end.
        cli::CliProgress on(err);
        on.setEnabled(true);
        on.start(QStringLiteral("x"), 10);
        on.step(5);
        on.finish();
        err.flush();
        QVERIFY2(text.startsWith(QStringLiteral("\rx 0/10 0%\x1b[K")), qPrintable(text));
        QVERIFY(text.endsWith(QStringLiteral("\r\x1b[K")));
        QVERIFY(!text.contains(QLatin1Char('\n')));

        // A caption that carries its own percentage shows the line's one only.
        text.clear();
        on.start(QStringLiteral("数据导出..."), 10);
        QTest::qSleep(250); // past the redraw interval, so the new caption is drawn
        on.setCaption(QStringLiteral("数据导出...45%"));
        on.finish();
        err.flush();
        QVERIFY2(text.count(QStringLiteral("数据导出... 0/10 0%")) == 2 &&
                     !text.contains(QStringLiteral("45%")),
                 qPrintable(text));
    }

    void progressAppearsOnlyOnATerminal() {
        if (!QFileInfo::exists(Tool))
            QFAIL("the command-line tool is not built");
        TestFolder folder;
        const QStringList arguments{QStringLiteral("--home"), folder.path(), QStringLiteral("generate"),
                                    QStringLiteral("--count"), QStringLiteral("30000")};
        // A pipe: no progress, no control characters.
        QProcess piped;
        piped.start(Tool, arguments);
        QVERIFY(piped.waitForFinished(120000));
        QCOMPARE(piped.exitCode(), 0);
        const QByteArray pipedErr = piped.readAllStandardError();
        QVERIFY2(!pipedErr.contains("正在生成记录") && !pipedErr.contains('\r'), pipedErr.constData());

        // A terminal (the pseudo-terminal `script` gives the tool): the progress line.
        QString command = Tool;
        for (const QString& argument : arguments)
            command += QStringLiteral(" '") + argument + QLatin1Char('\'');
        QProcess terminal;
        terminal.start(QStringLiteral("script"),
                       {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
        QVERIFY(terminal.waitForFinished(120000));
        QCOMPARE(terminal.exitCode(), 0);
        const QString shown = QString::fromUtf8(terminal.readAllStandardOutput());
        QVERIFY2(shown.contains(QStringLiteral("正在生成记录... 0/30000 0%")), qPrintable(shown));
        QVERIFY(shown.contains(QStringLiteral("/30000")));
        QVERIFY(shown.contains(QStringLiteral("已生成 30000 条记录")));

        // -q silences the progress line too.
        QProcess quiet;
        quiet.start(QStringLiteral("script"),
                    {QStringLiteral("-qec"), command + QStringLiteral(" -q"), QStringLiteral("/dev/null")});
        QVERIFY(quiet.waitForFinished(120000));
        QCOMPARE(quiet.exitCode(), 0);
        QVERIFY(!quiet.readAllStandardOutput().contains("正在生成记录"));
    }
};

QTEST_GUILESS_MAIN(CliResultsTest)
#include "tst_cli_results.moc"
