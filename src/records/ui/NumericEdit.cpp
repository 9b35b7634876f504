#include "NumericEdit.h"

#include <QKeyEvent>
#include <QLocale>

namespace corvalis::records {

namespace {
QString onlyDigits(const QString& text) {
    QString digits;
    for (QChar c : text)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
    return digits;
}

bool isTypedCharacter(const QKeyEvent* event) {
    const QString text = event->text();
    return !text.isEmpty() && text[0].isPrint() &&
           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}
} // namespace

NumericEdit::NumericEdit(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setMaxLength(32);
    // Whole numbers only: an input method has nothing to compose here.
    setInputMethodHints(Qt::ImhDigitsOnly);
    connect(this, &QLineEdit::textEdited, this, &NumericEdit::onTextEdited);
}

QString NumericEdit::digits() const {
    return onlyDigits(text());
}

bool NumericEdit::isBlank() const {
    return digits().isEmpty();
}

qint64 NumericEdit::value() const {
    const QString typed = digits();
    if (typed.isEmpty())
        return m_blankValue;
    bool ok = false;
    const qint64 number = typed.toLongLong(&ok);
    return ok ? number : m_maximum;
}

void NumericEdit::setValue(qint64 value) {
    showText(formatted(value));
}

void NumericEdit::setBlankValue(qint64 value) {
    m_blankValue = value;
    m_lastValue = this->value();
}

void NumericEdit::setBlank() {
    showText(QString());
}

void NumericEdit::setMaxDigits(int digits) {
    m_maxDigits = digits;
}

void NumericEdit::setSurveyStyle(bool survey) {
    m_survey = survey;
    if (!hasFocus() && !isBlank())
        showText(formatted(value()));
}

void NumericEdit::setZeroPadding(int width) {
    m_padding = width;
}

QString NumericEdit::formatted(qint64 value) const {
    if (m_survey) {
        if (value == 0)
            return QString();
        QLocale locale(QLocale::C);
        locale.setNumberOptions(QLocale::DefaultNumberOptions);
        return locale.toString(value);
    }
    if (m_padding > 0)
        return QStringLiteral("%1").arg(value, m_padding, 10, QLatin1Char('0'));
    return QString::number(value);
}

void NumericEdit::showText(const QString& shown) {
    // While the box is being typed into it shows plain digits, so the cursor never jumps.
    setText(hasFocus() ? onlyDigits(shown) : shown);
    noteValue();
}

void NumericEdit::onTextEdited(const QString& edited) {
    // Pasted text keeps its digits only, cut to the box's length.
    QString typed = onlyDigits(edited);
    if (m_maxDigits > 0 && typed.size() > m_maxDigits)
        typed.truncate(m_maxDigits);
    if (typed != edited) {
        const int cursor = std::min<int>(int(typed.size()), cursorPosition());
        setText(typed);
        setCursorPosition(cursor);
    }
    noteValue();
}

void NumericEdit::keyPressEvent(QKeyEvent* event) {
    if (isTypedCharacter(event)) {
        const QChar typed = event->text()[0];
        if (typed < QLatin1Char('0') || typed > QLatin1Char('9')) {
            event->accept();
            return;
        }
        const int free =
            m_maxDigits > 0 ? m_maxDigits - int(digits().size()) + int(selectedText().size()) : 1;
        if (free <= 0) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void NumericEdit::focusInEvent(QFocusEvent* event) {
    const QString plain = digits();
    if (plain != text())
        setText(plain);
    QLineEdit::focusInEvent(event);
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
        event->reason() == Qt::OtherFocusReason)
        selectAll();
}

void NumericEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    settle();
}

void NumericEdit::noteValue() {
    const qint64 now = value();
    if (now != m_lastValue) {
        m_lastValue = now;
        Q_EMIT valueChanged();
    }
}

void NumericEdit::settle() {
    if (isBlank()) {
        if (!text().isEmpty())
            showText(QString());
        return;
    }
    const qint64 clamped = std::clamp(value(), m_minimum, m_maximum);
    const QString shown = formatted(clamped);
    if (hasFocus() ? onlyDigits(shown) != text() : shown != text())
        showText(shown);
}

} // namespace corvalis::records
