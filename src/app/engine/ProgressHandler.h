#pragma once

#include <functional>

namespace corvalis::engine {

class Connection;

// Calls a function every so many virtual-machine steps of the statements a connection runs while
// the handler lives, so that one long statement can keep the window painted. While the function
// runs, the connection refuses new statements with an EngineError: the engine does not allow a
// connection to be used from inside its own progress callback. When the function throws, the
// running statement is interrupted and fails with the engine's "interrupted" error.
// A connection has one handler at a time; the handler must not outlive its connection.
class ProgressHandler {
public:
    ProgressHandler(Connection& connection, int steps, std::function<void()> callback);
    ~ProgressHandler();
    ProgressHandler(const ProgressHandler&) = delete;
    ProgressHandler& operator=(const ProgressHandler&) = delete;

private:
    static int call(void* self) noexcept;

    Connection& m_connection;
    std::function<void()> m_callback;
};

} // namespace corvalis::engine
