#include "ProgressHandler.h"

#include "Connection.h"

#include <sqlite3.h>

namespace corvalis::engine {

ProgressHandler::ProgressHandler(Connection& connection, int steps, std::function<void()> callback)
    : m_connection(connection), m_callback(std::move(callback)) {
    if (m_connection.handle())
        sqlite3_progress_handler(m_connection.handle(), steps > 0 ? steps : 1, &ProgressHandler::call, this);
}

ProgressHandler::~ProgressHandler() {
    if (m_connection.handle())
        sqlite3_progress_handler(m_connection.handle(), 0, nullptr, nullptr);
}

int ProgressHandler::call(void* self) noexcept {
    auto* handler = static_cast<ProgressHandler*>(self);
    handler->m_connection.m_insideCallback = true;
    int interrupt = 0;
    try {
        handler->m_callback();
    } catch (...) {
        // Exceptions must not cross the engine's C frames; stopping the statement reports it.
        interrupt = 1;
    }
    handler->m_connection.m_insideCallback = false;
    return interrupt;
}

} // namespace corvalis::engine
