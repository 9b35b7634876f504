#pragma once

#include "app/ProgressEstimate.h"
#include "checks/CheckRunner.h"

#include <QDialog>
#include <QTimer>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace corvalis::checks {

// "选择检查的方式": the user chooses the records to check (selected, all, a code range), then watches,
// pauses and stops the run. States: ready, preparing, running, paused, and ready again.
class TdlgCheckForm : public QDialog, public CheckControl {
public:
    // What the dialog's choices run; the runs report their progress to the dialog.
    struct Actions {
        std::function<void(CheckControl*)> checkSelected;
        std::function<void(const CheckSelection&, CheckControl*)> checkSelection;
        std::function<void()> refreshList;
        std::function<void(const QString&)> showMessage;
    };

    explicit TdlgCheckForm(Actions actions, QWidget* parent = nullptr);

    void start(qint64 total) override;
    void step() override;
    bool paused() const override { return m_paused; }
    bool stopRequested() const override { return m_stop; }

    bool running() const { return m_running; }
    // One tick of Timer1.
    void tick();

protected:
    // 返回, Esc and the close button: stop a run after its current record, then close.
    void reject() override;

private:
    void runCheck();
    void runChosenScope();
    void pause();
    void resume();
    void setPreparing();
    void setReady();
    void setProgressShown(bool shown);
    void refreshLabels();

    Actions m_actions;
    QRadioButton* m_selected;
    QRadioButton* m_all;
    QRadioButton* m_range;
    QLineEdit* m_low;
    QLineEdit* m_high;
    QGroupBox* m_progressGroup;
    QProgressBar* m_bar;
    QLabel* m_preparing;
    QLabel* m_doneLabel;
    QLabel* m_remainingLabel;
    QPushButton* m_check;
    QPushButton* m_pause;
    QPushButton* m_resume;
    QPushButton* m_return;
    QTimer m_timer;
    ProgressEstimate m_estimate;
    bool m_paused = false;
    bool m_stop = false;
    bool m_running = false;
    bool m_closeWhenDone = false;
};

} // namespace corvalis::checks
