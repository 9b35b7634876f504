#pragma once

#include "CheckResults.h"

#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace corvalis {
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::checks {

// The columns of the results window, in their order.
enum class ResultColumn { Code, UnionName, Page, Rule, RuleText, Explanation, FocusField };
constexpr int ResultColumnCount = 7;
QString resultColumnTitle(ResultColumn column);

enum class ResultGrouping { ByRecord, ByRule };

// What the results window shows of a run: every condition set narrows the rows. Rules are counted
// from 0 (index into the built-in rule set), provinces are the first two digits of c903.
struct ResultFilter {
    int page = 0;  // 0: every page
    int rule = -1; // -1: every rule
    QString province;
    QString text; // found in code, name, rule text, explanation or field, ignoring case
};

// The two-digit province of a division code ("110105" gives "11"); empty for a code too short.
QString provinceOf(const QString& division);

// The violations of a run as the results window lists them: filtered, sorted by a column and kept
// together by record or by rule. Groups come in the order of their first row in the sorted list and
// hold their rows in that order, so sorting by any column still keeps every group in one block.
class ResultsTable {
public:
    // The explanation of each built-in rule, as the result file writes it, indexed by rule.
    explicit ResultsTable(QStringList explanations);

    void setViolations(std::vector<Violation> violations);
    // The same with another filter at once, so that the rows are made only once.
    void setViolations(std::vector<Violation> violations, const ResultFilter& filter);
    const std::vector<Violation>& violations() const { return m_violations; }

    void setFilter(const ResultFilter& filter);
    const ResultFilter& filter() const { return m_filter; }
    void setGrouping(ResultGrouping grouping);
    ResultGrouping grouping() const { return m_grouping; }
    void setSort(ResultColumn column, bool ascending);
    ResultColumn sortColumn() const { return m_sortColumn; }
    bool sortAscending() const { return m_ascending; }

    // The rows shown, in their order.
    int rowCount() const { return int(m_shown.size()); }
    const Violation& row(int shownRow) const { return m_violations[size_t(m_shown[size_t(shownRow)])]; }
    // The number of the group a shown row belongs to, counting from 0 in shown order.
    int groupOf(int shownRow) const { return m_groupOfShown[size_t(shownRow)]; }
    QString cellText(int shownRow, ResultColumn column) const;
    // Records (distinct codes) among the shown rows.
    int shownRecordCount() const { return m_shownRecords; }
    // The records of the shown rows, each once, in shown order: the walk of the entry form.
    std::vector<UnionCode> recordsInOrder() const;
    // The first shown row of a record; -1 when none is shown.
    int firstRowOf(UnionCode code) const;

    // A record was checked again: its rows (under previousCode and code) give way to the
    // violations found now, placed where the record's rows were (at the end when it had none).
    void replaceRecord(UnionCode previousCode, UnionCode code, std::vector<Violation> found);

    const QString& explanationOf(int rule) const { return m_explanations.at(rule); }

private:
    void rebuild();
    bool passes(const Violation& violation, const std::vector<char>& ruleMatches) const;

    QStringList m_explanations;
    // The rule texts and focus fields by rule, made once: every cell of those columns reads them.
    QStringList m_ruleTexts;
    QStringList m_focusFields;
    std::vector<Violation> m_violations;
    ResultFilter m_filter;
    ResultGrouping m_grouping = ResultGrouping::ByRecord;
    ResultColumn m_sortColumn = ResultColumn::Code;
    bool m_ascending = true;
    std::vector<int> m_shown;
    std::vector<int> m_groupOfShown;
    int m_shownRecords = 0;
};

// The overview of a run: how many violations each rule and each page has, and the rules that
// fail most with the first record (in code order) that violates each.
struct RuleFailures {
    int rule = 0;
    qint64 count = 0;
    Violation example;
};
struct ResultsOverview {
    std::vector<qint64> perRule;           // by rule index
    std::array<qint64, 8> perPage{};       // by page 1 to 7; 0 unused
    std::vector<RuleFailures> mostFailing; // at most ten, most violations first, then rule order
};
ResultsOverview summarizeResults(const std::vector<Violation>& violations);

// The filing records of each province by RecordState (0 held, 1 passed, 2 failed), from the database.
struct ProvinceStates {
    QString province; // two digits
    QString name;
    std::array<qint64, 3> records{};
};
std::vector<ProvinceStates> recordStatesByProvince(engine::Connection& connection, UiServices& ui);

// Writes the shown rows of the table, in their order, with a title row, to an xlsx file.
// Throws Error (FileError) when the file cannot be written.
void exportResults(const ResultsTable& table, const QString& path);

} // namespace corvalis::checks
