#pragma once

#include "summary/Completeness.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;

namespace corvalis {
class DbSession;
class UiServices;
} // namespace corvalis

namespace corvalis::summary {

// The roster units without a return, as the missing list shows them.
class MissingUnitsModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setUnits(std::vector<MissingUnit> units);
    const std::vector<MissingUnit>& units() const { return m_units; }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<MissingUnit> m_units;
};

// "上报情况" (TdlgCompletenessForm): expected, received and missing returns by division or industry
// category, as a tree that drills down to the counties; beside it a chart of the chosen row's
// children; below, the missing units of the chosen row. Both export to xlsx.
class TdlgCompletenessForm : public QDialog {
public:
    // Reads a roster file into the open database and returns its number of units; raises Error
    // with the reasons when the file is refused. The data exchange provides it.
    using RosterImporter = std::function<qint64(const QString& path)>;

    TdlgCompletenessForm(DbSession& session, UiServices& ui, RosterImporter importer,
                         QWidget* parent = nullptr);

    CompletenessBy by() const { return m_by; }
    void setBy(CompletenessBy by);
    const std::vector<CompletenessRow>& rows() const { return m_rows; }
    // The row the tree's current item shows, or the whole database when none is current.
    const CompletenessRow& currentRow() const;
    // The classes the chart shows, in order.
    QStringList chartCategories() const;

    // The most missing units the list shows; the export writes them all.
    static constexpr qint64 ShownMissingUnits = 5000;

private:
    void build();
    void recount();
    void fillTree();
    void showCurrent();
    void updateChart(const CompletenessRow& row);
    void updateMissing(const CompletenessRow& row);
    void importRoster();
    void exportView();
    void exportMissing();
    std::optional<QString> chooseWorkbook(const QString& title, const QString& proposedName);
    void updateRosterLabel();

    DbSession& m_session;
    UiServices& m_ui;
    RosterImporter m_importer;
    CompletenessBy m_by = CompletenessBy::Division;
    std::vector<CompletenessRow> m_rows;
    QComboBox* m_byBox = nullptr;
    QLabel* m_rosterLabel = nullptr;
    QTreeWidget* m_tree = nullptr;
    QChart* m_chart = nullptr;
    QChartView* m_chartView = nullptr;
    QLabel* m_missingLabel = nullptr;
    QTableView* m_missingView = nullptr;
    MissingUnitsModel* m_missing = nullptr;
    QStringList m_chartCategories;
};

} // namespace corvalis::summary
