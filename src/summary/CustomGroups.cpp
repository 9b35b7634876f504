#include "CustomGroups.h"

#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

namespace corvalis::summary {

namespace {

GroupItem readItem(const engine::Statement& statement) {
    GroupItem item;
    item.id = statement.integer(statement.columnIndex(QStringLiteral("id")));
    item.groupId = statement.integer(statement.columnIndex(QStringLiteral("GroupID")));
    item.title = statement.text(statement.columnIndex(QStringLiteral("Title")));
    item.lowBoundary =
        engine::codeBoundaryOf(statement.value(statement.columnIndex(QStringLiteral("LowBoundary"))));
    item.highBoundary =
        engine::codeBoundaryOf(statement.value(statement.columnIndex(QStringLiteral("HighBoundary"))));
    item.lowSymbol = statement.text(statement.columnIndex(QStringLiteral("LowSymbol")));
    item.highSymbol = statement.text(statement.columnIndex(QStringLiteral("HighSymbol")));
    return item;
}

QVariantList itemValues(const GroupItem& item) {
    // The boundary columns are REAL: the whole numbers are stored as they always were.
    return {item.groupId, item.title, item.lowBoundary, item.highBoundary, item.lowSymbol, item.highSymbol};
}

} // namespace

const TMenuItemDataArray& lowerSymbols() {
    static const TMenuItemDataArray symbols = {{1, QStringLiteral(">")}, {2, QStringLiteral(">=")}};
    return symbols;
}

const TMenuItemDataArray& upperSymbols() {
    static const TMenuItemDataArray symbols = {{1, QStringLiteral("<")}, {2, QStringLiteral("<=")}};
    return symbols;
}

std::vector<CustomGroup> loadGroups(engine::Connection& connection) {
    engine::Statement statement(connection, QStringLiteral("SELECT ID, Name,orderstr FROM ct_group;"));
    std::vector<CustomGroup> groups;
    while (statement.step())
        groups.push_back({statement.integer(0), statement.text(1), statement.text(2)});
    return groups;
}

std::optional<CustomGroup> findGroup(engine::Connection& connection, qint64 id) {
    engine::Statement statement(connection,
                                QStringLiteral("select ID, Name, orderstr from ct_group where id=?1"));
    statement.bind(1, id);
    if (!statement.step())
        return std::nullopt;
    return CustomGroup{statement.integer(0), statement.text(1), statement.text(2)};
}

qint64 addGroup(engine::Connection& connection, const QString& name) {
    connection.execute(QStringLiteral("insert into ct_group (name, orderstr) values (?1, ?2)"),
                       {name, NewGroupOrder});
    return connection.scalar(QStringLiteral("select max(id) as GroupID from ct_group")).toLongLong();
}

void removeGroup(engine::Connection& connection, qint64 id) {
    // The ranges go with their group: left behind, the list export would still offer them.
    engine::Transaction transaction(connection);
    connection.execute(QStringLiteral("delete from DT_GroupItem where GroupID=?1"), {id});
    connection.execute(QStringLiteral("delete from ct_group where id=?1"), {id});
    transaction.commit();
}

void renameGroup(engine::Connection& connection, qint64 id, const QString& name) {
    connection.execute(QStringLiteral("update ct_group set name=?1 where id=?2"), {name, id});
}

void setItemOrder(engine::Connection& connection, qint64 id, const QString& sortText) {
    connection.execute(QStringLiteral("update CT_Group set orderstr=?1 where id=?2"), {sortText, id});
}

qint64 itemCount(engine::Connection& connection, qint64 groupId) {
    return connection
        .scalar(QStringLiteral("select count(*) as cnt from DT_GroupItem where GroupID = ?1"), {groupId})
        .toLongLong();
}

std::vector<GroupItem> loadItems(engine::Connection& connection, qint64 groupId) {
    engine::Statement statement(connection,
                                QStringLiteral("SELECT * \nfrom view_group_item\nwhere GroupID=?1"));
    statement.bind(1, groupId);
    std::vector<GroupItem> items;
    while (statement.step())
        items.push_back(readItem(statement));
    return items;
}

QString itemProblem(const GroupItem& item) {
    if (item.title.isEmpty())
        return MissingItemNameMessage;
    if (item.highBoundary <= item.lowBoundary)
        return BoundsOrderMessage;
    return QString();
}

qint64 addItem(engine::Connection& connection, const GroupItem& item) {
    connection.execute(
        QStringLiteral("insert into view_group_item (GroupID, Title, LowBoundary, HighBoundary, "
                       "LowSymbol, HighSymbol) values (?1, ?2, ?3, ?4, ?5, ?6)"),
        itemValues(item));
    return connection.scalar(QStringLiteral("select max(id) from DT_GroupItem")).toLongLong();
}

void updateItem(engine::Connection& connection, const GroupItem& item) {
    QVariantList values = itemValues(item);
    values << item.id;
    connection.execute(QStringLiteral("update view_group_item set GroupID=?1, Title=?2, LowBoundary=?3, "
                                      "HighBoundary=?4, LowSymbol=?5, HighSymbol=?6 where id=?7"),
                       values);
}

void removeItem(engine::Connection& connection, qint64 itemId) {
    connection.execute(QStringLiteral("delete from view_group_item where id=?1"), {itemId});
}

QString sortText(const QString& column, SortState state) {
    return column + (state == SortState::Descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
}

} // namespace corvalis::summary
