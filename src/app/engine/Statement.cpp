#include "Statement.h"

#include "../Errors.h"
#include "Connection.h"
#include "EngineFailure.h"

#include <sqlite3.h>

namespace corvalis::engine {

void StatementFinalizer::operator()(sqlite3_stmt* statement) const noexcept {
    sqlite3_finalize(statement);
}

Statement::Statement(Connection& connection, const QString& sql) : m_db(connection.handle()), m_sql(sql) {
    if (!m_db)
        throw EngineError(QStringLiteral("数据库连接没有打开。"));
    if (connection.isInsideCallback())
        throw EngineError(QString::fromUtf8(sqlite3_errstr(SQLITE_BUSY)), SQLITE_BUSY);
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &raw, &tail);
    m_statement.reset(raw);
    check(rc);
    if (!raw)
        throw EngineError(QStringLiteral("空的 SQL 语句。"));
    while (tail && *tail && (*tail == ' ' || *tail == ';' || *tail == '\n' || *tail == '\r' || *tail == '\t'))
        ++tail;
    if (tail && *tail)
        throw EngineError(QStringLiteral("SQL 语句之后有多余的字符。"));
}

void Statement::check(int rc) const {
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
        return;
    const int code = sqlite3_extended_errcode(m_db);
    throw EngineError(engineFailureText(m_db, code), code);
}

void Statement::bind(int position, const QVariant& value) {
    sqlite3_stmt* s = m_statement.get();
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(s, position);
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(s, position, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(s, position, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob64(s, position, bytes.constData(), sqlite3_uint64(bytes.size()),
                                     SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text64(s, position, text.constData(), sqlite3_uint64(text.size()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        }
    }
    check(rc);
}

void Statement::bind(const QString& name, const QVariant& value) {
    static const char prefixes[] = {':', '@', '$'};
    QByteArray key = name.toUtf8();
    int position = 0;
    if (!key.isEmpty() && (key[0] == ':' || key[0] == '@' || key[0] == '$')) {
        position = sqlite3_bind_parameter_index(m_statement.get(), key.constData());
    } else {
        for (char prefix : prefixes) {
            position =
                sqlite3_bind_parameter_index(m_statement.get(), (QByteArray(1, prefix) + key).constData());
            if (position)
                break;
        }
    }
    if (position == 0)
        throw EngineError(QStringLiteral("没有名为 %1 的参数。").arg(name));
    bind(position, value);
}

void Statement::bindAll(const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i)
        bind(i + 1, values.at(i));
}

void Statement::bindAll(const QVariantMap& values) {
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        bind(it.key(), it.value());
}

void Statement::bindInt64(int position, qint64 value) {
    check(sqlite3_bind_int64(m_statement.get(), position, value));
}

void Statement::bindDouble(int position, double value) {
    check(sqlite3_bind_double(m_statement.get(), position, value));
}

void Statement::bindText(int position, const char* utf8, int size) {
    check(sqlite3_bind_text(m_statement.get(), position, utf8, size, SQLITE_TRANSIENT));
}

void Statement::bindBorrowedText(int position, const char* utf8, int size) {
    check(sqlite3_bind_text(m_statement.get(), position, utf8, size, SQLITE_STATIC));
}

void Statement::bindNull(int position) {
    check(sqlite3_bind_null(m_statement.get(), position));
}

bool Statement::step() {
    const int rc = sqlite3_step(m_statement.get());
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const int code = sqlite3_extended_errcode(m_db);
    const QString message = engineFailureText(m_db, code);
    sqlite3_reset(m_statement.get());
    throw EngineError(message, code);
}

qint64 Statement::run() {
    while (step()) {
    }
    return sqlite3_changes64(m_db);
}

void Statement::reset() {
    sqlite3_reset(m_statement.get());
}

void Statement::clearBindings() {
    sqlite3_clear_bindings(m_statement.get());
}

int Statement::columnCount() const {
    return sqlite3_column_count(m_statement.get());
}

QString Statement::columnName(int column) const {
    return QString::fromUtf8(sqlite3_column_name(m_statement.get(), column));
}

QString Statement::declaredType(int column) const {
    return QString::fromUtf8(sqlite3_column_decltype(m_statement.get(), column));
}

ColumnType Statement::columnType(int column) const {
    const ColumnType declared = columnTypeFromDeclaration(declaredType(column));
    if (declared != ColumnType::Unknown)
        return declared;
    switch (sqlite3_column_type(m_statement.get(), column)) {
    case SQLITE_INTEGER:
        return ColumnType::Integer;
    case SQLITE_FLOAT:
        return ColumnType::Float;
    case SQLITE_TEXT:
        return ColumnType::Text;
    case SQLITE_BLOB:
        return ColumnType::Blob;
    default:
        return ColumnType::Unknown;
    }
}

int Statement::columnIndex(const QString& name) const {
    const int count = columnCount();
    for (int i = 0; i < count; ++i)
        if (columnName(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_statement.get(), column) == SQLITE_NULL;
}

bool Statement::holdsInteger(int column) const {
    return sqlite3_column_type(m_statement.get(), column) == SQLITE_INTEGER;
}

bool Statement::storedInteger(int column, qint64& value) const {
    sqlite3_value* stored = sqlite3_column_value(m_statement.get(), column);
    if (sqlite3_value_type(stored) != SQLITE_INTEGER)
        return false;
    value = sqlite3_value_int64(stored);
    return true;
}

QVariant Statement::value(int column) const {
    sqlite3_stmt* s = m_statement.get();
    switch (sqlite3_column_type(s, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(s, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(s, column));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, column)),
                                          sqlite3_column_bytes(s, column)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(s, column)),
                                   sqlite3_column_bytes(s, column)));
    default:
        return QVariant();
    }
}

qint64 Statement::integer(int column) const {
    sqlite3_stmt* s = m_statement.get();
    if (sqlite3_column_type(s, column) == SQLITE_INTEGER)
        return sqlite3_column_int64(s, column);
    return integerOf(value(column));
}

bool Statement::appendIntegers(int first, int count, std::vector<qint64>& out) const {
    sqlite3_stmt* s = m_statement.get();
    bool whole = true;
    for (int column = first; column < first + count; ++column) {
        sqlite3_value* value = sqlite3_column_value(s, column);
        const int type = sqlite3_value_type(value);
        if (type == SQLITE_INTEGER) {
            out.push_back(sqlite3_value_int64(value));
        } else {
            out.push_back(type == SQLITE_NULL ? 0 : integer(column));
            whole = whole && type == SQLITE_NULL;
        }
    }
    return whole;
}

bool Statement::integersInto(int first, int count, qint64* out, size_t stride) const {
    sqlite3_stmt* s = m_statement.get();
    bool whole = true;
    for (int column = first; column < first + count; ++column, out += stride) {
        sqlite3_value* value = sqlite3_column_value(s, column);
        const int type = sqlite3_value_type(value);
        if (type == SQLITE_INTEGER) {
            *out = sqlite3_value_int64(value);
        } else {
            *out = type == SQLITE_NULL ? 0 : integer(column);
            whole = whole && type == SQLITE_NULL;
        }
    }
    return whole;
}

double Statement::real(int column) const {
    return sqlite3_column_double(m_statement.get(), column);
}

std::optional<UnionCode> Statement::code(int column) const {
    sqlite3_stmt* s = m_statement.get();
    if (sqlite3_column_type(s, column) == SQLITE_INTEGER)
        return sqlite3_column_int64(s, column);
    return codeOf(value(column));
}

QString Statement::text(int column) const {
    return textOf(value(column));
}

bool Statement::storedText(int column, const char*& utf8, int& size) const {
    sqlite3_stmt* s = m_statement.get();
    if (sqlite3_column_type(s, column) != SQLITE_TEXT)
        return false;
    utf8 = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    size = sqlite3_column_bytes(s, column);
    return true;
}

bool Statement::storedBlob(int column, const void*& data, int& size) const {
    sqlite3_stmt* s = m_statement.get();
    if (sqlite3_column_type(s, column) != SQLITE_BLOB)
        return false;
    data = sqlite3_column_blob(s, column);
    size = sqlite3_column_bytes(s, column);
    return true;
}

} // namespace corvalis::engine
