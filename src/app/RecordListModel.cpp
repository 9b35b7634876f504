#include "RecordListModel.h"

#include "app/DbSession.h"
#include "app/engine/Statement.h"

#include <QRegularExpression>
#include <algorithm>

namespace corvalis {

namespace {
constexpr int PageSize = 128;
constexpr size_t CachedPages = 48;

bool isIdentifier(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return pattern.match(name).hasMatch();
}

bool sameKey(const QVariant& a, const QVariant& b) {
    return engine::compareValues(a, b) == 0;
}
} // namespace

RecordListModel::RecordListModel(DbSession& session, QObject* parent)
    : QAbstractTableModel(parent), m_session(session) {}

void RecordListModel::setSource(const QString& table, const QString& condition, const QString& keyColumn) {
    setSource(table, condition, QVariantList(), keyColumn);
}

void RecordListModel::setSource(const QString& table, const QString& condition, const QVariantList& params,
                                const QString& keyColumn) {
    m_table = isIdentifier(table) ? table : QStringLiteral("view_data");
    m_condition = condition;
    m_params = params;
    m_key = isIdentifier(keyColumn) ? keyColumn : QStringLiteral("c901");
    m_order.clear();
}

void RecordListModel::setColumns(const TFieldDataArray& dictionary, bool centreByFieldName) {
    beginResetModel();
    m_columns = dictionary;
    m_centred.clear();
    m_titles.clear();
    m_titleMarks.assign(dictionary.size(), TitleMark::Plain);
    for (const TFieldData& field : dictionary) {
        const QString& name = centreByFieldName ? field.fieldName : field.showName;
        m_centred.push_back(name.compare(QLatin1String("RecordState"), Qt::CaseInsensitive) == 0);
        m_titles.push_back(field.hint);
    }
    endResetModel();
}

void RecordListModel::loadColumnNames() {
    m_sourceColumns.clear();
    engine::Statement probe(m_session.connection(), QStringLiteral("select * from %1 where 0").arg(m_table));
    for (int i = 0; i < probe.columnCount(); ++i)
        m_sourceColumns << probe.columnName(i);
    m_sourceIndex.clear();
    for (const TFieldData& field : m_columns) {
        int found = -1;
        for (int i = 0; i < m_sourceColumns.size(); ++i)
            if (m_sourceColumns.at(i).compare(field.showName, Qt::CaseInsensitive) == 0)
                found = i;
        m_sourceIndex.push_back(found);
    }
}

void RecordListModel::requery() {
    beginResetModel();
    m_pages.clear();
    m_keys.clear();
    try {
        loadColumnNames();
        engine::Statement keys(
            m_session.connection(),
            QStringLiteral("select %1 from %2 %3 order by %4").arg(m_key, m_table, m_condition, orderBy()));
        keys.bindAll(m_params);
        while (keys.step())
            m_keys.push_back(keys.value(0));
    } catch (...) {
        endResetModel();
        throw;
    }
    endResetModel();
}

void RecordListModel::recordWritten(const QVariant& previousKey, const QVariant& newKey) {
    // Another order or a condition may move the record or leave it out: only a re-read knows.
    if (!m_order.isEmpty() || !m_condition.isEmpty() || m_sourceColumns.isEmpty()) {
        requery();
        return;
    }
    // The key as the engine stores it (its type decides its place), or none when the row is not there.
    QVariant stored;
    engine::Statement probe(m_session.connection(),
                            QStringLiteral("select %1 from %2 where %1 = ?").arg(m_key, m_table));
    probe.bind(1, newKey);
    if (probe.step())
        stored = probe.value(0);

    m_pages.clear();
    const auto slotOf = [this](const QVariant& key) {
        return std::lower_bound(m_keys.begin(), m_keys.end(), key, [](const QVariant& a, const QVariant& b) {
            return engine::compareValues(a, b) < 0;
        });
    };
    if (!previousKey.isNull() && (stored.isNull() || !sameKey(previousKey, stored))) {
        const auto it = slotOf(previousKey);
        if (it != m_keys.end() && sameKey(*it, previousKey)) {
            const int row = int(it - m_keys.begin());
            beginRemoveRows(QModelIndex(), row, row);
            m_keys.erase(it);
            endRemoveRows();
        }
    }
    if (!stored.isNull()) {
        const auto it = slotOf(stored);
        if (it == m_keys.end() || !sameKey(*it, stored)) {
            const int row = int(it - m_keys.begin());
            beginInsertRows(QModelIndex(), row, row);
            m_keys.insert(m_keys.begin() + row, stored);
            endInsertRows();
        }
    }
    if (!m_keys.empty() && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(int(m_keys.size()) - 1, columnCount() - 1));
}

void RecordListModel::sortByColumn(int column, bool ascending) {
    if (column < 0 || size_t(column) >= m_columns.size() || !isIdentifier(m_columns[size_t(column)].showName))
        return;
    m_order =
        m_columns[size_t(column)].showName + (ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC"));
    requery();
}

void RecordListModel::resetOrder() {
    m_order.clear();
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_keys.size());
}

int RecordListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

const RecordListModel::Page& RecordListModel::page(int number) const {
    for (auto it = m_pages.begin(); it != m_pages.end(); ++it) {
        if (it->number == number) {
            m_pages.splice(m_pages.begin(), m_pages, it);
            return m_pages.front();
        }
    }
    Page fresh;
    fresh.number = number;
    const int first = number * PageSize;
    const int last = std::min<int>(first + PageSize, int(m_keys.size()));
    QStringList marks;
    for (int i = first; i < last; ++i)
        marks << QStringLiteral("?");
    fresh.rows.assign(size_t(last - first), std::vector<QVariant>(size_t(m_sourceColumns.size())));
    if (last > first) {
        engine::Statement rows(m_session.connection(),
                               QStringLiteral("select * from %1 where %2 in (%3)")
                                   .arg(m_table, m_key, marks.join(QLatin1Char(','))));
        for (int i = first; i < last; ++i)
            rows.bind(i - first + 1, m_keys[size_t(i)]);
        const int keyColumn = rows.columnIndex(m_key);
        // The page's rows come back in the engine's order; put each where its key stands.
        QHash<QString, int> slot;
        for (int i = first; i < last; ++i)
            slot.insert(engine::textOf(m_keys[size_t(i)]), i - first);
        while (rows.step()) {
            const auto at = slot.constFind(rows.text(keyColumn));
            if (at == slot.constEnd())
                continue;
            auto& row = fresh.rows[size_t(*at)];
            for (int c = 0; c < rows.columnCount() && c < int(row.size()); ++c)
                row[size_t(c)] = rows.value(c);
        }
    }
    m_pages.push_front(std::move(fresh));
    if (m_pages.size() > CachedPages)
        m_pages.pop_back();
    return m_pages.front();
}

QVariant RecordListModel::value(int row, const QString& column) const {
    if (row < 0 || row >= int(m_keys.size()))
        return QVariant();
    const int index = m_sourceColumns.indexOf(column);
    int found = index;
    if (found < 0)
        for (int i = 0; i < m_sourceColumns.size(); ++i)
            if (m_sourceColumns.at(i).compare(column, Qt::CaseInsensitive) == 0)
                found = i;
    if (found < 0)
        return QVariant();
    try {
        return page(row / PageSize).rows[size_t(row % PageSize)][size_t(found)];
    } catch (const std::exception&) {
        return QVariant();
    }
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_keys.size()))
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: {
        const int source = m_sourceIndex.empty() ? -1 : m_sourceIndex[size_t(index.column())];
        if (source < 0)
            return QVariant();
        try {
            return engine::textOf(
                page(index.row() / PageSize).rows[size_t(index.row() % PageSize)][size_t(source)]);
        } catch (const std::exception&) {
            return QVariant();
        }
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (m_centred[size_t(index.column())] ? Qt::AlignHCenter : Qt::AlignLeft));
    default:
        return QVariant();
    }
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || size_t(section) >= m_titles.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
        return m_titles[size_t(section)];
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    default:
        return QVariant();
    }
}

QVariant RecordListModel::keyAt(int row) const {
    return row >= 0 && row < int(m_keys.size()) ? m_keys[size_t(row)] : QVariant();
}

int RecordListModel::rowOfKey(const QVariant& key) const {
    if (key.isNull())
        return -1;
    if (m_order.isEmpty()) {
        const auto it =
            std::lower_bound(m_keys.begin(), m_keys.end(), key, [](const QVariant& a, const QVariant& b) {
                return engine::compareValues(a, b) < 0;
            });
        if (it != m_keys.end() && sameKey(*it, key))
            return int(it - m_keys.begin());
        return -1;
    }
    for (size_t i = 0; i < m_keys.size(); ++i)
        if (sameKey(m_keys[i], key))
            return int(i);
    return -1;
}

QString RecordListModel::title(int column) const {
    return column >= 0 && size_t(column) < m_titles.size() ? m_titles[size_t(column)] : QString();
}

void RecordListModel::setTitle(int column, const QString& title) {
    if (column < 0 || size_t(column) >= m_titles.size())
        return;
    m_titles[size_t(column)] = title;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

TitleMark RecordListModel::titleMark(int column) const {
    return column >= 0 && size_t(column) < m_titleMarks.size() ? m_titleMarks[size_t(column)]
                                                               : TitleMark::Plain;
}

void RecordListModel::setTitleMark(int column, TitleMark mark) {
    if (column < 0 || size_t(column) >= m_titleMarks.size())
        return;
    m_titleMarks[size_t(column)] = mark;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

} // namespace corvalis
