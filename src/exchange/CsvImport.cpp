#include "CsvImport.h"

#include "ConflictReport.h"
#include "DataFile.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/GbkText.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"
#include "app/engine/WritebackAhead.h"
#include "records/ReceivedIndexes.h"
#include "records/ReceivedValues.h"
#include "records/RowNumbering.h"
#include "records/TablePagesWriter.h"
#include "records/TransferCopy.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace corvalis::exchange {

namespace {

struct CsvColumn {
    QString name; // as dt_data names it
    bool text = false;
};

// The columns the header names, matched to dt_data; empty when the header is not acceptable.
std::vector<CsvColumn> headerColumns(engine::Connection& db, const QString& header) {
    QStringList names = header.split(QLatin1Char(','));
    if (!names.isEmpty() && names.last().trimmed().isEmpty())
        names.removeLast();
    engine::Statement info(db, QStringLiteral("select name, type from pragma_table_info('dt_data')"));
    QHash<QString, CsvColumn> known;
    while (info.step()) {
        const engine::ColumnType type = engine::columnTypeFromDeclaration(info.text(1));
        known.insert(info.text(0).toLower(), {info.text(0), type == engine::ColumnType::Text});
    }
    std::vector<CsvColumn> columns;
    QSet<QString> seen;
    for (const QString& raw : names) {
        const QString name = raw.trimmed().toLower();
        if (!known.contains(name) || seen.contains(name))
            return {};
        seen.insert(name);
        columns.push_back(known.value(name));
    }
    if (!seen.contains(QStringLiteral("c901")))
        return {};
    return columns;
}

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isAscii(QByteArrayView bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

QByteArrayView trimmedAscii(QByteArrayView bytes) {
    while (!bytes.isEmpty() && isAsciiSpace(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isAsciiSpace(bytes.back()))
        bytes.chop(1);
    return bytes;
}

// A whole number of at most 18 digits with an optional minus sign: the form every exported
// number has. Anything else goes the way of the text conversion.
bool plainWholeNumber(QByteArrayView digits, qint64& value) {
    const bool negative = !digits.isEmpty() && digits.front() == '-';
    if (negative)
        digits = digits.sliced(1);
    if (digits.isEmpty() || digits.size() > 18)
        return false;
    qint64 result = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
    }
    value = negative ? -result : result;
    return true;
}

// A line that holds nothing but white space (as QString::trimmed sees it) is passed over.
bool isBlankLine(QByteArrayView line) {
    bool ascii = true;
    for (const char c : line) {
        if (static_cast<unsigned char>(c) >= 0x80)
            ascii = false;
        else if (!isAsciiSpace(c))
            return false;
    }
    return ascii || fromGbk(line.toByteArray()).trimmed().isEmpty();
}

// Reads a GBK text file line by line through a buffer of fixed size, so that memory stays the same
// whatever the size of the file. Lines end with LF or CR LF; a last line without an end counts.
class GbkLineReader {
public:
    explicit GbkLineReader(const QString& path) : m_file(path) {
        if (!m_file.open(QIODevice::ReadOnly))
            throw FileError(QStringLiteral("无法打开文件“%1”：%2").arg(path, m_file.errorString()));
        m_size = m_file.size();
        m_buffer.resize(ChunkSize);
    }

    // The next line without its end; valid until the next call. False after the last line.
    bool next(QByteArrayView& line) {
        for (;;) {
            const char* from = m_buffer.constData() + m_start;
            const auto* end = static_cast<const char*>(memchr(from, '\n', size_t(m_end - m_start)));
            if (end) {
                qsizetype length = end - from;
                m_start += length + 1;
                if (length > 0 && from[length - 1] == '\r')
                    --length;
                line = QByteArrayView(from, length);
                return true;
            }
            if (m_atEnd) {
                if (m_start == m_end)
                    return false;
                line = QByteArrayView(from, m_end - m_start);
                m_start = m_end;
                return true;
            }
            refill();
        }
    }

    qint64 consumed() const { return m_read - (m_end - m_start); }
    qint64 size() const { return m_size; }

private:
    static constexpr qsizetype ChunkSize = 1 << 20;

    void refill() {
        const qsizetype kept = m_end - m_start;
        if (m_start > 0 && kept > 0)
            memmove(m_buffer.data(), m_buffer.constData() + m_start, size_t(kept));
        m_start = 0;
        m_end = kept;
        if (m_end == m_buffer.size()) // a line longer than the buffer
            m_buffer.resize(m_buffer.size() * 2);
        const qint64 got = m_file.read(m_buffer.data() + m_end, m_buffer.size() - m_end);
        if (got < 0)
            throw FileError(
                QStringLiteral("读取文件“%1”时出错：%2").arg(m_file.fileName(), m_file.errorString()));
        m_read += got;
        m_end += qsizetype(got);
        m_atEnd = got == 0;
    }

    QFile m_file;
    QByteArray m_buffer;
    qsizetype m_start = 0;
    qsizetype m_end = 0;
    qint64 m_read = 0;
    qint64 m_size = 0;
    bool m_atEnd = false;
};

// Splits a line at its commas into views of it, in a list used again from line to line. Fields are
// a few bytes long: a plain loop costs less than a search call for each.
void splitFields(QByteArrayView line, std::vector<QByteArrayView>& fields) {
    fields.clear();
    const char* from = line.data();
    const char* const end = from + line.size();
    for (const char* at = from; at != end; ++at)
        if (*at == ',') {
            fields.emplace_back(from, at - from);
            from = at + 1;
        }
    fields.emplace_back(from, end - from);
}

using records::HeldValue;

// Lines read and parsed ahead of the statement that stores them. Texts point into the batch's own
// buffer, reserved in advance so that it never moves while the batch fills. Batches are used again,
// so that their memory is taken once.
struct ParsedBatch {
    std::vector<HeldValue> values; // one row after the other, room for a whole batch
    std::vector<char> texts;
    int rows = 0;
    qint64 consumed = 0;        // bytes of the file read up to the batch's last line
    std::exception_ptr failure; // a bad line or a read error after the batch's rows
    bool last = false;
    int pending = 0; // readers yet to take it

    void clear() {
        texts.clear();
        rows = 0;
        failure = nullptr;
        last = false;
    }
};

// What the reading found out beside the values, so that the engine need not look again.
struct StageFindings {
    bool valuesPlainlyHold = true; // the quick look passed every record
    bool codesAscend = true;       // every code a number, each larger than the one before
    double firstCode = 0;
    double lastCode = 0;
    qint64 rows = 0;
    qint64 firstRow = 0; // the rowids the records were stored under
    qint64 lastRow = 0;
};

// Hands batches from the reading thread to the threads that store them (each sees every batch) and
// back, a few at a time, so that memory stays the same whatever the size of the file.
class BatchQueue {
public:
    explicit BatchQueue(int readers) : m_full(size_t(readers)) {}

    // Waits while a reader is Depth batches behind.
    void push(ParsedBatch* batch) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopped || !anyReaderBehind(); });
        if (m_stopped)
            return;
        batch->pending = int(m_full.size());
        for (auto& batches : m_full)
            batches.push_back(batch);
        m_changed.notify_all();
    }
    // The next batch for a reader; null once the queue is stopped.
    ParsedBatch* pop(int reader) {
        std::unique_lock<std::mutex> lock(m_mutex);
        auto& batches = m_full[size_t(reader)];
        m_changed.wait(lock, [this, &batches] { return m_stopped || !batches.empty(); });
        if (batches.empty())
            return nullptr;
        ParsedBatch* batch = batches.front();
        batches.pop_front();
        m_changed.notify_all();
        return batch;
    }
    // A reader is done with a batch; after the last one it is filled again.
    void done(ParsedBatch* batch) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (--batch->pending == 0)
            m_empty.push_back(batch);
    }
    ParsedBatch* emptyBatch() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_empty.empty()) {
            m_all.push_back(std::make_unique<ParsedBatch>());
            return m_all.back().get();
        }
        ParsedBatch* batch = m_empty.back();
        m_empty.pop_back();
        batch->clear();
        return batch;
    }
    void stop() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }
    bool stopped() const { return m_stopped; }

private:
    static constexpr size_t Depth = 4;
    bool anyReaderBehind() const {
        for (const auto& batches : m_full)
            if (batches.size() >= Depth)
                return true;
        return false;
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<ParsedBatch>> m_all;
    std::vector<std::deque<ParsedBatch*>> m_full; // per reader
    std::vector<ParsedBatch*> m_empty;
    std::atomic<bool> m_stopped{false}; // read without the lock by the parser
};

void bindValue(engine::Statement& insert, int position, const HeldValue& value) {
    switch (value.kind) {
    case HeldValue::Kind::Whole:
        insert.bindInt64(position, value.whole);
        break;
    case HeldValue::Kind::Real:
        insert.bindDouble(position, value.real);
        break;
    case HeldValue::Kind::Text:
        insert.bindBorrowedText(position, value.text, value.bytes);
        break;
    case HeldValue::Kind::Null:
        insert.bindNull(position);
        break;
    }
}

// Binds the width values of a row from position first on; returns the values after them.
const HeldValue* bindRow(engine::Statement& insert, int first, const HeldValue* values, int width) {
    for (int position = first; position < first + width; ++position)
        bindValue(insert, position, *values++);
    return values;
}

// The position of a name among names, in any case; -1 when it is not there.
int indexIgnoringCase(const QStringList& names, const QString& name) {
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// The records a second time, in dt_data's own layout and numbered, in a file of their own, built by
// the reading thread while the scratch table fills. dt_data can then take them as stored, page by
// page, instead of packing every record again. Any failure here only means the records are taken
// from the scratch table instead.
class DataLayoutCopy {
public:
    DataLayoutCopy(engine::Connection& db, const QStringList& stored, qint64 largestId)
        : m_largestId(largestId), m_nextId(largestId + 1) {
        const QString made =
            db.scalar(
                  QStringLiteral("select sql from main.sqlite_master where type='table' and name='dt_data'"))
                .toString();
        QStringList names, values;
        for (const QString& name : tableColumns(db, QStringLiteral("dt_data"))) {
            names << engine::quotedIdentifier(name);
            const int at = indexIgnoringCase(stored, name);
            if (name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
                values << QStringLiteral("?1");
            else
                values << (at >= 0 ? QStringLiteral("?%1").arg(at + 2) : QStringLiteral("NULL"));
        }
        // The claimed empty file becomes the database; a run killed meanwhile leaves it unclaimed,
        // and the next start removes it. A file for this import alone: it need not survive a crash.
        m_file.open(m_claim.path());
        m_file.executeScript(QStringLiteral("pragma journal_mode=off; pragma synchronous=off"));
        m_file.execute(made);
        m_file.begin();
        m_insert.emplace(m_file, QStringLiteral("insert into dt_data(%1) values (%2)")
                                     .arg(names.join(QLatin1Char(',')), values.join(QLatin1Char(','))));
    }
    ~DataLayoutCopy() {
        m_insert.reset();
        m_file.close();
    }
    DataLayoutCopy(const DataLayoutCopy&) = delete;
    DataLayoutCopy& operator=(const DataLayoutCopy&) = delete;

    const QString& path() const { return m_claim.path(); }
    qint64 rows() const { return m_rows; }
    // The largest id of dt_data the records are numbered after.
    qint64 largestId() const { return m_largestId; }

    // On the reading thread, after each batch.
    void add(const ParsedBatch& batch, int width) {
        if (m_failed)
            return;
        try {
            const HeldValue* value = batch.values.data();
            for (int r = 0; r < batch.rows; ++r) {
                m_insert->bindInt64(1, m_nextId++);
                value = bindRow(*m_insert, 2, value, width);
                m_insert->run();
                m_insert->reset();
                ++m_rows;
            }
        } catch (...) {
            // Only the copy is given up: the records still come from the scratch table.
            m_failed = true;
        }
    }
    // Whether every record is in the file, stored for good.
    bool finish() {
        if (m_failed)
            return false;
        try {
            m_insert.reset();
            m_file.commit();
            m_file.close();
            return true;
        } catch (const Error&) {
            return false;
        }
    }

private:
    LockedTempFile m_claim{QStringLiteral("~SM")}; // removed after the connection closes
    engine::Connection m_file;
    std::optional<engine::Statement> m_insert;
    const qint64 m_largestId;
    qint64 m_nextId;
    qint64 m_rows = 0;
    bool m_failed = false;
};

// The records twice, in the scratch table's layout and in dt_data's (numbered), written straight
// into the pages of a file of their own while the lines are read: the engine then takes both tables
// as stored, page by page, without packing a record. Only values whose stored form is plain are
// written so (whole numbers, texts in text columns, nulls); any other makes add() refuse the record.
class BuiltRecords {
public:
    BuiltRecords(engine::Connection& db, const QStringList& stored, qint64 largestId)
        : m_largestId(largestId), m_nextId(largestId + 1) {
        QStringList made;
        for (const QString& table : {QStringLiteral("dt_data_dt_data"), QStringLiteral("dt_data")}) {
            made << db.scalar(
                          QStringLiteral("select sql from main.sqlite_master where type='table' and name=?1"),
                          {table})
                        .toString();
            if (!plainRowidTable(db, table, made.back()))
                throw Error(QStringLiteral("表“%1”的定义不宜直接写入。").arg(table));
            m_layouts.push_back(layoutOf(db, table, stored));
        }
        m_numberAt = numberedAlike(m_layouts[0], m_layouts[1]);
        addIndexes(db, made);
        m_writer.emplace(m_claim.path(), made);
    }

    const QString& path() const { return m_claim.path(); }
    qint64 largestId() const { return m_largestId; }
    // Whether dt_data's indexes are in the file too, each entry in its place.
    bool indexesBuilt() const { return !m_indexes.empty() && m_indexesInOrder; }

    bool add(const HeldValue* row) {
        if (m_numberAt >= 0 ? !addAlike(row) : !addApart(row))
            return false;
        if (m_indexesInOrder && !addIndexEntries(row))
            return false;
        ++m_nextId;
        return true;
    }
    // Indexes given up on the way go: no statement may find them wanting.
    void finish() {
        m_writer->finish();
        if (m_indexes.empty() || m_indexesInOrder)
            return;
        engine::Connection file(m_claim.path());
        for (const Index& index : m_indexes)
            file.execute(QStringLiteral("drop index %1").arg(engine::quotedIdentifier(index.name)));
    }

private:
    enum class Affinity { Integer, Text, Real, Other };
    static constexpr int NoValue = -1;
    static constexpr int Number = -2; // the record's id in dt_data
    struct Column {
        int value; // the position among the stored values, or NoValue or Number
        Affinity affinity;
        bool notNull = false;
    };

    // The position of dt_data's id when the two layouts differ in nothing else; -1 otherwise.
    static int numberedAlike(const std::vector<Column>& scratch, const std::vector<Column>& data) {
        int numberAt = -1;
        for (size_t i = 0; i < data.size(); ++i)
            if (data[i].value == Number)
                numberAt = int(i);
        if (numberAt < 0 || scratch.size() != data.size() || scratch[size_t(numberAt)].value != NoValue)
            return -1;
        for (size_t i = 0; i < data.size(); ++i)
            if (int(i) != numberAt &&
                (data[i].value != scratch[i].value || data[i].affinity != scratch[i].affinity))
                return -1;
        return numberAt;
    }

    // Builds the scratch table's record and makes dt_data's from it, the null id numbered.
    bool addAlike(const HeldValue* row) {
        m_record.clear();
        const std::vector<Column>& layout = m_layouts[0];
        size_t typeAt = 0, bodyAt = 0;
        for (size_t i = 0; i < layout.size(); ++i) {
            if (int(i) == m_numberAt) {
                typeAt = m_record.typeBytes();
                bodyAt = m_record.bodyBytes();
            }
            if (!addValue(layout[i], row))
                return false;
        }
        m_numbered.assignWithInteger(m_record, typeAt, bodyAt, m_nextId);
        return m_writer->append(0, m_record) && m_writer->append(1, m_numbered);
    }

    bool addApart(const HeldValue* row) {
        for (size_t table = 0; table < m_layouts.size(); ++table) {
            m_record.clear();
            for (const Column& column : m_layouts[table])
                if (!addValue(column, row))
                    return false;
            if (!m_writer->append(int(table), m_record))
                return false;
        }
        return true;
    }

    // Into an empty dt_data the engine takes the file's indexes as stored, which saves building
    // them: entries of whole numbers are written beside the rows while each key follows the one
    // before in the index's order (the numbers, and codes that ascend as exported). Once one does
    // not, the indexes are given up, and dt_data's are built by the engine.
    struct Index {
        QString name;
        int tree;
        int column; // in dt_data
        bool unique;
        qint64 lastKey = 0;
    };

    void addIndexes(engine::Connection& db, QStringList& made) {
        if (db.scalar(QStringLiteral("select exists(select 1 from main.dt_data)")).toBool())
            return;
        const std::optional<std::vector<records::SimpleIndex>> simple =
            records::simpleIndexes(db, QStringLiteral("main"));
        if (!simple)
            return;
        for (const records::SimpleIndex& index : *simple) {
            engine::Statement named(db, QStringLiteral("select name, sql from main.sqlite_master where "
                                                       "type='index' and rootpage=?1 and sql is not null"));
            named.bindInt64(1, index.rootPage);
            if (!named.step()) // a UNIQUE constraint's index; the table's statement makes it
                continue;
            m_indexes.push_back({named.text(0), int(made.size()), index.column, index.unique});
            made << named.text(1);
        }
    }

    bool addIndexEntries(const HeldValue* row) {
        const qint64 rowid = m_nextId - m_largestId;
        for (Index& index : m_indexes) {
            const Column& column = m_layouts[1][size_t(index.column)];
            qint64 key = m_nextId;
            if (column.value != Number) {
                const HeldValue* value = column.value >= 0 ? &row[column.value] : nullptr;
                if (!value || value->kind != HeldValue::Kind::Whole) {
                    m_indexesInOrder = false;
                    return true;
                }
                key = value->whole;
            }
            const bool inOrder = rowid == 1 || key > index.lastKey || (!index.unique && key == index.lastKey);
            if (!inOrder) {
                m_indexesInOrder = false;
                return true;
            }
            index.lastKey = key;
            m_entry.clear();
            m_entry.addInteger(key);
            m_entry.addInteger(rowid);
            if (!m_writer->append(index.tree, m_entry))
                return false;
        }
        return true;
    }

    // Whether the engine takes the table's records from another file as they stand without judging
    // them, and they hold nothing but the declared columns: a rowid table without CHECK
    // constraints, generated columns, strict types or a primary key (whose integer one would be
    // the rowid itself). A word in a name may make a table look otherwise; it is then filled
    // through the engine, which costs only time.
    static bool plainRowidTable(engine::Connection& db, const QString& table, const QString& made) {
        static const QRegularExpression special(QStringLiteral("\\b(check|without|strict)\\b"),
                                                QRegularExpression::CaseInsensitiveOption);
        const QVariantList counts{table};
        return !made.contains(special) &&
               db.scalar(QStringLiteral("select count(*) from pragma_table_xinfo(?1)"), counts) ==
                   db.scalar(QStringLiteral("select count(*) from pragma_table_info(?1)"), counts) &&
               db.scalar(QStringLiteral("select count(*) from pragma_table_info(?1) where pk > 0"), counts)
                       .toLongLong() == 0;
    }

    // Every column's value in the table's order. A column the file leaves out is null there, which
    // the engine would not give it when either table refuses a null in it (a default of the
    // scratch table is seen to by builtRecords).
    static std::vector<Column> layoutOf(engine::Connection& db, const QString& table,
                                        const QStringList& stored) {
        engine::Statement info(db,
                               QStringLiteral("select name, type, \"notnull\" from pragma_table_info(?1)"));
        info.bind(1, table);
        const bool numbered = table == QLatin1String("dt_data");
        std::vector<Column> layout;
        while (info.step()) {
            const QString name = info.text(0);
            const int at = indexIgnoringCase(stored, name);
            const bool leftOut =
                at < 0 && !(numbered && name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0);
            if (leftOut && info.integer(2) != 0)
                throw Error(QStringLiteral("表“%1”的列“%2”不能留空。").arg(table, name));
            const QString affinity = engine::columnAffinity(info.text(1));
            Column column{at,
                          affinity == QLatin1String("integer") ? Affinity::Integer
                          : affinity == QLatin1String("text")  ? Affinity::Text
                          : affinity == QLatin1String("real")  ? Affinity::Real
                                                               : Affinity::Other,
                          info.integer(2) != 0};
            if (numbered && name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0) {
                // The trigger's numbers are stored as written only in a column that keeps whole numbers.
                if (column.affinity != Affinity::Integer && column.affinity != Affinity::Other)
                    throw Error(QStringLiteral("表“dt_data”的列“id”不是整数列。"));
                column.value = Number;
            }
            layout.push_back(column);
        }
        return layout;
    }

    // The value as the engine stores it in a column of that affinity, when that is plain: a whole
    // number stays one (in a real column, while it fits the six bytes the engine then uses), a
    // text stays one in a text column.
    bool addValue(const Column& column, const HeldValue* row) {
        if (column.value == NoValue) {
            m_record.addNull();
            return true;
        }
        if (column.value == Number) {
            m_record.addInteger(m_nextId);
            return true;
        }
        const HeldValue& value = row[column.value];
        switch (value.kind) {
        case HeldValue::Kind::Null:
            m_record.addNull();
            return !column.notNull;
        case HeldValue::Kind::Text:
            if (column.affinity != Affinity::Text)
                return false;
            m_record.addText(value.text, value.bytes);
            return true;
        case HeldValue::Kind::Whole:
            if (column.affinity == Affinity::Text ||
                (column.affinity == Affinity::Real &&
                 (value.whole > RealKeptWhole || value.whole < -RealKeptWhole - 1)))
                return false;
            m_record.addInteger(value.whole);
            return true;
        case HeldValue::Kind::Real:
            return false;
        }
        return false;
    }
    static constexpr qint64 RealKeptWhole = (qint64(1) << 47) - 1;

    LockedTempFile m_claim{QStringLiteral("~SM")};
    std::vector<std::vector<Column>> m_layouts; // the scratch table's, then dt_data's
    std::optional<records::TablePagesWriter> m_writer;
    records::EncodedRecord m_record;
    records::EncodedRecord m_numbered;
    records::EncodedRecord m_entry;
    int m_numberAt = -1;
    std::vector<Index> m_indexes;
    bool m_indexesInOrder = true;
    const qint64 m_largestId;
    qint64 m_nextId;
};

// Turns the lines after the header into held values on a thread of its own: splits them, converts
// their numbers and texts, gives each the machine stamp, and takes the quick look at each record.
class CsvParser {
public:
    CsvParser(GbkLineReader& lines, const std::vector<CsvColumn>& columns, int stampColumn,
              const QByteArray& stamp, const records::HeldValuesLook* look, int codeValue)
        : m_lines(lines), m_columns(columns), m_stampColumn(stampColumn), m_stamp(stamp), m_look(look),
          m_codeValue(codeValue), m_width(int(columns.size()) - (stampColumn >= 0 ? 1 : 0) + 1) {}

    int width() const { return m_width; }
    // Valid once the last batch was taken.
    const StageFindings& findings() const { return m_findings; }

    void run(BatchQueue& queue) {
        ParsedBatch* batch = nullptr;
        try {
            batch = queue.emptyBatch();
        } catch (...) {
            queue.stop(); // the storing side then ends the reading as interrupted
            return;
        }
        try {
            QByteArrayView line;
            for (int n = 1; !queue.stopped() && m_lines.next(line); ++n) {
                if (isBlankLine(line))
                    continue;
                if (batch->rows == BatchRows || !roomFor(*batch, line)) {
                    if (batch->rows > 0) {
                        batch->consumed = m_lines.consumed();
                        queue.push(std::exchange(batch, queue.emptyBatch()));
                    }
                    makeRoom(*batch, line);
                }
                parseLine(*batch, line, n + 1);
            }
        } catch (...) {
            batch->failure = std::current_exception();
        }
        batch->consumed = m_lines.consumed();
        batch->last = true;
        queue.push(batch);
    }

private:
    static constexpr int BatchRows = 256;
    static constexpr qsizetype BatchTextBytes = 256 * 1024;

    // A GBK byte becomes at most three bytes of UTF-8.
    static qsizetype textRoom(qsizetype lineBytes) { return 3 * lineBytes + 16; }

    static bool roomFor(const ParsedBatch& batch, QByteArrayView line) {
        return qsizetype(batch.texts.capacity() - batch.texts.size()) >= textRoom(line.size());
    }

    // Only for a batch without rows: nothing points into its texts yet.
    void makeRoom(ParsedBatch& batch, QByteArrayView line) const {
        batch.texts.reserve(size_t(std::max(BatchTextBytes, textRoom(line.size()))));
        batch.values.resize(size_t(BatchRows) * size_t(m_width));
    }

    const char* keep(ParsedBatch& batch, const char* bytes, qsizetype size) {
        char* at = batch.texts.data() + batch.texts.size();
        batch.texts.insert(batch.texts.end(), bytes, bytes + size);
        Q_ASSERT(at == batch.texts.data() + batch.texts.size() - size);
        return at;
    }

    HeldValue textValue(ParsedBatch& batch, QByteArrayView part) {
        HeldValue value;
        value.kind = HeldValue::Kind::Text;
        if (isAscii(part)) {
            value.text = keep(batch, part.data(), part.size());
            value.bytes = int(part.size());
        } else {
            utf8FromGbk(part, m_converted);
            value.text = keep(batch, m_converted.constData(), m_converted.size());
            value.bytes = int(m_converted.size());
        }
        return value;
    }

    // A whole number when the value is one, else a decimal number; the text conversion decides
    // what the plain form does not.
    HeldValue numberValue(QByteArrayView part, int line, const QString& column) const {
        HeldValue value;
        qint64 whole = 0;
        if (plainWholeNumber(trimmedAscii(part), whole)) {
            value.kind = HeldValue::Kind::Whole;
            value.whole = whole;
            return value;
        }
        const QString written = fromGbk(part.toByteArray());
        const QStringView text = QStringView(written).trimmed();
        bool ok = false;
        whole = text.toLongLong(&ok);
        if (ok) {
            value.kind = HeldValue::Kind::Whole;
            value.whole = whole;
            return value;
        }
        const double real = text.toDouble(&ok);
        if (!ok)
            throw EngineError(
                QStringLiteral("第 %1 行“%2”的值“%3”不是数字。").arg(line).arg(column, written));
        value.kind = HeldValue::Kind::Real;
        value.real = real;
        return value;
    }

    void parseLine(ParsedBatch& batch, QByteArrayView line, int lineNumber) {
        splitFields(line, m_parts);
        // Every value is followed by ",", so one empty part more is the exported form.
        if (m_parts.size() == m_columns.size() + 1 && m_parts.back().isEmpty())
            m_parts.pop_back();
        if (m_parts.size() != m_columns.size())
            throw EngineError(QStringLiteral("第 %1 行有 %2 个值，标题行有 %3 列。")
                                  .arg(lineNumber)
                                  .arg(m_parts.size())
                                  .arg(m_columns.size()));
        HeldValue* row = batch.values.data() + size_t(batch.rows) * size_t(m_width);
        HeldValue* value = row;
        for (size_t i = 0; i < m_columns.size(); ++i) {
            if (int(i) == m_stampColumn)
                continue;
            *value++ = m_columns[i].text ? textValue(batch, m_parts[i])
                                         : numberValue(m_parts[i], lineNumber, m_columns[i].name);
        }
        value->kind = HeldValue::Kind::Text;
        value->text = m_stamp.constData();
        value->bytes = int(m_stamp.size());
        ++batch.rows;
        note(row);
    }

    void note(const HeldValue* row) {
        if (m_findings.valuesPlainlyHold && !(m_look && m_look->held(row)))
            m_findings.valuesPlainlyHold = false;
        if (m_findings.codesAscend)
            noteCode(row[m_codeValue]);
        ++m_findings.rows;
    }

    // Codes within 2^53 compare the same as whole numbers and as the engine's floating values.
    void noteCode(const HeldValue& value) {
        constexpr double Exact = 9007199254740992.0;
        double code = 0;
        if (value.kind == HeldValue::Kind::Whole && value.whole > -Exact && value.whole < Exact)
            code = double(value.whole);
        else if (value.kind == HeldValue::Kind::Real && value.real > -Exact && value.real < Exact)
            code = value.real;
        else {
            m_findings.codesAscend = false;
            return;
        }
        if (m_findings.rows > 0 && !(code > m_findings.lastCode)) {
            m_findings.codesAscend = false;
            return;
        }
        if (m_findings.rows == 0)
            m_findings.firstCode = code;
        m_findings.lastCode = code;
    }

    GbkLineReader& m_lines;
    const std::vector<CsvColumn>& m_columns;
    const int m_stampColumn;
    const QByteArray& m_stamp;
    const records::HeldValuesLook* m_look;
    const int m_codeValue;
    const int m_width;
    std::vector<QByteArrayView> m_parts;
    QByteArray m_converted; // UTF-8 of a non-ASCII text, its capacity used again
    StageFindings m_findings;
};

// The parser's thread and the data-layout copy's, if any. finish() waits for both to have taken the
// last batch; leaving the scope before stops them.
class ReadingThreads {
public:
    ReadingThreads(CsvParser& parser, DataLayoutCopy* copy, BatchQueue& queue) : m_queue(queue) {
        try {
            m_parser = std::thread([&parser, &queue] { parser.run(queue); });
            if (copy)
                m_copy = std::thread([copy, &queue, width = parser.width()] {
                    while (ParsedBatch* batch = queue.pop(1)) {
                        if (!batch->failure)
                            copy->add(*batch, width);
                        const bool last = batch->last;
                        queue.done(batch);
                        if (last)
                            return;
                    }
                });
        } catch (const std::system_error& error) {
            // No thread may be left running when the import gives up.
            m_queue.stop();
            join();
            throw Error(QStringLiteral("无法开始读取文件：%1").arg(QString::fromLocal8Bit(error.what())));
        }
    }
    ~ReadingThreads() {
        m_queue.stop();
        join();
    }
    ReadingThreads(const ReadingThreads&) = delete;
    ReadingThreads& operator=(const ReadingThreads&) = delete;
    void finish() { join(); }

private:
    void join() {
        for (std::thread* thread : {&m_parser, &m_copy})
            if (thread->joinable())
                thread->join();
    }
    BatchQueue& m_queue;
    std::thread m_parser;
    std::thread m_copy;
};

// The names of the stored values in their order: the header's columns but c900, then c900.
QStringList storedColumns(const std::vector<CsvColumn>& columns, int stampColumn) {
    QStringList names;
    for (size_t i = 0; i < columns.size(); ++i)
        if (int(i) != stampColumn)
            names << columns[i].name;
    names << QStringLiteral("c900");
    return names;
}

int codeValueOf(const QStringList& names) {
    return indexIgnoringCase(names, QStringLiteral("c901"));
}

int stampColumnOf(const std::vector<CsvColumn>& columns) {
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(QLatin1String("c900"), Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

// Takes the parsed batches in order and hands each to take(), until the last: then true. A batch's
// failure (a bad line, a read error) is raised after its rows, and the progress shown after each.
// False, at once, when take() gives up on a batch.
template <typename Take>
bool takeBatches(BatchQueue& queue, const GbkLineReader& lines, const std::function<void(int)>& percent,
                 Take take) {
    int shown = -1;
    for (;;) {
        ParsedBatch* batch = queue.pop(0);
        if (!batch)
            throw Error(QStringLiteral("读取文件时中断。"));
        if (!take(*batch))
            return false;
        if (batch->failure)
            std::rethrow_exception(batch->failure);
        const int now = lines.size() > 0 ? int(batch->consumed * 100 / lines.size()) : 100;
        if (percent && now != shown)
            percent(shown = now);
        if (batch->last)
            return true;
        queue.done(batch);
    }
}

// Stages the lines after the header in the table in one transaction. A second thread reads and
// parses the file while this one stores the rows; memory holds a few batches of lines at a time.
StageFindings stageLines(engine::Connection& db, const QString& table, GbkLineReader& lines,
                         const std::vector<CsvColumn>& columns, const QString& machineStamp,
                         const records::HeldValuesLook* look, DataLayoutCopy* copy,
                         const std::function<void(int)>& percent) {
    const int stampColumn = stampColumnOf(columns);
    const QStringList names = storedColumns(columns, stampColumn);
    QStringList quoted, marks;
    for (const QString& name : names) {
        quoted << engine::quotedIdentifier(name);
        marks << QStringLiteral("?");
    }
    const QByteArray stamp = machineStamp.toUtf8();
    engine::Transaction transaction(db);
    const engine::WritebackAhead writeback(db);
    engine::Statement insert(db,
                             QStringLiteral("insert into %1(%2) values (%3)")
                                 .arg(table, quoted.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    CsvParser parser(lines, columns, stampColumn, stamp, look, codeValueOf(names));
    BatchQueue queue(copy ? 2 : 1);
    ReadingThreads threads(parser, copy, queue);
    const int width = parser.width();
    qint64 firstRow = 0, lastRow = 0;
    takeBatches(queue, lines, percent, [&](const ParsedBatch& batch) {
        const HeldValue* value = batch.values.data();
        for (int r = 0; r < batch.rows; ++r) {
            value = bindRow(insert, 1, value, width);
            insert.run();
            insert.reset();
            if (firstRow == 0)
                firstRow = db.lastInsertId();
        }
        if (batch.rows > 0)
            lastRow = db.lastInsertId();
        return true;
    });
    threads.finish();
    transaction.commit();
    StageFindings findings = parser.findings();
    findings.firstRow = firstRow;
    findings.lastRow = lastRow;
    return findings;
}

ConflictRows stagedConflicts(engine::Connection& db) {
    engine::Statement statement(
        db, QStringLiteral("select c901,c902 from dt_data_dt_data where c901 in "
                           "(select c901 from dt_data) or c901 in (select c901 from "
                           "dt_data_dt_data group by c901 having count(*) > 1) order by c901"));
    ConflictRows rows;
    while (statement.step())
        rows.push_back({engine::codeTextOf(statement.value(0)), statement.text(1)});
    return rows;
}

QHash<QString, QString> columnAffinities(engine::Connection& db, const QString& table) {
    engine::Statement info(db, QStringLiteral("select name, type from pragma_table_info(?1)"));
    info.bind(1, table);
    QHash<QString, QString> affinities;
    while (info.step())
        affinities.insert(info.text(0).toLower(), engine::columnAffinity(info.text(1)));
    return affinities;
}

// Whether the scratch table holds every value as dt_data would: the same columns with the same
// affinities, a text column for each value read as text, a number column for each number. Only
// then do the values read tell what the engine will find in either table.
bool stagingKeepsValues(engine::Connection& db, const std::vector<CsvColumn>& columns) {
    const QHash<QString, QString> data = columnAffinities(db, QStringLiteral("dt_data"));
    if (data.isEmpty() || data != columnAffinities(db, QStringLiteral("dt_data_dt_data")))
        return false;
    if (data.value(QStringLiteral("c900")) != QLatin1String("text"))
        return false;
    const QString codeAffinity = data.value(QStringLiteral("c901"));
    if (codeAffinity != QLatin1String("real") && codeAffinity != QLatin1String("integer") &&
        codeAffinity != QLatin1String("numeric"))
        return false;
    for (const CsvColumn& column : columns)
        if ((data.value(column.name.toLower()) == QLatin1String("text")) != column.text)
            return false;
    return true;
}

// Whether a code of the file is already in dt_data or twice in the file. When the codes ascend, none
// is twice, and only dt_data's codes between the first and the last can be among them.
bool mayConflict(engine::Connection& db, const StageFindings& findings) {
    if (!findings.codesAscend)
        return true;
    if (findings.rows == 0)
        return false;
    return db
        .scalar(QStringLiteral("select exists(select 1 from main.dt_data where c901 between ?1 and ?2)"),
                {findings.firstCode, findings.lastCode})
        .toBool();
}

const QString NumberedStaging = QStringLiteral("csv_import_numbered");

// The largest id of dt_data when the new records are numbered plainly after it: they bring no id,
// and the trigger would number them so (records::plainNumberingBase).
std::optional<qint64> plainNumberingBase(engine::Connection& db, const std::vector<CsvColumn>& columns) {
    for (const CsvColumn& column : columns)
        if (column.name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
            return std::nullopt;
    return records::plainNumberingBase(db);
}

// The scratch table's records as dt_data's columns, numbered plainly when the rows lie one after the
// other; otherwise the ids are left as they are, for TransferCopy to number.
QString numberedSelection(engine::Connection& db, const std::vector<CsvColumn>& columns,
                          const StageFindings& findings) {
    std::optional<qint64> largest;
    if (findings.rows > 0 && findings.lastRow - findings.firstRow + 1 == findings.rows)
        largest = plainNumberingBase(db, columns);
    QStringList selection;
    for (const QString& name : tableColumns(db, QStringLiteral("dt_data"))) {
        const QString quoted = engine::quotedIdentifier(name);
        if (largest && name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
            selection << QStringLiteral("rowid - %1 + %2 as id").arg(findings.firstRow - 1).arg(*largest);
        else
            selection << quoted;
    }
    return selection.join(QLatin1Char(','));
}

// Adds the scratch table's records to dt_data in the caller's transaction: through a view that
// numbers them, copied with dt_data's indexes set aside and rebuilt once.
void copyStagedRecords(engine::Connection& db, const std::vector<CsvColumn>& columns,
                       const StageFindings& findings) {
    if (!records::TransferCopy::newRowsFollowOld(db)) {
        const QString all = tableColumns(db, QStringLiteral("dt_data")).join(QLatin1Char(','));
        records::insertWithoutNumberingTrigger(
            db, QStringLiteral("insert into dt_data (%1) select %1 from dt_data_dt_data").arg(all));
        return;
    }
    db.execute(QStringLiteral("create temp view %1 as select %2 from main.dt_data_dt_data")
                   .arg(NumberedStaging, numberedSelection(db, columns, findings)));
    records::TransferCopy copy(db, QStringLiteral("temp.") + NumberedStaging);
    copy.finish();
    db.execute(QStringLiteral("drop view temp.%1").arg(NumberedStaging));
}

// A data-layout copy to be built while reading, when the records are numbered plainly and new rows
// follow the old; none when its file cannot be made.
// Whether the scratch table leaves every column the file leaves out null, as the copy does; a default
// of its own would reach dt_data through it.
bool leftOutColumnsStayNull(engine::Connection& db, const QStringList& stored) {
    engine::Statement info(db, QStringLiteral("select name from pragma_table_info('dt_data_dt_data') "
                                              "where dflt_value is not null"));
    while (info.step())
        if (indexIgnoringCase(stored, info.text(0)) < 0)
            return false;
    return true;
}

std::unique_ptr<DataLayoutCopy> dataLayoutCopy(engine::Connection& db, const std::vector<CsvColumn>& columns,
                                               const QStringList& stored, bool keptAsRead) {
    if (!keptAsRead || !records::TransferCopy::newRowsFollowOld(db) || !leftOutColumnsStayNull(db, stored))
        return nullptr;
    const std::optional<qint64> largest = plainNumberingBase(db, columns);
    if (!largest)
        return nullptr;
    try {
        return std::make_unique<DataLayoutCopy>(db, stored, *largest);
    } catch (const Error&) {
        return nullptr;
    }
}

// A file holding every staged record in dt_data's layout, numbered after dt_data's largest id then.
struct RecordsInLayout {
    QString path;
    qint64 largestId = 0;
    bool withIndexes = false; // dt_data's, each entry in its place
};

// Adds the staged records to dt_data: those of the file given, when dt_data's largest id is still
// the one they are numbered after; else those of the scratch table.
void addStagedRecords(engine::Connection& db, const std::vector<CsvColumn>& columns,
                      const StageFindings& findings, const std::optional<RecordsInLayout>& numbered) {
    if (!numbered) {
        engine::Transaction transaction(db);
        const engine::WritebackAhead writeback(db);
        copyStagedRecords(db, columns, findings);
        transaction.commit();
        return;
    }
    const QString alias = QStringLiteral("csv_import_records");
    std::optional<engine::Attachment> attached;
    try {
        attached.emplace(db, numbered->path, alias);
    } catch (const EngineError&) {
        addStagedRecords(db, columns, findings, std::nullopt);
        return;
    }
    engine::Transaction transaction(db);
    const engine::WritebackAhead writeback(db);
    const std::optional<qint64> largest = plainNumberingBase(db, columns);
    if (largest && *largest == numbered->largestId && records::TransferCopy::newRowsFollowOld(db)) {
        std::optional<std::vector<records::SimpleIndex>> indexes;
        if (numbered->withIndexes)
            indexes = records::TransferCopy::indexesToTake(db, alias);
        records::TransferCopy transfer(db, alias + QStringLiteral(".dt_data"),
                                       indexes ? records::TransferCopy::Indexes::TakenFromSource
                                               : records::TransferCopy::Indexes::Rebuilt);
        transfer.finish(bool(indexes));
    } else {
        copyStagedRecords(db, columns, findings);
    }
    transaction.commit();
}

// Records to be built while reading, when the scratch table keeps the values as read, the new
// records are numbered plainly after the old, and the engine stores them as they are built here;
// none when the file for them cannot be made.
std::unique_ptr<BuiltRecords> builtRecords(engine::Connection& db, const std::vector<CsvColumn>& columns,
                                           const QStringList& stored, bool keptAsRead) {
    if (!keptAsRead || !records::TransferCopy::newRowsFollowOld(db) || !leftOutColumnsStayNull(db, stored) ||
        !records::EncodedRecord::matchesDatabase(db))
        return nullptr;
    const std::optional<qint64> largest = plainNumberingBase(db, columns);
    if (!largest)
        return nullptr;
    try {
        return std::make_unique<BuiltRecords>(db, stored, *largest);
    } catch (...) { // the side file cannot be made: the engine stores the lines
        return nullptr;
    }
}

// Stages the lines after the header through built records: the reading thread parses the lines,
// this one writes their records into the file's pages, and the engine then takes the scratch
// table's from there in one statement. Nothing is staged, and nothing returned, when a record
// cannot be built or its file not written: the lines are then to be stored through the engine.
std::optional<StageFindings>
stageThroughBuiltRecords(engine::Connection& db, GbkLineReader& lines, const std::vector<CsvColumn>& columns,
                         const QString& machineStamp, const records::HeldValuesLook* look,
                         BuiltRecords& built, const std::function<void(int)>& percent) {
    const int stampColumn = stampColumnOf(columns);
    const QByteArray stamp = machineStamp.toUtf8();
    CsvParser parser(lines, columns, stampColumn, stamp, look,
                     codeValueOf(storedColumns(columns, stampColumn)));
    {
        BatchQueue queue(1);
        ReadingThreads threads(parser, nullptr, queue);
        const size_t width = size_t(parser.width());
        const bool whole = takeBatches(queue, lines, percent, [&](const ParsedBatch& batch) {
            try {
                const HeldValue* row = batch.values.data();
                for (int r = 0; r < batch.rows; ++r, row += width)
                    if (!built.add(row))
                        return false;
                return true;
            } catch (...) { // the side file or memory for it failed: the engine's way is left
                return false;
            }
        });
        if (!whole)
            return std::nullopt;
        threads.finish();
    }
    std::optional<engine::Attachment> attached;
    try {
        built.finish();
        attached.emplace(db, built.path(), QStringLiteral("csv_import_built"));
    } catch (...) {
        return std::nullopt;
    }
    engine::Transaction transaction(db);
    const engine::WritebackAhead writeback(db);
    db.execute(
        QStringLiteral("insert into main.dt_data_dt_data select * from csv_import_built.dt_data_dt_data"));
    transaction.commit();
    // Each of the ends alone, so that the engine looks them up instead of reading every row.
    StageFindings findings = parser.findings();
    findings.firstRow =
        db.scalar(QStringLiteral("select coalesce(min(rowid), 0) from main.dt_data_dt_data")).toLongLong();
    findings.lastRow =
        db.scalar(QStringLiteral("select coalesce(max(rowid), 0) from main.dt_data_dt_data")).toLongLong();
    return findings;
}

// The columns named by the file's first line; none when it names no column to read.
std::vector<CsvColumn> readHeader(engine::Connection& db, GbkLineReader& lines) {
    QByteArrayView header;
    return lines.next(header) ? headerColumns(db, fromGbk(header.toByteArray())) : std::vector<CsvColumn>();
}

} // namespace

bool stageCsvFile(engine::Connection& db, const QString& table, const QString& path,
                  const QString& machineStamp, const std::function<void(int)>& percent) {
    GbkLineReader lines(path);
    const std::vector<CsvColumn> columns = readHeader(db, lines);
    if (columns.empty())
        return false;
    stageLines(db, table, lines, columns, machineStamp, nullptr, nullptr, percent);
    return true;
}

QString checkedCsvPath(const QString& chosen, UiServices& ui) {
    QString path = chosen.trimmed();
    if (!path.endsWith(QLatin1String(".csv"), Qt::CaseSensitive))
        path += QStringLiteral(".csv");
    if (QFileInfo(path).isFile())
        return path;
    ui.showMessage(QStringLiteral("您选择的文件名为【") + path +
                       QStringLiteral("】的文件并不存在，请选择其它文件。"),
                   QString(), MessageIcon::Warning);
    return QString();
}

CsvImportOutcome importCsvFile(DbSession& session, UiServices& ui, const QString& path,
                               const QString& machineStamp, const std::function<void(int)>& percent) {
    if (path.isEmpty()) {
        ui.showMessage(QStringLiteral("请选择要导入的csv文件"), QString(), MessageIcon::Warning);
        return CsvImportOutcome::Refused;
    }
    engine::Connection& db = session.connection();
    try {
        db.execute(QStringLiteral("delete from dt_data_dt_data"));
        auto lines = std::make_unique<GbkLineReader>(path);
        const std::vector<CsvColumn> columns = readHeader(db, *lines);
        if (columns.empty()) {
            ui.showMessage(CsvFormatRefusal, QString(), MessageIcon::Warning);
            return CsvImportOutcome::Refused;
        }
        // What the reading finds out stands for the engine's own look only while the scratch table
        // keeps the values as read; otherwise the engine looks at every record.
        const bool keptAsRead = stagingKeepsValues(db, columns);
        const QStringList stored = storedColumns(columns, stampColumnOf(columns));
        std::optional<records::HeldValuesLook> look;
        if (keptAsRead)
            look.emplace(db, stored);
        std::optional<StageFindings> staged;
        std::optional<RecordsInLayout> numbered;
        std::unique_ptr<BuiltRecords> built = builtRecords(db, columns, stored, keptAsRead);
        if (built) {
            staged = stageThroughBuiltRecords(db, *lines, columns, machineStamp, look ? &*look : nullptr,
                                              *built, percent);
            if (staged) {
                numbered = RecordsInLayout{built->path(), built->largestId(), built->indexesBuilt()};
            } else { // read again from the start, for the engine to store
                built.reset();
                lines = std::make_unique<GbkLineReader>(path);
                readHeader(db, *lines);
            }
        }
        std::unique_ptr<DataLayoutCopy> copy;
        if (!staged) {
            copy = dataLayoutCopy(db, columns, stored, keptAsRead);
            staged = stageLines(db, QStringLiteral("dt_data_dt_data"), *lines, columns, machineStamp,
                                look ? &*look : nullptr, copy.get(), percent);
            if (copy && copy->rows() == staged->rows && copy->finish())
                numbered = RecordsInLayout{copy->path(), copy->largestId()};
        }
        const StageFindings& findings = *staged;
        if (!(keptAsRead && findings.valuesPlainlyHold)) {
            const records::RefusedRecords refused =
                records::refusedRecords(db, QStringLiteral("main.dt_data_dt_data"));
            if (!refused.empty()) {
                ui.openWithShell(writeRefusalReport(refused));
                ui.showMessage(refusalMessage(QStringLiteral("导入")), QString(), MessageIcon::Warning);
                return CsvImportOutcome::Refused;
            }
        }
        if (!keptAsRead || mayConflict(db, findings)) {
            const ConflictRows conflicts = stagedConflicts(db);
            if (!conflicts.empty()) {
                ui.openWithShell(writeConflictReport(conflicts));
                return CsvImportOutcome::Conflicts;
            }
        }
        addStagedRecords(db, columns, findings, numbered);
    } catch (const Error& error) {
        showRunError(ui, error.text(), ContactSuffix);
        return CsvImportOutcome::Refused;
    }
    if (percent)
        percent(100);
    ui.showMessage(QStringLiteral("数据已经被正确地导入!"));
    return CsvImportOutcome::Imported;
}

} // namespace corvalis::exchange
