#include "QualityOverview.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QValueAxis>
#include <algorithm>

namespace corvalis::checks {

namespace {

QChartView* makeChartView(const QString& name, QWidget* parent) {
    auto* view = new QChartView(parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(220);
    return view;
}

// Puts a fresh chart with the series, its categories along the bottom and counts up the side.
void showBars(QChartView* view, const QString& title, QAbstractBarSeries* series,
              const QStringList& categories, qint64 highest) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->addSeries(series);
    auto* across = new QBarCategoryAxis;
    across->append(categories);
    chart->addAxis(across, Qt::AlignBottom);
    series->attachAxis(across);
    auto* up = new QValueAxis;
    up->setLabelFormat(QStringLiteral("%d"));
    // Counts are whole: small ones get a tick per unit, larger ones round steps.
    const qint64 top = std::max<qint64>(highest, 1);
    up->setRange(0, double(top));
    if (top <= 5)
        up->setTickCount(int(top) + 1);
    else
        up->applyNiceNumbers();
    chart->addAxis(up, Qt::AlignLeft);
    series->attachAxis(up);
    // Many categories: their names turn upright so that none is cut to "…".
    if (categories.size() > 12) {
        across->setLabelsAngle(-90);
        QFont small = across->labelsFont();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        across->setLabelsFont(small);
    }
    chart->legend()->setVisible(series->count() > 1);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

// "广西壮族自治区" is shown as "广西", "北京市" as "北京": the chart has one narrow bar per province.
QString shortProvinceName(const QString& name) {
    static const QStringList endings = {QStringLiteral("维吾尔自治区"),
                                        QStringLiteral("壮族自治区"),
                                        QStringLiteral("回族自治区"),
                                        QStringLiteral("特别行政区"),
                                        QStringLiteral("自治区"),
                                        QStringLiteral("省"),
                                        QStringLiteral("市")};
    for (const QString& ending : endings)
        if (name.size() > ending.size() + 1 && name.endsWith(ending))
            return name.left(name.size() - ending.size());
    return name;
}

QStringList headerTitles() {
    return {QStringLiteral("规则号"),   QStringLiteral("页"),           QStringLiteral("违反次数"),
            QStringLiteral("判断规则"), QStringLiteral("例：单位编号"), QStringLiteral("工会名称")};
}

} // namespace

QualityOverview::QualityOverview(QWidget* parent)
    : QWidget(parent), m_rules(makeChartView(QStringLiteral("chartRules"), this)),
      m_pages(makeChartView(QStringLiteral("chartPages"), this)),
      m_provinces(makeChartView(QStringLiteral("chartProvinces"), this)),
      m_mostFailing(new QTableWidget(this)) {
    setObjectName(QStringLiteral("QualityOverview"));
    m_mostFailing->setObjectName(QStringLiteral("tblMostFailing"));
    m_mostFailing->setColumnCount(int(headerTitles().size()));
    m_mostFailing->setHorizontalHeaderLabels(headerTitles());
    m_mostFailing->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_mostFailing->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_mostFailing->setSelectionMode(QAbstractItemView::SingleSelection);
    m_mostFailing->verticalHeader()->hide();
    m_mostFailing->horizontalHeader()->setStretchLastSection(true);
    for (int column : {0, 1, 2})
        m_mostFailing->setColumnWidth(column, 56);
    m_mostFailing->setColumnWidth(3, 260);
    m_mostFailing->setColumnWidth(4, 110);
    connect(m_mostFailing, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (QTableWidgetItem* item = m_mostFailing->item(row, 0))
            Q_EMIT ruleChosen(item->data(Qt::UserRole).toInt());
    });

    m_mostFailing->setWordWrap(false);
    auto* caption =
        new QLabel(QStringLiteral("违反最多的十条规则（双击一行、单击柱形可筛选检查结果）"), this);
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_rules, 0, 0);
    layout->addWidget(m_pages, 0, 1);
    layout->addWidget(m_provinces, 1, 0, 1, 2);
    layout->addWidget(caption, 2, 0, 1, 2);
    layout->addWidget(m_mostFailing, 3, 0, 1, 2);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);
    layout->setRowStretch(0, 3);
    layout->setRowStretch(1, 3);
    layout->setRowStretch(3, 2);
}

void QualityOverview::showOverview(const ResultsOverview& overview,
                                   const std::vector<ProvinceStates>& provinces) {
    showRules(overview);
    showPages(overview);
    showProvinces(provinces);
    showMostFailing(overview);
}

void QualityOverview::showRules(const ResultsOverview& overview) {
    m_ruleBars.clear();
    auto* bars = new QBarSet(QStringLiteral("违反次数"));
    QStringList categories;
    qint64 highest = 0;
    for (size_t rule = 0; rule < overview.perRule.size(); ++rule) {
        if (overview.perRule[rule] == 0)
            continue;
        m_ruleBars.push_back(int(rule));
        categories << QString::number(rule + 1);
        *bars << double(overview.perRule[rule]);
        highest = std::max(highest, overview.perRule[rule]);
    }
    auto* series = new QBarSeries;
    series->append(bars);
    series->setLabelsVisible(categories.size() <= 30);
    connect(bars, &QBarSet::clicked, this, [this](int index) {
        if (index >= 0 && size_t(index) < m_ruleBars.size())
            Q_EMIT ruleChosen(m_ruleBars[size_t(index)]);
    });
    showBars(m_rules, QStringLiteral("各规则的违反次数（规则号）"), series, categories, highest);
}

void QualityOverview::showPages(const ResultsOverview& overview) {
    auto* bars = new QBarSet(QStringLiteral("违反次数"));
    QStringList categories;
    qint64 highest = 0;
    for (int page = 1; page <= 7; ++page) {
        categories << QStringLiteral("表%1").arg(page);
        *bars << double(overview.perPage[size_t(page)]);
        highest = std::max(highest, overview.perPage[size_t(page)]);
    }
    auto* series = new QBarSeries;
    series->append(bars);
    series->setLabelsVisible(true);
    connect(bars, &QBarSet::clicked, this, [this](int index) { Q_EMIT pageChosen(index + 1); });
    showBars(m_pages, QStringLiteral("各页的违反次数"), series, categories, highest);
}

void QualityOverview::showProvinces(const std::vector<ProvinceStates>& provinces) {
    m_provinceBars.clear();
    const QStringList stateNames = {QStringLiteral("暂存"), QStringLiteral("通过"),
                                    QStringLiteral("有逻辑错误")};
    auto* series = new QStackedBarSeries;
    QStringList categories;
    qint64 highest = 0;
    std::vector<QBarSet*> sets;
    for (const QString& name : stateNames) {
        sets.push_back(new QBarSet(name));
        series->append(sets.back());
    }
    for (const ProvinceStates& province : provinces) {
        m_provinceBars.push_back(province.province);
        categories << shortProvinceName(province.name);
        qint64 total = 0;
        for (size_t state = 0; state < 3; ++state) {
            *sets[state] << double(province.records[state]);
            total += province.records[state];
        }
        highest = std::max(highest, total);
    }
    for (QBarSet* set : sets)
        connect(set, &QBarSet::clicked, this, [this](int index) {
            if (index >= 0 && size_t(index) < m_provinceBars.size())
                Q_EMIT provinceChosen(m_provinceBars[size_t(index)]);
        });
    showBars(m_provinces, QStringLiteral("各省的记录状态"), series, categories, highest);
}

void QualityOverview::showMostFailing(const ResultsOverview& overview) {
    m_mostFailing->setRowCount(int(overview.mostFailing.size()));
    int row = 0;
    for (const RuleFailures& failing : overview.mostFailing) {
        const QStringList cells = {
            QString::number(failing.rule + 1), QString::number(pageOfRule(failing.rule)),
            QString::number(failing.count),    ruleTextOf(failing.rule),
            failing.example.codeText,          failing.example.unionName};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setData(Qt::UserRole, failing.rule);
            m_mostFailing->setItem(row, column, item);
        }
        ++row;
    }
}

} // namespace corvalis::checks
