#pragma once

#include "summary/TableListFile.h"

#include <QDialog>
#include <QPointer>
#include <vector>

class QButtonGroup;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace corvalis {
class Clock;
class DbSession;
class UiServices;
} // namespace corvalis

namespace corvalis::summary {

// "数据分类汇总" (TdlgSumForm): the sheets to fill, the classification or custom group, and 汇总,
// which writes the summary workbook and hands it to the desktop.
class TdlgSumForm : public QDialog {
public:
    TdlgSumForm(DbSession& session, UiServices& ui, const Clock& clock, QWidget* parent = nullptr);

    // The entries with their ticks as the list shows them.
    std::vector<TableListEntry> entries() const;
    int classification() const;
    qint64 chosenGroup() const { return m_groupId; }
    void chooseGroup(qint64 id);
    // 汇  总: the path of the written workbook, or empty text when none was written.
    QString runSummary();
    // Ticks every entry below a header up to the next header.
    void tickSection(int headerRow);

    void done(int result) override;

    bool isRunning() const { return m_running; }

private:
    // Disables the dialog's controls while a summary runs.
    class RunningGuard {
    public:
        explicit RunningGuard(TdlgSumForm& form);
        ~RunningGuard();
        RunningGuard(const RunningGuard&) = delete;
        RunningGuard& operator=(const RunningGuard&) = delete;

    private:
        TdlgSumForm& m_form;
    };
    void setRunning(bool running);
    void fillList(const std::vector<TableListEntry>& entries);
    void fillGroupMenu();
    void tickAll(bool ticked);

    DbSession& m_session;
    UiServices& m_ui;
    const Clock& m_clock;
    std::vector<TableListEntry> m_loaded;
    qint64 m_groupId = 0;
    bool m_running = false;
    std::vector<QPointer<QWidget>> m_disabledWhileRunning;

    QListWidget* m_list;
    QButtonGroup* m_sumType;
    std::vector<QRadioButton*> m_types;
    QToolButton* m_group;
    QMenu* m_groupMenu;
};

} // namespace corvalis::summary
