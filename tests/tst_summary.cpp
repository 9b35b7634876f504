// test-kind: core
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/workbook/WorkbookLayout.h"
#include "records/RecordGenerator.h"
#include "summary/CustomGroups.h"
#include "summary/GroupTransfer.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryQueries.h"
#include "summary/TableListFile.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::summary;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

const QString ProgramSources = QStringLiteral(CORVALIS_SOURCE_DIR "/data/program");

// Adds a record from "column=value ..." (numbers, or texts such as an industry category code).
void insertRecord(engine::Connection& connection, const char* assignments) {
    QStringList columns;
    QStringList marks;
    QVariantList params;
    for (const QString& pair : QString::fromLatin1(assignments).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        columns << pair.section(QLatin1Char('='), 0, 0);
        marks << QStringLiteral("?");
        bool number = false;
        const QString text = pair.section(QLatin1Char('='), 1);
        const qint64 value = text.toLongLong(&number);
        params << (number ? QVariant(value) : QVariant(text));
    }
    connection.execute(QStringLiteral("insert into dt_data (%1) values (%2)")
                           .arg(columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                       params);
}

// Four records of known answers: two in industry 1, one in industry 3, one in industry 4.
void insertKnownRecords(engine::Connection& connection) {
    insertRecord(connection, "c901=1001 c905=1 c904=1 c907=A01 z001=3 z002=10 z003=4 b001=0 b002=7 z014=2");
    insertRecord(connection, "c901=1002 c905=1 c904=2 c907=A01 z001=5 z002=20 z003=0 b001=1 b002=0 z014=1");
    insertRecord(connection, "c901=2001 c905=3 c904=3 z001=2 z003=2 b002=1 z014=0");
    insertRecord(connection, "c901=3001 c905=4 c904=1 z001=1 z003=0");
}

QVariant valueOf(const SummaryRow& row, int list, const char* column) {
    const int index = int(selectListColumns(list).indexOf(QString::fromLatin1(column)));
    return index < 0 ? QVariant(QStringLiteral("no such column")) : row.values[size_t(index)];
}

const SummaryRow* rowLabelled(const std::vector<SummaryRow>& rows, const QString& label) {
    for (const SummaryRow& row : rows)
        if (row.label == label)
            return &row;
    return nullptr;
}

void copyProgramFiles(const TestFolder& folder) {
    for (const QString& name : QDir(ProgramSources).entryList(QDir::Files))
        QFile::copy(ProgramSources + QLatin1Char('/') + name, folder.file(name));
}

qint64 addRange(engine::Connection& connection, qint64 group, const QString& title, qint64 low, qint64 high,
                const QString& lowSymbol = QStringLiteral(">="),
                const QString& highSymbol = QStringLiteral("<")) {
    GroupItem item;
    item.groupId = group;
    item.title = title;
    item.lowBoundary = low;
    item.highBoundary = high;
    item.lowSymbol = lowSymbol;
    item.highSymbol = highSymbol;
    return addItem(connection, item);
}

} // namespace

class SummaryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyStatementRunsAndNamesItsColumns() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        QCOMPARE(selectListColumns(1).size(), 12);
        QCOMPARE(selectListColumns(1).front(), QStringLiteral("cnt"));
        QCOMPARE(selectListColumns(15).back(), QStringLiteral("sum_s004_2"));
        for (int sheet = 2; sheet <= SummarySheetCount; ++sheet)
            for (int classification = 0; classification < ByCustomGroup; ++classification) {
                engine::Statement statement(connection, classificationStatement(sheet, classification));
                QCOMPARE(statement.columnCount(), 2 + selectListColumns(sheet - 1).size());
                QVERIFY(statement.step());
                QVERIFY2(statement.isNull(1), "a class without records has empty values");
            }
        QVERIFY_THROWS_EXCEPTION(Error, classificationStatement(1, ByIndustry));
        QVERIFY_THROWS_EXCEPTION(Error, classificationStatement(17, ByIndustry));
    }

    void formulasCountAnswersAsHandComputed() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        insertKnownRecords(connection);

        const auto table1 = summaryRows(connection, 2, ByIndustry, 0);
        const SummaryRow* farming = rowLabelled(table1, QStringLiteral("农业"));
        QVERIFY(farming);
        QCOMPARE(valueOf(*farming, 1, "cnt").toInt(), 2);
        QCOMPARE(valueOf(*farming, 1, "sum_c904_1").toInt(), 1);
        QCOMPARE(valueOf(*farming, 1, "sum_c904_2").toInt(), 1);
        QCOMPARE(valueOf(*farming, 1, "sum_z002").toInt(), 30);

        // b002 = 7 counts once and brings its z001; b002 = 0 counts in neither; a yes/no column
        // left at 0 counts as "no or not answered".
        const auto table2 = summaryRows(connection, 4, ByIndustry, 0);
        farming = rowLabelled(table2, QStringLiteral("农业"));
        QCOMPARE(valueOf(*farming, 3, "count_b002").toInt(), 1);
        QCOMPARE(valueOf(*farming, 3, "sum_b0020").toInt(), 3);
        QCOMPARE(valueOf(*farming, 3, "sum_b002").toInt(), 7);
        QCOMPARE(valueOf(*farming, 3, "sum_b001_1").toInt(), 1);
        QCOMPARE(valueOf(*farming, 3, "sum_b001_2").toInt(), 1);

        // z014 = 2 counts in sum_z014_2 and in the numerator of percent_z003, a real quotient.
        const auto women = summaryRows(connection, 3, ByIndustry, 0);
        farming = rowLabelled(women, QStringLiteral("农业"));
        QCOMPARE(valueOf(*farming, 2, "count_z003").toInt(), 1);
        QCOMPARE(valueOf(*farming, 2, "sum_z014_1").toInt(), 1);
        QCOMPARE(valueOf(*farming, 2, "sum_z014_2").toInt(), 1);
        QCOMPARE(valueOf(*farming, 2, "percent_z003").toDouble(), 2.0);
        const SummaryRow* livestock = rowLabelled(women, QStringLiteral("畜牧业"));
        QCOMPARE(valueOf(*livestock, 2, "percent_z003").toDouble(), 0.0);
        QCOMPARE(valueOf(*livestock, 2, "sum_z014_3").toInt(), 1);
        const SummaryRow* fishing = rowLabelled(women, QStringLiteral("渔业"));
        QVERIFY2(valueOf(*fishing, 2, "percent_z003").isNull(), "no record with women employees: empty");
    }

    void classesStandInAscendingOrderWithEmptyOnes() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        insertKnownRecords(connection);
        const auto rows = summaryRows(connection, 2, ByIndustry, 0);
        QCOMPARE(qint64(rows.size()),
                 connection.scalar(QStringLiteral("select count(*) from CT_Industry")).toLongLong());
        QCOMPARE(rows[0].label, QStringLiteral("农业"));
        QCOMPARE(rows[1].label, QStringLiteral("林业"));
        QVERIFY(rows[1].values.front().isNull());
        QCOMPARE(rows[2].label, QStringLiteral("畜牧业"));

        const auto domains = summaryRows(connection, 2, ByIndustryCategory, 0);
        QCOMPARE(domains.front().label, QStringLiteral("(A01)农业"));
        QCOMPARE(valueOf(domains.front(), 1, "cnt").toInt(), 2);
        const QRegularExpression subCategory(QStringLiteral("^\\([A-Z]\\d\\d\\)"));
        for (const SummaryRow& row : domains)
            QVERIFY2(subCategory.match(row.label).hasMatch(), qPrintable(row.label));
    }

    void groupItemsCountTheirRangesInTheGroupsOrder() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        insertKnownRecords(connection);
        const qint64 group = addGroup(connection, QStringLiteral("按编码"));
        QCOMPARE(findGroup(connection, group)->orderstr, NewGroupOrder);
        addRange(connection, group, QStringLiteral("乙 O'Neil"), 1001, 2001); // 1001, 1002
        addRange(connection, group, QStringLiteral("甲"), 1000, 3001, QStringLiteral(">"),
                 QStringLiteral("<="));
        addRange(connection, group, QStringLiteral("丙"), 5000, 6000);

        auto rows = summaryRows(connection, 2, ByCustomGroup, group);
        QCOMPARE(int(rows.size()), 3);
        QCOMPARE(rows[0].label, QStringLiteral("乙 O'Neil"));
        QCOMPARE(valueOf(rows[0], 1, "cnt").toInt(), 2);
        QCOMPARE(valueOf(rows[1], 1, "cnt").toInt(), 4); // overlapping ranges both count
        QVERIFY(valueOf(rows[2], 1, "sum_z001").isNull());

        setItemOrder(connection, group, sortText(QStringLiteral("title"), SortState::Descending));
        QCOMPARE(groupItemOrder(connection, group), QStringLiteral("title asc"));
        rows = summaryRows(connection, 2, ByCustomGroup, group);
        QStringList labels;
        for (const SummaryRow& row : rows)
            labels << row.label;
        QStringList expected = labels;
        std::sort(expected.begin(), expected.end(), std::greater<QString>());
        QCOMPARE(labels, expected);
    }

    void onePassGivesTheValuesOfEachSheetsOwnStatement() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        records::GeneratorOptions options;
        options.count = 400;
        options.faultyShare = 0.3;
        const records::GeneratorResult generated = records::generateRecords(connection, options);
        const qint64 group = addGroup(connection, QStringLiteral("g"));
        const qint64 middle = (generated.firstCode + generated.lastCode) / 2;
        addRange(connection, group, QStringLiteral("low"), generated.firstCode, middle);
        addRange(connection, group, QStringLiteral("all"), generated.firstCode, generated.lastCode,
                 QStringLiteral(">="), QStringLiteral("<="));
        std::vector<int> sheets;
        for (int sheet = 2; sheet <= SummarySheetCount; ++sheet)
            sheets.push_back(sheet);
        for (int classification = 0; classification < ClassificationCount; ++classification) {
            const auto bySheet = splitBySheet(summaryRows(connection, sheets, classification, group), sheets);
            for (int sheet : sheets) {
                const auto alone = summaryRows(connection, sheet, classification, group);
                const auto& together = bySheet.at(sheet);
                QCOMPARE(together.size(), alone.size());
                for (size_t row = 0; row < alone.size(); ++row) {
                    QCOMPARE(together[row].label, alone[row].label);
                    QCOMPARE(together[row].values, alone[row].values);
                }
            }
        }
    }

    void itemOrderIsReversedAndNeverCarriesForeignText() {
        QCOMPARE(reversedItemOrder(QString()), QStringLiteral("id desc"));
        QCOMPARE(reversedItemOrder(QStringLiteral("id ASC")), QStringLiteral("id desc"));
        QCOMPARE(reversedItemOrder(QStringLiteral("title DESC")), QStringLiteral("title asc"));
        QCOMPARE(reversedItemOrder(QStringLiteral("LowValue ASC")), QStringLiteral("LowValue desc"));
        QCOMPARE(reversedItemOrder(QStringLiteral("id; drop table dt_data ASC")), QStringLiteral("id desc"));
        QCOMPARE(reversedItemOrder(QStringLiteral("c901 ASC")), QStringLiteral("id desc"));

        QCOMPARE(parseCodeBound(QStringLiteral(">=100"))->value, 100);
        QCOMPARE(parseCodeBound(QStringLiteral("<=100"))->symbol, QStringLiteral("<="));
        QVERIFY(!parseCodeBound(QStringLiteral(">=1 or 1=1")));
        QVERIFY(!parseCodeBound(QStringLiteral("100")));
        QVERIFY_THROWS_EXCEPTION(Error, groupItemStatement(2, QStringLiteral("x"), 1,
                                                           QStringLiteral(">=1 or 1"), QStringLiteral("<5")));
        const BoundStatement statement =
            groupItemStatement(3, QStringLiteral("x"), 4, QStringLiteral(">1"), QStringLiteral("<=5"));
        QVERIFY(statement.sql.contains(QLatin1String("4 as sid")));
        QVERIFY(statement.sql.endsWith(QLatin1String("from dt_data where c901>?2 and c901<=?3")));
    }

    void groupsAndItemsAreStoredAsEdited() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        const qint64 first = addGroup(connection, QStringLiteral("一"));
        const qint64 kept = addGroup(connection, QStringLiteral("留"));
        addRange(connection, first, QStringLiteral("r"), 1, 9);
        addRange(connection, kept, QStringLiteral("k"), 1, 9);
        removeGroup(connection, first);
        QCOMPARE(itemCount(connection, first), 0); // the ranges go with their group
        QCOMPARE(itemCount(connection, kept), 1);
        const qint64 second = addGroup(connection, QStringLiteral("二"));
        QVERIFY(second > first);
        renameGroup(connection, second, QStringLiteral("二'号"));
        QCOMPARE(loadGroups(connection).back().name, QStringLiteral("二'号"));

        GroupItem item;
        item.groupId = second;
        QCOMPARE(itemProblem(item), MissingItemNameMessage);
        item.title = QStringLiteral("t");
        item.lowBoundary = item.highBoundary = 5;
        QCOMPARE(itemProblem(item), BoundsOrderMessage);
        item.highBoundary = 6;
        QVERIFY(itemProblem(item).isEmpty());
        item.id = addItem(connection, item);
        item.lowSymbol = QStringLiteral(">");
        item.highBoundary = 600;
        updateItem(connection, item);
        const auto items = loadItems(connection, second);
        QCOMPARE(int(items.size()), 1);
        QCOMPARE(items[0].lowSymbol, QStringLiteral(">"));
        QCOMPARE(items[0].highBoundary, 600);
        removeItem(connection, item.id);
        QVERIFY(loadItems(connection, second).empty());

        QCOMPARE(nextSortState(SortState::None), SortState::Ascending);
        QCOMPARE(nextSortState(SortState::Ascending), SortState::Descending);
        QCOMPARE(nextSortState(SortState::Descending), SortState::Ascending);
    }

    void tableListFileRoundTripsInItsExactFormat() {
        const QString shipped = ProgramSources + QStringLiteral("/sumtable.vq");
        const auto entries = TableListFile::load(shipped);
        QCOMPARE(int(entries.size()), 24);
        QVERIFY(entries == TableListFile::shippedEntries());
        QFile file(shipped);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith(toGbk(QStringLiteral("&1 1 封面\r\n&0 0 //表一 工会基层组织建设状况\r\n"))));

        QTemporaryDir dir;
        const QString path = dir.filePath(TableListFile::fileName());
        TableListFile::save(path, entries);
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), bytes);

        auto changed = entries;
        changed[0].state = CheckState::Unticked;
        changed[3].state = CheckState::Grey;
        TableListFile::save(path, changed);
        QVERIFY(TableListFile::load(path) == changed);
        std::vector<int> expected;
        for (int sheet = 2; sheet <= 16; ++sheet)
            expected.push_back(sheet);
        expected.erase(expected.begin() + 1); // sheet 3 is grey, not ticked
        QCOMPARE(TableListFile::tickedSheets(changed), expected);
    }

    void malformedTableListsFallBackSafely() {
        const auto parsed = TableListFile::parse({QStringLiteral("封面"), QStringLiteral("&1 7 bad flag"),
                                                  QStringLiteral("&1 1 //header"), QString()});
        QCOMPARE(int(parsed.size()), 3);
        QVERIFY(parsed[0].enabled && !parsed[0].isTicked() && parsed[0].text == QStringLiteral("封面"));
        QCOMPARE(parsed[1].text, QStringLiteral("&1 7 bad flag"));
        QVERIFY(!parsed[2].enabled);

        QTemporaryDir dir;
        const QString path = dir.filePath(TableListFile::fileName());
        QVERIFY(TableListFile::load(path) == TableListFile::shippedEntries());            // missing
        writeGbkTextFile(path, {QStringLiteral("&1 1 封面"), QStringLiteral("&1 1 表")}); // two sheets only
        QVERIFY(TableListFile::load(path) == TableListFile::shippedEntries());
        QFile junk(path);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray("\xff\xfe\x00\x01garbage", 11));
        junk.close();
        QVERIFY(TableListFile::load(path) == TableListFile::shippedEntries());
    }

    void layoutsHeadEveryColumnOfTheirSelectLists() {
        for (int classification : {int(ByIndustry), int(ByIndustryCategory)}) {
            const auto layout =
                workbook::WorkbookLayout::load(ProgramSources + QLatin1Char('/') +
                                               summaryTemplateStem(classification) + QStringLiteral(".json"));
            QCOMPARE(int(layout.sheets.size()), SummarySheetCount);
            for (int sheet = 2; sheet <= SummarySheetCount; ++sheet) {
                const auto& sheetLayout = layout.sheets[size_t(sheet - 1)];
                const int columns = int(selectListColumns(sheet - 1).size());
                for (int column = 2; column <= columns + 1; ++column) {
                    const auto* number = sheetLayout.cellAt({8, column});
                    QVERIFY2(number && number->text == QString::number(column - 1),
                             qPrintable(sheetLayout.name));
                    const auto* heading = sheetLayout.cellAt({7, column});
                    QVERIFY2(heading && !heading->text.isEmpty(), qPrintable(sheetLayout.name));
                }
                QVERIFY2(!sheetLayout.cellAt({8, columns + 2}), qPrintable(sheetLayout.name));
            }
        }
    }

    void workbookHoldsTheChosenSheetsFilledFromRowNine() {
        TestFolder folder;
        copyProgramFiles(folder);
        engine::Connection connection(folder.defaultDatabase());
        insertKnownRecords(connection);
        ScriptedUiServices ui;
        SummaryBuilder builder(connection, folder.folder(), ui);
        const QString output = folder.file(QStringLiteral("out.xlsx"));
        QVERIFY(builder.build({ByIndustry, 0, {1, 4}}, output));
        QVERIFY(ui.messages().empty());

        XlsxReader book(output);
        QVERIFY(book.isValid());
        QCOMPARE(book.sheetNames(), QStringList({QStringLiteral("封面"), QStringLiteral("表二(1)")}));
        QCOMPARE(book.cell(2, QStringLiteral("A2")), sheetTitle(3));
        QCOMPARE(book.cell(2, QStringLiteral("A3")), QStringLiteral("所在行业"));
        QCOMPARE(book.cell(2, QStringLiteral("A9")), QStringLiteral("农业"));
        QCOMPARE(book.cell(2, QStringLiteral("C9")), QStringLiteral("1")); // sum_b001_2
        QCOMPARE(book.cell(2, QStringLiteral("D9")), QStringLiteral("1")); // count_b002
        QCOMPARE(book.cell(2, QStringLiteral("E9")), QStringLiteral("3")); // sum_b0020
        QCOMPARE(book.cell(2, QStringLiteral("A10")), QStringLiteral("林业"));
        QVERIFY(book.cell(2, QStringLiteral("B10")).isEmpty());
        QCOMPARE(book.cell(2, QStringLiteral("A11")), QStringLiteral("畜牧业"));
    }

    // A workbook of many sheets is summed on two connections at once: every sheet must hold what it
    // holds when summed alone, also on a protected file and by a custom group. Inside a caller's
    // transaction its uncommitted rows count.
    void sheetsSummedTogetherHoldWhatTheyHoldAlone() {
        TestFolder folder;
        copyProgramFiles(folder);
        engine::Connection connection(folder.defaultDatabase());
        insertKnownRecords(connection);
        connection.setPassword(QStringLiteral("pw"));
        connection.execute(
            QStringLiteral("insert into ct_group (ID, Name, orderstr) values (1, 'g', 'id ASC')"));
        connection.execute(QStringLiteral(
            "insert into DT_GroupItem (GroupID, Title, LowBoundary, HighBoundary, LowSymbol, HighSymbol) "
            "values (1, 'low', 1000, 2000, '>=', '<'), (1, 'high', 2000, 4000, '>=', '<')"));
        ScriptedUiServices ui;
        SummaryBuilder builder(connection, folder.folder(), ui);
        std::vector<int> all;
        for (int sheet = 1; sheet <= SummarySheetCount; ++sheet)
            all.push_back(sheet);
        auto compareWithSingleSheets = [&](int classification, qint64 group) {
            const QString together = folder.file(QStringLiteral("together.xlsx"));
            QFile::remove(together);
            QVERIFY(builder.build({classification, group, all}, together));
            const XlsxReader book(together);
            QVERIFY(book.isValid());
            for (int sheet = 2; sheet <= SummarySheetCount; ++sheet) {
                const QString alone = folder.file(QStringLiteral("alone%1.xlsx").arg(sheet));
                QVERIFY(builder.build({classification, group, {sheet}}, alone));
                QCOMPARE(book.cells(sheet), XlsxReader(alone).cells(1));
            }
        };
        compareWithSingleSheets(ByIndustry, 0);
        compareWithSingleSheets(ByCustomGroup, 1);

        engine::Transaction open(connection);
        insertRecord(connection, "c901=3002 c905=4 c904=1 z001=7 z003=0");
        compareWithSingleSheets(ByIndustry, 0);
        open.rollback();
    }

    void captionGoesToA2WhenTheLayoutLeavesItEmpty() {
        TestFolder folder;
        // A layout of 16 bare sheets: nothing in A2.
        QByteArray json = "{\"sheets\":[";
        for (int sheet = 1; sheet <= SummarySheetCount; ++sheet)
            json += QStringLiteral("%1{\"name\":\"s%2\",\"cells\":[]}")
                        .arg(sheet > 1 ? QStringLiteral(",") : QString())
                        .arg(sheet)
                        .toUtf8();
        json += "]}";
        QFile layout(folder.file(summaryTemplateStem(ByCustomGroup) + QStringLiteral(".json")));
        QVERIFY(layout.open(QIODevice::WriteOnly));
        layout.write(json);
        layout.close();
        engine::Connection connection(folder.defaultDatabase());
        insertKnownRecords(connection);
        const qint64 group = addGroup(connection, QStringLiteral("g"));
        addRange(connection, group, QStringLiteral("空"), 1, 2);
        ScriptedUiServices ui;
        const QString output = folder.file(QStringLiteral("g.xlsx"));
        QVERIFY(SummaryBuilder(connection, folder.folder(), ui).build({ByCustomGroup, group, {16}}, output));
        XlsxReader book(output);
        QCOMPARE(book.sheetNames(), QStringList{QStringLiteral("s16")});
        QCOMPARE(book.cell(1, QStringLiteral("A2")), QStringLiteral("分    组"));
        QCOMPARE(book.cell(1, QStringLiteral("A9")), QStringLiteral("空"));
        QVERIFY(book.cell(1, QStringLiteral("B9")).isEmpty());
    }

    void refusalsLeaveNoWorkbook() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        ScriptedUiServices ui;
        SummaryBuilder builder(connection, folder.folder(), ui);
        const QString output = folder.file(QStringLiteral("none.xlsx"));
        QVERIFY(!builder.build({ByIndustry, 0, {}}, output));
        QVERIFY(ui.messages().empty());
        QVERIFY(!builder.build({ByIndustry, 0, {1}}, output));
        QCOMPARE(ui.lastMessage(), OnlyCoverMessage);
        QVERIFY(!builder.build({ByIndustry, 0, {1, 2}}, output)); // no layout in this folder
        QCOMPARE(ui.lastMessage(), TemplateErrorMessage);
        QVERIFY(!QFile::exists(output));
    }

    void groupExportWritesBothTablesAndReplacesThem() {
        TestFolder folder;
        {
            engine::Connection connection(folder.defaultDatabase());
            const qint64 group = addGroup(connection, QStringLiteral("导出"));
            addRange(connection, group, QStringLiteral("r"), 1, 9);
        }
        ScriptedUiServices ui;
        const QString typed = folder.file(QStringLiteral("groups"));
        ui.answerFile(typed);
        QVERIFY(exportGroupTables(folder.defaultDatabase(), groupTableList(), ui));
        const QString target = typed + QStringLiteral(".mdb");
        QCOMPARE(ui.lastMessage(),
                 QStringLiteral("数据已经被正确导出到：'") + target + QStringLiteral("'！"));
        {
            engine::Connection exported(target);
            QStringList names = exported.tableNames();
            QCOMPARE(names.size(), 2);
            QCOMPARE(exported.scalar(QStringLiteral("select count(*) from DT_GroupItem")).toInt(), 1);
            QVERIFY(!exported.hasPassword());
        }
        QCOMPARE(transferFileName(QStringLiteral("a.MDB")), QStringLiteral("a.MDB.mdb"));
        QCOMPARE(transferFileName(QStringLiteral("a.mdb")), QStringLiteral("a.mdb"));

        ui.answerFile(target);
        QVERIFY(exportGroupTables(folder.defaultDatabase(), groupTableList(), ui));
        QCOMPARE(engine::Connection(target).scalar(QStringLiteral("select count(*) from ct_group")).toInt(),
                 1);

        ui.answerFile(folder.defaultDatabase()); // the source itself would lose its groups
        QVERIFY(!exportGroupTables(folder.defaultDatabase(), groupTableList(), ui));
        QVERIFY(ui.lastMessage().startsWith(QStringLiteral("运行中发生错误：")));
        QCOMPARE(engine::Connection(folder.defaultDatabase())
                     .scalar(QStringLiteral("select count(*) from ct_group"))
                     .toInt(),
                 1);

        ui.answerCancelFile();
        QVERIFY(!exportGroupTables(folder.defaultDatabase(), groupTableList(), ui));
    }

    void groupImportReplacesWhatTheFileHoldsOrNothing() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        const qint64 old = addGroup(connection, QStringLiteral("旧"));
        addRange(connection, old, QStringLiteral("旧项"), 1, 9);

        // A file that holds only the groups table.
        const QString partial = folder.file(QStringLiteral("partial.mdb"));
        engine::Connection::createDatabase(partial);
        {
            engine::Connection file(partial);
            file.execute(QStringLiteral(
                "create table CT_Group (ID integer primary key, Name varchar(255), orderstr "
                "varchar(255), GroupList varchar(255), AutoLowest boolean, AutoHighest boolean)"));
            file.execute(QStringLiteral("insert into CT_Group values (7, '新', 'id ASC', '', 0, 0)"));
        }
        ScriptedUiServices ui;
        ui.answerFile(partial);
        QVERIFY(importGroupTables(connection, groupTableList(), ui));
        QVERIFY(
            ui.messageTexts().contains(QStringLiteral("您选择的文件中不存在名字为\"DT_GroupItem\"的数据表")));
        QCOMPARE(ui.lastMessage(), ImportDoneMessage);
        QCOMPARE(loadGroups(connection).size(), size_t(1));
        QCOMPARE(loadGroups(connection).front().id, 7);
        QCOMPARE(itemCount(connection, old), 1);

        // A file whose table lacks a column: nothing changes.
        const QString broken = folder.file(QStringLiteral("broken.mdb"));
        engine::Connection::createDatabase(broken);
        {
            engine::Connection file(broken);
            file.execute(QStringLiteral("create table CT_Group (ID integer primary key, Name varchar(255))"));
            file.execute(QStringLiteral("insert into CT_Group values (9, 'x')"));
        }
        ui.answerFile(broken);
        QVERIFY(!importGroupTables(connection, groupTableList(), ui));
        QVERIFY(ui.lastMessage().endsWith(TransferErrorSuffix));
        QCOMPARE(loadGroups(connection).front().id, 7);
        QVERIFY(!connection.inTransaction());

        ui.answerFile(folder.file(QStringLiteral("missing")));
        QVERIFY(!importGroupTables(connection, groupTableList(), ui));
        QCOMPARE(ui.lastMessage(), ImportFileMissingMessage);
    }
    void groupTransferRoundTripsBetweenTwoDatabases() {
        TestFolder source;
        TestFolder target;
        {
            engine::Connection connection(source.defaultDatabase());
            const qint64 group = addGroup(connection, QStringLiteral("O'Neil 组"));
            addRange(connection, group, QStringLiteral("甲'一"), 1001, 2001, QStringLiteral(">"),
                     QStringLiteral("<="));
            addRange(connection, group, QStringLiteral("乙"), 3000, 4000);
            setItemOrder(connection, group, QStringLiteral("Title DESC"));
        }
        ScriptedUiServices ui;
        const QString file = source.file(QStringLiteral("groups.mdb"));
        ui.answerFile(file);
        QVERIFY(exportGroupTables(source.defaultDatabase(), groupTableList(), ui));

        engine::Connection connection(target.defaultDatabase());
        const qint64 replaced = addGroup(connection, QStringLiteral("将被替换"));
        addRange(connection, replaced, QStringLiteral("旧"), 1, 9);
        ui.answerFile(file);
        QVERIFY(importGroupTables(connection, groupTableList(), ui));
        QCOMPARE(ui.lastMessage(), ImportDoneMessage);

        engine::Connection original(source.defaultDatabase());
        const auto groups = loadGroups(connection);
        const auto originalGroups = loadGroups(original);
        QCOMPARE(groups.size(), size_t(1));
        QCOMPARE(groups.front().id, originalGroups.front().id);
        QCOMPARE(groups.front().name, QStringLiteral("O'Neil 组"));
        QCOMPARE(groups.front().orderstr, QStringLiteral("Title DESC"));
        const auto items = loadItems(connection, groups.front().id);
        const auto originalItems = loadItems(original, originalGroups.front().id);
        QCOMPARE(items.size(), originalItems.size());
        for (size_t i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i].title, originalItems[i].title);
            QCOMPARE(items[i].lowBoundary, originalItems[i].lowBoundary);
            QCOMPARE(items[i].highBoundary, originalItems[i].highBoundary);
            QCOMPARE(items[i].lowSymbol, originalItems[i].lowSymbol);
            QCOMPARE(items[i].highSymbol, originalItems[i].highSymbol);
        }
        QCOMPARE(connection.scalar(QStringLiteral("select count(*) from DT_GroupItem")).toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(SummaryTest)
#include "tst_summary.moc"
