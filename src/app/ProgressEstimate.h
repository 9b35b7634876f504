#pragma once

#include <QString>

namespace corvalis {

// The counts and time estimate of a timed progress window: a tick every 100 ms; after five seconds
// (50 ticks) with at least one part done, the remaining time is estimated from the pace so far.
class ProgressEstimate {
public:
    void start(qint64 total, qint64 done);
    void step(qint64 parts = 1) { m_done += parts; }
    void setDone(qint64 done) { m_done = done; }
    void setTotal(qint64 total) { m_total = total; }
    // One timer tick.
    void tick();

    qint64 total() const { return m_total; }
    qint64 done() const { return m_done; }
    qint64 remaining() const { return m_total - m_done; }
    qint64 ticks() const { return m_ticks; }
    // Remaining ticks, -1 before an estimate exists.
    qint64 estimate() const { return m_estimate; }
    bool complete() const { return m_total > 0 && m_done >= m_total; }
    int percent() const;

    QString doneText() const;      // "已完成 %d" or "已完成 %d 用时%d秒"
    QString remainingText() const; // "待完成 %d" or "待完成 %d 尚需%d秒"

private:
    bool estimating() const { return m_ticks > 50 && m_done > 0; }

    qint64 m_total = 0;
    qint64 m_done = 0;
    qint64 m_ticks = 0;
    qint64 m_estimate = -1;
};

} // namespace corvalis
