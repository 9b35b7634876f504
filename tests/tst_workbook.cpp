// test-kind: core
#include "app/Errors.h"
#include "app/workbook/ColumnWidths.h"
#include "app/workbook/Workbook.h"
#include "support/XlsxReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>

using namespace corvalis;
using namespace corvalis::workbook;

class WorkbookTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void addressesRoundTripPastOneLetter() {
        QCOMPARE(columnLetters(1), QStringLiteral("A"));
        QCOMPARE(columnLetters(26), QStringLiteral("Z"));
        QCOMPARE(columnLetters(27), QStringLiteral("AA"));
        QCOMPARE(columnLetters(16384), QStringLiteral("XFD"));
        for (int column : {1, 26, 27, 52, 53, 702, 703, 16384}) {
            const auto parsed = parseCellAddress(cellAddress(9, column));
            QVERIFY(parsed);
            QCOMPARE(parsed->column, column);
            QCOMPARE(parsed->row, 9);
        }
        QCOMPARE(parseCellAddress(QStringLiteral("$ab$12"))->column, 28);
        for (const char* bad : {"", "12", "A", "A0", "XFE1", "A1B", "1A"})
            QVERIFY2(!parseCellAddress(QString::fromLatin1(bad)), bad);
        QVERIFY(!parseCellRange(QStringLiteral("C3:A1")));
        QCOMPARE(parseCellRange(QStringLiteral("B2"))->last.column, 2);
    }

    void wideCharactersCountTwice() {
        QCOMPARE(displayWidth(QStringLiteral("abc")), 3.0);
        QCOMPARE(displayWidth(QStringLiteral("工会abc")), 7.0);
        QCOMPARE(displayWidth(QStringLiteral("（１）")), 6.0);
        QCOMPARE(displayWidth(QStringLiteral("ab\n工会工会")), 8.0);
    }

    // Number widths count the digits as written: whole numbers without decimals, however large,
    // and values no whole number can hold in their plain text.
    void numberWidthsCountTheWrittenDigits() {
        QCOMPARE(ContentWidths::numberTextLength(0), 1);
        QCOMPARE(ContentWidths::numberTextLength(-1234567), 8);
        QCOMPARE(ContentWidths::numberTextLength(0.1), 4);
        QCOMPARE(ContentWidths::numberTextLength(1.5e20), 21);
        QCOMPARE(ContentWidths::numberTextLength(-1e19), 21);
        QCOMPARE(ContentWidths::numberTextLength(std::numeric_limits<double>::quiet_NaN()), 3);
        QCOMPARE(ContentWidths::numberTextLength(-std::numeric_limits<double>::infinity()), 4);
    }

    void writtenCellsAndLayoutReadBack() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("book.xlsx"));
        const WorkbookLayout layout = WorkbookLayout::parse(R"({"sheets": [
            {"name": "封面", "columnWidths": {"A": 12, "AB": 30}, "rowHeights": {"1": 28},
             "cells": [{"cell": "A1:D1", "text": "基层工会统计", "bold": true, "size": 16, "align": "center"},
                       {"cell": "B3", "text": "单位", "border": true}]},
            {"name": "表1", "cells": []}]})",
                                                            QStringLiteral("test"));
        {
            Workbook book(path);
            Sheet& cover = book.addSheet(layout.sheets[0]);
            cover.writeText(QStringLiteral("AB40"), QStringLiteral("远端"));
            Sheet& table = book.addSheet(layout.sheets[1]);
            table.writeNumber(9, 2, 1234567);
            table.writeText(9, 1, QStringLiteral("'0012"));
            table.fitColumns();
            QVERIFY(!QFile::exists(path)); // nothing on disk before save
            book.save();
        }
        XlsxReader reader(path);
        QVERIFY(reader.isValid());
        QCOMPARE(reader.sheetNames(), (QStringList{QStringLiteral("封面"), QStringLiteral("表1")}));
        QCOMPARE(reader.cell(1, QStringLiteral("A1")), QStringLiteral("基层工会统计"));
        QCOMPARE(reader.cell(1, QStringLiteral("B3")), QStringLiteral("单位"));
        QCOMPARE(reader.cell(1, QStringLiteral("AB40")), QStringLiteral("远端"));
        QVERIFY(reader.merges(1).contains(QStringLiteral("A1:D1")));
        QCOMPARE(reader.cell(2, QStringLiteral("B9")).toDouble(), 1234567.0);
        QCOMPARE(reader.cell(2, QStringLiteral("A9")), QStringLiteral("'0012"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("book.xlsx")});
    }

    void faultsLeaveNoFileBehind() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.xlsx"));
        {
            Workbook book(path);
            QVERIFY_THROWS_EXCEPTION(Error, book.addSheet(QStringLiteral("a/b")));
            Sheet& sheet = book.addSheet(QStringLiteral("ok"));
            QVERIFY_THROWS_EXCEPTION(Error, sheet.writeText(QStringLiteral("1A"), QStringLiteral("x")));
            QVERIFY_THROWS_EXCEPTION(Error, sheet.writeText(0, 1, QStringLiteral("x")));
            // destroyed without save
        }
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());

        Workbook unwritable(dir.filePath(QStringLiteral("missing/folder/x.xlsx")));
        unwritable.addSheet(QStringLiteral("s"));
        QVERIFY_THROWS_EXCEPTION(FileError, unwritable.save());

        for (const char* json : {"", "{}", R"({"sheets": [{"cells": []}]})",
                                 R"({"sheets": [{"name": "x", "cells": [{"cell": "ZZ"}]}]})"})
            QVERIFY_THROWS_EXCEPTION(FileError, WorkbookLayout::parse(QByteArray(json), QStringLiteral("t")));
    }
};

QTEST_GUILESS_MAIN(WorkbookTest)
#include "tst_workbook.moc"
