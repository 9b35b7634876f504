#include "TablePagesWriter.h"

#include "PageFormat.h"

#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

#include <algorithm>
#include <cstring>

namespace corvalis::records {

namespace {

using namespace pageformat;

constexpr size_t AppendedBytesHeld = size_t(4) << 20;

// memcpy for any count, none included (when its pointers may then be null).
void copyBytes(void* to, const void* from, size_t count) {
    if (count > 0)
        std::memcpy(to, from, count);
}

// The engine's varints: seven bits a byte, the high ones first, and a ninth byte of eight bits.
int varintLength(uint64_t value) {
    int length = 1;
    while (length < 9 && (value >> (7 * length)) != 0)
        ++length;
    return length;
}

int putVarint(unsigned char* out, uint64_t value) {
    if (value <= 0x7f) {
        out[0] = static_cast<unsigned char>(value);
        return 1;
    }
    if (value & (uint64_t(0xff000000) << 32)) {
        out[8] = static_cast<unsigned char>(value);
        value >>= 8;
        for (int i = 7; i >= 0; --i) {
            out[i] = static_cast<unsigned char>((value & 0x7f) | 0x80);
            value >>= 7;
        }
        return 9;
    }
    unsigned char reversed[10];
    int length = 0;
    do {
        reversed[length++] = static_cast<unsigned char>((value & 0x7f) | 0x80);
        value >>= 7;
    } while (value != 0);
    reversed[0] &= 0x7f;
    for (int i = 0; i < length; ++i)
        out[i] = reversed[length - 1 - i];
    return length;
}

void put2(unsigned char* at, uint32_t value) {
    at[0] = static_cast<unsigned char>(value >> 8);
    at[1] = static_cast<unsigned char>(value);
}

void put4(unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

// The largest record that stands whole on a leaf page of that usable size.
int largestLocalRecord(int pageSize, bool index) {
    return index ? (pageSize - 12) * 64 / 255 - 23 : pageSize - 35;
}

std::string varintBytes(uint64_t value) {
    unsigned char bytes[9];
    return std::string(reinterpret_cast<const char*>(bytes), size_t(putVarint(bytes, value)));
}

} // namespace

void EncodedRecord::makeRoom(size_t typeBytes, size_t bodyBytes) {
    if (m_typeBytes + typeBytes > m_types.size())
        m_types.resize(std::max(2 * m_types.size(), m_typeBytes + typeBytes));
    if (m_bodyBytes + bodyBytes > m_body.size())
        m_body.resize(std::max(2 * m_body.size(), m_bodyBytes + bodyBytes));
}

void EncodedRecord::addNull() {
    makeRoom(1, 0);
    m_types[m_typeBytes++] = 0;
}

void EncodedRecord::addInteger(qint64 value) {
    makeRoom(1, 8);
    const uint64_t magnitude = value < 0 ? ~uint64_t(value) : uint64_t(value);
    int bytes = 0;
    unsigned char type = 0;
    if (magnitude <= 127) {
        if (value == 0 || value == 1) { // types 8 and 9 hold the value itself
            m_types[m_typeBytes++] = static_cast<unsigned char>(8 + value);
            return;
        }
        type = 1, bytes = 1;
    } else if (magnitude <= 32767) {
        type = 2, bytes = 2;
    } else if (magnitude <= 8388607) {
        type = 3, bytes = 3;
    } else if (magnitude <= 2147483647) {
        type = 4, bytes = 4;
    } else if (magnitude <= 0x7fffffffffffULL) {
        type = 5, bytes = 6;
    } else {
        type = 6, bytes = 8;
    }
    m_types[m_typeBytes++] = type;
    unsigned char* out = m_body.data() + m_bodyBytes;
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<unsigned char>(uint64_t(value) >> (8 * (bytes - 1 - i)));
    m_bodyBytes += size_t(bytes);
}

void EncodedRecord::addText(const char* utf8, int bytes) {
    makeRoom(9, size_t(bytes));
    m_typeBytes += size_t(putVarint(m_types.data() + m_typeBytes, uint64_t(bytes) * 2 + 13));
    copyBytes(m_body.data() + m_bodyBytes, utf8, size_t(bytes));
    m_bodyBytes += size_t(bytes);
}

void EncodedRecord::assignWithInteger(const EncodedRecord& other, size_t typeAt, size_t bodyAt,
                                      qint64 value) {
    Q_ASSERT(typeAt < other.m_typeBytes && other.m_types[typeAt] == 0 && bodyAt <= other.m_bodyBytes);
    clear();
    makeRoom(other.m_typeBytes, other.m_bodyBytes + 8);
    copyBytes(m_types.data(), other.m_types.data(), typeAt);
    copyBytes(m_body.data(), other.m_body.data(), bodyAt);
    m_typeBytes = typeAt;
    m_bodyBytes = bodyAt;
    addInteger(value);
    const size_t typesAfter = other.m_typeBytes - typeAt - 1;
    const size_t bodyAfter = other.m_bodyBytes - bodyAt;
    makeRoom(typesAfter, bodyAfter);
    copyBytes(m_types.data() + m_typeBytes, other.m_types.data() + typeAt + 1, typesAfter);
    copyBytes(m_body.data() + m_bodyBytes, other.m_body.data() + bodyAt, bodyAfter);
    m_typeBytes += typesAfter;
    m_bodyBytes += bodyAfter;
}

// The header's length counts its own varint, whose length may in turn grow by a byte.
int EncodedRecord::headerLength() const {
    uint64_t length = m_typeBytes;
    if (length <= 126)
        return int(length + 1);
    const int own = varintLength(length);
    length += uint64_t(own);
    if (own < varintLength(length))
        ++length;
    return int(length);
}

qsizetype EncodedRecord::size() const {
    return qsizetype(headerLength()) + qsizetype(m_bodyBytes);
}

void EncodedRecord::copyTo(unsigned char* out) const {
    out += putVarint(out, uint64_t(headerLength()));
    copyBytes(out, m_types.data(), m_typeBytes);
    copyBytes(out + m_typeBytes, m_body.data(), m_bodyBytes);
}

bool EncodedRecord::matchesDatabase(engine::Connection& connection) {
    if (connection.scalar(QStringLiteral("pragma main.encoding")).toString() != QLatin1String("UTF-8"))
        return false;
    QFile file(connection.path());
    unsigned char header[HeaderBytes];
    if (!file.open(QIODevice::ReadOnly) ||
        file.read(reinterpret_cast<char*>(header), HeaderBytes) != HeaderBytes)
        return false;
    return bigEndian32(header + 44) == 4;
}

// Pages of 64 KiB by default: the fewest pages, and any likely row fits on one.
TablePagesWriter::TablePagesWriter(const QString& path, const QStringList& createStatements, int pageSize)
    : m_file(path) {
    {
        engine::Connection made(path);
        // Pointer-map pages of an auto-vacuum file, or bytes reserved at the end of each page, would
        // not be where the pages written here leave them.
        made.executeScript(QStringLiteral("pragma page_size=%1; pragma auto_vacuum=none; "
                                          "pragma journal_mode=off; pragma synchronous=off")
                               .arg(pageSize));
        made.begin();
        for (const QString& statement : createStatements)
            made.execute(statement);
        made.commit();
        m_pageSize = int(made.scalar(QStringLiteral("pragma page_size")).toLongLong());
        m_pages = uint32_t(made.scalar(QStringLiteral("pragma page_count")).toLongLong());
        // An index the engine makes for a constraint of a table has no statement, and no entries
        // would be written for it.
        engine::Statement roots(made,
                                QStringLiteral("select type, rootpage, sql is null from main.sqlite_master "
                                               "where type in ('table', 'index') order by rowid"));
        while (roots.step()) {
            if (roots.integer(2) != 0)
                throw EngineError(QStringLiteral("新建的文件中有不能直接写入的索引。"));
            Tree tree;
            tree.index = roots.text(0) == QLatin1String("index");
            tree.root = uint32_t(roots.integer(1));
            m_trees.push_back(std::move(tree));
        }
    }
    if (m_trees.size() != size_t(createStatements.size()))
        throw EngineError(QStringLiteral("新建的文件中表的数目不对。"));
    if (!m_file.open(QIODevice::ReadWrite))
        throw FileError(QStringLiteral("无法打开文件“%1”：%2").arg(path, m_file.errorString()));
    unsigned char header[HeaderBytes];
    if (m_file.read(reinterpret_cast<char*>(header), HeaderBytes) != HeaderBytes)
        throw FileError(QStringLiteral("无法读取文件“%1”：%2").arg(path, m_file.errorString()));
    const uint32_t declaredPageSize = bigEndian16(header + 16) == 1 ? 65536 : bigEndian16(header + 16);
    const bool asMade = declaredPageSize == uint32_t(m_pageSize) && header[20] == 0 &&
                        bigEndian32(header + 28) == m_pages && bigEndian32(header + 52) == 0 &&
                        m_file.size() == qint64(m_pages) * m_pageSize;
    if (!asMade)
        throw EngineError(QStringLiteral("新建的文件“%1”的格式不是预期的。").arg(path));
    for (Tree& tree : m_trees)
        startLeaf(tree, tree.leaf);
}

void TablePagesWriter::startLeaf(Tree& tree, Leaf& leaf) const {
    leaf.bytes.assign(size_t(m_pageSize), 0);
    leaf.bytes[0] = tree.index ? LeafIndexPage : LeafTablePage;
    leaf.cells = 0;
    leaf.contentStart = m_pageSize;
}

bool TablePagesWriter::roomFor(const Leaf& leaf, int cellBytes) {
    return LeafHeaderBytes + 2 * (leaf.cells + 1) <= leaf.contentStart - cellBytes;
}

// A cell of a lead (the lengths, and a table's rowid) and either a record or bytes, at least four
// bytes long, as the engine makes them.
void TablePagesWriter::putCell(Leaf& leaf, const unsigned char* lead, int leadBytes,
                               const EncodedRecord* record, const std::string* bytes) {
    const int payload = record ? int(record->size()) : int(bytes->size());
    leaf.contentStart -= std::max(4, leadBytes + payload);
    unsigned char* cell = leaf.bytes.data() + leaf.contentStart;
    copyBytes(cell, lead, size_t(leadBytes));
    if (record)
        record->copyTo(cell + leadBytes);
    else
        copyBytes(cell + leadBytes, bytes->data(), bytes->size());
    put2(leaf.bytes.data() + LeafHeaderBytes + 2 * leaf.cells, uint32_t(leaf.contentStart));
    ++leaf.cells;
}

bool TablePagesWriter::append(int tree, const EncodedRecord& record) {
    Tree& into = m_trees[size_t(tree)];
    if (record.size() > largestLocalRecord(m_pageSize, into.index))
        return false;
    return into.index ? appendEntry(into, record) : appendRow(into, record);
}

bool TablePagesWriter::appendRow(Tree& tree, const EncodedRecord& record) {
    unsigned char lead[18];
    int leadBytes = putVarint(lead, uint64_t(record.size()));
    leadBytes += putVarint(lead + leadBytes, uint64_t(tree.nextRow));
    if (!roomFor(tree.leaf, std::max(4, leadBytes + int(record.size())))) {
        tree.leaves.push_back({closeLeaf(tree.leaf, 0), varintBytes(uint64_t(tree.nextRow - 1))});
        startLeaf(tree, tree.leaf);
    }
    putCell(tree.leaf, lead, leadBytes, &record, nullptr);
    ++tree.nextRow;
    return true;
}

bool TablePagesWriter::appendEntry(Tree& tree, const EncodedRecord& record) {
    unsigned char lead[9];
    const int leadBytes = putVarint(lead, uint64_t(record.size()));
    if (tree.holding) { // the entry held parts the held leaf from this one
        tree.leaves.push_back({closeLeaf(tree.held, 0), tree.heldNext});
        tree.holding = false;
    }
    if (!roomFor(tree.leaf, std::max(4, leadBytes + int(record.size())))) {
        std::swap(tree.held, tree.leaf);
        startLeaf(tree, tree.leaf);
        tree.heldNext.assign(reinterpret_cast<const char*>(lead), size_t(leadBytes));
        tree.heldNext.resize(size_t(leadBytes) + size_t(record.size()));
        record.copyTo(reinterpret_cast<unsigned char*>(tree.heldNext.data()) + leadBytes);
        tree.holding = true;
        return true;
    }
    putCell(tree.leaf, lead, leadBytes, &record, nullptr);
    return true;
}

// Writes the leaf at the page given, or, with 0, after the file's end; returns its page.
uint32_t TablePagesWriter::closeLeaf(Leaf& leaf, uint32_t page) {
    put2(leaf.bytes.data() + 3, uint32_t(leaf.cells));
    put2(leaf.bytes.data() + 5, uint32_t(leaf.contentStart));
    if (page == 0)
        return appendPage(leaf.bytes.data());
    writePage(page, leaf.bytes.data());
    return page;
}

void TablePagesWriter::finishTree(Tree& tree) {
    if (tree.holding) {
        // No entry came after the one held: the held leaf's last entry, the last cell put in it and
        // so the first of its content, parts it from a leaf of the held entry alone.
        const uint32_t lastCell =
            bigEndian16(tree.held.bytes.data() + LeafHeaderBytes + 2 * (tree.held.cells - 1));
        Q_ASSERT(lastCell == uint32_t(tree.held.contentStart) && tree.held.cells > 1);
        const unsigned char* cell = tree.held.bytes.data() + lastCell;
        uint64_t payload = 0;
        int leadBytes = 0;
        do
            payload = (payload << 7) | (cell[leadBytes] & 0x7f);
        while (cell[leadBytes++] & 0x80);
        const int cellBytes = std::max(4, leadBytes + int(payload));
        const std::string parting(reinterpret_cast<const char*>(cell), size_t(leadBytes) + size_t(payload));
        std::fill(tree.held.bytes.begin() + lastCell, tree.held.bytes.begin() + lastCell + cellBytes, 0);
        tree.held.contentStart += cellBytes;
        --tree.held.cells;
        put2(tree.held.bytes.data() + LeafHeaderBytes + 2 * tree.held.cells, 0);
        tree.leaves.push_back({closeLeaf(tree.held, 0), parting});
        putCell(tree.leaf, nullptr, 0, nullptr, &tree.heldNext);
        tree.holding = false;
    }
    if (tree.leaf.cells == 0 && tree.leaves.empty())
        return; // nothing appended: the engine's empty root stays
    if (tree.leaves.empty()) {
        closeLeaf(tree.leaf, tree.root);
        return;
    }
    tree.leaves.push_back({closeLeaf(tree.leaf, 0), std::string()});
    std::vector<Child> level = std::move(tree.leaves);
    while (!level.empty())
        level = interiorLevel(level, tree.index, tree.root);
}

// Groups the children of a level into interior pages, each child but a page's last in a cell with
// its key, the last in the page's right-most pointer; the key of that last child goes up with the
// page. One page is the root and ends the tree (no parents returned); otherwise the pages go after
// the file's end.
std::vector<TablePagesWriter::Child> TablePagesWriter::interiorLevel(const std::vector<Child>& children,
                                                                     bool index, uint32_t root) {
    std::vector<std::pair<size_t, size_t>> pages; // first child and right-most child of each page
    for (size_t first = 0; first < children.size();) {
        int used = InteriorHeaderBytes;
        size_t last = first;
        while (last + 1 < children.size()) {
            const int cell = 4 + int(children[last].key.size()) + 2;
            if (used + cell > m_pageSize)
                break;
            used += cell;
            ++last;
        }
        // A single child left over would make a page without cells; the page before gives it one.
        if (last + 2 == children.size() && last > first + 1)
            --last;
        pages.emplace_back(first, last);
        first = last + 1;
    }
    std::vector<unsigned char> page(static_cast<size_t>(m_pageSize));
    std::vector<Child> parents;
    for (const auto& [first, last] : pages) {
        std::fill(page.begin(), page.end(), 0);
        page[0] = index ? InteriorIndexPage : InteriorTablePage;
        int contentStart = m_pageSize;
        for (size_t k = first; k < last; ++k) {
            const std::string& key = children[k].key;
            contentStart -= std::max(4, 4 + int(key.size()));
            put4(page.data() + contentStart, children[k].page);
            copyBytes(page.data() + contentStart + 4, key.data(), key.size());
            put2(page.data() + InteriorHeaderBytes + 2 * (k - first), uint32_t(contentStart));
        }
        put2(page.data() + 3, uint32_t(last - first));
        put2(page.data() + 5, uint32_t(contentStart));
        put4(page.data() + 8, children[last].page);
        if (pages.size() == 1) {
            writePage(root, page.data());
            return {};
        }
        parents.push_back({appendPage(page.data()), children[last].key});
    }
    return parents;
}

// The page holding the byte at 1 GiB holds the engine's file locks and no data: the engine reports
// any use of it as damage. It stays empty here too.
uint32_t TablePagesWriter::appendPage(const unsigned char* page) {
    const uint32_t lockBytePage = uint32_t(LockByteOffset / m_pageSize) + 1;
    if (m_pages + 1 == lockBytePage)
        appendBytes(std::vector<unsigned char>(size_t(m_pageSize)).data());
    appendBytes(page);
    return m_pages;
}

void TablePagesWriter::appendBytes(const unsigned char* page) {
    if (m_appended.empty())
        m_firstAppended = m_pages + 1;
    m_appended.insert(m_appended.end(), page, page + m_pageSize);
    ++m_pages;
    if (m_appended.size() >= AppendedBytesHeld)
        flushAppended();
}

void TablePagesWriter::writePage(uint32_t page, const unsigned char* bytes) {
    if (!m_file.seek(qint64(page - 1) * m_pageSize) ||
        m_file.write(reinterpret_cast<const char*>(bytes), m_pageSize) != m_pageSize)
        throw FileError(
            QStringLiteral("写入文件“%1”时出错：%2").arg(m_file.fileName(), m_file.errorString()));
}

void TablePagesWriter::flushAppended() {
    if (m_appended.empty())
        return;
    const qint64 bytes = qint64(m_appended.size());
    if (!m_file.seek(qint64(m_firstAppended - 1) * m_pageSize) ||
        m_file.write(reinterpret_cast<const char*>(m_appended.data()), bytes) != bytes)
        throw FileError(
            QStringLiteral("写入文件“%1”时出错：%2").arg(m_file.fileName(), m_file.errorString()));
    m_appended.clear();
}

// The engine trusts the page count of the header only while the change counter equals the number
// it was last valid for; both move on together.
void TablePagesWriter::updateHeader() {
    unsigned char header[HeaderBytes];
    if (!m_file.seek(0) || m_file.read(reinterpret_cast<char*>(header), HeaderBytes) != HeaderBytes)
        throw FileError(QStringLiteral("无法读取文件“%1”：%2").arg(m_file.fileName(), m_file.errorString()));
    const uint32_t changes = bigEndian32(header + 24) + 1;
    put4(header + 24, changes);
    put4(header + 28, m_pages);
    put4(header + 92, changes);
    if (!m_file.seek(0) || m_file.write(reinterpret_cast<const char*>(header), HeaderBytes) != HeaderBytes)
        throw FileError(
            QStringLiteral("写入文件“%1”时出错：%2").arg(m_file.fileName(), m_file.errorString()));
}

void TablePagesWriter::finish() {
    for (Tree& tree : m_trees)
        finishTree(tree);
    flushAppended();
    updateHeader();
    if (!m_file.flush())
        throw FileError(
            QStringLiteral("写入文件“%1”时出错：%2").arg(m_file.fileName(), m_file.errorString()));
    m_file.close();
}

} // namespace corvalis::records
