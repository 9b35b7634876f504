#pragma once

#include "checks/CheckResults.h"
#include "checks/ResultsTable.h"

#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;

namespace corvalis {
class CommandHost;
}

namespace corvalis::checks {

class CheckResultsModel;
class ExplanationRenderer;
class QualityOverview;
class ResultsWalk;

// The results window ("检查结果") of a bulk check: every violation with its record, page, rule,
// explanation and focus field, grouped, filtered and sorted at will; a double-click or Enter opens
// the record in the entry form on the rule's page and field, whose next and previous buttons then
// walk the window's records; a record saved there is checked again and its rows follow. The second
// page ("质量概览") shows where the errors are, and a click on a bar filters the list.
class TCheckResultsForm : public QWidget {
    Q_OBJECT
public:
    TCheckResultsForm(CommandHost& window, ExplanationRenderer& renderer, QWidget* parent = nullptr);
    ~TCheckResultsForm() override;

    void showResults(CheckResultSet results);

    const ResultsTable& table() const { return *m_table; }
    // Narrows the list as the filter boxes would, and shows it.
    void applyFilter(const ResultFilter& filter);
    // Opens the record of a shown row in the entry form (double-click and Enter).
    void openRow(int row);
    // Writes the shown rows to a workbook the user names, then opens it.
    void exportShown();

private:
    void buildLayout();
    void fillFilterChoices();
    void showFilterInBoxes(const ResultFilter& filter);
    void filterFromBoxes();
    void updateCounts();
    void updateOverview();
    void recordWritten(const QVariant& previousCode, UnionCode code);

    CommandHost& m_window;
    std::unique_ptr<ResultsTable> m_table;
    CheckResultsModel* m_model = nullptr;
    std::unique_ptr<ResultsWalk> m_walk;
    CheckResultSet m_results;
    bool m_fillingChoices = false;

    QComboBox* m_grouping = nullptr;
    QComboBox* m_page = nullptr;
    QComboBox* m_rule = nullptr;
    QComboBox* m_division = nullptr;
    QLineEdit* m_text = nullptr;
    QPushButton* m_export = nullptr;
    QLabel* m_counts = nullptr;
    QTabWidget* m_tabs = nullptr;
    QTableView* m_view = nullptr;
    QualityOverview* m_overview = nullptr;
};

namespace ResultsText {
inline const QString Caption = QStringLiteral("检查结果");
inline const QString NoResultsMessage = QStringLiteral("没有找到上次逻辑检查的结果，请先检查数据的逻辑。");
inline const QString ExportTitle = QStringLiteral("导出检查结果");
inline const QString ExportFilter = QStringLiteral("Excel 工作簿(*.xlsx)|*.xlsx");
} // namespace ResultsText

} // namespace corvalis::checks
