#pragma once

#include <QString>
#include <stdexcept>

namespace corvalis {

// Base of every error the program reports to the user: it carries a text meant to be shown.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const noexcept { return m_text; }

private:
    QString m_text;
};

// An error raised by the database engine, carrying the engine's own message.
class EngineError : public Error {
public:
    explicit EngineError(const QString& text, int code = 0) : Error(text), m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

// A file that could not be read, written, copied or created.
class FileError : public Error {
public:
    using Error::Error;
};

} // namespace corvalis
