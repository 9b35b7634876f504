#include "EntryRecord.h"

#include "records/SurveyColumns.h"

namespace corvalis::records {

namespace {
// The dictionary numbers the cover's entries first. A code entry up to LastCoverCodeId (c912) is a
// cover box and keeps the limits the cover gives it; numbers and answers take their class's limits
// only past LastCoverValueId, so the union code keeps its own.
constexpr qint64 LastCoverCodeId = 8;
constexpr qint64 LastCoverValueId = 7;

LimitKind limitKindOf(const TFieldData& field) {
    switch (field.queryType) {
    case QueryType::Code:
        return field.id > LastCoverCodeId ? LimitKind::Count : LimitKind::Own;
    case QueryType::Number:
        return field.id > LastCoverValueId ? LimitKind::Count : LimitKind::Own;
    case QueryType::Answer:
        return field.id > LastCoverValueId ? LimitKind::Answer : LimitKind::Own;
    case QueryType::Text:
    case QueryType::Other:
        break;
    }
    return LimitKind::Own;
}

bool isCoverField(const QString& field) {
    return field.startsWith(QLatin1Char('c'), Qt::CaseInsensitive);
}

// Sets a column's value, replacing an earlier value of the same column (ignoring case).
void put(ColumnValues& values, const QString& column, const QVariant& value) {
    for (auto& entry : values)
        if (entry.first.compare(column, Qt::CaseInsensitive) == 0) {
            entry.second = value;
            return;
        }
    values.emplace_back(column, value);
}

const BoxValue* findBox(const BoxValues& boxes, const QString& field) {
    for (const BoxValue& box : boxes)
        if (box.field.compare(field, Qt::CaseInsensitive) == 0)
            return &box;
    return nullptr;
}
} // namespace

BoxKind boxKindOf(const QString& column) {
    switch (columnKind(column)) {
    case ColumnKind::Text:
        return BoxKind::Text;
    case ColumnKind::Code:
    case ColumnKind::CodeNumber:
    case ColumnKind::Count:
    case ColumnKind::YesNo:
    case ColumnKind::Choice:
        return BoxKind::Number;
    case ColumnKind::RowNumber:
    case ColumnKind::Stamp:
    case ColumnKind::State:
        break;
    }
    return BoxKind::None;
}

RecordState recordStateOf(SaveMode mode) {
    switch (mode) {
    case SaveMode::Held:
        return RecordState::Held;
    case SaveMode::WithErrors:
        return RecordState::WithErrors;
    case SaveMode::Clean:
        break;
    }
    return RecordState::Clean;
}

const TFieldDataArray& builtInDictionary() {
    static const TFieldDataArray dictionary = [] {
        TFieldDataArray fields;
        auto add = [&fields](const char* name, ColumnKind kind, qint64 id) {
            TFieldData field;
            field.id = id;
            field.fieldName = QString::fromLatin1(name);
            field.showName = field.fieldName;
            field.queryType = queryTypeOf(kind);
            field.sequence = int(fields.size()) + 1;
            fields.push_back(field);
        };
        const std::pair<const char*, qint64> coverIds[] = {
            {"c901", 1}, {"c902", 2}, {"c903", 3}, {"c904", 4},  {"c905", 5}, {"c906", 6},
            {"c907", 9}, {"c909", 7}, {"c912", 8}, {"c910", 10}, {"c911", 11}};
        for (const auto& [name, id] : coverIds)
            add(name, columnKind(QString::fromLatin1(name)), id);
        for (const SurveyColumn& column : surveyColumns())
            add(column.name, column.kind, qint64(fields.size()) + 1);
        return fields;
    }();
    return dictionary;
}

EntryRecord::EntryRecord(const TFieldDataArray& dictionary) : m_dictionary(dictionary) {}

const TFieldDataArray& EntryRecord::dictionary() const {
    return m_dictionary.empty() ? builtInDictionary() : m_dictionary;
}

std::vector<BoxLimits> EntryRecord::boxLimits() const {
    std::vector<BoxLimits> all;
    for (const TFieldData& field : dictionary()) {
        BoxLimits limits;
        limits.field = field.fieldName;
        limits.box = boxKindOf(field.fieldName);
        if (limits.box == BoxKind::None)
            continue;
        if (limits.box == BoxKind::Text) {
            limits.blankWhenNew = field.queryType == QueryType::Text;
        } else {
            limits.kind = limitKindOf(field);
            limits.maximum = limits.kind == LimitKind::Answer ? LargestAnswer : LargestCount;
            limits.maxDigits = limits.kind == LimitKind::Answer ? 1 : 0;
            limits.blankWhenNew = limits.kind != LimitKind::Own;
        }
        all.push_back(limits);
    }
    return all;
}

BoxValues EntryRecord::loadedValues(const StoredRecord& record, RecordPart part) const {
    BoxValues boxes;
    for (const TFieldData& field : dictionary()) {
        if (isCoverField(field.fieldName) != (part == RecordPart::Cover))
            continue;
        const QVariant value = record.value(field.fieldName);
        BoxValue box;
        box.field = field.fieldName;
        box.box = boxKindOf(field.fieldName);
        if (box.box == BoxKind::None)
            continue;
        if (box.box == BoxKind::Text)
            box.text = value.toString();
        else
            // Numbers are stored as floating values; the other classes as whole numbers.
            box.number = field.queryType == QueryType::Number ? qint64(value.toDouble()) : value.toLongLong();
        boxes.push_back(box);
    }
    return boxes;
}

UnionCode EntryRecord::storedCode(const StoredRecord& record) {
    return UnionCode(record.value(QStringLiteral("c901")).toDouble());
}

BoxValues EntryRecord::settleAnswers(BoxValues& boxes) const {
    BoxValues changed;
    for (const TFieldData& field : dictionary()) {
        if (field.queryType != QueryType::Answer)
            continue;
        for (BoxValue& box : boxes)
            if (box.box == BoxKind::Number && box.number > LargestAnswer &&
                box.field.compare(field.fieldName, Qt::CaseInsensitive) == 0) {
                box.number = LargestAnswer;
                changed.push_back(box);
            }
    }
    return changed;
}

ColumnValues EntryRecord::columnsToWrite(const BoxValues& boxes, SaveMode mode, const QString& stamp,
                                         bool domainNamed) const {
    ColumnValues values;
    for (const TFieldData& field : dictionary()) {
        const BoxValue* box = findBox(boxes, field.fieldName);
        if (!box)
            continue;
        if (box->box == BoxKind::Text)
            put(values, field.fieldName, box->text.trimmed());
        else if (field.queryType == QueryType::Number)
            put(values, field.fieldName, double(box->number));
        else
            put(values, field.fieldName, box->number);
    }
    const BoxValue* domain = findBox(boxes, QStringLiteral("c907"));
    if ((!domain || domain->text.isEmpty()) && !domainNamed)
        put(values, QStringLiteral("c907"), NoDomainCode);
    put(values, QStringLiteral("RecordState"), int(recordStateOf(mode)));
    put(values, QStringLiteral("c900"), stamp);
    return values;
}

} // namespace corvalis::records
