#include "CliProgress.h"

#include <QRegularExpression>

namespace corvalis::cli {

namespace {
// Redraws per second at most: enough to look alive, few enough to cost nothing.
constexpr qint64 RedrawIntervalMs = 200;

QString clockText(qint64 seconds) {
    const qint64 hours = seconds / 3600;
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2").arg((seconds / 60) % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0
               ? QStringLiteral("%1:%2").arg(hours).arg(minutesAndSeconds.rightJustified(5, QLatin1Char('0')))
               : minutesAndSeconds;
}
} // namespace

QString progressLine(const QString& caption, qint64 done, qint64 total, double perSecond) {
    QStringList parts;
    if (!caption.isEmpty())
        parts << caption;
    parts << (total > 0 ? QStringLiteral("%1/%2").arg(done).arg(total) : QString::number(done));
    if (total > 0)
        parts << QStringLiteral("%1%").arg(qBound(qint64(0), done * 100 / total, qint64(100)));
    if (perSecond > 0) {
        parts << QStringLiteral("%1/秒").arg(perSecond >= 10 ? QString::number(qint64(perSecond + 0.5))
                                                             : QString::number(perSecond, 'f', 1));
        if (total > done)
            parts << QStringLiteral("剩余 %1").arg(clockText(qint64(double(total - done) / perSecond + 0.5)));
    }
    return parts.join(QLatin1Char(' '));
}

void CliProgress::start(const QString& caption, qint64 total, qint64 done, bool) {
    reset(caption, total, done);
    update(true);
}

void CliProgress::reset(const QString& caption, qint64 total, qint64 done) {
    endLine();
    m_twoBars = false;
    m_caption = caption;
    m_total = total;
    m_done = done;
    m_started.start();
    m_lastDraw = -1;
    m_rateFromMs = -1;
}

void CliProgress::step(qint64 parts) {
    m_done += parts;
    update();
}

void CliProgress::setDone(qint64 done) {
    m_done = done;
    update();
}

void CliProgress::setTotal(qint64 total) {
    m_total = total;
    update();
}

void CliProgress::setCaption(const QString& caption) {
    // The window's captions carry their own percentage ("数据导出...45%"); the line shows its own.
    static const QRegularExpression trailingPercent(QStringLiteral("\\s*\\d+%$"));
    m_caption = caption;
    m_caption.remove(trailingPercent);
    update();
}

void CliProgress::finish() {
    endLine();
}

int CliProgress::percent() const {
    return m_total > 0 ? int(m_done * 100 / m_total) : 0;
}

void CliProgress::startTwoBars() {
    // Only the summary counts in two bars: sheets, and cells of the current sheet.
    reset(QStringLiteral("正在汇总..."), 0, 0);
    m_twoBars = true;
}

void CliProgress::initFirst(qint64 total) {
    m_total = total;
    m_done = 0;
    update(true);
}

void CliProgress::initSecond(qint64 total) {
    m_secondTotal = total;
    m_secondDone = 0;
    update();
}

void CliProgress::incFirst() {
    step();
}

void CliProgress::incSecond() {
    ++m_secondDone;
    update();
}

void CliProgress::finishTwoBars() {
    finish();
    m_twoBars = false;
}

void CliProgress::update(bool force) {
    if (!m_enabled || !m_started.isValid())
        return;
    const qint64 now = m_started.elapsed();
    if (!force && m_lastDraw >= 0 && now - m_lastDraw < RedrawIntervalMs)
        return;
    m_lastDraw = now;
    // The rate is measured from the first progress on, so the time spent getting ready (opening,
    // counting) does not make the first estimates absurd.
    double perSecond = 0;
    if (m_rateFromMs < 0 && m_done > 0) {
        m_rateFromMs = now;
        m_rateFromDone = m_done;
    } else if (m_rateFromMs >= 0 && now > m_rateFromMs && m_done > m_rateFromDone) {
        perSecond = double(m_done - m_rateFromDone) * 1000.0 / double(now - m_rateFromMs);
    }
    QString line = progressLine(m_caption, m_done, m_total, perSecond);
    if (m_twoBars && m_secondTotal > 0)
        line += QStringLiteral("（本表 %1%）")
                    .arg(qBound(qint64(0), m_secondDone * 100 / m_secondTotal, qint64(100)));
    // Carriage return and "erase to the end of the line" redraw the line in place.
    m_err << '\r' << line << "\x1b[K";
    m_err.flush();
    m_drawn = true;
}

void CliProgress::endLine() {
    if (!m_drawn)
        return;
    m_err << "\r\x1b[K";
    m_err.flush();
    m_drawn = false;
}

} // namespace corvalis::cli
