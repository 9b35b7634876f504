#include "CodePopup.h"

#include <QAction>
#include <QStyle>

namespace corvalis {

CodeNameBox::CodeNameBox(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    setFocusPolicy(Qt::ClickFocus);
    QAction* drop = addAction(style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
    drop->setObjectName(QStringLiteral("dropDown"));
    connect(drop, &QAction::triggered, this, &CodeNameBox::dropDownRequested);
}

bool opensCodePicker(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    return (event.key() == Qt::Key_F4 && modifiers == Qt::NoModifier) ||
           (event.key() == Qt::Key_Down && modifiers == Qt::AltModifier);
}

void CodeNameBox::keyPressEvent(QKeyEvent* event) {
    if (opensCodePicker(*event)) {
        Q_EMIT dropDownRequested();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CodeNameBox::showName(qint64 code, const QString& name) {
    m_code = code;
    setText(name);
}

void CodeNameBox::clearCode() {
    m_code = -1;
    clear();
}

CodePopup& CodePopup::of(QWidget* box) {
    QWidget* window = box->window();
    if (auto* popup =
            window->findChild<CodePopup*>(QStringLiteral("CodePopupMenu"), Qt::FindDirectChildrenOnly))
        return *popup;
    return *new CodePopup(window);
}

CodePopup::CodePopup(QWidget* window) : QMenu(window) {
    setObjectName(QStringLiteral("CodePopupMenu"));
}

void CodePopup::show(CodeNameBox* target, const TMenuItemDataArray& codes,
                     std::function<void(qint64)> callback) {
    m_target = target;
    m_callback = std::move(callback);
    clear();
    for (const TCode& entry : codes) {
        QAction* item = addAction(entry.name);
        item->setData(entry.code);
        item->setCheckable(true);
        item->setChecked(target && entry.code == target->code());
        QObject::connect(item, &QAction::triggered, this, [this, item] { itemClicked(item); });
    }
    if (!target)
        return;
    const QRect box = target->geometry();
    const QPoint anchor(box.left() + box.width() - 10, box.top() + box.height() - 30);
    const QPoint global = target->parentWidget() ? target->parentWidget()->mapToGlobal(anchor) : anchor;
    popup(global);
}

void CodePopup::itemClicked(QAction* item) {
    if (!item)
        return;
    const qint64 code = item->data().toLongLong();
    if (m_target) {
        m_target->showName(code, item->text().trimmed());
    }
    if (m_callback)
        m_callback(code);
}

} // namespace corvalis
