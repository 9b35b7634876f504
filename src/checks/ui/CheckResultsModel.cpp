#include "CheckResultsModel.h"

#include <QColor>

namespace corvalis::checks {

CheckResultsModel::CheckResultsModel(ResultsTable& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table) {}

int CheckResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_table.rowCount();
}

int CheckResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ResultColumnCount;
}

QVariant CheckResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_table.rowCount())
        return QVariant();
    const auto column = ResultColumn(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return m_table.cellText(index.row(), column);
    case Qt::ToolTipRole:
        if (column == ResultColumn::Explanation || column == ResultColumn::RuleText)
            return m_table.cellText(index.row(), column);
        return QVariant();
    case Qt::BackgroundRole:
        // The rows of one record (or rule) share a colour, so the groups stand apart.
        return m_table.groupOf(index.row()) % 2 == 0 ? QColor(249, 251, 231) : QColor(219, 219, 241);
    case Qt::TextAlignmentRole:
        if (column == ResultColumn::Page || column == ResultColumn::Rule)
            return QVariant::fromValue(Qt::AlignCenter);
        return QVariant::fromValue(Qt::AlignVCenter | Qt::AlignLeft);
    default:
        return QVariant();
    }
}

QVariant CheckResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ResultColumnCount)
        return resultColumnTitle(ResultColumn(section));
    return QAbstractTableModel::headerData(section, orientation, role);
}

void CheckResultsModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ResultColumnCount)
        return;
    change([column, order](ResultsTable& table) {
        table.setSort(ResultColumn(column), order == Qt::AscendingOrder);
    });
}

void CheckResultsModel::change(const std::function<void(ResultsTable&)>& how) {
    beginResetModel();
    how(m_table);
    endResetModel();
}

} // namespace corvalis::checks
