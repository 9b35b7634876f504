#pragma once

#include "checks/ResultsTable.h"

#include <QWidget>

class QTableWidget;

class QChartView;
class QAbstractBarSeries;

namespace corvalis::checks {

// The quality overview of a run ("质量概览"): violations per rule and per page as bar charts, the
// filing records of each province by state, and the ten rules failing most with an example each.
// A click on a bar (or a row of the ten) asks the results window to filter by what it stands for.
class QualityOverview : public QWidget {
    Q_OBJECT
public:
    explicit QualityOverview(QWidget* parent = nullptr);

    void showOverview(const ResultsOverview& overview, const std::vector<ProvinceStates>& provinces);

    // The chart views, for finding their bars.
    QChartView* ruleChart() const { return m_rules; }
    QChartView* pageChart() const { return m_pages; }
    QChartView* provinceChart() const { return m_provinces; }
    // The rule each bar of the rule chart stands for, left to right.
    const std::vector<int>& ruleBars() const { return m_ruleBars; }
    const std::vector<QString>& provinceBars() const { return m_provinceBars; }

Q_SIGNALS:
    void ruleChosen(int rule);
    void pageChosen(int page);
    void provinceChosen(const QString& province);

private:
    void showRules(const ResultsOverview& overview);
    void showPages(const ResultsOverview& overview);
    void showProvinces(const std::vector<ProvinceStates>& provinces);
    void showMostFailing(const ResultsOverview& overview);

    QChartView* m_rules;
    QChartView* m_pages;
    QChartView* m_provinces;
    QTableWidget* m_mostFailing;
    std::vector<int> m_ruleBars;
    std::vector<QString> m_provinceBars;
};

} // namespace corvalis::checks
