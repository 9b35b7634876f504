#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace corvalis {

enum class MessageIcon { None, Information, Warning, Critical, Question };

// Results of AskQuestion, numbered as the question dialog returns them.
enum AskResult { AskClosed = 2, AskYes = 6, AskNo = 7, AskNoToAll = 9, AskYesToAll = 10 };
// Buttons of AskQuestion, combined as a mask.
enum AskButton { AskShowYes = 1, AskShowNo = 2, AskShowYesToAll = 4, AskShowNoToAll = 8 };

// A file dialog as the program asks for it. Filters use the "caption|pattern|caption|pattern" form,
// e.g. "数据加密文件(*.dat)|*.dat|数据备份文件(*.mdb)|*.mdb"; filterIndex counts from 1.
struct FileRequest {
    QString title;
    QString filter;
    int filterIndex = 1;
    QString folder;
    QString proposedName;
};

// What the user chose in a file dialog, and with which filter (counting from 1).
struct FileChoice {
    QString path;
    int filterIndex = 1;
};

struct FilesChoice {
    QStringList paths;
    int filterIndex = 1;
};

// Progress of a long operation. The single-bar window counts parts; in timed use it also shows
// "done/remaining" with a time estimate, in plain use the caller writes its own caption.
class ProgressReporter {
public:
    virtual ~ProgressReporter() = default;

    virtual void start(const QString& caption, qint64 total, qint64 done = 0, bool timed = true) = 0;
    virtual void step(qint64 parts = 1) = 0;
    virtual void setDone(qint64 done) = 0;
    virtual void setTotal(qint64 total) = 0;
    virtual void setCaption(const QString& caption) = 0;
    virtual void finish() = 0;
    virtual int percent() const = 0;

    // The two-bar window: overall parts on the first bar, parts of the current task on the second.
    virtual void startTwoBars() = 0;
    virtual void initFirst(qint64 total) = 0;
    virtual void initSecond(qint64 total) = 0;
    virtual void incFirst() = 0;
    virtual void incSecond() = 0;
    virtual void finishTwoBars() = 0;
};

// Everything that waits for a person or leaves the program goes through this interface: the windows
// implement it with dialogs, tests with a script of answers, the command-line tool from its options.
// Logic code takes it as a parameter and never opens a dialog itself.
class UiServices {
public:
    virtual ~UiServices() = default;

    virtual void showMessage(const QString& text, const QString& caption = QString(),
                             MessageIcon icon = MessageIcon::Information) = 0;
    // Yes/No question; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& caption = QString(),
                          MessageIcon icon = MessageIcon::Question, bool defaultYes = true) = 0;
    // The four-button question; mask of AskButton values; returns an AskResult.
    virtual int askQuestion(const QString& text, int mask) = 0;
    // A one-line text prompt; empty optional when cancelled.
    virtual std::optional<QString> promptText(const QString& caption, const QString& prompt,
                                              const QString& preset = QString()) = 0;
    virtual std::optional<FileChoice> chooseOpenFile(const FileRequest& request) = 0;
    virtual std::optional<FilesChoice> chooseOpenFiles(const FileRequest& request) = 0;
    // The save dialog asks itself before an existing file is overwritten.
    virtual std::optional<FileChoice> chooseSaveFile(const FileRequest& request) = 0;
    // Hands a file to the desktop's default program for its type.
    virtual void openWithShell(const QString& path) = 0;
    // Lets pending input and timers run during a long loop. The input may reach the database (a
    // record opened from a results window), so no transaction may be held open across it.
    virtual void keepResponsive() = 0;
    // Whether keepResponsive lets input run at all; a loop that keeps a transaction open between
    // its calls need not close it when it does not.
    virtual bool letsInputRun() const { return true; }
    virtual ProgressReporter& progress() = 0;
};

// What every error that stopped a step starts with.
inline const QString RunErrorPrefix = QStringLiteral("运行中发生错误：");

// Shows an error that stopped a step: RunErrorPrefix, the error's text (the engine's own for database
// errors) and what the step adds, such as whom to contact.
inline void showRunError(UiServices& ui, const QString& text, const QString& suffix = QString()) {
    ui.showMessage(RunErrorPrefix + text + suffix, QString(), MessageIcon::Critical);
}

// A progress reporter that shows nothing, for callers that need none.
class SilentProgress : public ProgressReporter {
public:
    void start(const QString&, qint64 total, qint64 done = 0, bool = true) override {
        m_total = total;
        m_done = done;
    }
    void step(qint64 parts = 1) override { m_done += parts; }
    void setDone(qint64 done) override { m_done = done; }
    void setTotal(qint64 total) override { m_total = total; }
    void setCaption(const QString&) override {}
    void finish() override {}
    int percent() const override { return m_total > 0 ? int(m_done * 100 / m_total) : 0; }
    void startTwoBars() override {}
    void initFirst(qint64) override {}
    void initSecond(qint64) override {}
    void incFirst() override {}
    void incSecond() override {}
    void finishTwoBars() override {}

private:
    qint64 m_total = 0;
    qint64 m_done = 0;
};

} // namespace corvalis
