// test-kind: cli
#include "app/engine/Connection.h"
#include "cli/CliApplication.h"
#include "records/RecordGenerator.h"
#include "records/RecordPrint.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

namespace {

QString pdfText(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    if (!process.waitForFinished(60000))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A program folder with the shipped print layout and one generated record.
struct PrintFolder {
    TestFolder folder;
    QString code;
    QString name;

    PrintFolder() {
        QFile::copy(QStringLiteral(CORVALIS_SOURCE_DIR "/data/program/") + records::PrintLayoutStem +
                        QStringLiteral(".json"),
                    records::printLayoutPath(folder.folder()));
        engine::Connection connection(folder.defaultDatabase());
        records::GeneratorOptions options;
        options.count = 1;
        options.firstCode = 110101000123;
        records::generateRecords(connection, options);
        code = QStringLiteral("110101000123");
        name = connection.scalar(QStringLiteral("select c902 from dt_data")).toString();
    }
    CliRun print(const QString& output) const {
        return runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("print"), code,
                       QStringLiteral("--output"), output});
    }
};
} // namespace

class PrintCliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void printWritesTheWorkbook() {
        PrintFolder folder;
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("record.xlsx"));
        const CliRun run = folder.print(path);
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains(path));
        XlsxReader book(path);
        QVERIFY(book.isValid());
        QCOMPARE(book.cell(1, QStringLiteral("B7")), folder.code);
        QCOMPARE(book.cell(1, QStringLiteral("B8")), folder.name);
    }

    void printWritesAnA4PdfWithTheValues() {
        PrintFolder folder;
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("record.pdf"));
        const CliRun run = folder.print(path);
        QCOMPARE(run.code, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(5) == "%PDF-");
        QVERIFY(!QFile::exists(path + QStringLiteral(".partial")));

        // One page per sheet: the cover and seven table pages, the cover showing the record.
        const QString text = pdfText(path);
        QCOMPARE(text.count(QLatin1Char('\f')), 8);
        const QString cover = text.section(QLatin1Char('\f'), 0, 0);
        QVERIFY2(cover.contains(folder.code), qPrintable(cover));
        QVERIFY2(cover.contains(folder.name), qPrintable(cover));
        QVERIFY(cover.contains(QStringLiteral("基层工会统计编码")));
        const QString firstTable = text.section(QLatin1Char('\f'), 1, 1);
        QVERIFY2(firstTable.contains(QStringLiteral("工会基层组织建设状况")), qPrintable(firstTable));
        QVERIFY(firstTable.contains(QStringLiteral("z001")));
        QVERIFY(firstTable.contains(folder.code));

        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {path});
        QVERIFY(info.waitForFinished(60000));
        const QString details = QString::fromUtf8(info.readAllStandardOutput());
        QVERIFY2(details.contains(QLatin1String("(A4)")), qPrintable(details));
    }

    void printRefusesBadRequests() {
        PrintFolder folder;
        QTemporaryDir out;
        QCOMPARE(
            runCli({QStringLiteral("--home"), folder.folder.path(), QStringLiteral("print"), folder.code})
                .code,
            2);
        QCOMPARE(folder.print(out.filePath(QStringLiteral("record.doc"))).code, 2);
        QCOMPARE(runCli({QStringLiteral("--home"), folder.folder.path(), QStringLiteral("print"),
                         QStringLiteral("--output"), out.filePath(QStringLiteral("a.pdf"))})
                     .code,
                 2);

        QVERIFY(QFile::remove(records::printLayoutPath(folder.folder.folder())));
        const CliRun missing = folder.print(out.filePath(QStringLiteral("record.pdf")));
        QCOMPARE(missing.code, 1);
        QVERIFY(missing.err.contains(records::PrintLayoutOpenFailed));
        QVERIFY(!QFile::exists(out.filePath(QStringLiteral("record.pdf"))));

        // An output that cannot be written fails and says so.
        PrintFolder again;
        const CliRun unwritable = again.print(out.filePath(QStringLiteral("no/such/dir/record.pdf")));
        QCOMPARE(unwritable.code, 1);
        QVERIFY(!unwritable.err.isEmpty());
    }
};

QTEST_MAIN(PrintCliTest)
#include "tst_print_cli.moc"
