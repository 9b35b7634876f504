#pragma once

#include "app/FieldDictionary.h"
#include "app/ProgramNames.h"
#include "app/UnionCode.h"
#include "search/QueryExport.h"
#include "search/SearchConditions.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QToolButton;

namespace corvalis {
class Clock;
class DbSession;
class RecordList;
class UiServices;
} // namespace corvalis

namespace corvalis::search {

// The query result list (TdlgQueryListForm): the records that meet a condition, which can be
// edited in the entry form, deleted, sorted by a title click and exported to a workbook or a
// database file.
class QueryListForm : public QDialog {
public:
    QueryListForm(DbSession& session, UiServices& ui, const Clock& clock, QWidget* parent = nullptr);

    // What "修改数据信息" does with the code of the current row (the entry form in modify mode).
    void setEditHandler(std::function<void(UnionCode)> handler) { m_edit = std::move(handler); }

    // RunQuery: the result list of view_data and the detail rows of dt_data under the condition, in
    // code order. Raises EngineError when the engine rejects the condition.
    void runQuery(const Condition& condition);

    RecordList& list() const { return *m_list; }
    int resultCount() const;
    QuerySource resultQuery() const;
    QuerySource detailQuery() const;

    void editCurrent();
    void deleteSelected();
    void saveAsExcel();
    void saveAsAccess();
    // BuildExportColumns: one descriptor per list column, its title without the sort mark.
    TFieldDataArray buildExportColumns() const;

    static QString exportName() { return program::ProductName + QStringLiteral("查询结果"); }

private:
    void loadColumns();
    void runGuarded(const std::function<void()>& action);

    DbSession& m_session;
    UiServices& m_ui;
    const Clock& m_clock;
    RecordList* m_list;
    QLabel* m_count;
    Condition m_condition;
    std::function<void(UnionCode)> m_edit;
};

} // namespace corvalis::search
