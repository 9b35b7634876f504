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
#include <QRegularExpression>
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

// The words of a PDF's first page with their right edges, in points.
QList<QPair<QString, double>> firstPageWords(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                   QStringLiteral("1"), path, QStringLiteral("-")});
    if (!process.waitForFinished(120000))
        return {};
    static const QRegularExpression word(QStringLiteral("<word [^>]*xMax=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
    QList<QPair<QString, double>> words;
    for (auto it = word.globalMatch(QString::fromUtf8(process.readAllStandardOutput())); it.hasNext();) {
        const auto match = it.next();
        words.append({match.captured(2), match.captured(1).toDouble()});
    }
    return words;
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

    // The longest name a record holds is set smaller rather than run off the page.
    void longNameStaysOnThePage() {
        TestFolder folder;
        QVERIFY(QFile::copy(QStringLiteral(CORVALIS_SOURCE_DIR "/data/program/") + records::PrintLayoutStem +
                                QStringLiteral(".json"),
                            records::printLayoutPath(folder.folder())));
        const QString name = QStringLiteral("内蒙古自治区鄂尔多斯市康巴什区恒泰能源化工有限公司工会委员会");
        QCOMPARE(gbkLength(name), 60);
        {
            engine::Connection connection(folder.defaultDatabase());
            records::GeneratorOptions options;
            options.count = 1;
            options.firstCode = 150603000001;
            records::generateRecords(connection, options);
            connection.execute(QStringLiteral("update dt_data set c902=?"), {name});
        }
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("record.pdf"));
        QCOMPARE(runCli({QStringLiteral("--home"), folder.path(), QStringLiteral("print"),
                         QStringLiteral("150603000001"), QStringLiteral("--output"), path})
                     .code,
                 0);
        const auto words = firstPageWords(path);
        QVERIFY(!words.isEmpty());
        // A4 is 595 points wide; the right margin is 12 mm.
        const double rightEdge = 595 - 12 / 25.4 * 72;
        bool nameSeen = false;
        for (const auto& [word, right] : words) {
            nameSeen = nameSeen || name.contains(word);
            QVERIFY2(right <= rightEdge + 0.5,
                     qPrintable(QStringLiteral("%1 ends at %2").arg(word).arg(right)));
        }
        QVERIFY(nameSeen);
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
