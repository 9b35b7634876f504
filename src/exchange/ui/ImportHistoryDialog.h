#pragma once

#include "ImportPreviewModels.h"

#include <QDialog>

class QPushButton;
class QTableView;

namespace corvalis {

class DbSession;
class UiServices;

// "导入记录": the import log; "撤销导入" undoes the selected import after a confirming question.
class ImportHistoryDialog : public QDialog {
public:
    ImportHistoryDialog(DbSession& session, UiServices& ui, QWidget* parent = nullptr);

    bool changedDatabase() const { return m_changed; }
    // Reads the log again; the row of the given import becomes current (the latest import without one).
    void reload(qint64 currentId = 0);

private:
    void undoSelected();
    void updateButtons();
    const exchange::ImportLogEntry* currentEntry() const;

    DbSession& m_session;
    UiServices& m_ui;
    bool m_changed = false;
    ImportLogModel* m_model;
    QTableView* m_log;
    QPushButton* m_undo;
    QPushButton* m_close;
};

} // namespace corvalis
