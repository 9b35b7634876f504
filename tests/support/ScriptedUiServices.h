#pragma once

#include "app/UiServices.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <variant>
#include <vector>

namespace corvalis::testing {

// A message the program showed.
struct ShownMessage {
    QString text;
    QString caption;
    MessageIcon icon;
};

// A question the program asked, whatever its kind.
struct AskedQuestion {
    enum Kind { YesNo, Ask, Prompt, OpenFile, OpenFiles, SaveFile } kind;
    QString text;
    FileRequest request;
    int mask = 0;
    bool answered = true;
};

// UI services for tests: answers come from a queue filled before the action, and everything the
// program shows, asks or opens is recorded. A question without a queued answer is recorded as
// unanswered and gets the "cancel" answer (No, closed, no text, no file).
class ScriptedUiServices : public UiServices {
public:
    using Answer = std::variant<bool, int, std::optional<QString>, std::optional<FileChoice>,
                                std::optional<FilesChoice>>;

    void answerYes() { m_answers.push_back(true); }
    void answerNo() { m_answers.push_back(false); }
    void answerAsk(int result) { m_answers.push_back(result); }
    void answerText(const QString& text) { m_answers.push_back(std::optional<QString>(text)); }
    void answerCancelText() { m_answers.push_back(std::optional<QString>()); }
    void answerFile(const QString& path, int filterIndex = 1) {
        m_answers.push_back(std::optional<FileChoice>(FileChoice{path, filterIndex}));
    }
    void answerCancelFile() { m_answers.push_back(std::optional<FileChoice>()); }
    void answerFiles(const QStringList& paths, int filterIndex = 1) {
        m_answers.push_back(std::optional<FilesChoice>(FilesChoice{paths, filterIndex}));
    }

    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override;
    bool askYesNo(const QString& text, const QString& caption, MessageIcon icon, bool defaultYes) override;
    int askQuestion(const QString& text, int mask) override;
    std::optional<QString> promptText(const QString& caption, const QString& prompt,
                                      const QString& preset) override;
    std::optional<FileChoice> chooseOpenFile(const FileRequest& request) override;
    std::optional<FilesChoice> chooseOpenFiles(const FileRequest& request) override;
    std::optional<FileChoice> chooseSaveFile(const FileRequest& request) override;
    void openWithShell(const QString& path) override { m_opened << path; }
    void keepResponsive() override {
        ++m_responsiveCalls;
        if (m_onResponsive)
            m_onResponsive();
    }
    // Runs at every keepResponsive, to look at a window while a long operation runs.
    void setOnResponsive(std::function<void()> hook) { m_onResponsive = std::move(hook); }
    ProgressReporter& progress() override { return m_progress; }

    const std::vector<ShownMessage>& messages() const { return m_messages; }
    QStringList messageTexts() const;
    QString lastMessage() const { return m_messages.empty() ? QString() : m_messages.back().text; }
    const std::vector<AskedQuestion>& questions() const { return m_questions; }
    const QStringList& openedFiles() const { return m_opened; }
    bool allAnswersUsed() const { return m_answers.empty(); }
    int unansweredQuestions() const;
    int responsiveCalls() const { return m_responsiveCalls; }
    void clear();

private:
    template <typename T> bool take(T& out);

    std::deque<Answer> m_answers;
    std::vector<ShownMessage> m_messages;
    std::vector<AskedQuestion> m_questions;
    QStringList m_opened;
    int m_responsiveCalls = 0;
    std::function<void()> m_onResponsive;
    SilentProgress m_progress;
};

} // namespace corvalis::testing
