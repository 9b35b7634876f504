#include "ReceivedIndexes.h"

#include "TablePages.h"

#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <string>

namespace corvalis::records {

namespace {

// SipHash-2-4 over a message of 64-bit words: a keyed digest that cannot be steered towards a
// chosen value without the key.
class SipHash {
public:
    explicit SipHash(const quint64 key[2])
        : v0(key[0] ^ 0x736f6d6570736575ULL), v1(key[1] ^ 0x646f72616e646f6dULL),
          v2(key[0] ^ 0x6c7967656e657261ULL), v3(key[1] ^ 0x7465646279746573ULL) {}

    void take(quint64 word) {
        v3 ^= word;
        round();
        round();
        v0 ^= word;
    }
    // Bytes in words of eight, the last one with its length as the algorithm pads it.
    void takeBytes(const unsigned char* data, qint64 size) {
        qint64 pos = 0;
        for (; pos + 8 <= size; pos += 8) {
            quint64 word;
            std::memcpy(&word, data + pos, 8);
            take(qFromLittleEndian(word));
        }
        quint64 last = quint64(size) << 56;
        for (qint64 i = 0; pos + i < size; ++i)
            last |= quint64(data[pos + i]) << (8 * i);
        take(last);
    }
    quint64 digest() {
        v2 ^= 0xff;
        for (int i = 0; i < 4; ++i)
            round();
        return v0 ^ v1 ^ v2 ^ v3;
    }

private:
    static quint64 rotate(quint64 x, int bits) { return (x << bits) | (x >> (64 - bits)); }
    void round() {
        v0 += v1;
        v1 = rotate(v1, 13) ^ v0;
        v0 = rotate(v0, 32);
        v2 += v3;
        v3 = rotate(v3, 16) ^ v2;
        v0 += v3;
        v3 = rotate(v3, 21) ^ v0;
        v2 += v1;
        v1 = rotate(v1, 17) ^ v2;
        v2 = rotate(v2, 32);
    }

    quint64 v0, v1, v2, v3;
};

// The kinds of key the comparison handles, in the engine's order of kinds.
enum class KeyKind { Null = 0, Number = 1, Text = 2, Other = 3 };

// A key as the engine compares it: numbers by value, whether stored whole or floating (a column of
// REAL affinity stores its whole values as integers, and the page walk reads them back as floating).
struct Key {
    KeyKind kind = KeyKind::Other;
    bool whole = false; // a number that is an integer
    qint64 integer = 0;
    double real = 0;
    const unsigned char* bytes = nullptr; // of a text
    qint64 size = 0;
};

Key keyOf(const StoredField& field) {
    Key key;
    switch (field.type) {
    case StoredField::Type::Null:
        key.kind = KeyKind::Null;
        break;
    case StoredField::Type::Integer:
        key.kind = KeyKind::Number;
        key.whole = true;
        key.integer = field.integer;
        break;
    case StoredField::Type::Float:
        key.kind = KeyKind::Number;
        key.whole = std::floor(field.real) == field.real && field.real >= -9223372036854775808.0 &&
                    field.real < 9223372036854775808.0;
        key.real = field.real;
        key.integer = key.whole ? qint64(field.real) : 0;
        break;
    case StoredField::Type::Text:
        key.kind = KeyKind::Text;
        key.bytes = field.bytes;
        key.size = field.size;
        break;
    default:
        break;
    }
    return key;
}

template <typename T> int ordered(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// An integer against a floating value that is not whole (or lies beyond every integer).
int compareWithFraction(qint64 integer, double real) {
    if (real < -9223372036854775808.0)
        return 1;
    if (real >= 9223372036854775808.0)
        return -1;
    return integer <= qint64(std::floor(real)) ? -1 : 1;
}

// Negative, zero or positive as a sorts before, with or after b in an index of binary collation.
int compareKeys(const Key& a, const Key& b) {
    if (a.kind != b.kind)
        return ordered(int(a.kind), int(b.kind));
    if (a.kind == KeyKind::Number) {
        if (a.whole && b.whole)
            return ordered(a.integer, b.integer);
        if (!a.whole && !b.whole)
            return ordered(a.real, b.real);
        return a.whole ? compareWithFraction(a.integer, b.real) : -compareWithFraction(b.integer, a.real);
    }
    if (a.kind == KeyKind::Text) {
        const size_t common = size_t(qMin(a.size, b.size));
        const int bytes = common ? std::memcmp(a.bytes, b.bytes, common) : 0;
        return bytes != 0 ? bytes : ordered(a.size, b.size);
    }
    return 0;
}

// The digest of an index entry: its key's kind and form, its rowid, then the key's value (a text
// ends in a word that holds its length, so no two entries share a message).
quint64 entryDigest(const quint64 digestKey[2], const Key& key, qint64 rowid) {
    SipHash hash(digestKey);
    hash.take(quint64(key.kind) * 2 + (key.whole ? 1 : 0));
    hash.take(quint64(rowid));
    if (key.kind == KeyKind::Number && key.whole) {
        hash.take(quint64(key.integer));
    } else if (key.kind == KeyKind::Number) {
        quint64 bits;
        std::memcpy(&bits, &key.real, sizeof bits);
        hash.take(bits);
    } else if (key.kind == KeyKind::Text) {
        hash.takeBytes(key.bytes, key.size);
    }
    return hash.digest();
}

// The last entry an index walk passed, kept beyond the page it came from.
struct PreviousEntry {
    bool any = false;
    Key key;
    std::string text;
    qint64 rowid = 0;

    void keep(const Key& entryKey, qint64 entryRowid) {
        any = true;
        key = entryKey;
        if (key.kind == KeyKind::Text) {
            text.assign(reinterpret_cast<const char*>(key.bytes), size_t(key.size));
            key.bytes = reinterpret_cast<const unsigned char*>(text.data());
        }
        rowid = entryRowid;
    }
};

// Whether the index's columns make it simple: one ascending key column of binary collation, then the
// rowid. Gives the key column's position.
bool simpleKeyColumn(engine::Connection& connection, const QString& schema, const QString& index,
                     int& column) {
    engine::Statement columns(connection, QStringLiteral("select cid, \"desc\", coll, \"key\" from "
                                                         "pragma_index_xinfo(?1, ?2) order by seqno"));
    columns.bind(1, index);
    columns.bind(2, schema);
    int keys = 0, others = 0;
    bool othersAreTheRowid = true;
    while (columns.step()) {
        if (columns.integer(3) == 0) {
            ++others;
            othersAreTheRowid = othersAreTheRowid && columns.integer(0) == -1;
            continue;
        }
        ++keys;
        column = int(columns.integer(0));
        if (column < 0 || columns.integer(1) != 0 ||
            columns.text(2).compare(QLatin1String("BINARY"), Qt::CaseInsensitive) != 0)
            return false;
    }
    return keys == 1 && others == 1 && othersAreTheRowid;
}

} // namespace

std::optional<std::vector<SimpleIndex>> simpleIndexes(engine::Connection& connection, const QString& schema) {
    engine::Statement list(connection,
                           QStringLiteral("select i.name, i.\"unique\", i.partial, m.rootpage from "
                                          "pragma_index_list('dt_data', ?1) i left join %1.sqlite_master m "
                                          "on m.type='index' and m.name=i.name")
                               .arg(engine::quotedIdentifier(schema)));
    list.bind(1, schema);
    std::vector<SimpleIndex> indexes;
    while (list.step()) {
        SimpleIndex index;
        index.unique = list.integer(1) != 0;
        index.rootPage = list.integer(3);
        if (list.integer(2) != 0 || index.rootPage < 2 ||
            !simpleKeyColumn(connection, schema, list.text(0), index.column))
            return std::nullopt;
        indexes.push_back(index);
    }
    return indexes;
}

IndexesMatchRows::IndexesMatchRows(std::vector<SimpleIndex> indexes)
    : m_indexes(std::move(indexes)), m_rowSums(m_indexes.size(), 0) {
    QRandomGenerator::system()->fillRange(m_key);
}

void IndexesMatchRows::addRow(const PageRecord& row) {
    if (!m_comparable)
        return;
    for (size_t i = 0; i < m_indexes.size(); ++i) {
        const std::optional<StoredField> field = row.field(m_indexes[i].column);
        const Key key = field ? keyOf(*field) : Key();
        if (key.kind == KeyKind::Other) {
            m_comparable = false;
            return;
        }
        m_rowSums[i] += entryDigest(m_key, key, row.rowid());
    }
    ++m_rows;
}

bool IndexesMatchRows::indexesMatch(TablePages& pages, const std::atomic<bool>& stop) const {
    if (!m_comparable)
        return false;
    for (size_t i = 0; i < m_indexes.size(); ++i)
        if (!indexMatches(pages, m_indexes[i], m_rowSums[i], stop))
            return false;
    return true;
}

bool IndexesMatchRows::indexMatches(TablePages& pages, const SimpleIndex& index, quint64 rowSum,
                                    const std::atomic<bool>& stop) const {
    quint64 entrySum = 0;
    PreviousEntry previous;
    const TablePages::Walk walk = pages.walkIndex(
        index.rootPage,
        [&](const PageRecord& entry) {
            const std::optional<StoredField> rowid = entry.field(1);
            if (entry.fieldCount() != 2 || rowid->type != StoredField::Type::Integer)
                return false;
            const Key key = keyOf(*entry.field(0));
            if (key.kind == KeyKind::Other)
                return false;
            // Strictly in order of key, then rowid; a unique index holds a key once, nulls apart.
            if (previous.any) {
                const int order = compareKeys(key, previous.key);
                if (order < 0 || (order == 0 && (rowid->integer <= previous.rowid ||
                                                 (index.unique && key.kind != KeyKind::Null))))
                    return false;
            }
            previous.keep(key, rowid->integer);
            entrySum += entryDigest(m_key, key, rowid->integer);
            return true;
        },
        stop);
    return walk == TablePages::Walk::Complete && pages.rows() == m_rows && entrySum == rowSum;
}

} // namespace corvalis::records
