#include "RowSet.h"

#include "../Errors.h"
#include "Connection.h"
#include "Statement.h"

#include <algorithm>

namespace corvalis::engine {

RowSet::RowSet(Connection& connection, const QString& sql, const QVariantList& params)
    : m_connection(&connection), m_sql(sql), m_params(params) {
    load();
}

void RowSet::load() {
    Statement statement(*m_connection, m_sql);
    statement.bindAll(m_params);
    m_rows.clear();
    const int count = statement.columnCount();
    QStringList columns;
    QStringList declared;
    for (int i = 0; i < count; ++i) {
        columns << statement.columnName(i);
        declared << statement.declaredType(i);
    }
    std::vector<ColumnType> types(size_t(count), ColumnType::Unknown);
    for (int i = 0; i < count; ++i)
        types[size_t(i)] = columnTypeFromDeclaration(declared.at(i));
    while (statement.step()) {
        std::vector<QVariant> row;
        row.reserve(size_t(count));
        for (int i = 0; i < count; ++i) {
            row.push_back(statement.value(i));
            if (types[size_t(i)] == ColumnType::Unknown && !row.back().isNull())
                types[size_t(i)] = statement.columnType(i);
        }
        m_rows.push_back(std::move(row));
    }
    const bool sameColumns = columns == m_columns;
    m_columns = columns;
    m_declared = declared;
    m_types = std::move(types);
    if (!sameColumns)
        m_keyColumn = -1;
    applySort();
    m_current = 0;
}

void RowSet::requery() {
    if (!m_connection)
        throw EngineError(QStringLiteral("数据集没有打开。"));
    load();
}

void RowSet::close() {
    m_connection = nullptr;
    m_rows.clear();
    m_columns.clear();
    m_declared.clear();
    m_types.clear();
    m_current = -1;
}

void RowSet::first() {
    m_current = 0;
}

void RowSet::last() {
    m_current = isEmpty() ? 0 : recordCount() - 1;
}

void RowSet::next() {
    if (m_current < recordCount())
        ++m_current;
}

void RowSet::prior() {
    if (m_current >= 0)
        --m_current;
}

void RowSet::moveTo(int row) {
    m_current = std::clamp(row, -1, recordCount());
}

int RowSet::columnIndex(const QString& name) const {
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int RowSet::requireColumn(const QString& name) const {
    const int index = columnIndex(name);
    if (index < 0)
        throw EngineError(QStringLiteral("在集合中找不到与请求的名称“%1”对应的项目。").arg(name));
    return index;
}

ColumnType RowSet::columnType(const QString& name) const {
    return columnType(requireColumn(name));
}

ColumnType RowSet::columnType(int column) const {
    return column >= 0 && size_t(column) < m_types.size() ? m_types[size_t(column)] : ColumnType::Unknown;
}

int RowSet::columnSize(const QString& name) const {
    const int index = requireColumn(name);
    const int declaredSize = columnSizeFromDeclaration(m_declared.at(index));
    if (declaredSize > 0)
        return declaredSize;
    switch (m_types[size_t(index)]) {
    case ColumnType::Text:
        return 255;
    case ColumnType::Boolean:
        return 2;
    case ColumnType::Unknown:
    case ColumnType::Blob:
        return 0;
    default:
        return 8;
    }
}

QVariant RowSet::value(const QString& name) const {
    return value(requireColumn(name));
}

QVariant RowSet::value(int column) const {
    if (bof() || eof())
        throw EngineError(QStringLiteral("BOF 或 EOF 中有一个是“真”，或者当前的记录已被删除。"));
    if (column < 0 || column >= columnCount())
        throw EngineError(QStringLiteral("列号超出范围：%1").arg(column));
    return m_rows[size_t(m_current)][size_t(column)];
}

QVariant RowSet::valueAt(int row, int column) const {
    if (row < 0 || row >= recordCount() || column < 0 || column >= columnCount())
        return QVariant();
    return m_rows[size_t(row)][size_t(column)];
}

QDateTime RowSet::asDateTime(const QString& name) const {
    const QVariant v = value(name);
    if (v.isNull())
        return QDateTime();
    if (v.typeId() == QMetaType::QString) {
        QDateTime parsed = QDateTime::fromString(v.toString(), Qt::ISODate);
        if (!parsed.isValid())
            parsed = QDateTime::fromString(v.toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return parsed;
    }
    // Numbers count days since 1899-12-30, as the exchange files of the old format did.
    const double days = floatOf(v);
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0)).addMSecs(qint64(days * 86400000.0));
}

bool RowSet::locate(const QString& column, const QVariant& value) {
    const int index = requireColumn(column);
    for (int row = 0; row < recordCount(); ++row) {
        if (compareValues(m_rows[size_t(row)][size_t(index)], value) == 0) {
            m_current = row;
            return true;
        }
    }
    return false;
}

void RowSet::sort(const QString& order) {
    m_sort = order.trimmed();
    if (m_sort.isEmpty()) {
        requery();
        return;
    }
    applySort();
    m_current = 0;
}

void RowSet::applySort() {
    if (m_sort.isEmpty())
        return;
    const QStringList parts = m_sort.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const int index = requireColumn(parts.value(0));
    const bool descending =
        parts.size() > 1 && parts.at(1).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
    std::stable_sort(m_rows.begin(), m_rows.end(), [index, descending](const auto& a, const auto& b) {
        const int order = compareValues(a[size_t(index)], b[size_t(index)]);
        return descending ? order > 0 : order < 0;
    });
}

void RowSet::setKeyColumn(const QString& name) {
    m_keyColumn = requireColumn(name);
}

QString RowSet::keyColumn() const {
    if (m_keyColumn >= 0)
        return m_columns.value(m_keyColumn);
    const int code = columnIndex(QStringLiteral("c901"));
    return m_columns.value(code >= 0 ? code : 0);
}

Bookmark RowSet::bookmark() const {
    if (bof() || eof())
        return {};
    return {value(keyColumn()), m_current};
}

bool RowSet::tryGotoBookmark(const Bookmark& bookmark) {
    if (!bookmark.isValid() || columnCount() == 0)
        return false;
    const int index = columnIndex(keyColumn());
    // The row is most often where it was; look there first.
    if (bookmark.row < recordCount() &&
        compareValues(m_rows[size_t(bookmark.row)][size_t(index)], bookmark.key) == 0) {
        m_current = bookmark.row;
        return true;
    }
    return locate(keyColumn(), bookmark.key);
}

void RowSet::gotoBookmark(const Bookmark& bookmark) {
    if (!tryGotoBookmark(bookmark))
        throw EngineError(QStringLiteral("记录已被删除。"));
}

} // namespace corvalis::engine
