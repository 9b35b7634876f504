#pragma once

#include <QDialog>
#include <optional>

class QLineEdit;

namespace corvalis {

// A small text prompt: caption, a word-wrapped prompt, a one-line edit of at most 255 characters
// holding the preset text (selected), 确定 (default) and 取消 (also Esc).
class TextPromptDialog : public QDialog {
public:
    TextPromptDialog(const QString& caption, const QString& prompt, const QString& preset,
                     QWidget* parent = nullptr);
    QString text() const;

private:
    QLineEdit* m_edit;
};

// TextPrompt: the typed text, or nothing when cancelled.
std::optional<QString> textPrompt(const QString& caption, const QString& prompt, const QString& preset,
                                  QWidget* parent = nullptr);

} // namespace corvalis
