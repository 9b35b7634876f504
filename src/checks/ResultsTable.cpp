#include "ResultsTable.h"

#include "BuiltInRules.h"
#include "app/engine/Statement.h"
#include "app/workbook/StreamedWorkbook.h"
#include "records/CodeTables.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>

namespace corvalis::checks {

namespace {

const std::array<const char*, ResultColumnCount> ColumnTitles = {"单位编号", "工会名称", "页",      "规则号",
                                                                 "判断规则", "规则说明", "定位字段"};

int ruleCount() {
    return int(builtInRules().size());
}

// Ranks of the rules by a text of theirs, so that rows sort by that text without comparing strings.
std::vector<int> ruleRanks(const std::function<QString(int)>& textOf) {
    std::vector<int> order(static_cast<size_t>(ruleCount()));
    for (int rule = 0; rule < ruleCount(); ++rule)
        order[size_t(rule)] = rule;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return textOf(a) < textOf(b); });
    std::vector<int> rank(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        rank[size_t(order[i])] = int(i);
    return rank;
}

} // namespace

QString resultColumnTitle(ResultColumn column) {
    return QString::fromUtf8(ColumnTitles[size_t(column)]);
}

QString provinceOf(const QString& division) {
    const QString digits = division.trimmed();
    return digits.size() >= 2 ? digits.left(2) : QString();
}

ResultsTable::ResultsTable(QStringList explanations) : m_explanations(std::move(explanations)) {
    while (m_explanations.size() < ruleCount())
        m_explanations << QString();
    for (int rule = 0; rule < ruleCount(); ++rule) {
        m_ruleTexts << ruleTextOf(rule);
        m_focusFields << focusFieldOfRule(rule);
    }
}

void ResultsTable::setViolations(std::vector<Violation> violations) {
    m_violations = std::move(violations);
    rebuild();
}

void ResultsTable::setViolations(std::vector<Violation> violations, const ResultFilter& filter) {
    m_violations = std::move(violations);
    m_filter = filter;
    rebuild();
}

void ResultsTable::setFilter(const ResultFilter& filter) {
    m_filter = filter;
    rebuild();
}

void ResultsTable::setGrouping(ResultGrouping grouping) {
    m_grouping = grouping;
    rebuild();
}

void ResultsTable::setSort(ResultColumn column, bool ascending) {
    m_sortColumn = column;
    m_ascending = ascending;
    rebuild();
}

QString ResultsTable::cellText(int shownRow, ResultColumn column) const {
    const Violation& v = row(shownRow);
    switch (column) {
    case ResultColumn::Code:
        return v.codeText;
    case ResultColumn::UnionName:
        return v.unionName;
    case ResultColumn::Page:
        return QString::number(pageOfRule(v.rule));
    case ResultColumn::Rule:
        return QString::number(v.rule + 1);
    case ResultColumn::RuleText:
        return m_ruleTexts.at(v.rule);
    case ResultColumn::Explanation:
        return explanationOf(v.rule);
    case ResultColumn::FocusField:
        return m_focusFields.at(v.rule);
    }
    return QString();
}

bool ResultsTable::passes(const Violation& v, const std::vector<char>& ruleMatches) const {
    if (m_filter.page > 0 && pageOfRule(v.rule) != m_filter.page)
        return false;
    if (m_filter.rule >= 0 && v.rule != m_filter.rule)
        return false;
    if (!m_filter.province.isEmpty() && provinceOf(v.division) != m_filter.province)
        return false;
    if (m_filter.text.isEmpty())
        return true;
    return ruleMatches[size_t(v.rule)] || v.codeText.contains(m_filter.text, Qt::CaseInsensitive) ||
           v.unionName.contains(m_filter.text, Qt::CaseInsensitive);
}

void ResultsTable::rebuild() {
    // The texts of a rule are the same in all its rows: matched once per rule.
    std::vector<char> ruleMatches(size_t(ruleCount()), 0);
    if (!m_filter.text.isEmpty())
        for (int rule = 0; rule < ruleCount(); ++rule)
            ruleMatches[size_t(rule)] = m_ruleTexts.at(rule).contains(m_filter.text, Qt::CaseInsensitive) ||
                                        explanationOf(rule).contains(m_filter.text, Qt::CaseInsensitive) ||
                                        m_focusFields.at(rule).contains(m_filter.text, Qt::CaseInsensitive);
    std::vector<int> rows;
    rows.reserve(m_violations.size());
    for (size_t i = 0; i < m_violations.size(); ++i)
        if (passes(m_violations[i], ruleMatches))
            rows.push_back(int(i));

    // Sorted by the column (ties keep the run's order), descending when asked.
    const auto& all = m_violations;
    std::function<bool(int, int)> less;
    switch (m_sortColumn) {
    case ResultColumn::Code:
        less = [&all](int a, int b) { return all[size_t(a)].code < all[size_t(b)].code; };
        break;
    case ResultColumn::UnionName:
        less = [&all](int a, int b) { return all[size_t(a)].unionName < all[size_t(b)].unionName; };
        break;
    case ResultColumn::Page:
        less = [&all](int a, int b) {
            return pageOfRule(all[size_t(a)].rule) < pageOfRule(all[size_t(b)].rule);
        };
        break;
    case ResultColumn::Rule:
        less = [&all](int a, int b) { return all[size_t(a)].rule < all[size_t(b)].rule; };
        break;
    case ResultColumn::RuleText:
    case ResultColumn::Explanation:
    case ResultColumn::FocusField: {
        const ResultColumn column = m_sortColumn;
        auto rank = std::make_shared<std::vector<int>>(ruleRanks([this, column](int rule) {
            return column == ResultColumn::RuleText      ? m_ruleTexts.at(rule)
                   : column == ResultColumn::Explanation ? explanationOf(rule)
                                                         : m_focusFields.at(rule);
        }));
        less = [&all, rank](int a, int b) {
            return (*rank)[size_t(all[size_t(a)].rule)] < (*rank)[size_t(all[size_t(b)].rule)];
        };
        break;
    }
    }
    if (m_ascending)
        std::stable_sort(rows.begin(), rows.end(), less);
    else
        std::stable_sort(rows.begin(), rows.end(), [&less](int a, int b) { return less(b, a); });

    // Groups in the order of their first row.
    const bool byRecord = m_grouping == ResultGrouping::ByRecord;
    auto keyOf = [&all, byRecord](int i) {
        return byRecord ? all[size_t(i)].code : UnionCode(all[size_t(i)].rule);
    };
    QHash<UnionCode, int> groupNumber;
    std::vector<std::vector<int>> groups;
    for (int i : rows) {
        auto found = groupNumber.constFind(keyOf(i));
        if (found == groupNumber.constEnd()) {
            found = groupNumber.insert(keyOf(i), int(groups.size()));
            groups.emplace_back();
        }
        groups[size_t(*found)].push_back(i);
    }
    m_shown.clear();
    m_groupOfShown.clear();
    m_shown.reserve(rows.size());
    m_groupOfShown.reserve(rows.size());
    QSet<UnionCode> records;
    for (size_t g = 0; g < groups.size(); ++g) {
        for (int i : groups[g]) {
            m_shown.push_back(i);
            m_groupOfShown.push_back(int(g));
            records.insert(all[size_t(i)].code);
        }
    }
    m_shownRecords = int(records.size());
}

std::vector<UnionCode> ResultsTable::recordsInOrder() const {
    std::vector<UnionCode> codes;
    QSet<UnionCode> seen;
    for (int i : m_shown) {
        const UnionCode code = m_violations[size_t(i)].code;
        if (!seen.contains(code)) {
            seen.insert(code);
            codes.push_back(code);
        }
    }
    return codes;
}

int ResultsTable::firstRowOf(UnionCode code) const {
    for (size_t i = 0; i < m_shown.size(); ++i)
        if (m_violations[size_t(m_shown[i])].code == code)
            return int(i);
    return -1;
}

void ResultsTable::replaceRecord(UnionCode previousCode, UnionCode code, std::vector<Violation> found) {
    std::vector<Violation> kept;
    kept.reserve(m_violations.size() + found.size());
    bool placed = false;
    for (Violation& v : m_violations) {
        if (v.code == previousCode || v.code == code) {
            if (!placed) {
                kept.insert(kept.end(), found.begin(), found.end());
                placed = true;
            }
            continue;
        }
        kept.push_back(std::move(v));
    }
    if (!placed)
        kept.insert(kept.end(), found.begin(), found.end());
    setViolations(std::move(kept));
}

ResultsOverview summarizeResults(const std::vector<Violation>& violations) {
    ResultsOverview overview;
    overview.perRule.assign(size_t(ruleCount()), 0);
    std::vector<const Violation*> example(size_t(ruleCount()), nullptr);
    for (const Violation& v : violations) {
        ++overview.perRule[size_t(v.rule)];
        const int page = pageOfRule(v.rule);
        if (page >= 1 && page < int(overview.perPage.size()))
            ++overview.perPage[size_t(page)];
        const Violation*& first = example[size_t(v.rule)];
        if (!first || v.code < first->code)
            first = &v;
    }
    std::vector<int> rules;
    for (int rule = 0; rule < ruleCount(); ++rule)
        if (overview.perRule[size_t(rule)] > 0)
            rules.push_back(rule);
    std::stable_sort(rules.begin(), rules.end(), [&overview](int a, int b) {
        return overview.perRule[size_t(a)] > overview.perRule[size_t(b)];
    });
    for (size_t i = 0; i < rules.size() && i < 10; ++i)
        overview.mostFailing.push_back(
            {rules[i], overview.perRule[size_t(rules[i])], *example[size_t(rules[i])]});
    return overview;
}

std::vector<ProvinceStates> recordStatesByProvince(engine::Connection& connection, UiServices& ui) {
    engine::Statement read(connection,
                           QStringLiteral("select substr(cast(c903 as text), 1, 2) as province, "
                                          "coalesce(RecordState, 0), count(*) from dt_data where c912<=2 "
                                          "group by 1, 2 order by 1"));
    std::map<QString, ProvinceStates> found;
    while (read.step()) {
        const QString province = read.text(0);
        const qint64 state = read.integer(1);
        if (state < 0 || state > 2)
            continue;
        ProvinceStates& entry = found[province];
        entry.province = province;
        entry.records[size_t(state)] += read.integer(2);
    }
    read.reset();
    std::vector<ProvinceStates> result;
    for (auto& [province, entry] : found) {
        bool whole = false;
        const qint64 code = province.toLongLong(&whole);
        entry.name = whole ? records::divisionName(connection, code * 10000, ui) : QString();
        if (entry.name.isEmpty())
            entry.name = province;
        result.push_back(entry);
    }
    return result;
}

void exportResults(const ResultsTable& table, const QString& path) {
    workbook::StreamedWorkbook sheet(path, QStringLiteral("检查结果"));
    workbook::CellStyle title;
    title.bold = true;
    title.border = true;
    title.align = workbook::HAlign::Center;
    for (int column = 0; column < ResultColumnCount; ++column)
        sheet.writeText(1, column + 1, resultColumnTitle(ResultColumn(column)), title);
    workbook::CellStyle textCell;
    textCell.numberFormat = QStringLiteral("@");
    sheet.setColumnFormat(1, textCell);
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int column = 0; column < ResultColumnCount; ++column) {
            const auto which = ResultColumn(column);
            if (which == ResultColumn::Page || which == ResultColumn::Rule)
                sheet.writeNumber(row + 2, column + 1, table.cellText(row, which).toDouble());
            else
                sheet.writeText(row + 2, column + 1, table.cellText(row, which));
        }
    }
    sheet.fitColumns(6, 60);
    sheet.setPageSetup(workbook::tablePageSetup(sheet.columnWidths(), 1, 2));
    sheet.save();
}

} // namespace corvalis::checks
