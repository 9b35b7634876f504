#include "ProgressForms.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace corvalis {

namespace {
constexpr Qt::WindowFlags ToolWindowFlags =
    Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint;

// Bars count in thousandths so that totals beyond the range of int still move smoothly.
int scaled(qint64 done, qint64 total) {
    if (total <= 0)
        return 0;
    return int(std::clamp<qint64>(done * 1000 / total, 0, 1000));
}
} // namespace

ProgressBarForm::ProgressBarForm(QWidget* parent) : QDialog(parent, ToolWindowFlags) {
    setObjectName(QStringLiteral("TProgressBarForm"));
    auto* caption = new QLabel(QStringLiteral("正在处理："), this);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("RzProgressBar1"));
    m_bar->setRange(0, 1000);
    m_bar->setFormat(QStringLiteral("%p%"));
    m_done = new QLabel(this);
    m_done->setObjectName(QStringLiteral("Label2"));
    m_remaining = new QLabel(this);
    m_remaining->setObjectName(QStringLiteral("Label3"));
    m_done->hide();
    m_remaining->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(m_bar);
    layout->addWidget(m_done);
    layout->addWidget(m_remaining);
    setMinimumWidth(380);
    m_timer.setInterval(100);
    m_timer.setObjectName(QStringLiteral("Timer1"));
    connect(&m_timer, &QTimer::timeout, this, &ProgressBarForm::tick);
}

void ProgressBarForm::startProgress(qint64 total, qint64 done) {
    m_estimate.start(total, done);
    refreshBar();
    refreshLabels();
    m_done->show();
    m_remaining->show();
    m_timer.start();
}

void ProgressBarForm::stepProgress(qint64 parts) {
    m_estimate.step(parts);
    refreshBar();
    if (m_estimate.complete())
        m_timer.stop();
    repaint();
}

void ProgressBarForm::setParts(qint64 total, qint64 done) {
    m_estimate.setTotal(total);
    m_estimate.setDone(done);
    refreshBar();
}

void ProgressBarForm::setDone(qint64 done) {
    m_estimate.setDone(done);
    refreshBar();
}

void ProgressBarForm::tick() {
    m_estimate.tick();
    refreshLabels();
}

void ProgressBarForm::hideProgress() {
    m_done->hide();
    m_remaining->hide();
    m_timer.stop();
    hide();
}

void ProgressBarForm::refreshBar() {
    m_bar->setValue(scaled(m_estimate.done(), m_estimate.total()));
}

void ProgressBarForm::refreshLabels() {
    m_done->setText(m_estimate.doneText());
    m_remaining->setText(m_estimate.remainingText());
}

ProgressBar2LineForm::ProgressBar2LineForm(QWidget* parent) : QDialog(parent, ToolWindowFlags) {
    setObjectName(QStringLiteral("TProgressBar2LineForm"));
    setWindowTitle(QStringLiteral("操作进度指示"));
    m_first = new QProgressBar(this);
    m_first->setObjectName(QStringLiteral("ProgressBar1"));
    m_second = new QProgressBar(this);
    m_second->setObjectName(QStringLiteral("RzProgressBar2"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("总进度："), this));
    layout->addWidget(m_first);
    layout->addWidget(new QLabel(QStringLiteral("当前任务进度："), this));
    layout->addWidget(m_second);
    setMinimumWidth(380);
}

void ProgressBar2LineForm::initFirst(qint64 total) {
    m_first->setRange(0, int(qMin<qint64>(total, INT_MAX)));
    m_first->setValue(0);
    repaint();
}

void ProgressBar2LineForm::initSecond(qint64 total) {
    m_second->setRange(0, int(qMin<qint64>(total, INT_MAX)));
    m_second->setValue(0);
    repaint();
}

// A bar repaints itself, at once, when what it shows changes; repainting the window on every step
// would cost far more than the steps of a summary.
void ProgressBar2LineForm::incFirst() {
    m_first->setValue(qMin(m_first->value() + 1, m_first->maximum()));
}

void ProgressBar2LineForm::incSecond() {
    m_second->setValue(qMin(m_second->value() + 1, m_second->maximum()));
}

int ProgressBar2LineForm::firstValue() const {
    return m_first->value();
}
int ProgressBar2LineForm::secondValue() const {
    return m_second->value();
}

WindowProgress::WindowProgress(QWidget* parent) : m_parent(parent) {}

WindowProgress::~WindowProgress() {
    delete m_single;
    delete m_two;
}

ProgressBarForm& WindowProgress::single() {
    if (!m_single)
        m_single = new ProgressBarForm(m_parent);
    return *m_single;
}

ProgressBar2LineForm& WindowProgress::twoBars() {
    if (!m_two)
        m_two = new ProgressBar2LineForm(m_parent);
    return *m_two;
}

void WindowProgress::start(const QString& caption, qint64 total, qint64 done, bool timed) {
    ProgressBarForm& form = single();
    form.setWindowTitle(caption);
    if (timed)
        form.startProgress(total, done);
    else
        form.setParts(total, done);
    form.show();
    form.raise();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WindowProgress::step(qint64 parts) {
    single().stepProgress(parts);
}
void WindowProgress::setDone(qint64 done) {
    single().setDone(done);
}
void WindowProgress::setTotal(qint64 total) {
    single().setParts(total, single().estimate().done());
}
void WindowProgress::setCaption(const QString& caption) {
    single().setWindowTitle(caption);
    single().repaint();
}
void WindowProgress::finish() {
    if (m_single)
        m_single->hideProgress();
}
int WindowProgress::percent() const {
    return m_single ? m_single->percent() : 0;
}

void WindowProgress::startTwoBars() {
    twoBars().show();
    twoBars().raise();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
void WindowProgress::initFirst(qint64 total) {
    twoBars().initFirst(total);
}
void WindowProgress::initSecond(qint64 total) {
    twoBars().initSecond(total);
}
void WindowProgress::incFirst() {
    twoBars().incFirst();
}
void WindowProgress::incSecond() {
    twoBars().incSecond();
}
void WindowProgress::finishTwoBars() {
    if (m_two)
        m_two->hide();
}

} // namespace corvalis
