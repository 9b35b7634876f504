#include "CliUiServices.h"

namespace corvalis::cli {

CliUiServices::CliUiServices(QTextStream& out, QTextStream& err) : m_out(out), m_err(err), m_progress(err) {}

QStringList CliUiServices::takeHeldMessages() {
    QStringList held;
    held.swap(m_held);
    return held;
}

void CliUiServices::showMessage(const QString& text, const QString&, MessageIcon icon) {
    m_lastMessage = text;
    const bool problem = icon == MessageIcon::Warning || icon == MessageIcon::Critical;
    m_problem = m_problem || problem;
    QString line = text;
    line.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    m_progress.endLine();
    if (m_hold)
        m_held << line;
    else if (problem)
        m_err << line << Qt::endl;
    else if (!m_quiet)
        informationStream() << line << Qt::endl;
}

bool CliUiServices::askYesNo(const QString& text, const QString&, MessageIcon, bool) {
    if (!m_quiet)
        informationStream() << text << (m_yes ? QStringLiteral(" 是") : QStringLiteral(" 否")) << Qt::endl;
    return m_yes;
}

int CliUiServices::askQuestion(const QString&, int) {
    return m_question;
}

std::optional<QString> CliUiServices::promptText(const QString&, const QString&, const QString& preset) {
    if (m_texts.empty())
        return preset;
    QString text = m_texts.front();
    m_texts.pop_front();
    return text;
}

std::optional<FileChoice> CliUiServices::chooseOpenFile(const FileRequest&) {
    if (m_files.empty())
        return std::nullopt;
    FileChoice choice = m_files.front();
    m_files.pop_front();
    return choice;
}

std::optional<FilesChoice> CliUiServices::chooseOpenFiles(const FileRequest&) {
    std::optional<FilesChoice> choice = m_multiFiles;
    m_multiFiles.reset();
    return choice;
}

std::optional<FileChoice> CliUiServices::chooseSaveFile(const FileRequest& request) {
    return chooseOpenFile(request);
}

void CliUiServices::openWithShell(const QString& path) {
    m_shown << path;
}

} // namespace corvalis::cli
