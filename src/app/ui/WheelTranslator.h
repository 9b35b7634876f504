#pragma once

#include <QObject>

namespace corvalis {

// Turns every mouse-wheel turn in the program into an Up (forward) or Down (backward) key press on
// the widget under the mouse, so that the wheel moves the current row of lists one row per notch.
class WheelTranslator : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace corvalis
