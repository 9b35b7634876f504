#include "ProgressEstimate.h"

#include <algorithm>

namespace corvalis {

namespace {
qint64 ceilDiv(qint64 a, qint64 b) {
    return b > 0 ? (a + b - 1) / b : 0;
}
} // namespace

void ProgressEstimate::start(qint64 total, qint64 done) {
    m_total = total;
    m_done = done;
    m_ticks = 0;
    m_estimate = -1;
}

void ProgressEstimate::tick() {
    ++m_ticks;
    if (estimating())
        m_estimate = ceilDiv(m_ticks * remaining(), m_done);
}

int ProgressEstimate::percent() const {
    if (m_total <= 0)
        return 0;
    return int(std::clamp<qint64>(m_done * 100 / m_total, 0, 100));
}

QString ProgressEstimate::doneText() const {
    if (estimating())
        return QStringLiteral("已完成 %1 用时%2秒").arg(m_done).arg(m_ticks / 10);
    return QStringLiteral("已完成 %1").arg(m_done);
}

QString ProgressEstimate::remainingText() const {
    if (estimating())
        return QStringLiteral("待完成 %1 尚需%2秒").arg(remaining()).arg(ceilDiv(m_estimate, 10));
    return QStringLiteral("待完成 %1").arg(remaining());
}

} // namespace corvalis
