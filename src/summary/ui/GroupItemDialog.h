#pragma once

#include "summary/CustomGroups.h"

#include <QDialog>
#include <functional>
#include <vector>

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace corvalis {
class CodeNameBox;
class DbSession;
class UiServices;
} // namespace corvalis

namespace corvalis::summary {

// "自定义分组" (TdlgGroupItemForm): the code ranges of one group, with the edits of the current
// range. A click on a column title sorts the ranges and stores that order for the summary.
class TdlgGroupItemForm : public QDialog {
public:
    TdlgGroupItemForm(DbSession& session, UiServices& ui, qint64 groupId, const QString& groupName,
                      std::function<void()> groupRenamed = {}, QWidget* parent = nullptr);

    // The enabling of 增加, 修改 and 除去, also run whenever the interface is idle.
    void updateButtons();
    void sortByColumn(int column);
    SortState sortState() const { return m_sortState; }
    const std::vector<GroupItem>& items() const { return m_items; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void readItems();
    void loadCurrentItem();
    GroupItem itemFromEdits() const;
    void storeItem(bool asNew);
    void removeCurrentItem();
    void saveGroupName();
    void runGuarded(const std::function<void()>& action);

    DbSession& m_session;
    UiServices& m_ui;
    qint64 m_groupId;
    std::function<void()> m_groupRenamed;
    std::vector<GroupItem> m_items;
    SortState m_sortState = SortState::Ascending;
    int m_sortColumn = -1;

    QLineEdit* m_groupName;
    QPushButton* m_save;
    QTableWidget* m_grid;
    QLineEdit* m_name;
    CodeNameBox* m_leftSymbol;
    QLineEdit* m_low;
    CodeNameBox* m_rightSymbol;
    QLineEdit* m_high;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_edit;
};

} // namespace corvalis::summary
