#pragma once

#include "app/ui/CodePopup.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace corvalis::search {

// Small builders for the controls the search dialogs share; every control carries its name.
inline QPushButton* namedButton(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// A field that takes the digits 0 to 9 only (and at most maxLength of them when given).
inline QLineEdit* digitEdit(const QString& name, QWidget* parent, int maxLength = 0) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    return edit;
}

// A box that cannot be typed into and offers a code list on its drop-down button.
inline CodeNameBox* codeBox(const QString& name, const TMenuItemDataArray& codes, QWidget* parent) {
    auto* box = new CodeNameBox(parent);
    box->setObjectName(name);
    box->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(box, &CodeNameBox::dropDownRequested, box, [box, &codes] { showCodePopup(box, codes); });
    return box;
}

} // namespace corvalis::search
