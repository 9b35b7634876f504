// test-kind: core
#include "app/Clock.h"
#include "app/Errors.h"
#include "app/FieldDictionary.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/workbook/CellAddress.h"
#include "records/RecordGenerator.h"
#include "search/ListExport.h"
#include "search/QueryExport.h"
#include "search/RecordDeletion.h"
#include "search/RecordLocator.h"
#include "search/SearchConditions.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::search;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {
constexpr qint64 FirstCode = 100000000001;

struct Database {
    TestFolder folder;
    engine::Connection connection;
    explicit Database(int records = 0) : connection(folder.defaultDatabase()) {
        if (records > 0) {
            records::GeneratorOptions options;
            options.count = records;
            options.firstCode = FirstCode;
            records::generateRecords(connection, options);
        }
    }
    QList<qint64> codes(const Condition& condition) {
        QList<qint64> found;
        engine::Statement rows(connection, QStringLiteral("select c901 from view_data ") + condition.sql +
                                               QStringLiteral(" order by c901"));
        rows.bindAll(condition.params);
        while (rows.step())
            found << rows.integer(0);
        return found;
    }
    qint64 count(const QString& where = QString()) {
        return connection.scalar(QStringLiteral("select count(*) from dt_data ") + where).toLongLong();
    }
};

// A record list of keys in some order, with a selection, as the deletion sees it.
class FakeList : public DeletionList {
public:
    FakeList(engine::Connection& connection, QList<UnionCode> order)
        : m_connection(connection), m_rows(std::move(order)) {}
    bool isEmpty() const override { return m_rows.isEmpty(); }
    QList<UnionCode> selectedKeys() const override { return selected; }
    std::optional<UnionCode> currentKey() const override {
        return m_current >= 0 && m_current < m_rows.size() ? std::optional<UnionCode>(m_rows.at(m_current))
                                                           : std::nullopt;
    }
    bool showKey(UnionCode key) override {
        m_current = int(m_rows.indexOf(key));
        shown << key;
        return m_current >= 0;
    }
    void refreshKeepingPosition() override {
        QList<UnionCode> remaining;
        engine::Statement rows(m_connection, QStringLiteral("select c901 from dt_data"));
        QSet<UnionCode> present;
        while (rows.step())
            present.insert(rows.code(0).value_or(0));
        for (UnionCode key : m_rows)
            if (present.contains(key))
                remaining << key;
        m_rows = remaining;
        ++refreshes;
    }
    void setCurrent(int row) { m_current = row; }
    QList<UnionCode> selected;
    QList<UnionCode> shown;
    int refreshes = 0;

private:
    engine::Connection& m_connection;
    QList<UnionCode> m_rows;
    int m_current = 0;
};

UnionCode code(int offset) {
    return FirstCode + offset;
}
} // namespace

class SearchTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rangeConditionsUseTheChosenOperatorsAndJoiner() {
        Database db(20);
        const QString first = QString::number(FirstCode + 4);
        const QString second = QString::number(FirstCode + 15);

        ConditionResult result = buildRangeCondition({4, first}, 1, {5, second}); // >= and <=
        QVERIFY(result.ok());
        QCOMPARE(result.condition->sql, QStringLiteral("where c901>=? AND c901<=?"));
        QCOMPARE(db.codes(*result.condition).size(), 12);

        result = buildRangeCondition({3, first}, 2, {2, second}); // < or >
        QCOMPARE(db.codes(*result.condition).size(), 4 + 4);

        // Only the second code: its own operator, no joiner.
        result = buildRangeCondition({1, QString()}, 2, {1, second});
        QCOMPARE(result.condition->sql, QStringLiteral("where c901=?"));
        QCOMPARE(db.codes(*result.condition), QList<qint64>{FirstCode + 15});

        result = buildRangeCondition({1, QStringLiteral("  ")}, 1, {1, QString()});
        QVERIFY(!result.ok());
        QCOMPARE(result.message, NoConditionMessage);
        QCOMPARE(result.focus, QStringLiteral("number1"));
    }

    void conditionsNeverCarryTypedTextIntoTheStatement() {
        Database db(5);
        const QString attack = QStringLiteral("1 or 1=1; drop table dt_data");
        QVERIFY(!buildRangeCondition({1, attack}, 1, {1, QString()}).ok());

        const TFieldDataArray dictionary = loadFieldDictionary(db.connection);
        QVERIFY(
            !buildIndicatorCondition(dictionary, QStringLiteral("z001>0 or 1"), {2, QStringLiteral("0")}, {})
                 .ok());
        QVERIFY(
            !buildIndicatorCondition(dictionary, QStringLiteral("nosuchfield"), {2, QStringLiteral("0")}, {})
                 .ok());
        QVERIFY(!buildIndicatorCondition(dictionary, QStringLiteral("z002"), {2, attack}, {}).ok());
        QCOMPARE(db.count(), 5);

        // A name with an apostrophe is a value like any other.
        db.connection.execute(QStringLiteral("update dt_data set c902=? where c901=?"),
                              {QStringLiteral("O'Brien's 工会"), FirstCode + 3});
        QCOMPARE(findCodeByName(db.connection, QStringLiteral("'Brien's")),
                 std::optional<UnionCode>(code(3)));
    }

    void indicatorConditionsFollowTheChosenOperators() {
        Database db(30);
        const TFieldDataArray dictionary = loadFieldDictionary(db.connection);
        ConditionResult result =
            buildIndicatorCondition(dictionary, QStringLiteral("Z002"), {4, QStringLiteral("100")}, {});
        QVERIFY(result.ok());
        QCOMPARE(result.condition->sql, QStringLiteral("where z002>=?"));
        const qint64 expected = db.count(QStringLiteral("where z002>=100"));
        QCOMPARE(db.codes(*result.condition).size(), expected);

        result = buildIndicatorCondition(dictionary, QStringLiteral("z002"), {2, QStringLiteral("10")},
                                         {3, QStringLiteral("500")});
        QCOMPARE(result.condition->sql, QStringLiteral("where z002>? and z002<?"));
        QCOMPARE(db.codes(*result.condition).size(), db.count(QStringLiteral("where z002>10 and z002<500")));

        // Refusals, each with the control that takes the focus back.
        const struct {
            QString field;
            Comparison first, second;
            QString message, focus;
        } refused[] = {
            {QString(), {1, QStringLiteral("1")}, {}, NoIndicatorMessage, QStringLiteral("DataField")},
            {QStringLiteral("z002"),
             {1, QString()},
             {1, QString()},
             NoConditionMessage,
             QStringLiteral("Number1")},
            {QStringLiteral("c901"),
             {1, QStringLiteral("10000000000")},
             {},
             CodeLengthMessage,
             QStringLiteral("Number1")},
            {QStringLiteral("c901"),
             {1, QStringLiteral("100000000001")},
             {1, QStringLiteral("1")},
             CodeLengthMessage,
             QStringLiteral("Number2")},
            {QStringLiteral("z002"),
             {0, QStringLiteral("5")},
             {},
             MissingOperatorMessage,
             QStringLiteral("lc1")},
            {QStringLiteral("z002"),
             {2, QStringLiteral("5")},
             {3, QString()},
             MissingNumberMessage,
             QStringLiteral("Number2")},
        };
        for (const auto& input : refused) {
            result = buildIndicatorCondition(dictionary, input.field, input.first, input.second);
            QVERIFY(!result.ok());
            QCOMPARE(result.message, input.message);
            QCOMPARE(result.focus, input.focus);
        }
        // c901 with 12 digits is fine; other fields take numbers of any length.
        QVERIFY(
            buildIndicatorCondition(dictionary, QStringLiteral("c901"), {1, QString::number(FirstCode)}, {})
                .ok());
        QVERIFY(buildIndicatorCondition(dictionary, QStringLiteral("z001"),
                                        {1, QStringLiteral("1234567890123")}, {})
                    .ok());
    }

    void locateByCodeAndByName() {
        Database db(10);
        QVERIFY(!codeForLocate(QStringLiteral("10000000000")));
        QVERIFY(!codeForLocate(QStringLiteral("10000000000x")));
        QCOMPARE(codeForLocate(QStringLiteral("100000000007")), std::optional<UnionCode>(code(6)));

        db.connection.execute(QStringLiteral("update dt_data set c902='甲乙工会' where c901 in (?, ?)"),
                              {FirstCode + 7, FirstCode + 2});
        QCOMPARE(findCodeByName(db.connection, QStringLiteral("  乙工 ")), std::optional<UnionCode>(code(2)));
        QCOMPARE(findCodeByName(db.connection, QStringLiteral("甲%会")), std::optional<UnionCode>(code(2)));
        QVERIFY(!findCodeByName(db.connection, QStringLiteral("不存在的名称")));
    }

    void deletionGoesByTheSelectedKeysEvenWhenRowsMoved() {
        Database db(10);
        ScriptedUiServices ui;
        // The list was re-sorted after the selection: row positions no longer match the keys.
        FakeList list(db.connection, {code(9), code(8), code(7), code(1), code(2), code(0)});
        list.selected = {code(7), code(2)};
        ui.answerAsk(AskYesToAll);
        QCOMPARE(
            deleteSelectedRecords(list, db.connection, QStringLiteral("dt_data"), QStringLiteral("c901"), ui),
            2);
        QCOMPARE(db.count(), 8);
        QCOMPARE(db.count(QStringLiteral("where c901 in (100000000008, 100000000003)")), 0);
        QCOMPARE(ui.questions().front().mask, int(AskShowNo | AskShowYesToAll));
        QCOMPARE(list.refreshes, 1);
    }

    void deletionQuestionsOneByOne() {
        Database db(10);
        ScriptedUiServices ui;
        FakeList list(db.connection, {code(0), code(1), code(2), code(3), code(4)});
        // Closing the question goes on with the next row; "全都是" there deletes it and the rest.
        list.selected = {code(1), code(3), code(4)};
        ui.answerAsk(AskClosed);
        ui.answerAsk(AskYesToAll);
        QCOMPARE(
            deleteSelectedRecords(list, db.connection, QStringLiteral("dt_data"), QStringLiteral("c901"), ui),
            2);
        QCOMPARE(db.count(), 8);
        QCOMPARE(db.count(QStringLiteral("where c901=100000000002")), 1);

        // "否" stops without deleting anything.
        list.selected = {code(0), code(1)};
        ui.answerAsk(AskNo);
        QCOMPARE(
            deleteSelectedRecords(list, db.connection, QStringLiteral("dt_data"), QStringLiteral("c901"), ui),
            0);
        QCOMPARE(db.count(), 8);

        // A selected record that has gone is skipped, never replaced by another row.
        db.connection.execute(QStringLiteral("delete from dt_data where c901=?"), {FirstCode + 5});
        FakeList stale(db.connection, {code(0), code(2), code(6)});
        stale.selected = {code(5), code(6)};
        ui.answerAsk(AskYesToAll);
        QCOMPARE(deleteSelectedRecords(stale, db.connection, QStringLiteral("dt_data"),
                                       QStringLiteral("c901"), ui),
                 1);
        QCOMPARE(db.count(QStringLiteral("where c901 in (100000000001, 100000000003)")), 2);
        QCOMPARE(db.count(), 6);

        // One selected row (or none): the current row after "是".
        FakeList single(db.connection, {code(0), code(2)});
        single.setCurrent(1);
        ui.answerAsk(AskYes);
        QCOMPARE(deleteSelectedRecords(single, db.connection, QStringLiteral("dt_data"),
                                       QStringLiteral("c901"), ui),
                 1);
        QCOMPARE(ui.questions().back().mask, int(AskShowYes | AskShowNo));
        QCOMPARE(ui.questions().back().text, DeleteQuestion);
        QCOMPARE(db.count(QStringLiteral("where c901=100000000003")), 0);

        QVERIFY_THROWS_EXCEPTION(EngineError, deleteSelectedRecords(single, db.connection,
                                                                    QStringLiteral("dt_data; drop table x"),
                                                                    QStringLiteral("c901"), ui));
    }

    void theLargestCodesAreFoundListedAndDeletedExactly() {
        Database db;
        records::GeneratorOptions options;
        options.count = 10;
        options.firstCode = 659004499990;
        records::generateRecords(db.connection, options);
        ScriptedUiServices ui;
        db.connection.execute(QStringLiteral("update dt_data set c902='末位工会' where c901=?"),
                              {659004499999LL});
        QCOMPARE(findCodeByName(db.connection, QStringLiteral("末位")),
                 std::optional<UnionCode>(659004499999));

        // A range takes both of its ends.
        auto rangeCount = [&db, &ui](ListChoice choice) {
            const auto query = listQuery(db.connection, QString(), choice, ui);
            engine::Statement rows(db.connection, QStringLiteral("select count(*) from (") + query->sql +
                                                      QStringLiteral(")"));
            rows.bindAll(query->params);
            return rows.step() ? rows.integer(0) : -1;
        };
        ListChoice range;
        range.kind = ListChoice::Range;
        range.low = QStringLiteral("659004499998");
        range.high = QStringLiteral("659004499999");
        QCOMPARE(rangeCount(range), 2);
        db.connection.execute(
            QStringLiteral("insert into DT_GroupItem (GroupID, Title, LowBoundary, HighBoundary, "
                           "LowSymbol, HighSymbol) values (1, '末三', ?, ?, '>', '<=')"),
            {659004499996.0, 659004499999.0});
        ListChoice group;
        group.kind = ListChoice::Group;
        group.group = loadGroupRanges(db.connection).front();
        QCOMPARE(group.group.low, 659004499996LL);
        QCOMPARE(group.group.high, 659004499999LL);
        QCOMPARE(rangeCount(group), 3);

        QCOMPARE(deleteByKeys(db.connection, QStringLiteral("dt_data"), QStringLiteral("c901"),
                              {659004499999, 659004499997}),
                 2);
        QCOMPARE(db.count(QStringLiteral("where c901 in (659004499996, 659004499998)")), 2);
        QString end = QStringLiteral("659004499998");
        ui.answerYes();
        QVERIFY(deleteRecordRange(db.connection, ui, QStringLiteral("659004499996"), end));
        QCOMPARE(db.count(), 6);
        QCOMPARE(db.count(QStringLiteral("where c901>=659004499995")), 1);
    }

    void deletionByRangeAndAll() {
        Database db(10);
        ScriptedUiServices ui;
        QString end = QString::number(FirstCode + 2);
        ui.answerYes();
        QVERIFY(deleteRecordRange(db.connection, ui, QString::number(FirstCode + 5), end));
        QCOMPARE(end, QString::number(FirstCode + 5));
        QCOMPARE(db.count(), 9);
        QCOMPARE(db.count(QStringLiteral("where c901=100000000006")), 0);

        end = QString::number(FirstCode + 7);
        ui.answerYes();
        QVERIFY(deleteRecordRange(db.connection, ui, QString::number(FirstCode + 1), end));
        QCOMPARE(db.count(), 3);

        end = QString();
        QVERIFY(!deleteRecordRange(db.connection, ui, QStringLiteral("5"), end));
        QCOMPARE(ui.lastMessage(), DeleteRangeMessage);

        ui.answerNo();
        QVERIFY(!deleteAllRecords(db.connection, ui));
        QCOMPARE(db.count(), 3);
        ui.answerYes();
        QVERIFY(deleteAllRecords(db.connection, ui));
        QCOMPARE(db.count(), 0);
        QCOMPARE(ui.questions().back().text, IrreversibleQuestion);
        QCOMPARE(ui.questions().back().request.title, QString());
    }

    void excelExportWritesTitlesDateAndRows() {
        Database db(3);
        db.connection.execute(
            QStringLiteral("create table t (cid VARCHAR(20), name VARCHAR(20), flag BOOLEAN, "
                           "n INTEGER, amount DOUBLE, made DATE)"));
        db.connection.execute(
            QStringLiteral("insert into t values ('000123', '甲', 1, 1200, 3.5, '2020-06-15'),"
                           "('000124', '乙', 0, 7, 0, 0), ('000125', '丙', 1, 8, 1, null)"));
        QTemporaryDir dir;
        ScriptedUiServices ui;
        FixedClock clock(QDateTime(QDate(2021, 3, 5), QTime(9, 0)));
        TFieldDataArray columns;
        for (const char* name : {"cid", "name", "flag", "n", "amount", "made"}) {
            TFieldData field;
            field.showName = QString::fromLatin1(name);
            field.hint = QStringLiteral("标题") + field.showName;
            field.queryShow = field.showName != QLatin1String("amount");
            columns.push_back(field);
        }
        ui.answerFile(dir.filePath(QStringLiteral("out.xlsx")));
        const QString path =
            saveQueryAsExcel(db.connection, {QStringLiteral("select * from t order by cid"), {}},
                             QStringLiteral("导出/测试"), columns, ui, clock);
        QCOMPARE(path, dir.filePath(QStringLiteral("out.xlsx")));
        QCOMPARE(ui.questions().front().request.proposedName, QStringLiteral("导出/测试-2021-03-05"));
        QCOMPARE(ui.questions().front().request.title, QStringLiteral("导出文件存放为"));
        QCOMPARE(ui.lastMessage(), QStringLiteral("Excel文件已经正确导出到：'") + path);

        XlsxReader sheet(path);
        QVERIFY(sheet.isValid());
        QCOMPARE(sheet.sheetNames(), QStringList{QStringLiteral("导出_测试")});
        QCOMPARE(sheet.cell(1, QStringLiteral("A2")), QStringLiteral("导出日期:"));
        QCOMPARE(sheet.cell(1, QStringLiteral("B2")), QStringLiteral("2021/3/5"));
        QCOMPARE(sheet.cell(1, QStringLiteral("A3")), QStringLiteral("标题cid"));
        QCOMPARE(sheet.cell(1, QStringLiteral("E3")), QStringLiteral("标题made")); // amount is not exported
        QCOMPARE(sheet.cell(1, QStringLiteral("A4")), QString());
        QCOMPARE(sheet.cell(1, QStringLiteral("A5")), QStringLiteral("000123"));
        QCOMPARE(sheet.cell(1, QStringLiteral("C5")), QStringLiteral("是"));
        QCOMPARE(sheet.cell(1, QStringLiteral("C6")), QStringLiteral("不是"));
        QCOMPARE(sheet.cell(1, QStringLiteral("D5")), QStringLiteral("1200"));
        QCOMPARE(sheet.cell(1, QStringLiteral("E5")), QStringLiteral("2020-06"));
        QCOMPARE(sheet.cell(1, QStringLiteral("E6")), QString()); // a date of 0 stays empty
        QCOMPARE(sheet.cell(1, QStringLiteral("B7")), QStringLiteral("丙"));
        QCOMPARE(sheet.cell(1, QStringLiteral("A8")), QString());

        // An empty result is refused before any file is asked for.
        ui.clear();
        QVERIFY(saveQueryAsExcel(db.connection, {QStringLiteral("select * from t where 0"), {}},
                                 QStringLiteral("x"), columns, ui, clock)
                    .isEmpty());
        QCOMPARE(ui.lastMessage(), ExcelEmptyMessage);
        QVERIFY(ui.questions().empty());

        // So is a result longer than a sheet holds below its head rows.
        ui.clear();
        const QString tooMany =
            QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                           "where i < 1048573) select i from n");
        QVERIFY(saveQueryAsExcel(db.connection, {tooMany, {}}, QStringLiteral("x"), columns, ui, clock)
                    .isEmpty());
        QCOMPARE(ui.lastMessage(), ExcelTooManyMessage.arg(1048573).arg(1048572));
        QVERIFY(ui.questions().empty());

        // A file that cannot be written is reported as a failure, never as exported.
        ui.clear();
        const QString unwritable = dir.filePath(QStringLiteral("missing/out.xlsx"));
        ui.answerFile(unwritable);
        QVERIFY(saveQueryAsExcel(db.connection, {QStringLiteral("select * from t"), {}}, QStringLiteral("x"),
                                 columns, ui, clock)
                    .isEmpty());
        QVERIFY(ui.lastMessage().endsWith(ExportFailureSuffix));
        QVERIFY(!QFileInfo::exists(unwritable));
    }

    void listExportKeepsEachCellsKindAndEmptiness() {
        Database db(3);
        // Values the survey columns can hold besides whole numbers: none, zero, text and a fraction.
        db.connection.execute(QStringLiteral("update dt_data set z001=null, z002=0, b001='12a', h001=2.5, "
                                             "c902='甲工会', c907='007' where c901=?"),
                              {FirstCode});
        // Texts are copied on as the engine's bytes: markup, blanks at the ends, and bytes that are no
        // UTF-8 (read as a replacement character) must come out as they read.
        db.connection.execute(
            QStringLiteral("update dt_data set c902=' <乙&丙> ', c910=cast(x'E5B7A5FF' as text), "
                           "c911='_x0041_' where c901=?"),
            {FirstCode + 1});
        ScriptedUiServices ui;
        FixedClock clock(QDateTime(QDate(2021, 3, 5), QTime(9, 0)));
        ListChoice all;
        const auto query = listQuery(db.connection, QStringLiteral("zbh"), all, ui);
        QVERIFY(query);
        TFieldDataArray columns;
        engine::Statement probe(db.connection, query->sql);
        for (int i = 0; i < probe.columnCount(); ++i) {
            TFieldData field;
            field.showName = field.hint = probe.columnName(i);
            field.queryShow = true;
            columns.push_back(field);
        }
        const auto at = [&](const char* column, int row) {
            return workbook::cellAddress(row, probe.columnIndex(QString::fromLatin1(column)) + 1);
        };
        QTemporaryDir dir;
        ui.answerFile(dir.filePath(QStringLiteral("list.xlsx")));
        const QString path =
            saveQueryAsExcel(db.connection, *query, QStringLiteral("列表"), columns, ui, clock);
        QVERIFY(!path.isEmpty());

        XlsxReader book(path);
        QCOMPARE(book.cell(1, at("c901", 5)), QStringLiteral("100000000001"));
        QCOMPARE(book.cell(1, at("c902", 5)), QStringLiteral("甲工会"));
        QCOMPARE(book.cell(1, at("c907", 5)), QStringLiteral("007"));
        QVERIFY(!book.cells(1).contains(at("z001", 5))); // no value: no cell, never a 0
        QCOMPARE(book.cell(1, at("z002", 5)), QStringLiteral("0"));
        QCOMPARE(book.cell(1, at("b001", 5)), QStringLiteral("12a"));
        QCOMPARE(book.cell(1, at("h001", 5)), QStringLiteral("2.5"));
        QCOMPARE(book.cell(1, at("c901", 7)), QStringLiteral("100000000003"));
        QCOMPARE(book.cell(1, at("c902", 6)), QStringLiteral(" <乙&丙> "));
        QCOMPARE(book.cell(1, at("c910", 6)), QStringLiteral("工\uFFFD"));

        // Numbers are number cells and texts text cells, each in its column's format.
        QProcess unzip;
        unzip.start(QStringLiteral("unzip"),
                    {QStringLiteral("-p"), path, QStringLiteral("xl/worksheets/sheet1.xml")});
        QVERIFY(unzip.waitForFinished(60000));
        const QString sheet = QString::fromUtf8(unzip.readAllStandardOutput());
        // A literal escape-like text keeps its underscore.
        QVERIFY(sheet.contains(QStringLiteral("<t>_x005F_x0041_</t>")));
        // Rows and cells without a reference follow the one before them.
        const auto kind = [&](const QString& address) {
            QXmlStreamReader xml(sheet);
            int row = 0, column = 0;
            while (!xml.atEnd()) {
                xml.readNext();
                if (!xml.isStartElement())
                    continue;
                const QXmlStreamAttributes attributes = xml.attributes();
                const QString r = attributes.value(QLatin1String("r")).toString();
                if (xml.name() == QLatin1String("row")) {
                    row = r.isEmpty() ? row + 1 : r.toInt();
                    column = 0;
                } else if (xml.name() == QLatin1String("c")) {
                    const auto position = workbook::parseCellAddress(r);
                    column = position ? position->column : column + 1;
                    if (workbook::cellAddress(row, column) != address)
                        continue;
                    if (attributes.value(QLatin1String("s")).isEmpty())
                        return QStringLiteral("unstyled");
                    return attributes.value(QLatin1String("t")).toString();
                }
            }
            return QStringLiteral("missing");
        };
        QCOMPARE(kind(at("c901", 5)), QString());
        QCOMPARE(kind(at("z002", 5)), QString());
        QCOMPARE(kind(at("h001", 5)), QString());
        QCOMPARE(kind(at("z001", 6)), QString());
        QCOMPARE(kind(at("c902", 5)), QStringLiteral("inlineStr"));
        QCOMPARE(kind(at("b001", 5)), QStringLiteral("inlineStr"));
    }

    void fileNamesGetTheirExtensionOnce() {
        QCOMPARE(withExtension(QStringLiteral("/tmp/list"), QStringLiteral(".xlsx")),
                 QStringLiteral("/tmp/list.xlsx"));
        QCOMPARE(withExtension(QStringLiteral("/tmp/list.XLSX"), QStringLiteral(".xlsx")),
                 QStringLiteral("/tmp/list.XLSX"));
        QCOMPARE(withExtension(QStringLiteral("abcd"), QStringLiteral(".mdb")), QStringLiteral("abcd"));
        QCOMPARE(workbook::fittedSheetName(QString(40, QLatin1Char('a'))).size(), 31);
        QCOMPARE(workbook::fittedSheetName(QStringLiteral("'a/b'")), QStringLiteral("a_b"));
        QCOMPARE(workbook::fittedSheetName(QStringLiteral("''")), QStringLiteral("Sheet1"));
        QCOMPARE(workbook::fittedSheetName(QStringLiteral("a\u0001b")), QStringLiteral("a_b"));
        // A character beyond the basic plane that would be cut at the limit is left out whole.
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        QCOMPARE(workbook::fittedSheetName(QString(30, QLatin1Char('a')) + emoji),
                 QString(30, QLatin1Char('a')));
        QCOMPARE(workbook::fittedSheetName(QString(29, QLatin1Char('a')) + emoji),
                 QString(29, QLatin1Char('a')) + emoji);
    }

    void accessExportReplacesItsTableAndKeepsOthers() {
        Database db(4);
        db.connection.execute(QStringLiteral("update dt_data set c902=? where c901=?"),
                              {QStringLiteral("王'五"), FirstCode + 1});
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("export.mdb"));
        engine::Connection::createDatabase(file);
        {
            engine::Connection target(file);
            target.execute(QStringLiteral("create table keepme (a INTEGER)"));
            target.execute(QStringLiteral("create table \"结果\" (old INTEGER)"));
        }
        ScriptedUiServices ui;
        FixedClock clock(QDateTime(QDate(2021, 3, 5), QTime(9, 0)));
        ui.answerFile(file);
        const QuerySource query{QStringLiteral("select * from dt_data where c901>=? order by c901"),
                                {FirstCode + 1}};
        QCOMPARE(saveQueryAsAccess(db.connection, query, QStringLiteral("结果"), ui, clock), file);
        QCOMPARE(ui.lastMessage(),
                 QStringLiteral("Access文件已经正确导出到：'") + file + QStringLiteral("'！"));

        engine::Connection target(file);
        QVERIFY(target.tableExists(QStringLiteral("keepme")));
        QCOMPARE(target.scalar(QStringLiteral("select count(*) from \"结果\"")).toInt(), 3);
        QCOMPARE(target.scalar(QStringLiteral("select c902 from \"结果\" where c901=?"), {FirstCode + 1})
                     .toString(),
                 QStringLiteral("王'五"));
        engine::Statement probe(target, QStringLiteral("select * from \"结果\""));
        QCOMPARE(probe.columnCount(),
                 engine::Statement(db.connection, QStringLiteral("select * from dt_data")).columnCount());
        QCOMPARE(probe.declaredType(probe.columnIndex(QStringLiteral("c902"))),
                 QStringLiteral("VARCHAR(60)"));
    }

    void accessExportFailureRollsBackAndShowsTheStatement() {
        Database db(3);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("locked.mdb"));
        engine::Connection::createDatabase(file);
        {
            engine::Connection target(file);
            target.execute(QStringLiteral("create table keepme (a INTEGER)"));
        }
        ScriptedUiServices ui;
        FixedClock clock(QDateTime(QDate(2021, 3, 5), QTime(9, 0)));
        db.connection.execute(QStringLiteral("create table src (n INTEGER, t VARCHAR(10))"));
        db.connection.execute(QStringLiteral("insert into src values (1, 'a'), (2, 'b')"));
        ui.answerFile(file);
        // A query whose second row cannot be converted fails in the middle of the inserts.
        const QuerySource failing{
            QStringLiteral(
                "select n, t, case when n=2 then abs(-9223372036854775807-(n-1)) end as x from src"),
            {}};
        QVERIFY(saveQueryAsAccess(db.connection, failing, QStringLiteral("out"), ui, clock).isEmpty());
        const auto messages = ui.messageTexts();
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages.at(0).startsWith(QStringLiteral("运行中发生错误：")));
        QVERIFY(messages.at(0).endsWith(ExportFailureSuffix));
        QVERIFY(messages.at(1).startsWith(
            QStringLiteral("INSERT INTO \"out\"  (\"n\",\"t\",\"x\") Values(1,'a'")));
        engine::Connection target(file);
        QVERIFY(!target.tableExists(QStringLiteral("out")));
        QVERIFY(target.tableExists(QStringLiteral("keepme")));
    }

    void exportTableFileIsReadInItsExactFormat() {
        const auto items =
            parseExportTables({QStringLiteral("&1 1 表一"), QStringLiteral("&0 0 表二"),
                               QStringLiteral("&1 2 表三"), QStringLiteral("普通标题"),
                               QStringLiteral("&1 x 坏的状态"), QStringLiteral("&1"), QStringLiteral("&")});
        QCOMPARE(items.size(), size_t(7));
        QCOMPARE(items[0], (ExportTableItem{QStringLiteral("表一"), true, 1}));
        QCOMPARE(items[1], (ExportTableItem{QStringLiteral("表二"), false, 0}));
        QCOMPARE(items[2], (ExportTableItem{QStringLiteral("表三"), true, 2}));
        QCOMPARE(items[3], (ExportTableItem{QStringLiteral("普通标题"), true, 0}));
        QCOMPARE(items[4], (ExportTableItem{QStringLiteral("坏的状态"), true, 0}));
        QCOMPARE(items[5], (ExportTableItem{QString(), true, 0}));
        QCOMPARE(items[6], (ExportTableItem{QString(), false, 0}));
        QCOMPARE(tickedLetters(items), QStringLiteral("z"));

        // The shipped file holds the eight built-in tables, in GBK.
        const auto shipped = loadExportTables(QStringLiteral(CORVALIS_SOURCE_DIR) +
                                              QStringLiteral("/data/program/exporttable.vq"));
        QCOMPARE(shipped, builtInExportTables());
        QVERIFY_THROWS_EXCEPTION(FileError, loadExportTables(QStringLiteral("/nonexistent/exporttable.vq")));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("exporttable.vq"));
        writeGbkTextFile(path, {QStringLiteral("&1 1 表一 甲"), QStringLiteral("&1 0 表二 乙"),
                                QStringLiteral("&1 1 表三")});
        const auto written = loadExportTables(path);
        QCOMPARE(written.size(), size_t(3));
        QCOMPARE(tickedLetters(written), QStringLiteral("zh"));
    }

    void listQueriesPickColumnsAndRecords() {
        Database db(10);
        ScriptedUiServices ui;
        QCOMPARE(extraColumns(db.connection, QString()), QStringList());
        const QStringList z = extraColumns(db.connection, QStringLiteral("z"));
        QCOMPARE(z.size(), 16);
        QCOMPARE(z.front(), QStringLiteral("z001"));
        // "s" takes the finance columns, not RecordState.
        QCOMPARE(extraColumns(db.connection, QStringLiteral("s")),
                 (QStringList{QStringLiteral("s001"), QStringLiteral("s002"), QStringLiteral("s003"),
                              QStringLiteral("s004")}));

        ListChoice all;
        auto query = listQuery(db.connection, QStringLiteral("w"), all, ui);
        QVERIFY(query);
        QCOMPARE(query->sql,
                 QStringLiteral("select c901,c902,c903,c904,c905,c906,c907,c909,c910,c911,c912,RecordState,"
                                "w001 from dt_data order by c901"));

        ListChoice range;
        range.kind = ListChoice::Range;
        range.low = QString::number(FirstCode + 5);
        range.high = QString::number(FirstCode + 1);
        query = listQuery(db.connection, QString(), range, ui);
        QCOMPARE(range.high, range.low);
        engine::Statement rows(db.connection,
                               QStringLiteral("select count(*) from (") + query->sql + QStringLiteral(")"));
        rows.bindAll(query->params);
        QVERIFY(rows.step());
        QCOMPARE(rows.integer(0), 1);

        range.low = QStringLiteral("0");
        QVERIFY(!listQuery(db.connection, QString(), range, ui));
        QCOMPARE(ui.lastMessage(), ListRangeMessage);

        db.connection.execute(
            QStringLiteral("insert into DT_GroupItem (GroupID, Title, LowBoundary, HighBoundary, "
                           "LowSymbol, HighSymbol) values (1, '前三', ?, ?, '>=', '<')"),
            {FirstCode, FirstCode + 3});
        const auto groups = loadGroupRanges(db.connection);
        QCOMPARE(groups.size(), size_t(1));
        ListChoice group;
        group.kind = ListChoice::Group;
        group.group = groups.front();
        query = listQuery(db.connection, QString(), group, ui);
        QVERIFY(query->sql.contains(QStringLiteral("where c901>=? and c901<? order by c901")));
        group.group.highSymbol = QStringLiteral("<0 or 1=1 --");
        QVERIFY(!listQuery(db.connection, QString(), group, ui));
    }
};

QTEST_GUILESS_MAIN(SearchTest)
#include "tst_search.moc"
