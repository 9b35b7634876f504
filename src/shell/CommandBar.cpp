#include "CommandBar.h"

#include <QAction>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvalis {

CommandBar::CommandBar(QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("RzGroupBar1"));
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_content = new QWidget(this);
    m_layout = new QVBoxLayout(m_content);
    m_layout->setContentsMargins(4, 4, 4, 4);
    m_layout->setSpacing(2);
    m_layout->addStretch();
    setWidget(m_content);
    setMinimumWidth(170);
}

void CommandBar::addGroup(const QString& name, const QString& caption, bool open) {
    auto* title = new QToolButton(m_content);
    title->setObjectName(name);
    title->setText(caption);
    title->setCheckable(true);
    title->setChecked(open);
    title->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    title->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    title->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* items = new QWidget(m_content);
    items->setObjectName(name + QStringLiteral("Items"));
    auto* itemLayout = new QVBoxLayout(items);
    itemLayout->setContentsMargins(0, 0, 0, 6);
    itemLayout->setSpacing(0);
    items->setVisible(open);
    connect(title, &QToolButton::toggled, items, [title, items](bool checked) {
        items->setVisible(checked);
        title->setArrowType(checked ? Qt::DownArrow : Qt::RightArrow);
    });
    m_layout->insertWidget(m_layout->count() - 1, title);
    m_layout->insertWidget(m_layout->count() - 1, items);
    m_currentItems = items;
}

QToolButton* CommandBar::addItem(QAction* action, const QString& caption) {
    auto* button = new QToolButton(m_currentItems);
    button->setObjectName(QStringLiteral("item_") + action->objectName());
    button->setDefaultAction(action);
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(IconSize, IconSize));
    button->setAutoRaise(true);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_currentItems->layout()->addWidget(button);
    return button;
}

bool CommandBar::isGroupOpen(const QString& name) const {
    auto* title = m_content->findChild<QToolButton*>(name);
    return title && title->isChecked();
}

void CommandBar::setGroupOpen(const QString& name, bool open) {
    if (auto* title = m_content->findChild<QToolButton*>(name))
        title->setChecked(open);
}

} // namespace corvalis
