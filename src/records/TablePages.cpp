#include "TablePages.h"

#include "PageFormat.h"

#include "app/Errors.h"
#include "app/engine/Connection.h"

#include <QFile>
#include <climits>
#include <cstring>
#include <memory>
#include <sqlite3.h>

namespace corvalis::records {

namespace {

using namespace pageformat;

// The engine's cursors go no deeper.
constexpr int MaxDepth = 20;
// Leaves are read this many pages at a time: a table written in order lies in runs of pages.
constexpr qint64 WindowPages = 256;

// Reads the variable-length integer at pos, not past end; false when it does not end before end.
bool readVarint(const unsigned char* data, qint64& pos, qint64 end, quint64& value) {
    value = 0;
    for (int i = 0; i < 9; ++i) {
        if (pos >= end)
            return false;
        const unsigned char byte = data[pos++];
        if (i == 8) {
            value = (value << 8) | byte;
            return true;
        }
        value = (value << 7) | (byte & 0x7f);
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

} // namespace

bool PageRecord::parse(qint64 rowid, const unsigned char* payload, qint64 size) {
    m_rowid = rowid;
    m_count = 0;
    m_payload = payload;
    qint64 pos = 0;
    quint64 headerSize = 0;
    if (!readVarint(payload, pos, size, headerSize) || headerSize < quint64(pos) ||
        headerSize > quint64(size))
        return false;
    const qint64 headerEnd = qint64(headerSize);
    // Every field takes at least a byte of the header: room for them all is made once.
    if (m_types.size() < size_t(headerEnd)) {
        m_types.resize(size_t(headerEnd));
        m_offsets.resize(size_t(headerEnd));
    }
    quint32* const types = m_types.data();
    quint32* const offsets = m_offsets.data();
    qint64 offset = headerEnd;
    while (pos < headerEnd) {
        quint64 type = payload[pos];
        if (type < 0x80)
            ++pos;
        else if (!readVarint(payload, pos, headerEnd, type))
            return false;
        const qint64 length = serialLength(type);
        if (length < 0 || length > size - offset)
            return false;
        // Both fit in 32 bits: the value lies within the record.
        types[m_count] = quint32(type);
        offsets[m_count] = quint32(offset);
        ++m_count;
        offset += length;
    }
    return true;
}

struct TablePages::Walker {
    const ReadAt* read = nullptr;
    qint64 pageSize = 0;
    qint64 usable = 0;
    qint64 pageCount = 0;
    std::vector<unsigned char> window;
    qint64 windowFirst = 0;
    qint64 windowPages = 0;
    std::vector<std::vector<unsigned char>> interiors = std::vector<std::vector<unsigned char>>(MaxDepth + 1);
    std::vector<bool> seen;
    PageRecord record;
    bool index = false; // the b-tree walked is an index's
    bool anyRow = false;
    qint64 lastRowid = 0;
    qint64 rows = 0;
    const std::function<bool(const PageRecord&)>* visit = nullptr;
    const std::atomic<bool>* stop = nullptr;

    // Reads the database header; false for a file the walk does not understand.
    bool open(qint64 fileSize) {
        unsigned char header[HeaderBytes];
        if (fileSize < HeaderBytes || !(*read)(header, HeaderBytes, 0) ||
            std::memcmp(header, "SQLite format 3", 16) != 0)
            return false;
        const quint32 size = bigEndian16(header + 16);
        pageSize = size == 1 ? 65536 : size;
        if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0)
            return false;
        usable = pageSize - header[20];
        // Rollback journal only (a WAL file may hold newer pages elsewhere), and UTF-8 text.
        if (usable < 480 || header[18] != 1 || header[19] != 1 || bigEndian32(header + 56) != 1)
            return false;
        pageCount = fileSize / pageSize;
        seen.assign(size_t(pageCount + 1), false);
        return true;
    }

    const unsigned char* page(qint64 number) {
        if (number < windowFirst || number >= windowFirst + windowPages) {
            const qint64 pages = qMin(WindowPages, pageCount - number + 1);
            window.resize(size_t(pages * pageSize + PageRecord::ReadAhead));
            windowFirst = number;
            windowPages = 0;
            if (!(*read)(window.data(), pages * pageSize, (number - 1) * pageSize))
                return nullptr;
            windowPages = pages;
        }
        return window.data() + (number - windowFirst) * pageSize;
    }

    // The cell pointers of a page with count cells after a header of headerBytes, or null when they
    // do not fit the page.
    const unsigned char* cellPointers(const unsigned char* data, int headerBytes, qint64& count) const {
        count = bigEndian16(data + 3);
        return headerBytes + 2 * count <= usable ? data + headerBytes : nullptr;
    }

    Walk visitLeaf(const unsigned char* data) {
        qint64 count = 0;
        const unsigned char* pointers = cellPointers(data, LeafHeaderBytes, count);
        if (!pointers)
            return Walk::Unreadable;
        const qint64 contentStart = LeafHeaderBytes + 2 * count;
        for (qint64 i = 0; i < count; ++i) {
            qint64 pos = bigEndian16(pointers + 2 * i);
            quint64 payload = 0, rowid = 0;
            if (pos < contentStart || !readVarint(data, pos, usable, payload) ||
                !readVarint(data, pos, usable, rowid))
                return Walk::Unreadable;
            // A record larger than this goes on in overflow pages, which the walk does not follow.
            if (payload > quint64(usable - 35) || pos + qint64(payload) > usable)
                return Walk::Unreadable;
            if (anyRow && qint64(rowid) <= lastRowid)
                return Walk::Unreadable;
            anyRow = true;
            lastRowid = qint64(rowid);
            if (!record.parse(qint64(rowid), data + pos, qint64(payload)))
                return Walk::Unreadable;
            ++rows;
            if (!(*visit)(record))
                return Walk::Ended;
        }
        return stop->load() ? Walk::Ended : Walk::Complete;
    }

    // Visits the index entry of the cell at pos of a page; an entry larger than an index page keeps
    // in itself goes on in overflow pages, which the walk does not follow.
    Walk visitIndexEntry(const unsigned char* data, qint64 pos) {
        quint64 payload = 0;
        if (!readVarint(data, pos, usable, payload))
            return Walk::Unreadable;
        const quint64 largestInPage = quint64((usable - 12) * 64 / 255 - 23);
        if (payload > largestInPage || pos + qint64(payload) > usable ||
            !record.parse(0, data + pos, qint64(payload)))
            return Walk::Unreadable;
        ++rows;
        if (!(*visit)(record))
            return Walk::Ended;
        return Walk::Complete;
    }

    Walk visitIndexLeaf(const unsigned char* data) {
        qint64 count = 0;
        const unsigned char* pointers = cellPointers(data, LeafHeaderBytes, count);
        if (!pointers)
            return Walk::Unreadable;
        for (qint64 i = 0; i < count; ++i) {
            const qint64 pos = bigEndian16(pointers + 2 * i);
            if (pos < LeafHeaderBytes + 2 * count)
                return Walk::Unreadable;
            const Walk entry = visitIndexEntry(data, pos);
            if (entry != Walk::Complete)
                return entry;
        }
        return stop->load() ? Walk::Ended : Walk::Complete;
    }

    Walk visitPage(qint64 number, int depth) {
        if (depth > MaxDepth || number < 2 || number > pageCount || seen[size_t(number)])
            return Walk::Unreadable;
        seen[size_t(number)] = true;
        const unsigned char* data = page(number);
        if (!data)
            return Walk::Unreadable;
        const unsigned char leafType = index ? LeafIndexPage : LeafTablePage;
        const unsigned char interiorType = index ? InteriorIndexPage : InteriorTablePage;
        if (data[0] == leafType)
            return index ? visitIndexLeaf(data) : visitLeaf(data);
        if (data[0] != interiorType)
            return Walk::Unreadable;
        // The children move the window: the interior page is kept aside while they are read.
        std::vector<unsigned char>& kept = interiors[size_t(depth)];
        kept.assign(data, data + pageSize);
        kept.resize(size_t(pageSize + PageRecord::ReadAhead));
        qint64 count = 0;
        const unsigned char* pointers = cellPointers(kept.data(), InteriorHeaderBytes, count);
        if (!pointers)
            return Walk::Unreadable;
        for (qint64 i = 0; i < count; ++i) {
            const qint64 cell = bigEndian16(pointers + 2 * i);
            if (cell < InteriorHeaderBytes + 2 * count || cell + 4 > usable)
                return Walk::Unreadable;
            Walk child = visitPage(bigEndian32(kept.data() + cell), depth + 1);
            // An index keeps entries in its interior pages too, each after its left child's.
            if (child == Walk::Complete && index)
                child = visitIndexEntry(kept.data(), cell + 4);
            if (child != Walk::Complete)
                return child;
        }
        return visitPage(bigEndian32(kept.data() + 8), depth + 1);
    }
};

TablePages::TablePages(engine::Connection& connection, const QString& schema) {
    sqlite3_file* file = nullptr;
    const int rc = sqlite3_file_control(connection.handle(), schema.toUtf8().constData(),
                                        SQLITE_FCNTL_FILE_POINTER, &file);
    if (rc != SQLITE_OK || !file || !file->pMethods)
        throw EngineError(QString::fromUtf8(sqlite3_errstr(rc == SQLITE_OK ? SQLITE_CANTOPEN : rc)), rc);
    m_read = [file](unsigned char* into, qint64 bytes, qint64 offset) {
        return bytes <= INT_MAX && file->pMethods->xRead(file, into, int(bytes), offset) == SQLITE_OK;
    };
    m_size = [file]() -> qint64 {
        sqlite3_int64 size = -1;
        return file->pMethods->xFileSize(file, &size) == SQLITE_OK ? qint64(size) : -1;
    };
}

TablePages::TablePages(const QString& path) {
    auto file = std::make_shared<QFile>(path);
    m_read = [file](unsigned char* into, qint64 bytes, qint64 offset) {
        if (!file->isOpen() && !file->open(QIODevice::ReadOnly))
            return false;
        return file->seek(offset) && file->read(reinterpret_cast<char*>(into), bytes) == bytes;
    };
    m_size = [file] { return file->size(); };
}

TablePages::Walk TablePages::walk(qint64 rootPage, const std::vector<bool>& realColumns,
                                  const std::function<bool(const PageRecord&)>& visit,
                                  const std::atomic<bool>& stop) {
    return walkTree(rootPage, false, realColumns, visit, stop);
}

TablePages::Walk TablePages::walkIndex(qint64 rootPage, const std::function<bool(const PageRecord&)>& visit,
                                       const std::atomic<bool>& stop) {
    return walkTree(rootPage, true, {}, visit, stop);
}

TablePages::Walk TablePages::walkTree(qint64 rootPage, bool index, const std::vector<bool>& realColumns,
                                      const std::function<bool(const PageRecord&)>& visit,
                                      const std::atomic<bool>& stop) {
    m_rows = 0;
    Walker walker;
    walker.read = &m_read;
    if (!walker.open(m_size()))
        return Walk::Unreadable;
    walker.index = index;
    walker.record.setRealColumns(realColumns);
    walker.visit = &visit;
    walker.stop = &stop;
    const Walk result = walker.visitPage(rootPage, 0);
    m_rows = walker.rows;
    return result;
}

} // namespace corvalis::records
