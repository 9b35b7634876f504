#include "CheckDialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace corvalis::checks {

namespace {

constexpr int CodeDigits = 12;

template <typename Widget, typename... Args> Widget* named(const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLineEdit* codeEdit(const char* name) {
    auto* edit = named<QLineEdit>(name);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    edit->setMaxLength(CodeDigits);
    return edit;
}

} // namespace

TdlgCheckForm::TdlgCheckForm(Actions actions, QWidget* parent)
    : QDialog(parent), m_actions(std::move(actions)) {
    setObjectName(QStringLiteral("TdlgCheckForm"));
    setWindowTitle(QStringLiteral("选择检查的方式"));

    auto* scope = new QGroupBox(QStringLiteral("检查的内容"), this);
    m_selected = named<QRadioButton>("Selected", QStringLiteral("选中的数据"));
    m_all = named<QRadioButton>("AllRecord", QStringLiteral("所有的数据"));
    m_range = named<QRadioButton>("Range", QStringLiteral("指定单位编号的范围"));
    m_low = codeEdit("c901_1");
    m_high = codeEdit("c901_2");
    m_selected->setChecked(true);
    auto* scopeLayout = new QGridLayout(scope);
    scopeLayout->addWidget(m_selected, 0, 0, 1, 4);
    scopeLayout->addWidget(m_all, 1, 0, 1, 4);
    scopeLayout->addWidget(m_range, 2, 0, 1, 4);
    scopeLayout->addWidget(new QLabel(QStringLiteral("从")), 3, 0);
    scopeLayout->addWidget(m_low, 3, 1);
    scopeLayout->addWidget(new QLabel(QStringLiteral("到")), 3, 2);
    scopeLayout->addWidget(m_high, 3, 3);

    m_progressGroup = named<QGroupBox>("ProgressGroup", QStringLiteral("检查进度"), this);
    m_bar = named<QProgressBar>("RzProgressBar1");
    m_bar->setValue(0);
    m_preparing = named<QLabel>("Label1", QStringLiteral("正在准备数据 ..."));
    m_doneLabel = named<QLabel>("Label2");
    m_remainingLabel = named<QLabel>("Label3");
    auto* progressLayout = new QGridLayout(m_progressGroup);
    progressLayout->addWidget(m_bar, 0, 0, 1, 2);
    progressLayout->addWidget(m_preparing, 1, 0, 1, 2);
    progressLayout->addWidget(m_doneLabel, 2, 0);
    progressLayout->addWidget(m_remainingLabel, 2, 1);
    m_preparing->hide();
    m_doneLabel->hide();
    m_remainingLabel->hide();
    m_progressGroup->hide();

    m_check = named<QPushButton>("tbCheck", QStringLiteral("检  查"));
    m_pause = named<QPushButton>("tbPause", QStringLiteral("暂  停"));
    m_resume = named<QPushButton>("tbResume", QStringLiteral("继  续"));
    m_return = named<QPushButton>("tbReturn", QStringLiteral("返  回"));
    m_pause->setEnabled(false);
    m_resume->setEnabled(false);
    for (QPushButton* button : {m_check, m_pause, m_resume, m_return})
        button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {m_check, m_pause, m_resume, m_return})
        buttons->addWidget(button);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scope);
    layout->addWidget(m_progressGroup);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(100);
    connect(&m_timer, &QTimer::timeout, this, &TdlgCheckForm::tick);
    connect(m_check, &QPushButton::clicked, this, &TdlgCheckForm::runCheck);
    connect(m_pause, &QPushButton::clicked, this, &TdlgCheckForm::pause);
    connect(m_resume, &QPushButton::clicked, this, &TdlgCheckForm::resume);
    connect(m_return, &QPushButton::clicked, this, &TdlgCheckForm::reject);
}

void TdlgCheckForm::setProgressShown(bool shown) {
    m_progressGroup->setVisible(shown);
    adjustSize();
}

void TdlgCheckForm::setPreparing() {
    for (QWidget* choice :
         {static_cast<QWidget*>(m_selected), static_cast<QWidget*>(m_all), static_cast<QWidget*>(m_range)})
        choice->setEnabled(false);
    m_bar->setValue(0);
    m_preparing->show();
    m_doneLabel->hide();
    m_remainingLabel->hide();
    setProgressShown(true);
    m_check->setEnabled(false);
    m_pause->setEnabled(false);
    m_return->setEnabled(false);
    QApplication::processEvents();
}

void TdlgCheckForm::setReady() {
    m_timer.stop();
    setProgressShown(false);
    m_check->setEnabled(true);
    m_pause->setEnabled(false);
    m_resume->setEnabled(false);
    m_return->setEnabled(true);
    for (QWidget* choice :
         {static_cast<QWidget*>(m_selected), static_cast<QWidget*>(m_all), static_cast<QWidget*>(m_range)})
        choice->setEnabled(true);
}

void TdlgCheckForm::runCheck() {
    if (m_running)
        return;
    setPreparing();
    m_running = true;
    m_stop = false;
    m_paused = false;
    runChosenScope();
    m_running = false;
    if (m_closeWhenDone) {
        QDialog::reject();
        return;
    }
    setReady();
}

void TdlgCheckForm::runChosenScope() {
    if (m_selected->isChecked()) {
        m_actions.checkSelected(this);
    } else if (m_all->isChecked()) {
        m_actions.checkSelection(CheckSelection::allRecords(), this);
    } else {
        const CheckRange range = checkRangeFromTexts(m_low->text(), m_high->text());
        m_low->setText(range.lowText);
        m_high->setText(range.highText);
        if (!range.complete) {
            m_actions.showMessage(IncompleteRangeMessage);
            return;
        }
        m_actions.checkSelection(CheckSelection::range(range.low, range.high), this);
    }
    if (m_actions.refreshList)
        m_actions.refreshList();
}

void TdlgCheckForm::start(qint64 total) {
    m_preparing->hide();
    m_paused = false;
    m_stop = false;
    m_pause->setEnabled(true);
    m_return->setEnabled(true);
    m_estimate.start(total, 0);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    refreshLabels();
    m_doneLabel->show();
    m_remainingLabel->show();
    m_timer.start();
}

void TdlgCheckForm::step() {
    m_estimate.step();
    const int percent = m_estimate.percent();
    if (percent != m_bar->value())
        m_bar->setValue(percent);
    if (m_estimate.done() >= m_estimate.total()) {
        m_timer.stop();
        refreshLabels();
    }
}

void TdlgCheckForm::tick() {
    m_estimate.tick();
    refreshLabels();
}

void TdlgCheckForm::refreshLabels() {
    m_doneLabel->setText(m_estimate.doneText());
    m_remainingLabel->setText(m_estimate.remainingText());
}

void TdlgCheckForm::pause() {
    m_timer.stop();
    m_paused = true;
    m_pause->setEnabled(false);
    m_resume->setEnabled(true);
}

void TdlgCheckForm::resume() {
    m_paused = false;
    m_timer.start();
    m_pause->setEnabled(true);
    m_resume->setEnabled(false);
}

void TdlgCheckForm::reject() {
    m_stop = true;
    if (m_running) {
        // The run ends after its current record; the dialog closes when it has returned.
        m_closeWhenDone = true;
        return;
    }
    QDialog::reject();
}

} // namespace corvalis::checks
