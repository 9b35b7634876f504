#pragma once

#include <QDialog>
#include <functional>

class QPushButton;
class QTabWidget;

namespace corvalis {

class DbSession;
class UiServices;

// "自定义列表项" (TdlgShowForm): one page per page of the survey, a check box per field, ticked when
// the field shows in the record lists. 确  定 stores the ticks and rebuilds the main list.
class FieldChoiceDialog : public QDialog {
public:
    FieldChoiceDialog(DbSession& session, UiServices& ui, std::function<void()> reloadList,
                      QWidget* parent = nullptr);

    void save();

private:
    DbSession& m_session;
    UiServices& m_ui;
    std::function<void()> m_reloadList;
    QTabWidget* m_pages;
    QPushButton* m_save;
};

} // namespace corvalis
