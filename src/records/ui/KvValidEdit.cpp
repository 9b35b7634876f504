#include "KvValidEdit.h"

#include "app/GbkText.h"

#include <QKeyEvent>

namespace corvalis::records {

TKvValidEdit::TKvValidEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textEdited, this, &TKvValidEdit::limitBytes);
}

bool TKvValidEdit::accepts(QChar typed) const {
    if (typed == QChar(u'\b'))
        return true;
    if (typed == QLatin1Char('\r') || typed == QLatin1Char('\n'))
        return m_enterMovesOn;
    if (m_extraFilter && !m_extraFilter(typed))
        return false;
    if (m_checkType == tcValidate)
        return m_validChars.contains(typed);
    return !m_forbidChars.contains(typed);
}

void TKvValidEdit::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool typed = !text.isEmpty() && text[0].isPrint() &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typed && !accepts(text[0])) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TKvValidEdit::limitBytes() {
    if (m_maxBytes <= 0 || gbkLength(text()) <= m_maxBytes)
        return;
    const int cursor = cursorPosition();
    setText(truncateToGbkBytes(text(), m_maxBytes));
    setCursorPosition(std::min<int>(cursor, int(text().size())));
}

} // namespace corvalis::records
