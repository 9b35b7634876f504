// test-kind: core
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/Passwords.h"
#include "app/engine/Connection.h"
#include "app/engine/RowSet.h"
#include "app/engine/Statement.h"
#include "records/CodeTables.h"
#include "records/RecordGenerator.h"
#include "records/RecordPrint.h"
#include "records/RecordStore.h"
#include "records/RecordValidation.h"
#include "records/ShippedDatabase.h"
#include "records/SurveyColumns.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::records;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

class RecordsTest : public QObject {
    Q_OBJECT

private:
    TestFolder m_folder;
    engine::Connection m_db;

    qint64 count(const QString& sql) { return m_db.scalar(sql).toLongLong(); }

private Q_SLOTS:
    void initTestCase() { m_db.open(m_folder.defaultDatabase()); }

    void codeNamesAndSplits() {
        const TMenuItemDataArray list{{1, QStringLiteral("单独基层工会")},
                                      {2, QStringLiteral("联合基层工会")}};
        QCOMPARE(codeName(list, 2), QStringLiteral("联合基层工会"));
        QCOMPARE(codeName(list, 0), QString());
        QCOMPARE(codeName({}, 1), QString());
        QCOMPARE(codeForText(list, QStringLiteral("联合基层工会")), 2);
        QCOMPARE(codeForText(list, QStringLiteral("联合")), 0);

        const DivisionParts parts = splitDivisionCode(320102);
        QCOMPARE(parts.province, 32);
        QCOMPARE(parts.prefecture, 1);
        QCOMPARE(parts.county, 2);
        const DomainParts domain = splitDomainCode(QStringLiteral("A01"));
        QCOMPARE(domain.letter, QStringLiteral("A"));
        QCOMPARE(domain.number, 1);
        QCOMPARE(splitDomainCode(QStringLiteral("  ")).letter, QString());
        QCOMPARE(splitDomainCode(QStringLiteral("  ")).number, 0);
    }

    void lookupsAskTheDatabaseOnlyForPlausibleCodes() {
        ScriptedUiServices ui;
        engine::Connection closed; // any query on it fails, so a lookup that asks would show an error
        QCOMPARE(divisionName(closed, 99999, ui), QString());
        QCOMPARE(unionDomainName(closed, QStringLiteral("A1"), ui), QString());
        QCOMPARE(unionDomainName(closed, QStringLiteral("A012"), ui), QString());
        QVERIFY(ui.messages().empty());

        QCOMPARE(divisionName(closed, 110100, ui), QString());
        QCOMPARE(ui.messages().size(), size_t(1));
        QVERIFY(ui.lastMessage().startsWith(RunErrorPrefix));
        QVERIFY(ui.lastMessage().endsWith(QStringLiteral(",请与系统管理员或软件发行者联系。")));

        ScriptedUiServices quiet;
        QCOMPARE(divisionName(m_db, 110100, quiet), QStringLiteral("北京市"));
        QCOMPARE(divisionName(m_db, 320102, quiet), QStringLiteral("江苏省南京市玄武区"));
        QCOMPARE(divisionName(m_db, 999999, quiet), QString());
        QCOMPARE(unionDomainName(m_db, QStringLiteral("Z00"), quiet).isEmpty(), false);
        QCOMPARE(unionDomainName(m_db, QStringLiteral("Q99"), quiet), QString());
        QVERIFY(quiet.messages().empty());
    }

    void codeListsSkipCodeZeroAndComeInOrder() {
        m_db.execute(QStringLiteral("insert into CT_LevelCode (ID, Name) values (0, '无')"));
        const TMenuItemDataArray levels = loadCodeList(m_db, CodeTable::Level);
        m_db.execute(QStringLiteral("delete from CT_LevelCode where ID=0"));
        QVERIFY(!levels.empty());
        QCOMPARE(levels.front().code, 1);
        QCOMPARE(levels.front().name, QStringLiteral("单独基层工会"));
        QVERIFY(
            std::is_sorted(levels.begin(), levels.end(), [](auto& a, auto& b) { return a.code < b.code; }));
        QCOMPARE(codeName(levels, 0), QString());
        QVERIFY_THROWS_EXCEPTION(EngineError, loadCodeList(m_db, QStringLiteral("x; drop table dt_data")));
    }

    void machineStampIsThirtyTwoHexDigits() {
        const QString stamp = machineStamp();
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(stamp).hasMatch());
        QCOMPARE(machineStamp(), stamp); // the same on every call, whichever core answers
    }

    void codeTablesFollowTheirConventions() {
        for (const QString& table :
             {CodeTable::City, CodeTable::UnionDomain, CodeTable::Level, CodeTable::Industry,
              CodeTable::Economic, CodeTable::Hold, CodeTable::HoldWithoutState, CodeTable::FilingState,
              QStringLiteral("ct_sheetName")})
            QVERIFY2(count(QStringLiteral("select count(*) from %1").arg(table)) > 0, qPrintable(table));

        // Divisions: the parts agree with the code; every county has its prefecture and province.
        QCOMPARE(count(QStringLiteral("select count(*) from CT_CityName where Code1 <> ID / 10000 "
                                      "or Code2 <> (ID % 10000) / 100 or Code3 <> ID % 100")),
                 0);
        QCOMPARE(count(QStringLiteral("select count(*) from CT_CityName c where Code3 <> 0 and not exists "
                                      "(select 1 from CT_CityName p where p.ID = c.ID - c.Code3)")),
                 0);
        QCOMPARE(count(QStringLiteral("select count(*) from CT_CityName c where Code2 <> 0 and not exists "
                                      "(select 1 from CT_CityName p where p.ID = c.Code1 * 10000)")),
                 0);
        QVERIFY(count(QStringLiteral("select count(*) from CT_CityName where Code2 = 0")) >= 31);
        QVERIFY(count(QStringLiteral("select count(*) from CT_CityName where Code3 <> 0")) > 2500);

        QCOMPARE(count(QStringLiteral("select count(*) from CT_Industry")), 97);
        QCOMPARE(count(QStringLiteral("select min(ID) * 1000 + max(ID) from CT_Industry")), 1097);

        const QList<int> categories{110, 120, 130, 140, 151, 159, 161, 169, 170, 190,
                                    200, 300, 401, 402, 500, 600, 701, 702, 703, 704};
        for (int code : categories)
            QVERIFY2(count(QStringLiteral("select count(*) from CT_Economic where ID=%1").arg(code)) == 1,
                     qPrintable(QString::number(code)));

        QCOMPARE(
            m_db.scalar(QStringLiteral(
                            "select group_concat(ID) from (select ID from CT_HoldSituation order by ID)"))
                .toString(),
            QStringLiteral("1,2,3"));
        QCOMPARE(
            m_db.scalar(QStringLiteral(
                            "select group_concat(ID) from (select ID from CT_HoldSituation1 order by ID)"))
                .toString(),
            QStringLiteral("2,3"));
        QCOMPARE(m_db.scalar(QStringLiteral(
                                 "select group_concat(ID) from (select ID from CT_LevelCode order by ID)"))
                     .toString(),
                 QStringLiteral("1,2,3"));
        QVERIFY(count(QStringLiteral("select count(*) from CT_state where ID in (1, 2, 3)")) == 3);

        // Industry categories: a letter and two digits, their category row, and Z00 for "none".
        QCOMPARE(count(QStringLiteral("select count(*) from CT_UnionDomain where Code2 <> 0 and "
                                      "(length(ID) <> 3 or ID <> Code1 || printf('%02d', Code2))")),
                 0);
        QCOMPARE(
            count(QStringLiteral("select count(*) from CT_UnionDomain d where Code2 <> 0 and not exists "
                                 "(select 1 from CT_UnionDomain c where c.Code1 = d.Code1 and c.Code2 = 0)")),
            0);
        QCOMPARE(count(QStringLiteral("select count(*) from CT_UnionDomain where ID='Z00'")), 1);
        QVERIFY(count(QStringLiteral("select count(*) from CT_UnionDomain where Code1='B' and Code2<>0")) >=
                5);

        QCOMPARE(m_db.scalar(QStringLiteral("select group_concat(CodeID) from ct_sheetName")).toString(),
                 QStringLiteral("0,1,2,3,4,5,6,7"));
        QCOMPARE(m_db.scalar(QStringLiteral("select db_name from ct_label")).toString(),
                 QStringLiteral("默认数据库"));
    }

    void theDictionaryDescribesEveryRecordColumn() {
        QCOMPARE(surveyColumns().size(), size_t(84));
        const engine::RowSet record = m_db.query(QStringLiteral("select * from dt_data"));
        QCOMPARE(record.columnNames(), dataColumnNames());
        const engine::RowSet scratch = m_db.query(QStringLiteral("select * from dt_data_dt_data"));
        QCOMPARE(scratch.columnNames(), dataColumnNames());

        engine::Statement fields(m_db, QStringLiteral("select FieldName, QueryType, ID, PageID, sequence "
                                                      "from dt_fieldlist order by sequence"));
        QSet<QString> described;
        QSet<qint64> ids;
        while (fields.step()) {
            const QString name = fields.text(0);
            described.insert(name);
            QVERIFY2(!ids.contains(fields.integer(2)), qPrintable(name));
            ids.insert(fields.integer(2));
            const ColumnKind kind = columnKind(name);
            if (queryTypeOf(kind) != QueryType::Other)
                QVERIFY2(fields.integer(1) == qint64(queryTypeOf(kind)), qPrintable(name));
            // The cover boxes keep their own limits: the form widens only entries past these ids.
            if (kind == ColumnKind::Code)
                QVERIFY(fields.integer(2) <= 7);
            if (kind == ColumnKind::CodeNumber)
                QVERIFY2(fields.integer(2) <= 8, qPrintable(name));
            if (kind == ColumnKind::Count || kind == ColumnKind::YesNo || kind == ColumnKind::Choice) {
                QVERIFY2(fields.integer(2) > 8, qPrintable(name));
                QCOMPARE(fields.integer(3), qint64(surveyColumns()[size_t(surveyColumnIndex(name))].page));
            }
        }
        for (const QString& column : dataColumnNames())
            QVERIFY2(described.contains(column), qPrintable(column));
        // Cover fields come first in sequence order (the organisation type is loaded before z001).
        QVERIFY(count(QStringLiteral("select max(sequence) from dt_fieldlist where PageID = 0")) <
                count(QStringLiteral("select min(sequence) from dt_fieldlist where PageID > 0")));
        // Pages in use run from 0 without gaps.
        QCOMPARE(m_db.scalar(QStringLiteral(
                                 "select group_concat(PageID) from (select distinct PageID from dt_fieldlist "
                                 "where PageID >= 0 order by PageID)"))
                     .toString(),
                 QStringLiteral("0,1,2,3,4,5,6,7"));
    }

    void viewsOfferTheirColumnsAndTakeChanges() {
        m_db.execute(QStringLiteral("update view_fieldlist set visible=false"));
        QCOMPARE(count(QStringLiteral("select count(*) from dt_fieldlist where Visible")), 0);
        m_db.execute(QStringLiteral("update view_fieldlist set visible=true where id=2"));
        QCOMPARE(m_db.scalar(QStringLiteral("select FieldName from dt_fieldlist where Visible")).toString(),
                 QStringLiteral("c902"));
        QCOMPARE(m_db.scalar(QStringLiteral("select SheetName from view_FieldList where id=28"))
                     .toString()
                     .left(2),
                 QStringLiteral("表2"));

        m_db.execute(QStringLiteral(
                         "insert into view_group_item (GroupID, Title, LowBoundary, HighBoundary, LowSymbol, "
                         "HighSymbol) values (1, ?1, 100000000000, 200000000000, '>=', '<')"),
                     {QStringLiteral("北京's 范围")});
        const engine::RowSet item =
            m_db.query(QStringLiteral("select * from view_group_item where groupid=1"));
        QCOMPARE(item.asString(QStringLiteral("LowValue")), QStringLiteral(">=100000000000"));
        QCOMPARE(item.asString(QStringLiteral("HighValue")), QStringLiteral("<200000000000"));
        QCOMPARE(item.asString(QStringLiteral("Title")), QStringLiteral("北京's 范围"));
        m_db.execute(QStringLiteral("update view_group_item set HighSymbol='<=' where id=?1"),
                     {item.value(QStringLiteral("id"))});
        QCOMPARE(m_db.scalar(QStringLiteral("select HighValue from view_group_item")).toString(),
                 QStringLiteral("<=200000000000"));
        m_db.execute(QStringLiteral("delete from view_group_item"));
        QCOMPARE(count(QStringLiteral("select count(*) from DT_GroupItem")), 0);

        QVERIFY(m_db.query(QStringLiteral("select * from view_data_all"))
                    .columnIndex(QStringLiteral("c903name")) >= 0);
        QVERIFY(count(QStringLiteral(
                    "select count(*) from view_datasearch where codename='c901' and PageID=0")) == 1);
        QCOMPARE(count(QStringLiteral(
                     "select count(*) from view_datasearch where codename in ('c902','RecordState')")),
                 0);
    }

    void newRowsGetARowNumberAndCodesStayUnique() {
        m_db.execute(QStringLiteral("insert into dt_data (c901, c902) values (100000000001, '甲')"));
        m_db.execute(QStringLiteral("insert into dt_data (c901, c902) values (100000000002, '乙')"));
        QCOMPARE(count(QStringLiteral("select id from dt_data where c901=100000000002")),
                 count(QStringLiteral("select id from dt_data where c901=100000000001")) + 1);
        QVERIFY_THROWS_EXCEPTION(
            EngineError, m_db.execute(QStringLiteral("insert into dt_data (c901) values (100000000001)")));
        // The scratch table takes any set of rows.
        m_db.execute(QStringLiteral("insert into dt_data_dt_data select * from dt_data"));
        m_db.execute(QStringLiteral("insert into dt_data_dt_data select * from dt_data"));
        QCOMPARE(count(QStringLiteral("select count(*) from dt_data_dt_data")), 4);
        m_db.execute(QStringLiteral("delete from dt_data"));
        m_db.execute(QStringLiteral("delete from dt_data_dt_data"));
    }

    void theLargestCodesSurviveTheRecordStoreExactly() {
        const UnionCode largest = 659004499999;
        m_db.execute(QStringLiteral("insert into dt_data (c901, c902) values (?1, '甲')"), {double(largest)});
        m_db.execute(QStringLiteral("insert into dt_data (c901, c902) values (?1, '乙')"), {largest - 1});
        QCOMPARE(count(QStringLiteral("select count(*) from dt_data where typeof(c901)='real'")), 2);

        const std::optional<StoredRecord> stored = readRecord(m_db, largest);
        QVERIFY(stored);
        QCOMPARE(stored->value(QStringLiteral("c902")).toString(), QStringLiteral("甲"));
        QCOMPARE(engine::codeOf(stored->value(QStringLiteral("C901"))), std::optional<UnionCode>(largest));
        QVERIFY(!readRecord(m_db, largest + 1));
        QCOMPARE(countRecordsWithCode(m_db, largest), 1);
        QCOMPARE(countRecordsWithCode(m_db, largest + 1), 0);
        QCOMPARE(nextFreeCode(m_db), largest + 1);
        QCOMPARE(codeText(largest), QStringLiteral("659004499999"));

        m_db.execute(QStringLiteral("delete from dt_data"));
        QCOMPARE(nextFreeCode(m_db), 0);
    }

    void theDataFileTemplateIsProtectedAndEmpty() {
        const QString file = corvalis::testing::dataFileTemplateMaster();
        QVERIFY_THROWS_EXCEPTION(EngineError, engine::Connection{file});
        engine::Connection connection(file, deriveDatabasePassword());
        QCOMPARE(connection.query(QStringLiteral("select * from dt_data")).columnNames(), dataColumnNames());
        QCOMPARE(connection.scalar(QStringLiteral("select count(*) from dt_data")).toInt(), 0);
        QCOMPARE(connection.scalar(QStringLiteral("select count(*) from ct_label")).toInt(), 1);
    }

    void csvParsingHandlesQuotesAndBlankLines() {
        const auto rows = parseCsv(QStringLiteral("a,b\n1,\"x, \"\"y\"\"\"\r\n\n2,z"));
        QCOMPARE(int(rows.size()), 4);
        QCOMPARE(rows[1], (QStringList{QStringLiteral("1"), QStringLiteral("x, \"y\"")}));
        QCOMPARE(rows[3], (QStringList{QStringLiteral("2"), QStringLiteral("z")}));
    }

    void generatedRecordsAreRealisticAndConsistent() {
        TestFolder folder;
        engine::Connection db(folder.defaultDatabase());
        GeneratorOptions options;
        options.count = 3000;
        options.seed = 7;
        options.faultyShare = 0.1;
        const GeneratorResult result = generateRecords(db, options);
        QCOMPARE(result.written, 3000);
        QCOMPARE(result.faulty, 300);
        QCOMPARE(result.lastCode - result.firstCode, 2999);
        const auto n = [&db](const QString& sql) { return db.scalar(sql).toLongLong(); };
        QCOMPARE(n(QStringLiteral("select count(*) from dt_data")), 3000);
        QCOMPARE(n(QStringLiteral("select count(distinct id) from dt_data")), 3000);
        QCOMPARE(n(QStringLiteral("select count(*) from dt_data where RecordState <> 0")), 0);
        // Codes exist in their tables.
        QCOMPARE(
            n(QStringLiteral("select count(*) from dt_data where c903 not in (select ID from CT_CityName)")),
            0);
        QCOMPARE(
            n(QStringLiteral("select count(*) from dt_data where c904 not in (select ID from CT_LevelCode)")),
            0);
        QCOMPARE(
            n(QStringLiteral("select count(*) from dt_data where c905 not in (select ID from CT_Industry)")),
            0);
        QCOMPARE(
            n(QStringLiteral("select count(*) from dt_data where c906 not in (select ID from CT_Economic)")),
            0);
        QCOMPARE(n(QStringLiteral(
                     "select count(*) from dt_data where c907 not in (select ID from CT_UnionDomain)")),
                 0);
        QCOMPARE(n(QStringLiteral("select count(*) from dt_data where c912 not in (1, 2)")), 0);
        // Fixed holding situations follow the unit category.
        QCOMPARE(n(QStringLiteral("select count(*) from dt_data where c906 in (110,151,161) and c909<>1")),
                 0);
        QCOMPARE(n(QStringLiteral("select count(*) from dt_data where c906 = 169 and c909 = 1")), 0);
        QCOMPARE(
            n(QStringLiteral("select count(*) from dt_data where c906 >= 401 and c906 <> 600 and c909<>0")),
            0);
        // Categories that fill no enterprise tables hold zeros there.
        QCOMPARE(n(QStringLiteral("select count(*) from dt_data where c906 in (500,701,702,703,704) and "
                                  "(b001+b002+b004+h001+h002+h005+l001+f001+f005+j004+j014)<>0")),
                 0);
        QCOMPARE(n(QStringLiteral(
                     "select count(*) from dt_data where c904 <> 1 and (b004+b005+b006+b007+b008+b009)<>0")),
                 0);

        // Names, form fillers and telephones pass the cover page's own tests.
        engine::Statement texts(db, QStringLiteral("select c902, c910, c911 from dt_data"));
        const QRegularExpression latin(QStringLiteral("[0-9A-Za-z]"));
        while (texts.step()) {
            const QString name = texts.text(0), filler = texts.text(1), phone = texts.text(2);
            QVERIFY(!name.trimmed().isEmpty() && gbkLength(name) <= 60);
            QVERIFY2(!latin.match(filler).hasMatch() && !filler.isEmpty(), qPrintable(filler));
            const int length = phone.size();
            const bool valid = phone.contains(QLatin1Char('-'))
                                   ? (length >= 11 && length <= 13)
                                   : (length == 7 || length == 8 || length == 11 || length == 12);
            QVERIFY2(valid, qPrintable(phone));
        }

        // A second run continues after the highest code; the same seed gives the same records.
        GeneratorOptions more;
        more.count = 10;
        more.seed = 7;
        const GeneratorResult next = generateRecords(db, more);
        QCOMPARE(next.firstCode, result.lastCode + 1);
        QCOMPARE(
            db.scalar(QStringLiteral("select c902 from dt_data where c901=?1"), {double(next.firstCode)})
                .toString(),
            db.scalar(QStringLiteral("select c902 from dt_data where c901=?1"), {double(result.firstCode)})
                .toString());
        // A run that meets an existing code part way, inside a batch of rows, leaves nothing behind:
        // no rows, and the row-numbering trigger it set aside is back.
        GeneratorOptions clash;
        clash.count = 200;
        clash.firstCode = next.lastCode - 100;
        QVERIFY_THROWS_EXCEPTION(EngineError, generateRecords(db, clash));
        QCOMPARE(n(QStringLiteral("select count(*) from dt_data")), 3010);
        QVERIFY(!db.inTransaction());
        db.execute(QStringLiteral("insert into dt_data (c901) values (100000000001)"));
        QCOMPARE(n(QStringLiteral("select id from dt_data where c901=100000000001")), 3011);
        // Inside a caller's transaction a failed run undoes only its own rows.
        {
            engine::Transaction outer(db);
            db.execute(QStringLiteral("insert into dt_data (c901) values (100000000002)"));
            QVERIFY_THROWS_EXCEPTION(EngineError, generateRecords(db, clash));
            QVERIFY(db.inTransaction());
            outer.commit();
        }
        QCOMPARE(n(QStringLiteral("select count(*) from dt_data")), 3012);
        QCOMPARE(n(QStringLiteral("select id from dt_data where c901=100000000002")), 3012);
        GeneratorOptions tooLong;
        tooLong.count = 5;
        tooLong.firstCode = 999999999998;
        QVERIFY_THROWS_EXCEPTION(Error, generateRecords(db, tooLong));
    }

    void faultyRecordsAreSpreadExactly() {
        int faulty = 0;
        for (qint64 i = 0; i < 1000; ++i)
            faulty += isFaultyRecord(i, 0.125) ? 1 : 0;
        QCOMPARE(faulty, 125);
        QVERIFY(!isFaultyRecord(0, 0));
        QVERIFY(isFaultyRecord(5, 1));
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"
