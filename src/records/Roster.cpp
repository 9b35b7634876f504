#include "Roster.h"

#include "CodeTables.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

#include <algorithm>

namespace corvalis::records {

namespace {

constexpr int BulkCacheKibibytes = 64 * 1024;

// The table is made afresh for each roster: dropping is much quicker than deleting a million rows,
// and the division index is built once after the rows are in.
void createRosterTable(engine::Connection& connection) {
    connection.executeScript(
        QStringLiteral("drop table if exists %1;"
                       "create table %1 (c901 integer primary key, c902 varchar(60) not null, "
                       "c903 integer not null, c907 varchar(3))")
            .arg(RosterTable));
}

void indexRosterTable(engine::Connection& connection) {
    connection.executeScript(QStringLiteral("create index %1_c903 on %1 (c903)").arg(RosterTable));
}

} // namespace

bool hasRoster(engine::Connection& connection) {
    return connection.tableExists(RosterTable);
}

std::vector<RosterUnit> loadRoster(engine::Connection& connection) {
    std::vector<RosterUnit> units;
    if (!hasRoster(connection))
        return units;
    engine::Statement statement(
        connection,
        QStringLiteral("select c901, c902, c903, coalesce(c907, '') from %1 order by c901").arg(RosterTable));
    while (statement.step())
        units.push_back({statement.integer(0), statement.text(1), statement.integer(2), statement.text(3)});
    return units;
}

qint64 rosterSize(engine::Connection& connection) {
    if (!hasRoster(connection))
        return 0;
    return connection.scalar(QStringLiteral("select count(*) from %1").arg(RosterTable)).toLongLong();
}

void replaceRoster(engine::Connection& connection, const std::vector<RosterUnit>& units) {
    // Rows in key order go to the end of the table's tree, page after page.
    std::vector<const RosterUnit*> ordered;
    ordered.reserve(units.size());
    for (const RosterUnit& unit : units)
        ordered.push_back(&unit);
    std::sort(ordered.begin(), ordered.end(),
              [](const RosterUnit* a, const RosterUnit* b) { return a->code < b->code; });
    engine::ScopedCacheSize cache(connection, BulkCacheKibibytes);
    engine::Transaction transaction(connection);
    createRosterTable(connection);
    engine::Statement insert(
        connection,
        QStringLiteral("insert into %1 (c901, c902, c903, c907) values (?1, ?2, ?3, ?4)").arg(RosterTable));
    for (const RosterUnit* unit : ordered) {
        insert.reset();
        insert.bindInt64(1, unit->code);
        insert.bind(2, unit->name);
        insert.bindInt64(3, unit->division);
        if (unit->domain.isEmpty())
            insert.bindNull(4);
        else
            insert.bind(4, unit->domain);
        insert.run();
    }
    indexRosterTable(connection);
    transaction.commit();
}

std::vector<qint64> divisionCodes(engine::Connection& connection) {
    std::vector<qint64> codes;
    engine::Statement statement(connection,
                                QStringLiteral("select ID from %1 order by ID").arg(CodeTable::City));
    while (statement.step())
        codes.push_back(statement.integer(0));
    return codes;
}

bool isKnownDivision(const std::vector<qint64>& codes, qint64 code) {
    return std::binary_search(codes.begin(), codes.end(), code);
}

} // namespace corvalis::records
