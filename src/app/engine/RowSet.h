#pragma once

#include "Value.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <vector>

namespace corvalis::engine {

class Connection;

// A marker for one row of a row set that survives a re-run: it remembers the row's key.
struct Bookmark {
    QVariant key;
    int row = -1;
    bool isValid() const { return row >= 0; }
};

// The rows of a statement, read into memory, with a current row that moves first/next/prior/last.
// Meant for result sets a person looks at (a record list page, a code table, a query result);
// walking a whole table goes through Statement instead.
class RowSet {
public:
    RowSet() = default;
    RowSet(Connection& connection, const QString& sql, const QVariantList& params = {});

    // Runs the statement again; the current sort stays; the current row goes to the first row.
    void requery();
    void close();
    bool isOpen() const { return m_connection != nullptr; }
    const QString& sql() const { return m_sql; }

    int recordCount() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    void first();
    void last();
    void next();
    void prior();
    // True past the last row (or on an empty set); bof() true before the first.
    bool eof() const { return m_current >= recordCount(); }
    bool bof() const { return m_current < 0 || isEmpty(); }
    // Zero-based row number of the current row; -1 before the first.
    int position() const { return m_current; }
    void moveTo(int row);

    int columnCount() const { return m_columns.size(); }
    const QStringList& columnNames() const { return m_columns; }
    // The column of that name, ignoring case; -1 when there is none.
    int columnIndex(const QString& name) const;
    ColumnType columnType(const QString& name) const;
    ColumnType columnType(int column) const;
    int columnSize(const QString& name) const;
    QString declaredType(int column) const { return m_declared.value(column); }

    // Values of the current row. Unknown columns raise EngineError.
    QVariant value(const QString& name) const;
    QVariant value(int column) const;
    bool isNull(const QString& name) const { return value(name).isNull(); }
    QString asString(const QString& name) const { return textOf(value(name)); }
    qint64 asInteger(const QString& name) const { return integerOf(value(name)); }
    double asFloat(const QString& name) const { return floatOf(value(name)); }
    bool asBoolean(const QString& name) const { return integerOf(value(name)) != 0; }
    QDateTime asDateTime(const QString& name) const;
    // Values of any row, for list views.
    QVariant valueAt(int row, int column) const;

    // Moves to the first row whose column equals the value; false (and no move) when none does.
    bool locate(const QString& column, const QVariant& value);
    // "name ASC" or "name DESC"; an empty text returns to the statement's own order on requery.
    void sort(const QString& order);
    const QString& sortOrder() const { return m_sort; }

    // The column whose value identifies a row for bookmarks: "c901" when present, else the first.
    void setKeyColumn(const QString& name);
    QString keyColumn() const;
    Bookmark bookmark() const;
    // Goes to the bookmarked row, found by its key; raises EngineError when the row is gone.
    void gotoBookmark(const Bookmark& bookmark);
    bool tryGotoBookmark(const Bookmark& bookmark);

private:
    void load();
    void applySort();
    int requireColumn(const QString& name) const;

    Connection* m_connection = nullptr;
    QString m_sql;
    QVariantList m_params;
    QStringList m_columns;
    QStringList m_declared;
    std::vector<ColumnType> m_types;
    std::vector<std::vector<QVariant>> m_rows;
    int m_current = -1;
    QString m_sort;
    int m_keyColumn = -1;
};

} // namespace corvalis::engine
