// test-kind: cli
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/paint/LayoutPainter.h"
#include "records/RecordGenerator.h"
#include "records/RecordPrint.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

namespace {

// The text layer of a PDF as a reader copies or searches it, exactly as written: no folding of
// compatibility forms, which is what a person's search does not do either.
QString pdfText(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Characters of the radical blocks: a correct text layer never holds them for ordinary Chinese text.
QString radicalsIn(const QString& text) {
    QString found;
    for (const QChar c : text)
        if (c.unicode() >= 0x2E80 && c.unicode() <= 0x2FDF && !found.contains(c))
            found += c;
    return found;
}

// Every Chinese character of GB 2312, the characters of names, places and forms.
QString gb2312Hanzi() {
    QByteArray bytes;
    for (int lead = 0xB0; lead <= 0xF7; ++lead)
        for (int trail = 0xA1; trail <= 0xFE; ++trail)
            if (!(lead == 0xD7 && trail >= 0xFA)) // the last row of level one is short
                bytes += char(lead), bytes += char(trail);
    return fromGbk(bytes);
}

QString missingFrom(const QString& wanted, const QString& found) {
    QString missing;
    for (const QChar c : wanted)
        if (!found.contains(c) && !missing.contains(c))
            missing += c;
    return missing;
}
} // namespace

class PdfTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void printedRecordIsFoundByItsText() {
        TestFolder folder;
        QVERIFY(QFile::copy(QStringLiteral(CORVALIS_SOURCE_DIR "/data/program/") + records::PrintLayoutStem +
                                QStringLiteral(".json"),
                            records::printLayoutPath(folder.folder())));
        QString name;
        {
            engine::Connection connection(folder.defaultDatabase());
            records::GeneratorOptions options;
            options.count = 1;
            options.seed = 11;
            options.firstCode = 520111000042;
            records::generateRecords(connection, options);
            name = connection.scalar(QStringLiteral("select c902 from dt_data")).toString();
        }
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("record.pdf"));
        const CliRun run = runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("print"),
                                   QStringLiteral("520111000042"), QStringLiteral("--output"), path});
        QCOMPARE(run.code, 0);

        const QString text = pdfText(path);
        QVERIFY2(text.contains(name), qPrintable(name + QLatin1Char('\n') + text.left(600)));
        QVERIFY(text.count(QStringLiteral("工会")) > 10);
        QVERIFY(text.contains(QStringLiteral("有效期至：2021年12月")));
        QVERIFY2(radicalsIn(text).isEmpty(), qPrintable(radicalsIn(text)));
    }

    // One page per level of GB 2312, each character once: the text layer must give every one back.
    void everyCommonCharacterKeepsItsText() {
        const QString hanzi = gb2312Hanzi();
        QCOMPARE(hanzi.size(), 6763);
        workbook::WorkbookLayout layout;
        layout.name = QStringLiteral("字表");
        constexpr int PerCell = 40;
        constexpr int RowsPerSheet = 90;
        for (qsizetype start = 0; start < hanzi.size(); start += PerCell) {
            const int index = int(start / PerCell);
            if (index % RowsPerSheet == 0) {
                layout.sheets.emplace_back();
                layout.sheets.back().name = QString::number(layout.sheets.size());
                layout.sheets.back().columnWidths[1] = PerCell * 2 + 2;
            }
            const int row = index % RowsPerSheet + 1;
            workbook::LayoutCell cell;
            cell.range = {{row, 1}, {row, 1}};
            cell.text = hanzi.mid(start, PerCell);
            cell.style.bold = index % 2 == 1; // the bold face has a map of its own
            layout.sheets.back().cells.push_back(cell);
        }
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("hanzi.pdf"));
        workbook::writePdf(layout, path);

        const QString text = pdfText(path);
        QVERIFY(!text.isEmpty());
        const QString missing = missingFrom(hanzi, text);
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("%1 missing: %2 (radicals in the text: %3)")
                                                   .arg(missing.size())
                                                   .arg(missing.left(80), radicalsIn(text).left(80))));
    }
};

QTEST_MAIN(PdfTextTest)
#include "tst_pdf_text.moc"
