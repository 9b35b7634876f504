#pragma once

#include "CliProgress.h"
#include "app/UiServices.h"

#include <QTextStream>
#include <deque>

namespace corvalis::cli {

// The command-line answers of the UI services: messages are printed (warnings and errors on
// standard error), questions are answered from what the command set up from its options, files are
// handed out from the command's options, and nothing is opened on the desktop.
class CliUiServices : public UiServices {
public:
    CliUiServices(QTextStream& out, QTextStream& err);

    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override;
    bool askYesNo(const QString& text, const QString& caption, MessageIcon icon, bool defaultYes) override;
    int askQuestion(const QString& text, int mask) override;
    std::optional<QString> promptText(const QString& caption, const QString& prompt,
                                      const QString& preset) override;
    std::optional<FileChoice> chooseOpenFile(const FileRequest& request) override;
    std::optional<FilesChoice> chooseOpenFiles(const FileRequest& request) override;
    std::optional<FileChoice> chooseSaveFile(const FileRequest& request) override;
    void openWithShell(const QString& path) override;
    void keepResponsive() override {}
    bool letsInputRun() const override { return false; }
    ProgressReporter& progress() override { return m_progress; }

    // -q: information is not printed (warnings and errors still are). --json: information goes to
    // standard error, so standard output holds the JSON object alone.
    void setQuiet(bool quiet) { m_quiet = quiet; }
    void setJson(bool json) { m_json = json; }
    // Whether long work shows a progress line (standard error is a terminal and -q is not given).
    void setProgressShown(bool shown) { m_progress.setEnabled(shown); }
    // While held, messages are kept instead of printed; the caller prints or replaces them.
    void holdMessages(bool hold) { m_hold = hold; }
    QStringList takeHeldMessages();

    // What the command's options answer.
    void setYesNoAnswer(bool yes) { m_yes = yes; }
    void setQuestionAnswer(int answer) { m_question = answer; }
    void queueText(const QString& text) { m_texts.push_back(text); }
    void queueFile(const QString& path, int filterIndex = 1) { m_files.push_back({path, filterIndex}); }
    void setFiles(const QStringList& paths, int filterIndex = 1) {
        m_multiFiles = FilesChoice{paths, filterIndex};
    }

    // Files the program asked the desktop to open; the command prints them.
    const QStringList& shownFiles() const { return m_shown; }
    // Whether a warning or error message was printed.
    bool reportedProblem() const { return m_problem; }
    const QString& lastMessage() const { return m_lastMessage; }

private:
    QTextStream& m_out;
    QTextStream& m_err;
    bool m_yes = true;
    int m_question = AskYes;
    std::deque<QString> m_texts;
    std::deque<FileChoice> m_files;
    std::optional<FilesChoice> m_multiFiles;
    QStringList m_shown;
    bool m_problem = false;
    QString m_lastMessage;
    CliProgress m_progress;
    bool m_quiet = false;
    bool m_json = false;
    bool m_hold = false;
    QStringList m_held;
    // Where information goes: standard output, or standard error when standard output is for JSON.
    QTextStream& informationStream() { return m_json ? m_err : m_out; }
};

} // namespace corvalis::cli
