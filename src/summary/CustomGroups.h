#pragma once

#include "app/SortState.h"

#include "app/UnionCode.h"
#include "records/CodeTables.h"

#include <QString>
#include <optional>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::summary {

// A named list of code ranges (ct_group).
struct CustomGroup {
    qint64 id = 0;
    QString name;
    QString orderstr;
};

// One range of a group (DT_GroupItem, read and written through view_group_item).
struct GroupItem {
    qint64 id = 0;
    qint64 groupId = 0;
    QString title;
    UnionCode lowBoundary = 0;
    UnionCode highBoundary = 0;
    QString lowSymbol = QStringLiteral(">=");
    QString highSymbol = QStringLiteral("<");
};

// The comparison symbols of a range's ends, as code lists: lower 1 ">", 2 ">="; upper 1 "<", 2 "<=".
const TMenuItemDataArray& lowerSymbols();
const TMenuItemDataArray& upperSymbols();
constexpr qint64 DefaultLowerSymbol = 2;
constexpr qint64 DefaultUpperSymbol = 1;

inline const QString NewGroupOrder = QStringLiteral("id ASC");
inline const QString MissingItemNameMessage = QStringLiteral("必须输入本组数据的名称！");
inline const QString BoundsOrderMessage = QStringLiteral("上限必须大于下限！");
inline const QString ConfirmDeleteMessage = QStringLiteral("数据将被彻底删除，确认么？");

std::vector<CustomGroup> loadGroups(engine::Connection& connection);
std::optional<CustomGroup> findGroup(engine::Connection& connection, qint64 id);
// Adds a group ordered by "id ASC" and returns its id (the highest id of ct_group).
qint64 addGroup(engine::Connection& connection, const QString& name);
// Deletes the group; its items stay in DT_GroupItem.
void removeGroup(engine::Connection& connection, qint64 id);
void renameGroup(engine::Connection& connection, qint64 id, const QString& name);
// Stores the sort text ("Title DESC") by which the summary orders the group's items.
void setItemOrder(engine::Connection& connection, qint64 id, const QString& sortText);
qint64 itemCount(engine::Connection& connection, qint64 groupId);

std::vector<GroupItem> loadItems(engine::Connection& connection, qint64 groupId);
// The message that keeps a range from being stored, or empty text when it can be stored.
QString itemProblem(const GroupItem& item);
qint64 addItem(engine::Connection& connection, const GroupItem& item);
void updateItem(engine::Connection& connection, const GroupItem& item);
void removeItem(engine::Connection& connection, qint64 itemId);

// The ORDER BY text of the item list sorted by a column.
QString sortText(const QString& column, SortState state);

} // namespace corvalis::summary
