// test-kind: core
#include "app/Errors.h"
#include "app/workbook/CellAddress.h"
#include "app/workbook/SheetRows.h"
#include "app/workbook/StreamedWorkbook.h"
#include "support/XlsxReader.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <limits>
#include <variant>

using namespace corvalis;
using namespace corvalis::workbook;

namespace {

QByteArray unzipped(const QString& path, const QString& member) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, member});
    unzip.waitForFinished(120000);
    return unzip.readAllStandardOutput();
}

// The archive tool's own test of every member's data and check sum.
bool archiveIsSound(const QString& path) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-tq"), path});
    unzip.waitForFinished(120000);
    return unzip.exitStatus() == QProcess::NormalExit && unzip.exitCode() == 0;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// One cell of the comparison below: a whole number, a number, a text, or a text's UTF-8 bytes as the
// engine hands them over.
using CellValue = std::variant<qint64, double, QString, QByteArray>;

QList<CellValue> awkwardValues() {
    return {qint64(0), qint64(-7), qint64(999999999999999), qint64(1000000000000000),
            std::numeric_limits<qint64>::min(), 0.1, 1.5e20, std::nan(""),
            -std::numeric_limits<double>::infinity(), QStringLiteral(" a&b<c>d "),
            QStringLiteral("_x0041_ 与\u0001控制"), QStringLiteral("a\r\nb\rc"),
            QString(QChar(0xD800)) + QStringLiteral("半"), QString(QChar(0xFFFE)),
            QString::fromUtf8("\xF0\x9F\x98\x80工会"), QByteArray("安溪县裕泰印刷有限公司工会委员会"),
            QByteArray("甲\n乙乙乙丙"), QByteArray("_x00e9_ & <b>"), QByteArray("\tx "), QByteArray(),
            QByteArray("a\0b\rc", 5), QByteArray("工会工会\xF0\x9F\x98\x80\xEF\xBF\xBE\xEF\xBF\xBF"),
            // No UTF-8: cut short, overlong, a half character, a byte that never starts one.
            QByteArray("\xE5\xB7"), QByteArray("\xC0\x80x"), QByteArray("\xED\xA0\x80"),
            QByteArray(" ab\xFF"),
            // A byte order mark is dropped at the start of a text only.
            QByteArray("\xEF\xBB\xBF ABC"), QByteArray("\xEF\xBB\xBF"),
            QByteArray("a\xEF\xBB\xBF"
                       "b")};
}

} // namespace

class StreamedWorkbookTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cellsReadBackAsWritten() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cells.xlsx"));
        StreamedWorkbook book(path, QStringLiteral("名单 & <列表>"));
        CellStyle heading;
        heading.bold = true;
        heading.fontSize = 12;
        CellStyle code;
        code.numberFormat = QStringLiteral("0");
        CellStyle money;
        money.numberFormat = QStringLiteral("#,##0_ ");
        book.setColumnFormat(1, code);
        book.setColumnFormat(3, money);
        book.writeText(2, 1, QStringLiteral("导出日期:"), heading);
        book.writeText(3, 1, QStringLiteral("代码"));
        book.writeText(3, 2, QStringLiteral("名称"));
        book.writeNumber(5, 1, 100000000001.0);
        book.writeText(5, 2, QStringLiteral(" a&b<c>d "));
        book.writeNumber(5, 3, -1234567);
        book.writeNumber(6, 1, 0.1);
        book.writeText(6, 2, QStringLiteral("_x0041_ 与\u0001控制"));
        book.writeNumber(6, 3, 1.5e20);
        book.writeText(7, 2, QString::fromUtf8("\xF0\x9F\x98\x80工会"));
        book.writeNumber(7, 3, std::numeric_limits<double>::quiet_NaN());
        book.writeNumber(8, 1, 0.1 + 0.2);
        book.writeText(8, 2, QStringLiteral("a\r\nb\rc"));
        book.fitColumns();
        book.save();

        QVERIFY(archiveIsSound(path));
        XlsxReader reader(path);
        QCOMPARE(reader.sheetNames(), QStringList{QStringLiteral("名单 & <列表>")});
        QCOMPARE(reader.cell(1, QStringLiteral("A2")), QStringLiteral("导出日期:"));
        QCOMPARE(reader.cell(1, QStringLiteral("A5")), QStringLiteral("100000000001"));
        QCOMPARE(reader.cell(1, QStringLiteral("B5")), QStringLiteral(" a&b<c>d "));
        QCOMPARE(reader.cell(1, QStringLiteral("C5")), QStringLiteral("-1234567"));
        QCOMPARE(reader.cell(1, QStringLiteral("A6")), QStringLiteral("0.1"));
        QCOMPARE(reader.cell(1, QStringLiteral("C6")), QStringLiteral("1.5E+20"));
        QCOMPARE(reader.cell(1, QStringLiteral("B7")), QString::fromUtf8("\xF0\x9F\x98\x80工会"));
        QCOMPARE(reader.cell(1, QStringLiteral("C7")), QStringLiteral("nan"));
        // Numbers keep every digit that tells them apart.
        QCOMPARE(reader.cell(1, QStringLiteral("A8")), QStringLiteral("0.30000000000000004"));
        QCOMPARE(reader.cells(1).size(), 13);

        const QString sheet = QString::fromUtf8(unzipped(path, QStringLiteral("xl/worksheets/sheet1.xml")));
        // A literal escape-like text keeps its underscore; a control character is named, never raw.
        QVERIFY(sheet.contains(QStringLiteral("_x005F_x0041_ 与_x0001_控制")));
        // Carriage returns are named too: a reader would turn a raw one into a line feed.
        QVERIFY(sheet.contains(QStringLiteral("<t>a_x000D_\nb_x000D_c</t>")));
        QVERIFY(sheet.contains(QStringLiteral("<dimension ref=\"A2:C8\"/>")));
        // Cells without a style of their own take their column's; the heading keeps its own. Rows
        // and cells that follow the one before go without their reference, the others keep it.
        QVERIFY(sheet.contains(QStringLiteral("<row r=\"5\"><c s=\"1\"><v>")));
        QVERIFY(sheet.contains(QStringLiteral("<c s=\"2\"><v>-1234567</v>")));
        QVERIFY(sheet.contains(QStringLiteral("<c t=\"inlineStr\"><is><t xml:space=\"preserve\"> a&amp;b")));
        QVERIFY(sheet.contains(QStringLiteral("<row r=\"2\"><c s=\"3\" t=\"inlineStr\">")));
        QVERIFY(sheet.contains(QStringLiteral("</row><row><c s=\"1\" t=\"inlineStr\"><is><t>代码")));
        QVERIFY(sheet.contains(QStringLiteral("<row><c r=\"B7\" t=\"inlineStr\">")));
        // Fitted widths: the widest of "100000000001" and the heading, in stored units.
        QVERIFY(sheet.contains(QStringLiteral("<col min=\"1\" max=\"1\" width=\"19.28515625\" style=\"1\" "
                                              "customWidth=\"1\"/>")));

        const QString styles = QString::fromUtf8(unzipped(path, QStringLiteral("xl/styles.xml")));
        QVERIFY(styles.contains(QStringLiteral("<numFmt numFmtId=\"164\" formatCode=\"#,##0_ \"/>")));
        QVERIFY(styles.contains(QStringLiteral("<cellXfs count=\"4\">")));
        QVERIFY(styles.contains(QStringLiteral("<font><b/><sz val=\"12\"/>")));
    }

    // Whole numbers take a path of their own; the file must not tell which path wrote a cell, up to
    // and past the point (10^15) where numbers are written in their floating-point form.
    void wholeNumbersAreWrittenAsByWriteNumber() {
        const qint64 values[] = {0,
                                 7,
                                 -7,
                                 110101000001,
                                 999999999999999,
                                 -999999999999999,
                                 1000000000000000,
                                 -1000000000000000,
                                 std::numeric_limits<qint64>::max(),
                                 std::numeric_limits<qint64>::min()};
        QTemporaryDir dir;
        auto write = [&](const QString& name, bool asInteger) {
            const QString path = dir.filePath(name);
            StreamedWorkbook book(path, QStringLiteral("数"));
            CellStyle code;
            code.numberFormat = QStringLiteral("0");
            book.setColumnFormat(2, code);
            int row = 1;
            for (const qint64 value : values) {
                for (int column = 1; column <= 3; column += 2 - (row % 2)) {
                    if (asInteger)
                        book.writeInteger(row, column, value);
                    else
                        book.writeNumber(row, column, double(value));
                }
                row += 1 + row % 3; // rows that follow and rows that skip
            }
            book.fitColumns();
            book.save();
            return path;
        };
        const QString byNumber = write(QStringLiteral("number.xlsx"), false);
        const QString byInteger = write(QStringLiteral("integer.xlsx"), true);
        const QByteArray sheet = unzipped(byInteger, QStringLiteral("xl/worksheets/sheet1.xml"));
        QVERIFY(sheet.contains("<v>999999999999999</v>") && sheet.contains("<v>-7</v>"));
        QCOMPARE(sheet, unzipped(byNumber, QStringLiteral("xl/worksheets/sheet1.xml")));
    }

    // Rows gathered apart and made on the compressing threads come out exactly as written cell by
    // cell: the same sheet byte for byte, with its dimension and fitted widths, whatever the values,
    // the gaps between rows and columns, and the cells written directly before and after.
    void gatheredRowsComeOutAsWrittenCellByCell() {
        const QList<CellValue> values = awkwardValues();
        QTemporaryDir dir;
        auto write = [&](const QString& name, bool gathered) {
            const QString path = dir.filePath(name);
            StreamedWorkbook book(path, QStringLiteral("表"));
            CellStyle code;
            code.numberFormat = QStringLiteral("0");
            CellStyle textFormat;
            textFormat.numberFormat = QStringLiteral("@");
            book.setColumnFormat(2, code);
            book.setColumnFormat(5, textFormat);
            CellStyle heading;
            heading.bold = true;
            book.writeText(2, 1, QStringLiteral("导出日期:"), heading);
            book.writeText(3, 3, QStringLiteral("标题"));
            SheetRows rows;
            int row = 5;
            int next = 0;
            auto put = [&](int column, const CellValue& value) {
                if (const auto* whole = std::get_if<qint64>(&value))
                    gathered ? rows.addInteger(column, *whole) : book.writeInteger(row, column, *whole);
                else if (const auto* number = std::get_if<double>(&value))
                    gathered ? rows.addNumber(column, *number) : book.writeNumber(row, column, *number);
                else if (const auto* text = std::get_if<QString>(&value))
                    gathered ? rows.addText(column, *text) : book.writeText(row, column, *text);
                else if (const auto* bytes = std::get_if<QByteArray>(&value))
                    gathered ? rows.addText(column, bytes->constData(), bytes->size())
                             : book.writeText(row, column, QString::fromUtf8(*bytes));
            };
            // Each value alone in a column of its own first, so that its width decides the column's.
            if (gathered)
                rows.beginRow(row);
            for (int i = 0; i < values.size(); ++i)
                put(20 + i, values[i]);
            ++row;
            for (int record = 0; record < 3000; ++record, row += 1 + (record % 97 == 0 ? 2 : 0)) {
                if (gathered)
                    rows.beginRow(row);
                // Some rows stay empty; some columns are skipped.
                for (int column = 1; column <= 9 && record % 31 != 7;
                     column += 1 + (record + column) % 4 / 3) {
                    put(column, values[next++ % values.size()]);
                }
                // Handed over in blocks of every size, many more than are compressed at a time.
                if (gathered && (rows.isFull() || record % 53 == 52)) {
                    book.writeRows(rows);
                }
                if (record == 1500) { // a row written directly between the blocks
                    if (gathered) {
                        book.writeRows(rows);
                    }
                    row += 1;
                    book.writeText(row, 12, QStringLiteral("直接写入的单元格"));
                    book.writeInteger(row, 13, 42);
                }
            }
            if (gathered)
                book.writeRows(rows);
            book.writeNumber(row + 1, 1, 1.25);
            book.fitColumns();
            book.save();
            return path;
        };
        const QString byCell = write(QStringLiteral("cells.xlsx"), false);
        const QString byRows = write(QStringLiteral("rows.xlsx"), true);
        QVERIFY(archiveIsSound(byRows));
        const QByteArray sheet = unzipped(byRows, QStringLiteral("xl/worksheets/sheet1.xml"));
        QVERIFY(sheet.contains("<cols>") && sheet.contains("_x000D_") && sheet.contains("<row r="));
        QCOMPARE(sheet, unzipped(byCell, QStringLiteral("xl/worksheets/sheet1.xml")));
        QCOMPARE(unzipped(byRows, QStringLiteral("xl/styles.xml")),
                 unzipped(byCell, QStringLiteral("xl/styles.xml")));
        XlsxReader reader(byRows);
        QCOMPARE(reader.cell(1, QStringLiteral("T5")), QStringLiteral("0"));
        QCOMPARE(reader.cell(1, QStringLiteral("A6")), QStringLiteral("0"));
        QCOMPARE(reader.cells(1), XlsxReader(byCell).cells(1));
    }

    // Gathered rows take their place in the sheet's order like single cells, and are checked as they
    // are gathered.
    void gatheredRowsKeepTheSheetsOrder() {
        QTemporaryDir dir;
        StreamedWorkbook book(dir.filePath(QStringLiteral("order.xlsx")), QStringLiteral("s"));
        SheetRows early;
        QVERIFY_THROWS_EXCEPTION(Error, early.addInteger(1, 1)); // no row begun
        QVERIFY_THROWS_EXCEPTION(Error, early.beginRow(0));
        QVERIFY_THROWS_EXCEPTION(Error, early.beginRow(MaxRows + 1));
        early.beginRow(5);
        early.addInteger(2, 1);
        QVERIFY_THROWS_EXCEPTION(Error, early.addInteger(2, 2));
        QVERIFY_THROWS_EXCEPTION(Error, early.addText(1, "x", 1));
        QVERIFY_THROWS_EXCEPTION(Error, early.addNumber(MaxColumns + 1, 1));
        QVERIFY_THROWS_EXCEPTION(Error, early.beginRow(5));
        early.beginRow(6);
        // A cell holds 32767 UTF-16 units, however many bytes their UTF-8 takes.
        const QByteArray wide = QString(20000, QChar(0x5DE5)).toUtf8();
        early.addText(1, wide.constData(), wide.size());
        const QByteArray tooLong(32768, 'x');
        QVERIFY_THROWS_EXCEPTION(Error, early.addText(2, tooLong.constData(), tooLong.size()));

        book.writeNumber(7, 1, 7);
        QVERIFY_THROWS_EXCEPTION(Error, book.writeRows(early));
        SheetRows later;
        later.beginRow(8);
        later.addInteger(1, 8);
        later.beginRow(9); // no cells: left out
        book.writeRows(later);
        // The gathered rows are closed: nothing more goes into them.
        QVERIFY_THROWS_EXCEPTION(Error, book.writeNumber(8, 2, 1));
        book.writeNumber(9, 2, 9);
        SheetRows empty;
        book.writeRows(empty);
        book.save();
        SheetRows afterSave;
        afterSave.beginRow(10);
        afterSave.addInteger(1, 10);
        QVERIFY_THROWS_EXCEPTION(Error, book.writeRows(afterSave));

        QVERIFY(archiveIsSound(book.path()));
        XlsxReader reader(book.path());
        QCOMPARE(reader.cells(1).size(), 3);
        QCOMPARE(reader.cell(1, QStringLiteral("A8")), QStringLiteral("8"));
        QCOMPARE(reader.cell(1, QStringLiteral("B9")), QStringLiteral("9"));
        const QByteArray sheet = unzipped(book.path(), QStringLiteral("xl/worksheets/sheet1.xml"));
        QVERIFY(sheet.contains("<dimension ref=\"A7:B9\"/>"));
        QVERIFY(sheet.contains("</row><row><c><v>8</v></c></row><row><c r=\"B9\"><v>9</v></c></row>"));
    }

    void cellsOutsideTheSheetOrOutOfOrderAreRefused() {
        QTemporaryDir dir;
        StreamedWorkbook book(dir.filePath(QStringLiteral("order.xlsx")), QStringLiteral("s"));
        QVERIFY_THROWS_EXCEPTION(Error, book.writeText(0, 1, QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(Error, book.writeNumber(MaxRows + 1, 1, 1));
        QVERIFY_THROWS_EXCEPTION(Error, book.writeNumber(1, MaxColumns + 1, 1));
        book.writeNumber(4, 2, 1);
        QVERIFY_THROWS_EXCEPTION(Error, book.writeNumber(4, 2, 2));
        QVERIFY_THROWS_EXCEPTION(Error, book.writeNumber(4, 1, 2));
        QVERIFY_THROWS_EXCEPTION(Error, book.writeNumber(3, 5, 2));
        QVERIFY_THROWS_EXCEPTION(Error, book.writeText(5, 1, QString(32768, QLatin1Char('x'))));
        for (const QString& name :
             {QString(), QStringLiteral("a:b"), QStringLiteral("'a"), QString(32, QLatin1Char('a')),
              QStringLiteral("a\u0001b"), QString(QChar(0xD83D))})
            QVERIFY_THROWS_EXCEPTION(Error, StreamedWorkbook(dir.filePath(QStringLiteral("n.xlsx")), name));
        book.writeNumber(MaxRows, MaxColumns, 7);
        book.save();
        QVERIFY_THROWS_EXCEPTION(Error, book.writeNumber(MaxRows, MaxColumns, 8));
        XlsxReader reader(book.path());
        QCOMPARE(reader.cells(1).size(), 2);
        QCOMPARE(reader.cell(1, cellAddress(MaxRows, MaxColumns)), QStringLiteral("7"));
    }

    // Many compressed pieces joined into one member, in both the plain and the 64-bit zip fields.
    void longSheetsSurviveTheirPieces_data() {
        QTest::addColumn<bool>("large64");
        QTest::newRow("plain") << false;
        QTest::newRow("64-bit fields") << true;
    }
    void longSheetsSurviveTheirPieces() {
        QFETCH(bool, large64);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.xlsx"));
        const int rows = large64 ? 2000 : 60000;
        {
            StreamedWorkbook book(path, QStringLiteral("long"));
            if (large64)
                book.setLarge64ForTesting(0);
            for (int row = 1; row <= rows; ++row) {
                book.writeNumber(row, 1, row);
                book.writeText(row, 2, QStringLiteral("第%1行").arg(row));
                book.writeNumber(row, 3, row * 0.5);
            }
            book.save();
        }
        QVERIFY(archiveIsSound(path));
        QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("long.xlsx")});
        const QByteArray sheet = unzipped(path, QStringLiteral("xl/worksheets/sheet1.xml"));
        QVERIFY(!large64 || sheet.size() > 0);
        QCOMPARE(sheet.count("<row>"), rows);
        QVERIFY(sheet.endsWith("</worksheet>"));
        XlsxReader reader(path);
        QCOMPARE(reader.cell(1, QStringLiteral("B%1").arg(rows)), QStringLiteral("第%1行").arg(rows));
        QCOMPARE(reader.cell(1, QStringLiteral("C%1").arg(rows - 1)), QString::number((rows - 1) * 0.5));
        QCOMPARE(reader.cells(1).size(), rows * 3);
    }

    void failuresLeaveNoFileBehind() {
        QTemporaryDir dir;
        {
            StreamedWorkbook book(dir.filePath(QStringLiteral("dropped.xlsx")), QStringLiteral("s"));
            for (int row = 1; row <= 30000; ++row)
                book.writeText(row, 1, QStringLiteral("未保存的内容%1").arg(row));
            // destroyed without save
        }
        QVERIFY(filesIn(dir.path()).isEmpty());

        // The final name is taken by a folder: the save fails and says so, and leaves nothing.
        const QString blocked = dir.filePath(QStringLiteral("blocked.xlsx"));
        QVERIFY(QDir().mkpath(blocked + QStringLiteral("/inside")));
        {
            StreamedWorkbook book(blocked, QStringLiteral("s"));
            book.writeNumber(1, 1, 1);
            QVERIFY_THROWS_EXCEPTION(FileError, book.save());
            // Asked again, it says so again rather than report a file it never wrote.
            QVERIFY_THROWS_EXCEPTION(FileError, book.save());
        }
        QVERIFY(filesIn(dir.path()).isEmpty());

        // An older workbook under the name is replaced whole.
        const QString replaced = dir.filePath(QStringLiteral("replaced.xlsx"));
        QFile old(replaced);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        {
            StreamedWorkbook book(replaced, QStringLiteral("s"));
            book.writeText(1, 1, QStringLiteral("新"));
            book.save();
        }
        QCOMPARE(XlsxReader(replaced).cell(1, QStringLiteral("A1")), QStringLiteral("新"));
        QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("replaced.xlsx")});

        QVERIFY_THROWS_EXCEPTION(
            FileError, StreamedWorkbook(dir.filePath(QStringLiteral("missing/x.xlsx")), QStringLiteral("s")));
    }
};

QTEST_GUILESS_MAIN(StreamedWorkbookTest)
#include "tst_streamed_workbook.moc"
