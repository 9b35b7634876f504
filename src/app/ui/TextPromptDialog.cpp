#include "TextPromptDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvalis {

TextPromptDialog::TextPromptDialog(const QString& caption, const QString& prompt, const QString& preset,
                                   QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("TextPrompt"));
    setWindowTitle(caption);
    auto* label = new QLabel(prompt, this);
    label->setObjectName(QStringLiteral("Prompt"));
    label->setWordWrap(true);
    m_edit = new QLineEdit(preset, this);
    m_edit->setObjectName(QStringLiteral("Answer"));
    m_edit->setMaxLength(255);
    m_edit->selectAll();
    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    auto* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

QString TextPromptDialog::text() const {
    return m_edit->text();
}

std::optional<QString> textPrompt(const QString& caption, const QString& prompt, const QString& preset,
                                  QWidget* parent) {
    TextPromptDialog dialog(caption, prompt, preset, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.text();
}

} // namespace corvalis
