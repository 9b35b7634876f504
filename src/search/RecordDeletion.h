#pragma once

#include "app/UnionCode.h"

#include <QList>
#include <QString>
#include <optional>

namespace corvalis {
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::search {

// What the deletion needs of a record list: its rows' keys as they stand now, never row numbers,
// so that a list re-run or re-sorted between selecting and deleting cannot make it delete a record
// that was not selected.
class DeletionList {
public:
    virtual ~DeletionList() = default;
    virtual bool isEmpty() const = 0;
    // The keys of the selected rows in list order (empty when nothing is selected).
    virtual QList<UnionCode> selectedKeys() const = 0;
    virtual std::optional<UnionCode> currentKey() const = 0;
    // Shows the record of that key as the current row; false when the list no longer has it.
    virtual bool showKey(UnionCode key) = 0;
    // Take a position marker, re-run, go back to it (or the last row when it is gone).
    virtual void refreshKeepingPosition() = 0;
};

// DeleteSelectedRecords: asks and deletes the selected records of a list from a table by its key
// column. One selected row (or none): the current row, after "是". Several: the rows are shown one
// by one; "全都是" deletes that row and every later selected one in one statement, "否" stops, and
// closing the question goes on with the next row. Returns the number of records deleted.
// The table and key column are names of the program's own; anything else is refused.
qint64 deleteSelectedRecords(DeletionList& list, engine::Connection& connection, const QString& table,
                             const QString& keyColumn, UiServices& ui);

// Deletes the records with those keys in one transaction (bound values, in chunks).
qint64 deleteByKeys(engine::Connection& connection, const QString& table, const QString& keyColumn,
                    const QList<UnionCode>& keys);

// "所有的数据": after the warning question.
bool deleteAllRecords(engine::Connection& connection, UiServices& ui);
// "指定单位编号的范围": the two code texts (empty counts as 0). Returns false when refused or
// cancelled; the end code shown afterwards is returned through endText (it takes the start's text
// when the start is greater).
bool deleteRecordRange(engine::Connection& connection, UiServices& ui, const QString& startText,
                       QString& endText);

inline const QString DeleteQuestion = QStringLiteral("您确定要删除当前所选择的记录吗?");
inline const QString IrreversibleQuestion = QStringLiteral("删除操作将不可恢复，您确认继续么？");
inline const QString WarningCaption = QStringLiteral("警告信息");
inline const QString DeleteRangeMessage = QStringLiteral("请输入删除的范围");

} // namespace corvalis::search
