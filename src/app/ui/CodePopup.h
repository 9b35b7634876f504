#pragma once

#include "app/CodeList.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <functional>

namespace corvalis {

// F4 and Alt+Down open a code's picker, as they open Qt's own combo boxes.
bool opensCodePicker(const QKeyEvent& event);

// A read-only box beside a code that shows the code's name and remembers the code (its "code slot",
// −1 for none). Its drop-down button asks for a picker. It is skipped by Tab.
class CodeNameBox : public QLineEdit {
    Q_OBJECT
public:
    explicit CodeNameBox(QWidget* parent = nullptr);

    qint64 code() const { return m_code; }
    void setCode(qint64 code) { m_code = code; }
    // Shows a name and remembers its code.
    void showName(qint64 code, const QString& name);
    void clearCode();

Q_SIGNALS:
    void dropDownRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    qint64 m_code = -1;
};

// The code pop-up menu (CodePopupMenu) of a window. It is made on first use as a child of the window
// that holds the box, so it lives and dies with that window. show fills it with a code list, the
// entry of the box's current code checked, and pops it up beside the box; choosing an entry puts its
// trimmed caption and code into the box and then calls the callback with the code.
class CodePopup : public QMenu {
public:
    // The pop-up of the window that holds the box.
    static CodePopup& of(QWidget* box);

    void show(CodeNameBox* target, const TMenuItemDataArray& codes,
              std::function<void(qint64)> callback = {});
    QMenu& menu() { return *this; }
    // What choosing an item does (CodePopupItemClick); tests call it with an item of the menu.
    void itemClicked(QAction* item);

private:
    explicit CodePopup(QWidget* window);

    QPointer<CodeNameBox> m_target;
    std::function<void(qint64)> m_callback;
};

// Pops up the code list beside the box; does nothing without a box.
inline void showCodePopup(CodeNameBox* target, const TMenuItemDataArray& codes,
                          std::function<void(qint64)> callback = {}) {
    if (target)
        CodePopup::of(target).show(target, codes, std::move(callback));
}

} // namespace corvalis
