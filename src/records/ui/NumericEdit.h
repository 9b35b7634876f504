#pragma once

#include <QLineEdit>

namespace corvalis::records {

// The edit box of every numeric column: whole numbers only, may be left blank (which counts as
// the box's blank value), and on leaving a value outside the bounds becomes the nearest bound.
// Survey boxes show thousands separators and 0 as an empty box; a box may also show a fixed number
// of digits with leading zeros (c903).
class NumericEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit NumericEdit(QWidget* parent = nullptr);

    qint64 value() const;
    void setValue(qint64 value);
    bool isBlank() const;
    void setBlank();

    qint64 minimum() const { return m_minimum; }
    qint64 maximum() const { return m_maximum; }
    void setMinimum(qint64 minimum) { m_minimum = minimum; }
    void setMaximum(qint64 maximum) { m_maximum = maximum; }
    // Largest number of digits that can be typed; 0 for no limit (the maximum still applies).
    void setMaxDigits(int digits);
    int maxDigits() const { return m_maxDigits; }
    void setBlankValue(qint64 value);
    // Thousands separators, and 0 shown as an empty box.
    void setSurveyStyle(bool survey);
    // Digits shown with leading zeros up to this width; 0 for plain digits.
    void setZeroPadding(int width);

    // The digits as typed, without separators (empty for a blank box).
    QString digits() const;
    // Clamps to the bounds and shows the value in the box's style (what leaving the box does).
    void settle();

Q_SIGNALS:
    // The box's value changed, by typing or by the program.
    void valueChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString formatted(qint64 value) const;
    void showText(const QString& text);
    void onTextEdited(const QString& text);
    void noteValue();

    qint64 m_minimum = 0;
    qint64 m_maximum = 99999999999999LL;
    qint64 m_blankValue = 0;
    int m_maxDigits = 14;
    int m_padding = 0;
    bool m_survey = false;
    qint64 m_lastValue = 0;
};

} // namespace corvalis::records
