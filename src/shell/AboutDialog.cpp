#include "AboutDialog.h"

#include "app/ProgramNames.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QUrl>
#include <QVBoxLayout>

namespace corvalis {

AboutDialog::AboutDialog(int buildNumber, bool asSplash, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
    setObjectName(QStringLiteral("TdlgAboutForm"));
    setFixedSize(520, 300);
    m_name = new QLabel(program::ProductName, this);
    m_name->setObjectName(QStringLiteral("NameLabel"));
    QFont big = m_name->font();
    big.setPointSize(big.pointSize() + 8);
    big.setBold(true);
    m_name->setFont(big);
    m_name->installEventFilter(this);
    auto* version =
        new QLabel(QStringLiteral("版本：%1 (Build %2)").arg(program::ProgramVersion).arg(buildNumber), this);
    version->setObjectName(QStringLiteral("VersionLabel"));
    auto* statement = new QLabel(QStringLiteral("本软件在全国总工会办公厅的指导和监督下制作，\n"
                                                "由指定单位负责设计、开发和发布。"),
                                 this);
    auto* developer = new QLabel(QStringLiteral("开发单位：") + program::DeveloperName, this);
    auto* link =
        new QLabel(QStringLiteral("<a href=\"https://www.orvanteq.example\">www.orvanteq.example</a>"), this);
    link->setObjectName(QStringLiteral("WebLink"));
    link->setOpenExternalLinks(true);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("RzProgressBar1"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_bar->setVisible(asSplash);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(36, 36, 36, 24);
    layout->addWidget(m_name);
    layout->addWidget(version);
    layout->addStretch();
    layout->addWidget(statement);
    layout->addWidget(developer);
    layout->addWidget(link);
    layout->addWidget(m_bar);
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(40);
    connect(&m_timer, &QTimer::timeout, this, &AboutDialog::tick);
    if (asSplash)
        m_timer.start();
}

void AboutDialog::tick() {
    m_bar->setValue(std::min(m_bar->value() + 2, 100));
    if (m_bar->value() >= 100) {
        m_timer.stop();
        accept();
    }
}

void AboutDialog::nameDoubleClicked(Qt::KeyboardModifiers modifiers) {
    const bool gesture = (modifiers & Qt::ControlModifier) && (modifiers & Qt::AltModifier) &&
                         !(modifiers & Qt::ShiftModifier);
    if (!gesture)
        return;
    if (m_maintenance)
        m_maintenance();
    accept();
}

void AboutDialog::mousePressEvent(QMouseEvent* event) {
    Q_UNUSED(event)
    m_timer.stop();
    accept();
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_name && event->type() == QEvent::MouseButtonDblClick) {
        nameDoubleClicked(static_cast<QMouseEvent*>(event)->modifiers());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void AboutDialog::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event)
    QPainter painter(this);
    QLinearGradient background(0, 0, width(), height());
    background.setColorAt(0, QColor(214, 228, 245));
    background.setColorAt(1, QColor(250, 250, 255));
    painter.fillRect(rect(), background);
    painter.setPen(QColor(120, 140, 170));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace corvalis
