#pragma once

#include "checks/ResultsTable.h"

#include <QAbstractTableModel>

namespace corvalis::checks {

// The rows of the results window over a ResultsTable: one row per violation shown, the groups in
// alternating colours, sorting by a click on any title. The view asks only for the rows it paints.
class CheckResultsModel : public QAbstractTableModel {
public:
    CheckResultsModel(ResultsTable& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    ResultsTable& table() { return m_table; }
    // Changes the table and shows the result; the view keeps nothing of the rows before.
    void change(const std::function<void(ResultsTable&)>& how);

private:
    ResultsTable& m_table;
};

} // namespace corvalis::checks
