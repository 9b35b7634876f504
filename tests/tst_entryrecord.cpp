// test-kind: core
#include "app/engine/Connection.h"
#include "records/EntryRecord.h"
#include "records/RecordStore.h"
#include "records/SurveyColumns.h"
#include "support/TestFolder.h"

#include <QtTest>
#include <algorithm>

using namespace corvalis;
using namespace corvalis::records;
using corvalis::testing::TestFolder;

namespace {
// An empty dictionary: the record uses the shipped one.
const TFieldDataArray NoDictionary;

TFieldData entry(const char* name, QueryType type, qint64 id) {
    TFieldData field;
    field.fieldName = QString::fromLatin1(name);
    field.queryType = type;
    field.id = id;
    return field;
}

const BoxLimits* limitsOf(const std::vector<BoxLimits>& all, const QString& field) {
    for (const BoxLimits& limits : all)
        if (limits.field.compare(field, Qt::CaseInsensitive) == 0)
            return &limits;
    return nullptr;
}

const BoxValue* valueOf(const BoxValues& values, const QString& field) {
    for (const BoxValue& value : values)
        if (value.field.compare(field, Qt::CaseInsensitive) == 0)
            return &value;
    return nullptr;
}

QVariant columnOf(const ColumnValues& values, const QString& column) {
    for (const auto& [name, value] : values)
        if (name.compare(column, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

// A value for every box of the form: distinct numbers within each box's range, texts with spaces
// around them.
BoxValues everyBox() {
    BoxValues boxes;
    boxes.push_back({QStringLiteral("c901"), BoxKind::Number, 110101000042, QString()});
    boxes.push_back({QStringLiteral("c902"), BoxKind::Text, 0, QStringLiteral(" 某某公司工会 ")});
    boxes.push_back({QStringLiteral("c903"), BoxKind::Number, 110101, QString()});
    boxes.push_back({QStringLiteral("c904"), BoxKind::Number, 1, QString()});
    boxes.push_back({QStringLiteral("c905"), BoxKind::Number, 13, QString()});
    boxes.push_back({QStringLiteral("c906"), BoxKind::Number, 110, QString()});
    boxes.push_back({QStringLiteral("c907"), BoxKind::Text, 0, QStringLiteral("A01")});
    boxes.push_back({QStringLiteral("c909"), BoxKind::Number, 1, QString()});
    boxes.push_back({QStringLiteral("c912"), BoxKind::Number, 1, QString()});
    boxes.push_back({QStringLiteral("c910"), BoxKind::Text, 0, QStringLiteral("张三")});
    boxes.push_back({QStringLiteral("c911"), BoxKind::Text, 0, QStringLiteral("01088886666")});
    qint64 count = 90000000000000LL;
    for (const SurveyColumn& column : surveyColumns()) {
        const bool answer = column.kind == ColumnKind::YesNo || column.kind == ColumnKind::Choice;
        boxes.push_back({QString::fromLatin1(column.name), BoxKind::Number, answer ? 2 : ++count, QString()});
    }
    return boxes;
}
} // namespace

class EntryRecordTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void boxKindsFollowTheColumns() {
        QCOMPARE(boxKindOf(QStringLiteral("c901")), BoxKind::Number);
        QCOMPARE(boxKindOf(QStringLiteral("C907")), BoxKind::Text);
        QCOMPARE(boxKindOf(QStringLiteral("L001")), BoxKind::Number);
        QCOMPARE(boxKindOf(QStringLiteral("s004")), BoxKind::Number);
        for (const char* none : {"id", "c900", "RecordState", "c908", "unknown"})
            QCOMPARE(boxKindOf(QString::fromLatin1(none)), BoxKind::None);
    }

    void limitsComeFromTheClassAndIdOfADictionaryRow() {
        const TFieldDataArray dictionary = {
            entry("c901", QueryType::Number, 1), entry("c902", QueryType::Text, 2),
            entry("c903", QueryType::Code, 3),   entry("c912", QueryType::Code, 8),
            entry("c907", QueryType::Other, 9),  entry("z001", QueryType::Code, 9),
            entry("z002", QueryType::Number, 8), entry("z003", QueryType::Number, 7),
            entry("b001", QueryType::Answer, 8), entry("b004", QueryType::Answer, 7),
            entry("b011", QueryType::Other, 40), entry("RecordState", QueryType::Code, 200),
            entry("c900", QueryType::Text, 201),
        };
        const std::vector<BoxLimits> all = EntryRecord(dictionary).boxLimits();
        // The columns without a box have no limits.
        QCOMPARE(all.size(), dictionary.size() - 2);
        QVERIFY(!limitsOf(all, QStringLiteral("RecordState")));

        // The cover's numeric boxes keep their own limits and their values on a new record.
        for (const char* own : {"c901", "c903", "c912", "z003", "b004", "b011"}) {
            const BoxLimits* limits = limitsOf(all, QString::fromLatin1(own));
            QVERIFY2(limits && limits->kind == LimitKind::Own && !limits->blankWhenNew, own);
        }
        // Codes past id 8 and numbers past id 7 are counts.
        for (const char* count : {"z001", "z002"}) {
            const BoxLimits* limits = limitsOf(all, QString::fromLatin1(count));
            QVERIFY2(limits && limits->kind == LimitKind::Count, count);
            QCOMPARE(limits->minimum, 0);
            QCOMPARE(limits->maximum, LargestCount);
            QCOMPARE(limits->maxDigits, 0);
            QVERIFY(limits->blankWhenNew);
        }
        const BoxLimits* answer = limitsOf(all, QStringLiteral("b001"));
        QVERIFY(answer && answer->kind == LimitKind::Answer);
        QCOMPARE(answer->maximum, LargestAnswer);
        QCOMPARE(answer->maxDigits, 1);
        QVERIFY(answer->blankWhenNew);

        // A text box starts empty only when its row is of the text class.
        QVERIFY(limitsOf(all, QStringLiteral("c902"))->blankWhenNew);
        QCOMPARE(limitsOf(all, QStringLiteral("c902"))->box, BoxKind::Text);
        QVERIFY(!limitsOf(all, QStringLiteral("c907"))->blankWhenNew);
    }

    void shippedDictionaryGivesTheLimitsOfTheBuiltInOne() {
        TestFolder folder;
        engine::Connection db(folder.defaultDatabase());
        const TFieldDataArray shipped = loadFieldDictionary(db);
        QVERIFY(!shipped.empty());
        const std::vector<BoxLimits> fromTable = EntryRecord(shipped).boxLimits();
        const std::vector<BoxLimits> builtIn = EntryRecord(NoDictionary).boxLimits();
        QCOMPARE(fromTable.size(), builtIn.size());
        for (const BoxLimits& expected : builtIn) {
            const BoxLimits* limits = limitsOf(fromTable, expected.field);
            QVERIFY2(limits, qPrintable(expected.field));
            QVERIFY2(limits->kind == expected.kind && limits->blankWhenNew == expected.blankWhenNew,
                     qPrintable(expected.field));
        }
        // Every survey box is widened to a count or narrowed to an answer; every cover box keeps its own.
        for (const SurveyColumn& column : surveyColumns()) {
            const bool answer = column.kind != ColumnKind::Count;
            QCOMPARE(limitsOf(builtIn, QString::fromLatin1(column.name))->kind,
                     answer ? LimitKind::Answer : LimitKind::Count);
        }
        for (const CoverColumn& column : coverColumns())
            QCOMPARE(limitsOf(builtIn, QString::fromLatin1(column.name))->kind, LimitKind::Own);
    }

    void storedRecordLoadsBackAsItWasSaved() {
        TestFolder folder;
        engine::Connection db(folder.defaultDatabase());
        const TFieldDataArray shipped = loadFieldDictionary(db);
        const EntryRecord record(shipped);
        const BoxValues saved = everyBox();
        const ColumnValues columns =
            record.columnsToWrite(saved, SaveMode::Clean, QStringLiteral("M1"), true);
        const qint64 row = writeRecord(db, columns, std::nullopt);

        const std::optional<StoredRecord> stored = readRecord(db, 110101000042.0);
        QVERIFY(stored);
        QCOMPARE(stored->rowId, row);
        QCOMPARE(EntryRecord::storedCode(*stored), UnionCode(110101000042));
        BoxValues loaded = record.loadedValues(*stored, RecordPart::Cover);
        for (const BoxValue& value : loaded)
            QVERIFY2(value.field.startsWith(QLatin1Char('c'), Qt::CaseInsensitive), qPrintable(value.field));
        const BoxValues survey = record.loadedValues(*stored, RecordPart::Survey);
        QCOMPARE(survey.size(), surveyColumns().size());
        loaded.insert(loaded.end(), survey.begin(), survey.end());
        QCOMPARE(loaded.size(), saved.size());
        for (const BoxValue& value : saved) {
            const BoxValue* back = valueOf(loaded, value.field);
            QVERIFY2(back, qPrintable(value.field));
            QCOMPARE(back->box, value.box);
            QCOMPARE(back->number, value.number);
            QCOMPARE(back->text, value.text.trimmed());
        }
    }

    void numbersAreWrittenAsFloatingValuesCodesAndAnswersAsWholeOnes() {
        const ColumnValues columns =
            EntryRecord(NoDictionary).columnsToWrite(everyBox(), SaveMode::Clean, QString(), true);
        QCOMPARE(columnOf(columns, QStringLiteral("c901")).typeId(), QMetaType::Double);
        QCOMPARE(columnOf(columns, QStringLiteral("c901")).toDouble(), 110101000042.0);
        QCOMPARE(columnOf(columns, QStringLiteral("z002")).typeId(), QMetaType::Double);
        QCOMPARE(columnOf(columns, QStringLiteral("c903")).typeId(), QMetaType::LongLong);
        QCOMPARE(columnOf(columns, QStringLiteral("b001")).typeId(), QMetaType::LongLong);
        QCOMPARE(columnOf(columns, QStringLiteral("b001")).toLongLong(), 2);
        QCOMPARE(columnOf(columns, QStringLiteral("c902")).toString(), QStringLiteral("某某公司工会"));
    }

    void saveModeDecidesTheStateAndTheStampComesLast() {
        const EntryRecord record(NoDictionary);
        const std::pair<SaveMode, int> states[] = {
            {SaveMode::Held, 0}, {SaveMode::WithErrors, 2}, {SaveMode::Clean, 1}};
        for (const auto& [mode, state] : states) {
            const ColumnValues columns =
                record.columnsToWrite(everyBox(), mode, QStringLiteral("PC-1"), true);
            QCOMPARE(columns.size(), everyBox().size() + 2);
            QCOMPARE(columns[columns.size() - 2].first, QStringLiteral("RecordState"));
            QCOMPARE(columns[columns.size() - 2].second.toInt(), state);
            QCOMPARE(columns.back(),
                     std::make_pair(QStringLiteral("c900"), QVariant(QStringLiteral("PC-1"))));
        }
    }

    void emptyValuesAreWrittenAsEmpty() {
        BoxValues boxes = everyBox();
        for (BoxValue& box : boxes) {
            box.number = 0;
            box.text.clear();
        }
        const EntryRecord record(NoDictionary);
        // Without a domain code or a domain name the record is stored as having none.
        ColumnValues columns = record.columnsToWrite(boxes, SaveMode::Held, QString(), false);
        QCOMPARE(columnOf(columns, QStringLiteral("c907")).toString(), NoDomainCode);
        QCOMPARE(int(std::count_if(columns.begin(), columns.end(),
                                   [](const auto& column) { return column.first == QLatin1String("c907"); })),
                 1);
        QCOMPARE(columnOf(columns, QStringLiteral("c902")).toString(), QString());
        QCOMPARE(columnOf(columns, QStringLiteral("z002")).toDouble(), 0.0);
        // A domain name shown keeps the code as typed, even empty.
        columns = record.columnsToWrite(boxes, SaveMode::Held, QString(), true);
        QCOMPARE(columnOf(columns, QStringLiteral("c907")).toString(), QString());

        // An empty stored row loads as zeros and empty texts.
        StoredRecord empty;
        for (const BoxValue& value : record.loadedValues(empty, RecordPart::Cover)) {
            QCOMPARE(value.number, 0);
            QCOMPARE(value.text, QString());
        }
    }

    void answersAboveTheirRangeAreSettledCountsAreNot() {
        BoxValues boxes = everyBox();
        for (BoxValue& box : boxes)
            if (box.field == QLatin1String("b001") || box.field == QLatin1String("h001"))
                box.number = 7;
        const BoxValues changed = EntryRecord(NoDictionary).settleAnswers(boxes);
        QCOMPARE(changed.size(), size_t(2));
        QCOMPARE(changed.front().field, QStringLiteral("b001"));
        QCOMPARE(changed.front().number, LargestAnswer);
        QCOMPARE(valueOf(boxes, QStringLiteral("h001"))->number, LargestAnswer);
        QCOMPARE(valueOf(boxes, QStringLiteral("z002"))->number, everyBox()[12].number);
    }

    void dictionarySpellingIsKeptAndCaseIgnored() {
        const TFieldDataArray dictionary = {entry("Z002", QueryType::Number, 20),
                                            entry("C902", QueryType::Text, 2)};
        const EntryRecord record(dictionary);
        StoredRecord stored;
        stored.values.insert(QStringLiteral("z002"), 12.0);
        stored.values.insert(QStringLiteral("c902"), QStringLiteral("工会"));
        const BoxValues survey = record.loadedValues(stored, RecordPart::Survey);
        QCOMPARE(survey.size(), size_t(1));
        QCOMPARE(survey.front().field, QStringLiteral("Z002"));
        QCOMPARE(survey.front().number, 12);
        QCOMPARE(record.loadedValues(stored, RecordPart::Cover).front().text, QStringLiteral("工会"));

        const ColumnValues columns = record.columnsToWrite(everyBox(), SaveMode::Clean, QString(), true);
        QCOMPARE(columns.front().first, QStringLiteral("Z002"));
        QCOMPARE(columns.size(), size_t(4)); // Z002, C902, RecordState, c900
    }
};

QTEST_GUILESS_MAIN(EntryRecordTest)
#include "tst_entryrecord.moc"
