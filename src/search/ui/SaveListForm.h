#pragma once

#include "search/ListExport.h"

#include <QDialog>
#include <optional>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace corvalis {
class CommandHost;
}

namespace corvalis::search {

// The list export dialog (TdlgSaveListForm): the survey tables whose columns join the cover columns,
// and which records: all, a range of codes, or a range of a custom group.
class SaveListForm : public QDialog {
public:
    explicit SaveListForm(CommandHost& window, QWidget* parent = nullptr);
    // "导  出": the written workbook's path, empty when nothing was written.
    QString exportList();
    // Chooses a group range by its id, as an entry of the group menu does.
    void chooseGroupRange(qint64 id);
    std::optional<GroupRange> chosenGroupRange() const { return m_group; }
    // "返  回": stores CheckBox1 and closes.
    void finish();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadTables();
    void loadGroups();
    void setChoicesEnabled(bool enabled);

    CommandHost& m_window;
    QListWidget* m_tables;
    QRadioButton* m_all;
    QRadioButton* m_range;
    QRadioButton* m_groupChoice;
    QLineEdit* m_from;
    QLineEdit* m_to;
    QToolButton* m_groupButton;
    QMenu* m_groupMenu;
    QCheckBox* m_onlyShown;
    QPushButton* m_save;
    QPushButton* m_back;
    std::optional<GroupRange> m_group;
    bool m_loaded = false;
};

} // namespace corvalis::search
