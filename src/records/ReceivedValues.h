#pragma once

#include "ReceivedIndexes.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// A record of a received file that holds values no entry path can produce: its code as stored (in
// the engine's quoted form, cut short) and the columns at fault.
struct RefusedRecord {
    QString code;
    QStringList columns;
};
using RefusedRecords = std::vector<RefusedRecord>;

// At most this many refused records are listed; one is enough to refuse a file.
constexpr int RefusedRecordListLimit = 1000;

// The condition, in the engine's dialect, that a value of the column meets when a received record may
// hold it; empty for a column the survey does not know (a database may add columns of its own).
QString receivedValueCondition(const QString& column, bool withStateTable);

// The condition, over the columns of the open database's dt_data, that a received record meets
// when it may be taken: 1 or 0, never null.
QString receivedRecordCondition(engine::Connection& connection);

// The records of a table with dt_data's columns (a received file's "alias.dt_data", or the scratch
// table) that hold values outside what the entry form can write, in the table's order, at most
// RefusedRecordListLimit of them. One pass of the engine over the table.
RefusedRecords refusedRecords(engine::Connection& connection, const QString& table);

// Whether every record of main.dt_data past the row afterRow meets receivedRecordCondition: the
// same verdict at a fraction of its cost. A function of the program looks at each record once and
// passes the values that plainly hold; the engine's condition decides only the records it cannot pass.
bool newRecordsHold(engine::Connection& connection, qint64 afterRow);

// The quick look of newRecordsHold over every record of an attached file's dt_data, on a read-only
// connection and a thread of its own: it runs beside a copy of the same records. When the file
// declares dt_data as the open database does, the records are read straight from the file's pages
// (the copy moves them as stored); otherwise, or when the pages are not plain enough for that, the
// engine reads them under the work limit of received files. recordsPlainlyHold() waits for it: true
// when the look passed every record, and as many as were copied; false when some record needs the
// engine's condition or the look could not run, and the caller checks the records itself.
//
// Given the file's indexes of dt_data, a look over the pages goes on to compare them with its rows
// (IndexesMatchRows); indexesMatchRows() waits for it and tells whether they match.
class QuickLookBeside {
public:
    QuickLookBeside(engine::Connection& connection, const QString& schema,
                    std::optional<std::vector<SimpleIndex>> indexesToCompare = std::nullopt);
    ~QuickLookBeside();
    QuickLookBeside(const QuickLookBeside&) = delete;
    QuickLookBeside& operator=(const QuickLookBeside&) = delete;
    bool recordsPlainlyHold(qint64 copiedRows);
    bool indexesMatchRows();

private:
    struct Running;
    std::unique_ptr<Running> m_running;
};

// A value a program is about to store in a table with dt_data's columns, as the engine will hold it:
// a text is UTF-8 and need not end with a NUL.
struct HeldValue {
    enum class Kind : unsigned char { Null, Whole, Real, Text };
    Kind kind = Kind::Null;
    int bytes = 0; // of a text
    union {
        qint64 whole = 0;
        double real;
        const char* text;
    };
};

// The quick look of newRecordsHold over values a program holds before it stores them: held()
// passes a record only when receivedRecordCondition passes it once the values are stored in columns
// of the same affinity as dt_data's. Columns of dt_data that are not given are null.
class HeldValuesLook {
public:
    // columns: the names of the values handed to held(), in their order; every one a column of the
    // open database's dt_data.
    HeldValuesLook(engine::Connection& connection, const QStringList& columns);
    ~HeldValuesLook();
    HeldValuesLook(const HeldValuesLook&) = delete;
    HeldValuesLook& operator=(const HeldValuesLook&) = delete;
    // Whether the look can pass any record at all.
    bool usable() const { return m_usable; }
    bool held(const HeldValue* values) const;

private:
    struct Look;
    std::unique_ptr<Look> m_look;
    bool m_usable = false;
};

} // namespace corvalis::records
