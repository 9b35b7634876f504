#pragma once

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <functional>
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

// A record in a leaf page of a table, its fields decoded.
class PageRecord {
public:
    qint64 rowid() const { return m_rowid; }
    int fieldCount() const { return m_count; }
    // The field at index, or null past the record's end (where the column's default stands).
    const StoredField* field(int index) const {
        return index >= 0 && index < m_count ? &m_fields[size_t(index)] : nullptr;
    }

private:
    friend class TablePages;
    // Decodes the record at payload; false when its fields do not fit its size.
    bool parse(qint64 rowid, const unsigned char* payload, qint64 size);

    qint64 m_rowid = 0;
    int m_count = 0;
    std::vector<StoredField> m_fields;
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
