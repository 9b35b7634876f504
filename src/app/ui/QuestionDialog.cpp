#include "QuestionDialog.h"

#include "app/UiServices.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvalis {

namespace {
struct ButtonInfo {
    const char* name;
    const char* caption;
    int maskBit;
    int result;
};
// In the order of the button row.
const ButtonInfo buttonTable[] = {
    {"tbOK", "是", AskShowYes, AskYes},
    {"tbCopyAll", "全都是", AskShowYesToAll, AskYesToAll},
    {"tbCancel", "否", AskShowNo, AskNo},
    {"tbNotToAll", "全都否", AskShowNoToAll, AskNoToAll},
};
} // namespace

QuestionDialog::QuestionDialog(const QString& question, int mask, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TQuestionDlg"));
    setWindowTitle(QStringLiteral("提示信息"));
    m_question = new QLabel(question, this);
    m_question->setObjectName(QStringLiteral("Question"));
    m_question->setWordWrap(false);
    m_buttons = new QWidget(this);
    m_buttons->setObjectName(QStringLiteral("DlgToolBar"));
    auto* row = new QHBoxLayout(m_buttons);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch();
    for (const ButtonInfo& info : buttonTable) {
        auto* button = new QPushButton(QString::fromUtf8(info.caption), m_buttons);
        button->setObjectName(QString::fromLatin1(info.name));
        button->setVisible((mask & info.maskBit) != 0);
        const int result = info.result;
        connect(button, &QPushButton::clicked, this, [this, result] {
            m_result = result;
            accept();
        });
        row->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_question);
    layout->addStretch();
    layout->addWidget(m_buttons);
    sizeToContent(mask);
}

void QuestionDialog::sizeToContent(int mask) {
    // The row is as wide as its visible buttons; the dialog fits the question, but is at least one
    // and a half times as wide as the row, and one and a half rows taller than the question.
    int rowWidth = 0;
    int rowHeight = 0;
    for (const ButtonInfo& info : buttonTable) {
        if (!(mask & info.maskBit))
            continue;
        auto* button = m_buttons->findChild<QPushButton*>(QString::fromLatin1(info.name));
        rowWidth += button->sizeHint().width() + 6;
        rowHeight = std::max(rowHeight, button->sizeHint().height());
    }
    const QSize text = m_question->sizeHint();
    const int width = std::max(text.width() + 25 + 18, rowWidth * 3 / 2);
    const int height = text.height() + 18 + rowHeight * 3 / 2;
    setFixedSize(width, std::max(height, 80));
}

int QuestionDialog::ask() {
    m_result = AskClosed;
    exec();
    return m_result;
}

int askQuestion(const QString& question, int mask, QWidget* parent) {
    QuestionDialog dialog(question, mask, parent);
    return dialog.ask();
}

} // namespace corvalis
