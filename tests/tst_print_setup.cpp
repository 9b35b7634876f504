// test-kind: core
#include "app/Clock.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/workbook/CellAddress.h"
#include "app/workbook/PageSetup.h"
#include "records/RecordGenerator.h"
#include "search/ListExport.h"
#include "search/QueryExport.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryQueries.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

// The attributes of the first element of that name in an XML part ("" when absent).
QString elementOf(const QByteArray& xml, const char* name) {
    const QRegularExpression pattern(QStringLiteral("<%1( [^>]*)?/?>").arg(QLatin1String(name)));
    const auto match = pattern.match(QString::fromUtf8(xml));
    return match.hasMatch() ? match.captured(0) : QString();
}

// The print titles of a sheet (position from 0) as the workbook names them.
QString printTitles(const XlsxReader& book, int sheetIndex) {
    const QRegularExpression pattern(
        QStringLiteral("<definedName name=\"_xlnm.Print_Titles\" localSheetId=\"%1\">([^<]*)</definedName>")
            .arg(sheetIndex));
    return pattern.match(QString::fromUtf8(book.part(QStringLiteral("xl/workbook.xml")))).captured(1);
}

QByteArray sheetXml(const XlsxReader& book, int sheet) {
    return book.part(QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheet));
}

void copyProgramFiles(const TestFolder& folder) {
    const QString sources = QStringLiteral(CORVALIS_SOURCE_DIR "/data/program");
    for (const QString& name : QDir(sources).entryList(QDir::Files))
        QFile::copy(sources + QLatin1Char('/') + name, folder.file(name));
}

void generate(const TestFolder& folder, int count) {
    engine::Connection connection(folder.defaultDatabase());
    records::GeneratorOptions options;
    options.count = count;
    options.seed = 5;
    records::generateRecords(connection, options);
}

// Exports the rows of a query as the list and query exports do, every column shown.
QString exportQuery(engine::Connection& connection, const search::QuerySource& query, const QString& path) {
    TFieldDataArray columns;
    engine::Statement probe(connection, query.sql);
    for (int i = 0; i < probe.columnCount(); ++i) {
        TFieldData field;
        field.showName = field.hint = probe.columnName(i);
        field.queryShow = true;
        columns.push_back(field);
    }
    ScriptedUiServices ui;
    ui.answerFile(path);
    FixedClock clock(QDateTime(QDate(2021, 3, 5), QTime(9, 0)));
    return search::saveQueryAsExcel(connection, query, QStringLiteral("列表"), columns, ui, clock);
}
} // namespace

class PrintSetupTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tablesPrintOnePageWideUnlessTooSmallToRead() {
        // Five columns fit a portrait page; twenty need landscape and scaling; sixty would be scaled
        // below half size, so they run across pages with the first column repeated.
        const workbook::PageSetup narrow = workbook::tablePageSetup(std::vector<double>(5, 12), 4, 1);
        QVERIFY(!narrow.landscape);
        QCOMPARE(narrow.fitWide, 1);
        QCOMPARE(narrow.fitTall, 0);
        QCOMPARE(narrow.titleColumns, 0);
        QCOMPARE(narrow.titleLastRow, 4);
        const workbook::PageSetup wide = workbook::tablePageSetup(std::vector<double>(20, 8.43), 4, 1);
        QVERIFY(wide.landscape);
        QCOMPARE(wide.fitWide, 1);
        const workbook::PageSetup huge = workbook::tablePageSetup(std::vector<double>(60, 8.43), 4, 1);
        QVERIFY(huge.landscape);
        QVERIFY(!huge.scaled());
        QCOMPARE(huge.titleColumns, 1);

        // A sheet name with an apostrophe stays one quoted name in the reference.
        QCOMPARE(QString::fromUtf8(workbook::printTitlesXml({{QStringLiteral("工会's"), huge}})),
                 QStringLiteral("<definedNames><definedName name=\"_xlnm.Print_Titles\" localSheetId=\"0\">"
                                "'工会''s'!$A:$A,'工会''s'!$1:$4</definedName></definedNames>"));
        QVERIFY(workbook::printTitlesXml({{QStringLiteral("a"), workbook::PageSetup()}}).isEmpty());
    }

    void summarySheetsRepeatTheirHeadingsAndFitOnePageWide() {
        TestFolder folder;
        copyProgramFiles(folder);
        generate(folder, 40);
        engine::Connection connection(folder.defaultDatabase());
        ScriptedUiServices ui;
        const QString output = folder.file(QStringLiteral("sum.xlsx"));
        QVERIFY(summary::SummaryBuilder(connection, folder.folder(), ui)
                    .build({summary::ByIndustry, 0, {1, 2, 9, 15}}, output));
        XlsxReader book(output);
        QCOMPARE(book.sheetNames().size(), 4);

        // The cover on one page.
        QVERIFY(elementOf(sheetXml(book, 1), "pageSetUpPr").contains(QLatin1String("fitToPage=\"1\"")));
        const QString cover = elementOf(sheetXml(book, 1), "pageSetup");
        QVERIFY2(cover.contains(QLatin1String("fitToWidth=\"1\"")) ||
                     !cover.contains(QLatin1String("fitToWidth")),
                 qPrintable(cover));
        QVERIFY2(!cover.contains(QLatin1String("fitToHeight=\"0\"")), qPrintable(cover));
        QVERIFY(printTitles(book, 0).isEmpty());

        // Each table one page wide, as many down as it takes, headed by rows 1 to 8 on every page.
        for (int sheet = 2; sheet <= 4; ++sheet) {
            const QByteArray xml = sheetXml(book, sheet);
            QVERIFY(elementOf(xml, "pageSetUpPr").contains(QLatin1String("fitToPage=\"1\"")));
            const QString setup = elementOf(xml, "pageSetup");
            QVERIFY2(setup.contains(QLatin1String("fitToHeight=\"0\"")), qPrintable(setup));
            QVERIFY2(!setup.contains(QLatin1String("fitToWidth")) ||
                         setup.contains(QLatin1String("fitToWidth=\"1\"")),
                     qPrintable(setup));
            QVERIFY2(setup.contains(QLatin1String("orientation=\"landscape\"")), qPrintable(setup));
            QCOMPARE(printTitles(book, sheet - 1),
                     QStringLiteral("'%1'!$1:$8").arg(book.sheetNames().at(sheet - 1)));
        }
    }

    void listExportRepeatsItsTitles() {
        TestFolder folder;
        generate(folder, 5);
        engine::Connection connection(folder.defaultDatabase());
        QTemporaryDir dir;
        ScriptedUiServices ui;

        // The cover columns only: one page wide, in landscape, titles and headings on every page.
        search::ListChoice all;
        const auto cover = search::listQuery(connection, QString(), all, ui);
        QVERIFY(cover);
        XlsxReader narrow(exportQuery(connection, *cover, dir.filePath(QStringLiteral("cover.xlsx"))));
        QVERIFY(narrow.isValid());
        const QString setup = elementOf(sheetXml(narrow, 1), "pageSetup");
        QVERIFY2(setup.contains(QLatin1String("fitToWidth=\"1\" fitToHeight=\"0\"")), qPrintable(setup));
        QVERIFY(setup.contains(QLatin1String("orientation=\"landscape\"")));
        QVERIFY(sheetXml(narrow, 1).contains("<sheetPr><pageSetUpPr fitToPage=\"1\"/></sheetPr><dimension"));
        QCOMPARE(printTitles(narrow, 0), QStringLiteral("'列表'!$1:$4"));

        // With two tables' columns the list is too wide to scale: it runs across pages, each
        // beginning with the record's code.
        const auto wide = search::listQuery(connection, QStringLiteral("zb"), all, ui);
        QVERIFY(wide);
        XlsxReader book(exportQuery(connection, *wide, dir.filePath(QStringLiteral("wide.xlsx"))));
        QVERIFY(book.isValid());
        QVERIFY(!elementOf(sheetXml(book, 1), "pageSetup").contains(QLatin1String("fitTo")));
        QCOMPARE(printTitles(book, 0), QStringLiteral("'列表'!$A:$A,'列表'!$1:$4"));
    }

    void listExportShowsCodesWithoutSeparators() {
        TestFolder folder;
        generate(folder, 3);
        engine::Connection connection(folder.defaultDatabase());
        connection.execute(QStringLiteral("update dt_data set c903=520111, c905=6511, z001=12345"));
        QTemporaryDir dir;
        ScriptedUiServices ui;
        search::ListChoice all;
        const auto query = search::listQuery(connection, QStringLiteral("z"), all, ui);
        QVERIFY(query);
        XlsxReader book(exportQuery(connection, *query, dir.filePath(QStringLiteral("list.xlsx"))));
        QVERIFY(book.isValid());

        // Codes, states and answers as written; counts keep their separators.
        const QStringList codes = {QStringLiteral("c901"), QStringLiteral("c903"),
                                   QStringLiteral("c904"), QStringLiteral("c905"),
                                   QStringLiteral("c906"), QStringLiteral("c909"),
                                   QStringLiteral("c912"), QStringLiteral("RecordState")};
        QStringList seen;
        for (const auto& [address, name] : book.cells(1).asKeyValueRange()) {
            if (!address.endsWith(QLatin1String("3")) || address.size() > 3 || !codes.contains(name))
                continue;
            const QString column = address.chopped(1);
            QCOMPARE(book.numberFormat(1, column + QStringLiteral("5")), QStringLiteral("0"));
            seen << name;
        }
        QCOMPARE(seen.size(), codes.size());
        QCOMPARE(book.cell(1, QStringLiteral("C5")), QStringLiteral("520111"));
        QCOMPARE(book.cell(1, QStringLiteral("M3")), QStringLiteral("z001"));
        QCOMPARE(book.numberFormat(1, QStringLiteral("M5")), QStringLiteral("#,##0_ "));
    }
};

QTEST_MAIN(PrintSetupTest)
#include "tst_print_setup.moc"
