#pragma once

#include "Connection.h"

#include <QString>
#include <atomic>
#include <functional>
#include <thread>

namespace corvalis::engine {

// A yes-or-no question about an attached database, answered on a read-only connection of its own
// and on a thread beside the work that the attaching connection goes on with (a copy of the same
// records, say). answer() waits for it. The answer is no when the reader cannot be opened or the
// question throws. Going out of scope first sets the stop flag and interrupts the reader.
class QuestionBeside {
public:
    using Question = std::function<bool(Connection& reader, const std::atomic<bool>& stop)>;

    // Asks nothing (the answer is no) when question is empty.
    QuestionBeside(const Connection& connection, const QString& schema, Question question);
    ~QuestionBeside();
    QuestionBeside(const QuestionBeside&) = delete;
    QuestionBeside& operator=(const QuestionBeside&) = delete;

    bool answer();

private:
    Question m_question;
    Connection m_reader;
    std::atomic<bool> m_stop{false};
    bool m_answer = false;
    std::thread m_worker; // last: it starts once everything it reads is in place
};

} // namespace corvalis::engine
