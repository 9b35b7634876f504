#include "CheckResultsForm.h"

#include "CheckResultsModel.h"
#include "QualityOverview.h"
#include "ResultsWalk.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "app/ui/RecordList.h"
#include "checks/BuiltInRules.h"
#include "checks/Explanation.h"
#include "records/CodeTables.h"
#include "records/ui/RecordsCommands.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <map>

namespace corvalis::checks {

namespace {

QStringList renderedExplanations(ExplanationRenderer& renderer) {
    QStringList explanations;
    for (int rule = 0; rule < int(builtInRules().size()); ++rule)
        explanations << explanationOf(renderer, rule);
    return explanations;
}

// The widths of the columns in characters: code, name, page, rule, rule text, explanation, field.
constexpr int ColumnChars[ResultColumnCount] = {14, 24, 4, 6, 30, 48, 8};

QComboBox* makeChoice(const QString& name, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

// The page of the entry form that shows a field: the cover's fields are on page 0 whatever page the
// rule concerns.
int formPageOf(int rulePage, const QString& field) {
    return field.startsWith(QLatin1Char('c'), Qt::CaseInsensitive) ? 0 : rulePage;
}

} // namespace

TCheckResultsForm::TCheckResultsForm(CommandHost& window, ExplanationRenderer& renderer, QWidget* parent)
    : QWidget(parent, Qt::Window), m_window(window),
      m_table(std::make_unique<ResultsTable>(renderedExplanations(renderer))),
      m_walk(std::make_unique<ResultsWalk>(window.session(), this)) {
    setObjectName(QStringLiteral("CheckResultsForm"));
    setWindowTitle(ResultsText::Caption);
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_model = new CheckResultsModel(*m_table, this);
    buildLayout();
    resize(1200, 680);
}

TCheckResultsForm::~TCheckResultsForm() {
    // Closing lays the view out once more through the model, which reads the table: the window closes
    // and lets go of the model while the table still exists.
    hide();
    m_view->setModel(nullptr);
}

void TCheckResultsForm::buildLayout() {
    m_grouping = makeChoice(QStringLiteral("cbGrouping"), this);
    m_grouping->addItem(QStringLiteral("按记录分组"), int(ResultGrouping::ByRecord));
    m_grouping->addItem(QStringLiteral("按规则分组"), int(ResultGrouping::ByRule));
    m_page = makeChoice(QStringLiteral("cbPage"), this);
    m_rule = makeChoice(QStringLiteral("cbRule"), this);
    m_rule->setMaximumWidth(320);
    m_division = makeChoice(QStringLiteral("cbDivision"), this);
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("edFilterText"));
    m_text->setPlaceholderText(QStringLiteral("查找编号、名称或规则中的文字"));
    m_text->setClearButtonEnabled(true);
    m_export = new QPushButton(QStringLiteral("导出到Excel"), this);
    m_export->setObjectName(QStringLiteral("btnExport"));
    m_counts = new QLabel(this);
    m_counts->setObjectName(QStringLiteral("lblCounts"));

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("ResultView"));
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setWordWrap(false);
    m_view->setSortingEnabled(true);
    m_view->horizontalHeader()->setSortIndicator(int(ResultColumn::Code), Qt::AscendingOrder);
    m_view->horizontalHeader()->setStretchLastSection(true);
    // Fixed row heights and column widths: the view then never measures the rows it does not show.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_view->verticalHeader()->hide();
    const int charWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (int column = 0; column < ResultColumnCount; ++column)
        m_view->setColumnWidth(column, ColumnChars[column] * charWidth + 12);

    m_overview = new QualityOverview(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("ResultTabs"));
    m_tabs->addTab(m_view, QStringLiteral("违反的规则"));
    m_tabs->addTab(m_overview, QStringLiteral("质量概览"));

    auto* filters = new QHBoxLayout;
    filters->addWidget(m_grouping);
    filters->addWidget(new QLabel(QStringLiteral("页："), this));
    filters->addWidget(m_page);
    filters->addWidget(new QLabel(QStringLiteral("规则："), this));
    filters->addWidget(m_rule);
    filters->addWidget(new QLabel(QStringLiteral("地区："), this));
    filters->addWidget(m_division);
    filters->addWidget(m_text, 1);
    filters->addWidget(m_export);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(m_counts);

    connect(m_view, &QTableView::activated, this, [this](const QModelIndex& index) { openRow(index.row()); });
    connect(m_export, &QPushButton::clicked, this, &TCheckResultsForm::exportShown);
    connect(m_grouping, &QComboBox::currentIndexChanged, this, [this] {
        m_model->change([this](ResultsTable& table) {
            table.setGrouping(ResultGrouping(m_grouping->currentData().toInt()));
        });
        updateCounts();
    });
    for (QComboBox* box : {m_page, m_rule, m_division})
        connect(box, &QComboBox::currentIndexChanged, this, &TCheckResultsForm::filterFromBoxes);
    connect(m_text, &QLineEdit::textChanged, this, &TCheckResultsForm::filterFromBoxes);
    connect(m_overview, &QualityOverview::ruleChosen, this, [this](int rule) {
        ResultFilter filter;
        filter.rule = rule;
        applyFilter(filter);
    });
    connect(m_overview, &QualityOverview::pageChosen, this, [this](int page) {
        ResultFilter filter;
        filter.page = page;
        applyFilter(filter);
    });
    connect(m_overview, &QualityOverview::provinceChosen, this, [this](const QString& province) {
        ResultFilter filter;
        filter.province = province;
        applyFilter(filter);
    });
}

void TCheckResultsForm::showResults(CheckResultSet results) {
    std::vector<Violation> violations = std::move(results.violations);
    m_results = std::move(results);
    showFilterInBoxes(ResultFilter());
    m_model->change(
        [&violations](ResultsTable& table) { table.setViolations(std::move(violations), ResultFilter()); });
    fillFilterChoices();
    updateCounts();
    updateOverview();
    m_tabs->setCurrentIndex(0);
    if (m_model->rowCount() > 0)
        m_view->setCurrentIndex(m_model->index(0, 0));
}

void TCheckResultsForm::fillFilterChoices() {
    m_fillingChoices = true;
    m_page->clear();
    m_page->addItem(QStringLiteral("全部"), 0);
    for (int page = 1; page <= 7; ++page)
        m_page->addItem(QStringLiteral("表%1").arg(page), page);

    std::map<int, qint64> rules;
    std::map<QString, qint64> provinces;
    for (const Violation& v : m_table->violations()) {
        ++rules[v.rule];
        ++provinces[provinceOf(v.division)];
    }
    m_rule->clear();
    m_rule->addItem(QStringLiteral("全部"), -1);
    for (const auto& [rule, count] : rules)
        m_rule->addItem(QStringLiteral("%1：%2（%3）").arg(rule + 1).arg(ruleTextOf(rule)).arg(count), rule);
    m_division->clear();
    m_division->addItem(QStringLiteral("全部"), QString());
    for (const auto& [province, count] : provinces) {
        bool whole = false;
        const qint64 code = province.toLongLong(&whole);
        QString name =
            whole ? records::divisionName(m_window.session().connection(), code * 10000, m_window.ui())
                  : QString();
        m_division->addItem(name.isEmpty() ? province : name, province);
    }
    m_fillingChoices = false;
}

void TCheckResultsForm::showFilterInBoxes(const ResultFilter& filter) {
    m_fillingChoices = true;
    m_page->setCurrentIndex(std::max(0, m_page->findData(filter.page)));
    m_rule->setCurrentIndex(std::max(0, m_rule->findData(filter.rule)));
    m_division->setCurrentIndex(std::max(0, m_division->findData(filter.province)));
    m_text->setText(filter.text);
    m_fillingChoices = false;
}

void TCheckResultsForm::applyFilter(const ResultFilter& filter) {
    showFilterInBoxes(filter);
    m_model->change([&filter](ResultsTable& table) { table.setFilter(filter); });
    m_tabs->setCurrentIndex(0);
    updateCounts();
}

void TCheckResultsForm::filterFromBoxes() {
    if (m_fillingChoices)
        return;
    ResultFilter filter;
    filter.page = m_page->currentData().toInt();
    filter.rule = m_rule->currentIndex() > 0 ? m_rule->currentData().toInt() : -1;
    filter.province = m_division->currentData().toString();
    filter.text = m_text->text().trimmed();
    m_model->change([&filter](ResultsTable& table) { table.setFilter(filter); });
    updateCounts();
}

void TCheckResultsForm::updateCounts() {
    QSet<UnionCode> failed;
    for (const Violation& v : m_table->violations())
        failed.insert(v.code);
    m_counts->setText(
        QStringLiteral("显示 %1 个逻辑错误项，涉及 %2 个单位；全部 %3 个逻辑错误项，%4 个单位。检查时间：%5")
            .arg(m_table->rowCount())
            .arg(m_table->shownRecordCount())
            .arg(m_table->violations().size())
            .arg(failed.size())
            .arg(m_results.checkedAt.toString(QStringLiteral("yyyy年MM月dd日 HH:mm"))));
}

void TCheckResultsForm::updateOverview() {
    std::vector<ProvinceStates> provinces;
    try {
        provinces = recordStatesByProvince(m_window.session().connection(), m_window.ui());
    } catch (const Error& error) {
        showRunError(m_window.ui(), error.text());
    }
    m_overview->showOverview(summarizeResults(m_table->violations()), provinces);
}

void TCheckResultsForm::openRow(int row) {
    if (row < 0 || row >= m_table->rowCount())
        return;
    const Violation violation = m_table->row(row);
    const QString field = focusFieldOfRule(violation.rule);
    EntryFormPlace place;
    place.field = field;
    place.page = formPageOf(pageOfRule(violation.rule), field);
    try {
        m_walk->setRecords(m_table->recordsInOrder(), violation.code);
        editInEntryForm(m_window, m_walk->list(), place,
                        [this](const QVariant& previous, UnionCode code) { recordWritten(previous, code); });
    } catch (const Error& error) {
        showRunError(m_window.ui(), error.text());
    }
    // Back where the form left the walk.
    if (const auto last = m_walk->list().currentCode()) {
        const int shown = m_table->firstRowOf(*last);
        if (shown >= 0)
            m_view->setCurrentIndex(m_model->index(shown, 0));
    }
    try {
        m_window.refreshList();
    } catch (const Error&) {
    }
}

void TCheckResultsForm::recordWritten(const QVariant& previousCode, UnionCode code) {
    const UnionCode previous = previousCode.isNull() ? code : UnionCode(previousCode.toLongLong());
    m_walk->followCode(previous, code);
    std::vector<Violation> found = recheckRecord(m_window.session().connection(), code);
    m_model->change([&](ResultsTable& table) { table.replaceRecord(previous, code, std::move(found)); });
    updateCounts();
    updateOverview();
}

void TCheckResultsForm::exportShown() {
    FileRequest request;
    request.title = ResultsText::ExportTitle;
    request.filter = ResultsText::ExportFilter;
    request.folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    request.proposedName = QStringLiteral("逻辑检查结果.xlsx");
    const std::optional<FileChoice> choice = m_window.ui().chooseSaveFile(request);
    if (!choice || choice->path.isEmpty())
        return;
    QString path = choice->path;
    if (!path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
        path += QStringLiteral(".xlsx");
    try {
        exportResults(*m_table, path);
    } catch (const Error& error) {
        showRunError(m_window.ui(), error.text());
        return;
    }
    m_window.ui().openWithShell(path);
}

} // namespace corvalis::checks
