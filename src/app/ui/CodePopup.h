#pragma once

#include "records/CodeTables.h"

#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <functional>

namespace corvalis {

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

private:
    qint64 m_code = -1;
};

// The one code pop-up menu of the program (CodePopupMenu). showCodePopup fills it with a code
// list, the entry of the box's current code checked, and pops it up beside the box; choosing an entry
// puts its trimmed caption and code into the box and then calls the callback with the code.
class CodePopup {
public:
    static CodePopup& instance();

    void show(CodeNameBox* target, const records::TMenuItemDataArray& codes,
              std::function<void(qint64)> callback = {});
    QMenu& menu() { return m_menu; }
    // What choosing an item does (CodePopupItemClick); tests call it with an item of the menu.
    void itemClicked(QAction* item);

private:
    CodePopup();
    QMenu m_menu;
    QPointer<CodeNameBox> m_target;
    std::function<void(qint64)> m_callback;
};

inline void showCodePopup(CodeNameBox* target, const records::TMenuItemDataArray& codes,
                          std::function<void(qint64)> callback = {}) {
    CodePopup::instance().show(target, codes, std::move(callback));
}

} // namespace corvalis
