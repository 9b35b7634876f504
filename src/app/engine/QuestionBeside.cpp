#include "QuestionBeside.h"

#include "app/Errors.h"

namespace corvalis::engine {

QuestionBeside::QuestionBeside(const Connection& connection, const QString& schema, Question question)
    : m_question(std::move(question)) {
    if (!m_question)
        return;
    try {
        m_reader = connection.openReadOnlyTwin(schema);
    } catch (const EngineError&) {
        return; // no; the caller finds out itself
    }
    m_worker = std::thread([this] {
        try {
            m_answer = m_question(m_reader, m_stop);
        } catch (...) {
            m_answer = false;
        }
    });
}

QuestionBeside::~QuestionBeside() {
    if (m_worker.joinable()) {
        m_stop = true;
        m_reader.interrupt();
        m_worker.join();
    }
}

bool QuestionBeside::answer() {
    if (m_worker.joinable())
        m_worker.join();
    return m_answer;
}

} // namespace corvalis::engine
