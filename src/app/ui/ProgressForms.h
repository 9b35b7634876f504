#pragma once

#include "app/ProgressEstimate.h"
#include "app/UiServices.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QProgressBar;

namespace corvalis {

// The progress window: "正在处理：", a bar, and in timed use the counts with a time estimate that a
// 100 ms timer refreshes. Stays on top, centred, without title-bar buttons.
class ProgressBarForm : public QDialog {
public:
    explicit ProgressBarForm(QWidget* parent = nullptr);

    // Timed use: StartProgress.
    void startProgress(qint64 total, qint64 done);
    // StepProgress: one part more, repainted at once.
    void stepProgress(qint64 parts = 1);
    // Plain use: the caller sets the parts directly and writes its own caption.
    void setParts(qint64 total, qint64 done);
    void setDone(qint64 done);
    int percent() const { return m_estimate.percent(); }
    const ProgressEstimate& estimate() const { return m_estimate; }
    // One tick of the timer (the timer calls it; tests may too).
    void tick();
    void hideProgress();

private:
    void refreshBar();
    void refreshLabels();

    QProgressBar* m_bar;
    QLabel* m_done;
    QLabel* m_remaining;
    QTimer m_timer;
    ProgressEstimate m_estimate;
};

// The two-bar progress window "操作进度指示": overall progress over the progress of the current task.
class ProgressBar2LineForm : public QDialog {
public:
    explicit ProgressBar2LineForm(QWidget* parent = nullptr);
    void initFirst(qint64 total);
    void initSecond(qint64 total);
    void incFirst();
    void incSecond();
    int firstValue() const;
    int secondValue() const;

private:
    QProgressBar* m_first;
    QProgressBar* m_second;
};

// Progress of the windows: the single-bar window for start/step, the two-bar window for the rest.
class WindowProgress : public ProgressReporter {
public:
    explicit WindowProgress(QWidget* parent);
    ~WindowProgress() override;

    void start(const QString& caption, qint64 total, qint64 done, bool timed) override;
    void step(qint64 parts) override;
    void setDone(qint64 done) override;
    void setTotal(qint64 total) override;
    void setCaption(const QString& caption) override;
    void finish() override;
    int percent() const override;
    void startTwoBars() override;
    void initFirst(qint64 total) override;
    void initSecond(qint64 total) override;
    void incFirst() override;
    void incSecond() override;
    void finishTwoBars() override;

    ProgressBarForm& single();
    ProgressBar2LineForm& twoBars();

private:
    QWidget* m_parent;
    ProgressBarForm* m_single = nullptr;
    ProgressBar2LineForm* m_two = nullptr;
};

} // namespace corvalis
