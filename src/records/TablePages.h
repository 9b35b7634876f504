#pragma once

#include <QString>
#include <QtEndian>
#include <QtGlobal>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// One field of a stored record, as the engine hands it to a function of a statement (a column of
// REAL affinity gives its whole numbers as floating values). Only the members of its type are set.
struct StoredField {
    enum class Type { Null, Integer, Float, Text, Blob, NotANumber };
    Type type = Type::Null;
    qint64 integer = 0;
    double real = 0;
    const unsigned char* bytes = nullptr; // text or blob, without a NUL after it
    qint64 size = 0;
};

// A record in a leaf page of a table. Its header is read and checked whole when the record is
// visited; each field is decoded when asked for, since a look that reads every record pays for
// every step taken per field.
class PageRecord {
public:
    qint64 rowid() const { return m_rowid; }
    int fieldCount() const { return m_count; }
    // The field at index, or none past the record's end (where the column's default stands).
    std::optional<StoredField> field(int index) const {
        if (index < 0 || index >= m_count)
            return std::nullopt;
        return decoded(index);
    }
    // The field at an index below fieldCount().
    StoredField decoded(int index) const {
        const quint32 type = m_types[size_t(index)];
        const unsigned char* value = m_payload + m_offsets[size_t(index)];
        StoredField field;
        if (type == 0)
            return field;
        if (type <= 6 || type == 8 || type == 9) {
            field.integer = type <= 6 ? wholeValue(type, value) : qint64(type - 8);
            if (size_t(index) < m_realColumn.size() && m_realColumn[size_t(index)]) {
                field.type = StoredField::Type::Float;
                field.real = double(field.integer);
            } else {
                field.type = StoredField::Type::Integer;
            }
        } else if (type == 7) {
            const quint64 bits = qFromBigEndian<quint64>(value);
            std::memcpy(&field.real, &bits, sizeof bits);
            // The engine reads a stored NaN as null.
            field.type = std::isnan(field.real) ? StoredField::Type::NotANumber : StoredField::Type::Float;
        } else {
            field.type = (type & 1) ? StoredField::Type::Text : StoredField::Type::Blob;
            field.bytes = value;
            field.size = serialLength(type);
        }
        return field;
    }

    // A field read as a null or a whole number, without a branch on its serial type: the value
    // counts only where whole is set, and a field of any other type is neither.
    struct WholeForm {
        qint64 value;
        bool whole;
        bool null;
    };
    WholeForm wholeForm(int index) const {
        // By serial type 0 to 9, and 10 for any other: the bytes that hold the value, as the high
        // bytes of a word, and where they end. Type 9 is the constant 1.
        static constexpr quint64 Bytes[11] = {0,
                                              0xff00000000000000ULL,
                                              0xffff000000000000ULL,
                                              0xffffff0000000000ULL,
                                              0xffffffff00000000ULL,
                                              0xffffffffffff0000ULL,
                                              ~0ULL,
                                              0,
                                              0,
                                              0,
                                              0};
        static constexpr unsigned char Shift[11] = {0, 56, 48, 40, 32, 16, 0, 0, 0, 0, 0};
        static constexpr bool Whole[11] = {false, true,  true, true, true, true,
                                           true,  false, true, true, false};
        const quint32 type = m_types[size_t(index)];
        const quint32 kind = type < 10 ? type : 10;
        const quint64 word = qFromBigEndian<quint64>(m_payload + m_offsets[size_t(index)]); // see ReadAhead
        return {(qint64(word & Bytes[kind]) >> Shift[kind]) + qint64(kind == 9), Whole[kind], kind == 0};
    }

    // The bytes after a record's last value that may be read: a whole number is loaded as a word.
    static constexpr qint64 ReadAhead = 8;

private:
    friend class TablePages;
    // Reads the record's header at payload, which stays in place while the record is visited and
    // has ReadAhead readable bytes after it; false when its fields do not fit its size.
    bool parse(qint64 rowid, const unsigned char* payload, qint64 size);
    void setRealColumns(const std::vector<bool>& realColumns) {
        m_realColumn.assign(realColumns.begin(), realColumns.end());
    }
    // The bytes a value of the serial type takes in the record's body; -1 for the reserved types.
    static qint64 serialLength(quint64 type) {
        static constexpr qint64 Fixed[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, -1, -1};
        if (type < 12)
            return Fixed[type];
        return qint64((type - 12) / 2);
    }
    // The whole number of a serial type from 1 to 6, big-endian and two's complement.
    static qint64 wholeValue(quint32 type, const unsigned char* p) {
        switch (type) {
        case 1:
            return qint8(p[0]);
        case 2:
            return qint16(qFromBigEndian<quint16>(p));
        case 3:
            return qint32(quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8) >> 8;
        case 4:
            return qint32(qFromBigEndian<quint32>(p));
        case 5:
            return qint64(quint64(qint64(qint16(qFromBigEndian<quint16>(p)))) << 32 |
                          qFromBigEndian<quint32>(p + 2));
        default:
            return qint64(qFromBigEndian<quint64>(p));
        }
    }

    qint64 m_rowid = 0;
    int m_count = 0;
    const unsigned char* m_payload = nullptr;
    // Each field's serial type and the offset of its value in the payload: a field that fits its
    // record is shorter than the record, which is shorter than a page.
    std::vector<quint32> m_types;
    std::vector<quint32> m_offsets;
    std::vector<char> m_realColumn; // columns of REAL affinity, by field
};

// Reads the rows of a table straight from the pages of an SQLite database file, without the engine:
// a walk down the table's b-tree from its root page, every leaf cell in rowid order. It reads only
// files it understands plainly (UTF-8, rollback journal, every record within its page) and gives up
// on anything else: the engine stays the judge of what the pages hold. The caller holds a read lock
// on the file (a read transaction of a connection to it) so that nobody writes it meanwhile.
class TablePages {
public:
    enum class Walk {
        Complete,   // every row was visited
        Unreadable, // the file, a page or a record is not one the reader understands
        Ended,      // the visitor or the stop flag ended the walk
    };

    // Reads the database of the schema through the file handle the connection's engine holds: a
    // descriptor of its own would drop the engine's locks on the file when it closes (POSIX locks
    // belong to the process and the file, not to the descriptor).
    TablePages(engine::Connection& connection, const QString& schema);
    // Reads a file that no connection of this process has open.
    explicit TablePages(const QString& path);
    // realColumns: the columns of REAL affinity, by position in the table.
    Walk walk(qint64 rootPage, const std::vector<bool>& realColumns,
              const std::function<bool(const PageRecord&)>& visit, const std::atomic<bool>& stop);
    // Every entry of an index b-tree in its order, those of interior pages between their children:
    // the key's fields and then the row's rowid as the last field. rowid() of the visited records is 0.
    Walk walkIndex(qint64 rootPage, const std::function<bool(const PageRecord&)>& visit,
                   const std::atomic<bool>& stop);
    // Rows (or index entries) visited by the last walk.
    qint64 rows() const { return m_rows; }

private:
    struct Walker;
    Walk walkTree(qint64 rootPage, bool index, const std::vector<bool>& realColumns,
                  const std::function<bool(const PageRecord&)>& visit, const std::atomic<bool>& stop);
    // Reads bytes at an offset; false when not all of them could be read.
    using ReadAt = std::function<bool(unsigned char* into, qint64 bytes, qint64 offset)>;
    ReadAt m_read;
    std::function<qint64()> m_size; // of the file in bytes; negative when unknown
    qint64 m_rows = 0;
};

} // namespace corvalis::records
