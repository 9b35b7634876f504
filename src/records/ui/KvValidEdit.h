#pragma once

#include <QLineEdit>
#include <functional>

namespace corvalis::records {

// An edit box that accepts or refuses typed characters by a list (TKvValidEdit). tcValidate
// accepts only the characters of ValidChars; tcForbid refuses those of ForbidChars. Only typed
// characters pass the filter; text set by the program or pasted is not filtered.
class TKvValidEdit : public QLineEdit {
    Q_OBJECT
public:
    enum CheckType { tcValidate = 0, tcForbid = 1 };

    explicit TKvValidEdit(QWidget* parent = nullptr);

    CheckType checkType() const { return m_checkType; }
    void setCheckType(CheckType type) { m_checkType = type; }
    const QString& validChars() const { return m_validChars; }
    void setValidChars(const QString& chars) { m_validChars = chars; }
    const QString& forbidChars() const { return m_forbidChars; }
    void setForbidChars(const QString& chars) { m_forbidChars = chars; }
    // Whether Enter is passed on (the form moves to the next box with it).
    void setEnterMovesOn(bool movesOn) { m_enterMovesOn = movesOn; }
    // A further test of typed characters (the form's key filters of single fields).
    void setExtraFilter(std::function<bool(QChar)> accepts) { m_extraFilter = std::move(accepts); }
    // Longest text in GBK bytes; 0 for no limit. Longer input is cut as it arrives.
    void setMaxBytes(int bytes) { m_maxBytes = bytes; }
    int maxBytes() const { return m_maxBytes; }

    // Whether the filter lets a typed character through.
    bool accepts(QChar typed) const;

    // The quote characters that the text boxes of the program refuse.
    static QString quoteCharacters() { return QStringLiteral("'\"`"); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void limitBytes();

    CheckType m_checkType = tcForbid;
    QString m_validChars;
    QString m_forbidChars;
    bool m_enterMovesOn = true;
    int m_maxBytes = 0;
    std::function<bool(QChar)> m_extraFilter;
};

} // namespace corvalis::records
