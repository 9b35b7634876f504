// test-kind: core
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "records/RecordGenerator.h"
#include "summary/DivisionSummary.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryQueries.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <limits>

using namespace corvalis;
using namespace corvalis::summary;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

const QString ProgramSources = QStringLiteral(CORVALIS_SOURCE_DIR "/data/program");

std::vector<int> tableSheets() {
    std::vector<int> sheets;
    for (int sheet = 2; sheet <= SummarySheetCount; ++sheet)
        sheets.push_back(sheet);
    return sheets;
}

QStringList columnsOf(const std::vector<int>& sheets) {
    QStringList columns;
    for (int sheet : sheets)
        columns << selectListColumns(sheet - 1);
    return columns;
}

// The figures of the whole database: the select lists without any grouping.
std::vector<QVariant> wholeDatabase(engine::Connection& connection, const std::vector<int>& sheets) {
    engine::Statement statement(connection, QStringLiteral("select ") + sheetsSelectList(sheets));
    std::vector<QVariant> values;
    if (statement.step())
        for (int column = 0; column < statement.columnCount(); ++column)
            values.push_back(statement.value(column));
    return values;
}

void addRecord(engine::Connection& connection, qint64 code, const QVariant& division, qint64 units,
               qint64 women, int z014) {
    connection.execute(
        QStringLiteral(
            "insert into dt_data (c901, c903, c904, z001, z003, z014) values (?1, ?2, 1, ?3, ?4, ?5)"),
        {code, division, units, women, z014});
}

// The rows directly under row r: the following rows one level deeper, up to the next row not deeper
// than r.
std::vector<size_t> childrenOf(const std::vector<SummaryRow>& rows, size_t r) {
    std::vector<size_t> children;
    for (size_t next = r + 1; next < rows.size() && rows[next].level > rows[r].level; ++next)
        if (rows[next].level == rows[r].level + 1)
            children.push_back(next);
    return children;
}

struct Level {
    int level;
    QString label;
    bool operator==(const Level& other) const { return level == other.level && label == other.label; }
};

std::vector<Level> levelsOf(const std::vector<SummaryRow>& rows) {
    std::vector<Level> levels;
    for (const SummaryRow& row : rows)
        levels.push_back({row.level, row.label});
    return levels;
}

} // namespace

class DivisionSummaryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everySubtotalAddsUpTheRowsUnderIt() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        records::GeneratorOptions options;
        options.count = 3000;
        options.seed = 21;
        options.faultyShare = 0.2;
        records::generateRecords(connection, options);
        // Records filed under a province or prefecture itself, and codes that are no division.
        connection.execute(QStringLiteral("update dt_data set c903=130000 where id % 97 = 0"));
        connection.execute(QStringLiteral("update dt_data set c903=130100 where id % 89 = 0"));
        connection.execute(QStringLiteral("update dt_data set c903=999999 where id % 83 = 0"));
        connection.execute(QStringLiteral("update dt_data set c903=null where id % 79 = 0"));

        const std::vector<int> sheets = tableSheets();
        const QStringList columns = columnsOf(sheets);
        const int percent = int(columns.indexOf(QStringLiteral("percent_z003")));
        const int yes = int(columns.indexOf(QStringLiteral("sum_z014_1")));
        const int two = int(columns.indexOf(QStringLiteral("sum_z014_2")));
        const int women = int(columns.indexOf(QStringLiteral("count_z003")));
        const std::vector<SummaryRow> rows = summaryRows(connection, sheets, ByDivision, 0);
        QVERIFY(rows.size() > 1000);

        int subtotals = 0, leaves = 0;
        for (size_t r = 0; r < rows.size(); ++r) {
            const SummaryRow& row = rows[r];
            QCOMPARE(row.values.size(), size_t(columns.size()));
            if (r > 0)
                QVERIFY2(row.level >= ProvinceLevel && row.level <= rows[r - 1].level + 1,
                         qPrintable(row.label));
            const std::vector<size_t> children = childrenOf(rows, r);
            if (children.empty()) {
                ++leaves;
                continue;
            }
            ++subtotals;
            for (int c = 0; c < columns.size(); ++c) {
                const QString where = QStringLiteral("%1 / %2").arg(row.label, columns[c]);
                if (c == percent) {
                    const double expected =
                        (row.values[size_t(yes)].toDouble() + row.values[size_t(two)].toDouble()) /
                        row.values[size_t(women)].toDouble();
                    QVERIFY2(qFuzzyCompare(row.values[size_t(c)].toDouble(), expected), qPrintable(where));
                    continue;
                }
                QVariant sum;
                for (size_t child : children)
                    sum = addSums(sum, rows[child].values[size_t(c)]);
                QVERIFY2(row.values[size_t(c)] == sum, qPrintable(where));
            }
        }
        QVERIFY(subtotals > 300);

        // The total is the whole database's summary, cell for cell.
        QCOMPARE(rows.front().label, DivisionTotalLabel);
        QCOMPARE(rows.front().level, int(TotalLevel));
        const std::vector<QVariant> whole = wholeDatabase(connection, sheets);
        for (int c = 0; c < columns.size(); ++c)
            QVERIFY2(rows.front().values[size_t(c)].toDouble() == whole[size_t(c)].toDouble(),
                     qPrintable(columns[c]));
        QCOMPARE(rows.front().values[0].toLongLong(), qint64(3000));

        // One leaf per division code the records hold, and one for all codes that are none.
        const qint64 codes = connection
                                 .scalar(QStringLiteral("select count(distinct c903) from dt_data "
                                                        "where c903 in (select ID from CT_CityName)"))
                                 .toLongLong();
        QCOMPARE(leaves, int(codes) + 1);
        QCOMPARE(rows.back().label, UnknownDivisionLabel);
        QCOMPARE(rows.back().values[0].toLongLong(),
                 connection
                     .scalar(QStringLiteral("select count(*) from dt_data where c903 is null or c903=999999"))
                     .toLongLong());
    }

    void rowsStandInCodeOrderUnderTheirParents() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        addRecord(connection, 1, 130202, 5, 1, 1);      // 唐山市路南区
        addRecord(connection, 2, 130102, 7, 2, 2);      // 石家庄市长安区
        addRecord(connection, 3, 110101, 1, 0, 0);      // 北京市东城区
        addRecord(connection, 4, 130100, 2, 3, 0);      // 石家庄市 itself
        addRecord(connection, 5, 130000, 4, 0, 1);      // 河北省 itself
        addRecord(connection, 6, 130102, 3, 0, 2);      // 长安区 again
        addRecord(connection, 7, 419001, 6, 1, 1);      // 济源市, directly under its province
        addRecord(connection, 8, QVariant(0), 9, 0, 0); // no division
        addRecord(connection, 9, 130199, 8, 0, 0);      // a county code the table does not know

        const std::vector<SummaryRow> rows = summaryRows(connection, 2, ByDivision, 0);
        const std::vector<Level> expected = {
            {0, QStringLiteral("合计")},
            {1, QStringLiteral("北京市")},
            {2, QStringLiteral("市辖区")},
            {3, QStringLiteral("东城区")},
            {1, QStringLiteral("河北省")},
            {2, QStringLiteral("河北省本级")},
            {2, QStringLiteral("石家庄市")},
            {3, QStringLiteral("石家庄市本级")},
            {3, QStringLiteral("长安区")},
            {2, QStringLiteral("唐山市")},
            {3, QStringLiteral("路南区")},
            {1, QStringLiteral("河南省")},
            {2, QStringLiteral("省直辖县级行政区划")},
            {3, QStringLiteral("济源市")},
            {1, QStringLiteral("行政区划代码无效")},
        };
        QVERIFY(levelsOf(rows) == expected);

        // Sheet 3 holds the share of records with women employees whose unit answered z014 with 1 or
        // 2: a subtotal's share comes from its own counts, not from adding its rows' shares.
        auto sums = [&](size_t r) { return std::make_pair(rows[r].values[0], rows[r].values[3]); };
        QCOMPARE(sums(0), std::make_pair(QVariant(qint64(9)), QVariant(qint64(45))));  // cnt, sum_z001
        QCOMPARE(sums(4), std::make_pair(QVariant(qint64(5)), QVariant(qint64(21))));  // 河北省
        QCOMPARE(sums(6), std::make_pair(QVariant(qint64(3)), QVariant(qint64(12))));  // 石家庄市
        QCOMPARE(sums(8), std::make_pair(QVariant(qint64(2)), QVariant(qint64(10))));  // 长安区
        QCOMPARE(sums(14), std::make_pair(QVariant(qint64(2)), QVariant(qint64(17)))); // no division
        const std::vector<SummaryRow> shares = summaryRows(connection, 3, ByDivision, 0);
        const int percent = int(selectListColumns(2).indexOf(QStringLiteral("percent_z003")));
        // 石家庄市: two answers of 1 or 2 over two records with women employees; its rows' shares are
        // 2 (长安区) and 0 (itself).
        QCOMPARE(shares[6].values[size_t(percent)].toDouble(), 1.0);
        QCOMPARE(shares[0].values[size_t(percent)].toDouble(),
                 wholeDatabase(connection, {3})[size_t(percent)].toDouble());
        QVERIFY(shares[3].values[size_t(percent)].isNull()); // 东城区: no record with women employees
    }

    void anEmptyDatabaseHasOnlyItsTotal() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        const std::vector<SummaryRow> rows = summaryRows(connection, 2, ByDivision, 0);
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(rows.front().values, wholeDatabase(connection, {2})); // cnt 0, every sum empty
    }

    void sumsOverflowIntoFloatingPointLikeTheEngine() {
        const qint64 big = std::numeric_limits<qint64>::max();
        QCOMPARE(addSums(QVariant(qint64(2)), QVariant(qint64(3))), QVariant(qint64(5)));
        QCOMPARE(addSums(QVariant(), QVariant(qint64(3))), QVariant(qint64(3)));
        QVERIFY(addSums(QVariant(), QVariant()).isNull());
        const QVariant over = addSums(QVariant(big), QVariant(big));
        QCOMPARE(over.typeId(), int(QMetaType::Double));
        QVERIFY(over.toDouble() > 1.8e19);
        QCOMPARE(addSums(QVariant(1.5), QVariant(qint64(2))), QVariant(3.5));
    }

    void workbookIndentsTheLevelsAndKeepsTheLayout() {
        TestFolder folder;
        for (const QString& name : QDir(ProgramSources).entryList(QDir::Files))
            QFile::copy(ProgramSources + QLatin1Char('/') + name, folder.file(name));
        engine::Connection connection(folder.defaultDatabase());
        addRecord(connection, 1, 130102, 5, 1, 1);
        addRecord(connection, 2, 110101, 7, 2, 2);
        ScriptedUiServices ui;
        const QString output = folder.file(QStringLiteral("division.xlsx"));
        QVERIFY(SummaryBuilder(connection, folder.folder(), ui).build({ByDivision, 0, {1, 2}}, output));
        XlsxReader book(output);
        QCOMPARE(book.sheetNames().size(), 2);
        QCOMPARE(book.cell(2, QStringLiteral("A3")), QStringLiteral("行政区划"));
        const QStringList labels = {QStringLiteral("合计"),   QStringLiteral("北京市"),
                                    QStringLiteral("市辖区"), QStringLiteral("东城区"),
                                    QStringLiteral("河北省"), QStringLiteral("石家庄市"),
                                    QStringLiteral("长安区")};
        const int levels[] = {0, 1, 2, 3, 1, 2, 3};
        for (int i = 0; i < labels.size(); ++i) {
            const QString cell = QStringLiteral("A%1").arg(9 + i);
            QCOMPARE(book.cell(2, cell), labels[i]);
            QCOMPARE(book.indent(2, cell), levels[i]);
            QCOMPARE(book.bold(2, cell), levels[i] <= 1);
            QCOMPARE(book.bold(2, QStringLiteral("E%1").arg(9 + i)), levels[i] <= 1);
        }
        QCOMPARE(book.cell(2, QStringLiteral("A16")), QString());
        QCOMPARE(book.cell(2, QStringLiteral("B9")), QStringLiteral("2"));  // cnt
        QCOMPARE(book.cell(2, QStringLiteral("E9")), QStringLiteral("12")); // sum_z001
        QCOMPARE(book.cell(2, QStringLiteral("E13")), QStringLiteral("5")); // 河北省
    }
};

QTEST_GUILESS_MAIN(DivisionSummaryTest)
#include "tst_division_summary.moc"
