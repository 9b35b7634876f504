#include "WheelTranslator.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QWidget>

namespace corvalis {

bool WheelTranslator::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    auto* wheel = static_cast<QWheelEvent*>(event);
    QObject* target = watched;
    // A list receives the wheel on its viewport; the key belongs to the list itself.
    if (auto* widget = qobject_cast<QWidget*>(watched)) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(widget->parentWidget());
            area && area->viewport() == widget)
            target = area;
    }
    const int key = wheel->angleDelta().y() > 0 ? Qt::Key_Up : Qt::Key_Down;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    return true;
}

} // namespace corvalis
