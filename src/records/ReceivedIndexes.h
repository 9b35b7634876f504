#pragma once

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <optional>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

class PageRecord;
class TablePages;

// An index over one column of a table, ascending, of binary collation and over every row: the only
// kind whose entries the program compares with the rows themselves.
struct SimpleIndex {
    qint64 rootPage = 0;
    int column = 0; // position in the table
    bool unique = false;
};

// The indexes of the schema's dt_data (those of UNIQUE constraints too), when every one is simple;
// none when any is not.
std::optional<std::vector<SimpleIndex>> simpleIndexes(engine::Connection& connection, const QString& schema);

// Whether the indexes of a table hold exactly the entries its rows call for, each once and in the
// engine's order, and a unique index no key twice: then the engine's transfer may copy them as they
// stand instead of building them anew. A received file's pages are not to be trusted that far, and
// the engine's quick integrity check does not compare an index with its table.
//
// The rows are handed over as the table's pages are read, in any order; indexesMatch() then reads
// every index and compares the two sides by a sum of keyed digests of (key, rowid), under a key drawn
// afresh for each check, so that a file cannot be made to pass by choosing its entries.
class IndexesMatchRows {
public:
    explicit IndexesMatchRows(std::vector<SimpleIndex> indexes);
    // Takes a row of the table. Rows holding a key of a kind the comparison leaves to the engine (a
    // floating value, a blob, a column the record lacks) make the indexes fail the check.
    void addRow(const PageRecord& row);
    // After every row: reads each index and compares.
    bool indexesMatch(TablePages& pages, const std::atomic<bool>& stop) const;

private:
    bool indexMatches(TablePages& pages, const SimpleIndex& index, quint64 rowSum,
                      const std::atomic<bool>& stop) const;

    std::vector<SimpleIndex> m_indexes;
    std::vector<quint64> m_rowSums; // by index
    qint64 m_rows = 0;
    bool m_comparable = true;
    quint64 m_key[2] = {0, 0};
};

} // namespace corvalis::records
