// test-kind: core
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/Passwords.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "exchange/DataFile.h"
#include "exchange/DataImport.h"
#include "exchange/DatabaseSwitch.h"
#include "exchange/ReportExport.h"
#include "exchange/RosterImport.h"
#include "records/RecordGenerator.h"
#include "records/Roster.h"
#include "summary/Completeness.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

using namespace corvalis;
using corvalis::summary::CompletenessBy;
using corvalis::summary::CompletenessRow;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

struct Unit {
    qint64 code;
    qint64 division;
    const char* domain; // nullptr: none
    int state;
};

void addRecords(engine::Connection& db, const std::vector<Unit>& units) {
    for (const Unit& unit : units)
        db.execute(
            QStringLiteral(
                "insert into dt_data (c901, c902, c903, c907, RecordState) values (?1, ?2, ?3, ?4, ?5)"),
            {double(unit.code), QStringLiteral("工会%1").arg(unit.code), unit.division,
             unit.domain ? QVariant(QString::fromLatin1(unit.domain)) : QVariant(), unit.state});
}

QString writeFile(const TestFolder& folder, const QString& name, const QByteArray& bytes) {
    const QString path = folder.file(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

const CompletenessRow* rowOf(const std::vector<CompletenessRow>& rows, const char* code) {
    for (const CompletenessRow& row : rows)
        if (row.code == QLatin1String(code))
            return &row;
    return nullptr;
}

// expected, received, passed, failing, held, missing, unexpected
std::vector<qint64> countsOf(const CompletenessRow* row) {
    if (!row)
        return {};
    return {row->expected, row->received, row->passed,    row->failing,
            row->held,     row->missing,  row->unexpected};
}

QStringList texts(std::initializer_list<const char*> items) {
    QStringList list;
    for (const char* item : items)
        list << QString::fromUtf8(item);
    return list;
}

QStringList codesOf(const std::vector<CompletenessRow>& rows) {
    QStringList codes;
    for (const CompletenessRow& row : rows)
        codes << row.code;
    return codes;
}

// What must hold of any view: the counts of a unit add up, and each row is the sum of its children.
void verifyConsistent(const std::vector<CompletenessRow>& rows, CompletenessBy by) {
    for (const CompletenessRow& row : rows) {
        QCOMPARE(row.received - row.unexpected, row.expected - row.missing);
        QVERIFY(row.passed + row.failing + row.held <= row.received);
        std::vector<qint64> sum(7, 0);
        bool hasChildren = false;
        for (const CompletenessRow& child : rows)
            if (child.level == row.level + 1 && summary::isUnder(child, row, by)) {
                hasChildren = true;
                const std::vector<qint64> counts = countsOf(&child);
                for (size_t i = 0; i < 7; ++i)
                    sum[i] += counts[i];
            }
        // A division coded at a higher level (a prefecture's own code) has no county row; the
        // constructed data below has none, so every parent is exactly its children.
        if (hasChildren)
            QCOMPARE(sum, countsOf(&row));
    }
}

// The roster of the constructed database: four units in Beijing (one missing), one missing in Hebei.
const QByteArray RosterCsv = "c901,c902,c903\r\n"
                             "110101000001,东城一厂工会,110101\r\n"
                             "110101000002,东城二厂工会,110101\r\n"
                             "110102000001,\"西城工会,联合\",110102\r\n"
                             "110101000009,东城九厂工会,110101\r\n"
                             "110105000001,朝阳工会,110105\r\n"
                             "130102000001,长安工会,130102\r\n";

} // namespace

class CompletenessTest : public QObject {
    Q_OBJECT

    TestFolder m_folder;

    void makeCollectionPoint(engine::Connection& db) {
        addRecords(db, {{110101000001, 110101, "A01", 1},
                        {110101000002, 110101, "A02", 2},
                        {110102000001, 110102, nullptr, 0},
                        {120101000001, 120101, "B01", 1},
                        // Reported from another division than the roster says: counts where the roster says.
                        {110101000009, 120101, "A01", 1}});
        QCOMPARE(exchange::importRoster(db, writeFile(m_folder, QStringLiteral("roster.csv"), RosterCsv)), 6);
    }

private Q_SLOTS:
    void countsEveryDivisionLevelAgainstTheRoster() {
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("levels.mdb")));
        makeCollectionPoint(db);
        const std::vector<CompletenessRow> rows = summary::countCompleteness(db, CompletenessBy::Division);
        QCOMPARE(codesOf(rows), texts({"000000", "110000", "110100", "110101", "110102", "110105", "120000",
                                       "120100", "120101", "130000", "130100", "130102"}));
        QCOMPARE(countsOf(rowOf(rows, "000000")), (std::vector<qint64>{6, 5, 3, 1, 1, 2, 1}));
        QCOMPARE(countsOf(rowOf(rows, "110000")), (std::vector<qint64>{5, 4, 2, 1, 1, 1, 0}));
        QCOMPARE(countsOf(rowOf(rows, "110101")), (std::vector<qint64>{3, 3, 2, 1, 0, 0, 0}));
        QCOMPARE(countsOf(rowOf(rows, "110105")), (std::vector<qint64>{1, 0, 0, 0, 0, 1, 0}));
        QCOMPARE(countsOf(rowOf(rows, "120101")), (std::vector<qint64>{0, 1, 1, 0, 0, 0, 1}));
        QCOMPARE(countsOf(rowOf(rows, "130000")), (std::vector<qint64>{1, 0, 0, 0, 0, 1, 0}));
        QCOMPARE(rowOf(rows, "110000")->name, QStringLiteral("北京市"));
        QCOMPARE(rowOf(rows, "110101")->name, QStringLiteral("东城区"));
        QCOMPARE(rowOf(rows, "130100")->level, 2);
        QCOMPARE(rowOf(rows, "130102")->level, 3);
        verifyConsistent(rows, CompletenessBy::Division);
    }

    // Generated records spread over the whole country; a roster of most of them, some units that have
    // not reported and a few entered under another division. Every row at every level is compared
    // with counts taken straight from the tables.
    void generatedDatabaseAgreesWithDirectCounts() {
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("generated.mdb")));
        records::GeneratorOptions options;
        options.count = 600;
        options.seed = 21;
        records::generateRecords(db, options);
        db.execute(QStringLiteral("update dt_data set RecordState = id % 3"));
        std::vector<records::RosterUnit> roster;
        engine::Statement units(db,
                                QStringLiteral("select c901, c902, c903, id from dt_data where id % 5 <> 0"));
        while (units.step()) {
            const qint64 id = units.integer(3);
            // Every seventh unit sits on the roster in the division of the tenth record before it.
            const qint64 division = id % 7 == 0
                                        ? db.scalar(QStringLiteral("select c903 from dt_data where id = ?1"),
                                                    {qMax<qint64>(1, id - 10)})
                                              .toLongLong()
                                        : units.integer(2);
            roster.push_back({*units.code(0), units.text(1), division, QString()});
            if (id % 11 == 0)
                roster.push_back({*units.code(0) + 500000, units.text(1), division, QString()});
        }
        records::replaceRoster(db, roster);
        const std::vector<CompletenessRow> rows = summary::countCompleteness(db, CompletenessBy::Division);
        QCOMPARE(rows.front().received, 600);
        QCOMPARE(rows.front().expected, qint64(roster.size()));
        QVERIFY(rows.size() > 100);
        QCOMPARE(
            std::count_if(rows.begin(), rows.end(),
                          [](const CompletenessRow& row) { return row.level == 3; }),
            db.scalar(QStringLiteral("select count(distinct k) from (select c903 as k from ct_roster union "
                                     "select d.c903 from dt_data d where not exists "
                                     "(select 1 from ct_roster o where o.c901 = d.c901)) where k % 100 <> 0"))
                .toLongLong());
        for (const CompletenessRow& row : rows) {
            const qint64 code = row.code.toLongLong();
            const qint64 span = row.level == 0 ? 1000000 : row.level == 1 ? 10000 : row.level == 2 ? 100 : 1;
            auto count = [&](const QString& sql) { return db.scalar(sql, {code, code + span}).toLongLong(); };
            const QString inRoster = QStringLiteral("o.c903 >= ?1 and o.c903 < ?2");
            const QString received =
                QStringLiteral("select count(*) from dt_data d left join ct_roster o on o.c901 = d.c901 "
                               "where coalesce(o.c903, d.c903) >= ?1 and coalesce(o.c903, d.c903) < ?2");
            const std::vector<qint64> direct{
                count(QStringLiteral("select count(*) from ct_roster o where ") + inRoster),
                count(received),
                count(received + QStringLiteral(" and d.RecordState = 1")),
                count(received + QStringLiteral(" and d.RecordState = 2")),
                count(received + QStringLiteral(" and d.RecordState = 0")),
                count(QStringLiteral("select count(*) from ct_roster o where ") + inRoster +
                      QStringLiteral(" and not exists (select 1 from dt_data d where d.c901 = o.c901)")),
                count(received + QStringLiteral(" and o.c901 is null"))};
            QVERIFY2(countsOf(&row) == direct, qPrintable(row.code));
        }
    }

    void wholeDatabaseRowCountsEveryRecordEvenWithoutARoster() {
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("bare.mdb")));
        addRecords(
            db,
            {{110101000001, 110101, "A01", 1}, {110101000002, 0, "A01", 2}, {110101000003, 99, nullptr, 0}});
        const std::vector<CompletenessRow> rows = summary::countCompleteness(db, CompletenessBy::Division);
        // Records without a readable division count only in the whole database.
        QCOMPARE(codesOf(rows), texts({"000000", "110000", "110100", "110101"}));
        QCOMPARE(countsOf(&rows.front()), (std::vector<qint64>{0, 3, 1, 1, 1, 0, 3}));
    }

    void countsByIndustryCategoryWithRosterCategoriesFirst() {
        const QString lastYear = m_folder.makeDatabase(QStringLiteral("lastyear.mdb"));
        {
            engine::Connection old(lastYear);
            addRecords(old, {{110101000001, 110101, "A02", 1}, // this year's return says A01
                             {110101000002, 110101, nullptr, 1},
                             {130102000001, 130102, "B01", 1}});
        }
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("industry.mdb")));
        QCOMPARE(exchange::importRoster(db, lastYear), 3);
        addRecords(db, {{110101000001, 110101, "A01", 1},
                        {110101000002, 110101, "C01", 2},
                        {120101000001, 120101, "Z00", 0}});
        const std::vector<CompletenessRow> rows = summary::countCompleteness(db, CompletenessBy::Industry);
        QCOMPARE(codesOf(rows), texts({"000000", "A", "A02", "B", "B01", "C", "C01", "Z00"}));
        QCOMPARE(countsOf(rowOf(rows, "A02")), (std::vector<qint64>{1, 1, 1, 0, 0, 0, 0}));
        // Not categorised in the roster: where the return puts it.
        QCOMPARE(countsOf(rowOf(rows, "C01")), (std::vector<qint64>{1, 1, 0, 1, 0, 0, 0}));
        QCOMPARE(countsOf(rowOf(rows, "B")), (std::vector<qint64>{1, 0, 0, 0, 0, 1, 0}));
        QCOMPARE(countsOf(rowOf(rows, "Z00")), (std::vector<qint64>{0, 1, 0, 0, 1, 0, 1}));
        QCOMPARE(rowOf(rows, "A")->name, QStringLiteral("中国农林水利气象工会"));
        QCOMPARE(rowOf(rows, "Z00")->level, 1);
        verifyConsistent(rows, CompletenessBy::Industry);
        const std::vector<summary::MissingUnit> missing =
            summary::missingUnits(db, CompletenessBy::Industry, *rowOf(rows, "B"));
        QCOMPARE(missing.size(), size_t(1));
        QCOMPARE(missing.front().code, 130102000001LL);
    }

    void missingUnitsFollowTheChosenRow() {
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("missing.mdb")));
        makeCollectionPoint(db);
        const std::vector<CompletenessRow> rows = summary::countCompleteness(db, CompletenessBy::Division);
        auto codes = [&](const char* row) {
            QList<qint64> list;
            for (const summary::MissingUnit& unit :
                 summary::missingUnits(db, CompletenessBy::Division, *rowOf(rows, row)))
                list << unit.code;
            return list;
        };
        QCOMPARE(codes("000000"), (QList<qint64>{110105000001, 130102000001}));
        QCOMPARE(codes("110000"), (QList<qint64>{110105000001}));
        QCOMPARE(codes("110100"), (QList<qint64>{110105000001}));
        QCOMPARE(codes("110101"), QList<qint64>());
        QCOMPARE(codes("130102"), (QList<qint64>{130102000001}));
        const summary::MissingUnit unit =
            summary::missingUnits(db, CompletenessBy::Division, *rowOf(rows, "130000")).front();
        QCOMPARE(unit.name, QStringLiteral("长安工会"));
        QCOMPARE(unit.divisionName, QStringLiteral("河北省石家庄市长安区"));
    }

    void faultyRostersAreRefusedWithTheirLines_data() {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QStringList>("faults");
        QTest::newRow("header") << QByteArray("code,name,division\n110101000001,a,110101\n")
                                << QStringList{QStringLiteral("第1行：表头应为“c901,c902,c903”")};
        QTest::newRow("unknown division")
            << QByteArray("c901,c902,c903\n110101000001,a,110101\n110101000002,b,119999\n")
            << QStringList{QStringLiteral("第3行：行政区划代码 119999 不在行政区划代码表中")};
        QTest::newRow("repeated code")
            << QByteArray("c901,c902,c903\n110101000001,a,110101\n\n110101000001,b,110101\n")
            << QStringList{QStringLiteral("第4行：统计编码 110101000001 重复（与第2行相同）")};
        QTest::newRow("short code and columns")
            << QByteArray("c901,c902,c903\n11010100001,a,110101\n110101000002,b\n\"110101000003,c,110101\n")
            << QStringList{QStringLiteral("第2行：统计编码“11010100001”应是12位数字"),
                           QStringLiteral("第3行：应有3列（编码、名称、行政区划代码）"),
                           QStringLiteral("第4行：应有3列（编码、名称、行政区划代码）")};
        QTest::newRow("empty name") << QByteArray("c901,c902,c903\r\n110101000001, ,110101\r\n")
                                    << QStringList{QStringLiteral("第2行：单位名称为空")};
    }

    void faultyRostersAreRefusedWithTheirLines() {
        QFETCH(QByteArray, csv);
        QFETCH(QStringList, faults);
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("refused.mdb")));
        QCOMPARE(exchange::importRoster(db, writeFile(m_folder, QStringLiteral("good.csv"), RosterCsv)), 6);
        const QString bad = writeFile(m_folder, QStringLiteral("bad.csv"), csv);
        try {
            exchange::importRoster(db, bad);
            QFAIL("the roster was taken");
        } catch (const exchange::RosterRefused& refused) {
            QCOMPARE(refused.faults(), faults);
            QVERIFY(refused.text().contains(faults.front()));
        }
        QCOMPARE(records::rosterSize(db), 6); // the stored roster stays
    }

    void gbkRosterWithQuotedNamesIsRead() {
        const QString text =
            QStringLiteral("c901,c902,c903\r\n110101000001,\"东城\"\"一\"\"厂,工会\",110101\r\n");
        const QByteArray gbk = toGbk(text);
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("gbk.mdb")));
        QCOMPARE(exchange::importRoster(db, writeFile(m_folder, QStringLiteral("gbk.csv"), gbk)), 1);
        QCOMPARE(records::loadRoster(db).front().name, QStringLiteral("东城\"一\"厂,工会"));
    }

    void rosterComesFromADataFileAndRefusesUnknownDivisions() {
        const QString lastYear = m_folder.makeDatabase(QStringLiteral("old.mdb"));
        {
            engine::Connection old(lastYear);
            addRecords(old, {{110101000001, 110101, "A01", 1}, {110101000002, 110101, "A", 1}});
        }
        const QString dataFile = m_folder.file(QStringLiteral("old.dat"));
        QVERIFY(QFile::copy(lastYear, dataFile));
        exchange::scrambleDataFile(dataFile);
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("fromdat.mdb")));
        QCOMPARE(exchange::importRoster(db, dataFile), 2);
        const std::vector<records::RosterUnit> units = records::loadRoster(db);
        QCOMPARE(units.at(0).name, QStringLiteral("工会110101000001"));
        QCOMPARE(units.at(0).domain, QStringLiteral("A01"));
        QCOMPARE(units.at(1).domain, QString()); // a category letter alone says no sub-category
        {
            engine::Connection old(lastYear);
            addRecords(old, {{110101000003, 999999, "A01", 1}});
        }
        try {
            exchange::importRoster(db, lastYear);
            QFAIL("the roster was taken");
        } catch (const exchange::RosterRefused& refused) {
            QCOMPARE(refused.faults(), QStringList{QStringLiteral(
                                           "编号 110101000003：行政区划代码 999999 不在行政区划代码表中")});
        }
        QCOMPARE(records::rosterSize(db), 2);
    }

    void unreadableAndDoctoredRosterFilesAreRefused() {
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("hostile.mdb")));
        const QString viewFile = m_folder.file(QStringLiteral("view.mdb"));
        engine::Connection::createDatabase(viewFile);
        engine::Connection(viewFile).executeScript(QStringLiteral(
            "create table t (c901, c902, c903, c907); create view dt_data as select * from t"));
        const QString noTable = m_folder.file(QStringLiteral("empty.mdb"));
        engine::Connection::createDatabase(noTable);
        engine::Connection(noTable).executeScript(QStringLiteral("create table other (x)"));
        const QList<QPair<QString, QString>> cases{
            {writeFile(m_folder, QStringLiteral("junk.dat"), QByteArray(4096, 'x')),
             exchange::UnreadableFileMessage},
            {viewFile, QStringLiteral("不是普通的数据表")},
            {noTable, exchange::FileHasNoDataTable},
            {m_folder.file(QStringLiteral("absent.csv")), exchange::FileMissingMessage}};
        for (const auto& [file, message] : cases) {
            try {
                exchange::importRoster(db, file);
                QFAIL(qPrintable(file));
            } catch (const EngineError& error) {
                QFAIL(qPrintable(QStringLiteral("an engine error: ") + error.text()));
            } catch (const Error& error) {
                QVERIFY2(error.text().contains(message), qPrintable(error.text()));
            }
        }
        QVERIFY(!records::hasRoster(db));
        QVERIFY(db.tableNames(QStringLiteral("main")).size() > 0);
    }

    void jsonCarriesEveryRowInTheAgreedShape() {
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("json.mdb")));
        makeCollectionPoint(db);
        const QJsonObject json = summary::completenessJson(
            CompletenessBy::Division, summary::countCompleteness(db, CompletenessBy::Division));
        QCOMPARE(json.keys(), texts({"by", "rows"}));
        QCOMPARE(json.value(QStringLiteral("by")).toString(), QStringLiteral("division"));
        const QJsonArray rows = json.value(QStringLiteral("rows")).toArray();
        QCOMPARE(rows.size(), 12);
        const QJsonObject whole = rows.at(0).toObject();
        QCOMPARE(whole.keys(), texts({"code", "expected", "failing", "held", "level", "missing", "name",
                                      "passed", "received", "unexpected"}));
        QVERIFY(whole.value(QStringLiteral("code")).isString());
        QCOMPARE(whole.value(QStringLiteral("code")).toString(), QStringLiteral("000000"));
        QCOMPARE(whole.value(QStringLiteral("received")).toInt(), 5);
        const QJsonObject province = rows.at(1).toObject();
        QCOMPARE(province.value(QStringLiteral("name")).toString(), QStringLiteral("北京市"));
        QVERIFY(province.value(QStringLiteral("level")).isDouble());
        QCOMPARE(province.value(QStringLiteral("level")).toInt(), 1);
    }

    void exportsTheViewAndTheMissingList() {
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("export.mdb")));
        makeCollectionPoint(db);
        const std::vector<CompletenessRow> rows = summary::countCompleteness(db, CompletenessBy::Division);
        const QString view = m_folder.file(QStringLiteral("view.xlsx"));
        summary::exportCompleteness(view, CompletenessBy::Division, rows);
        XlsxReader book(view);
        QVERIFY(book.isValid());
        QCOMPARE(book.cell(1, QStringLiteral("A1")), QStringLiteral("代码"));
        QCOMPARE(book.cell(1, QStringLiteral("I1")), QStringLiteral("名单外"));
        QCOMPARE(book.cell(1, QStringLiteral("A2")), QStringLiteral("000000"));
        QCOMPARE(book.cell(1, QStringLiteral("D2")), QStringLiteral("5"));
        QCOMPARE(book.cell(1, QStringLiteral("A13")), QStringLiteral("130102"));
        QCOMPARE(book.cell(1, QStringLiteral("H13")), QStringLiteral("1"));
        const QString missing = m_folder.file(QStringLiteral("missing.xlsx"));
        summary::exportMissingUnits(missing,
                                    summary::missingUnits(db, CompletenessBy::Division, rows.front()));
        XlsxReader list(missing);
        QCOMPARE(list.cell(1, QStringLiteral("A2")), QStringLiteral("110105000001"));
        QCOMPARE(list.cell(1, QStringLiteral("B3")), QStringLiteral("长安工会"));
        QCOMPARE(list.cell(1, QStringLiteral("A4")), QString());
    }

    // The roster stays in the collecting office's database: the data file it reports upwards, and
    // the working copy of a received data file it opens, carry none; imports still work beside it.
    void theRosterStaysInItsOwnDatabase() {
        TestFolder folder(true, true);
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        QCOMPARE(session.openDatabase(), OpenOutcome::Opened);
        addRecords(session.connection(),
                   {{110101000001, 110101, "A01", 1}, {110101000002, 110101, "A01", 1}});
        QCOMPARE(exchange::importRoster(session.connection(),
                                        writeFile(folder, QStringLiteral("roster.csv"), RosterCsv)),
                 6);
        const QString report = folder.file(QStringLiteral("up.dat"));
        QVERIFY(exchange::exportReportFileTo(session, ui, QStringLiteral("某区总工会"), report));
        const QString plain = folder.file(QStringLiteral("up-plain.mdb"));
        QVERIFY(QFile::copy(report, plain));
        exchange::unscrambleDataFile(plain);
        {
            engine::Connection exported(plain, deriveDatabasePassword());
            QVERIFY(!records::hasRoster(exported));
            QCOMPARE(exported.scalar(QStringLiteral("select count(*) from dt_data")).toInt(), 2);
        }

        QVERIFY(exchange::openOtherDatabaseFrom(session, ui, report));
        QVERIFY(!records::hasRoster(session.connection()));
        QVERIFY(exchange::openDefaultDatabase(session, ui));
        QCOMPARE(records::rosterSize(session.connection()), 6);

        session.connection().execute(QStringLiteral("delete from dt_data"));
        ui.answerYes();
        QCOMPARE(exchange::importDataFileFrom(session, ui, report), exchange::ImportOutcome::Imported);
        const std::vector<CompletenessRow> rows =
            summary::countCompleteness(session.connection(), CompletenessBy::Division);
        QCOMPARE(countsOf(&rows.front()), (std::vector<qint64>{6, 2, 2, 0, 0, 4, 0}));
    }
};

QTEST_GUILESS_MAIN(CompletenessTest)
#include "tst_completeness.moc"
