#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QWidget;

namespace corvalis {

// The four-button question "提示信息": 是, 全都是, 否, 全都否, of which a mask shows some. A new dialog is
// made for every question, so every question starts with all buttons hidden.
class QuestionDialog : public QDialog {
public:
    QuestionDialog(const QString& question, int mask, QWidget* parent = nullptr);

    // Shows the dialog modally; returns 6 (是), 7 (否), 9 (全都否), 10 (全都是) or 2 (closed).
    int ask();

private:
    void sizeToContent(int mask);

    QLabel* m_question;
    QWidget* m_buttons;
    int m_result = 2;
};

// Asks with a new question dialog (AskQuestion).
int askQuestion(const QString& question, int mask, QWidget* parent = nullptr);

} // namespace corvalis
