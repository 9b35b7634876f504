#include "ScriptedUiServices.h"

namespace corvalis::testing {

template <typename T> bool ScriptedUiServices::take(T& out) {
    if (m_answers.empty() || !std::holds_alternative<T>(m_answers.front()))
        return false;
    out = std::get<T>(m_answers.front());
    m_answers.pop_front();
    return true;
}

void ScriptedUiServices::showMessage(const QString& text, const QString& caption, MessageIcon icon) {
    m_messages.push_back({text, caption, icon});
}

bool ScriptedUiServices::askYesNo(const QString& text, const QString&, MessageIcon, bool) {
    bool answer = false;
    const bool answered = take(answer);
    m_questions.push_back({AskedQuestion::YesNo, text, {}, 0, answered});
    return answered && answer;
}

int ScriptedUiServices::askQuestion(const QString& text, int mask) {
    int answer = AskClosed;
    const bool answered = take(answer);
    m_questions.push_back({AskedQuestion::Ask, text, {}, mask, answered});
    return answered ? answer : int(AskClosed);
}

std::optional<QString> ScriptedUiServices::promptText(const QString&, const QString& prompt, const QString&) {
    std::optional<QString> answer;
    const bool answered = take(answer);
    m_questions.push_back({AskedQuestion::Prompt, prompt, {}, 0, answered});
    return answer;
}

std::optional<FileChoice> ScriptedUiServices::chooseOpenFile(const FileRequest& request) {
    std::optional<FileChoice> answer;
    const bool answered = take(answer);
    m_questions.push_back({AskedQuestion::OpenFile, request.title, request, 0, answered});
    return answer;
}

std::optional<FilesChoice> ScriptedUiServices::chooseOpenFiles(const FileRequest& request) {
    std::optional<FilesChoice> answer;
    const bool answered = take(answer);
    m_questions.push_back({AskedQuestion::OpenFiles, request.title, request, 0, answered});
    return answer;
}

std::optional<FileChoice> ScriptedUiServices::chooseSaveFile(const FileRequest& request) {
    std::optional<FileChoice> answer;
    const bool answered = take(answer);
    m_questions.push_back({AskedQuestion::SaveFile, request.title, request, 0, answered});
    return answer;
}

QStringList ScriptedUiServices::messageTexts() const {
    QStringList texts;
    for (const ShownMessage& message : m_messages)
        texts << message.text;
    return texts;
}

int ScriptedUiServices::unansweredQuestions() const {
    int count = 0;
    for (const AskedQuestion& question : m_questions)
        count += question.answered ? 0 : 1;
    return count;
}

void ScriptedUiServices::clear() {
    m_answers.clear();
    m_messages.clear();
    m_questions.clear();
    m_opened.clear();
}

} // namespace corvalis::testing
