#pragma once

#include "app/FieldDictionary.h"
#include "app/UnionCode.h"
#include "records/RecordStore.h"

#include <QString>
#include <vector>

namespace corvalis::records {

// The largest count a survey box takes: fourteen digits.
constexpr qint64 LargestCount = 99999999999999LL;
// The largest answer of a yes/no or choice question.
constexpr qint64 LargestAnswer = 2;

// The box the entry form shows for a dt_data column: a numeric box for the codes, counts and
// answers, a text box for the texts, none for the row number, the stamp and the state.
enum class BoxKind { None, Number, Text };
BoxKind boxKindOf(const QString& column);

// The limits a numeric box takes from its dictionary entry. Own: the box keeps the limits the form
// gave it (the cover's codes and the union code); Count: 0 up to LargestCount with no digit limit;
// Answer: 0 to LargestAnswer in one digit.
enum class LimitKind { Own, Count, Answer };

// What a dictionary entry means for its box: the limits of a numeric box, and whether a new record
// starts with the box blank (a numeric box at 0, a text box empty).
struct BoxLimits {
    QString field; // the column name as the dictionary spells it
    BoxKind box = BoxKind::None;
    LimitKind kind = LimitKind::Own;
    qint64 minimum = 0;
    qint64 maximum = 0;
    int maxDigits = 0; // 0 for no limit
    bool blankWhenNew = false;
};

// The value of one box: a whole number for a numeric box, a text for a text box.
struct BoxValue {
    QString field;
    BoxKind box = BoxKind::Number;
    qint64 number = 0;
    QString text;
};
using BoxValues = std::vector<BoxValue>;

// The two parts of a record that load separately: the cover columns (c...) and the survey tables.
enum class RecordPart { Cover, Survey };

// How the form saves: held (temporarily, without the check), or formally with or without errors
// found by the logic check.
enum class SaveMode { Held, WithErrors, Clean };

// The RecordState a record is stored with.
enum class RecordState { Held = 0, Clean = 1, WithErrors = 2 };
RecordState recordStateOf(SaveMode mode);

// The domain code stored for a record without an industry category.
inline const QString NoDomainCode = QStringLiteral("Z00");

// The record of the entry form as the field dictionary describes it, without widgets: the limits of
// the boxes, the box values of a stored record, and the column values that a save writes. An empty
// dictionary stands for the shipped one, so that a database without dictionary rows still reads and
// writes every column.
class EntryRecord {
public:
    // The record follows the dictionary it is given, which must outlive it (the session's dictionary
    // changes with the database).
    explicit EntryRecord(const TFieldDataArray& dictionary);
    explicit EntryRecord(TFieldDataArray&&) = delete;

    const TFieldDataArray& dictionary() const;

    // The limits of every box the dictionary names, in dictionary order.
    std::vector<BoxLimits> boxLimits() const;

    // The box values of one part of a stored record, in dictionary order.
    BoxValues loadedValues(const StoredRecord& record, RecordPart part) const;
    // The code a stored record is kept under.
    static UnionCode storedCode(const StoredRecord& record);

    // Brings answers above LargestAnswer down to it; returns the values that changed, so the form
    // can show what is written.
    BoxValues settleAnswers(BoxValues& boxes) const;
    // The columns and values a save writes, in dictionary order, then RecordState and the stamp. A
    // record with neither a domain code nor a domain name is stored under NoDomainCode; texts are
    // written trimmed, numbers of the Number class as floating values.
    ColumnValues columnsToWrite(const BoxValues& boxes, SaveMode mode, const QString& stamp,
                                bool domainNamed) const;

private:
    const TFieldDataArray& m_dictionary;
};

// The shipped dictionary's entries for the form's columns, for a database whose dictionary is empty.
const TFieldDataArray& builtInDictionary();

} // namespace corvalis::records
