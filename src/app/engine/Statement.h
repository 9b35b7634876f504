#pragma once

#include "Value.h"

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace corvalis::engine {

class Connection;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept;
};

// One prepared statement on a connection. Values are bound, never pasted into the SQL text.
// Rows are read one at a time, so a statement can walk a table of any size in constant memory.
class Statement {
public:
    Statement(Connection& connection, const QString& sql);

    Statement(Statement&&) noexcept = default;
    Statement& operator=(Statement&&) noexcept = default;

    // Positional parameters (?1, ?2, ...) and named ones (:name, @name, $name).
    void bind(int position, const QVariant& value);
    void bind(const QString& name, const QVariant& value);
    void bindAll(const QVariantList& values);
    void bindAll(const QVariantMap& values);
    // Fast binds for bulk work, without a QVariant in between.
    void bindInt64(int position, qint64 value);
    void bindDouble(int position, double value);
    void bindText(int position, const char* utf8, int size);
    // Binds the bytes without copying them: the caller keeps them unchanged until the statement
    // has run and been reset.
    void bindBorrowedText(int position, const char* utf8, int size);
    void bindNull(int position);

    // Runs to the next row; false when the statement is done. Errors raise EngineError.
    bool step();
    // Runs a statement that returns no rows; returns the number of rows it changed.
    qint64 run();
    // Makes the statement ready to run again; bindings stay unless cleared.
    void reset();
    void clearBindings();

    int columnCount() const;
    QString columnName(int column) const;
    QString declaredType(int column) const;
    ColumnType columnType(int column) const;
    // The column of that name, compared without regard to case; -1 when there is none.
    int columnIndex(const QString& name) const;

    bool isNull(int column) const;
    // Whether the column's value in this row is stored as a whole number.
    bool holdsInteger(int column) const;
    // When the value is stored as a whole number: true, with the number in value. One look at the
    // column, for bulk readers.
    bool storedInteger(int column, qint64& value) const;
    QVariant value(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    // The column as a union code: codeOf() of its value, without a QVariant for whole numbers.
    std::optional<UnionCode> code(int column) const;
    QString text(int column) const;
    // When the value is stored as text: true, with its UTF-8 bytes, which stay valid until the next
    // step. For bulk readers that copy the bytes on.
    bool storedText(int column, const char*& utf8, int& size) const;
    // When the value is stored as a blob: true, with its bytes, valid until the next step.
    bool storedBlob(int column, const void*& data, int& size) const;
    // integer() of count columns from first on, appended to out: one engine call per whole number,
    // for readers of many numeric columns per row. False when a value was neither a whole number nor
    // null, so that its integer() is only an approximation.
    bool appendIntegers(int first, int count, std::vector<qint64>& out) const;
    // The same into out[0], out[stride], out[2 * stride], ...: for readers that keep each column's
    // values of many rows together.
    bool integersInto(int first, int count, qint64* out, size_t stride) const;

    const QString& sql() const { return m_sql; }

private:
    void check(int rc) const;

    sqlite3* m_db = nullptr;
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> m_statement;
    QString m_sql;
};

} // namespace corvalis::engine
