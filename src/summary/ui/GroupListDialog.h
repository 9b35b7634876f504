#pragma once

#include "summary/CustomGroups.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <vector>

class QPushButton;
class QTableWidget;

namespace corvalis {
class DbSession;
class UiServices;
} // namespace corvalis

namespace corvalis::summary {

// "自定义分组列表" (TdlgGroupListForm): the custom groups, with adding, removing, editing (in
// TdlgGroupItemForm) and the transfer of the group tables.
class TdlgGroupListForm : public QDialog {
public:
    using ItemEditor = std::function<void(qint64 groupId, const QString& name)>;

    TdlgGroupListForm(DbSession& session, UiServices& ui, const QStringList& groupTables,
                      QWidget* parent = nullptr);

    // How the ranges of a group are edited; by default the modal TdlgGroupItemForm.
    void setItemEditor(ItemEditor editor) { m_editItems = std::move(editor); }
    void readGroups();
    const std::vector<CustomGroup>& groups() const { return m_groups; }

private:
    void addNewGroup();
    void editCurrentGroup();
    void removeCurrentGroup();
    void updateButtons();
    const CustomGroup* currentGroup() const;
    void runGuarded(const std::function<void()>& action);

    DbSession& m_session;
    UiServices& m_ui;
    QStringList m_groupTables;
    std::vector<CustomGroup> m_groups;
    ItemEditor m_editItems;
    QTableWidget* m_grid;
    QPushButton* m_remove;
    QPushButton* m_edit;
};

} // namespace corvalis::summary
