#pragma once

#include "app/UiServices.h"

#include <QElapsedTimer>
#include <QTextStream>

namespace corvalis::cli {

// One line of progress: caption, count, percentage, rate and time left, e.g.
// "正在生成记录... 12000/50000 24% 8000/秒 剩余 0:05". Without a total only the count and rate;
// without a rate (perSecond 0, not measured yet) no rate and no time left.
QString progressLine(const QString& caption, qint64 done, qint64 total, double perSecond);

// The progress of long work on a terminal's standard error: one line redrawn in place a few times a
// second and erased when the work ends. Off (a pipe, a file, -q) it shows nothing, so
// scripts and logs get no control characters.
class CliProgress : public ProgressReporter {
public:
    explicit CliProgress(QTextStream& err) : m_err(err) {}
    void setEnabled(bool enabled) { m_enabled = enabled; }

    void start(const QString& caption, qint64 total, qint64 done = 0, bool timed = true) override;
    void step(qint64 parts = 1) override;
    void setDone(qint64 done) override;
    void setTotal(qint64 total) override;
    void setCaption(const QString& caption) override;
    void finish() override;
    int percent() const override;

    // The two-bar form counts the first bar's parts (sheets, files) and shows the second's share.
    void startTwoBars() override;
    void initFirst(qint64 total) override;
    void initSecond(qint64 total) override;
    void incFirst() override;
    void incSecond() override;
    void finishTwoBars() override;

    // Erases a drawn line, so that a message printed now stands alone; the next step redraws it.
    void endLine();

private:
    void reset(const QString& caption, qint64 total, qint64 done);
    void update(bool force = false);

    QTextStream& m_err;
    bool m_enabled = false;
    QString m_caption;
    qint64 m_total = 0;
    qint64 m_done = 0;
    qint64 m_secondTotal = 0;
    qint64 m_secondDone = 0;
    bool m_twoBars = false;
    bool m_drawn = false; // a line is on the screen that the next draw overwrites
    QElapsedTimer m_started;
    qint64 m_lastDraw = -1;
    qint64 m_rateFromMs = -1; // when the first progress was seen, and how far it was
    qint64 m_rateFromDone = 0;
};

} // namespace corvalis::cli
